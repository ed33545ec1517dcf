#pragma once
// Facts about the machine and the user that end up in files and captions.
#include <ctime>
#include <string>

namespace korvo {

// The logged-on user: the account of the effective user id, else $USER, else "Username unknown".
std::string loggedOnUserName();

// Local date "dd.MM.yyyy" and time "hh:mm:ss" (24 hours), the same under every locale.
std::string formatDate(std::time_t t);
std::string formatTime(std::time_t t);

// An XDG base directory of the user: $`variable` when it is an absolute path, else
// $HOME/`underHome` ("XDG_CONFIG_HOME", ".config" gives ~/.config).
std::string userBaseDirectory(const char* variable, const char* underHome);

// Where the settings live: "korvo.ini" beside the executable when that file exists or the directory
// is writable (a build directory, or an old installation that has always kept it there), else
// $XDG_CONFIG_HOME/korvo/korvo.ini (~/.config/korvo/korvo.ini when unset), whose directory is
// created when missing. An executable in a directory named "bin" is an installed program: its
// settings are always the user's own, whoever may write beside it.
std::string iniFilePath(const std::string& exePath);
// The same for the running program.
std::string iniFilePath();

// Absolute path of the running executable ("" when the system does not tell).
std::string executablePath();

} // namespace korvo

#pragma once
// Projects (".k98") of a workspace: the shown spectra of a window saved in display order with their
// texts, ranges and points and the window's size and place, and loaded back as new spectra after
// those a window holds. The file layout is files/project_file.h's.
#include "viewer/load.h"
#include "viewer/workspace.h"

#include <string>
#include <string_view>

namespace korvo {

inline constexpr std::string_view kWrongProjectExtension = "Error !!! File did not have the extension *.k98 !";

// What the project open dialog's choice leads to: a ".dat" file is an Origin file; anything else
// must have "k98" in its extension.
enum class ProjectPathKind { Project, Origin, WrongExtension };
ProjectPathKind projectPathKind(const std::string& path);

// Loads a project as new spectra after those of the workspace (between its shown and hidden blocks),
// all or nothing: a file that is not a project, is truncated or claims more than it holds gives a
// message and leaves the workspace as it was. On success: ProjectFileName is the file's name without
// directory, Active is 1, tvar::geometry and the outcome's geometry hold the window's size and place,
// and the message is N + " spectra opened !". A path of the wrong kind is refused with
// kWrongProjectExtension.
LoadOutcome loadProjectFile(tvar& ws, const std::string& path, const LoadProgressHook& progress = {});

// The name a project is saved under: the chosen file name with everything after its first "."
// replaced by "k98", or ".k98" appended when it has none ("run.1" -> "run.k98"). Only the file name
// is looked at, so a directory with a "." in its name stays as it is.
std::string projectSavePath(const std::string& chosen);

// Writes the shown spectra (Order positions 1 .. ShownCount) and tvar::geometry to `path`, replacing
// an existing file atomically. false with *error set when the file cannot be written, or when a
// spectrum holds a number that is not finite (its reader would refuse the whole file).
bool saveProjectFile(const tvar& ws, const std::string& path, std::string* error = nullptr);

} // namespace korvo

#pragma once
// A description of spectrum files as the viewer reads them, for `korvo-cli info`.
#include "files/spectrum_file.h"

#include <iosfwd>
#include <string>
#include <string_view>
#include <vector>

namespace korvo {

// A text made safe for a terminal: control characters (C0, DEL and the C1 range) and bytes that are
// not UTF-8 become visible escapes ("\x1b", "\u009b"), a backslash becomes "\\". Header texts come
// from arbitrary files, and an escape sequence from a file must not reach the terminal.
std::string escapeForTerminal(std::string_view text);

// A readable block: one header field per line, then one "x y" line per point. Header texts are
// escaped; the points are written one by one, never gathered into one text.
void writeSpectrumInfoText(std::ostream& out, const std::string& path, const SpectrumFileData& data);

// One object of the JSON array that `korvo-cli info --json` writes, laid out as the JSON library
// writes that array with an indent of 2 (so the whole document is what the library would make of
// it), but point by point.
void writeSpectrumInfoJson(std::ostream& out, const std::string& path, const SpectrumFileData& data);

// Reads the files one after another and describes each readable one on `out` as soon as it is read
// (text blocks, or one JSON array). Each unreadable file gets its reason on `err`. Returns 0, or 2
// when any file could not be read or the output could not be written.
int runSpectrumInfo(const std::vector<std::string>& paths, bool json, std::ostream& out, std::ostream& err);

} // namespace korvo

#pragma once
// A description of spectrum files as the viewer reads them, for `korvo-cli info`.
#include "files/spectrum_file.h"

#include <nlohmann/json.hpp>

#include <iosfwd>
#include <string>
#include <vector>

namespace korvo {

// A readable block: one header field per line, then one "x y" line per point.
std::string spectrumInfoText(const std::string& path, const SpectrumFileData& data);
nlohmann::json spectrumInfoJson(const std::string& path, const SpectrumFileData& data);

// Reads every file and describes the readable ones on `out` (text blocks, or one JSON array). Each
// unreadable file gets its reason on `err`. Returns 0, or 2 when any file could not be read.
int runSpectrumInfo(const std::vector<std::string>& paths, bool json, std::ostream& out, std::ostream& err);

} // namespace korvo

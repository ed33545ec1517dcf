#pragma once
// "&ORIGIN Dat-file": the columns of a data file for Origin (files/origin_file.h) as new spectra of a
// viewer window, one per column after the energy, as one load: all or nothing.
#include "viewer/load.h"
#include "viewer/workspace.h"

#include <string>
#include <string_view>

namespace korvo {

inline constexpr std::string_view kOriginOpenTitle = "Load Origin *.dat-File";

// Loads the columns as new spectra after those of the workspace (between its shown and hidden
// blocks). Spectrum c (1-based) is named after the file, up to the first "." of its name, + "_" + c;
// all of them get the one energy range and the one count range of the whole table, RateFactor 1 and
// no path or header texts. On success Active is 1 and the message is
// XMax + "  " + XMin + "  " + YMin + "  " + YMax. Only a file whose extension is exactly ".dat" is
// read; anything else, a file that is no table of numbers or too large for the window is refused
// with a message and leaves the workspace as it was.
LoadOutcome importOriginFile(tvar& ws, const std::string& path, const LoadProgressHook& progress = {});

} // namespace korvo

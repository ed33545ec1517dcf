#pragma once
// "Load VAMAS": the blocks of ISO 14976 files (files/vamas_file.h) as new spectra of a viewer window,
// one per block, all files as one load: all or nothing.
#include "files/vamas_file.h"
#include "viewer/load.h"
#include "viewer/workspace.h"

#include <string>
#include <vector>

namespace korvo {

// The spectrum of one block. A block Korvo wrote brings its header texts back unchanged from its
// "Korvo <name>=<text>" comment lines; another program's block gets texts made from its values
// ("Probe: " + sample, "Date:  dd.mm.yyyy hh:mm:ss", "Scans: ", "MeasTime: " in ms, "PassEn: ",
// "AnaSta:"/"AnaEnd:" from its first and last energy, "PhotEn: " from the source energy; a block
// whose abscissa is the photon energy becomes a CIS scan when it names the analyser's start energy,
// else a CFS scan, with "Phot.Start: " from the source energy and the analyser's energy). ShortName
// is the block identifier (or the file's name + "_" + the block's number when it has none); the
// range is set as for a loaded spectrum file.
ViewerSpectrum vamasSpectrum(const VamasBlock& block, const std::string& path, int blockNumber);

// Loads every block of every file after the spectra of the workspace (between its shown and hidden
// blocks). A file that cannot be read, is not a VAMAS file or does not fit into the window fails the
// whole load with its message and leaves the workspace as it was.
LoadOutcome loadVamasFiles(tvar& ws, const std::vector<std::string>& paths, const LoadOptions& options = {});

} // namespace korvo

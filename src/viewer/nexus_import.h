#pragma once
// NeXus files (files/nexus_file.h) into a viewer window: every spectrum of every file one new
// spectrum, all files as one load, all or nothing. The load dialog's "Load NeXus" runs it, and
// korvo-cli's loads (info, analyse, export, ...) read ".nxs" files through it.
#include "files/nexus_file.h"
#include "viewer/load.h"
#include "viewer/load_staging.h"
#include "viewer/workspace.h"

#include <string>
#include <vector>

namespace korvo {

// The entry of one spectrum: its header texts as the spectrum file it stands for gives them (the
// same lines, read by the same rules), its points (x, the first value column), its channel totals.
// ShortName is the spectrum's name in the file (the file name it was measured under, or
// "<file>_<entry>" for another program's entry); PathName the NeXus file.
ViewerSpectrum nexusViewerSpectrum(const NexusSpectrum& s, const std::string& path, std::vector<SpectrumPoint>& points);

// Whether a path is read as a NeXus file by the command line's loads: by its name (".nxs", ".h5",
// ...) or, whatever its name, by the HDF5 signature at its start.
bool isNexusPath(const std::string& path);

// What a NeXus file holds beside a spectrum (its fit), by the spectrum's index in StagedSpectra.
using StagedAdditions = std::vector<std::pair<std::size_t, std::vector<NexusGroupData>>>;

// One file's spectra into `staged`, at most `maxSpectra` of them, and with `additions` what belongs
// to them. false with `failure` filled when it cannot be read, holds more or is cancelled through
// the progress hook.
bool stageNexusFile(const std::string& path, std::size_t maxSpectra, const LoadOptions& options, LoadProgress where,
                    StagedSpectra& staged, StageFailure& failure, StagedAdditions* additions = nullptr);

// "Load NeXus": the files' spectra after those of the workspace (between its shown and hidden
// blocks), and in the outcome's nexusAdditions what the files hold beside them (their fits). A file that cannot be read or does not fit into the window fails the whole load with its
// message and leaves the workspace as it was.
LoadOutcome loadNexusFiles(tvar& ws, const std::vector<std::string>& paths, const LoadOptions& options = {});

} // namespace korvo

#pragma once
// "Save NeXus": spectra of a viewer window as one NeXus file (files/nexus_file.h), an NXmpes entry
// per spectrum, for the catalogues and pipelines of the facilities.
#include "files/nexus_file.h"
#include "viewer/workspace.h"

#include <optional>
#include <span>
#include <string>
#include <vector>

namespace korvo {

// One spectrum as it is now: its header texts as the header lines of its entry (in the order a
// spectrum file has them; a load gives the same texts back), its points as x and y, its channel
// totals, its ShortName as the entry's title.
NexusSpectrum nexusSpectrumOf(const ViewerSpectrum& s, std::span<const SpectrumPoint> points);

// The spectra of "Save VAMAS" (the marked ones, or every shown one with "AllSpectra") in display
// order. Empty, with the reason in *refusal, when there is none or one cannot be written (no points,
// a value that is not a finite number). With `numbers`: each one's spectrum number.
std::vector<NexusSpectrum> nexusSpectraOf(const tvar& ws, bool allSpectra, std::string* refusal = nullptr,
                                          std::vector<int>* numbers = nullptr);

} // namespace korvo

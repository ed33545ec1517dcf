#pragma once
// "Save VAMAS": the shown spectra (the marked ones, or all with "AllSpectra") as one ISO 14976 file,
// one block per spectrum in display order, for the analysis programs of other laboratories.
#include "files/vamas_file.h"
#include "viewer/workspace.h"

#include <span>
#include <string>

namespace korvo {

// Photon energies below this are UV photoemission ("UPS"), from it on X-ray photoemission ("XPS").
inline constexpr double kUpsBelowPhotonEnergy = 100;

// The block of one spectrum: block id ShortName, sample id the "Probe" text after its colon, the
// date and time read from DateText (0 when it holds none), technique UPS for a photon energy below
// 100 eV and XPS otherwise (XPS with source energy 0 when PhotEnText holds none), the pass energy of
// PassEnText, the collection time MeasTime / 1000 s, Scans, and the header texts (and MeasTime)
// as "Korvo <name>=<text>" comment lines so that a load gives them back unchanged.
VamasBlock vamasBlockOf(const ViewerSpectrum& s, std::span<const SpectrumPoint> points);

// The file's text. Empty, with *refusal (if given) saying why, when no spectrum is exported or one
// of them cannot be written (no points, a value that is not a finite number).
std::string vamasText(const tvar& ws, bool allSpectra, std::string* refusal = nullptr);

} // namespace korvo

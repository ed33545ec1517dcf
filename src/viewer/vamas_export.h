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

// The abscissa of the photon-energy scans (CFS, CIS, Keithley) and the additional parameters that
// say where the analyser stood: fixed in a CFS scan, at its start energy in a CIS scan.
inline constexpr const char* kPhotonEnergyLabel = "Photon Energy";
inline constexpr const char* kFixedAnalyserEnergy = "fixed analyser energy";
inline constexpr const char* kAnalyserStartEnergy = "analyser start energy";

// The block of one spectrum: block id ShortName, sample id the "Probe" text after its colon, the
// date and time read from DateText (0 when it holds none), technique UPS for a photon energy below
// 100 eV and XPS otherwise (XPS with source energy 0 when PhotEnText holds none), the pass energy of
// PassEnText, the collection time MeasTime / 1000 s, Scans, and the header texts (and MeasTime)
// as "Korvo <name>=<text>" comment lines so that a load gives them back unchanged.
// A spectrum whose "Fileform" line names a photon-energy scan (CLAM_CFS, CLAM_CIS, KEITHLEY) has the
// abscissa "Photon Energy", the photon energy its scan started at as source energy (PhotEnText, which
// holds its "Phot.Start" line, or its first x), and the analyser's energy as an additional parameter
// (the fixed energy of a CFS scan, the start energy of a CIS scan); a Keithley scan's values are
// analogue electrometer readings.
VamasBlock vamasBlockOf(const ViewerSpectrum& s, std::span<const SpectrumPoint> points);

// The file's text. Empty, with *refusal (if given) saying why, when no spectrum is exported or one
// of them cannot be written (no points, a value that is not a finite number).
std::string vamasText(const tvar& ws, bool allSpectra, std::string* refusal = nullptr);

} // namespace korvo

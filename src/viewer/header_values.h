#pragma once
// Numbers and kinds that the viewer reads back out of a spectrum's header texts ("PhotEn: 21.220",
// "MeasTime: 100", "Fileform: CLAM_CFS"). The texts are kept as the file had them; whoever needs a
// value takes it through here, so every command reads a header line the same way.
#include "viewer/workspace.h"

#include <optional>
#include <string_view>

namespace korvo {

// The part of a header text after its first ":", blanks and TABs at both ends removed (the whole
// text when it has no ":").
std::string_view afterColon(std::string_view text);

// The number after the colon of a header text, up to the next blank ("PassEn: 20.00" -> 20); nothing
// when the text has no colon or no number follows it.
std::optional<double> numberAfterColon(std::string_view text);

// What the x values of a spectrum are: the "Fileform" line names the mode that measured it. Kinetic
// energies for the analyser scans and for files without the line; photon energies for the scans
// of the monochromator (constant final state, constant initial state, the electrometer mode).
enum class Abscissa { KineticEnergy, PhotonCfs, PhotonCis, PhotonKeithley };
Abscissa abscissaOf(const ViewerSpectrum& s);

} // namespace korvo

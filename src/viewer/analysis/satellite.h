#pragma once
// Satellite removal: every point of a chosen spectrum loses I1 times the count found E1 lower in
// energy and I2 times the count found E2 lower (linear interpolation in the spectrum's own points),
// which removes the satellite copies a lamp or an X-ray anode adds to every line.
#include "viewer/workspace.h"

#include <optional>
#include <string_view>
#include <vector>

namespace korvo::analysis {

struct SatelliteLines {
    double e1 = 0, i1 = 0, e2 = 0, i2 = 0; // energy shifts and intensities relative to the main line
};

enum class SatelliteSource { HeI, HeII, AlKAlpha, MgKAlpha, User };

// The built-in line tables; User gives the dialog's default user values.
SatelliteLines satelliteLines(SatelliteSource source);

// The spectra at display positions `positions` (1-based; others are ignored) with the lines removed.
void removeSatellites(tvar& ws, const std::vector<int>& positions, const SatelliteLines& lines);

} // namespace korvo::analysis

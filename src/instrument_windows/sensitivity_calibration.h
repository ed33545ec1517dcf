#pragma once
// The calibration point of the multichanneltron setup: one point counted on the station the way a
// run counts it, for the sensitivities that equalise the channeltrons.
#include "acquisition/station.h"

#include <array>
#include <cstdint>
#include <optional>
#include <string>

namespace korvo {

// Why no calibration point can be counted: in the Keithley mode, or with "overide" ticked, a point
// reads electrometer 1 instead of the counters (and its second value is a time). Nothing when it can.
std::optional<std::string> calibrationRefusal(const Station& station);

// Counts one point of `timeMs` milliseconds with ReadPoint into record 0 of the station's data
// block, with the run's abort flag cleared for the count and set again afterwards, and returns the
// counts of channeltrons 1..9 (CoScan[1..9] of that record), counted as the window's mode counts.
// Nothing happens (nullopt) while a run is active or calibrationRefusal() says no. Record 0 gets back what it held before: the calibration borrows the record, and the
// last measurement, which may still be saved, keeps its first point (an empty block stays empty).
// The caller keeps other windows from starting a run meanwhile: the count keeps the interface
// alive, and a run would rebuild the block the count writes into.
std::optional<std::array<double, 9>> countCalibrationPoint(Station& station, std::int32_t timeMs);

} // namespace korvo

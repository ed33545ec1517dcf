#pragma once
// The checks made when "Start" begins a new run: they turn the field texts into the numeric run
// state (gate length, energy range, points, shifts) and refuse the run (StopRequest = 1) with the
// program's messages when a value cannot be measured. All checks run, so the user sees every problem
// at once; some also correct the field they complain about. Nothing is sent to the analyser here:
// the run programs it once the checks have passed.
#include "acquisition/context.h"
#include "acquisition/measurement_fields.h"
#include "acquisition/run/run_display.h"
#include "acquisition/run_state.h"

#include <cstdint>
#include <string>

namespace korvo {

// Bounds that keep a run's memory and duration sane. The data block holds one record per analyser
// step (points plus the extra points of the channel shifts), never one per scan.
inline constexpr std::int32_t kMinPoints = 2;
inline constexpr std::int32_t kMaxPoints = 1000000;
inline constexpr std::int64_t kMaxAnalyserSteps = 2000000;
inline constexpr std::int32_t kMaxScans = 65000;  // the scan counter is 16 bits wide
inline constexpr std::int32_t kMaxGateUnits = 65; // 1000 x gate units must fit the 16-bit timer

std::string notIntegerText(const std::string& text); // "... ist kein gültiger Wert (ganzzahlig)..."

// Channel positions of the pass energy in `column` of the shift table and the shifts of the nine
// channeltrons in points. Returns false (and leaves shifts and maxima at 0) when they cannot be
// computed: no column, fewer than two points, no ramp, or a shift beyond any sensible data block.
bool computeChannelShifts(RunState& state, const ChannelShiftTable& table, int column);

// Validation steps at the start of a new run. Returns true when the run may go on; otherwise
// StopRequest is 1 and every problem has been reported through ctx.dialogs. `state` is the run's
// own copy of the parameters: its mode and reference channel are read, the rest is derived.
bool validateNewRun(AcquisitionContext& ctx, MeasurementFields& fields, RunState& state, RunDisplay& display);

} // namespace korvo

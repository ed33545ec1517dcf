#pragma once
// Tick spacing, tick walk and tick labels shared by every plot frame (viewer, printout, layout bitmap,
// live display). Plain C++: no Qt, so the numbers can be checked and reused without a canvas.
#include <cstddef>
#include <string>
#include <vector>

namespace korvo::plot {

// Spacing of one axis: minor step, minor steps per major tick, label decimals.
// A range that cannot be divided (zero, negative, NaN, infinite, or so small that the step
// underflows) yields step 0, which every walk below treats as "no ticks".
struct TickSpacing {
    double step = 0.0;
    int minorPerMajor = 5;
    int decimals = 0;
    bool usable() const;
};

// Energy axes round the leading two digits of the range, counts axes truncate them.
TickSpacing AxisTicksRounded(double lo, double hi);
TickSpacing AxisTicksTruncated(double lo, double hi);

// The energy axis compares with a tolerance of 1E-5 (its limits come from typed or zoomed values),
// the counts axis compares exactly.
enum class AxisKind { Energy, Counts };

struct TickValue {
    double value = 0.0;
    bool major = false;
};

// No frame ever needs more than about 60 ticks; the cap only guards against arguments that would
// otherwise make the walk run (nearly) without end.
inline constexpr std::size_t kMaxTicks = 1000;

// All ticks from the first one at or above lo up to hi (plus 1 % of a step). For the energy axis lo
// and hi are ordered first; for the counts axis lo > hi gives no ticks. Non-finite limits, an
// unusable spacing, or limits so far from zero that a step no longer changes the value give no ticks.
std::vector<TickValue> walkTicks(double lo, double hi, const TickSpacing& spacing, AxisKind kind);

// Energy label: fixed notation, right-aligned in a field of (digits of the value rounded to an
// integer) + 1 + decimals characters, e.g. " 200" for 0 decimals, "-0.50" for 2.
std::string energyLabel(double value, int decimals);

// Counts label: 4 significant digits, exponent form (at least two exponent digits) from 10000 on
// and below 0.00001.
std::string countsLabel(double value);

} // namespace korvo::plot

#pragma once
// Dead-time correction of the counts of the shown spectra, for counters that are dead for a fixed
// time after each count and do not extend it by the counts they miss (non-paralysable).
//
// What the counts of a point are. A point's count is the sum over its scans, each counting for the
// header's measuring time per point ("MeasTime", ms), and over the nine channeltrons, each its own
// counter with its own dead time. So the live time of every counter at a point is scans x measuring
// time, and each counter is corrected on its own share of the point: N = sum over the channeltrons
// of n_c / (1 - n_c tau / t).
//
// The shares. A file saved with its raw data holds each channeltron's counts beside the sum; the
// share of a channeltron is its part of the counts of all nine over the whole file (the viewer keeps
// these totals, see ViewerSpectrum::ChannelTotals). A channeltron that was switched off counts
// nothing and takes no share. After the channel shift the nine counts of a point are counts of the
// same energy, so each channeltron counted its share of the point as it did of the whole spectrum,
// up to the noise. When only the sum is known (no raw columns, a project, a foreign file) the point
// is taken as spread evenly over all nine channeltrons, the channel boxes' setting unless someone
// switched some off. Uneven channeltrons lose more counts than even ones of the same sum, so for
// those spectra the correction is a lower bound.
#include "viewer/analysis/arithmetic.h"

#include <array>
#include <optional>
#include <span>

namespace korvo::analysis {

inline constexpr int kChanneltrons = 9;

// What the window's menu item says about it.
inline constexpr const char* kDeadTimeHelp =
    "Counts corrected for the channeltrons' dead time, n / (1 - n tau / t) per counter, with t = scans x MeasTime "
    "of the header. A point's counts are shared among the channeltrons as in the file's raw channel columns, or "
    "evenly over all nine when the file has none. Correct the counts as measured, before other commands.";

// The true counts of a counter that counted `counts` in `liveTime` seconds with `deadTime` seconds
// dead after each count; nothing when counts x deadTime reaches liveTime (no such counter counts at
// that rate).
std::optional<double> nonParalysable(double counts, double liveTime, double deadTime);

// The shares of the nine channeltrons in the counts of spectrum s (summing to 1): from its channel
// totals, or even.
std::array<double, kChanneltrons> channelShares(const ViewerSpectrum& s);

// `counts` of one point shared out by `shares`, each part corrected as its own counter, the parts
// summed; nothing when a part reaches its counter's limit.
std::optional<double> correctedCounts(double counts, std::span<const double> shares, double liveTime,
                                      double deadTime);

// The measuring time per point of the header's "MeasTime" line in ms, when it holds a positive one.
std::optional<double> headerDwellTime(const ViewerSpectrum& s);

// Every point of every shown spectrum corrected for a dead time of `deadTimeNs` nanoseconds per
// counter. Refused, with nothing changed, for a dead time that is not a positive number, a spectrum
// without a measuring time in its header, a negative count (counts after a subtraction are no counts
// of a counter), or a point whose rate reaches a counter's limit.
Outcome deadTimeCorrection(tvar& ws, double deadTimeNs);

} // namespace korvo::analysis

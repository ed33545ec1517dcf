#pragma once
// Remaining-time estimate and progress strip of an energy-scan run.
#include "acquisition/run/run_display.h"

#include <cstdint>
#include <string>

namespace korvo {

struct TimeLeft {
    std::int64_t totalSeconds = 0;
    std::int64_t scanSeconds = 0;
};

// Seconds left before analyser step `step` (0-based) of scan `scanNumber` is counted, with `steps`
// analyser steps per scan (points plus extra points) and `points` points per scan. The time
// correction covers what a point costs beyond its dwell time.
TimeLeft estimateTimeLeft(std::int32_t timePerPointMs, std::int32_t timeCorrectionMs, std::int64_t steps,
                          std::int64_t points, std::int32_t scansTarget, std::int64_t scanNumber,
                          std::int64_t step);

// "mm:ss" with at least two digits each; minutes are not wrapped into hours.
std::string minutesSeconds(std::int64_t seconds);

// "Scan : 1    Time left : 04:15    Time left (scan) : 00:51"
std::string timeLeftLabel(std::int64_t scanNumber, const TimeLeft& t);

// The strip while step `step` of `steps` is measured, with `extraPoints` steps of channel shifts.
ProgressStrip progressStrip(std::int64_t extraPoints, std::int64_t steps, std::int64_t step);

} // namespace korvo

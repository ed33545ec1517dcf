#include "acquisition/run/time_left.h"

#include "common/number_text.h"

#include <algorithm>

namespace korvo {

TimeLeft estimateTimeLeft(std::int32_t timePerPointMs, std::int32_t timeCorrectionMs, std::int64_t steps,
                          std::int64_t points, std::int32_t scansTarget, std::int64_t scanNumber,
                          std::int64_t step) {
    const double perPoint = (double(timeCorrectionMs) + double(timePerPointMs)) / 1000.0;
    TimeLeft t;
    // The scans field may be lowered below the scan under way; the estimate then covers this scan only.
    const double laterScans = std::max<double>(0.0, double(scansTarget) - double(scanNumber));
    t.totalSeconds = text::roundHalfEven(perPoint * (double(steps) * laterScans + double(points - step)));
    t.scanSeconds = text::roundHalfEven(perPoint * double(steps - step));
    t.totalSeconds = std::max<std::int64_t>(0, t.totalSeconds);
    t.scanSeconds = std::max<std::int64_t>(0, t.scanSeconds);
    return t;
}

static std::string twoDigits(std::int64_t v) {
    std::string s = std::to_string(v);
    return v < 10 ? "0" + s : s;
}

std::string minutesSeconds(std::int64_t seconds) {
    if (seconds < 0) seconds = 0;
    return twoDigits(seconds / 60) + ":" + twoDigits(seconds % 60);
}

std::string timeLeftLabel(std::int64_t scanNumber, const TimeLeft& t) {
    return "Scan : " + std::to_string(scanNumber) + "    Time left : " + minutesSeconds(t.totalSeconds) +
           "    Time left (scan) : " + minutesSeconds(t.scanSeconds);
}

ProgressStrip progressStrip(std::int64_t extraPoints, std::int64_t steps, std::int64_t step) {
    ProgressStrip p;
    const double span = double(std::max<std::int64_t>(1, steps - 1));
    auto px = [&](std::int64_t n) {
        return int(std::clamp<std::int64_t>(text::roundHalfEven(double(n) * ProgressStrip::width / span), 0,
                                            ProgressStrip::width));
    };
    p.extraWidth = px(extraPoints);
    p.doneWidth = px(step);
    return p;
}

} // namespace korvo

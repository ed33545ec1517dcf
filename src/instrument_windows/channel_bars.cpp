#include "instrument_windows/channel_bars.h"

#include "common/number_text.h"

#include <algorithm>
#include <cmath>

namespace korvo {

namespace {

// A count that is no number (nothing the card can deliver) draws as nothing rather than as a bar
// of undefined height.
double finiteOrZero(double v) {
    return std::isfinite(v) ? v : 0.0;
}

} // namespace

ChannelBars channelBars(const ChannelCounts& counts, const std::array<double, 9>& sensitivity) {
    std::array<double, 9> v{};
    double largest = 1.0;
    double largestRaw = 1.0;
    for (int i = 0; i < 9; ++i) {
        v[i] = finiteOrZero(counts.enabled[i] * sensitivity[i]);
        largest = std::max(largest, v[i]);
        largestRaw = std::max(largestRaw, finiteOrZero(counts.raw[i]));
    }
    const std::int64_t m = std::max<std::int64_t>(1, text::roundHalfEven(largest));

    ChannelBars out;
    out.maximum = text::formatPattern(double(m), "0000000");
    for (int i = 0; i < 9; ++i) {
        const int c = i + 1;
        // m is rounded, so the tallest bar may reach a little beyond the scale; the picture clips
        // at its top edge.
        const std::int64_t height = text::roundHalfEven(100.0 * v[i] / double(m));
        const std::int64_t top = std::clamp<std::int64_t>(104 - height, 0, 107);
        out.bars[i] = {16 * c - 13, int(top), 16 * c + 2, 107};
        out.percents[i] = text::formatPattern(finiteOrZero(counts.raw[i]) * 100.0 / largestRaw, "000.00");
    }
    return out;
}

std::string percentList(const ChannelBars& bars) {
    std::string list;
    for (const std::string& p : bars.percents) list += p + "\r";
    return list;
}

std::array<double, 9> sensitivitiesFromCounts(const std::array<double, 9>& counts) {
    // Counters only count up; anything else is taken as nothing counted, so no division by zero.
    std::array<double, 9> n{};
    double m = 1.0;
    for (int i = 0; i < 9; ++i) {
        n[i] = std::max(0.0, finiteOrZero(counts[i]));
        m = std::max(m, n[i]);
    }
    std::array<double, 9> s{};
    for (int i = 0; i < 9; ++i) s[i] = m / (n[i] + 1.0);
    return s;
}

} // namespace korvo

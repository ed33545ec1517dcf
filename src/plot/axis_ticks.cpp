#include "plot/axis_ticks.h"

#include "common/number_text.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace korvo::plot {

namespace {

// Beyond this many steps from zero a double can no longer tell neighbouring ticks apart.
constexpr double kMaxStepIndex = 1e15;
// Labels never need more decimals than a double carries; this only bounds absurd ranges.
constexpr int kMaxLabelDecimals = 30;

enum class MantissaRule { Round, Truncate };

TickSpacing spacingFor(double lo, double hi, MantissaRule rule) {
    TickSpacing out;
    const double range = hi - lo;
    if (!std::isfinite(range) || !(range > 0.0)) return out;

    // The two leading digits are taken from the 15-digit decimal text of the range, so that a range
    // typed as 2.3 counts as 23 and not as 22.999... in binary.
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.14E", range);
    const char* ePos = std::strchr(buf, 'E');
    if (!ePos || buf[1] != '.') return out;
    const int exponent = std::atoi(ePos + 1);
    int m = (buf[0] - '0') * 10 + (buf[2] - '0');
    if (rule == MantissaRule::Round) {
        const char* rest = buf + 3; // digits after the second one
        const int first = rest < ePos ? *rest - '0' : 0;
        bool tail = false;
        for (const char* p = rest + 1; p < ePos; ++p) tail = tail || *p != '0';
        if (first > 5 || (first == 5 && (tail || m % 2 == 1))) ++m;
    }

    double s;
    if (m <= 11) {
        s = 0.02;
    } else if (m <= 29) {
        s = 0.05;
        out.minorPerMajor = 4;
    } else if (m <= 59) {
        s = 0.1;
    } else {
        s = 0.2;
    }
    // Stepwise scaling keeps the familiar values (0.05 * 10 * 10 * 10 is exactly 50).
    for (int i = 0; i < exponent; ++i) s *= 10.0;
    for (int i = 0; i > exponent; --i) s /= 10.0;
    out.decimals = exponent >= 1 ? 0 : 1 - exponent;
    out.step = std::isfinite(s) ? s : 0.0;
    return out;
}

} // namespace

bool TickSpacing::usable() const {
    return std::isfinite(step) && step > 0.0 && minorPerMajor > 0;
}

TickSpacing AxisTicksRounded(double lo, double hi) {
    return spacingFor(lo, hi, MantissaRule::Round);
}

TickSpacing AxisTicksTruncated(double lo, double hi) {
    return spacingFor(lo, hi, MantissaRule::Truncate);
}

std::vector<TickValue> walkTicks(double lo, double hi, const TickSpacing& spacing, AxisKind kind) {
    std::vector<TickValue> out;
    if (!spacing.usable() || !std::isfinite(lo) || !std::isfinite(hi)) return out;
    const bool energy = kind == AxisKind::Energy;
    if (energy && lo > hi) std::swap(lo, hi);
    const double s = spacing.step;
    const std::int64_t n = spacing.minorPerMajor;
    const double first = std::trunc(lo / s);
    if (!(std::fabs(first) < kMaxStepIndex) || !(std::fabs(hi / s) < kMaxStepIndex)) return out;

    // Ticks are index * step rather than a running sum, so the tick at zero is exactly 0 and does
    // not turn into a label like "2.776E-17" after a few additions.
    // The walk starts two steps below the first index, more than a step below the start whatever the
    // sign of lo, so that it always takes a step: a major tick is found by counting up to it.
    std::int64_t idx = static_cast<std::int64_t>(first) - 2;
    std::int64_t k = (idx % n + n) % n;
    // The tolerance absorbs rounding in typed limits; for steps finer than 2E-5 it shrinks to half
    // a step so that it never reaches back over whole ticks below the axis.
    const double tol = std::min(1e-5, s / 2.0);
    auto at = [&](std::int64_t i) { return static_cast<double>(i) * s; };
    auto belowStart = [&] { return energy ? lo - at(idx) > tol : at(idx) < lo; };
    // A major tick passed below the axis restarts the count. On the energy axis "below" uses the
    // same tolerance as the start test, so a limit typed a hair above a major tick keeps it major.
    for (std::size_t guard = 0; belowStart() && guard < kMaxTicks; ++guard) {
        ++idx;
        ++k;
        if (belowStart() && k >= n) k -= n;
    }
    const double end = hi + s / 100.0;
    while (at(idx) <= end && out.size() < kMaxTicks) {
        const bool major = k >= n;
        if (major) k -= n;
        out.push_back({at(idx), major});
        ++idx;
        ++k;
    }
    return out;
}

std::string energyLabel(double value, int decimals) {
    decimals = std::clamp(decimals, 0, kMaxLabelDecimals);
    std::string text = text::formatFixed(value, decimals);
    if (!std::isfinite(value)) return text;
    double whole = std::nearbyint(std::fabs(value)); // halves to even
    std::size_t digits = 1;
    while (whole >= 10.0) {
        whole = std::floor(whole / 10.0);
        ++digits;
    }
    const std::size_t width = digits + 1 + static_cast<std::size_t>(decimals);
    if (text.size() < width) text.insert(0, width - text.size(), ' ');
    return text;
}

std::string countsLabel(double value) {
    return text::formatGeneral(value, 4, 2);
}

} // namespace korvo::plot

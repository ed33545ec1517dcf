#include "files/spectrum_format.h"

#include "common/number_text.h"

#include <algorithm>
#include <cmath>

namespace korvo {

int energyDecimals(double ramp, std::int32_t points) {
    constexpr int kMin = 3, kMax = 15;
    if (points == 0) return kMin;
    double step = std::fabs(ramp / points);
    if (!std::isfinite(step) || step == 0) return kMin;
    // A step of 0.001 must reach 1 after three factors of ten; binary round-off may leave it a hair
    // below, which would cost an extra decimal on every line.
    constexpr double kOne = 1 - 1e-9;
    int count = 0;
    while (step < kOne && count < kMax) {
        step *= 10;
        ++count;
    }
    return std::max(count, kMin);
}

std::string cutToCharacters(std::string text, std::size_t n) {
    std::size_t chars = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if ((static_cast<unsigned char>(text[i]) & 0xC0) == 0x80) continue; // continuation byte
        if (chars++ == n) {
            text.resize(i);
            break;
        }
    }
    return text;
}

std::string formatOffset(double value) {
    std::string digits = text::formatPattern(value, "0.0000");
    return std::signbit(value) && value != 0 ? digits : "+" + digits;
}

} // namespace korvo

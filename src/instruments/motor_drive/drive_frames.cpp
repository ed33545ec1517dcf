#include "instruments/motor_drive/drive_frames.h"

#include "common/number_text.h"

#include <cmath>
#include <limits>

namespace korvo::drive {

std::string hex8(std::int32_t v) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::uint32_t u = static_cast<std::uint32_t>(v);
    std::string out(8, '0');
    for (int i = 7; i >= 0; --i, u >>= 4) out[std::size_t(i)] = kHex[u & 15];
    return out;
}

bool isHex8(std::string_view text) {
    if (text.size() != 8) return false;
    for (char c : text)
        if (!((c >= '0' && c <= '9') || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f'))) return false;
    return true;
}

// The first character is read the way the program reads every hexadecimal text: a character that
// is no digit counts as -1, all bits set, so a garbled line shows the error flag rather than passing.
static std::int32_t firstDigit(std::string_view statusLine) {
    return text::HexTextToInt(statusLine.substr(0, 1));
}

char nextToggleDigit(std::string_view statusLine) {
    return (firstDigit(statusLine) & 8) != 0 ? '0' : '8';
}

bool errorFlag(std::string_view statusLine) {
    return (firstDigit(statusLine) & 4) != 0;
}

bool moveEnded(std::string_view statusLine) {
    return statusLine.size() < 5 || statusLine[4] != '0';
}

std::optional<std::string> positionHex(std::string_view statusLine) {
    if (statusLine.size() < 16) return std::nullopt;
    return std::string(statusLine.substr(8, 8));
}

std::string errorKey(std::string_view statusLine) {
    return "E" + std::string(statusLine.size() > 12 ? statusLine.substr(12, 8) : std::string_view());
}

std::optional<std::int32_t> incrementsForAngle(double angle, double angleOffset) {
    const double scaled = (angle - angleOffset) * kIncrementsPerDegree;
    // The target is the negated count: keep both within 32 bits.
    constexpr double kMax = std::numeric_limits<std::int32_t>::max();
    if (!std::isfinite(scaled) || std::fabs(scaled) > kMax) return std::nullopt;
    const std::int64_t n = text::roundHalfEven(scaled);
    if (n > std::numeric_limits<std::int32_t>::max() || n < -std::numeric_limits<std::int32_t>::max())
        return std::nullopt;
    return static_cast<std::int32_t>(n);
}

double angleForPosition(std::int32_t position, double angleOffset) {
    return -double(position) / kIncrementsPerDegree + angleOffset;
}

} // namespace korvo::drive

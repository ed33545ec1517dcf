#include "common/number_text.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdlib>

namespace korvo::text {

namespace {

// A positive decimal value d0.d1d2... x 10^exp.
struct Digits {
    std::string digits;
    int exp = 0;
};

// Enough digits to write every finite double exactly (at most 767 significant digits).
constexpr int kExactDigits = 780;

Digits scientific(double a, int precision) {
    char buf[kExactDigits + 32];
    const auto r = std::to_chars(buf, buf + sizeof buf, a, std::chars_format::scientific, precision);
    const std::string_view s(buf, static_cast<std::size_t>(r.ptr - buf));
    Digits d;
    const auto e = s.find('e');
    for (std::size_t i = 0; i < e; ++i)
        if (s[i] != '.') d.digits += s[i];
    std::from_chars(s.data() + e + (s[e + 1] == '+' ? 2 : 1), s.data() + s.size(), d.exp);
    return d;
}

void incrementAway(Digits& d) {
    for (auto i = d.digits.size(); i-- > 0;) {
        if (d.digits[i] != '9') {
            ++d.digits[i];
            return;
        }
        d.digits[i] = '0';
    }
    d.digits.insert(d.digits.begin(), '1');
    d.digits.pop_back();
    ++d.exp;
}

// `n` significant digits of a > 0, rounded half away from zero on the exact binary value. The
// standard conversion rounds exact ties to even, so ties are found and corrected here: a tie needs
// the exact expansion to end in a 5 right after the kept digits.
Digits roundSignificant(double a, int n) {
    n = std::clamp(n, 1, kExactDigits);
    Digits d = scientific(a, n - 1);
    const Digits longer = scientific(a, n);
    if (longer.digits.back() != '5') return d;
    const Digits exact = scientific(a, kExactDigits);
    if (exact.digits[n] != '5' ||
        exact.digits.find_first_not_of('0', static_cast<std::size_t>(n) + 1) != std::string::npos)
        return d;
    Digits t;
    t.digits = exact.digits.substr(0, static_cast<std::size_t>(n));
    t.exp = exact.exp;
    incrementAway(t);
    return t;
}

// a > 0 rounded to `decimals` decimals; empty digits mean the value rounds to zero.
Digits roundDecimals(double a, int decimals) {
    const int e = scientific(a, 17).exp;
    const int n = e + 1 + decimals;
    if (n >= 1) return roundSignificant(a, n);
    if (n == 0) {
        // a lies below one unit of the last decimal: it rounds up to that unit from half of it on.
        if (scientific(a, kExactDigits).digits[0] >= '5') return Digits{"1", -decimals};
    }
    return Digits{};
}

// Digit at decimal position p (0: units, 1: tens, -1: tenths) of d.
char digitAt(const Digits& d, int p) {
    const int i = d.exp - p;
    return i >= 0 && i < static_cast<int>(d.digits.size()) ? d.digits[static_cast<std::size_t>(i)] : '0';
}

std::string renderFixed(bool negative, const Digits& d, int decimals, int minIntDigits) {
    std::string intPart;
    if (!d.digits.empty())
        for (int p = d.exp; p >= 0; --p) intPart += digitAt(d, p);
    if (intPart.empty()) intPart = "0";
    if (static_cast<int>(intPart.size()) < minIntDigits)
        intPart.insert(0, static_cast<std::size_t>(minIntDigits) - intPart.size(), '0');
    if (minIntDigits == 0 && intPart == "0") intPart.clear();
    std::string out = intPart;
    if (decimals > 0) {
        out += '.';
        for (int p = -1; p >= -decimals; --p) out += d.digits.empty() ? '0' : digitAt(d, p);
    }
    if (negative && out.find_first_of("123456789") != std::string::npos) out.insert(0, 1, '-');
    return out;
}

std::string exponentText(int exp, bool withPlus, int minDigits) {
    std::string digits = std::to_string(std::abs(exp));
    if (static_cast<int>(digits.size()) < minDigits)
        digits.insert(0, static_cast<std::size_t>(minDigits) - digits.size(), '0');
    if (exp < 0) return "-" + digits;
    return withPlus ? "+" + digits : digits;
}

std::string nonFinite(double v) {
    if (std::isnan(v)) return "NAN";
    return v < 0 ? "-INF" : "INF";
}

// General notation of already rounded digits (trailing zeros removed).
std::string renderGeneral(bool negative, Digits d, int precision, int minExpDigits) {
    while (d.digits.size() > 1 && d.digits.back() == '0') d.digits.pop_back();
    std::string out = negative ? "-" : "";
    if (d.exp < -5 || d.exp >= precision) {
        out += d.digits[0];
        if (d.digits.size() > 1) out += "." + d.digits.substr(1);
        return out + "E" + exponentText(d.exp, false, minExpDigits);
    }
    const int decimals = std::max(0, static_cast<int>(d.digits.size()) - 1 - d.exp);
    return out + renderFixed(false, d, decimals, 1);
}

} // namespace

std::string formatFixed(double value, int decimals) {
    if (!std::isfinite(value)) return nonFinite(value);
    decimals = std::clamp(decimals, 0, 40);
    const Digits d = value == 0 ? Digits{} : roundDecimals(std::fabs(value), decimals);
    return renderFixed(std::signbit(value), d, decimals, 1);
}

std::string formatPattern(double value, std::string_view pattern) {
    if (!std::isfinite(value)) return nonFinite(value);
    const auto point = pattern.find('.');
    const auto intPart = pattern.substr(0, point);
    const auto fracPart = point == std::string_view::npos ? std::string_view{} : pattern.substr(point + 1);
    const int intZeros = static_cast<int>(std::count(intPart.begin(), intPart.end(), '0'));
    const int decimals = std::min(40, static_cast<int>(std::count(fracPart.begin(), fracPart.end(), '0')));
    // Like the formatting routine the patterns come from: an empty pattern, or a value too large for
    // a fixed rendering of 18 digits, falls back to the general format.
    if (intZeros + decimals == 0 || std::fabs(value) >= 1e18) return formatGeneral(value, 15);
    const Digits d = value == 0 ? Digits{} : roundDecimals(std::fabs(value), decimals);
    return renderFixed(std::signbit(value), d, decimals, intZeros);
}

std::string formatGeneral(double value, int precision, int minExponentDigits) {
    if (!std::isfinite(value)) return nonFinite(value);
    if (value == 0) return "0";
    precision = std::clamp(precision, 1, 17);
    minExponentDigits = std::clamp(minExponentDigits, 0, 4);
    return renderGeneral(value < 0, roundSignificant(std::fabs(value), precision), precision,
                         minExponentDigits);
}

std::string formatFixedPrecision(double value, int precision, int decimals) {
    if (!std::isfinite(value)) return nonFinite(value);
    precision = std::clamp(precision, 1, 17);
    decimals = std::clamp(decimals, 0, 40);
    if (value == 0) return renderFixed(false, Digits{}, decimals, 1);
    const double a = std::fabs(value);
    const int e = scientific(a, 17).exp;
    Digits d;
    if (e + 1 + decimals >= precision) {
        d = roundSignificant(a, precision);
        if (d.exp + 1 > precision) return renderGeneral(value < 0, d, precision, 0);
    } else {
        d = roundDecimals(a, decimals);
    }
    return renderFixed(value < 0, d, decimals, 1);
}

std::string formatExponent(double value, int precision, int exponentDigits) {
    if (!std::isfinite(value)) return nonFinite(value);
    precision = std::clamp(precision, 1, 17);
    exponentDigits = std::clamp(exponentDigits, 1, 4);
    Digits d{std::string(static_cast<std::size_t>(precision), '0'), 0};
    if (value != 0) d = roundSignificant(std::fabs(value), precision);
    std::string out = value < 0 ? "-" : "";
    out += d.digits[0];
    if (precision > 1) out += "." + d.digits.substr(1);
    return out + "E" + exponentText(d.exp, true, exponentDigits);
}

std::string formatScientific23(double value) {
    if (!std::isfinite(value)) return nonFinite(value);
    return (value < 0 ? "-" : " ") + formatExponent(std::fabs(value), 15, 4);
}

std::int64_t roundHalfEven(double value) {
    if (std::isnan(value)) return 0;
    // 2^63 is exactly representable; every double at or beyond it saturates.
    constexpr double kLimit = 9223372036854775808.0;
    if (value >= kLimit) return INT64_MAX;
    if (value <= -kLimit) return INT64_MIN;
    const double f = std::floor(value);
    const double diff = value - f; // exact for |value| < 2^63
    double r = f;
    if (diff > 0.5 || (diff == 0.5 && std::fmod(f, 2.0) != 0)) r = f + 1;
    if (r >= kLimit) return INT64_MAX;
    return static_cast<std::int64_t>(r);
}

} // namespace korvo::text

#pragma once
// What the VAMAS writer and reader share: the fixed texts, the techniques and the exact decimals
// that carry the energies of a REGULAR block.
#include <algorithm>
#include <array>
#include <charconv>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace korvo::vamas {

// The shortest text that reads back as exactly `v`.
inline std::string shortest(double v) {
    char buf[40];
    const auto r = std::to_chars(buf, buf + sizeof buf, v);
    return std::string(buf, r.ptr);
}

inline constexpr std::string_view kEndLine = "end of experiment";
inline constexpr std::string_view kKorvoPrefix = "Korvo ";
inline constexpr std::string_view kEnergiesName = "x";
// Integers up to 2^53 and powers of ten up to 1E22 are exact doubles: one division of the two gives
// the double nearest to the decimal, exactly what reading the decimal's text gives.
inline constexpr std::int64_t kExactInteger = std::int64_t(1) << 53;

inline constexpr std::array<double, 23> kPowersOfTen = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                                        1e8,  1e9,  1e10, 1e11, 1e12, 1e13, 1e14, 1e15,
                                                        1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};

inline const std::array<std::string_view, 14> kTechniques = {
    "AES diff", "AES dir", "EDX", "ELS", "FABMS", "FABMS energy spec", "ISS", "SIMS", "SIMS energy spec",
    "SNMS", "SNMS energy spec", "UPS", "XPS", "XRF"};
// Techniques whose blocks carry the sputtering ion (three lines after the source label).
inline const std::array<std::string_view, 7> kIonTechniques = {
    "FABMS", "FABMS energy spec", "ISS", "SIMS", "SIMS energy spec", "SNMS", "SNMS energy spec"};

template <std::size_t N> bool oneOf(std::string_view v, const std::array<std::string_view, N>& list) {
    return std::find(list.begin(), list.end(), v) != list.end();
}

// ---- exact decimal energies

struct Decimal {
    std::int64_t digits = 0; // the value is digits / 10^decimals
    int decimals = 0;
};

// A plain decimal text ("-12.050", "3", "+.5") as digits and decimals; nullopt for an exponent,
// too many digits or anything else.
inline std::optional<Decimal> parseDecimal(std::string_view s) {
    Decimal d;
    bool negative = false;
    std::size_t i = 0;
    if (i < s.size() && (s[i] == '+' || s[i] == '-')) negative = s[i++] == '-';
    bool point = false, any = false;
    for (; i < s.size(); ++i) {
        const char c = s[i];
        if (c == '.' && !point) {
            point = true;
            continue;
        }
        if (c < '0' || c > '9') return std::nullopt;
        any = true;
        if (d.digits >= kExactInteger / 10) return std::nullopt;
        d.digits = d.digits * 10 + (c - '0');
        if (point) ++d.decimals;
    }
    if (!any || d.decimals > 22) return std::nullopt;
    if (negative) d.digits = -d.digits;
    return d;
}

inline std::optional<std::int64_t> scaled(Decimal d, int decimals) {
    std::int64_t v = d.digits;
    for (int i = d.decimals; i < decimals; ++i) {
        if (v >= kExactInteger / 10 || v <= -kExactInteger / 10) return std::nullopt;
        v *= 10;
    }
    return v;
}

} // namespace korvo::vamas

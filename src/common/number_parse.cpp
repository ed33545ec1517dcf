// Text to number, and the bit-pattern texts of the hardware test pages.
#include "common/number_text.h"

#include <charconv>
#include <cmath>

namespace korvo::text {

namespace {

bool isBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

std::string_view trimBlanks(std::string_view s) {
    while (!s.empty() && isBlank(s.front())) s.remove_prefix(1);
    while (!s.empty() && isBlank(s.back())) s.remove_suffix(1);
    return s;
}

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

// The rejected text as it goes into a message: quoted, shortened, control bytes shown as '?'.
std::string quoted(std::string_view text) {
    std::string out = "\"";
    const std::size_t shown = std::min<std::size_t>(text.size(), 40);
    for (std::size_t i = 0; i < shown; ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        out += c < 0x20 || c == 0x7F ? '?' : static_cast<char>(c);
    }
    if (text.size() > shown) out += "...";
    return out + "\"";
}

template <typename T> Parsed<T> rejected(std::string_view text, const char* why) {
    Parsed<T> p;
    p.error = text.empty() ? std::string("An empty text is not a number") : quoted(text) + why;
    return p;
}

// Checks the shape [sign] digits [. digits] [e|E [sign] digits] with at least one mantissa digit;
// returns the decimal magnitude (position of the first significant digit plus the exponent) so
// that a value beyond the double range can be told apart from one too small to be represented.
bool decimalShape(std::string_view s, long& magnitude) {
    std::size_t i = 0;
    if (i < s.size() && (s[i] == '+' || s[i] == '-')) ++i;
    long intDigits = 0, fracDigits = 0, significant = 0;
    bool seenSignificant = false, anyDigit = false, afterPoint = false;
    for (; i < s.size(); ++i) {
        const char c = s[i];
        if (isDigit(c)) {
            anyDigit = true;
            if (c != '0' && !seenSignificant) {
                seenSignificant = true;
                significant = afterPoint ? -(fracDigits + 1) : intDigits;
            }
            if (afterPoint)
                ++fracDigits;
            else if (intDigits < 100000)
                ++intDigits;
        } else if (c == '.' && !afterPoint) {
            afterPoint = true;
        } else {
            break;
        }
    }
    // A significant digit at integer index k stands for 10^(intDigits - k - 1).
    if (seenSignificant && significant >= 0) significant = intDigits - significant - 1;
    if (!anyDigit) return false;
    long exponent = 0;
    if (i < s.size() && (s[i] == 'e' || s[i] == 'E')) {
        ++i;
        bool negative = false;
        if (i < s.size() && (s[i] == '+' || s[i] == '-')) negative = s[i++] == '-';
        if (i >= s.size() || !isDigit(s[i])) return false;
        for (; i < s.size() && isDigit(s[i]); ++i)
            if (exponent < 100000) exponent = exponent * 10 + (s[i] - '0');
        if (negative) exponent = -exponent;
    }
    if (i != s.size()) return false;
    magnitude = seenSignificant ? significant + exponent : -1000000;
    return true;
}

} // namespace

Parsed<double> parseDouble(std::string_view text) {
    const std::string_view s = trimBlanks(text);
    long magnitude = 0;
    // A comma is the mistake a European keyboard makes all day: the message names the separator.
    if (s.empty() || !decimalShape(s, magnitude))
        return rejected<double>(text, s.find(',') != std::string_view::npos
                                          ? " is not a number (the decimal separator is \".\")"
                                          : " is not a number");
    const bool negative = s.front() == '-';
    const std::string_view body = s.front() == '+' || s.front() == '-' ? s.substr(1) : s;
    double v = 0;
    const auto r = std::from_chars(body.data(), body.data() + body.size(), v, std::chars_format::general);
    Parsed<double> p;
    if (r.ec == std::errc::result_out_of_range) {
        // A number too small to hold is zero; one too large is an error, never infinity.
        if (magnitude > 0) return rejected<double>(text, " is outside the number range");
        v = 0;
    } else if (r.ec != std::errc() || r.ptr != body.data() + body.size() || !std::isfinite(v)) {
        return rejected<double>(text, " is not a number");
    }
    p.value = negative ? -v : v;
    return p;
}

Parsed<std::int32_t> parseInt(std::string_view text) {
    const std::string_view s = trimBlanks(text);
    std::size_t i = 0;
    if (!s.empty() && (s[0] == '+' || s[0] == '-')) ++i;
    if (i >= s.size()) return rejected<std::int32_t>(text, " is not an integer");
    for (std::size_t k = i; k < s.size(); ++k)
        if (!isDigit(s[k])) return rejected<std::int32_t>(text, " is not an integer");
    std::int64_t v = 0;
    for (std::size_t k = i; k < s.size(); ++k) {
        v = v * 10 + (s[k] - '0');
        if (v > 2147483648LL) return rejected<std::int32_t>(text, " is outside the integer range");
    }
    if (s[0] == '-') v = -v;
    if (v > 2147483647LL) return rejected<std::int32_t>(text, " is outside the integer range");
    Parsed<std::int32_t> p;
    p.value = static_cast<std::int32_t>(v);
    return p;
}

// Negative values are written as their two's complement: 32 bits when the value fits an int32 (the
// form HexTextToInt reads back), 64 bits otherwise.
static std::uint64_t bitPattern(std::int64_t v, int& bits) {
    if (v >= 0) {
        bits = 64;
        return static_cast<std::uint64_t>(v);
    }
    if (v >= INT32_MIN) {
        bits = 32;
        return static_cast<std::uint32_t>(static_cast<std::int32_t>(v));
    }
    bits = 64;
    return static_cast<std::uint64_t>(v);
}

std::string IntToBinText(std::int64_t v) {
    int bits = 0;
    std::uint64_t u = bitPattern(v, bits);
    std::string out;
    while (u != 0) {
        out.insert(out.begin(), static_cast<char>('0' + (u & 1)));
        u >>= 1;
    }
    if (out.size() < 8) out.insert(0, 8 - out.size(), '0');
    return out;
}

std::string IntToHexText(std::int64_t v) {
    int bits = 0;
    std::uint64_t u = bitPattern(v, bits);
    if (u == 0) return "0";
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string out;
    while (u != 0) {
        out.insert(out.begin(), kHex[u & 15]);
        u >>= 4;
    }
    return out;
}

std::int32_t HexTextToInt(std::string_view text) {
    if (!text.empty() && text[0] == '$') text.remove_prefix(1);
    // The accumulation runs modulo 2^32, which is what a 32-bit accumulator did and keeps any
    // length of text defined; the final step maps the upper half to the negative values.
    std::uint32_t acc = 0;
    for (const char ch : text) {
        char c = ch;
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
        std::uint32_t digit = 0xFFFFFFFFu; // -1 for a character outside the alphabet
        if (c >= '0' && c <= '9')
            digit = static_cast<std::uint32_t>(c - '0');
        else if (c >= 'A' && c <= 'F')
            digit = static_cast<std::uint32_t>(c - 'A' + 10);
        acc = acc * 16u + digit;
    }
    return static_cast<std::int32_t>(acc);
}

} // namespace korvo::text

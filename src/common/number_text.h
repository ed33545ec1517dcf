#pragma once
// Number <-> text, independent of the user's locale: "." is the only decimal separator, in files and
// in fields alike. Every conversion in the program goes through these helpers.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace korvo::text {

// Format with a digit pattern such as "0", "00", "0000000", "0.0", "0.000", "0.00000000", "000.00":
// at least as many integer digits as "0"s before the point (zero-padded), exactly as many decimals
// as "0"s after it, halves rounded away from zero on the decimal value. A value that rounds to zero
// carries no minus sign. NaN gives "NAN", infinities "INF" / "-INF".
// "Exact decimal value" means the binary value itself: 0.125 is a true half and gives "0.13" with
// "0.00", while 1.005 is stored as 1.00499999999999989... and gives "1.00". Values of 1E18 and more,
// and an empty pattern, give the general format.
std::string formatPattern(double value, std::string_view pattern);

// Fixed notation with `decimals` decimals (same rounding and sign rules as formatPattern).
std::string formatFixed(double value, int decimals);

// General format: the shortest text with at most `precision` significant digits and no trailing
// zeros; exponent form ("1.5E-7", "2E15") when |value| < 1E-5 (and not 0) or |value| >= 10^precision.
// minExponentDigits pads the exponent with leading zeros ("1E05" with 2).
std::string formatGeneral(double value, int precision = 15, int minExponentDigits = 0);

// Fixed notation with `decimals` decimals of a value first rounded to `precision` significant
// digits (digits beyond the precision read as zeros: 12345.678 with precision 7 and 3 decimals gives
// "12345.680"). A value with more integer digits than `precision` is written in exponent form as
// formatGeneral does.
std::string formatFixedPrecision(double value, int precision, int decimals);

// Exponent form with `precision` significant digits (trailing zeros kept), "E", the exponent's sign
// and at least `exponentDigits` exponent digits: 1234.5 with 15 and 4 -> "1.23450000000000E+0003".
std::string formatExponent(double value, int precision, int exponentDigits);

// The plain shortest number text used wherever a computed number goes back into a field.
inline std::string plainNumber(double value) {
    return formatGeneral(value, 15);
}

// 23-character exponent form: sign position (blank or "-"), one digit, ".", 14 digits, "E", exponent
// sign and four exponent digits: 1 -> " 1.00000000000000E+0000".
// NaN and infinities give "NAN", "INF", "-INF" as in the other formats.
std::string formatScientific23(double value);

// Round to the nearest integer, halves to even; saturates at the int64 range, NaN gives 0.
std::int64_t roundHalfEven(double value);

// Result of parsing a text typed by a user or read from a file.
template <typename T> struct Parsed {
    std::optional<T> value;
    std::string error; // why the text was rejected; empty on success
    explicit operator bool() const { return value.has_value(); }
    T operator*() const { return *value; }
};

// A decimal number with "." as separator and optional exponent; surrounding blanks are ignored.
// Rejected: empty text, "," separators, trailing garbage, values outside the double range, NaN/Inf.
Parsed<double> parseDouble(std::string_view text);
// A decimal integer that fits into 32 bits signed; surrounding blanks are ignored.
Parsed<std::int32_t> parseInt(std::string_view text);

// Binary digits of v, at least 8 characters, zero-padded on the left.
std::string IntToBinText(std::int64_t v);
// Upper-case hexadecimal digits without leading zeros ("0" for 0).
std::string IntToHexText(std::int64_t v);
// Hexadecimal text to a 32-bit signed value: a leading "$" is skipped, letters are upper-cased, a
// character outside "0123456789ABCDEF" counts as -1 in the base-16 accumulation, a result above
// 2147483647 has 4294967296 subtracted.
std::int32_t HexTextToInt(std::string_view text);

} // namespace korvo::text

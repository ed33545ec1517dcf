#include "common/number_text.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>

namespace korvo::text {

namespace {
struct P {
    double value;
    const char* pattern;
    const char* text;
};
struct G {
    double value;
    int precision, exponentDigits;
    const char* text;
};
constexpr double kDenormMin = std::numeric_limits<double>::denorm_min();
} // namespace

// Halves round away from zero on the exact binary value; zero results carry no minus sign.
TEST(FormatPattern, PaddingRoundingSignsAndHugeValues) {
    // clang-format off
    for (const P& c : {
        P{3, "00", "03"}, P{12345678, "0000", "12345678"}, P{2.5, "0.000", "2.500"},
        P{-0.4321, "0.0000", "-0.4321"}, P{5.5, "000.00", "005.50"}, P{1234.5, "0", "1235"},
        P{0.5, ".00", ".50"}, P{0.125, "0.00", "0.13"}, P{-0.125, "0.00", "-0.13"}, P{2.5, "0", "3"},
        P{1.005, "0.00", "1.00"}, P{2.675, "0.00", "2.67"}, P{9.9996, "0.000", "10.000"},
        P{999.5, "000", "1000"}, P{0.0005, "0.000", "0.001"}, P{-0.0, "0.000", "0.000"},
        P{-0.0004, "0.000", "0.000"}, P{-0.4, "0", "0"}, P{std::nan(""), "0.00", "NAN"},
        P{HUGE_VAL, "0.00", "INF"}, P{2e20, "0.0000", "2E20"}, P{0.0007, "0.000", "0.001"}, P{2.25, "0.0", "2.3"},
        P{999999999999999872.0, "0", "999999999999999872"}, P{1e18, "0", "1E18"},
        P{1.2345678901234567e20, "0.0", "1.23456789012346E20"}, P{2.5, "", "2.5"}, P{1234.5, "#", "1234.5"},
        P{12.5, ".00", "12.50"}})
        // clang-format on
        EXPECT_EQ(formatPattern(c.value, c.pattern), c.text) << c.value << " " << c.pattern;
    // At most 40 decimals, and no decimals is the least.
    EXPECT_EQ(formatPattern(0.5, "0." + std::string(45, '0')), "0.5" + std::string(39, '0'));
    EXPECT_EQ(formatFixed(1234.5, -2), "1235");
    EXPECT_EQ(formatFixed(0.0005, 2), "0.00"); // far below half a unit of the last decimal
    // One step below 1e15: its 16-digit rounding carries into the next power of ten, its place does not.
    EXPECT_EQ(formatFixed(999999999999999.875, 1), "999999999999999.9");
    EXPECT_EQ(formatFixedPrecision(999999999999999.875, 17, 1), "999999999999999.9");
    EXPECT_EQ(formatFixed(-1e-300, 2), "0.00");
    EXPECT_EQ(formatFixed(-0.0, 0), "0");
    EXPECT_EQ(formatFixed(-HUGE_VAL, 3), "-INF");
    EXPECT_EQ(formatFixed(1e22, 1), "10000000000000000000000.0");
    EXPECT_EQ(formatFixed(kDenormMin, 3), "0.000");
    EXPECT_EQ(formatFixed(0.5, 99), "0.5" + std::string(39, '0')); // at most 40 decimals
}

TEST(FormatGeneral, ShortestTextPrecisionAndExponentThresholds) {
    for (const G& c :
         {G{0.1 + 0.2, 15, 0, "0.3"}, G{1.0 / 3.0, 15, 0, "0.333333333333333"}, G{-12.5, 15, 0, "-12.5"},
          G{1.5e-7, 15, 0, "1.5E-7"}, G{1e-5, 15, 0, "0.00001"}, G{2e15, 15, 0, "2E15"},
          G{999999999999999, 15, 0, "999999999999999"}, G{999999999999999.9, 15, 0, "1E15"},
          G{-0.0, 15, 0, "0"}, G{1e300, 15, 0, "1E300"}, G{kDenormMin, 15, 0, "4.94065645841247E-324"},
          G{0.066666666, 5, 0, "0.066667"}, G{12345.6, 5, 0, "12346"}, G{123456, 5, 0, "1.2346E5"},
          G{10000, 4, 2, "1E04"}, G{1e100, 4, 9, "1E0100"}, G{9999, 4, 2, "9999"}, G{0.125, 2, 0, "0.13"},
          G{1e-6, 15, 0, "1E-6"}, G{12345.6, 1, 0, "1E4"}, G{5, 0, 0, "5"},
          G{0.1, 99, 0, "0.10000000000000001"}})
        EXPECT_EQ(formatGeneral(c.value, c.precision, c.exponentDigits), c.text) << c.value;
    EXPECT_EQ(formatGeneral(0.1 + 0.2), "0.3"); // the defaults are the widest form

    // Fixed with a precision: as many integer digits as the precision stay fixed, one more (also
    // when rounding carries into it) switches to the exponent form.
    struct F {
        double value;
        int precision, decimals;
        const char* text;
    };
    for (const F& c :
         {F{12.3456789, 7, 3, "12.346"}, F{12345.678, 7, 3, "12345.680"}, F{123456789.4, 10, 0, "123456789"},
          F{-0.0004, 7, 3, "0.000"}, F{12345678901.0, 10, 0, "1.23456789E10"},
          F{12345.678, 5, 3, "12346.000"}, F{99999.7, 5, 0, "1E5"}, F{9999999999.6, 10, 0, "1E10"},
          F{-99999.7, 5, 0, "-1E5"}, F{-12.3456, 7, 3, "-12.346"}, F{0.5, 7, 3, "0.500"}, F{-0.5, 7, 3, "-0.500"},
          F{0, 5, 2, "0.00"}, F{-0.0, 5, 2, "0.00"}, F{2.5, 5, -3, "3"}, F{0.1, 99, 20, "0.10000000000000001000"}})
        EXPECT_EQ(formatFixedPrecision(c.value, c.precision, c.decimals), c.text) << c.value;
}

TEST(FormatScientific, TwentyThreeCharacterForm) {
    EXPECT_EQ(formatScientific23(1), " 1.00000000000000E+0000");
    EXPECT_EQ(formatScientific23(-1234.5), "-1.23450000000000E+0003");
    EXPECT_EQ(formatScientific23(-0.0), " 0.00000000000000E+0000");
    EXPECT_EQ(formatScientific23(1e-300), " 1.00000000000000E-0300");
    EXPECT_EQ(formatScientific23(9.999999999999999), " 1.00000000000000E+0001");
    EXPECT_EQ(formatExponent(1234.5, 15, 4), "1.23450000000000E+0003");
    // Precision 1..17 and 1..4 exponent digits; a sign only for negative values.
    EXPECT_EQ(formatExponent(1234.5, 1, 1), "1E+3");
    EXPECT_EQ(formatExponent(0, 0, 0), "0E+0");
    EXPECT_EQ(formatExponent(1, 15, 9), "1.00000000000000E+0000");
    EXPECT_EQ(formatExponent(0.1, 99, 2), "1.0000000000000001E-01");
    EXPECT_EQ(formatExponent(0.5, 3, 2), "5.00E-01");
    EXPECT_EQ(formatExponent(-0.5, 3, 2), "-5.00E-01");
    EXPECT_EQ(formatFixedPrecision(0.5, 5, 99), "0.5" + std::string(39, '0'));
}

TEST(RoundHalfEven, HalvesToEvenAndSaturates) {
    using R = std::pair<double, std::int64_t>;
    for (auto [v, r] : {R{2.5, 2}, R{3.5, 4}, R{-2.5, -2}, R{-0.5, 0}, R{2.4999999999999996, 2},
                        R{4503599627370497.0, 4503599627370497LL}, R{1e300, INT64_MAX}, R{-1e300, INT64_MIN},
                        R{2.7, 3}, R{-2.7, -3}, R{9223372036854775808.0, INT64_MAX},
                        R{-9223372036854775808.0, INT64_MIN},
                        R{std::nan(""), 0}})
        EXPECT_EQ(roundHalfEven(v), r) << v;
}

TEST(ParseNumbers, DecimalTextWithBlanksSignAndExponentElseAMessage) {
    using D = std::pair<const char*, double>;
    for (auto [t, v] : {D{"  12.5 ", 12.5}, D{"+4.25e2", 425.0}, D{"1.5E-7", 1.5e-7}, D{".5", 0.5},
                        D{"7.", 7.0}, D{"\t0.1\r\n", 0.1}, D{"1e-400", 0.0}, D{"19.09", 19.09}, D{"2.5e+2", 250.0}})
        EXPECT_EQ(*parseDouble(t), v) << t; // too small to hold is zero, not an error
    // A text that is part of a longer one is read up to its own end.
    const std::string_view longer = "125e56x";
    EXPECT_EQ(*parseDouble(longer.substr(0, 2)), 12.0);
    EXPECT_EQ(*parseDouble(longer.substr(0, 3)), 125.0);
    EXPECT_EQ(*parseDouble(longer.substr(0, 5)), 125e5);
    EXPECT_FALSE(parseDouble(longer.substr(0, 4))); // "125e": the exponent's digits are missing
    EXPECT_EQ(*parseInt(longer.substr(0, 3)), 125);
    EXPECT_TRUE(std::signbit(*parseDouble("-0")));
    for (const char* bad :
         {"",    "   ", "abc", "12,5", "1e400", "-1e400", "nan", "inf", "-INF", "1.2.3", "1e",
          "1e+", "--1", "+-1", "1 2",  "0x10",  "12abc",  ".",   "-",   "e5",   "1,000", "1e 5", "1e+400"}) {
        const auto r = parseDouble(bad);
        EXPECT_TRUE(!r && !r.error.empty()) << bad;
    }
    // Leading zeros do not make a number larger or smaller: the range check counts from the first
    // significant digit.
    EXPECT_EQ(*parseDouble(std::string(400, '0') + "1e-330"), 0.0);
    EXPECT_FALSE(parseDouble("01" + std::string(400, '0') + "e-1"));
    EXPECT_FALSE(parseDouble("1" + std::string(400, '0') + "e-50"));
    EXPECT_EQ(*parseDouble("0." + std::string(400, '0') + "1e-330"), 0.0);
    // The message shows the text as typed, blanks included.
    EXPECT_EQ(parseDouble("abc").error, "\"abc\" is not a number");
    EXPECT_EQ(parseDouble("1 2").error, "\"1 2\" is not a number");
    EXPECT_EQ(parseDouble("1,5").error, "\"1,5\" is not a number (the decimal separator is \".\")");
    EXPECT_EQ(parseDouble(",5").error, "\",5\" is not a number (the decimal separator is \".\")");
    EXPECT_NE(parseDouble("1e400").error.find("range"), std::string::npos);
    EXPECT_NE(parseDouble(std::string("1\0", 2)).error.find("\"1?\""), std::string::npos);
    EXPECT_EQ(parseDouble("").error, "An empty text is not a number");
    // At most 40 bytes are shown, control bytes as '?'.
    const std::string shown = "!~\x1F\x7F" + std::string(36, 'a');
    EXPECT_EQ(parseDouble(shown).error, "\"!~??" + std::string(36, 'a') + "\" is not a number");
    EXPECT_EQ(parseDouble(shown + "b").error, "\"!~??" + std::string(36, 'a') + "...\" is not a number");

    EXPECT_EQ(*parseInt(" 512 "), 512);
    EXPECT_EQ(*parseInt("-2147483648"), INT32_MIN);
    EXPECT_EQ(*parseInt("+2147483647"), INT32_MAX);
    EXPECT_EQ(*parseInt("000012"), 12);
    EXPECT_EQ(*parseInt("1909"), 1909);
    for (const char* bad : {"2147483648", "-2147483649", "99999999999999999999", "1.0", "1e3", "", "-",
                            "12 3", "0x10", "$1F", "abc", "#12"})
        EXPECT_FALSE(parseInt(bad)) << bad;
}

TEST(BitTexts, BinaryHexAndBack) {
    using H = std::pair<const char*, int>;
    EXPECT_EQ(IntToBinText(5), "00000101");
    EXPECT_EQ(IntToBinText(0x1FF), "111111111");
    EXPECT_EQ(IntToBinText(-1), std::string(32, '1'));
    EXPECT_EQ(IntToHexText(0xB2), "B2");
    EXPECT_EQ(IntToHexText(-1), "FFFFFFFF");
    EXPECT_EQ(IntToHexText(INT64_MIN), "8000000000000000");
    EXPECT_EQ(IntToHexText(0), "0");
    EXPECT_EQ(IntToHexText(0x123456789AB), "123456789AB");
    EXPECT_EQ(IntToHexText(INT32_MIN), "80000000"); // the smallest value written in 32 bits
    EXPECT_EQ(IntToHexText(std::int64_t{INT32_MIN} - 1), "FFFFFFFF7FFFFFFF");
    for (auto [t, v] : {H{"$1f", 31}, H{"7FFFFFFF", INT32_MAX}, H{"80000000", INT32_MIN}, H{"", 0},
                        H{"G", -1}, H{"1G", 15}, H{"123456789", 0x23456789}, H{"$aA", 0xAA}})
        EXPECT_EQ(HexTextToInt(t), v) << t; // outside the alphabet counts as -1; long texts wrap at 32 bits
    for (std::int32_t v : {0, 1, 255, 65535, 0xABCDE, -1, -256, INT32_MIN, INT32_MAX})
        EXPECT_EQ(HexTextToInt(IntToHexText(v)), v) << v;
}

} // namespace korvo::text

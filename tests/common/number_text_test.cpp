#include "common/number_text.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace korvo::text {

TEST(FormatPattern, PadsIntegerDigitsAndFixesDecimals) {
    EXPECT_EQ(formatPattern(3, "00"), "03");
    EXPECT_EQ(formatPattern(12345678, "0000"), "12345678");
    EXPECT_EQ(formatPattern(2.5, "0.000"), "2.500");
    EXPECT_EQ(formatPattern(-0.4321, "0.0000"), "-0.4321");
    EXPECT_EQ(formatPattern(5.5, "000.00"), "005.50");
    EXPECT_EQ(formatPattern(1234.5, "0"), "1235");
    EXPECT_EQ(formatPattern(0.5, ".00"), ".50");
}

TEST(FormatPattern, RoundsHalvesAwayFromZeroOnTheExactValue) {
    EXPECT_EQ(formatPattern(0.125, "0.00"), "0.13"); // exact tie
    EXPECT_EQ(formatPattern(-0.125, "0.00"), "-0.13");
    EXPECT_EQ(formatPattern(2.5, "0"), "3");
    EXPECT_EQ(formatPattern(1.005, "0.00"), "1.00");     // 1.00499999999999989...
    EXPECT_EQ(formatPattern(2.675, "0.00"), "2.67");     // 2.67499999999999982...
    EXPECT_EQ(formatPattern(9.9996, "0.000"), "10.000"); // carry into a new integer digit
    EXPECT_EQ(formatPattern(999.5, "000"), "1000");
    EXPECT_EQ(formatPattern(0.0005, "0.000"), "0.001"); // below the last decimal, rounds up
}

TEST(FormatPattern, NoMinusSignOnZeroResults) {
    EXPECT_EQ(formatPattern(-0.0, "0.000"), "0.000");
    EXPECT_EQ(formatPattern(-0.0004, "0.000"), "0.000");
    EXPECT_EQ(formatPattern(-0.4, "0"), "0");
    EXPECT_EQ(formatFixed(-1e-300, 2), "0.00");
    EXPECT_EQ(formatFixed(-0.0, 0), "0");
}

TEST(FormatPattern, NonFiniteAndHugeValues) {
    EXPECT_EQ(formatPattern(std::nan(""), "0.00"), "NAN");
    EXPECT_EQ(formatPattern(HUGE_VAL, "0.00"), "INF");
    EXPECT_EQ(formatFixed(-HUGE_VAL, 3), "-INF");
    EXPECT_EQ(formatPattern(2e20, "0.0000"), "2E20");
    EXPECT_EQ(formatFixed(1e22, 1), "10000000000000000000000.0");
    EXPECT_EQ(formatFixed(std::numeric_limits<double>::denorm_min(), 3), "0.000");
}

TEST(FormatGeneral, ShortestTextAndExponentThresholds) {
    EXPECT_EQ(formatGeneral(0.1 + 0.2), "0.3");
    EXPECT_EQ(formatGeneral(1.0 / 3.0), "0.333333333333333");
    EXPECT_EQ(formatGeneral(-12.5), "-12.5");
    EXPECT_EQ(formatGeneral(1.5e-7), "1.5E-7");
    EXPECT_EQ(formatGeneral(1e-5), "0.00001");
    EXPECT_EQ(formatGeneral(2e15), "2E15");
    EXPECT_EQ(formatGeneral(999999999999999), "999999999999999");
    EXPECT_EQ(formatGeneral(999999999999999.9), "1E15"); // rounds up into exponent form
    EXPECT_EQ(formatGeneral(-0.0), "0");
    EXPECT_EQ(formatGeneral(1e300), "1E300");
    EXPECT_EQ(formatGeneral(std::numeric_limits<double>::denorm_min()), "4.94065645841247E-324");
}

TEST(FormatGeneral, SmallerPrecisionMovesTheExponentThreshold) {
    EXPECT_EQ(formatGeneral(0.066666666, 5), "0.066667");
    EXPECT_EQ(formatGeneral(12345.6, 5), "12346");
    EXPECT_EQ(formatGeneral(123456, 5), "1.2346E5");
    EXPECT_EQ(formatGeneral(10000, 4, 2), "1E04");
    EXPECT_EQ(formatGeneral(9999, 4, 2), "9999");
    EXPECT_EQ(formatGeneral(0.125, 2), "0.13");
}

TEST(FormatFixedPrecision, RoundsToSignificantDigitsThenPads) {
    EXPECT_EQ(formatFixedPrecision(12.3456789, 7, 3), "12.346");
    EXPECT_EQ(formatFixedPrecision(12345.678, 7, 3), "12345.680");
    EXPECT_EQ(formatFixedPrecision(123456789.4, 10, 0), "123456789");
    EXPECT_EQ(formatFixedPrecision(-0.0004, 7, 3), "0.000");
    EXPECT_EQ(formatFixedPrecision(12345678901.0, 10, 0), "1.23456789E10");
}

TEST(FormatScientific, TwentyThreeCharacterForm) {
    EXPECT_EQ(formatScientific23(1), " 1.00000000000000E+0000");
    EXPECT_EQ(formatScientific23(-1234.5), "-1.23450000000000E+0003");
    EXPECT_EQ(formatScientific23(-0.0), " 0.00000000000000E+0000");
    EXPECT_EQ(formatScientific23(1e-300), " 1.00000000000000E-0300");
    EXPECT_EQ(formatScientific23(9.999999999999999), " 1.00000000000000E+0001");
    EXPECT_EQ(formatScientific23(3.14159).size(), 23u);
    EXPECT_EQ(formatExponent(1234.5, 15, 4), "1.23450000000000E+0003");
}

TEST(RoundHalfEven, HalvesToEvenAndSaturates) {
    EXPECT_EQ(roundHalfEven(2.5), 2);
    EXPECT_EQ(roundHalfEven(3.5), 4);
    EXPECT_EQ(roundHalfEven(-2.5), -2);
    EXPECT_EQ(roundHalfEven(-0.5), 0);
    EXPECT_EQ(roundHalfEven(2.4999999999999996), 2);
    EXPECT_EQ(roundHalfEven(4503599627370497.0), 4503599627370497LL);
    EXPECT_EQ(roundHalfEven(1e300), INT64_MAX);
    EXPECT_EQ(roundHalfEven(-1e300), INT64_MIN);
    EXPECT_EQ(roundHalfEven(std::nan("")), 0);
}

TEST(ParseDouble, AcceptsDecimalTextWithBlanksSignAndExponent) {
    EXPECT_EQ(*parseDouble("  12.5 "), 12.5);
    EXPECT_EQ(*parseDouble("+4.25e2"), 425.0);
    EXPECT_EQ(*parseDouble("1.5E-7"), 1.5e-7);
    EXPECT_EQ(*parseDouble(".5"), 0.5);
    EXPECT_EQ(*parseDouble("7."), 7.0);
    EXPECT_EQ(*parseDouble("\t0.1\r\n"), 0.1);
    EXPECT_EQ(*parseDouble("1e-400"), 0.0); // too small to hold: zero, not an error
    EXPECT_TRUE(std::signbit(*parseDouble("-0")));
}

TEST(ParseDouble, RejectsWhatIsNotAFiniteNumberAndSaysWhat) {
    for (const char* bad :
         {"",    "   ", "abc", "12,5", "1e400", "-1e400", "nan", "inf", "-INF", "1.2.3", "1e",
          "1e+", "--1", "+-1", "1 2",  "0x10",  "12abc",  ".",   "-",   "e5",   "1,000"}) {
        const auto r = parseDouble(bad);
        EXPECT_FALSE(r) << bad;
        EXPECT_FALSE(r.error.empty()) << bad;
    }
    EXPECT_EQ(parseDouble("abc").error, "\"abc\" is not a number");
    EXPECT_EQ(parseDouble("1,5").error, "\"1,5\" is not a number (the decimal separator is \".\")");
    EXPECT_NE(parseDouble("1e400").error.find("range"), std::string::npos);
    EXPECT_NE(parseDouble(std::string("1\0", 2)).error.find("\"1?\""), std::string::npos);
}

TEST(ParseInt, ThirtyTwoBitDecimalOnly) {
    EXPECT_EQ(*parseInt(" 512 "), 512);
    EXPECT_EQ(*parseInt("-2147483648"), INT32_MIN);
    EXPECT_EQ(*parseInt("+2147483647"), INT32_MAX);
    EXPECT_EQ(*parseInt("000012"), 12);
    for (const char* bad : {"2147483648", "-2147483649", "99999999999999999999", "1.0", "1e3", "", "-",
                            "12 3", "0x10", "$1F", "abc"})
        EXPECT_FALSE(parseInt(bad)) << bad;
}

TEST(BitTexts, BinaryHexAndBack) {
    EXPECT_EQ(IntToBinText(5), "00000101");
    EXPECT_EQ(IntToBinText(0x1FF), "111111111");
    EXPECT_EQ(IntToBinText(-1), std::string(32, '1'));
    EXPECT_EQ(IntToHexText(0xB2), "B2");
    EXPECT_EQ(IntToHexText(-1), "FFFFFFFF");
    EXPECT_EQ(IntToHexText(INT64_MIN), "8000000000000000");
    EXPECT_EQ(HexTextToInt("$1f"), 31);
    EXPECT_EQ(HexTextToInt("7FFFFFFF"), INT32_MAX);
    EXPECT_EQ(HexTextToInt("80000000"), INT32_MIN);
    EXPECT_EQ(HexTextToInt(""), 0);
    EXPECT_EQ(HexTextToInt("G"), -1);                 // outside the alphabet counts as -1
    EXPECT_EQ(HexTextToInt("1G"), 15);                // 1 * 16 - 1
    EXPECT_EQ(HexTextToInt("123456789"), 0x23456789); // longer texts wrap like a 32-bit register
    for (std::int32_t v : {0, 1, 255, 65535, -1, -256, INT32_MIN, INT32_MAX})
        EXPECT_EQ(HexTextToInt(IntToHexText(v)), v) << v;
}

} // namespace korvo::text

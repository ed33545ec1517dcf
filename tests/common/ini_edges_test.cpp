// INI values and number texts at their edges: the shortest quoted values, names of the same hash,
// the ends of the 32-bit range, and where a digit pattern gives way to the general format.
#include "common/ini_file.h"
#include "common/number_text.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

namespace korvo {

TEST(IniEdges, OnlyAMatchingPairOfQuotesIsDropped) {
    struct Case {
        const char* written; // the value as it stands in the file
        const char* read;
    };
    // Quotes only: other characters at both ends, also those beside the quotes in the code table,
    // stay.
    for (const Case& c : {Case{"\"a\"", "a"}, Case{"'a'", "a"}, Case{"\"\"", ""}, Case{"\"", "\""},
                          Case{"'", "'"}, Case{"\"a'", "\"a'"}, Case{"'a\"", "'a\""}, Case{"axa", "axa"},
                          Case{"!x!", "!x!"}, Case{"&x&", "&x&"}}) {
        IniFile ini;
        ini.parse(std::string("[s]\nk=") + c.written + "\n");
        EXPECT_EQ(ini.readString("s", "k", "?"), c.read) << c.written;
    }
    // Writing protects exactly the values that reading would change: a lone quote stays bare (also in
    // front of a text that ends in another character), two quotes (an empty quoted value on reading)
    // are put in quotes themselves.
    struct Written {
        const char* value;
        const char* line;
    };
    for (const Written& w :
         {Written{"\"", "k=\""}, Written{"\"a!", "k=\"a!"}, Written{"\"\"", "k=\"\"\"\""},
          Written{"\"a\"", "k=\"\"a\"\""}, Written{"'a\"", "k='a\""}, Written{"axa", "k=axa"},
          Written{"!x!", "k=!x!"}, Written{"&x&", "k=&x&"}}) {
        IniFile ini;
        ini.writeString("s", "k", w.value);
        EXPECT_EQ(ini.serialize(), std::string("[s]\r\n") + w.line + "\r\n") << w.value;
        IniFile back;
        back.parse(ini.serialize());
        EXPECT_EQ(back.readString("s", "k", "?"), w.value);
    }
}

// The name index finds names by a 64-bit hash of their lower-case bytes; these two names of equal
// length hash the same (FNV-1a: 0x7fc2f153de916128), and are still two sections and two keys. Every
// byte of the first is above the byte of the second at its place.
TEST(IniEdges, NamesOfTheSameHashStayApart) {
    const std::string a = "flidadnmdkmgdl_", b = "52%2+--*&236%95";
    IniFile ini;
    ini.parse("[s]\n" + a + "=1\n" + b + "=2\n[" + a + "]\nk=3\n[" + b + "]\nk=4\n");
    EXPECT_EQ(ini.readString("s", a, "?"), "1");
    EXPECT_EQ(ini.readString("s", b, "?"), "2");
    EXPECT_EQ(ini.readString(a, "k", "?"), "3");
    EXPECT_EQ(ini.readString(b, "k", "?"), "4");
    ini.writeString("s", b, "5");
    EXPECT_EQ(ini.readString("s", a, "?"), "1");
    EXPECT_EQ(ini.readString("s", b, "?"), "5");
    // Only the first name is known: the second is not found through it.
    IniFile one;
    one.parse("[" + a + "]\n" + a + "=1\n");
    EXPECT_EQ(one.readString(a, b, "?"), "?");
    EXPECT_EQ(one.readString(b, a, "?"), "?");
}

// Case is folded for A to Z only, at both ends of the range and from either side; '@' and '`',
// '[' and '{' lie 32 apart like the letters and stay different names.
TEST(IniEdges, OnlyLettersAToZCompareWithoutCase) {
    IniFile ini;
    ini.parse("[Zone]\nZeta=1\n[zeal]\nzed=2\n[a@]\nk=3\n[a`]\nk=4\n[b{]\nk=5\n[B[]\nk=6\n");
    EXPECT_EQ(ini.readString("zONE", "zETA", "?"), "1");
    EXPECT_EQ(ini.readString("ZEAL", "ZED", "?"), "2");
    EXPECT_EQ(ini.readString("A@", "k", "?"), "3");
    EXPECT_EQ(ini.readString("A`", "k", "?"), "4");
    EXPECT_EQ(ini.readString("b{", "k", "?"), "5");
    EXPECT_EQ(ini.readString("b[", "k", "?"), "6");
    EXPECT_EQ(ini.sections().size(), 6u);
}

// Only spaces and tabs around names and values are blanks; other control characters are kept.
TEST(IniEdges, BlanksAreSpacesAndTabsOnly) {
    IniFile ini;
    ini.parse("[s]\n \t\x08k\x1F\t = \t\x08v\x1F \n");
    EXPECT_EQ(ini.keys("s"), std::vector<std::string>{"\x08k\x1F"});
    EXPECT_EQ(ini.readString("s", "\x08k\x1F", "?"), "\x08v\x1F");
}

TEST(IniEdges, IntegersReachDownToInt32MinAndNoFurther) {
    IniFile ini;
    ini.parse("[s]\nmin=-2147483648\nbelow=-2147483649\nmax=2147483647\n");
    struct Case {
        const char* key;
        std::int32_t value;
        bool bad;
    };
    for (const Case& c :
         {Case{"min", INT32_MIN, false}, Case{"below", 7, true}, Case{"max", INT32_MAX, false}}) {
        bool bad = false;
        EXPECT_EQ(ini.readInteger("s", c.key, 7, &bad), c.value) << c.key;
        EXPECT_EQ(bad, c.bad) << c.key;
    }
}

TEST(NumberEdges, DigitPatternsGiveWayToTheGeneralFormatAtOneE18) {
    // Below 1E18 a pattern writes every integer digit; from 1E18 on the general format takes over.
    const double below = std::nextafter(1e18, 0.0); // 999999999999999872, the last double below
    EXPECT_EQ(text::formatPattern(below, "0"), "999999999999999872");
    EXPECT_EQ(text::formatPattern(1e18, "0"), "1E18");
    EXPECT_EQ(text::formatPattern(-1e18, "0.000"), "-1E18");
}

} // namespace korvo

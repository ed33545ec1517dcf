// Texts from spectrum files on their way to a terminal.
#include "files/spectrum_info.h"

#include <gtest/gtest.h>

#include <string_view>

using namespace korvo;

TEST(SpectrumInfo, ControlCharactersAreEscapedForATerminal) {
    struct Case {
        std::string_view in, out;
    };
    for (const Case& c : {Case{"plain \xC2\xB5m", "plain \xC2\xB5m"}, Case{"\x1b[31mred", "\\x1b[31mred"},
                          Case{std::string_view("a\0b\x07\x7F", 5), "a\\x00b\\x07\\x7f"},
                          Case{"back\\slash", "back\\\\slash"},
                          Case{"csi \xC2\x9B"
                               "2J",
                               "csi \\u009b2J"},
                          Case{"lone \x9B byte \xE2\x82", "lone \\x9b byte \\xe2\\x82"}})
        EXPECT_EQ(escapeForTerminal(c.in), c.out) << c.in;
}

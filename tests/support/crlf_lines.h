#pragma once
// The lines of a text that Korvo writes with CR LF line ends, without their ends. A line that does
// not end with CR LF (a bare LF, or text after the last CR LF) fails the calling test.
#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace korvo::testing {

inline std::vector<std::string> crlfLines(const std::string& text) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    for (std::size_t end; (end = text.find("\r\n", start)) != std::string::npos; start = end + 2) {
        lines.push_back(text.substr(start, end - start));
        EXPECT_EQ(lines.back().find('\n'), std::string::npos) << "a line ends with LF alone: " << lines.back();
    }
    EXPECT_EQ(start, text.size()) << "the last line ends without CR LF";
    return lines;
}

} // namespace korvo::testing

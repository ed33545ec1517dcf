#pragma once
// Small "auger.dat" texts for the table tests.
#include <fstream>
#include <iterator>
#include <string>

namespace korvo::testing {

// Three elements and an empty column between the second and the third: column 3 stays empty.
inline const char* const kSmallAugerFile = "[C]\r\n"
                                           "272  100\r\n"
                                           "\r\n"
                                           "[O]\r\n"
                                           "503  100\r\n"
                                           "483  60\r\n"
                                           "468  25\r\n"
                                           "\r\n"
                                           "\r\n"
                                           "[Ag]\r\n"
                                           "351  100\r\n"
                                           "356  80\r\n"
                                           "\r\n";

inline std::string readAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

inline void writeAll(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
}

// A block of `peaks` peak lines for one element.
inline std::string blockWithPeaks(const std::string& name, int peaks) {
    std::string s = name + "\r\n";
    for (int k = 1; k <= peaks; ++k) s += std::to_string(100 + k) + "  " + std::to_string(k) + "\r\n";
    return s + "\r\n";
}

} // namespace korvo::testing

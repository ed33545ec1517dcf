#pragma once
// Files of the foreign formats, made byte by byte for the tests: a Scienta file from its header
// values and reals, and small helpers for writing and listing files.
#include <bit>
#include <cstdint>
#include <fstream>
#include <string>
#include <string_view>
#include <vector>

namespace korvo::testing {

struct ScientaSpec {
    bool bigEndian = false;
    std::string order;          // bytes 0 and 1 when not empty, instead of the byte order's pair
    std::size_t markerAt = 300; // first byte of the data marker; npos: no marker
    std::string low = "10", high = "10.4", step = "0.1", slices = "2";
    std::vector<double> values;  // written after the marker (as many as given)
    std::string beforeBlock;     // text just before the "Instrument" line
    std::string lineEnd = "\r";
};

inline void appendReal(std::string& out, double v, bool bigEndian) {
    const auto bits = std::bit_cast<std::uint64_t>(v);
    for (int i = 0; i < 8; ++i) {
        const int shift = bigEndian ? 8 * (7 - i) : 8 * i;
        out += static_cast<char>((bits >> shift) & 0xFF);
    }
}

inline std::string scientaBytes(const ScientaSpec& s) {
    std::string out = s.order.empty() ? (s.bigEndian ? std::string("\0\1", 2) : std::string("\3\0", 2)) : s.order;
    if (s.markerAt != std::string::npos) {
        out.resize(s.markerAt, 'z');
        out += std::string("eV\0\0deg\0\0", 9);
        out.resize(s.markerAt + 168, 'd');
    } else {
        out.resize(400, 'z');
    }
    for (double v : s.values) appendReal(out, v, s.bigEndian);
    const std::string& e = s.lineEnd;
    out += s.beforeBlock;
    out += "Instrument=SES 200" + e + "Low Energy=" + s.low + e + "High Energy=" + s.high + e +
           "Energy Step=" + s.step + e + "Number of Slices=" + s.slices + e + "Dwell Time=0.5" + e;
    return out;
}

// A multichanneltron spectrum file as the measurement saves it with its raw data: the header keys
// the conversion looks for, the nine channeltron offsets, and `rows` after "BEGIN:" ("END" is not
// added: the caller decides how the data end).
inline std::string multichanneltronText(const std::vector<std::string>& rows, const std::string& lower = "10.00",
                                        const std::string& upper = "10.20") {
    std::string s = "USER_ID: tester\r\nComment: clean surface\r\nProbe: Cu(111)\r\nFileName: /data/m.000\r\n"
                    "Fileform: CLAM\r\nDate:  01.02.2026 10:11:12\r\nProgram: KORVO 02\r\nMeasTime: 100\r\n"
                    "Scans: 2\r\nPoints:3\r\nPassEn:20.000\r\nAnaSta:" +
                    lower + "\r\nAnaEnd:" + upper + "\r\n";
    for (int i = 1; i <= 9; ++i) s += "Energy Channeltron_" + std::to_string(i) + "...+0.0000 eV\r\n";
    s += "BEGIN:\r\n";
    for (const std::string& r : rows) s += r + "\r\n";
    return s;
}

// A row of the raw data: x and the ten counts base, base + 1, ..., base + 9.
inline std::string countRow(const std::string& x, long base) {
    std::string s = x;
    for (long c = 0; c < 10; ++c) s += " " + std::to_string(base + c);
    return s;
}

// Values 1, 2, 3, ... for `n` reals.
inline std::vector<double> ramp(std::size_t n, double first = 1) {
    std::vector<double> v(n);
    for (std::size_t i = 0; i < n; ++i) v[i] = first + static_cast<double>(i);
    return v;
}

inline void writeBytes(const std::string& path, std::string_view bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
}

inline std::string readBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

} // namespace korvo::testing

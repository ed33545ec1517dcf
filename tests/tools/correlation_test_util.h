#pragma once
// Multichanneltron spectra made up for the correlation tests: one peak on a flat background, seen by
// each channeltron at its own position, written as a measurement saves it with its raw data.
#include "common/number_text.h"

#include <array>
#include <cmath>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>

namespace korvo::testing {

struct SyntheticSpectrum {
    int rows = 120;                      // rows inside [AnaSta, AnaEnd]
    int extraBefore = 3, extraAfter = 3; // extra points outside the window, as "Save Extrapoints" writes them
    int points = 120;                    // the "Points:" header
    double passEnergy = 10;
    double anaStart = 100, step = 0.1; // AnaEnd = anaStart + (rows - 1) * step
    double centre = 60, width = 6, height = 1000, background = 50;
    // Position of the peak of channeltron c (1..9) relative to `centre`, in points.
    std::function<double(int)> offset = [](int) { return 0.0; };

    double anaEnd() const { return anaStart + (rows - 1) * step; }
    std::int64_t count(int c, int k) const { // k: 1-based row inside the window
        const double u = (k - centre - offset(c)) / width;
        return static_cast<std::int64_t>(std::llround(background + height * std::exp(-0.5 * u * u)));
    }
    std::string text() const {
        std::ostringstream s;
        s << "USER_ID: lab\r\nComment: synthetic\r\nProbe: Au\r\nFileform: CLAM\r\nProgram: KORVO 02\r\n"
          << "MeasTime: 100\r\nMeasTyp: CAE\r\nScans: 1\r\nPoints:" << points
          << "\r\nPassEn:" << text::formatFixed(passEnergy, 3)
          << "\r\nAnaSta:" << text::formatFixed(anaStart, 3)
          << "\r\nAnaEnd:" << text::formatFixed(anaEnd(), 3) << "\r\nPhotEn: 21.220\r\n";
        for (int i = 1; i <= 9; ++i) s << "Energy Channeltron_" << i << "...+0.0000 eV\r\n";
        s << "BEGIN:\r\n";
        for (int k = 1 - extraBefore; k <= rows + extraAfter; ++k) {
            std::int64_t sum = 0;
            std::array<std::int64_t, 9> c{};
            for (int i = 1; i <= 9; ++i) sum += c[i - 1] = k >= 1 && k <= rows ? count(i, k) : 7;
            s << text::formatFixed(anaStart + (k - 1) * step, 3) << " " << sum;
            for (auto v : c) s << " " << v;
            s << "\r\n";
        }
        s << "END\r\n";
        return s.str();
    }
};

inline void writeText(const std::filesystem::path& p, const std::string& bytes) {
    std::ofstream(p, std::ios::binary) << bytes;
}

inline std::string readText(const std::filesystem::path& p) {
    std::ifstream in(p, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// The three result files, each holding a text that tells it apart: a refused run must leave them so.
inline void plantResultFiles(const std::filesystem::path& dir) {
    for (const char* name : {"test.dat", "ausgabe.dat", "line.dat"})
        writeText(dir / name, std::string("old ") + name);
}

inline bool resultFilesUntouched(const std::filesystem::path& dir) {
    for (const char* name : {"test.dat", "ausgabe.dat", "line.dat"})
        if (readText(dir / name) != std::string("old ") + name) return false;
    return true;
}

} // namespace korvo::testing

#pragma once
// Shared helpers of the spectrum file tests.
#include "files/measurement_data.h"
#include "files/spectrum_file.h"
#include "support/temp_dir.h"

#include <ctime>
#include <string>
#include <vector>

namespace korvo::testing {

inline std::vector<std::string> splitCrLf(const std::string& bytes) {
    std::vector<std::string> lines;
    std::size_t pos = 0;
    while (pos < bytes.size()) {
        const std::size_t end = bytes.find("\r\n", pos);
        if (end == std::string::npos) break;
        lines.push_back(bytes.substr(pos, end - pos));
        pos = end + 2;
    }
    return lines;
}

// A measurement of `points` points plus the run's scratch record 0 and the extra points.
inline DataBlock makeBlock(const SpectrumHeader& h, double firstEnergy, double step) {
    DataBlock block(static_cast<std::size_t>(1 + h.maxPositiveShift + h.points + h.maxNegativeShift));
    for (std::size_t i = 1; i < block.size(); ++i) {
        MeasurementRecord& r = block[i];
        r.Energy = firstEnergy + step * static_cast<double>(static_cast<long>(i) - 1 - h.maxPositiveShift);
        for (std::size_t c = 0; c < 12; ++c) r.Co[c] = static_cast<double>(100 * i + c);
    }
    return block;
}

inline std::time_t localTime(int year, int month, int day, int hour, int minute, int second) {
    std::tm tm{};
    tm.tm_year = year - 1900, tm.tm_mon = month - 1, tm.tm_mday = day;
    tm.tm_hour = hour, tm.tm_min = minute, tm.tm_sec = second, tm.tm_isdst = -1;
    return std::mktime(&tm);
}

inline SpectrumHeader clamHeader() {
    SpectrumHeader h;
    h.machineMode = ModeClam;
    h.kindText = "CAE";
    h.comment = "clean surface";
    h.sample = "Cu(111)";
    h.saveDir = "/data";
    h.fileName = "t_990101.000";
    h.timePerPoint = 100;
    h.scanNumber = 3;
    h.points = 2;
    h.analyserStart = 10;
    h.ramp = 2;
    h.photonStart = 21.22;
    h.passEnergy = 20;
    h.startFieldText = "10";
    for (int i = 0; i < 9; ++i)
        h.channelItems[static_cast<std::size_t>(i)] = "C_" + std::to_string(i + 1) + "    0.000";
    h.userName = "lab";
    h.writtenAt = localTime(1999, 1, 1, 12, 0, 0);
    return h;
}

} // namespace korvo::testing

#pragma once
// What a measurement hands to the spectrum file: the machine modes that shape its header, and the
// data block of 26-double records whose sums become its rows. The acquisition measures into these
// types; the file code reads them and needs nothing else of the acquisition.
#include <array>
#include <cstdint>
#include <vector>

namespace korvo {

enum MachineModes : std::uint8_t { ModeOff = 1, ModeClam = 2, ModeCfs = 3, ModeCis = 4, ModeKeithley = 5 };

// The modes that scan the photon energy (the monochromator moves at every point of an energy scan).
inline bool photonScanning(std::uint8_t mode) {
    return mode == ModeCfs || mode == ModeCis || mode == ModeKeithley;
}

// "CLAM", "CLAM_CFS", "CLAM_CIS", "KEITHLEY"; empty for the test mode.
inline const char* machineModeName(std::uint8_t mode) {
    switch (mode) {
    case ModeClam:
        return "CLAM";
    case ModeCfs:
        return "CLAM_CFS";
    case ModeCis:
        return "CLAM_CIS";
    case ModeKeithley:
        return "KEITHLEY";
    default:
        return "";
    }
}

// One record of the measurement data block: 26 doubles.
struct MeasurementRecord {
    double Energy = 0;           // x of the accumulated spectrum
    double enScan = 0;           // x of the current scan (point index in the c(t) chart)
    std::array<double, 12> Co{}; // sums over completed scans
    std::array<double, 12>
        CoScan{}; // current scan: [0] shifted total, [1..9] channels, [10..11] electrometers
};
static_assert(sizeof(MeasurementRecord) == 26 * sizeof(double));
using DataBlock = std::vector<MeasurementRecord>;

} // namespace korvo

#pragma once
// Numeric state of the measurement: derived from the fields at pass-energy change and run start,
// read by the analyser routines and the run loop.
#include <array>
#include <cstdint>
#include <string>
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

struct RunState {
    std::uint8_t MachineMode = ModeOff;
    double XStart = 0, AnalyserStart = 0, Ramp = 0, XEnd = 0;
    std::int32_t Points = 0;
    std::int32_t TimePerPoint = 500;
    std::int32_t TimeCorrection = 10;
    std::int32_t ScansTarget = 0;
    std::uint16_t ScanNumber = 1;
    double PassEnergy = 0;
    double PhotonStart = 0;
    std::int32_t GateUnits = 1;
    // Channel arrays are indexed 1..9 (index 0 unused) as channeltrons are numbered.
    std::array<double, 10> ChannelPosition{};
    std::array<std::int32_t, 10> ChannelShift{};
    // The start field as a number: the analyser's (first) energy in every mode, also where XStart and
    // AnalyserStart follow the photon energy. The energy range is chosen for it.
    double StartEnergy = 0;
    std::int32_t ReferenceChannel = 5;
    // ReferenceChannel as an index of the channel arrays; channeltron 5 when it is out of range.
    int referenceIndex() const {
        return ReferenceChannel >= 1 && ReferenceChannel <= 9 ? ReferenceChannel : 5;
    }
    std::int32_t MaxPositiveShift = 0;
    std::int32_t MaxNegativeShift = 0;
    std::array<std::int32_t, 10> ChannelEnabled{0, 1, 1, 1, 1, 1, 1, 1, 1, 1};
    int shiftColumn = -1; // column of the channel-shift table of the current pass energy
    double FullScale = 3276.8;
    double SmallestStep = 3276.8 / 65536;
    std::int64_t runStartTick = 0; // ms
};

// The measurement in the data block and everything it was measured with. A run works on its own
// copy: the parameters the window edits meanwhile (and the start checks of a run that is refused)
// never reach what is drawn, continued or saved.
struct Measurement {
    RunState state;
    DataBlock data;
    int kindOfMeasure = 0;      // the kind it was measured as
    std::string startFieldText; // the start field as the run last read it (CFS and CIS headers)
};

} // namespace korvo

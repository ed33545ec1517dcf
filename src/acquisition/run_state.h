#pragma once
// Numeric state of the measurement: derived from the fields at pass-energy change and run start,
// read by the analyser routines and the run loop.
#include "files/measurement_data.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <ctime>
#include <optional>
#include <string>

namespace korvo {

struct RunState {
    std::uint8_t MachineMode = ModeOff;
    double XStart = 0, AnalyserStart = 0, Ramp = 0, XEnd = 0;
    std::int32_t Points = 0;
    std::int32_t TimePerPoint = 500;
    std::int32_t TimeCorrection = 10;
    std::int32_t ScansTarget = 0;
    std::uint16_t ScanNumber = 1;
    double PassEnergy = 0;
    std::uint8_t PassEnergyCode = 0; // bits 3..1 of the control register for the pass-energy text
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
    std::optional<std::time_t> startedAt; // when the run began (a continuation keeps it)
    // Set when a stop cut the first scan short: records 1 to this one hold every count they were to
    // get; the steps beyond were never measured, and their zeros are no counts to be saved.
    std::optional<std::size_t> partialScanRecords;
};

} // namespace korvo

#pragma once
// The analyser routines of a measurement: gate timer, energy range and control register, the DAC
// word of each point, counting a point and the read-outs. The run calls, in this order: SetupTimer,
// SetAnalyserModeBit, SetRamp, SetStartAndRange, SetPassEnergyCode, BeginMeasurement, then per point
// SetAnalyserPoint and ReadPoint. Every routine except ReadPoint and WaitMs does nothing while the
// context's StopRequest is 1. The routines take numbers; the card's ports are AnalyserCard's.
#include "acquisition/analyser_io/analyser_card.h"
#include "acquisition/context.h"
#include "acquisition/instrument_devices.h"
#include "acquisition/instrument_display.h"
#include "acquisition/run_state.h"
#include "common/port_io.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

namespace korvo {

// Full scale of the largest energy range (eV): no analyser energy lies beyond it.
inline constexpr double kMaxAnalyserEnergy = 3276.8;

// Read-out texts for a DAC setting: E = fullScale x word / 65535 at pass energy `passEnergy`;
// `lensIndex` 0..4 chooses the lens table, any other value leaves the lens texts empty.
AnalyserReadouts computeReadouts(double fullScale, std::uint16_t word, double passEnergy, int lensIndex);

// The smallest energy range whose switching point is not below `emax` (the options window's
// switching points, their factory limits where a text is unreadable); none beyond 3276.8 eV.
struct EnergyRange {
    double fullScale;
    const char* text;  // "Xmax = 163.84 eV", ...
    std::uint8_t code; // bits 5..4 of the control register
};
std::optional<EnergyRange> energyRangeFor(double emax, const AcquisitionOptions& options);

// Bits 3..1 of the control register for a text of the pass-energy list ("0.1" and "2" share a code);
// 0 for any other text.
std::uint8_t passEnergyCode(const std::string& passEnergyText);

// What the analyser routines show or trigger outside themselves (main window, history).
struct AnalyserHooks {
    std::function<void(const std::string&)> rangeText;    // info box: "Xmax = 163.84 eV", ...
    std::function<void(const std::string&)> energyLabel;  // "Energy (eV) : 12.345"
    std::function<void(const std::string&)> monitorLabel; // red monitor label
    std::function<void()> historyEntry;                   // made by BeginMeasurement
};

class AnalyserIo {
public:
    // `state` and `data` are the run's; electrometer readings come from `devices`.
    AnalyserIo(AcquisitionContext& ctx, PortIo& port, InstrumentDevices& devices, RunState& state,
               DataBlock& data);

    AnalyserHooks hooks;
    // The card back end chosen at program start, once the settings are known.
    void usePort(PortIo& port) { card_.setPort(port); }
    // Where lamps, read-outs and channel bars go (nothing is shown by default).
    void setDisplay(InstrumentDisplay& display) { display_ = &display; }

    // Programs the gate timer for the run state's GateUnits (checked by the start checks).
    void SetupTimer();
    void SetRamp(double ramp);
    void SetStartAndRange(double start);
    // `code`: bits 3..1 as passEnergyCode() gives them.
    void SetPassEnergyCode(std::uint8_t code);
    void SetAnalyserModeBit(int bit);
    // The DAC word for the fraction `x` of the ramp. `startField` is the start field's value now: the
    // analyser's fixed energy in CFS, the start of its scan in CIS (both may change during a run).
    void SetAnalyserPoint(double x, double startField);
    void BeginMeasurement();
    // Counts one point for timeMs into record `index` of the data block; returns the total.
    std::int32_t ReadPoint(std::int32_t timeMs, std::size_t index);
    void WaitMs(std::int64_t ms);
    // Start-up test whether a card answers the gate; ticks and disables the test switch if not.
    // Returns whether the card answered.
    bool presenceTest(bool portAccessAvailable);
    // Program start: with port access the timer is programmed first (after power-on it holds no
    // gate length), then the presence test runs. Returns whether the card answered.
    bool startUp(bool portAccessAvailable);

    std::uint8_t ControlByte() const { return controlByte_; }
    double storedStart() const { return storedStart_; }
    double storedRamp() const { return storedRamp_; }
    // DAC word written by the last SetAnalyserPoint.
    std::uint16_t lastWord() const { return lastWord_; }
    // False when the last ReadPoint was cut short (a run already stopping, a gate that never ended,
    // an electrometer that failed): its counts are not those of a whole dwell time.
    bool lastPointComplete() const { return lastPointComplete_; }

private:
    // "Test (without Analysator)" leaves every port alone.
    bool cardInUse() const;
    std::int32_t readElectrometerPoint(std::int32_t timeMs, MeasurementRecord& r);
    void countOnCard(std::int32_t timeMs, ChannelTotals& counts);
    void showChannelView(const ChannelTotals& counts);

    AcquisitionContext& ctx_;
    AnalyserCard card_;
    InstrumentDevices& devices_;
    RunState& state_;
    DataBlock& data_;
    NullInstrumentDisplay noDisplay_;
    InstrumentDisplay* display_ = &noDisplay_;
    std::uint8_t controlByte_ = 0;
    double storedStart_ = 0;
    double storedRamp_ = 0;
    std::uint16_t lastWord_ = 0;
    bool lastPointComplete_ = true;
};

} // namespace korvo

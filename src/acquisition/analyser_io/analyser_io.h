#pragma once
// The analyser card: 16-bit energy DAC, control register, 8254 gate timer and nine channeltron
// counters behind byte-wide I/O ports. The run calls, in this order: SetupTimer, SetAnalyserModeBit,
// SetRamp, SetStartAndRange, SetPassEnergyCode, BeginMeasurement, then per point SetAnalyserPoint and
// ReadPoint. Every routine except the port primitives, ReadPoint and WaitMs does nothing while the
// context's StopRequest is 1.
#include "acquisition/context.h"
#include "acquisition/measurement_fields.h"
#include "acquisition/run_state.h"
#include "common/port_io.h"

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

namespace korvo {

namespace ports {
inline constexpr std::uint16_t Control = 0x500, DacLow = 0x510, DacHigh = 0x514, Timer0 = 0x520,
                               Timer1 = 0x521, Timer2 = 0x522, TimerControl = 0x523, CounterLow = 0x524,
                               CounterHigh = 0x525, Status = 0x526, Strobe = 0x527;
}

// The card's multiplexer presents the channeltron counters in this order after each gate.
inline constexpr char kCounterOrder[] = "957638241";

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

// What the analyser routines show or trigger outside themselves (main window, options window).
struct AnalyserHooks {
    std::function<void(const std::string&)> rangeText;    // info box: "Xmax = 163.84 eV", ...
    std::function<void(const std::string&)> energyLabel;  // "Energy (eV) : 12.345"
    std::function<void(const std::string&)> monitorLabel; // red monitor label
    std::function<void()> photonEnergyCommand;            // moves the monochromator to the photon field
    std::function<void()> historyEntry;                   // made by BeginMeasurement
};

class AnalyserIo {
public:
    AnalyserIo(AcquisitionContext& ctx, PortIo& port, MeasurementFields& fields, RunState& state,
               DataBlock& data);

    AnalyserHooks hooks;

    // Programs the gate timer for the run state's GateUnits (checked by the start checks).
    void SetupTimer();
    void SetRamp(double ramp);
    void SetStartAndRange(double start);
    void SetPassEnergyCode();
    void SetAnalyserModeBit(int bit);
    void SetAnalyserPoint(double x);
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
    AcquisitionContext& ctx_;
    PortIo& port_;
    MeasurementFields& fields_;
    RunState& state_;
    DataBlock& data_;
    std::uint8_t controlByte_ = 0;
    double storedStart_ = 0;
    double storedRamp_ = 0;
    std::uint16_t lastWord_ = 0;
    bool lastPointComplete_ = true;
    std::int64_t lastPumpUs_ = 0; // when the status waits last kept the window alive

    std::int32_t readElectrometerPoint(std::int32_t timeMs, MeasurementRecord& r);
    void countOnCard(std::int32_t timeMs, std::array<std::int64_t, 10>& counts);
    bool waitForStatus(bool running, std::int64_t limitUs, std::int64_t expectedUs);
    void showChannelView(const std::array<std::int64_t, 10>& counts);
};

} // namespace korvo

#pragma once
// The analyser interface card at its ports: the 8254 gate timer, the control register, the 16-bit
// energy DAC, the counting gate with its status bit, and the nine channeltron counters behind the
// multiplexer. It knows port numbers, register values and counts; what they mean for a measurement
// is the analyser routines' business.
#include "common/clock.h"
#include "common/event_pump.h"
#include "common/port_io.h"

#include <array>
#include <cstdint>

namespace korvo {

namespace ports {
inline constexpr std::uint16_t Control = 0x500, DacLow = 0x510, DacHigh = 0x514, Timer0 = 0x520,
                               Timer1 = 0x521, Timer2 = 0x522, TimerControl = 0x523, CounterLow = 0x524,
                               CounterHigh = 0x525, Status = 0x526, Strobe = 0x527;
}

// The card's multiplexer presents the channeltron counters in this order after each gate.
inline constexpr char kCounterOrder[] = "957638241";

// Counts per channeltron, index 1..9 (0 unused).
using ChannelTotals = std::array<std::int64_t, 10>;

class AnalyserCard {
public:
    // The status waits sleep on `clock` and keep the window alive through `pump`.
    AnalyserCard(PortIo& port, Clock& clock, EventPump& pump) : port_(&port), clock_(clock), pump_(pump) {}
    // Another back end, chosen at program start once the settings are known.
    void setPort(PortIo& port) { port_ = &port; }

    // Programs the timer for gates of `gateUnits` x 10 ms: a 10 us time base and a one-shot count
    // of 1000 x gate units (16 bits: 1 to 65).
    void programTimer(std::int32_t gateUnits);
    void writeControl(std::uint8_t value);
    // Low byte first: the DAC takes the word when its high byte arrives.
    void writeDac(std::uint16_t word);
    // Counts `gates` gates of `gateMs` each and adds every channeltron's counts to `totals`. False
    // when a gate did not end within ten gate lengths; the gates before it are counted.
    bool countGates(std::int64_t gates, std::int64_t gateMs, ChannelTotals& totals);
    // Starts one gate of `gateUnits` x 10 ms: true when the status bit rises and falls again, each
    // within twice the gate length.
    bool answersGate(std::int32_t gateUnits);
    // The gate limit of countGates, for messages.
    static constexpr std::int64_t kGateEndTimeoutGates = 10;

private:
    void startGate();
    bool waitForStatus(bool running, std::int64_t limitUs, std::int64_t expectedUs);

    PortIo* port_;
    Clock& clock_;
    EventPump& pump_;
    std::int64_t lastPumpUs_ = 0; // when the status waits last kept the window alive
};

} // namespace korvo

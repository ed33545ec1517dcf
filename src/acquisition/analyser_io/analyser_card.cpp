#include "acquisition/analyser_io/analyser_card.h"

#include <algorithm>

namespace korvo {

namespace {
// The status waits sleep instead of spinning a core. Until shortly before the gate is due to end they
// sleep in slices after which the window is kept alive; from then on in short slices, so that the end
// of the gate is seen within a fraction of a millisecond. The gate itself is timed by the card: the
// counts do not depend on how soon its end is seen.
constexpr std::int64_t kPumpIntervalUs = 20'000;
constexpr std::int64_t kFinalPollUs = 1'000;
constexpr std::int64_t kPollSleepUs = 50;
// How long the gate may take to show up after the start strobe.
constexpr std::int64_t kGateRiseLimitUs = 10'000;
} // namespace

void AnalyserCard::programTimer(std::int32_t gateUnits) {
    const std::int32_t n = 1000 * std::clamp<std::int32_t>(gateUnits, 1, 65);
    port_->PortWrite(ports::TimerControl, 0xB2); // counter 2: low/high byte, mode 1, binary
    port_->PortWrite(ports::Timer2, 40);
    port_->PortWrite(ports::Timer2, 0);
    port_->PortWrite(ports::TimerControl, 0x36); // counter 0: low/high byte, square wave, binary
    port_->PortWrite(ports::Timer0, 40);
    port_->PortWrite(ports::Timer0, 0);
    port_->PortWrite(ports::TimerControl, 0x72); // counter 1: low/high byte, mode 1, binary
    port_->PortWrite(ports::Timer1, static_cast<std::uint8_t>(n & 0xFF));
    port_->PortWrite(ports::Timer1, static_cast<std::uint8_t>((n >> 8) & 0xFF));
}

void AnalyserCard::writeControl(std::uint8_t value) {
    port_->PortWrite(ports::Control, value);
}

void AnalyserCard::writeDac(std::uint16_t word) {
    port_->PortWrite(ports::DacLow, static_cast<std::uint8_t>(word & 0xFF));
    port_->PortWrite(ports::DacHigh, static_cast<std::uint8_t>(word >> 8));
}

void AnalyserCard::startGate() {
    port_->PortWrite(ports::Strobe, 2);
    port_->PortWrite(ports::Strobe, 0);
}

bool AnalyserCard::countGates(std::int64_t gates, std::int64_t gateMs, ChannelTotals& totals) {
    for (std::int64_t g = 0; g < gates; ++g) {
        startGate();
        const std::int64_t gateStart = clock_.nowUs();
        waitForStatus(true, kGateRiseLimitUs, 0);
        const std::int64_t elapsed = clock_.nowUs() - gateStart;
        const std::int64_t limitUs = kGateEndTimeoutGates * gateMs * 1000;
        // The counters of an unfinished gate are meaningless.
        if (!waitForStatus(false, limitUs - elapsed, gateMs * 1000 - elapsed)) return false;
        for (int k = 0; k < 9; ++k) {
            const int c = kCounterOrder[k] - '0';
            const std::uint8_t low = port_->PortRead(ports::CounterLow);
            const std::uint8_t high = port_->PortRead(ports::CounterHigh);
            port_->PortWrite(ports::Strobe, 1);
            port_->PortWrite(ports::Strobe, 0);
            totals[c] += low + 256 * high;
        }
    }
    return true;
}

bool AnalyserCard::answersGate(std::int32_t gateUnits) {
    startGate();
    const std::int64_t gateUs = std::max<std::int32_t>(gateUnits, 1) * 10'000;
    return waitForStatus(true, 2 * gateUs, 0) && waitForStatus(false, 2 * gateUs, gateUs);
}

// Polls the status port until the gate-running bit equals `running` or `limitUs` has passed;
// `expectedUs` is when the bit should change, counted from now. Presses handled meanwhile only set
// flags that the run looks at after the point.
bool AnalyserCard::waitForStatus(bool running, std::int64_t limitUs, std::int64_t expectedUs) {
    const std::int64_t start = clock_.nowUs();
    for (;;) {
        const bool bit = (port_->PortRead(ports::Status) & 0x80) != 0;
        if (bit == running) return true;
        const std::int64_t now = clock_.nowUs();
        if (now - start > limitUs) return false;
        // Counted across gates and waits: a run of short gates is served as often as one long one.
        if (now - lastPumpUs_ >= kPumpIntervalUs) {
            pump_.pump();
            lastPumpUs_ = clock_.nowUs();
        }
        // Sleep until the window is due again or the gate is about to end, whichever comes first.
        const std::int64_t t = clock_.nowUs();
        const std::int64_t early = expectedUs - (t - start) - kFinalPollUs;
        const std::int64_t untilPump = lastPumpUs_ + kPumpIntervalUs - t;
        clock_.sleepUs(early > 0 ? std::max(kPollSleepUs, std::min(early, untilPump)) : kPollSleepUs);
    }
}

} // namespace korvo

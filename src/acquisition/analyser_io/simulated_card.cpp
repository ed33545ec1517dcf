#include "acquisition/analyser_io/simulated_card.h"

#include "acquisition/analyser_io/analyser_card.h"
#include "acquisition/channel_shift_table.h"

#include <algorithm>
#include <cmath>

namespace korvo {

namespace {
// The timer runs from a 4 MHz crystal; counter 0 divides it down to the gate's time base.
constexpr double kTimerInputMHz = 4.0;
constexpr double kLowPass[7] = {0.1, 0.25, 0.5, 1.0, 2.5, 5.0, 10.0};
constexpr double kHighPass[7] = {2, 5, 10, 20, 50, 100, 200};
// How the multiplexer is wired to the channeltron counters.
constexpr int kMuxChannel[9] = {9, 5, 7, 6, 3, 8, 2, 4, 1};

// Column of the factor table (0..6) for the pass-energy code in bits 1..3; -1 for no code.
int passColumn(std::uint8_t control) {
    switch ((control >> 1) & 7) {
    case 1:
        return 0;
    case 3:
        return 1;
    case 5:
        return 2;
    case 7:
        return 3;
    case 2:
        return 4;
    case 4:
        return 5;
    case 6:
        return 6;
    default:
        return -1;
    }
}
} // namespace

const ChannelFactorTable& defaultChannelFactors() {
    // The setup grid's defaults are the factors the analyser was built with.
    static const ChannelFactorTable table = [] {
        ChannelShiftTable grid;
        ChannelFactorTable t{};
        for (int row = 1; row <= 9; ++row)
            for (int col = 0; col < 14; ++col)
                t[row - 1][col] = grid.factor(col < 7 ? col + 1 : col + 2, row);
        return t;
    }();
    return table;
}

SimulatedCard::SimulatedCard(Clock& clock, SpectrumModel model, std::uint64_t seed,
                             const ChannelFactorTable& factors)
    : clock_(clock), model_(std::move(model)), rng_(seed), factors_(factors) {}

double SimulatedCard::fullScale() const {
    switch ((control_ >> 4) & 3) {
    case 2:
        return 81.92;
    case 0:
        return 163.84;
    case 3:
        return 1638.4;
    default:
        return 3276.8;
    }
}

double SimulatedCard::passEnergy() const {
    int col = passColumn(control_);
    if (col < 0) return 0;
    // The two sets share their codes; the electronics use the low set in the low-energy ranges.
    return fullScale() < 200 ? kLowPass[col] : kHighPass[col];
}

double SimulatedCard::channelEnergy(int c) const {
    double e = fullScale() * dac_ / 65535.0;
    int col = passColumn(control_);
    if (col < 0 || c < 1 || c > 9) return e;
    if (fullScale() >= 200) col += 7;
    return e + factors_[c - 1][col] * passEnergy();
}

std::int64_t SimulatedCard::gateLengthUs() const {
    // An 8254 counter loaded with 0 counts 65536.
    auto count = [](std::uint16_t v) { return v == 0 ? 65536.0 : double(v); };
    return std::llround(count(timer_[1].value) * count(timer_[0].value) / kTimerInputMHz);
}

int SimulatedCard::selectedChannel() const {
    return kMuxChannel[mux_];
}

void SimulatedCard::writeTimerControl(std::uint8_t word) {
    int select = word >> 6;
    int access = (word >> 4) & 3;
    if (select == 3 || access == 0) return; // read-back and latch commands change no setting
    timer_[select].access = static_cast<std::uint8_t>(access);
    timer_[select].highNext = false;
    // A new mode leaves the counter's output idle until its count has been written.
    timer_[select].loaded = false;
}

void SimulatedCard::writeTimerCounter(int n, std::uint8_t value) {
    TimerCounter& t = timer_[n];
    switch (t.access) {
    case 1:
        t.value = value;
        t.loaded = true;
        break;
    case 2:
        t.value = static_cast<std::uint16_t>(value << 8);
        t.loaded = true;
        break;
    default:
        if (!t.highNext) {
            t.low = value;
            t.highNext = true;
        } else {
            t.value = static_cast<std::uint16_t>(t.low | (value << 8));
            t.highNext = false;
            t.loaded = true;
        }
    }
}

void SimulatedCard::startGate() {
    settle();
    // After power-on the timer holds no count: a strobe starts no gate until it has been programmed,
    // as with the real chip.
    if (!timer_[0].loaded || !timer_[1].loaded) return;
    ++gatesStarted_;
    gateOpen_ = true;
    gateUs_ = gateLengthUs();
    gateEndUs_ = clock_.nowUs() + gateUs_;
    mux_ = 0;
    for (int c = 1; c <= 9; ++c) gateEnergy_[c] = channelEnergy(c);
}

bool SimulatedCard::gateRunning() const {
    if (fault_ == Fault::GateNeverEnds) return gatesStarted_ > 0;
    return gateOpen_ && clock_.nowUs() < gateEndUs_;
}

void SimulatedCard::settle() {
    if (!gateOpen_ || fault_ == Fault::GateNeverEnds || clock_.nowUs() < gateEndUs_) return;
    gateOpen_ = false;
    const double seconds = gateUs_ * 1e-6;
    for (int c = 1; c <= 9; ++c) {
        double mean = model_.rate(gateEnergy_[c]) * seconds;
        double counts = 0;
        if (std::isfinite(mean) && mean > 0) {
            // Beyond what a 16-bit counter holds the exact draw does not matter.
            counts = mean > 1e6 ? mean : double(std::poisson_distribution<std::int64_t>(mean)(rng_));
        }
        latched_[c] = static_cast<std::uint16_t>(std::clamp(counts, 0.0, 65535.0));
    }
}

void SimulatedCard::PortWrite(std::uint16_t port, std::uint8_t value) {
    if (fault_ == Fault::NoCard) return;
    switch (port) {
    case ports::Control:
        control_ = value;
        break;
    case ports::DacLow:
        dacLow_ = value;
        break;
    // The DAC takes the new word when its high byte arrives.
    case ports::DacHigh:
        dac_ = static_cast<std::uint16_t>(dacLow_ | (value << 8));
        break;
    case ports::Timer0:
        writeTimerCounter(0, value);
        break;
    case ports::Timer1:
        writeTimerCounter(1, value);
        break;
    case ports::Timer2:
        writeTimerCounter(2, value);
        break;
    case ports::TimerControl:
        writeTimerControl(value);
        break;
    case ports::Strobe:
        if (value == 0 && lastStrobe_ == 2) startGate();
        if (value == 0 && lastStrobe_ == 1) mux_ = (mux_ + 1) % 9;
        lastStrobe_ = value;
        break;
    default:
        break;
    }
}

std::uint8_t SimulatedCard::PortRead(std::uint16_t port) {
    if (fault_ == Fault::NoCard) return 0;
    settle();
    switch (port) {
    case ports::Status:
        return gateRunning() ? 0x80 : 0x00;
    case ports::CounterLow:
    case ports::CounterHigh: {
        std::uint16_t v = fault_ == Fault::CounterStuck ? 0xFFFF : latched_[selectedChannel()];
        return static_cast<std::uint8_t>(port == ports::CounterLow ? v & 0xFF : v >> 8);
    }
    default:
        return 0;
    }
}

} // namespace korvo

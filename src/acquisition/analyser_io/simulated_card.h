#pragma once
// A software model of the analyser interface card behind the two port primitives, so that the
// hardware counting path runs without hardware: the 8254 timer that makes the counting gate, the
// status bit of the running gate, nine 16-bit channeltron counters behind a multiplexer, the energy
// DAC and the control register (energy range, pass energy). The counts come from a spectrum model
// seen by each channeltron at its own energy offset, with Poisson noise from a seeded generator.
#include "acquisition/analyser_io/spectrum_model.h"
#include "common/clock.h"
#include "common/port_io.h"

#include <array>
#include <cstdint>
#include <random>

namespace korvo {

// Energy offset factors of channeltrons 1..9 (rows) for the pass energies 0.1, 0.25, 0.5, 1.0, 2.5,
// 5.0, 10.0, 2, 5, 10, 20, 50, 100, 200 eV (columns); factor x pass energy = offset in eV.
using ChannelFactorTable = std::array<std::array<double, 14>, 9>;
// The factors the analyser was built with.
const ChannelFactorTable& defaultChannelFactors();

class SimulatedCard final : public PortIo {
public:
    enum class Fault {
        None,
        NoCard,        // nothing answers: every read gives 0, so the gate never shows as running
        GateNeverEnds, // status bit 7 stays set once a gate was started; counters never latch
        CounterStuck,  // every counter reads 65535
    };

    explicit SimulatedCard(Clock& clock, SpectrumModel model = SpectrumModel::standard(),
                           std::uint64_t seed = 1,
                           const ChannelFactorTable& factors = defaultChannelFactors());

    void PortWrite(std::uint16_t port, std::uint8_t value) override;
    std::uint8_t PortRead(std::uint16_t port) override;

    void setFault(Fault fault) { fault_ = fault; }
    Fault fault() const { return fault_; }
    void setModel(SpectrumModel model) { model_ = std::move(model); }

    // What the card has been told, as its registers hold it.
    std::uint16_t dacWord() const { return dac_; }
    std::uint8_t controlRegister() const { return control_; }
    double fullScale() const;  // eV, from bits 4 and 5
    double passEnergy() const; // eV, from bits 1 to 3; 0 when no code is set
    std::int64_t gateLengthUs() const;
    std::int64_t gatesStarted() const { return gatesStarted_; }
    // Channeltron (1..9) that 0x524/0x525 read now.
    int selectedChannel() const;
    // Kinetic energy seen by channeltron c (1..9) at the present DAC word.
    double channelEnergy(int c) const;

private:
    struct TimerCounter {
        std::uint16_t value = 0;
        bool loaded = false;     // a count has been written since the last control word
        std::uint8_t access = 3; // 1 low byte, 2 high byte, 3 low then high
        bool highNext = false;
        std::uint8_t low = 0;
    };
    void writeTimerControl(std::uint8_t word);
    void writeTimerCounter(int n, std::uint8_t value);
    void startGate();
    void settle(); // latches the counters once the running gate has ended
    bool gateRunning() const;

    Clock& clock_;
    SpectrumModel model_;
    std::mt19937_64 rng_;
    ChannelFactorTable factors_;
    Fault fault_ = Fault::None;

    std::uint8_t control_ = 0;
    std::uint16_t dac_ = 0;
    std::uint8_t dacLow_ = 0;
    std::array<TimerCounter, 3> timer_{};
    std::uint8_t lastStrobe_ = 0;
    int mux_ = 0; // position in the card's read-out order
    bool gateOpen_ = false;
    std::int64_t gateEndUs_ = 0;
    std::int64_t gateUs_ = 0;
    std::array<double, 10> gateEnergy_{}; // channel energies frozen at the gate start (1..9)
    std::array<std::uint16_t, 10> latched_{};
    std::int64_t gatesStarted_ = 0;
};

} // namespace korvo

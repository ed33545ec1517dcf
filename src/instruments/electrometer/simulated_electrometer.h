#pragma once
// A Keithley 6517A as korvo-sim plays it: SCPI lines ended by CR or LF, the reading element only (as
// the link's set-up instructions ask), one reading line per "FETCh?" after a short measuring time.
//
// What it measures: the drain current of a sample or mirror in the beam, about 1.5 nA, that follows
// the stored beam (a slow decay with a ripple of a few minutes) plus seeded noise; as a voltage the
// bias of the sample, about 0.25 V with microvolt noise; as a resistance the insulation of the sample
// holder, about 200 GOhm; as a charge the current integrated since the function was chosen. Options
// of korvo-sim: "--reading X" makes every reading X (no drift, no noise) for exact checks.
// Device faults: "overflow" (every reading the instrument's overflow "-9.9E+37"), "no-exponent" (the
// reading in fixed notation, no "E"), "bad-number" (a reading with a second decimal point), "short"
// (a four-character line).
#include "instruments/sim/simulated_device.h"

#include <deque>
#include <optional>
#include <random>

namespace korvo {

class SimulatedElectrometer final : public SimulatedDevice {
public:
    // The instrument's own time to measure and send a reading.
    static constexpr std::int64_t kMeasureMs = 20;

    enum class Function { Voltage, Current, Resistance, Charge };

    explicit SimulatedElectrometer(const SimulatedDeviceOptions& options);
    void receive(std::string_view bytes, std::int64_t nowMs) override;
    std::vector<std::string> due(std::int64_t nowMs) override;
    std::int64_t nextDueMs() const override;

    Function function() const { return function_; }

private:
    struct Pending {
        std::int64_t atMs;
        std::string text; // a complete reply, or empty: a reading to be taken at atMs
    };
    void command(const std::string& line, std::int64_t nowMs);
    void queue(std::int64_t atMs, std::string text);
    void selectFunction(const std::string& argument, std::int64_t nowMs);
    std::string reading(std::int64_t nowMs);
    double measure(std::int64_t nowMs);
    double current(double seconds);
    void pushError(int code, const char* text);

    std::optional<double> fixed_;
    bool overflow_, noExponent_, badNumber_, short_;
    std::mt19937_64 rng_;
    Function function_ = Function::Voltage;
    std::int64_t originMs_ = -1;  // the model's time zero: the first byte received
    double charge_ = 0.0;         // coulombs collected since the charge function was chosen...
    std::int64_t chargeAtMs_ = 0; // ...up to this time
    std::string line_;
    std::deque<Pending> pending_;
    std::deque<std::string> errors_; // SCPI error queue, "code,\"text\""
};

} // namespace korvo

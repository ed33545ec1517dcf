#pragma once
// An instrument played in software, as korvo-sim offers it on a pseudo-terminal: it takes the bytes
// the program writes and answers with replies that fall due at their own time (a monochromator
// that moves for a while, an electrometer that takes a moment to read).
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace korvo {

class SimulatedDevice {
public:
    virtual ~SimulatedDevice() = default;
    // Bytes written by the program at `nowMs` (a steady millisecond clock).
    virtual void receive(std::string_view bytes, std::int64_t nowMs) = 0;
    // The replies due by `nowMs`, in order; each is one complete reply with its line ending.
    virtual std::vector<std::string> due(std::int64_t nowMs) = 0;
    // When the next reply falls due, or -1 when none is pending.
    virtual std::int64_t nextDueMs() const = 0;
};

// Options of korvo-sim that the devices read.
struct SimulatedDeviceOptions {
    std::uint64_t seed = 1;
    // Device faults by name (the host's own faults are applied to every device's replies).
    std::vector<std::string> faults;
    double monoSpeedNmPerS = 20.0; // how fast the monochromator drives
    // keithley: every reading is this value (no drift, no noise).
    std::optional<double> reading;
    // The device's faults begin after this many replies went out unharmed.
    int healthyReplies = 0;
    bool hasFault(std::string_view name) const {
        for (const auto& f : faults)
            if (f == name) return true;
        return false;
    }
};

// Replies with what it received, each completed line (CR or LF) echoed with CR LF: for testing the
// serial driver itself.
class EchoDevice final : public SimulatedDevice {
public:
    void receive(std::string_view bytes, std::int64_t nowMs) override;
    std::vector<std::string> due(std::int64_t nowMs) override;
    std::int64_t nextDueMs() const override { return pending_.empty() ? -1 : 0; }

private:
    std::string line_;
    std::vector<std::string> pending_;
};

// "echo", "mono", "drive", "keithley"; nullptr with a message for an unknown name. With faults and
// healthyReplies, two devices take every command: one without the faults answers the first
// healthyReplies, the faulty one (in the same state, its faults aside) every later one.
std::unique_ptr<SimulatedDevice>
makeSimulatedDevice(const std::string& name, const SimulatedDeviceOptions& options, std::string* error);

} // namespace korvo

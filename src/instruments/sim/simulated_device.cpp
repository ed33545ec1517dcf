#include "instruments/sim/simulated_device.h"

#include "instruments/monochromator/simulated_monochromator.h"
#include "instruments/electrometer/simulated_electrometer.h"
#include "instruments/motor_drive/simulated_motor_drive.h"

#include <algorithm>
#include <utility>

namespace korvo {

void EchoDevice::receive(std::string_view bytes, std::int64_t) {
    for (char c : bytes) {
        if (c == '\r' || c == '\n') {
            if (!line_.empty()) pending_.push_back(line_ + "\r\n");
            line_.clear();
        } else {
            line_ += c;
        }
    }
}

std::vector<std::string> EchoDevice::due(std::int64_t) {
    return std::exchange(pending_, {});
}

namespace {

class LateFaults final : public SimulatedDevice {
public:
    LateFaults(std::unique_ptr<SimulatedDevice> healthy, std::unique_ptr<SimulatedDevice> faulty, int healthyReplies)
        : healthy_(std::move(healthy)), faulty_(std::move(faulty)), left_(std::size_t(healthyReplies)) {}
    void receive(std::string_view bytes, std::int64_t nowMs) override {
        healthy_->receive(bytes, nowMs);
        faulty_->receive(bytes, nowMs);
    }
    std::vector<std::string> due(std::int64_t nowMs) override {
        std::vector<std::string> h = healthy_->due(nowMs);
        std::vector<std::string> f = faulty_->due(nowMs);
        if (left_ == 0) return f;
        // Replies answer commands in order: the healthy ones up to the count, the faulty one's after.
        const std::size_t k = std::min(left_, h.size());
        left_ -= k;
        h.resize(k);
        for (std::size_t i = k; i < f.size(); ++i) h.push_back(std::move(f[i]));
        return h;
    }
    std::int64_t nextDueMs() const override {
        const std::int64_t a = healthy_->nextDueMs(), b = faulty_->nextDueMs();
        if (a < 0) return b;
        if (b < 0) return a;
        return std::min(a, b);
    }

private:
    std::unique_ptr<SimulatedDevice> healthy_, faulty_;
    std::size_t left_;
};

} // namespace

std::unique_ptr<SimulatedDevice>
makeSimulatedDevice(const std::string& name, const SimulatedDeviceOptions& options, std::string* error) {
    if (options.healthyReplies > 0 && !options.faults.empty()) {
        SimulatedDeviceOptions plain = options;
        plain.faults.clear();
        plain.healthyReplies = 0;
        SimulatedDeviceOptions faulty = options;
        faulty.healthyReplies = 0;
        auto h = makeSimulatedDevice(name, plain, error);
        if (!h) return nullptr;
        return std::make_unique<LateFaults>(std::move(h), makeSimulatedDevice(name, faulty, error),
                                            options.healthyReplies);
    }
    if (name == "echo") return std::make_unique<EchoDevice>();
    if (name == "mono") return std::make_unique<SimulatedMonochromator>(options);
    if (name == "keithley") return std::make_unique<SimulatedElectrometer>(options);
    if (name == "drive") return std::make_unique<SimulatedMotorDrive>(options);
    if (error) *error = "unknown instrument \"" + name + "\" (echo, mono, drive, keithley)";
    return nullptr;
}

} // namespace korvo

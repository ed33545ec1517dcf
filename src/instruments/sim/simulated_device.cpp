#include "instruments/sim/simulated_device.h"

#include "instruments/monochromator/simulated_monochromator.h"
#include "instruments/electrometer/simulated_electrometer.h"
#include "instruments/motor_drive/simulated_motor_drive.h"

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

std::unique_ptr<SimulatedDevice>
makeSimulatedDevice(const std::string& name, const SimulatedDeviceOptions& options, std::string* error) {
    if (name == "echo") return std::make_unique<EchoDevice>();
    if (name == "mono") return std::make_unique<SimulatedMonochromator>(options);
    if (name == "keithley") return std::make_unique<SimulatedElectrometer>(options);
    if (name == "drive") return std::make_unique<SimulatedMotorDrive>(options);
    if (error) *error = "unknown instrument \"" + name + "\" (echo, mono, drive, keithley)";
    return nullptr;
}

} // namespace korvo

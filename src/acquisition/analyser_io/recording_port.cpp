#include "acquisition/analyser_io/recording_port.h"

namespace korvo {

void RecordingPort::PortWrite(std::uint16_t port, std::uint8_t value) {
    log.push_back({true, port, value});
}

std::uint8_t RecordingPort::PortRead(std::uint16_t port) {
    std::uint8_t v = 0;
    auto script = scripts_.find(port);
    if (script != scripts_.end() && !script->second.empty()) {
        v = script->second.front();
        script->second.pop_front();
    } else if (auto d = defaults_.find(port); d != defaults_.end()) {
        v = d->second;
    }
    log.push_back({false, port, v});
    return v;
}

void RecordingPort::queueReads(std::uint16_t port, const std::vector<std::uint8_t>& values) {
    auto& q = scripts_[port];
    q.insert(q.end(), values.begin(), values.end());
}

std::vector<std::uint8_t> RecordingPort::writesTo(std::uint16_t port) const {
    std::vector<std::uint8_t> out;
    for (const Access& a : log)
        if (a.write && a.port == port) out.push_back(a.value);
    return out;
}

std::vector<std::uint16_t> RecordingPort::portSequence(std::uint16_t except) const {
    std::vector<std::uint16_t> out;
    for (const Access& a : log)
        if (a.write || a.port != except) out.push_back(a.port);
    return out;
}

} // namespace korvo

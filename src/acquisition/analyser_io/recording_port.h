#pragma once
// Port back end for tests: records every access in order and answers reads from per-port scripts.
#include "common/port_io.h"

#include <cstdint>
#include <deque>
#include <map>
#include <vector>

namespace korvo {

class RecordingPort final : public PortIo {
public:
    struct Access {
        bool write = false;
        std::uint16_t port = 0;
        std::uint8_t value = 0;
        bool operator==(const Access&) const = default;
    };

    void PortWrite(std::uint16_t port, std::uint8_t value) override;
    std::uint8_t PortRead(std::uint16_t port) override;

    // Values the next reads of `port` return, in order; afterwards the port's default.
    void queueReads(std::uint16_t port, const std::vector<std::uint8_t>& values);
    void setDefault(std::uint16_t port, std::uint8_t value) { defaults_[port] = value; }

    std::vector<Access> log;
    // Values written to one port, in order.
    std::vector<std::uint8_t> writesTo(std::uint16_t port) const;
    // Ports of all reads and writes, in order (reads of `except` left out, e.g. status polling).
    std::vector<std::uint16_t> portSequence(std::uint16_t except) const;

private:
    std::map<std::uint16_t, std::deque<std::uint8_t>> scripts_;
    std::map<std::uint16_t, std::uint8_t> defaults_;
};

} // namespace korvo

#pragma once
// Byte-wide access to the analyser card's I/O ports. Back ends: direct x86 port access, the simulated
// analyser card, and a recording fake for tests.
#include <cstdint>

namespace korvo {

class PortIo {
public:
    virtual ~PortIo() = default;
    virtual void PortWrite(std::uint16_t port, std::uint8_t value) = 0;
    virtual std::uint8_t PortRead(std::uint16_t port) = 0;
};

} // namespace korvo

#pragma once
// Direct I/O-port access on x86 Linux through ioperm()/inb()/outb(). The program needs the capability
// CAP_SYS_RAWIO for it (setcap cap_sys_rawio+ep); it is never run as root for this. Once the ports
// are granted every capability of the process is dropped.
#include "common/port_io.h"

#include <memory>
#include <string>

namespace korvo {

class X86PortIo final : public PortIo {
public:
    // Asks for the analyser card's ports 0x500..0x527 (and, when permitted, the parallel port
    // 0x378..0x37A). nullptr with a message when the permission is refused or the machine is no x86.
    static std::unique_ptr<PortIo> open(std::string* error);
    ~X86PortIo() override;

    // Ports outside the granted ranges are not touched: a write is dropped and a read gives 0xFF (an
    // empty bus), since an unpermitted access would kill the process.
    void PortWrite(std::uint16_t port, std::uint8_t value) override;
    std::uint8_t PortRead(std::uint16_t port) override;
    // Whether the capabilities were given up after the ports had been granted.
    bool capabilitiesDropped() const { return capabilitiesDropped_; }

private:
    X86PortIo() = default;
    bool granted(std::uint16_t port) const;
    bool parallelPort_ = false;
    bool capabilitiesDropped_ = false;
};

} // namespace korvo

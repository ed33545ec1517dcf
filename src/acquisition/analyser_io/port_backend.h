#pragma once
// Chooses the port back end at start-up: "port" direct x86 port access, "sim" the simulated card,
// "test" an empty bus (no card answers, so the program runs in its test mode).
#include "common/clock.h"
#include "common/port_io.h"

#include <cstdint>
#include <memory>
#include <string>

namespace korvo {

// Reads 0 from every port and ignores writes: what an empty card slot looks like to the program.
class EmptyBus final : public PortIo {
public:
    void PortWrite(std::uint16_t, std::uint8_t) override {}
    std::uint8_t PortRead(std::uint16_t) override { return 0; }
};

struct PortBackendOptions {
    std::uint64_t seed = 1;   // noise of the simulated card
    std::string spectrumFile; // model spectrum of the simulated card; empty: the built-in one
};

// nullptr with a message in *error when the back end cannot be made (unknown kind, the card in use
// by another program (see card_lock.h), no port permission, unreadable spectrum file).
std::unique_ptr<PortIo> makePortBackend(const std::string& kind, Clock& clock, std::string* error,
                                        const PortBackendOptions& options = {});

} // namespace korvo

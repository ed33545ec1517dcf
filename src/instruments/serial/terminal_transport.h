#pragma once
// A serial link on a terminal device through termios: real serial ports (/dev/ttyS0, /dev/ttyUSB0)
// and the pseudo-terminals that the simulated instruments offer. Needs no event loop: korvo-cli and
// the tests use it.
#include "instruments/serial/byte_transport.h"

namespace korvo {

class TerminalTransport final : public ByteTransport {
public:
    ~TerminalTransport() override;
    bool open(const std::string& device, std::string* error) override;
    void close() override;
    bool isOpen() const override { return fd_ >= 0; }
    bool apply(const LineSettings& settings, std::string* error) override;
    std::int64_t write(const char* data, std::size_t size) override;
    std::int64_t read(char* buffer, std::size_t max) override;
    void flush(bool input, bool output) override;
    std::size_t outputQueued() const override;

private:
    int fd_ = -1;
};

} // namespace korvo

#pragma once
// The bytes under a serial link: a port opened by device path, written in blocks and read without
// waiting. Implementations: a terminal device through termios (serial ports and the pseudo-terminals
// of the simulated instruments) and Qt Serial Port.
#include "instruments/serial/line_settings.h"

#include <cstddef>
#include <cstdint>
#include <string>

namespace korvo {

class ByteTransport {
public:
    virtual ~ByteTransport() = default;
    // Opens `device` for reading and writing; false with a reason when it cannot be opened or is no
    // serial port or pseudo-terminal (serial_device.h).
    virtual bool open(const std::string& device, std::string* error) = 0;
    virtual void close() = 0;
    virtual bool isOpen() const = 0;
    // Programs the line settings into the open port and empties both queues. False with a reason when
    // the port cannot run at the speed asked for; other settings the port rejects are not reported.
    virtual bool apply(const LineSettings& settings, std::string* error) = 0;
    // Writes as much of `data` as the port takes now; the number of bytes written (0 when the output
    // queue is full), or -1 when the port failed.
    virtual std::int64_t write(const char* data, std::size_t size) = 0;
    // Reads what has arrived, up to `max` bytes, without waiting: the number of bytes, 0 when nothing
    // is there, -1 when the port failed (for example the other end hung up).
    virtual std::int64_t read(char* buffer, std::size_t max) = 0;
    // Discards pending input and/or output.
    virtual void flush(bool input, bool output) = 0;
    // Bytes written but not yet sent.
    virtual std::size_t outputQueued() const = 0;
};

} // namespace korvo

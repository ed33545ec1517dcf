#pragma once
// A serial link on Qt Serial Port, for the desktop program: the port is read and written without
// waiting, the driver's poll pulls in what has arrived.
#include "instruments/serial/byte_transport.h"

#include <memory>

class QSerialPort;

namespace korvo {

class QtSerialTransport final : public ByteTransport {
public:
    QtSerialTransport();
    ~QtSerialTransport() override;
    bool open(const std::string& device, std::string* error) override;
    void close() override;
    bool isOpen() const override;
    bool apply(const LineSettings& settings, std::string* error) override;
    std::int64_t write(const char* data, std::size_t size) override;
    std::int64_t read(char* buffer, std::size_t max) override;
    void flush(bool input, bool output) override;
    std::size_t outputQueued() const override;

private:
    std::unique_ptr<QSerialPort> port_;
};

} // namespace korvo

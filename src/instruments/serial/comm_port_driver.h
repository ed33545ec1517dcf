#pragma once
// The serial port driver under every instrument link: line settings as properties, connect and
// disconnect, block writes with the output time-out, and a receive poll on a timer that hands every
// non-empty batch of bytes to OnReceiveData. It knows nothing of lines or replies; the links build
// their protocols on it. Everything runs on the one thread: received bytes arrive while the timers
// run, that is inside every wait that pumps events.
#include "common/clock.h"
#include "common/timers.h"
#include "instruments/serial/byte_transport.h"
#include "instruments/serial/com_port_paths.h"
#include "instruments/serial/line_settings.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace korvo {

class TCommPortDriver {
public:
    // Called with the driver, the bytes received and their count; the bytes are valid only during
    // the call.
    using TComPortReceiveDataEvent =
        std::function<void(TCommPortDriver& sender, const char* data, std::int32_t size)>;

    // `paths` maps COM1..COM4 to device paths; it must outlive the driver.
    TCommPortDriver(Clock& clock, Timers& timers, std::unique_ptr<ByteTransport> transport,
                    const ComPortPaths& paths);
    ~TCommPortDriver();
    TCommPortDriver(const TCommPortDriver&) = delete;
    TCommPortDriver& operator=(const TCommPortDriver&) = delete;

    // Opens the port; true when connected afterwards (at once when it already was).
    bool Connect();
    void Disconnect();
    bool Connected() const { return transport_->isOpen(); }
    // Writes `count` bytes. Returns the number written; 0 when disconnected or count < 1; the negated
    // number written so far when the output queue stayed full longer than OutputTimeout.
    std::int32_t SendData(const char* data, std::int32_t count);
    std::int32_t SendText(const std::string& text) {
        return SendData(text.data(), std::int32_t(text.size()));
    }
    void FlushBuffers(bool input, bool output);
    // 65535 when disconnected, else the output queue's size less what it holds.
    std::uint16_t OutFreeSpace() const;
    // Programs the line settings into the open port and empties both queues. False (lastError says
    // why) when the port cannot run at the speed set; Connect then leaves the port closed.
    bool ApplyComSettings();
    // Why the last Connect or line setting failed ("" after a successful Connect).
    const std::string& lastError() const { return lastError_; }
    // The device the port number (or an explicit path) names now.
    std::string deviceName() const;

    // ---- properties
    TComPortNumber ComPort() const { return comPort_; }
    void setComPort(TComPortNumber port);
    // A device path typed directly ("/dev/ttyUSB0", a simulator's "/dev/pts/5"); empty: the path the
    // port number maps to. Like the port number, it changes only while disconnected.
    const std::string& devicePath() const { return devicePath_; }
    void setDevicePath(const std::string& path);
    TComPortBaudRate ComPortSpeed() const { return settings_.speed; }
    // False when the open port cannot run at `v`: it keeps its speed, lastError says why. While
    // disconnected the speed is stored and the next Connect decides.
    bool setComPortSpeed(TComPortBaudRate v);
    TComPortDataBits ComPortDataBits() const { return settings_.dataBits; }
    void setComPortDataBits(TComPortDataBits v);
    TComPortStopBits ComPortStopBits() const { return settings_.stopBits; }
    void setComPortStopBits(TComPortStopBits v);
    TComPortParity ComPortParity() const { return settings_.parity; }
    void setComPortParity(TComPortParity v);
    TComPortHwHandshaking ComPortHwHandshaking() const { return settings_.hwHandshaking; }
    void setComPortHwHandshaking(TComPortHwHandshaking v);
    TComPortSwHandshaking ComPortSwHandshaking() const { return settings_.swHandshaking; }
    void setComPortSwHandshaking(TComPortSwHandshaking v);
    std::uint16_t ComPortInBufSize() const { return settings_.inBufSize; }
    void setComPortInBufSize(std::uint16_t v);
    std::uint16_t ComPortOutBufSize() const { return settings_.outBufSize; }
    void setComPortOutBufSize(std::uint16_t v);
    std::uint16_t ComPortPollingDelay() const { return pollingDelay_; }
    void setComPortPollingDelay(std::uint16_t v);
    bool EnableDTROnOpen() const { return settings_.dtrOnOpen; }
    void setEnableDTROnOpen(bool v) { settings_.dtrOnOpen = v; }
    std::uint16_t OutputTimeout() const { return outputTimeout_; }
    void setOutputTimeout(std::uint16_t v) { outputTimeout_ = v; }
    TComPortReceiveDataEvent OnReceiveData;

    // Whether the receive poll is running (it does exactly while connected).
    bool polling() const { return timer_ != 0; }

private:
    bool setLine(void (*set)(LineSettings&, int), int value);
    void startPolling();
    void stopPolling();
    void poll();

    Clock& clock_;
    Timers& timers_;
    std::unique_ptr<ByteTransport> transport_;
    const ComPortPaths& paths_;
    TComPortNumber comPort_ = pnCOM2;
    std::string devicePath_;
    LineSettings settings_;
    std::uint16_t pollingDelay_ = 50;
    std::uint16_t outputTimeout_ = 4000;
    std::vector<char> receiveBuffer_;
    Timers::Id timer_ = 0;
    std::string lastError_;
};

} // namespace korvo

#include "instruments/serial/comm_port_driver.h"

#include <algorithm>

namespace korvo {

TCommPortDriver::TCommPortDriver(Clock& clock, Timers& timers, std::unique_ptr<ByteTransport> transport,
                                 const ComPortPaths& paths)
    : clock_(clock), timers_(timers), transport_(std::move(transport)), paths_(paths),
      receiveBuffer_(settings_.inBufSize) {}

TCommPortDriver::~TCommPortDriver() {
    Disconnect();
}

std::string TCommPortDriver::deviceName() const {
    return devicePath_.empty() ? paths_.of(comPort_) : devicePath_;
}

bool TCommPortDriver::Connect() {
    if (Connected()) return true;
    lastError_.clear();
    if (!transport_->open(deviceName(), &lastError_)) return false;
    if (!ApplyComSettings()) {
        // A port that cannot run as set would garble every exchange: it stays closed.
        transport_->close();
        return false;
    }
    startPolling();
    return true;
}

void TCommPortDriver::Disconnect() {
    if (!Connected()) return;
    stopPolling();
    transport_->close();
}

std::int32_t TCommPortDriver::SendData(const char* data, std::int32_t count) {
    if (!Connected() || count < 1) return 0;
    std::int32_t total = 0;
    std::int64_t start = clock_.nowMs();
    while (count > 0) {
        if (OutFreeSpace() > 0) {
            const std::int64_t n = transport_->write(data + total, std::size_t(count));
            if (n < 0) return -total; // the port failed: as a time-out, what was sent so far, negated
            if (n > 0) {
                total += std::int32_t(n);
                count -= std::int32_t(n);
                start = clock_.nowMs();
                continue;
            }
        }
        if (clock_.nowMs() - start > outputTimeout_) return -total;
        // The queue drains by itself; a short sleep keeps this from spinning a core.
        clock_.sleepMs(1);
    }
    return total;
}

void TCommPortDriver::FlushBuffers(bool input, bool output) {
    if (Connected()) transport_->flush(input, output);
}

std::uint16_t TCommPortDriver::OutFreeSpace() const {
    if (!Connected()) return 65535;
    const std::size_t queued = transport_->outputQueued();
    return queued >= settings_.outBufSize ? 0 : std::uint16_t(settings_.outBufSize - queued);
}

bool TCommPortDriver::ApplyComSettings() {
    if (!Connected()) return true;
    std::string why;
    if (transport_->apply(settings_, &why)) return true; // which also empties both queues
    lastError_ = deviceName() + ": " + why;
    return false;
}

void TCommPortDriver::setComPort(TComPortNumber port) {
    if (!Connected()) comPort_ = port;
}

void TCommPortDriver::setDevicePath(const std::string& path) {
    if (!Connected()) devicePath_ = path;
}

bool TCommPortDriver::setLine(void (*set)(LineSettings&, int), int value) {
    const LineSettings before = settings_;
    set(settings_, value);
    if (ApplyComSettings()) return true;
    // Refused by the open port: it goes on as it was.
    settings_ = before;
    std::string why;
    transport_->apply(settings_, &why);
    return false;
}

bool TCommPortDriver::setComPortSpeed(TComPortBaudRate v) {
    return setLine([](LineSettings& s, int x) { s.speed = TComPortBaudRate(x); }, v);
}
void TCommPortDriver::setComPortDataBits(TComPortDataBits v) {
    setLine([](LineSettings& s, int x) { s.dataBits = TComPortDataBits(x); }, v);
}
void TCommPortDriver::setComPortStopBits(TComPortStopBits v) {
    setLine([](LineSettings& s, int x) { s.stopBits = TComPortStopBits(x); }, v);
}
void TCommPortDriver::setComPortParity(TComPortParity v) {
    setLine([](LineSettings& s, int x) { s.parity = TComPortParity(x); }, v);
}
void TCommPortDriver::setComPortHwHandshaking(TComPortHwHandshaking v) {
    setLine([](LineSettings& s, int x) { s.hwHandshaking = TComPortHwHandshaking(x); }, v);
}
void TCommPortDriver::setComPortSwHandshaking(TComPortSwHandshaking v) {
    setLine([](LineSettings& s, int x) { s.swHandshaking = TComPortSwHandshaking(x); }, v);
}

void TCommPortDriver::setComPortInBufSize(std::uint16_t v) {
    if (Connected()) return;
    settings_.inBufSize = v;
    receiveBuffer_.assign(v, 0);
}

// Taken in either state; the size of the output queue only bounds OutFreeSpace.
void TCommPortDriver::setComPortOutBufSize(std::uint16_t v) {
    settings_.outBufSize = v;
}

void TCommPortDriver::setComPortPollingDelay(std::uint16_t v) {
    if (v == pollingDelay_) return;
    if (Connected()) {
        stopPolling();
        pollingDelay_ = v;
        startPolling();
    } else {
        pollingDelay_ = v;
    }
}

void TCommPortDriver::startPolling() {
    timer_ = timers_.start(pollingDelay_, [this] { poll(); });
}

void TCommPortDriver::stopPolling() {
    if (timer_ == 0) return;
    timers_.stop(timer_);
    timer_ = 0;
}

void TCommPortDriver::poll() {
    if (!Connected() || receiveBuffer_.empty()) return;
    // A failing read is skipped; the next tick tries again.
    const std::int64_t n = transport_->read(receiveBuffer_.data(), receiveBuffer_.size());
    if (n > 0 && OnReceiveData) OnReceiveData(*this, receiveBuffer_.data(), std::int32_t(n));
}

} // namespace korvo

#include "instruments/serial/qt_serial_transport.h"

#include "instruments/serial/serial_device.h"

#include <QSerialPort>

namespace korvo {

QtSerialTransport::QtSerialTransport() : port_(std::make_unique<QSerialPort>()) {}

QtSerialTransport::~QtSerialTransport() {
    close();
}

bool QtSerialTransport::open(const std::string& device, std::string* error) {
    close();
    // Checked before Qt opens it: the open already programs the line.
    if (std::string why = serialDeviceRefusal(device); !why.empty()) {
        if (error) *error = why;
        return false;
    }
    port_->setPortName(QString::fromStdString(device));
    if (!port_->open(QIODevice::ReadWrite)) {
        if (error) *error = device + ": " + port_->errorString().toStdString();
        return false;
    }
    if (std::string why = serialDescriptorRefusal(int(port_->handle()), device); !why.empty()) {
        port_->close();
        if (error) *error = why;
        return false;
    }
    return true;
}

void QtSerialTransport::close() {
    if (port_->isOpen()) port_->close();
}

bool QtSerialTransport::isOpen() const {
    return port_->isOpen();
}

bool QtSerialTransport::apply(const LineSettings& s, std::string* error) {
    if (!port_->isOpen()) return true;
    if (!port_->setBaudRate(s.baud())) {
        if (error)
            *error = std::to_string(s.baud()) + " baud cannot be set on this port (" +
                     port_->errorString().toStdString() + ")";
        port_->clearError();
        return false;
    }
    port_->setDataBits(QSerialPort::DataBits(s.byteSize()));
    static const QSerialPort::Parity parities[5] = {QSerialPort::NoParity, QSerialPort::OddParity,
                                                    QSerialPort::EvenParity, QSerialPort::MarkParity,
                                                    QSerialPort::SpaceParity};
    port_->setParity(parities[std::size_t(s.parity)]);
    static const QSerialPort::StopBits stops[3] = {QSerialPort::OneStop, QSerialPort::OneAndHalfStop,
                                                   QSerialPort::TwoStop};
    port_->setStopBits(stops[std::size_t(s.stopBits)]);
    port_->setFlowControl(s.hwHandshaking == hhRTSCTS    ? QSerialPort::HardwareControl
                          : s.swHandshaking == shXONXOFF ? QSerialPort::SoftwareControl
                                                         : QSerialPort::NoFlowControl);
    port_->setDataTerminalReady(s.dtrOnOpen);
    port_->setReadBufferSize(s.inBufSize);
    flush(true, true);
    return true;
}

std::int64_t QtSerialTransport::write(const char* data, std::size_t size) {
    if (!port_->isOpen()) return -1;
    const qint64 n = port_->write(data, qint64(size));
    // Hands the bytes to the device now rather than at the next turn of the event loop.
    port_->waitForBytesWritten(0);
    return n;
}

std::int64_t QtSerialTransport::read(char* buffer, std::size_t max) {
    if (!port_->isOpen()) return -1;
    // Pulls in what the device holds without waiting for the event loop to notice it.
    port_->waitForReadyRead(0);
    const qint64 n = port_->read(buffer, qint64(max));
    if (n < 0 || port_->error() == QSerialPort::ResourceError) return -1;
    return n;
}

void QtSerialTransport::flush(bool input, bool output) {
    if (!port_->isOpen()) return;
    QSerialPort::Directions d;
    if (input) d |= QSerialPort::Input;
    if (output) d |= QSerialPort::Output;
    port_->clear(d);
}

std::size_t QtSerialTransport::outputQueued() const {
    return port_->isOpen() ? std::size_t(port_->bytesToWrite()) : 0;
}

} // namespace korvo

#include "instruments/serial/terminal_transport.h"

#include "instruments/serial/serial_device.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <optional>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

namespace korvo {

namespace {

// The termios constant of a rate; nullopt for 14400 and 56000, which termios has no constant for.
std::optional<speed_t> speedOf(int baud) {
    switch (baud) {
    case 110:
        return B110;
    case 300:
        return B300;
    case 600:
        return B600;
    case 1200:
        return B1200;
    case 2400:
        return B2400;
    case 4800:
        return B4800;
    case 9600:
        return B9600;
    case 19200:
        return B19200;
    case 38400:
        return B38400;
    case 57600:
        return B57600;
    case 115200:
        return B115200;
    default:
        return std::nullopt;
    }
}

} // namespace

TerminalTransport::~TerminalTransport() {
    close();
}

bool TerminalTransport::open(const std::string& device, std::string* error) {
    close();
    if (std::string why = serialDeviceRefusal(device); !why.empty()) {
        if (error) *error = why;
        return false;
    }
    // Non-blocking: reads return at once with what is there, and a port without carrier never
    // blocks the open.
    const int fd = ::open(device.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        if (error) *error = device + ": " + std::strerror(errno);
        return false;
    }
    if (std::string why = serialDescriptorRefusal(fd, device); !why.empty()) {
        ::close(fd);
        if (error) *error = why;
        return false;
    }
    // Like the ports of old: nobody else opens it while it is ours.
    ::ioctl(fd, TIOCEXCL);
    fd_ = fd;
    return true;
}

void TerminalTransport::close() {
    if (fd_ < 0) return;
    ::close(fd_);
    fd_ = -1;
}

bool TerminalTransport::apply(const LineSettings& s, std::string* error) {
    if (fd_ < 0) return true;
    // A rate termios cannot program is refused: the port would run at another one without a word.
    const std::optional<speed_t> speed = speedOf(s.baud());
    if (!speed) {
        if (error) *error = std::to_string(s.baud()) + " baud cannot be set on this port";
        return false;
    }
    termios t{};
    if (::tcgetattr(fd_, &t) != 0) return true;
    ::cfmakeraw(&t);
    t.c_cflag |= CREAD | CLOCAL;
    // Cleared first: a port reprogrammed from mark to even parity, or from XON/XOFF to none, keeps
    // nothing of the old setting.
    t.c_cflag &= ~tcflag_t(CSIZE | PARENB | PARODD | CMSPAR | CSTOPB | CRTSCTS);
    t.c_iflag &= ~tcflag_t(IXON | IXOFF);
    static const tcflag_t sizes[4] = {CS5, CS6, CS7, CS8};
    t.c_cflag |= sizes[std::size_t(s.dataBits)];
    switch (s.parity) {
    case ptODD:
        t.c_cflag |= PARENB | PARODD;
        break;
    case ptEVEN:
        t.c_cflag |= PARENB;
        break;
    case ptMARK:
        t.c_cflag |= PARENB | PARODD | CMSPAR;
        break;
    case ptSPACE:
        t.c_cflag |= PARENB | CMSPAR;
        break;
    case ptNONE:
        break;
    }
    // One and a half stop bits exist only with 5 data bits; termios knows one or two.
    if (s.stopBits != sb1BITS) t.c_cflag |= CSTOPB;
    if (s.hwHandshaking == hhRTSCTS) t.c_cflag |= CRTSCTS;
    if (s.swHandshaking == shXONXOFF) t.c_iflag |= IXON | IXOFF;
    t.c_cc[VSTART] = 0x11;
    t.c_cc[VSTOP] = 0x13;
    t.c_cc[VMIN] = 0;
    t.c_cc[VTIME] = 0;
    ::cfsetispeed(&t, *speed);
    ::cfsetospeed(&t, *speed);
    if (::tcsetattr(fd_, TCSANOW, &t) != 0) {
        if (error)
            *error = std::string("the line settings cannot be set on this port: ") + std::strerror(errno);
        return false;
    }
    int dtr = TIOCM_DTR;
    ::ioctl(fd_, s.dtrOnOpen ? TIOCMBIS : TIOCMBIC, &dtr); // a pseudo-terminal has no modem lines
    flush(true, true);
    return true;
}

std::int64_t TerminalTransport::write(const char* data, std::size_t size) {
    if (fd_ < 0) return -1;
    std::size_t done = 0;
    while (done < size) {
        const ssize_t n = ::write(fd_, data + done, size - done);
        if (n > 0) {
            done += std::size_t(n);
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) break; // the queue is full
        return done > 0 ? std::int64_t(done) : -1;
    }
    return std::int64_t(done);
}

std::int64_t TerminalTransport::read(char* buffer, std::size_t max) {
    if (fd_ < 0) return -1;
    for (;;) {
        const ssize_t n = ::read(fd_, buffer, max);
        if (n >= 0) return n;
        if (errno == EINTR) continue;
        if (errno == EAGAIN || errno == EWOULDBLOCK) return 0;
        return -1; // EIO: the other end of a pseudo-terminal has gone
    }
}

void TerminalTransport::flush(bool input, bool output) {
    if (fd_ < 0 || (!input && !output)) return;
    ::tcflush(fd_, input && output ? TCIOFLUSH : input ? TCIFLUSH : TCOFLUSH);
}

std::size_t TerminalTransport::outputQueued() const {
    int queued = 0;
    if (fd_ < 0 || ::ioctl(fd_, TIOCOUTQ, &queued) != 0 || queued < 0) return 0;
    return std::size_t(queued);
}

} // namespace korvo

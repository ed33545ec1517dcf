#include "instruments/serial/terminal_transport.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

namespace korvo {

namespace {

speed_t speedOf(int baud) {
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
        // 14400 and 56000 have no termios constant; the nearest standard rate below is used.
        return baud == 14400 ? B9600 : B38400;
    }
}

} // namespace

TerminalTransport::~TerminalTransport() {
    close();
}

bool TerminalTransport::open(const std::string& device, std::string* error) {
    close();
    // Non-blocking: reads return at once with what is there, and a port without carrier never
    // blocks the open.
    const int fd = ::open(device.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        if (error) *error = device + ": " + std::strerror(errno);
        return false;
    }
    struct stat st {};
    termios t{};
    if (::fstat(fd, &st) != 0 || !S_ISCHR(st.st_mode) || ::tcgetattr(fd, &t) != 0) {
        ::close(fd);
        if (error) *error = device + ": not a serial port or terminal";
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

void TerminalTransport::apply(const LineSettings& s) {
    if (fd_ < 0) return;
    termios t{};
    if (::tcgetattr(fd_, &t) != 0) return;
    ::cfmakeraw(&t);
    t.c_cflag |= CREAD | CLOCAL;
    t.c_cflag &= ~tcflag_t(CSIZE | PARENB | PARODD | CSTOPB | CRTSCTS);
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
    ::cfsetispeed(&t, speedOf(s.baud()));
    ::cfsetospeed(&t, speedOf(s.baud()));
    ::tcsetattr(fd_, TCSANOW, &t);
    int dtr = TIOCM_DTR;
    ::ioctl(fd_, s.dtrOnOpen ? TIOCMBIS : TIOCMBIC, &dtr); // a pseudo-terminal has no modem lines
    flush(true, true);
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

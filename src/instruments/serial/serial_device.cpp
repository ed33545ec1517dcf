#include "instruments/serial/serial_device.h"

#include <cerrno>
#include <climits>
#include <string_view>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <termios.h>
#include <unistd.h>

namespace korvo {

namespace {

// Character device numbers of the Linux terminals that are no serial line to an instrument.
constexpr unsigned kConsoleMajor = 4; // minors 0..63: virtual consoles (64.. are ttyS)
constexpr unsigned kFirstSerialMinor = 64;
constexpr unsigned kTtyAuxMajor = 5; // /dev/tty, /dev/console, /dev/ptmx, /dev/ttyprintk
constexpr unsigned kBsdPtyMasterMajor = 2;
constexpr unsigned kBsdPtySlaveMajor = 3;
constexpr unsigned kPtyMasterMajors[2] = {128, 135}; // Unix98 masters
constexpr unsigned kPtySlaveMajors[2] = {136, 143};  // Unix98 slaves: /dev/pts/N

bool isPtySlave(unsigned major) {
    return major == kBsdPtySlaveMajor || (major >= kPtySlaveMajors[0] && major <= kPtySlaveMajors[1]);
}

// What the kernel's device registry says the device is ("tty", "mem", "misc", ...); "" when the
// registry cannot be read or does not list the device.
std::string subsystemOf(unsigned major, unsigned minor) {
    const std::string link =
        "/sys/dev/char/" + std::to_string(major) + ":" + std::to_string(minor) + "/subsystem";
    char target[PATH_MAX];
    const ssize_t n = ::readlink(link.c_str(), target, sizeof target - 1);
    if (n <= 0) return {};
    const std::string_view t(target, std::size_t(n));
    const std::size_t slash = t.rfind('/');
    return std::string(slash == std::string_view::npos ? t : t.substr(slash + 1));
}

bool registryReadable() {
    struct stat st {};
    return ::stat("/sys/dev/char", &st) == 0 && S_ISDIR(st.st_mode);
}

std::string refusal(const struct stat& st, const std::string& path) {
    const auto refuse = [&](const char* what) {
        return path + ": " + what + ", not a serial port or pseudo-terminal";
    };
    if (S_ISREG(st.st_mode)) return refuse("a regular file");
    if (S_ISDIR(st.st_mode)) return refuse("a directory");
    if (S_ISFIFO(st.st_mode)) return refuse("a FIFO");
    if (S_ISSOCK(st.st_mode)) return refuse("a socket");
    if (S_ISBLK(st.st_mode)) return refuse("a block device");
    if (!S_ISCHR(st.st_mode)) return refuse("not a device");
    const unsigned maj = ::major(st.st_rdev), min = ::minor(st.st_rdev);
    if (maj == kConsoleMajor && min < kFirstSerialMinor) return refuse("a virtual console");
    if (maj == kTtyAuxMajor) {
        switch (min) {
        case 0:
            return refuse("the terminal of this session");
        case 1:
            return refuse("the system console");
        case 2:
            return refuse("the master side of a pseudo-terminal");
        default:
            return refuse("a terminal of the system");
        }
    }
    if (maj == kBsdPtyMasterMajor || (maj >= kPtyMasterMajors[0] && maj <= kPtyMasterMajors[1]))
        return refuse("the master side of a pseudo-terminal");
    // Pseudo-terminal slaves are not in the registry; every serial driver registers its ports as
    // terminals. Without a readable registry the opened descriptor's terminal check decides.
    if (!isPtySlave(maj) && registryReadable() && subsystemOf(maj, min) != "tty")
        return refuse("a device that is no terminal");
    return {};
}

} // namespace

std::string serialDeviceRefusal(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) return {};
    return refusal(st, path);
}

std::string serialDescriptorRefusal(int fd, const std::string& path) {
    struct stat st {};
    if (::fstat(fd, &st) != 0) return path + ": cannot be examined";
    if (std::string why = refusal(st, path); !why.empty()) return why;
    termios t{};
    if (::tcgetattr(fd, &t) != 0)
        return path + ": a device that is no terminal, not a serial port or pseudo-terminal";
    return {};
}

} // namespace korvo

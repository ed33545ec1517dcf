#include "acquisition/analyser_io/x86_port_io.h"

#if defined(__linux__) && (defined(__x86_64__) || defined(__i386__))
#define KORVO_HAVE_PORT_IO 1
#include <cerrno>
#include <cstring>
#include <linux/capability.h>
#include <sys/io.h>
#include <sys/prctl.h>
#include <sys/syscall.h>
#include <unistd.h>
#endif

namespace korvo {

namespace {
constexpr std::uint16_t kCardFirst = 0x500, kCardCount = 0x28;
constexpr std::uint16_t kParallelFirst = 0x378, kParallelCount = 3;
} // namespace

bool X86PortIo::granted(std::uint16_t port) const {
    if (port >= kCardFirst && port < kCardFirst + kCardCount) return true;
    return parallelPort_ && port >= kParallelFirst && port < kParallelFirst + kParallelCount;
}

#ifdef KORVO_HAVE_PORT_IO

namespace {
// The port permissions stay with the process once granted; the capability that granted them is of
// no further use, and a program that reads colleagues' files and talks to serial lines should not
// keep it. Clears the effective, permitted, inheritable and ambient sets.
bool dropCapabilities() {
    ::prctl(PR_CAP_AMBIENT, PR_CAP_AMBIENT_CLEAR_ALL, 0, 0, 0);
    __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct data[_LINUX_CAPABILITY_U32S_3] = {};
    return ::syscall(SYS_capset, &header, data) == 0;
}
} // namespace

std::unique_ptr<PortIo> X86PortIo::open(std::string* error) {
    if (ioperm(kCardFirst, kCardCount, 1) != 0) {
        if (error)
            *error = std::string("No access to the analyser card ports 0x500-0x527 (") +
                     std::strerror(errno) +
                     "). Give the program the capability CAP_SYS_RAWIO (setcap cap_sys_rawio+ep) "
                     "or choose the simulated card.";
        return nullptr;
    }
    std::unique_ptr<X86PortIo> io(new X86PortIo);
    io->parallelPort_ = ioperm(kParallelFirst, kParallelCount, 1) == 0;
    io->capabilitiesDropped_ = dropCapabilities();
    return io;
}

X86PortIo::~X86PortIo() {
    ioperm(kCardFirst, kCardCount, 0);
    if (parallelPort_) ioperm(kParallelFirst, kParallelCount, 0);
}

void X86PortIo::PortWrite(std::uint16_t port, std::uint8_t value) {
    if (granted(port)) outb(value, port);
}

std::uint8_t X86PortIo::PortRead(std::uint16_t port) {
    return granted(port) ? inb(port) : 0xFF;
}

#else

std::unique_ptr<PortIo> X86PortIo::open(std::string* error) {
    if (error) *error = "Direct port access to the analyser card exists only on x86 Linux.";
    return nullptr;
}

X86PortIo::~X86PortIo() = default;
void X86PortIo::PortWrite(std::uint16_t, std::uint8_t) {}
std::uint8_t X86PortIo::PortRead(std::uint16_t) {
    return 0xFF;
}

#endif

} // namespace korvo

// Kept apart: the kernel's termios2 declarations clash with the C library's <termios.h>.
#include "line_speed.h"

#include <asm/ioctls.h>
#include <asm/termbits.h>
#include <sys/ioctl.h>

namespace korvo::testing {

int lineSpeed(int fd) {
    termios2 t{};
    if (::ioctl(fd, TCGETS2, &t) != 0) return -1;
    return int(t.c_ospeed);
}

} // namespace korvo::testing

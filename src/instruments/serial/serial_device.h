#pragma once
// Which devices a serial link may open: serial ports (on-board, USB and other adapters) and the slave
// side of pseudo-terminals (the simulated instruments). Everything else is refused with the reason:
// a regular file, a directory, a FIFO, a device that is no terminal (/dev/null, a watchdog), the
// system console, the terminal of this session, a virtual console, the master side of a
// pseudo-terminal. A device path is checked before it is opened, since opening some devices already
// does something, and the opened descriptor again, since the path may have changed in between.
#include <string>

namespace korvo {

// Why `path` is no serial port or pseudo-terminal, or "" when it may be opened. A path that does not
// exist passes: opening it fails with the system's own reason.
std::string serialDeviceRefusal(const std::string& path);
// The same for an opened descriptor, which must also be a terminal; `path` is only named in the text.
std::string serialDescriptorRefusal(int fd, const std::string& path);

} // namespace korvo

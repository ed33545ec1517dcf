#pragma once
// The output speed a terminal runs at, in bits per second, also for rates that have no termios
// constant (set through the kernel's termios2, as Qt Serial Port sets them). -1 when it cannot be read.
namespace korvo::testing {
int lineSpeed(int fd);
}

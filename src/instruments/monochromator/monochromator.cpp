#include "instruments/monochromator/monochromator.h"

namespace korvo {

// The link would send "SPO ..." and wait for the reply; with no port nothing is sent. It leaves an
// error code rather than the previous operation's success, so that nobody takes the move as done.
void UnconnectedMonochromator::MonoGoEnergy(const std::string&) {
    ctx_.values.MonoError = 1;
    ctx_.values.StopRequest = 1;
}

// A stop always raises both flags and lets pending clicks through; the stop command itself needs
// the port, so MonoError stays as the last operation left it.
void UnconnectedMonochromator::MonoStop() {
    ctx_.values.StopRequest = 1;
    ctx_.values.MonoStopRequest = true;
    for (int i = 0; i < 2; ++i) {
        keepAlive(ctx_, 100);
        ctx_.pump.pump();
    }
}

} // namespace korvo

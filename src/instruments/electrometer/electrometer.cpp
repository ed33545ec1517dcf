#include "instruments/electrometer/electrometer.h"

#include <string>

namespace korvo {

// A reading on a link without a port: the function selection goes nowhere, the query times out,
// reconnecting is impossible, the repeated query times out as well, and the reading ends in the
// link's time-out box. KeiValue keeps what it held.
void UnconnectedElectrometer::KeiRead() {
    for (int attempt = 0; attempt < 2; ++attempt) {
        ctx_.pump.pump();
        ctx_.clock.sleepMs(100);
        keepAlive(ctx_, kTimeoutS * 1000);
    }
    ctx_.dialogs.error(kInstrumentCaption, "Error ! Timeout (" + std::to_string(kTimeoutS) +
                                               " sec) !\rConnection to Keithley not ok ?");
    ctx_.values.StopRequest = 1;
}

} // namespace korvo

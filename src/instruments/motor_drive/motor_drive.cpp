#include "instruments/motor_drive/motor_drive.h"

#include <string>

namespace korvo {

void UnconnectedMotorDrive::requestTimesOut() {
    keepAlive(ctx_, kTimeoutS * 1000);
    ctx_.dialogs.error(kInstrumentCaption, "Error ! Timeout (" + std::to_string(kTimeoutS) +
                                               " sec) !\rConnection to the main-motor not ok ?");
}

// The automatic move sequence with no drive answering: every command first asks for status, that
// request times out and nothing is sent; the pauses between the steps remain.
bool UnconnectedMotorDrive::DriveAutoMove(const std::string&) {
    ctx_.pump.pump();
    requestTimesOut(); // fault reset
    requestTimesOut(); // motor on
    keepAlive(ctx_, 1000);
    requestTimesOut(); // release brake
    keepAlive(ctx_, 1000);
    requestTimesOut(); // move to the angle: no status, no move
    keepAlive(ctx_, 1000);
    requestTimesOut(); // apply brake
    keepAlive(ctx_, 1000);
    requestTimesOut(); // motor off
    ctx_.values.StopRequest = 1;
    return false;
}

} // namespace korvo

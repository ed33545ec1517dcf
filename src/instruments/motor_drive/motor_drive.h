#pragma once
// The servo drive of the main motor as a script line uses it: the automatic move sequence to the
// target angle (fault reset, motor on, brake off, move, brake on, motor off).
#include "instruments/instrument_context.h"

#include <string>

namespace korvo {

class MotorDrive {
public:
    virtual ~MotorDrive() = default;
    // Returns when the sequence has ended; `targetAngle` is the text of the target field. True when
    // every step was taken and the drive reported standing at the target: a script line whose motor
    // did not get there is not measured.
    virtual bool DriveAutoMove(const std::string& targetAngle) = 0;
};

// The link as it behaves before its serial port is connected: every status request times out.
class UnconnectedMotorDrive final : public MotorDrive {
public:
    explicit UnconnectedMotorDrive(InstrumentContext ctx) : ctx_(ctx) {}
    bool DriveAutoMove(const std::string& targetAngle) override;
    // The time-out of the link's page at its default (seconds).
    static constexpr int kTimeoutS = 3;

private:
    void requestTimesOut();
    InstrumentContext ctx_;
};

} // namespace korvo

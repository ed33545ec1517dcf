#pragma once
// The two stepper axes of the manipulator on the parallel port: axis a ("Manipulator", 0.003 degrees
// a step, a backlash move so that every move ends approaching from below, an acceleration and a
// deceleration ramp) and axis b ("Sample", 1.8 degrees a step, a constant step rate). Both share one
// output byte at 0x378: bit 0 the step pulse, bit 1 the direction (0 positive, 1 negative). The
// positions are counted in software: valid after "Define Position !" as long as no step is lost.
#include "common/port_io.h"
#include "instruments/instrument_context.h"
#include "instruments/stepper_axes/stepper_axes.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace korvo {

// One axis as its panel shows it.
struct StepperAxisPage {
    std::string position = "0"; // position box: target to move to, then the angle reached ("0.00")
    std::string speed = "5";    // speed box, 1 to 10
    bool enabled = false;       // axis a: the "Enable" box that shows the panel
    bool moveEnabled = false;   // axis a: no move before "Define Position !"
    bool defineEnabled = true;
    bool moving = false; // the position box shows the move's colour meanwhile
};

// The acceleration ramp of axis a: delays in microseconds for the first steps, the cruising delay,
// and the deceleration ramp (one entry per remaining step at the end).
struct StepRamp {
    std::vector<std::int64_t> accel; // accel[k]: delay of step k (0-based) while accelerating
    std::int64_t cruise = 0;
    std::vector<std::int64_t> decel; // decel[r]: delay when r steps remain
};
// The ramp for a speed of 1 to 10: first delay 1.5 ms x (15 - speed), ending below a thirtieth of it by
// the square-root recurrence that keeps the acceleration even.
StepRamp stepRampFor(int speed);

class ParallelStepperAxes final : public StepperAxes {
public:
    static constexpr std::uint16_t kPort = 0x378;
    static constexpr double kDegreesA = 0.003, kDegreesB = 1.8;
    static constexpr int kBacklashSteps = 400;

    // Axis b has no position to define before it may move: its move button starts enabled.
    ParallelStepperAxes(InstrumentContext ctx, PortIo& port) : ctx_(ctx), port_(port) { b.moveEnabled = true; }

    StepperAxisPage a, b;
    std::function<void()> changed; // the page shows new texts

    // "Move to Angle:": to the angle in `targetAngle` (the position box's text). False when the axis
    // does not stand there afterwards: no position defined yet (axis a), a target that is no number
    // or beyond what the step counter can reach, or a move the stop button cut short.
    bool MoveAxisA(const std::string& targetAngle) override;
    bool MoveAxisB(const std::string& targetAngle) override;
    // "Define Position !": the angle in the position box becomes the present position.
    void DefinePositionA();
    void DefinePositionB();
    // The stop buttons of both panels; only axis a's step loop honours it (with its deceleration).
    void stop() { stopRequest_ = true; }

    std::int32_t counterA() const { return counterA_; }
    std::int32_t counterB() const { return counterB_; }
    double angleA() const { return counterA_ * kDegreesA + offsetA_; }
    double angleB() const { return counterB_ * kDegreesB + offsetB_; }
    // Pulses written to the port so far (for the move's progress and for tests).
    std::int64_t pulses() const { return pulses_; }

private:
    // Clamps the speed box to 1..10, writes it back and returns it; an unreadable text counts as 1.
    int clampSpeed(StepperAxisPage& page);
    // Steps from the counter to `targetAngle`, or nullopt after a message when the text is no number
    // or the counter could not count that far.
    std::optional<std::int32_t> stepsTo(const std::string& targetAngle, std::int32_t counter, double degrees,
                                        double offset, const char* axisName);
    void setDirection(bool negative);
    void stepsA(std::int32_t count, const StepRamp& ramp);
    void pulse(std::int64_t halfUs, bool sleepBothHalves);
    void show();

    InstrumentContext ctx_;
    PortIo& port_;
    std::uint8_t output_ = 0;
    std::int32_t counterA_ = 0, counterB_ = 0;
    double offsetA_ = 0, offsetB_ = 0;
    bool stopRequest_ = false;
    std::int64_t pulses_ = 0;
};

} // namespace korvo

#include "instruments/stepper_axes/parallel_stepper_axes.h"

#include "common/number_text.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <sched.h>

namespace korvo {

namespace {

constexpr std::int64_t kBaseDelayUs = 1500; // 1.5 ms: the first delay per unit of (15 - speed)
constexpr int kMaxRampSteps = 10000;
// Half-period of axis b in ms for speeds 1 to 10.
constexpr int kHalfPeriodB[10] = {40, 30, 25, 20, 15, 10, 8, 6, 4, 2};

// The moves are timed by sleeping; where the system permits, the thread runs at real-time priority
// meanwhile so that the step rate stays even. Nothing is said when it does not.
class RealTimePriority {
public:
    RealTimePriority() {
        sched_param p{};
        p.sched_priority = sched_get_priority_min(SCHED_FIFO);
        raised_ = ::sched_getparam(0, &saved_) == 0 && (savedPolicy_ = ::sched_getscheduler(0)) >= 0 &&
                  ::sched_setscheduler(0, SCHED_FIFO, &p) == 0;
    }
    ~RealTimePriority() {
        if (raised_) ::sched_setscheduler(0, savedPolicy_, &saved_);
    }

private:
    sched_param saved_{};
    int savedPolicy_ = 0;
    bool raised_ = false;
};

std::string angleText(double angle) {
    return text::formatPattern(angle, "0.00");
}

} // namespace

StepRamp stepRampFor(int speed) {
    StepRamp r;
    const double d1 = double(kBaseDelayUs) * (15 - std::clamp(speed, 1, 10));
    double d = d1, sum = 0;
    do {
        r.accel.push_back(std::llround(d));
        sum += d;
        d = std::sqrt(sum * sum + 2 * d1 * d1) - sum;
    } while (d > d1 / 30 && int(r.accel.size()) < kMaxRampSteps);
    // The last computed delay is the cruising one and takes the place of the ramp's last entry.
    r.cruise = std::llround(d);
    r.accel.back() = r.cruise;
    const std::size_t n = r.accel.size();
    // Deceleration entry k is the mean of acceleration entries 2k-1 and 2k (1-based), so the axis
    // slows down twice as fast as it sped up.
    r.decel.resize(n / 2 + 1, r.cruise);
    for (std::size_t k = 1; k <= n / 2; ++k) r.decel[k] = (r.accel[2 * k - 2] + r.accel[2 * k - 1]) / 2;
    r.decel[0] = r.decel.size() > 1 ? r.decel[1] : r.cruise;
    return r;
}

int ParallelStepperAxes::clampSpeed(StepperAxisPage& page) {
    const auto v = text::parseInt(page.speed);
    const int speed = std::clamp(v ? *v : 1, 1, 10);
    page.speed = std::to_string(speed);
    return speed;
}

void ParallelStepperAxes::show() {
    if (changed) changed();
}

void ParallelStepperAxes::setDirection(bool negative) {
    output_ = std::uint8_t((output_ & ~2u) | (negative ? 2u : 0u));
    port_.PortWrite(kPort, output_);
}

void ParallelStepperAxes::pulse(std::int64_t halfUs, bool sleepBothHalves) {
    output_ |= 1;
    port_.PortWrite(kPort, output_);
    ctx_.clock.sleepUs(halfUs);
    output_ &= std::uint8_t(~1u);
    port_.PortWrite(kPort, output_);
    if (sleepBothHalves) ctx_.clock.sleepUs(halfUs);
    ++pulses_;
}

void ParallelStepperAxes::DefinePositionA() {
    const auto v = text::parseDouble(a.position);
    offsetA_ = v ? *v : 0.0;
    counterA_ = 0;
    a.moveEnabled = true;
    show();
}

void ParallelStepperAxes::DefinePositionB() {
    const auto v = text::parseDouble(b.position);
    offsetB_ = v ? *v : 0.0;
    counterB_ = 0;
    show();
}

void ParallelStepperAxes::stepsA(std::int32_t count, const StepRamp& ramp) {
    if (count == 0) return;
    const int sign = count > 0 ? 1 : -1;
    std::int64_t remaining = std::llabs(count);
    // A move shorter than both ramps shortens them in proportion.
    std::int64_t accelLen = std::int64_t(ramp.accel.size()), decelLen = std::int64_t(ramp.decel.size());
    if (remaining < accelLen + decelLen) {
        accelLen = std::llround(double(accelLen) * double(remaining) / double(accelLen + decelLen));
        decelLen = remaining - accelLen;
    }
    RealTimePriority priority;
    for (std::int64_t done = 0; remaining > 0; ++done) {
        --remaining;
        if (remaining > decelLen && stopRequest_) remaining = decelLen; // a stop decelerates
        std::int64_t delay = ramp.cruise;
        if (done < accelLen)
            delay = ramp.accel[std::size_t(done)];
        else if (remaining < decelLen)
            delay = ramp.decel[std::size_t(
                std::min<std::int64_t>(remaining, std::int64_t(ramp.decel.size()) - 1))];
        pulse(delay, false);
        counterA_ += sign;
        a.position = angleText(angleA());
        if (done % 10 == 9) {
            show();
            ctx_.pump.pump();
        }
    }
    show();
}

std::optional<std::int32_t> ParallelStepperAxes::stepsTo(const std::string& targetAngle, std::int32_t counter,
                                                         double degrees, double offset,
                                                         const char* axisName) {
    const auto target = text::parseDouble(targetAngle);
    if (!target) {
        ctx_.dialogs.error(kInstrumentCaption, "\"" + targetAngle + "\" is not a valid angle.");
        return std::nullopt;
    }
    // The counter holds 32 bits, and axis a overshoots by its backlash on the way down: a target the
    // counter cannot reach (1e308, say) is refused before a single step is made.
    const double steps = (*target - counter * degrees - offset) / degrees;
    constexpr double kReach = double(std::numeric_limits<std::int32_t>::max() - kBacklashSteps);
    if (!std::isfinite(steps) || std::fabs(double(counter) + steps) > kReach) {
        ctx_.dialogs.error(kInstrumentCaption,
                           "\"" + targetAngle + "\" is beyond the range of the " + axisName + ".");
        return std::nullopt;
    }
    return std::int32_t(text::roundHalfEven(steps));
}

bool ParallelStepperAxes::MoveAxisA(const std::string& targetAngle) {
    if (!a.moveEnabled) {
        ctx_.dialogs.show("Please define manipulator position!");
        return false;
    }
    const auto toGo = stepsTo(targetAngle, counterA_, kDegreesA, offsetA_, "manipulator");
    if (!toGo) return false;
    const std::int32_t steps = *toGo;
    const std::int32_t target = counterA_ + steps;
    const int speed = clampSpeed(a);
    const StepRamp ramp = stepRampFor(speed);
    a.moveEnabled = a.defineEnabled = b.moveEnabled = b.defineEnabled = false;
    a.moving = true;
    show();
    if (steps > 0) {
        setDirection(false);
        ctx_.clock.sleepMs(1);
        stepsA(steps, ramp);
    } else if (steps < 0) {
        // Every move ends approaching from below, so that the gears' play is always taken up the same way.
        setDirection(true);
        ctx_.clock.sleepMs(1);
        stepsA(steps - kBacklashSteps, ramp);
        setDirection(false);
        ctx_.clock.sleepMs(1);
        stepsA(kBacklashSteps, ramp);
    }
    a.position = angleText(angleA());
    stopRequest_ = false;
    a.moving = false;
    a.moveEnabled = a.defineEnabled = b.moveEnabled = b.defineEnabled = true;
    show();
    // A stop decelerates the axis short of its target.
    return counterA_ == target;
}

bool ParallelStepperAxes::MoveAxisB(const std::string& targetAngle) {
    const auto toGo = stepsTo(targetAngle, counterB_, kDegreesB, offsetB_, "sample");
    if (!toGo) return false;
    const std::int32_t steps = *toGo;
    const int speed = clampSpeed(b);
    const std::int64_t halfUs = std::int64_t(kHalfPeriodB[speed - 1]) * 1000;
    b.moving = true;
    show();
    if (steps != 0) {
        ctx_.clock.sleepMs(1);
        setDirection(steps < 0);
        ctx_.clock.sleepMs(1);
        for (std::int32_t i = 0; i < std::abs(steps); ++i) {
            pulse(halfUs, true);
            counterB_ += steps > 0 ? 1 : -1;
            b.position = angleText(angleB());
            show();
            ctx_.pump.pump();
        }
    }
    b.position = angleText(angleB());
    b.moving = false;
    show();
    return true;
}

} // namespace korvo

// The stepper axes on a recording parallel port, on a virtual clock.
#include "common/clock.h"
#include "common/dialogs.h"
#include "common/event_pump.h"
#include "common/timers.h"
#include "instruments/stepper_axes/parallel_stepper_axes.h"

#include <gtest/gtest.h>
#include <vector>

namespace korvo {
namespace {

// Counts the pulses on bit 0 of the parallel port and the direction each was made in.
struct PulseCounter final : PortIo {
    int up = 0, down = 0;
    std::uint8_t last = 0;
    std::vector<int> runs; // signed lengths of the runs of pulses in one direction
    void PortWrite(std::uint16_t port, std::uint8_t v) override {
        if (port != ParallelStepperAxes::kPort) return;
        if ((v & 1) && !(last & 1)) {
            const int dir = (v & 2) ? -1 : 1;
            (dir > 0 ? up : down)++;
            if (runs.empty() || (runs.back() > 0) != (dir > 0)) runs.push_back(0);
            runs.back() += dir;
        }
        last = v;
    }
    std::uint8_t PortRead(std::uint16_t) override { return 0; }
};

struct Axes {
    VirtualClock clock;
    ScriptedPump pump;
    RecordingDialogs dialogs;
    InstrumentValues values;
    PolledTimers timers{clock};
    NullStatusPanels status;
    PulseCounter port;
    ParallelStepperAxes axes{InstrumentContext{clock, pump, dialogs, values, timers, status}, port};
};

TEST(StepperAxes, AxisAEndsEveryMoveApproachingFromBelow) {
    Axes t;
    EXPECT_FALSE(t.axes.MoveAxisA("1"));
    EXPECT_TRUE(t.dialogs.saw("Please define manipulator position!"));
    EXPECT_EQ(t.port.up + t.port.down, 0);

    t.axes.a.position = "0";
    t.axes.DefinePositionA();
    EXPECT_TRUE(t.axes.MoveAxisA("-1.0")); // round(-1 / 0.003) = -333: 733 steps down, 400 back up
    EXPECT_EQ(t.port.runs, (std::vector<int>{-733, 400}));
    EXPECT_EQ(t.axes.counterA(), -333);
    EXPECT_EQ(t.axes.a.position, "-1.00");
    t.axes.MoveAxisA("0.5"); // upwards: no backlash move
    EXPECT_EQ(t.port.runs.back(), 400 + 500);
    EXPECT_EQ(t.axes.a.position, "0.50");
    t.axes.MoveAxisA("0.5"); // already there
    EXPECT_EQ(t.port.runs.back(), 900);
    // The pump runs every 10 steps, so the stop button can be pressed during a move.
    EXPECT_GE(t.pump.calls(), (733 + 400 + 500) / 10);
}

TEST(StepperAxes, AStopDeceleratesAxisAAndADefinedOffsetCounts) {
    Axes t;
    t.axes.a.position = "10";
    t.axes.DefinePositionA(); // the present position reads 10 degrees
    t.pump.onCall(5, [&] { t.axes.stop(); });
    EXPECT_FALSE(t.axes.MoveAxisA("13")); // 1000 steps, stopped after some 50: not there
    const StepRamp ramp = stepRampFor(5);
    EXPECT_LT(t.port.up, 1000);
    EXPECT_LE(t.port.up, 50 + int(ramp.decel.size()) + 10);
    EXPECT_NEAR(t.axes.angleA(), 10 + t.port.up * 0.003, 1e-9);
    EXPECT_TRUE(t.axes.MoveAxisA("10.3")); // the stop flag was cleared at the end of the stopped move
    EXPECT_NEAR(t.axes.angleA(), 10.3, 1e-9);

    // Targets the 32-bit step counter cannot reach, and texts that are no angle, move nothing.
    const int pulses = t.port.up + t.port.down;
    t.dialogs.clear();
    EXPECT_FALSE(t.axes.MoveAxisA("1e308"));
    EXPECT_FALSE(t.axes.MoveAxisB("-1e10"));
    EXPECT_FALSE(t.axes.MoveAxisB("nan"));
    EXPECT_FALSE(t.axes.MoveAxisB("x"));
    EXPECT_EQ(t.dialogs.texts(),
              (std::vector<std::string>{"\"1e308\" is beyond the range of the manipulator.",
                                        "\"-1e10\" is beyond the range of the sample.",
                                        "\"nan\" is not a valid angle.", "\"x\" is not a valid angle."}));
    EXPECT_EQ(t.port.up + t.port.down, pulses);
    EXPECT_NEAR(t.axes.angleA(), 10.3, 1e-9);
}

TEST(StepperAxes, RampStartsSlowCruisesAndSpeedIsClamped) {
    for (int speed : {1, 5, 10}) {
        const StepRamp r = stepRampFor(speed);
        ASSERT_GE(r.accel.size(), 2u) << speed;
        EXPECT_EQ(r.accel[0], 1500 * (15 - speed)) << speed;
        EXPECT_TRUE(std::is_sorted(r.accel.rbegin(), r.accel.rend())) << speed; // ever shorter delays
        EXPECT_LE(r.cruise, r.accel[0] / 30 + 1) << speed;
        EXPECT_EQ(r.decel.size(), r.accel.size() / 2 + 1) << speed;
    }
    Axes t;
    t.axes.b.speed = "12";
    EXPECT_TRUE(t.axes.MoveAxisB("3.6")); // two steps of 1.8 degrees at 2 ms half-periods
    EXPECT_EQ(t.axes.b.speed, "10");
    EXPECT_EQ(t.port.runs, (std::vector<int>{2}));
    EXPECT_EQ(t.axes.b.position, "3.60");
    EXPECT_GE(t.clock.nowMs(), 2 * 4);
    t.axes.b.speed = "0";
    const auto before = t.clock.nowMs();
    t.axes.MoveAxisB("0"); // back down at speed 1: 40 ms half-periods
    EXPECT_EQ(t.axes.b.speed, "1");
    EXPECT_EQ(t.port.runs.back(), -2);
    EXPECT_GE(t.clock.nowMs() - before, 2 * 80);
}

} // namespace
} // namespace korvo

#include "common/clock.h"
#include "common/dialogs.h"
#include "common/event_pump.h"
#include "common/timers.h"

#include <gtest/gtest.h>

namespace korvo {

TEST(VirtualClock, MovesOnlyWhenSleptOnAndNeverBackwards) {
    VirtualClock c;
    EXPECT_EQ(c.nowMs(), 0);
    c.sleepMs(500);
    c.advanceUs(1500);
    EXPECT_EQ(c.nowMs(), 501);
    c.sleepMs(-20);
    c.advanceUs(-1);
    EXPECT_EQ(c.nowUs(), 501500);
}

TEST(ScriptedPump, FiresActionsOnTheirCallAndConditionOnce) {
    ScriptedPump p;
    int stop = 0, seen = 0, every = 0;
    bool armed = false;
    p.onCall(3, [&] {
        ++stop;
        armed = true;
    });
    p.once([&] { return armed; }, [&] { ++seen; });
    p.always([&] { ++every; });
    p.onCall(1, [&] { p.onCall(2, [&] { every += 100; }); }); // actions may schedule further actions
    for (int i = 0; i < 6; ++i) p.pump();
    EXPECT_EQ(stop, 1);
    EXPECT_EQ(seen, 1); // armed on call 3, fires on call 4 and never again
    EXPECT_EQ(every, 106);
}

// Tests everywhere lean on `saw`; a lenient match would let wrong messages pass unnoticed.
TEST(PolledTimers, FireByTheClockWhenThePumpRunsAndMayStopThemselves) {
    VirtualClock c;
    PolledTimers timers(c);
    ScriptedPump inner;
    TimerPump pump(inner, timers);
    int fast = 0, slow = 0;
    const Timers::Id f = timers.start(50, [&] { ++fast; });
    Timers::Id s = 0;
    s = timers.start(120, [&] {
        if (++slow == 2) timers.stop(s);
    });
    for (int i = 0; i < 50; ++i) { // 500 ms in steps of 10 ms
        c.sleepMs(10);
        pump.pump();
    }
    EXPECT_EQ(fast, 10);
    EXPECT_EQ(slow, 2); // at 120 and 240 ms, then it stopped itself
    EXPECT_EQ(inner.calls(), 50);
    // A timer that fell behind fires once, not once for every period it missed.
    c.sleepMs(1000);
    pump.pump();
    EXPECT_EQ(fast, 11);
    timers.stop(f);
    timers.stop(12345); // unknown: ignored
    EXPECT_EQ(timers.running(), 0u);
}

TEST(RecordingDialogs, SawMatchesWholeTextsExactly) {
    RecordingDialogs d;
    d.error("Korvo 02", "boom\rbang");
    EXPECT_TRUE(d.saw("boom\rbang"));
    for (const char* other : {"Boom\rbang", "boom", "bang", ""}) EXPECT_FALSE(d.saw(other)) << other;
}

} // namespace korvo

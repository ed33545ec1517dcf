#include "common/clock.h"
#include "common/dialogs.h"
#include "common/event_pump.h"

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
TEST(RecordingDialogs, SawMatchesWholeTextsExactly) {
    RecordingDialogs d;
    d.error("Korvo 02", "boom\rbang");
    EXPECT_TRUE(d.saw("boom\rbang"));
    for (const char* other : {"Boom\rbang", "boom", "bang", ""}) EXPECT_FALSE(d.saw(other)) << other;
}

} // namespace korvo

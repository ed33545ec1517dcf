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
    EXPECT_EQ(c.nowUs(), 501500);
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
    for (int i = 0; i < 6; ++i) p.pump();
    EXPECT_EQ(p.calls(), 6);
    EXPECT_EQ(stop, 1);
    EXPECT_EQ(seen, 1); // armed on call 3, fires on call 4 and never again
    EXPECT_EQ(every, 6);
}

TEST(ScriptedPump, ActionsMayScheduleFurtherActions) {
    ScriptedPump p;
    std::vector<int> order;
    p.onCall(1, [&] {
        order.push_back(1);
        p.onCall(2, [&] { order.push_back(2); });
    });
    p.pump();
    p.pump();
    p.pump();
    EXPECT_EQ(order, (std::vector<int>{1, 2}));
}

TEST(RecordingDialogs, AnswersFromQueueThenDefaultAndRecordsTexts) {
    RecordingDialogs d;
    d.answers = {DialogAnswer::Cancel};
    d.defaultAnswer = DialogAnswer::Ok;
    EXPECT_EQ(d.ask("Korvo 02", "Close Korvo 02 ?", DialogIcon::Warning, DialogButtons::OkCancel),
              DialogAnswer::Cancel);
    EXPECT_EQ(d.ask("Korvo 02", "again", DialogIcon::Warning, DialogButtons::OkCancel), DialogAnswer::Ok);
    d.error("Korvo 02", "boom");
    EXPECT_TRUE(d.saw("boom"));
    EXPECT_FALSE(d.saw("Boom"));
    ASSERT_EQ(d.shown.size(), 3u);
    EXPECT_EQ(d.shown[2].icon, DialogIcon::Error);
    EXPECT_FALSE(d.chooseSaveFile("Save", "/tmp", "c_061226.001", "").has_value());
    d.saveAcceptsProposed = true;
    EXPECT_EQ(d.chooseSaveFile("Save", "/tmp", "c_061226.001", "").value(), "c_061226.001");
}

} // namespace korvo

#include "instruments/ring_current/ring_poll.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace korvo {
namespace {

// A reader that answers from a script and records what the poll asked and showed meanwhile.
struct ScriptedReader {
    explicit ScriptedReader(std::vector<bool> a) : answers(std::move(a)) {}
    std::vector<bool> answers; // one per read; a value of 250.3 when true
    std::vector<std::string> addresses;
    std::vector<std::string> labelsDuringRead;

    RingPoll::Reader reader() {
        return [this](const std::string& address, const RingMarkers&, RingDisplay& display) {
            addresses.push_back(address);
            labelsDuringRead.push_back(display.currentLabel);
            const bool found = addresses.size() <= answers.size() && answers[addresses.size() - 1];
            if (found) display.currentLabel = display.mainLabel = formatRingCurrent(250.3);
            return found;
        };
    }
};

TEST(RingPoll, EnablingArmsTheTimerWithTheRefreshTimeAndReadsAtOnce) {
    ScriptedReader r({true, false, true});
    RingPoll poll(r.reader());
    poll.address = "http://127.0.0.1:1/status";
    EXPECT_FALSE(poll.timerEnabled());
    EXPECT_EQ(poll.intervalMs(), 10000);
    EXPECT_EQ(poll.display().currentLabel, "------- mA");
    EXPECT_FALSE(poll.display().mainLabelVisible);

    poll.tick(); // a timer that fires while the poll is off reads nothing
    EXPECT_TRUE(r.addresses.empty());

    EXPECT_FALSE(poll.setRefreshSeconds(0));
    EXPECT_TRUE(poll.setRefreshSeconds(45));
    EXPECT_TRUE(poll.setEnabled(true));
    EXPECT_TRUE(poll.timerEnabled());
    EXPECT_EQ(poll.intervalMs(), 45000);
    EXPECT_TRUE(poll.display().mainLabelVisible);
    ASSERT_EQ(r.addresses.size(), 1u);
    EXPECT_EQ(r.addresses[0], "http://127.0.0.1:1/status");
    EXPECT_EQ(poll.display().currentLabel, "250.3 mA");

    poll.tick(); // the second read finds nothing
    ASSERT_EQ(r.addresses.size(), 2u);
    EXPECT_EQ(r.labelsDuringRead[1], "------- mA");
    EXPECT_EQ(poll.display().currentLabel, "No Data!");
    EXPECT_EQ(poll.display().mainLabel, "250.3 mA") << "the main window keeps the last reading";

    poll.setEnabled(false);
    EXPECT_FALSE(poll.timerEnabled());
    EXPECT_FALSE(poll.display().mainLabelVisible);
    poll.tick();
    EXPECT_EQ(r.addresses.size(), 2u);
    EXPECT_TRUE(poll.readOnce()); // "Read Single Value" works with the poll off
    EXPECT_EQ(r.addresses.size(), 3u);
}

} // namespace
} // namespace korvo

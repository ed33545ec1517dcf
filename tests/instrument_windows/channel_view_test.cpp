// The multichanneltron setup's arithmetic without widgets: bars, percentages, sensitivities, and
// the calibration point counted on a station.
#include "acquisition/rig.h"
#include "instrument_windows/channel_bars.h"
#include "instrument_windows/sensitivity_calibration.h"

#include <gtest/gtest.h>

namespace korvo {
namespace {

using testing::CardRig;
using testing::FormulaCard;

constexpr std::array<double, 9> kOnes{1, 1, 1, 1, 1, 1, 1, 1, 1};

ChannelCounts countsOf(std::array<double, 9> raw, std::array<bool, 9> on = {1, 1, 1, 1, 1, 1, 1, 1, 1}) {
    ChannelCounts c;
    c.raw = raw;
    for (int i = 0; i < 9; ++i) c.enabled[i] = on[i] ? raw[i] : 0;
    return c;
}

TEST(ChannelBars, BarsScaleToTheLargestValueAndStandOnACommonFoot) {
    const ChannelBars b =
        channelBars(countsOf({100, 200, 50, 0, 0, 0, 0, 0, 400}, {1, 1, 1, 1, 1, 1, 1, 1, 0}), kOnes);
    EXPECT_EQ(b.maximum, "0000200") << "a switched-off channeltron does not set the scale";
    const int expectedTops[9] = {54, 4, 79, 104, 104, 104, 104, 104, 104};
    for (int c = 1; c <= 9; ++c) {
        const BarRect& r = b.bars[c - 1];
        EXPECT_EQ(r.left, 16 * c - 13) << c;
        EXPECT_EQ(r.right, 16 * c + 2) << c;
        EXPECT_EQ(r.bottom, 107) << c;
        EXPECT_EQ(r.top, expectedTops[c - 1]) << c;
    }
    // The percentages are those of the counts as counted, switched off or not.
    EXPECT_EQ(percentList(b), "025.00\r050.00\r012.50\r000.00\r000.00\r000.00\r000.00\r000.00\r100.00\r");
}

TEST(ChannelBars, NothingCountedAndRoundedScales) {
    const ChannelBars none = channelBars(countsOf({}), kOnes);
    EXPECT_EQ(none.maximum, "0000001");
    for (const BarRect& r : none.bars) EXPECT_EQ(r.top, 104);
    EXPECT_EQ(none.percents[0], "000.00");

    // A scale of 2.5 rounds to 2 (halves to even): the tallest bar would rise above the picture and
    // is cut at its top edge.
    std::array<double, 9> s = kOnes;
    s[0] = 2.5;
    const ChannelBars cut = channelBars(countsOf({1, 1, 0, 0, 0, 0, 0, 0, 0}), s);
    EXPECT_EQ(cut.maximum, "0000002");
    EXPECT_EQ(cut.bars[0].top, 0);
    EXPECT_EQ(cut.bars[1].top, 54);
}

TEST(Sensitivities, EqualiseTheChannelsAgainstTheLargestCount) {
    const auto s = sensitivitiesFromCounts({100, 200, 50, 0, 0, 0, 0, 0, 0});
    EXPECT_DOUBLE_EQ(s[0], 200.0 / 101);
    EXPECT_DOUBLE_EQ(s[1], 200.0 / 201);
    EXPECT_DOUBLE_EQ(s[2], 200.0 / 51);
    for (int k = 3; k < 9; ++k) EXPECT_DOUBLE_EQ(s[k], 200.0) << k;
    // Nothing counted anywhere: the largest count is taken as 1.
    for (double v : sensitivitiesFromCounts({})) EXPECT_DOUBLE_EQ(v, 1.0);
}

struct CalibrationRig {
    FormulaCard card;
    CardRig rig{card};
    CalibrationRig() {
        card.counts = [](int c, int) { return c == 1 ? 100 : c == 2 ? 200 : c == 3 ? 50 : 0; };
    }
};

TEST(CalibrationPoint, CountsOnePointAndGivesRecordZeroBack) {
    CalibrationRig r;
    MeasurementRecord first;
    first.Energy = 123.5;
    first.Co.fill(7);
    first.CoScan.fill(3);
    r.rig.data[0] = first;
    r.rig.ctx.values.StopRequest = 1; // as any finished run leaves it

    const auto counts = countCalibrationPoint(r.rig.station, 10); // one gate of 10 ms
    ASSERT_TRUE(counts);
    const std::array<double, 9> expected{100, 200, 50, 0, 0, 0, 0, 0, 0};
    EXPECT_EQ(*counts, expected);
    EXPECT_EQ(r.card.gates, 1);
    EXPECT_EQ(r.rig.ctx.values.StopRequest, 1);
    // The last measurement can still be saved as it was measured.
    ASSERT_EQ(r.rig.data.size(), 4u);
    EXPECT_EQ(r.rig.data[0].Energy, 123.5);
    EXPECT_EQ(r.rig.data[0].Co, first.Co);
    EXPECT_EQ(r.rig.data[0].CoScan, first.CoScan);
}

TEST(CalibrationPoint, BeforeAnyRunTheBlockStaysEmpty) {
    CalibrationRig r;
    r.rig.data.clear();
    const auto counts = countCalibrationPoint(r.rig.station, 20);
    ASSERT_TRUE(counts);
    EXPECT_EQ((*counts)[1], 400); // two gates
    EXPECT_TRUE(r.rig.data.empty());
}

TEST(CalibrationPoint, CountsInTestModeAlthoughTheLastRunHasEnded) {
    // The test mode stops counting while the abort flag is up: the calibration lowers it for its point.
    CalibrationRig r;
    r.rig.ctx.options.testWithoutAnalyser = true;
    r.rig.ctx.values.StopRequest = 1;
    const auto counts = countCalibrationPoint(r.rig.station, 100);
    ASSERT_TRUE(counts);
    for (double c : *counts) EXPECT_GT(c, 0);
    EXPECT_EQ(r.card.gates, 0) << "the test mode touches no port";
    EXPECT_EQ(r.rig.ctx.values.StopRequest, 1);
}

} // namespace
} // namespace korvo

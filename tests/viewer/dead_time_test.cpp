// Dead-time correction: values computed by hand from N = n / (1 - n tau / t) per channeltron, the
// shares taken from a file's raw channel columns, and refusals that leave every count in place.
#include "viewer/analysis/dead_time.h"
#include "viewer/analysis/operations.h"
#include "viewer/viewer_test_util.h"

#include <gtest/gtest.h>

#include <cmath>

namespace korvo::testing {
namespace {

using namespace analysis;

// Two scans of 100 ms per point: every counter counted 0.2 s at each point.
const std::string kHeader = "MeasTime: 100\r\nScans: 2\r\n";

tvar loaded(const TempDir& dir, const std::vector<std::pair<std::string, std::string>>& files) {
    tvar ws;
    std::vector<std::string> paths;
    for (const auto& [name, text] : files) paths.push_back(writeText(dir, name, text));
    const LoadOutcome out = load(ws, paths);
    EXPECT_EQ(out.status, LoadStatus::Loaded) << out.message;
    return ws;
}

TEST(DeadTime, SumSpreadOverNineChanneltronsOrSharedAsTheRawColumnsSay) {
    TempDir dir;
    // Only the sum: 9000 counts are 1000 on each channeltron; 1000 x 1 us / 0.2 s = 0.005 lost.
    const std::string sumOnly = spectrumText({{10, 9000}, {11, 0}, {12, 90}}, kHeader);
    // Raw columns: channeltron 1 counted three times what channeltron 2 did, the others nothing
    // (switched off). 4000 counts are 3000 + 1000; at 10 us, 3000 lose 15 % and 1000 lose 5 %.
    const std::string raw = kHeader + "BEGIN:\r\n10 4000 30 10 0 0 0 0 0 0 0\r\n11 400 3 1 0 0 0 0 0 0 0 7.5\r\nEND\r\n";
    tvar ws = loaded(dir, {{"sum.dat", sumOnly}, {"raw.dat", raw}});
    ASSERT_FALSE(ws.spectrum(1).ChannelTotals);
    ASSERT_TRUE(ws.spectrum(2).ChannelTotals);

    tvar small = ws;
    ASSERT_TRUE(deadTimeCorrection(small, 1000).ok());
    EXPECT_DOUBLE_EQ(small.point(1, 1).y, 9000 / 0.995);
    EXPECT_EQ(small.point(1, 2).y, 0);
    EXPECT_DOUBLE_EQ(small.point(1, 3).y, 90 / (1 - 10 * 1e-6 / 0.2));
    EXPECT_DOUBLE_EQ(small.point(2, 1).y, 3000 / (1 - 3000 * 1e-6 / 0.2) + 1000 / (1 - 1000 * 1e-6 / 0.2));

    ASSERT_TRUE(deadTimeCorrection(ws, 10000).ok());
    EXPECT_NEAR(ws.point(2, 1).y, 3000 / 0.85 + 1000 / 0.95, 1e-9);
    EXPECT_NEAR(ws.point(2, 2).y, 300 / 0.985 + 100 / 0.995, 1e-9);
    EXPECT_EQ(ws.point(2, 2).x, 11); // energies stay
}

TEST(DeadTime, RefusalsChangeNothing) {
    TempDir dir;
    // At 10 us a counter counts at most 100000 per second, 20000 in 0.2 s: 180000 spread over nine
    // reach it exactly, one count less does not.
    tvar ws = loaded(dir, {{"a.dat", spectrumText({{10, 100}, {11, 179999}}, kHeader)},
                           {"b.dat", spectrumText({{10, 100}, {11, 180000}}, kHeader)}});
    const std::string before = stateOf(ws);
    Outcome out = deadTimeCorrection(ws, 10000);
    EXPECT_NE(out.message.find("b.dat at x = 11"), std::string::npos) << out.message;
    EXPECT_NE(out.message.find("Nothing was corrected"), std::string::npos) << out.message;
    EXPECT_EQ(stateOf(ws), before); // a.dat, which could be corrected, is not either
    ws.ShownCount = 1;             // b.dat hidden: a.dat alone goes through, far beyond its count
    ASSERT_TRUE(deadTimeCorrection(ws, 10000).ok());
    EXPECT_GT(ws.point(1, 2).y, 1e9);
    EXPECT_EQ(ws.point(2, 2).y, 180000);

    // No measuring time in the header (the loader's stand-in of 1 ms is no dwell time), a zero one,
    // a negative count, and dead times that are no positive number.
    for (const std::string& text : {spectrumText({{10, 5}}, "Scans: 2\r\n"),
                                    spectrumText({{10, 5}}, "MeasTime: 0\r\nScans: 2\r\n"),
                                    spectrumText({{10, 5}, {11, -1}}, kHeader)}) {
        TempDir d;
        tvar one = loaded(d, {{"c.dat", text}});
        const std::string unchanged = stateOf(one);
        out = deadTimeCorrection(one, 100);
        EXPECT_FALSE(out.ok());
        EXPECT_NE(out.message.find("c.dat"), std::string::npos) << out.message;
        EXPECT_EQ(stateOf(one), unchanged);
        for (double ns : {0.0, -5.0, std::nan("")}) {
            EXPECT_FALSE(deadTimeCorrection(one, ns).ok());
            EXPECT_EQ(stateOf(one), unchanged);
        }
    }
}

TEST(DeadTime, OperationTakesAPositiveNumberOfNanoseconds) {
    std::string error;
    const auto op = parseOperation("deadtime:75.5", error);
    ASSERT_TRUE(op) << error;
    EXPECT_EQ(op->kind, Operation::Kind::DeadTime);
    EXPECT_EQ(op->deadTimeNs, 75.5);
    for (const char* bad : {"deadtime:", "deadtime:0", "deadtime:-3", "deadtime:5ns", "deadtime:inf"}) {
        EXPECT_FALSE(parseOperation(bad, error)) << bad;
        EXPECT_NE(error.find("nanoseconds"), std::string::npos) << error;
    }
}

} // namespace
} // namespace korvo::testing

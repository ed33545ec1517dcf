#include "acquisition/analyser_io/port_backend.h"
#include "acquisition/analyser_io/simulated_card.h"
#include "analyser_rig.h"
#include "common/number_text.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numeric>
#include <span>
#include <sstream>

namespace korvo {
namespace {

using testing::AnalyserRig;

// Full width at half maximum of a sampled peak, interpolated between samples.
double fwhm(const std::vector<double>& x, const std::vector<double>& y) {
    std::size_t top = std::max_element(y.begin(), y.end()) - y.begin();
    double half = y[top] / 2;
    std::size_t lo = top, hi = top;
    while (lo > 0 && y[lo] > half) --lo;
    while (hi + 1 < y.size() && y[hi] > half) ++hi;
    if (!(half > 0) || lo == top || hi == top || y[lo] > half || y[hi] > half) return NAN; // no clean peak
    auto cross = [&](std::size_t a, std::size_t b) {
        return x[a] + (half - y[a]) / (y[b] - y[a]) * (x[b] - x[a]);
    };
    return cross(hi, hi - 1) - cross(lo, lo + 1);
}

struct SimulatedCardTest : ::testing::Test {
    VirtualClock clock;
    SimulatedCard card{clock};
};

TEST_F(SimulatedCardTest, DecodesTimerDacAndControlRegisterAsTheRoutinesProgramThem) {
    AnalyserRig rig(card, clock);
    rig.fields.gateUnits = "7";
    rig.io.SetupTimer();
    EXPECT_EQ(card.gateLengthUs(), 70'000);

    rig.fields.passEnergyText = "0.5";
    for (double start : {100.0, 1000.0}) {
        rig.io.SetRamp(10);
        rig.io.SetStartAndRange(start);
        rig.io.SetPassEnergyCode();
        rig.io.BeginMeasurement();
        rig.io.SetAnalyserPoint(0.5);
        EXPECT_DOUBLE_EQ(card.fullScale(), rig.state.FullScale);
        EXPECT_EQ(card.dacWord(), rig.io.lastWord());
        // "0.5" and "10" share a code; the range decides which one the analyser uses.
        EXPECT_DOUBLE_EQ(card.passEnergy(), start < 200 ? 0.5 : 10);
        EXPECT_NEAR(card.channelEnergy(5), start + 5, rig.state.SmallestStep);
        const double factor = start < 200 ? 0.132 : 0.112; // channeltron 1 at "0.5 eV" and "10 eV"
        EXPECT_NEAR(card.channelEnergy(1) - card.channelEnergy(5), factor * card.passEnergy(), 1e-9);
    }
}

TEST_F(SimulatedCardTest, CountersFollowTheModelAndTheMultiplexerOrder) {
    // A rate rising with energy: channeltron 1 sits highest, 9 lowest, so through the routines'
    // read-out order the counts must fall strictly from channel 1 to 9.
    card.setModel(SpectrumModel::lines({}, -900'000, 1000));
    AnalyserRig rig(card, clock);
    rig.fields.passEnergyText = "200";
    rig.io.SetupTimer();
    rig.io.SetRamp(0);
    rig.io.SetStartAndRange(1000);
    rig.io.SetPassEnergyCode();
    rig.io.BeginMeasurement();
    rig.io.SetAnalyserPoint(0);
    rig.io.ReadPoint(1000, 1);
    const auto& r = rig.data[1].CoScan;
    for (int c = 1; c < 9; ++c) EXPECT_GT(r[c], r[c + 1]) << c;
    // About 1e5 cps for 1 s in 100 gates, within five standard deviations.
    EXPECT_NEAR(r[5], 1000 * card.channelEnergy(5) - 900'000, 5 * std::sqrt(r[5]));
    EXPECT_EQ(card.gatesStarted(), 100);
}

TEST_F(SimulatedCardTest, SameSeedSameCountsOtherSeedOtherCounts) {
    auto run = [](std::uint64_t seed) {
        VirtualClock clock;
        SimulatedCard card(clock, SpectrumModel::standard(), seed);
        AnalyserRig rig(card, clock);
        rig.io.SetupTimer();
        rig.io.SetRamp(5);
        rig.io.SetStartAndRange(82);
        std::vector<std::int32_t> totals;
        for (int i = 0; i < 5; ++i) {
            rig.io.SetAnalyserPoint(i / 4.0);
            totals.push_back(rig.io.ReadPoint(20, 1));
        }
        return totals;
    };
    EXPECT_EQ(run(7), run(7));
    EXPECT_NE(run(7), run(8));
}

TEST_F(SimulatedCardTest, MisbehavingCardsAreCaughtByTheRoutines) {
    AnalyserRig rig(card, clock);
    card.setFault(SimulatedCard::Fault::NoCard);
    EXPECT_FALSE(rig.io.presenceTest(true));
    EXPECT_TRUE(rig.ctx.options.testWithoutAnalyser);
    card.setFault(SimulatedCard::Fault::None);
    rig.ctx.options = {};
    EXPECT_TRUE(rig.io.presenceTest(true));

    card.setFault(SimulatedCard::Fault::CounterStuck);
    EXPECT_EQ(rig.io.ReadPoint(30, 1), 9 * 3 * 65535);

    card.setFault(SimulatedCard::Fault::GateNeverEnds);
    const std::int64_t gatesBefore = card.gatesStarted();
    EXPECT_EQ(rig.io.ReadPoint(500, 1), 0);
    EXPECT_EQ(rig.ctx.values.StopRequest, 1);
    EXPECT_EQ(card.gatesStarted(), gatesBefore + 1); // the stuck gate is the only one of this point
    EXPECT_TRUE(rig.dialogs.shown.size() == 1 && rig.dialogs.shown[0].caption == "Korvo 02");
    EXPECT_FALSE(rig.io.presenceTest(true)); // the gate rises but never falls
    EXPECT_FALSE(rig.ctx.options.testSwitchEnabled);
}

// Every channeltron sees the peak at its own offset; the shift correction must put the nine copies
// back onto one energy, so the sum is as narrow as channeltron 5 alone.
TEST_F(SimulatedCardTest, NarrowPeakStaysNarrowAfterShiftCorrection) {
    const double centre = 100, start = 95, ramp = 10, pass = 10;
    const int points = 201;
    card.setModel(SpectrumModel::lines({{centre, 2e5, 0.25}}));
    AnalyserRig rig(card, clock);
    rig.fields.passEnergyText = "10.0";
    rig.state.PassEnergy = pass;
    RunState& s = rig.state;
    for (int c = 1; c <= 9; ++c) {
        s.ChannelPosition[c] = defaultChannelFactors()[c - 1][6] * pass;
        s.ChannelShift[c] =
            static_cast<std::int32_t>(text::roundHalfEven((points - 1) * s.ChannelPosition[c] / ramp));
        s.MaxPositiveShift = std::max(s.MaxPositiveShift, s.ChannelShift[c]);
        s.MaxNegativeShift = std::max(s.MaxNegativeShift, -s.ChannelShift[c]);
    }
    ASSERT_GT(s.MaxPositiveShift, 15); // the channels really are spread over many points
    const int n = points + s.MaxPositiveShift + s.MaxNegativeShift;
    rig.data.assign(n + 1, {});

    rig.io.SetupTimer();
    rig.io.SetAnalyserModeBit(0);
    rig.io.SetRamp(ramp);
    rig.io.SetStartAndRange(start);
    rig.io.SetPassEnergyCode();
    rig.io.BeginMeasurement();
    ASSERT_DOUBLE_EQ(card.passEnergy(), pass);
    for (int i = 0; i < n; ++i) {
        double x = ramp / (points - 1) * (i - s.MaxPositiveShift) + start;
        rig.data[i + 1].enScan = x;
        rig.io.SetAnalyserPoint((x - start) / ramp);
        rig.io.ReadPoint(50, i + 1);
        for (int c = 1; c <= 9; ++c) {
            int j = i + 1 + s.ChannelShift[c];
            if (j > 0 && j < n + 1) rig.data[j].CoScan[0] += rig.data[i + 1].CoScan[c];
        }
    }

    std::vector<double> x, shifted, single, unshifted;
    for (const MeasurementRecord& r : std::span(rig.data).subspan(1)) {
        x.push_back(r.enScan);
        shifted.push_back(r.CoScan[0]);
        single.push_back(r.CoScan[5]);
        unshifted.push_back(std::accumulate(r.CoScan.begin() + 1, r.CoScan.begin() + 10, 0.0));
    }
    const double width5 = fwhm(x, single);
    EXPECT_NEAR(width5, 0.25, 0.05);
    EXPECT_LT(fwhm(x, shifted), 1.15 * width5);
    EXPECT_GT(fwhm(x, unshifted), 4 * width5); // what the run would see without the correction
    auto top = [&](const std::vector<double>& y) {
        return x[std::max_element(y.begin(), y.end()) - y.begin()];
    };
    EXPECT_NEAR(top(shifted), centre, 0.06);
}

TEST(SpectrumModelTest, TabulatedSpectrumInterpolatesAndRejectsBadLines) {
    std::istringstream good("# energy rate\r\n10 100\r\n\r\n20;300\n30\t0\n");
    std::string error;
    auto m = SpectrumModel::parse(good, &error);
    ASSERT_TRUE(m) << error;
    EXPECT_DOUBLE_EQ(m->rate(15), 200);
    EXPECT_DOUBLE_EQ(m->rate(25), 150);
    EXPECT_DOUBLE_EQ(m->rate(9.9) + m->rate(31), 0);

    for (const char* bad : {"10 100\n20 abc\n", "10 100\n20 5 7\n", "10 100\n5 3\n", "10 100\n20 -1\n",
                            "10 1\n", "1,5 3\n2 4\n"}) {
        std::istringstream in(bad);
        error.clear();
        EXPECT_FALSE(SpectrumModel::parse(in, &error)) << bad;
        EXPECT_FALSE(error.empty()) << bad;
    }
    std::istringstream in("10 100\n20 abc\n");
    SpectrumModel::parse(in, &error);
    EXPECT_NE(error.find("line 2"), std::string::npos);
    EXPECT_FALSE(SpectrumModel::load("/nonexistent/korvo/model.txt", &error));

    // The built-in spectrum shows its lines above the background and never goes negative.
    SpectrumModel s = SpectrumModel::standard();
    for (double line : {35.0, 84.0, 285.0, 531.0}) EXPECT_GT(s.rate(line), 1.5 * s.rate(line + 6)) << line;
    for (double e = 0; e <= 1600; e += 0.5) ASSERT_GE(s.rate(e), 0) << e;
}

TEST(PortBackendTest, FactoryMakesEachBackEndOrSaysWhyNot) {
    VirtualClock clock;
    std::string error;
    EXPECT_NE(dynamic_cast<SimulatedCard*>(makePortBackend("sim", clock, &error).get()), nullptr);
    EXPECT_EQ(makePortBackend("test", clock, &error)->PortRead(ports::Status), 0);
    EXPECT_FALSE(makePortBackend("serial", clock, &error));
    EXPECT_NE(error.find("serial"), std::string::npos);
    error.clear();
    EXPECT_FALSE(
        makePortBackend("sim", clock, &error, {.seed = 1, .spectrumFile = "/nonexistent/model.txt"}));
    EXPECT_FALSE(error.empty());
}

} // namespace
} // namespace korvo

#include "acquisition/analyser_io/port_backend.h"
#include "acquisition/analyser_io/simulated_card.h"
#include "rig.h"

#include <gtest/gtest.h>

#include <cmath>
#include <sstream>

namespace korvo {
namespace {

using testing::CardRig;

struct SimulatedCardTest : ::testing::Test {
    VirtualClock clock;
    SimulatedCard card{clock};
};

TEST_F(SimulatedCardTest, DecodesTimerDacAndControlRegisterAsTheRoutinesProgramThem) {
    CardRig rig(card, clock);
    rig.state.GateUnits = 7;
    rig.io.SetupTimer();
    EXPECT_EQ(card.gateLengthUs(), 70'000);

    for (double start : {100.0, 1000.0}) {
        rig.io.SetRamp(10);
        rig.io.SetStartAndRange(start);
        rig.io.SetPassEnergyCode(passEnergyCode("0.5"));
        rig.io.BeginMeasurement();
        rig.io.SetAnalyserPoint(0.5, 0);
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
    CardRig rig(card, clock);
    rig.io.SetupTimer();
    rig.io.SetRamp(0);
    rig.io.SetStartAndRange(1000);
    rig.io.SetPassEnergyCode(passEnergyCode("200"));
    rig.io.BeginMeasurement();
    rig.io.SetAnalyserPoint(0, 0);
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
        CardRig rig(card, clock);
        rig.io.SetupTimer();
        rig.io.SetRamp(5);
        rig.io.SetStartAndRange(82);
        std::vector<std::int32_t> totals;
        for (int i = 0; i < 5; ++i) {
            rig.io.SetAnalyserPoint(i / 4.0, 0);
            totals.push_back(rig.io.ReadPoint(20, 1));
        }
        return totals;
    };
    EXPECT_EQ(run(7), run(7));
    EXPECT_NE(run(7), run(8));
}

// Counts the status polls a routine makes through to the card.
class PollCounter final : public PortIo {
public:
    explicit PollCounter(PortIo& card) : card_(card) {}
    long statusReads = 0;
    void PortWrite(std::uint16_t port, std::uint8_t v) override { card_.PortWrite(port, v); }
    std::uint8_t PortRead(std::uint16_t port) override {
        statusReads += port == ports::Status;
        return card_.PortRead(port);
    }

private:
    PortIo& card_;
};

TEST_F(SimulatedCardTest, LongPointsKeepTheWindowAliveWithoutSpinningOnTheStatusPort) {
    // Five gates of 650 ms: the window is served at least every 20 ms of the point, and the status
    // port is read a few dozen times per gate, not as fast as the bus allows.
    PollCounter port(card);
    CardRig rig(port, clock);
    rig.state.GateUnits = 65;
    rig.io.SetupTimer();
    std::vector<std::int64_t> pumpedAtUs;
    rig.pump.always([&] { pumpedAtUs.push_back(clock.nowUs()); });
    const std::int64_t start = clock.nowUs();
    rig.io.ReadPoint(3250, 1);
    const std::int64_t end = clock.nowUs();
    EXPECT_EQ(card.gatesStarted(), 5);
    EXPECT_EQ(end - start, 3'250'000); // each gate's end is seen by the poll at that instant
    pumpedAtUs.insert(pumpedAtUs.begin(), start);
    for (std::size_t k = 1; k < pumpedAtUs.size(); ++k)
        EXPECT_LE(pumpedAtUs[k] - pumpedAtUs[k - 1], 20'000) << "pump " << k;
    // ... and not more often: serving the window costs time too. The waits sleep until it is due.
    for (std::size_t k = 2; k + 1 < pumpedAtUs.size(); ++k)
        EXPECT_EQ(pumpedAtUs[k] - pumpedAtUs[k - 1], 20'000) << "pump " << k;
    // 55 polls a gate: one after each 20 ms slice, then every 50 us through the last millisecond.
    EXPECT_EQ(port.statusReads, 5 * 55);
    EXPECT_GT(rig.data[1].CoScan[5], 0); // counted, not cut short
    EXPECT_TRUE(rig.io.lastPointComplete());
}

TEST_F(SimulatedCardTest, MisbehavingCardsAreCaughtByTheRoutines) {
    CardRig rig(card, clock);
    card.setFault(SimulatedCard::Fault::NoCard);
    EXPECT_FALSE(rig.io.startUp(true));
    EXPECT_TRUE(rig.ctx.options.testWithoutAnalyser);
    card.setFault(SimulatedCard::Fault::None);
    rig.ctx.options = {};
    // After power-on the timer holds no gate length: a card tested before it is programmed stays
    // silent, so the start-up programs it first.
    EXPECT_FALSE(rig.io.presenceTest(true));
    rig.ctx.options = {};
    EXPECT_TRUE(rig.io.startUp(true));
    EXPECT_FALSE(rig.ctx.options.testWithoutAnalyser);
    EXPECT_EQ(card.gateLengthUs(), 10'000);

    card.setFault(SimulatedCard::Fault::CounterStuck);
    EXPECT_EQ(rig.io.ReadPoint(30, 1), 9 * 3 * 65535);

    card.setFault(SimulatedCard::Fault::GateNeverEnds);
    const std::int64_t gatesBefore = card.gatesStarted();
    EXPECT_EQ(rig.io.ReadPoint(500, 1), 0);
    EXPECT_EQ(rig.ctx.values.StopRequest, 1);
    EXPECT_EQ(card.gatesStarted(), gatesBefore + 1); // the stuck gate is the only one of this point
    EXPECT_FALSE(rig.io.presenceTest(true));         // the gate rises but never falls
    EXPECT_FALSE(rig.ctx.options.testSwitchEnabled);
}

TEST(SpectrumModelTest, TabulatedSpectrumInterpolatesAndRejectsBadLines) {
    std::istringstream good("# energy rate\r\n10 100\r\n\r\n20;300\n30\t0\n");
    std::string error;
    auto m = SpectrumModel::parse(good, &error);
    ASSERT_TRUE(m) << error;
    EXPECT_DOUBLE_EQ(m->rate(15), 200);
    EXPECT_DOUBLE_EQ(m->rate(25), 150);
    EXPECT_DOUBLE_EQ(m->rate(9.9) + m->rate(31), 0);

    for (const char* bad : {"10 100\n20 5 7\n", "10 100\n5 3\n", "10 100\n20 -1\n", "10 1\n", "1,5 3\n2 4\n",
                            "10 100\n20 abc\n"}) {
        std::istringstream in(bad);
        error.clear();
        EXPECT_FALSE(SpectrumModel::parse(in, &error) || error.empty()) << bad;
    }
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
    error.clear();
    EXPECT_FALSE(
        makePortBackend("sim", clock, &error, {.seed = 1, .spectrumFile = "/nonexistent/model.txt"}));
    EXPECT_FALSE(error.empty());
}

} // namespace
} // namespace korvo

#include "support/temp_dir.h"

#include <cstdio>
#include <sys/stat.h>
#include <unistd.h>

namespace korvo {
namespace {

// --sim-model names a file at the start of a run: a device, a pipe without a writer, a directory or
// a huge file must give a message at once, never fill the memory or hang the start.
TEST(SpectrumModelTest, ModelFilesAreRegularFilesOfBoundedSize) {
    korvo::testing::TempDir dir;
    const std::string big = dir.file("big.txt"), fifo = dir.file("fifo"), link = dir.file("zero");
    {
        std::string lines; // a valid model, only too long
        for (int i = 0; lines.size() <= SpectrumModel::kMaxFileBytes; ++i)
            lines += std::to_string(i) + " 1\n";
        std::FILE* f = std::fopen(big.c_str(), "wb");
        ASSERT_TRUE(f && std::fwrite(lines.data(), 1, lines.size(), f) == lines.size());
        std::fclose(f);
    }
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    ASSERT_EQ(::symlink("/dev/zero", link.c_str()), 0);
    struct Case {
        std::string path, reason;
    };
    for (const Case& c : {Case{big, "the file is too large"}, Case{dir.path.string(), "not a regular file"},
                          Case{fifo, "not a regular file"}, Case{link, "not a regular file"},
                          Case{"/dev/zero", "not a regular file"}}) {
        std::string error;
        ASSERT_FALSE(SpectrumModel::load(c.path, &error)) << c.path;
        ASSERT_NE(error.find("\"" + c.path + "\": " + c.reason), std::string::npos) << error;
    }
    std::istringstream endless(std::string(SpectrumModel::kMaxFileBytes + 1, '\n'));
    std::string error;
    EXPECT_FALSE(SpectrumModel::parse(endless, &error));
    EXPECT_NE(error.find("larger than 8 MB"), std::string::npos) << error;

    // korvo-cli measure reports the back end's message and exits with status 2.
    VirtualClock clock;
    error.clear();
    EXPECT_FALSE(makePortBackend("sim", clock, &error, {.seed = 1, .spectrumFile = fifo}));
    EXPECT_NE(error.find(fifo), std::string::npos) << error;
}

} // namespace
} // namespace korvo

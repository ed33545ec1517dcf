#include "acquisition/analyser_io/analyser_io.h"
#include "acquisition/analyser_io/recording_port.h"
#include "analyser_rig.h"

#include <gtest/gtest.h>

#include <numeric>

namespace korvo {
namespace {

using testing::AnalyserRig;
using Access = RecordingPort::Access;

struct CardIo : ::testing::Test {
    RecordingPort port;
    AnalyserRig rig{port};
    AnalyserIo& io = rig.io;

    void selectRange(double start, double ramp) {
        io.SetRamp(ramp);
        io.SetStartAndRange(start);
    }
    // Queues one complete gate: the status bit rises and falls, and the counters present `perChannel`
    // (value of channeltron c) in the card's read-out order.
    void queueGate(const std::array<std::uint16_t, 10>& perChannel) {
        port.queueReads(ports::Status, {0x80, 0x00});
        for (int c : {9, 5, 7, 6, 3, 8, 2, 4, 1}) {
            port.queueReads(ports::CounterLow, {static_cast<std::uint8_t>(perChannel[c] & 0xFF)});
            port.queueReads(ports::CounterHigh, {static_cast<std::uint8_t>(perChannel[c] >> 8)});
        }
    }
    static std::array<std::uint16_t, 10> channelNumbers() {
        std::array<std::uint16_t, 10> v{};
        std::iota(v.begin(), v.end(), 0);
        return v;
    }
};

TEST_F(CardIo, DacWordRoundsHalfToEvenClampsAndGoesOutLowByteFirst) {
    selectRange(819.2, 500); // Emax 1319.2: range 1638.4, f = 0.5 exactly
    ASSERT_DOUBLE_EQ(rig.state.FullScale, 1638.4);
    port.log.clear();
    io.SetAnalyserPoint(0);
    EXPECT_EQ(io.lastWord(), 32768); // 32767.5 rounds to even
    EXPECT_EQ(port.log, (std::vector<Access>{{true, ports::DacLow, 0x00}, {true, ports::DacHigh, 0x80}}));

    io.SetAnalyserPoint(10); // 5819.2 eV is beyond the range
    EXPECT_EQ(io.lastWord(), 65535);
    selectRange(-50, 500);
    io.SetAnalyserPoint(0);
    EXPECT_EQ(io.lastWord(), 0);

    rig.ctx.options.testWithoutAnalyser = true;
    port.log.clear();
    selectRange(819.2, 500);
    io.SetAnalyserPoint(0);
    EXPECT_EQ(io.lastWord(), 32768);
    EXPECT_TRUE(port.log.empty());
}

TEST_F(CardIo, EnergyRangeIsTheSmallestWhoseSwitchingPointIsNotBelowEmax) {
    struct Case {
        double emax;
        double fullScale;
        std::uint8_t bits;
        const char* text;
    };
    std::string shown;
    io.hooks.rangeText = [&](const std::string& t) { shown = t; };
    for (Case c : {Case{80, 81.92, 0x20, "Xmax = 81.92 eV"}, Case{80.01, 163.84, 0x00, "Xmax = 163.84 eV"},
                   Case{140, 163.84, 0x00, "Xmax = 163.84 eV"}, Case{1600, 1638.4, 0x30, "Xmax = 1638.4 eV"},
                   Case{3276.8, 3276.8, 0x10, "Xmax = 3276.8 eV"}}) {
        selectRange(c.emax - 20, 20);
        EXPECT_DOUBLE_EQ(rig.state.FullScale, c.fullScale) << c.emax;
        EXPECT_DOUBLE_EQ(rig.state.SmallestStep, c.fullScale / 65536) << c.emax;
        EXPECT_EQ(io.ControlByte() & 0x30, c.bits) << c.emax;
        EXPECT_EQ(shown, c.text);
    }

    selectRange(60, 20); // 81.92
    selectRange(3256.9, 20);
    EXPECT_DOUBLE_EQ(rig.state.FullScale, 81.92);
    EXPECT_EQ(io.ControlByte() & 0x30, 0x20);
    EXPECT_TRUE(rig.dialogs.saw("Maximum energy (3276.8 eV) exceeded !?"));

    // The user's switching points count; one that does not read as a number keeps its usual limit.
    rig.ctx.options.switchPoint2 = "200";
    rig.ctx.options.switchPoint1 = "eighty";
    selectRange(180, 10);
    EXPECT_DOUBLE_EQ(rig.state.FullScale, 163.84);
    selectRange(70, 9);
    EXPECT_DOUBLE_EQ(rig.state.FullScale, 81.92);

    rig.state.MachineMode = ModeKeithley; // stores the start only
    selectRange(1000, 10);
    EXPECT_DOUBLE_EQ(io.storedStart(), 1000);
    EXPECT_DOUBLE_EQ(rig.state.FullScale, 81.92);
}

TEST_F(CardIo, ControlRegisterBitsAreSetIndependentlyAndWrittenAtTheStart) {
    io.SetAnalyserModeBit(1);
    for (const char* text : {"2", "0.1"}) {
        rig.fields.passEnergyText = text;
        io.SetPassEnergyCode();
        EXPECT_EQ(io.ControlByte() & 0x0E, 0x02) << text;
    }
    rig.fields.passEnergyText = "200";
    io.SetPassEnergyCode();
    EXPECT_EQ(io.ControlByte() & 0x0E, 12);
    rig.fields.passEnergyText = "7";
    io.SetPassEnergyCode();
    EXPECT_EQ(io.ControlByte() & 0x0E, 0);
    selectRange(1000, 100);
    EXPECT_EQ(io.ControlByte(), 0x31); // range code and mode bit survived the pass-energy change

    int history = 0;
    io.hooks.historyEntry = [&] { ++history; };
    port.log.clear();
    io.BeginMeasurement();
    EXPECT_EQ(history, 1);
    EXPECT_EQ(io.ControlByte(), 0x71);
    EXPECT_EQ(port.writesTo(ports::Control), std::vector<std::uint8_t>{0x71});
    EXPECT_EQ(rig.links.lamps, std::vector<std::uint8_t>{0x71});
}

TEST_F(CardIo, TimerGetsTheGateLengthAndRefusesWhatItsCounterCannotHold) {
    rig.fields.gateUnits = "65";
    io.SetupTimer();
    EXPECT_EQ(port.log, (std::vector<Access>{{true, ports::TimerControl, 0xB2},
                                             {true, ports::Timer2, 40},
                                             {true, ports::Timer2, 0},
                                             {true, ports::TimerControl, 0x36},
                                             {true, ports::Timer0, 40},
                                             {true, ports::Timer0, 0},
                                             {true, ports::TimerControl, 0x72},
                                             {true, ports::Timer1, 0xE8}, // 65000 = 0xFDE8
                                             {true, ports::Timer1, 0xFD}}));
    EXPECT_EQ(rig.state.GateUnits, 65);

    for (const char* bad : {"0", "66", "1000", "abc", "1.5", ""}) {
        port.log.clear();
        rig.dialogs.clear();
        rig.ctx.values.StopRequest = 0;
        rig.fields.gateUnits = bad;
        io.SetupTimer();
        EXPECT_TRUE(port.log.empty()) << bad;
        EXPECT_EQ(rig.ctx.values.StopRequest, 1) << bad;
        ASSERT_EQ(rig.dialogs.shown.size(), 1u) << bad;
        EXPECT_NE(rig.dialogs.shown[0].text.find("1 to 65"), std::string::npos);
    }

    rig.ctx.values.StopRequest = 0;
    rig.fields.gateUnits = "2";
    rig.ctx.options.testWithoutAnalyser = true;
    port.log.clear();
    io.SetupTimer();
    EXPECT_TRUE(port.log.empty());
    EXPECT_EQ(rig.state.GateUnits, 2);
}

TEST_F(CardIo, WhileStopRequestedOnlyPhotonStepAndCountingAct) {
    selectRange(10, 20);
    rig.ctx.values.StopRequest = 1;
    rig.fields.gateUnits = "3";
    rig.fields.passEnergyText = "0.1";
    int history = 0, photonMoves = 0;
    io.hooks.historyEntry = [&] { ++history; };
    io.hooks.photonEnergyCommand = [&] { ++photonMoves; };
    port.log.clear();

    io.SetupTimer();
    io.SetRamp(99);
    io.SetStartAndRange(50);
    io.SetPassEnergyCode();
    io.SetAnalyserModeBit(1);
    io.BeginMeasurement();
    EXPECT_TRUE(port.log.empty());
    EXPECT_EQ(rig.state.GateUnits, 1);
    EXPECT_DOUBLE_EQ(io.storedRamp(), 20);
    EXPECT_DOUBLE_EQ(io.storedStart(), 10);
    EXPECT_EQ(io.ControlByte(), 0x20);
    EXPECT_EQ(history, 0);

    rig.state.MachineMode = ModeCis;
    rig.fields.kindOfMeasure = 1;
    rig.state.PhotonStart = 100;
    io.SetAnalyserPoint(0.25);
    EXPECT_EQ(rig.fields.photon, "105.000");
    EXPECT_EQ(photonMoves, 1);
    EXPECT_TRUE(port.writesTo(ports::DacLow).empty());

    io.ReadPoint(10, 1); // counting itself does not look at the flag
    EXPECT_EQ(port.writesTo(ports::Strobe).size(), 2u + 18u);
}

TEST_F(CardIo, FiftyGatesAreReadInTheCardsCounterOrder) {
    rig.fields.gateUnits = "1";
    io.SetupTimer();
    for (int g = 0; g < 50; ++g) queueGate(channelNumbers());
    port.log.clear();
    rig.state.ChannelEnabled[3] = 0;

    std::int32_t total = io.ReadPoint(500, 1);

    const auto& r = rig.data[1].CoScan;
    for (int c = 1; c <= 9; ++c) EXPECT_DOUBLE_EQ(r[c], c == 3 ? 0 : 50.0 * c) << c;
    EXPECT_EQ(total, 50 * (45 - 3));
    EXPECT_EQ(port.writesTo(ports::Strobe).size(), 50u * (2 + 18));
    // One gate: start strobe, status polls, then low, high and next-counter strobe per channel.
    std::vector<std::uint16_t> gate{ports::Strobe, ports::Strobe};
    for (int k = 0; k < 9; ++k)
        gate.insert(gate.end(), {ports::CounterLow, ports::CounterHigh, ports::Strobe, ports::Strobe});
    auto seq = port.portSequence(ports::Status);
    ASSERT_EQ(seq.size(), 50 * gate.size());
    EXPECT_TRUE(std::equal(gate.begin(), gate.end(), seq.begin()));
    EXPECT_GE(rig.pump.calls(), 1);
}

TEST_F(CardIo, AGateThatNeverEndsStopsTheRunAndKeepsWhatWasCounted) {
    rig.fields.gateUnits = "2";
    io.SetupTimer();
    queueGate(channelNumbers());
    port.setDefault(ports::Status, 0x80); // the second gate hangs
    const std::int64_t before = rig.clock.nowMs();

    std::int32_t total = io.ReadPoint(400, 1);

    EXPECT_EQ(total, 45);
    EXPECT_DOUBLE_EQ(rig.data[1].CoScan[9], 9);
    EXPECT_EQ(rig.ctx.values.StopRequest, 1);
    ASSERT_EQ(rig.dialogs.shown.size(), 1u);
    EXPECT_EQ(rig.dialogs.shown[0].caption, "Korvo 02");
    EXPECT_EQ(rig.dialogs.shown[0].icon, DialogIcon::Error);
    EXPECT_NE(rig.dialogs.shown[0].text.find("did not end its counting gate"), std::string::npos);
    // Ten gate lengths of 20 ms, not the eighteen remaining gates.
    EXPECT_GE(rig.clock.nowMs() - before, 200);
    EXPECT_LT(rig.clock.nowMs() - before, 260);
}

TEST_F(CardIo, PresenceTestNeedsBothEdgesOfTheGate) {
    EXPECT_TRUE((port.queueReads(ports::Status, {0, 0x80, 0x80, 0}), io.presenceTest(true)));
    EXPECT_FALSE(rig.ctx.options.testWithoutAnalyser);
    EXPECT_TRUE(rig.ctx.options.testSwitchEnabled);

    for (std::uint8_t stuck : {0x00, 0x80}) {
        rig.ctx.options = {};
        port.setDefault(ports::Status, stuck);
        EXPECT_FALSE(io.presenceTest(true)) << int(stuck);
        EXPECT_TRUE(rig.ctx.options.testWithoutAnalyser);
        EXPECT_FALSE(rig.ctx.options.testSwitchEnabled);
    }

    rig.ctx.options = {};
    port.log.clear();
    EXPECT_FALSE(io.presenceTest(false));
    EXPECT_TRUE(port.log.empty());
    EXPECT_TRUE(rig.ctx.options.testWithoutAnalyser);
}

TEST_F(CardIo, TestModeCountsASineOfTheTickInTenMillisecondChunks) {
    rig.ctx.options.testWithoutAnalyser = true;
    rig.clock.advanceMs(500); // channel 5 sits at the sine's zero crossing
    std::int32_t total = io.ReadPoint(30, 2);
    const auto& r = rig.data[2].CoScan;
    EXPECT_DOUBLE_EQ(r[5], 3 * 500);
    EXPECT_DOUBLE_EQ(r[4], 3 * 549); // 500 sin(0.1) + 500 = 549.9
    EXPECT_DOUBLE_EQ(r[6], 3 * 450); // 500 sin(-0.1) + 500 = 450.08
    EXPECT_EQ(total, std::accumulate(r.begin() + 1, r.begin() + 10, 0.0));
    EXPECT_EQ(rig.clock.nowMs(), 530); // then waits the dwell time
    EXPECT_TRUE(port.log.empty());

    rig.ctx.options.ringCurrentOverwrite = true;
    rig.ctx.values.RingCurrent = 123.6;
    total = io.ReadPoint(10, 2);
    EXPECT_EQ(total, 124);
    EXPECT_DOUBLE_EQ(r[5], 123.6);
    EXPECT_DOUBLE_EQ(r[4] + r[6] + r[1] + r[9], 0);

    rig.ctx.values.StopRequest = 1;
    const std::int64_t before = rig.clock.nowMs();
    EXPECT_EQ(io.ReadPoint(500, 2), 0);
    EXPECT_DOUBLE_EQ(r[5], 0);
    EXPECT_EQ(rig.clock.nowMs(), before);
}

TEST_F(CardIo, ElectrometerReplacesTheCountersOrIsAddedToThem) {
    rig.links.kei1 = 12.5;
    rig.links.kei2 = -3.25;
    rig.state.runStartTick = 100;
    rig.clock.advanceMs(350);
    auto& r = rig.data[1].CoScan;
    r.fill(7);

    rig.ctx.options.electrometerOverride = true;
    EXPECT_EQ(io.ReadPoint(200, 1), 12); // 12.5 rounds to even
    EXPECT_DOUBLE_EQ(r[0], 12.5);
    EXPECT_DOUBLE_EQ(r[1], 250);
    for (int k = 2; k <= 11; ++k) EXPECT_DOUBLE_EQ(r[k], 0) << k;
    EXPECT_EQ(rig.clock.nowMs(), 550);
    EXPECT_TRUE(port.log.empty());

    rig.ctx.options.electrometerOverride = false;
    rig.state.MachineMode = ModeKeithley;
    rig.links.kei1 = 13.5;
    EXPECT_EQ(io.ReadPoint(100, 1), 14);
    EXPECT_DOUBLE_EQ(r[1], 450);
    EXPECT_EQ(rig.links.kei2Reads, 0);

    rig.state.MachineMode = ModeClam;
    rig.ctx.options.testWithoutAnalyser = true;
    rig.ctx.options.addKeithley1 = rig.ctx.options.addKeithley2 = true;
    io.ReadPoint(10, 1);
    EXPECT_DOUBLE_EQ(r[10], 13.5);
    EXPECT_DOUBLE_EQ(r[11], -3.25);
    EXPECT_GT(r[5], 0);
}

TEST_F(CardIo, ReadoutsFollowTheDacWordAndPassEnergy) {
    std::string energy, monitor;
    io.hooks.energyLabel = [&](const std::string& t) { energy = t; };
    io.hooks.monitorLabel = [&](const std::string& t) { monitor = t; };
    rig.state.PassEnergy = 10;
    rig.ctx.options.lensIndex = 3;
    selectRange(100, 10);   // 163.84
    io.SetAnalyserPoint(0); // word 39999, E = 99.99903 eV
    EXPECT_EQ(energy, "Energy (eV) : 99.999");
    EXPECT_EQ(monitor, "2004.4 V"); // 20.000883 E + 4.3 below 200 eV full scale
    ASSERT_TRUE(rig.links.readouts);
    const AnalyserReadouts& r = *rig.links.readouts;
    EXPECT_EQ(r.monitor, monitor);
    EXPECT_EQ(r.voltage, "Voltage (0..10V) ( x ) :6.103 V");
    EXPECT_EQ(r.inner, "&Inner Hemisphere : - 80.3 V");
    EXPECT_EQ(r.retard, "&Retard : - 83.7 V");
    EXPECT_EQ(r.lens1, "&Lens 1 : + 0 V");
    EXPECT_EQ(r.lens2, "&Lens 2 : + 311 V");

    rig.ctx.options.lensIndex = -1;
    io.SetAnalyserPoint(0);
    EXPECT_TRUE(rig.links.readouts->lens3.empty());
    EXPECT_EQ(computeReadouts(1638.4, 32768, 0, -1).monitor, "823.9 V");
}

} // namespace
} // namespace korvo

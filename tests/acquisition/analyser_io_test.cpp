#include "acquisition/analyser_io/analyser_io.h"
#include "acquisition/analyser_io/recording_port.h"
#include "rig.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <numeric>
#include <tuple>

namespace korvo {
namespace {

using Access = RecordingPort::Access;

struct CardIo : ::testing::Test {
    RecordingPort port;
    testing::CardRig rig{port};
    AnalyserIo& io = rig.io;

    void selectRange(double start, double ramp) {
        io.SetRamp(ramp);
        io.SetStartAndRange(start);
    }
    // One complete gate: the status bit rises and falls, then the counters present channeltron c's
    // count c + 256 x high in the card's wiring order.
    void queueGate(std::uint8_t high = 0) {
        port.queueReads(ports::Status, {0x80, 0x00});
        for (std::uint8_t c : {9, 5, 7, 6, 3, 8, 2, 4, 1}) {
            port.queueReads(ports::CounterLow, {c});
            port.queueReads(ports::CounterHigh, {high});
        }
    }
};

TEST_F(CardIo, DacWordRoundsHalfToEvenClampsAndGoesOutLowByteFirst) {
    selectRange(819.2, 500); // Emax 1319.2: range 1638.4, f = 0.5 exactly
    ASSERT_DOUBLE_EQ(rig.state.FullScale, 1638.4);
    port.log.clear();
    io.SetAnalyserPoint(0, 0);
    EXPECT_EQ(io.lastWord(), 32768); // 32767.5 rounds to even
    EXPECT_EQ(port.log, (std::vector<Access>{{true, ports::DacLow, 0x00}, {true, ports::DacHigh, 0x80}}));
    io.SetAnalyserPoint(10, 0); // 5819.2 eV is beyond the range
    EXPECT_EQ(io.lastWord(), 65535);
    io.SetAnalyserPoint(3.2768, 0); // 1.5 x full scale
    EXPECT_EQ(io.lastWord(), 65535);
    EXPECT_EQ(port.writesTo(ports::DacLow).back(), 0xFF);
    rig.state.MachineMode = ModeCfs;
    io.SetAnalyserPoint(0, -10); // below zero
    EXPECT_EQ(io.lastWord(), 0);
}

// The reference channeltron, not channeltron 5, sits at the nominal energy: the word carries the
// offset of channeltron 5 from it. CLAM scans from the stored start, CIS from the start field, CFS
// stays at the start field.
TEST_F(CardIo, DacWordPerModeCarriesTheReferenceChanneltronsOffset) {
    selectRange(819.2, 500); // 1638.4
    for (int c = 1; c <= 9; ++c) rig.state.ChannelPosition[c] = 0.1 * c;
    rig.state.ReferenceChannel = 3; // offset 0.5 - 0.3 eV
    std::string energy, monitor;
    io.hooks.energyLabel = [&](const std::string& t) { energy = t; };
    io.hooks.monitorLabel = [&](const std::string& t) { monitor = t; };
    struct Case {
        std::uint8_t mode;
        double startField;
        std::uint16_t word; // round(E / 1638.4 x 65535)
    };
    for (const Case c : {Case{ModeClam, 5, 42775},   // 819.2 + 250 + 0.2
                         Case{ModeCis, 100, 14008},  // 100 + 250 + 0.2
                         Case{ModeCfs, 700, 28008}}) { // 700 + 0.2
        rig.state.MachineMode = c.mode;
        port.log.clear();
        io.SetAnalyserPoint(0.5, c.startField);
        EXPECT_EQ(io.lastWord(), c.word) << int(c.mode);
        EXPECT_EQ(port.log, (std::vector<Access>{{true, ports::DacLow, std::uint8_t(c.word & 0xFF)},
                                                 {true, ports::DacHigh, std::uint8_t(c.word >> 8)}}));
    }
    EXPECT_EQ(energy, "Energy (eV) : 700.211"); // the energy of the word, 28008 x 1638.4 / 65535
    EXPECT_EQ(monitor, "704.9 V");
    // Keithley runs and "Test (without Analysator)" leave the DAC alone, Keithley runs the range too.
    rig.state.MachineMode = ModeKeithley;
    io.SetAnalyserPoint(0.5, 100);
    EXPECT_EQ(io.lastWord(), 28008);
    selectRange(10, 20);
    EXPECT_DOUBLE_EQ(rig.state.FullScale, 1638.4);
    rig.state.MachineMode = ModeClam;
    selectRange(819.2, 500);
    rig.ctx.options.testWithoutAnalyser = true;
    port.log.clear();
    io.SetAnalyserPoint(0.5, 5);
    io.BeginMeasurement();
    io.SetupTimer();
    EXPECT_EQ(io.lastWord(), 42775);
    EXPECT_TRUE(port.log.empty());
}

TEST_F(CardIo, EnergyRangeIsTheSmallestWhoseSwitchingPointIsNotBelowEmax) {
    struct Case {
        double emax, fullScale;
        int bits;
        const char* text;
    };
    std::string shown;
    io.hooks.rangeText = [&](const std::string& t) { shown = t; };
    // The range bits change alone: mode bit and pass-energy code stay.
    io.SetAnalyserModeBit(1);
    io.SetPassEnergyCode(0x0E);
    for (Case c :
         {Case{80, 81.92, 0x20, "Xmax = 81.92 eV"}, Case{80.01, 163.84, 0x00, "Xmax = 163.84 eV"},
          Case{140, 163.84, 0x00, "Xmax = 163.84 eV"}, Case{140.01, 1638.4, 0x30, "Xmax = 1638.4 eV"},
          Case{1600, 1638.4, 0x30, "Xmax = 1638.4 eV"}, Case{1600.01, 3276.8, 0x10, "Xmax = 3276.8 eV"},
          Case{3276.8, 3276.8, 0x10, "Xmax = 3276.8 eV"}}) {
        selectRange(c.emax - 20, 20);
        EXPECT_DOUBLE_EQ(rig.state.FullScale, c.fullScale) << c.emax;
        EXPECT_DOUBLE_EQ(rig.state.SmallestStep, c.fullScale / 65536) << c.emax;
        EXPECT_EQ(io.ControlByte(), c.bits | 0x0F) << c.emax;
        EXPECT_EQ(shown, c.text);
    }
    EXPECT_TRUE(rig.dialogs.shown.empty()); // 3276.8 itself is no excess
    selectRange(60, 20);
    selectRange(3256.9, 20); // beyond every range: the previous one stays
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
    // Unreadable switching points keep the factory limits exactly: 80, 140 and 1600 eV.
    rig.ctx.options.switchPoint2 = "?";
    rig.ctx.options.switchPoint3 = "";
    for (auto [emax, fullScale] : {std::pair{80.0, 81.92}, {80.5, 163.84}, {140.0, 163.84}, {140.5, 1638.4},
                                   {1600.0, 1638.4}, {1600.5, 3276.8}}) {
        selectRange(emax - 10, 10);
        EXPECT_DOUBLE_EQ(rig.state.FullScale, fullScale) << emax;
    }
}

TEST_F(CardIo, ControlRegisterBitsAreSetIndependentlyAndWrittenAtTheStart) {
    io.SetAnalyserModeBit(1);
    // Every entry of the pass-energy list, in either of its units, and texts that are none.
    for (auto [text, bits] : {std::pair{"0.1", 2}, {"2", 2}, {"0.25", 6}, {"5", 6}, {"0.5", 10}, {"10", 10},
                              {"1.0", 14}, {"20", 14}, {"2.5", 4}, {"50", 4}, {"5.0", 8}, {"100", 8},
                              {"10.0", 12}, {"200", 12}, {"7", 0}, {"", 0}, {"0.10", 0}, {"20 ", 0}}) {
        EXPECT_EQ(passEnergyCode(text), bits) << text;
        io.SetPassEnergyCode(passEnergyCode(text));
        EXPECT_EQ(io.ControlByte(), bits | 1) << text;
    }
    // Each setter keeps to its own bits, whatever it is given.
    io.SetAnalyserModeBit(0);
    io.SetPassEnergyCode(0xFF);
    EXPECT_EQ(io.ControlByte(), 0x0E);
    io.SetAnalyserModeBit(3); // only bit 0 counts
    EXPECT_EQ(io.ControlByte(), 0x0F);
    io.SetAnalyserModeBit(2);
    EXPECT_EQ(io.ControlByte(), 0x0E);
    io.SetAnalyserModeBit(1);
    io.SetPassEnergyCode(0);
    EXPECT_EQ(io.ControlByte(), 0x01);
    selectRange(1000, 100);
    int history = 0;
    io.hooks.historyEntry = [&] { ++history; };
    port.log.clear();
    io.BeginMeasurement();
    EXPECT_EQ(history, 1);
    EXPECT_EQ(port.writesTo(ports::Control), std::vector<std::uint8_t>{0x71}); // bit 6, range, mode bit
    EXPECT_EQ(rig.links.lamps, std::vector<std::uint8_t>{0x71});
}

TEST_F(CardIo, TimerGetsTheGateLength) {
    rig.state.GateUnits = 65;
    io.SetupTimer();
    std::vector<int> writes;
    for (const Access& a : port.log) writes.push_back(a.port << 8 | a.value);
    EXPECT_EQ(writes, (std::vector<int>{0x523B2, 0x52228, 0x52200, 0x52336, 0x52028, 0x52000, 0x52372,
                                        0x521E8, 0x521FD})); // 40, 40 and 65000
    // Gate units outside 1..65 are clamped: 1000 and 65000 counts.
    for (auto [units, low, high] : {std::tuple{0, 0xE8, 0x03}, {1, 0xE8, 0x03}, {66, 0xE8, 0xFD}}) {
        rig.state.GateUnits = units;
        port.log.clear();
        io.startUp(false); // no port access: nothing programmed, no card
        EXPECT_TRUE(port.log.empty());
        EXPECT_TRUE(rig.ctx.options.testWithoutAnalyser);
        rig.ctx.options.testWithoutAnalyser = false;
        io.SetupTimer();
        EXPECT_EQ(port.writesTo(ports::Timer1), (std::vector<std::uint8_t>{std::uint8_t(low), std::uint8_t(high)}))
            << units;
    }
}

TEST_F(CardIo, WhileStopRequestedOnlyCountingActs) {
    selectRange(10, 20);
    rig.ctx.values.StopRequest = 1;
    rig.state.GateUnits = 3;
    int history = 0;
    io.hooks.historyEntry = [&] { ++history; };
    port.log.clear();
    io.SetupTimer();
    io.SetRamp(99);
    io.SetStartAndRange(50);
    io.SetPassEnergyCode(passEnergyCode("0.1"));
    io.SetAnalyserModeBit(1);
    io.BeginMeasurement();
    EXPECT_TRUE(port.log.empty());
    EXPECT_DOUBLE_EQ(io.storedStart() + io.storedRamp(), 30);
    EXPECT_EQ(io.ControlByte() + history, 0x20);

    rig.state.MachineMode = ModeCis;
    io.SetAnalyserPoint(0.25, 20);
    EXPECT_TRUE(port.writesTo(ports::DacLow).empty());
    io.ReadPoint(30, 1); // counting itself does not look at the flag: one gate of 30 ms
    EXPECT_EQ(port.writesTo(ports::Strobe).size(), 2u + 18u);
    EXPECT_TRUE(io.lastPointComplete()); // the flag was set before the point, not during it

    // A Keithley add-on reading that fails during the point stops the run and leaves the point
    // incomplete, although the card counted its gate.
    UnconnectedElectrometer noKeithley(rig.ctx.instruments());
    rig.station.devices.electrometer1 = &noKeithley;
    rig.ctx.options.addKeithley1 = true;
    rig.ctx.values.StopRequest = 0;
    io.ReadPoint(30, 1);
    EXPECT_EQ(rig.ctx.values.StopRequest, 1);
    EXPECT_EQ(port.writesTo(ports::Strobe).size(), 2 * (2u + 18u));
    EXPECT_FALSE(io.lastPointComplete());
}

TEST_F(CardIo, FiftyGatesAreReadInTheCardsCounterOrder) {
    io.SetupTimer(); // one gate unit
    // Every other gate counts 256 more per channel: the high byte.
    for (int g = 0; g < 50; ++g) queueGate(g % 2);
    port.log.clear();
    rig.state.ChannelEnabled[3] = 0;
    EXPECT_EQ(io.ReadPoint(500, 1), 50 * (45 - 3) + 8 * 25 * 256);
    for (int c = 1; c <= 9; ++c)
        EXPECT_DOUBLE_EQ(rig.data[1].CoScan[c], c == 3 ? 0 : 50.0 * c + 25 * 256) << c;
    // Per gate: start strobe, then low byte, high byte and next-counter strobe for each channel.
    std::vector<std::uint16_t> gate{ports::Strobe, ports::Strobe};
    for (int k = 0; k < 9; ++k)
        gate.insert(gate.end(), {ports::CounterLow, ports::CounterHigh, ports::Strobe, ports::Strobe});
    auto seq = port.portSequence(ports::Status);
    ASSERT_EQ(seq.size(), 50 * gate.size());
    EXPECT_TRUE(std::equal(gate.begin(), gate.end(), seq.begin()));
    // The start strobe is 2 then 0, each next-counter strobe 1 then 0.
    std::vector<std::uint8_t> strobes{2, 0};
    for (int k = 0; k < 9; ++k) strobes.insert(strobes.end(), {1, 0});
    const auto written = port.writesTo(ports::Strobe);
    ASSERT_EQ(written.size(), 50 * strobes.size());
    EXPECT_TRUE(std::equal(strobes.begin(), strobes.end(), written.end() - strobes.size()));
}

// At start-up a card counts as present when its gate rises within two gate lengths and then ends.
TEST_F(CardIo, ACardWhoseGateRisesTooLateIsNotPresent) {
    rig.state.GateUnits = 1; // 10 ms
    for (auto [polls, present] : {std::pair{300, true}, {500, false}}) { // rises after 15 or 25 ms
        port.queueReads(ports::Status, std::vector<std::uint8_t>(std::size_t(polls), 0x00));
        port.queueReads(ports::Status, {0x80});
        EXPECT_EQ(io.presenceTest(true), present) << polls;
    }
}

// Status bytes after the start strobe (then `rest` for ever), each test on a card of its own.
bool presentWith(std::vector<std::uint8_t> status, std::uint8_t rest, std::int32_t gateUnits = 1) {
    RecordingPort port;
    testing::CardRig rig{port};
    rig.state.GateUnits = gateUnits;
    port.queueReads(ports::Status, status);
    port.setDefault(ports::Status, rest);
    return rig.io.presenceTest(true);
}

TEST(CardPresence, GateMustRiseAndFallEachWithinTwoGateLengths) {
    // The status is polled every 50 us: the poll at 20 ms is the last one within the limit, the next
    // one may still see the rise.
    for (auto [polls, present] : {std::pair{401, true}, {402, false}}) {
        std::vector<std::uint8_t> status(std::size_t(polls), 0x00);
        status.push_back(0x80);
        EXPECT_EQ(presentWith(status, 0x00), present) << polls;
    }
    // The same for the fall, counted from the rise; until 1 ms before the gate is due to end the
    // wait sleeps in longer slices (those of the window's 20 ms), so fewer polls fit in.
    for (auto [polls, present] : {std::pair{222, true}, {223, false}}) {
        std::vector<std::uint8_t> status(std::size_t(polls) + 1, 0x80);
        EXPECT_EQ(presentWith(status, 0x00), present) << polls;
    }
    // No gate units count as one: a rise after 5 ms is in time, one after 25 ms is not.
    for (auto [polls, present] : {std::pair{100, true}, {500, false}}) {
        std::vector<std::uint8_t> status(std::size_t(polls), 0x00);
        status.push_back(0x80);
        EXPECT_EQ(presentWith(status, 0x00, 0), present) << polls;
    }
    // Only bit 7 is the gate: 0x7F is a gate that has ended, 0x80 one that never does.
    EXPECT_TRUE(presentWith({0x80}, 0x7F));
    EXPECT_FALSE(presentWith({0x80}, 0xFF));
    EXPECT_FALSE(presentWith({0x7F}, 0x7F));
    RecordingPort port;
    testing::CardRig rig{port};
    port.setDefault(ports::Status, 0x80);
    EXPECT_FALSE(rig.io.presenceTest(false));
    EXPECT_TRUE(port.log.empty());
    EXPECT_TRUE(rig.ctx.options.testWithoutAnalyser);
}

// Gates of at least 10 ms; a record the block does not have is counted into nothing.
TEST_F(CardIo, NoGateUnitsCountAsOneAndRecordsBeyondTheBlockAreNotWritten) {
    rig.state.GateUnits = 0;
    io.SetupTimer();
    queueGate();
    queueGate(1);
    const auto before = rig.data;
    for (std::size_t index : {rig.data.size(), std::size_t(1000)}) {
        port.log.clear();
        io.ReadPoint(20, index); // two gates of 10 ms
        EXPECT_EQ(port.writesTo(ports::Strobe).size(), 2 * (2u + 18u));
    }
    ASSERT_EQ(rig.data.size(), before.size());
    for (std::size_t i = 0; i < before.size(); ++i) EXPECT_EQ(rig.data[i].CoScan, before[i].CoScan) << i;
}

TEST_F(CardIo, AGateThatNeverEndsStopsTheRunAndKeepsWhatWasCounted) {
    rig.state.GateUnits = 2;
    io.SetupTimer();
    queueGate();
    port.setDefault(ports::Status, 0x80); // the second gate hangs
    EXPECT_EQ(io.ReadPoint(400, 1), 45);
    EXPECT_DOUBLE_EQ(rig.data[1].CoScan[9], 9);
    EXPECT_EQ(rig.ctx.values.StopRequest, 1);
    ASSERT_EQ(rig.dialogs.shown.size(), 1u);
    EXPECT_NE(rig.dialogs.shown[0].text.find("did not end its counting gate within 200 ms"), std::string::npos);
    // Ten gate lengths of 20 ms, not the eighteen remaining gates.
    EXPECT_GE(rig.clock.nowMs(), 200);
    EXPECT_LT(rig.clock.nowMs(), 260);

    // The ten gate lengths count from the start strobe, also when the gate is slow to rise.
    rig.state.GateUnits = 1;
    rig.ctx.values.StopRequest = 0;
    const std::int64_t start = rig.clock.nowUs();
    port.queueReads(ports::Status, std::vector<std::uint8_t>(100, 0x00)); // 5 ms of polls
    EXPECT_EQ(io.ReadPoint(10, 1), 0);
    EXPECT_FALSE(io.lastPointComplete());
    EXPECT_EQ(rig.clock.nowUs() - start, 100'050); // the first 50 us poll after the limit

    // A gate that never shows up is waited for 10 ms (the first poll after it), then taken as ended.
    rig.ctx.values.StopRequest = 0;
    port.setDefault(ports::Status, 0x00);
    const std::int64_t quiet = rig.clock.nowUs();
    EXPECT_EQ(io.ReadPoint(10, 1), 0);
    EXPECT_TRUE(io.lastPointComplete());
    EXPECT_EQ(rig.clock.nowUs() - quiet, 10'050);
}

// Without a card the counts come from the clock or an electrometer; the port is never touched.
TEST_F(CardIo, CountsWithoutTheCardComeFromTheTickOrTheElectrometer) {
    auto& r = rig.data[1].CoScan;
    rig.ctx.options.testWithoutAnalyser = true;
    rig.clock.advanceMs(500); // channel 5 sits at the sine's zero crossing
    const std::int32_t total = io.ReadPoint(30, 1);
    EXPECT_DOUBLE_EQ(r[5], 3 * 500); // three 10 ms chunks
    EXPECT_DOUBLE_EQ(r[4], 3 * 549); // 500 sin(0.1) + 500 = 549.9
    EXPECT_EQ(total, std::accumulate(r.begin() + 1, r.begin() + 10, 0.0));
    EXPECT_EQ(rig.clock.nowMs(), 530); // then waits the dwell time
    // A time that is no multiple of 10 ms ends with a shorter chunk: 10, 10 and 1 ms.
    io.ReadPoint(21, 1);
    EXPECT_DOUBLE_EQ(r[5], 3 * 514); // 500 sin(0.03) + 500 = 514.99 at 530 ms
    // A stop within the first 10 ms leaves a point of nothing counted, not the last point's counts.
    rig.ctx.values.StopRequest = 1;
    EXPECT_EQ(io.ReadPoint(30, 1), 0);
    EXPECT_FALSE(io.lastPointComplete());
    for (int c = 1; c <= 9; ++c) EXPECT_DOUBLE_EQ(r[c], 0) << c;
    rig.ctx.values.StopRequest = 0;
    // Each channel follows a sine of one second, a tenth of a second later than the one before.
    rig.clock.advanceMs(10000 - rig.clock.nowMs());
    io.ReadPoint(10, 1);
    for (int c = 1; c <= 9; ++c)
        EXPECT_DOUBLE_EQ(r[c], std::trunc(500 * std::sin((10000.0 - 100 * c) / 1000) + 500)) << c;
    rig.ctx.options.ringCurrentOverwrite = true;
    rig.ctx.values.RingCurrent = 123.6;
    r[0] = 42;
    EXPECT_EQ(io.ReadPoint(10, 1), 124);
    for (int c = 0; c <= 9; ++c) EXPECT_DOUBLE_EQ(r[c], c == 0 ? 42 : c == 5 ? 123.6 : 0) << c;

    rig.links.kei1 = 12.5;
    rig.links.kei2 = -3.25;
    rig.ctx.options.ringCurrentOverwrite = false;
    rig.ctx.options.addKeithley1 = rig.ctx.options.addKeithley2 = true;
    io.ReadPoint(10, 1);
    EXPECT_TRUE(r[10] == 12.5 && r[11] == -3.25);

    rig.ctx.options = {};
    rig.state.runStartTick = 100;
    for (bool keithleyRun : {false, true}) { // the override, or a Keithley run
        rig.ctx.options.electrometerOverride = !keithleyRun;
        rig.state.MachineMode = keithleyRun ? ModeKeithley : ModeClam;
        r.fill(7);
        EXPECT_EQ(io.ReadPoint(200, 1), 12); // 12.5 rounds to even
        EXPECT_DOUBLE_EQ(r[0], 12.5);
        EXPECT_DOUBLE_EQ(r[1], rig.clock.nowMs() - 200 - 100); // ms since the run started
        for (int k = 2; k <= 11; ++k) EXPECT_DOUBLE_EQ(r[k], 0) << k;
    }
    EXPECT_TRUE(port.log.empty());
}

TEST_F(CardIo, ChannelBarsGetOnlyTheEnabledChannelsCounts) {
    rig.ctx.channels.view = true;
    rig.state.ChannelEnabled[3] = 0;
    io.SetupTimer();
    queueGate();
    io.ReadPoint(10, 1);
    ASSERT_EQ(rig.links.channelCounts.size(), 1u);
    const ChannelCounts& v = rig.links.channelCounts[0];
    for (int c = 1; c <= 9; ++c) {
        EXPECT_DOUBLE_EQ(v.raw[c - 1], c) << c; // the percentage list keeps what was counted
        EXPECT_DOUBLE_EQ(v.enabled[c - 1], c == 3 ? 0 : c) << c;
    }
}

TEST_F(CardIo, ReadoutsFollowTheDacWordAndPassEnergy) {
    rig.state.PassEnergy = 10;
    rig.ctx.options.lensIndex = 3;
    selectRange(100, 10);      // 163.84
    io.SetAnalyserPoint(0, 0); // word 39999, E = 99.99903 eV
    const AnalyserReadouts& r = rig.links.readouts.value();
    EXPECT_EQ(r.monitor, "2004.4 V"); // 20.000883 E + 4.3 below 200 eV full scale
    EXPECT_EQ(r.voltage, "Voltage (0..10V) ( x ) :6.103 V");
    // 1.9583 P - 0.99846 E, 0.71733 P - 0.99846 E, 1.13281 P - 0.95 E
    EXPECT_EQ(r.inner, "&Inner Hemisphere : - 80.3 V");
    EXPECT_EQ(r.outer, "&Outer Hemisphere : - 92.7 V");
    EXPECT_EQ(r.retard, "&Retard : - 83.7 V");
    // Lens table 3: 0, 3.12 E - 0.85, 1.757 E + 0.421
    EXPECT_EQ(r.lens1, "&Lens 1 : + 0 V");
    EXPECT_EQ(r.lens2, "&Lens 2 : + 311 V");
    EXPECT_EQ(r.lens3, "&Lens 3 : + 176 V");
    EXPECT_EQ(computeReadouts(1638.4, 32768, 0, -1).monitor, "823.9 V");
}

TEST(Readouts, LensTablesMonitorFormulaAndSignsOfSmallVoltages) {
    // Word 4000 of 1638.4 eV: E = 100.0015 eV; lens n of table i = constant + factor x E.
    const std::array<std::array<const char*, 3>, 5> lenses = {{{"- 65", "- 56", "+ 301"},
                                                               {"+ 302", "+ 272", "- 49"},
                                                               {"+ 443", "+ 329", "+ 217"},
                                                               {"+ 0", "+ 311", "+ 176"},
                                                               {"- 194", "- 109", "+ 61"}}};
    for (int i = 0; i < 5; ++i) {
        const AnalyserReadouts r = computeReadouts(1638.4, 4000, 0, i);
        EXPECT_EQ(r.lens1, std::string("&Lens 1 : ") + lenses[i][0] + " V") << i;
        EXPECT_EQ(r.lens2, std::string("&Lens 2 : ") + lenses[i][1] + " V") << i;
        EXPECT_EQ(r.lens3, std::string("&Lens 3 : ") + lenses[i][2] + " V") << i;
        EXPECT_EQ(r.monitor, "104.4 V"); // 1.00035 E + 4.4
    }
    for (int none : {-1, 5, 6}) {
        const AnalyserReadouts r = computeReadouts(1638.4, 4000, 0, none);
        EXPECT_TRUE(r.lens1.empty() && r.lens2.empty() && r.lens3.empty()) << none;
    }
    // The monitor formula changes above 200 eV full scale.
    EXPECT_EQ(computeReadouts(199.5, 65535, 0, -1).monitor, "3994.5 V");
    EXPECT_EQ(computeReadouts(200, 65535, 0, -1).monitor, "4004.5 V");
    EXPECT_EQ(computeReadouts(200.5, 65535, 0, -1).monitor, "205.0 V");
    // Below one volt the sign still follows the value: pass energy 0.25 at E = 0, then E = 0.5 at none.
    const AnalyserReadouts up = computeReadouts(81.92, 0, 0.25, -1);
    EXPECT_EQ(up.inner, "&Inner Hemisphere : + 0.5 V");
    EXPECT_EQ(up.outer, "&Outer Hemisphere : + 0.2 V");
    EXPECT_EQ(up.retard, "&Retard : + 0.3 V");
    const AnalyserReadouts down = computeReadouts(81.92, 400, 0, -1);
    EXPECT_EQ(down.inner, "&Inner Hemisphere : - 0.5 V");
    EXPECT_EQ(down.retard, "&Retard : - 0.5 V");
    // A value that rounds to zero carries no sign.
    EXPECT_EQ(computeReadouts(81.92, 1, 0, -1).inner, "&Inner Hemisphere : + 0.0 V");
}

TEST_F(CardIo, WaitsInTwentyMillisecondSlicesThatKeepTheWindowAlive) {
    io.WaitMs(420);
    EXPECT_EQ(rig.clock.nowMs(), 420);
    EXPECT_EQ(rig.pump.calls(), 21);
    io.WaitMs(1);
    EXPECT_EQ(rig.clock.nowMs(), 421);
    io.WaitMs(0);
    io.WaitMs(-5);
    EXPECT_EQ(rig.clock.nowMs(), 421);
    EXPECT_EQ(rig.pump.calls(), 22);
    // Time that passes while the window is served counts: the wait ends, even past its end.
    rig.pump.always([&] { rig.clock.advanceMs(7); });
    io.WaitMs(30);
    EXPECT_EQ(rig.clock.nowMs(), 421 + 7 + 20 + 7);
}

} // namespace
} // namespace korvo

#include "acquisition/analyser_io/x86_port_io.h"

#include <fstream>
#include <sys/wait.h>
#include <unistd.h>

namespace korvo {
namespace {

// CapEff of this process, as the kernel reports it.
std::string effectiveCapabilities() {
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);)
        if (line.rfind("CapEff:", 0) == 0) return line.substr(line.find_first_not_of(" \t", 7));
    return "?";
}

TEST(DirectPorts, CapabilitiesAreGivenUpOnceThePortsAreGranted) {
    // Tried in a child, so that the test process keeps what it has. Only where the ports can be had
    // at all (x86 with CAP_SYS_RAWIO, e.g. as root outside a container).
    const pid_t pid = ::fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        std::string error;
        auto io = X86PortIo::open(&error);
        if (!io) ::_exit(77);
        const bool dropped = static_cast<X86PortIo&>(*io).capabilitiesDropped();
        ::_exit(dropped && effectiveCapabilities() == "0000000000000000" ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(pid, &status, 0), pid);
    ASSERT_TRUE(WIFEXITED(status));
    if (WEXITSTATUS(status) == 77) GTEST_SKIP() << "no port access on this machine";
    EXPECT_EQ(WEXITSTATUS(status), 0);
}

} // namespace
} // namespace korvo

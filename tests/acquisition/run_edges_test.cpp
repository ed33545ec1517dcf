// Edges of the measurement data path: a shift table that shifts one side only, the c(t) chart's fold,
// Stop during a pause, the limits of the start checks, the DAC word with another reference channel
// and in the photon modes, and runs in the photon and Keithley modes.
#include "acquisition/analyser_io/recording_port.h"
#include "acquisition/run/run_validation.h"
#include "common/file_util.h"
#include "files/spectrum_writer.h"
#include "rig.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <memory>
#include <sstream>

using namespace korvo;
using namespace korvo::testing;

namespace {

std::vector<std::string> fileLines(const std::string& path) {
    std::vector<std::string> lines;
    const auto bytes = readFile(path);
    if (!bytes) return lines;
    std::size_t pos = 0;
    for (std::size_t end; (end = bytes->find("\r\n", pos)) != std::string::npos; pos = end + 2)
        lines.push_back(bytes->substr(pos, end - pos));
    return lines;
}

std::vector<std::string> dataRows(const std::vector<std::string>& lines) {
    auto begin = std::find(lines.begin(), lines.end(), "BEGIN:");
    auto end = std::find(lines.begin(), lines.end(), "END");
    return begin < end ? std::vector<std::string>(begin + 1, end) : std::vector<std::string>{};
}

bool hasLine(const std::vector<std::string>& lines, const std::string& line) {
    return std::find(lines.begin(), lines.end(), line) != lines.end();
}

std::vector<std::string> words(const std::string& row) {
    std::istringstream in(row);
    std::vector<std::string> out;
    for (std::string w; in >> w;) out.push_back(w);
    return out;
}


const std::array<const char*, 9> kSpread = {"-0.2", "0", "0", "0", "0", "0", "0", "0", "0.2"};

// An energy scan of 4 photon energies from 35.25 eV over 1 eV, analyser at 100 eV, channel factors
// that would shift by two steps either way.
void photonScan(RunRig& rig, std::uint8_t mode) {
    rig.energyScan(4, 1);
    rig.setFactors(kSpread);
    rig.links.mono = true;
    rig.settings.MachineMode = mode;
    rig.fields.photon = "35.25";
    rig.fields.second = "1";
}

// Presses "Wait" once `measured` points of the scan are done and "Stop" well inside the pause (the
// point that was being counted has ended long before); returns the card's gate count at Stop.
std::function<long()> waitThenStop(RunRig& rig, int measured, std::function<void()> atStop = {}) {
    auto gates = std::make_shared<long>(-1);
    auto pausedAt = std::make_shared<std::int64_t>(0);
    rig.pump.once([&rig, measured] { return rig.engine.pointsMeasured() >= measured; },
                  [&rig, pausedAt] {
                      rig.engine.continueClicked(); // "Wait"
                      *pausedAt = rig.pump.calls();
                  });
    rig.pump.once([&rig, pausedAt] { return rig.engine.paused() && rig.pump.calls() > *pausedAt + 50; },
                  [&rig, gates, atStop] {
                      *gates = rig.card.gates;
                      if (atStop) atStop();
                      rig.engine.startClicked(); // "Stop"
                  });
    return [gates] { return *gates; };
}

} // namespace

// ---------------------------------------------------------------------------------------------
// A shift table with only channeltron 9 shifted

TEST(OneSidedShifts, ChannelNineAloneAddsExtraPointsBelowTheScanWindowOnly) {
    // Factor 0.2 x pass energy 10 = channeltron 9 sits 2 eV above the nominal energy; with 1 eV steps
    // that is 2 steps: it sees the start energy when the analyser is 2 steps below it.
    RunRig rig;
    rig.energyScan(11, 1);
    rig.setFactors({"0", "0", "0", "0", "0", "0", "0", "0", "0.2"});
    rig.card.counts = [](int c, int step) { return 100 * c + step; };
    rig.engine.startClicked();
    ASSERT_EQ(rig.engine.lastEnd(), RunEnd::Normal);
    EXPECT_EQ(rig.state.MaxPositiveShift, 2);
    EXPECT_EQ(rig.state.MaxNegativeShift, 0);
    ASSERT_EQ(rig.data.size(), 14u); // 13 analyser steps and the scratch record

    const int n = 13;
    for (int r = 1; r <= n; ++r) {
        // Step energies start two steps below the start: 98, 99, 100 (the first window point) ... 110.
        EXPECT_DOUBLE_EQ(rig.data[r].Energy, 98.0 + (r - 1)) << r;
        // Channels 1..8 count step r-1 into record r, channel 9 step r-3.
        double expected = 0;
        for (int c = 1; c <= 8; ++c) expected += 100 * c + (r - 1);
        if (r >= 3) expected += 900 + (r - 3);
        EXPECT_DOUBLE_EQ(rig.data[r].Co[0], expected) << r;
    }
    // A record is complete as soon as channels 1..8 have counted it: the window is drawn in step.
    EXPECT_EQ(rig.display.drawn, (std::vector<std::size_t>{3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13}));

    // The file holds the window 100..110 eV; with the extra points the two steps below it too.
    auto rows = dataRows(fileLines(rig.saver.lastWritten()));
    ASSERT_EQ(rows.size(), 11u);
    EXPECT_EQ(words(rows.front()).at(0), "100.000");
    EXPECT_EQ(words(rows.back()).at(0), "110.000");
    rig.ctx.options.saveExtraPoints = true;
    rig.fields.fileName = "extra.dat";
    rig.dialogs.files = {(rig.dir / "save" / "extra.dat").string()};
    ASSERT_EQ(rig.engine.saveClicked(), SaveOutcome::Written);
    rows = dataRows(fileLines(rig.saver.lastWritten()));
    ASSERT_EQ(rows.size(), 13u);
    EXPECT_EQ(words(rows.front()).at(0), "98.000");
    EXPECT_EQ(words(rows.back()).at(0), "110.000");
}

// ---------------------------------------------------------------------------------------------
// The c(t) chart and the pause

TEST(ChartFold, AFullChartMovesItsSecondHalfToTheFrontAndCountsOnBehindIt) {
    RunRig rig;
    rig.fields.kindOfMeasure = 0;
    rig.fields.third = "10";
    // Chart point n is the n-th DAC setting: it counts 10 (n + 1) on channeltron 5 alone.
    rig.card.counts = [](int c, int step) { return c == 5 ? 10 * (step + 1) : 0; };
    std::vector<double> totals, channel5;
    std::int64_t measuredAfterFold = -1;
    // Right after point 9 filled the chart (the next point is being counted).
    rig.pump.once([&] { return rig.display.chart.size() == 10; },
                  [&] {
                      for (const auto& r : rig.data) {
                          totals.push_back(r.CoScan[0]);
                          channel5.push_back(r.CoScan[5]);
                      }
                      measuredAfterFold = rig.engine.pointsMeasured();
                  });
    rig.pump.once([&] { return rig.display.chart.size() >= 12; }, [&] { rig.engine.requestStop(); });
    rig.engine.startClicked();

    ASSERT_EQ(totals.size(), 11u);
    ASSERT_GE(rig.display.chart.size(), 12u);
    // H = 5: records 5..10 (points 4..9) move to records 0..5; records 6..9 are cleared.
    const double want[] = {50, 60, 70, 80, 90, 100, 0, 0, 0, 0};
    for (int r = 0; r < 10; ++r) EXPECT_DOUBLE_EQ(totals[r], want[r]) << r;
    for (int r = 0; r <= 5; ++r) EXPECT_DOUBLE_EQ(channel5[r], want[r]) << r; // channel counts move too
    EXPECT_EQ(measuredAfterFold, 5);
    // Counting goes on at record 6, the chart's index keeps running.
    EXPECT_DOUBLE_EQ(rig.data[6].CoScan[0], 110);
    EXPECT_DOUBLE_EQ(rig.data[7].CoScan[0], 120);
    EXPECT_EQ(rig.display.chart[11], (std::pair<std::int64_t, double>{11, 120}));
    for (int r = 1; r <= 5; ++r) EXPECT_DOUBLE_EQ(rig.data[r].CoScan[0], want[r]) << r;
}

TEST(PauseAndStop, StopPressedWhilePausedEndsTheRunWithoutAnotherStep) {
    // Channeltron 9 alone shifted by two steps (as above): the scan's 13 steps run from 98 to 110 eV.
    RunRig rig;
    rig.energyScan(11, 2);
    rig.setFactors({"0", "0", "0", "0", "0", "0", "0", "0", "0.2"});
    const auto gatesAtStop = waitThenStop(rig, 3);
    rig.engine.startClicked();
    ASSERT_GE(gatesAtStop(), 0);
    EXPECT_EQ(rig.engine.lastEnd(), RunEnd::Stopped);
    EXPECT_FALSE(rig.engine.running());
    EXPECT_FALSE(rig.engine.paused());
    EXPECT_EQ(rig.card.gates, gatesAtStop());
    // Stopped in scan 1: what it counted is kept for Save, nothing was saved as a finished run.
    EXPECT_EQ(rig.state.ScanNumber, 1);
    EXPECT_TRUE(rig.engine.controls().saveEnabled);
    EXPECT_EQ(rig.data[1].Co[1], 1);
    EXPECT_EQ(rig.saver.lastWritten(), "");
    // The steps not reached keep their true energies, two steps below the start to the end.
    ASSERT_EQ(rig.data.size(), 14u);
    EXPECT_EQ(rig.data[13].Co[1], 0);
    for (int r = 1; r <= 13; ++r) EXPECT_DOUBLE_EQ(rig.data[r].Energy, 98.0 + (r - 1)) << r;

    // In a photon mode the monochromator makes no further step: it only returns to the first energy.
    RunRig photon;
    photonScan(photon, ModeCfs);
    std::vector<std::string> movesAtStop;
    const auto photonGates = waitThenStop(photon, 2, [&] { movesAtStop = photon.links.calls; });
    photon.engine.startClicked();
    ASSERT_GE(photonGates(), 0);
    EXPECT_EQ(photon.engine.lastEnd(), RunEnd::Stopped);
    movesAtStop.push_back("go 35.250");
    EXPECT_EQ(photon.links.calls, movesAtStop);
}

// ---------------------------------------------------------------------------------------------
// The DAC word

TEST(DacWord, ReferenceChannelOffsetAndTheStartFieldOfThePhotonModes) {
    RecordingPort port;
    CardRig rig(port);
    // Channeltron i sits (5 - i) x 0.25 eV from channeltron 5: the reference channel ref is put at
    // the nominal energy by moving the analyser by position[5] - position[ref] = (ref - 5) x 0.25.
    for (int i = 1; i <= 9; ++i) rig.state.ChannelPosition[i] = (5 - i) * 0.25;
    rig.io.SetRamp(10);
    rig.io.SetStartAndRange(100); // the stored start; range 163.84 eV
    ASSERT_DOUBLE_EQ(rig.state.FullScale, 163.84);
    auto word = [](double e) { return std::uint16_t(std::lround(e / 163.84 * 65535)); };

    struct Case {
        std::uint8_t mode;
        int ref;
        double x, startField;
        double energy;
    };
    for (const Case& c : {
             // CLAM: stored start + x x ramp; the start field is not read.
             Case{ModeClam, 5, 0.5, 999, 105},
             // CIS: the start field + x x ramp.
             Case{ModeCis, 5, 0.25, 120, 122.5},
             Case{ModeCis, 3, 0.25, 120, 122},
             Case{ModeCis, 7, 0.25, 120, 123},
             // CFS: the start field is the energy at every x.
             Case{ModeCfs, 5, 0.7, 120, 120},
             Case{ModeCfs, 9, 0.7, 120, 121},
             Case{ModeCfs, 1, 0.7, 120, 119},
         }) {
        rig.state.MachineMode = c.mode;
        rig.state.ReferenceChannel = c.ref;
        port.log.clear();
        rig.io.SetAnalyserPoint(c.x, c.startField);
        EXPECT_EQ(rig.io.lastWord(), word(c.energy)) << int(c.mode) << " ref " << c.ref;
        EXPECT_EQ(port.writesTo(ports::DacLow),
                  std::vector<std::uint8_t>{std::uint8_t(word(c.energy) & 0xFF)});
    }
}

// ---------------------------------------------------------------------------------------------
// Photon and Keithley modes

TEST(SingleChannelStarts, NoShiftsWhateverTheTableSays) {
    struct Case {
        std::uint8_t mode;
        int kind;
        bool override;
        int shift; // of channeltrons 9 and 1 (negated)
    };
    for (const Case& c : {
             Case{ModeClam, 1, false, 2},     // the table does shift: 0.2 x 10 eV over 1 eV steps
             Case{ModeCfs, 1, false, 0},      // CFS
             Case{ModeCis, 2, false, 0},      // CIS, CRR
             Case{ModeKeithley, 1, false, 0}, // Keithley
             Case{ModeClam, 1, true, 0},      // electrometer 1 "overide"
             Case{ModeClam, 0, false, 0},     // c(t)
         }) {
        RunRig rig;
        rig.energyScan(11, 1);
        rig.setFactors(kSpread);
        rig.state.MachineMode = c.mode;
        rig.fields.kindOfMeasure = c.kind;
        rig.ctx.options.electrometerOverride = c.override;
        EXPECT_TRUE(rig.validate()) << int(c.mode);
        std::array<std::int32_t, 10> shifts{};
        shifts[1] = -c.shift;
        shifts[9] = c.shift;
        EXPECT_EQ(rig.state.ChannelShift, shifts) << int(c.mode) << " kind " << c.kind << " " << c.override;
        EXPECT_EQ(rig.state.MaxPositiveShift, c.shift);
        EXPECT_EQ(rig.state.MaxNegativeShift, c.shift);
        EXPECT_EQ(rig.display.extra, std::vector<std::int64_t>{2 * c.shift});
    }
}

TEST(PhotonModes, EveryStepMovesTheMonochromatorAndTheRunEndsAtTheFirstPhotonEnergy) {
    // Photon energy at step i = ramp x i / (points - 1) + 35.25: 35.25, 35.58333, 35.91667, 36.25.
    const std::vector<std::string> moves = {"go 35.250", "go 35.583", "go 35.917", "go 36.250", "go 35.250"};
    for (std::uint8_t mode : {ModeCfs, ModeCis, ModeKeithley}) {
        RunRig rig;
        photonScan(rig, mode);
        rig.ctx.options.saveRawData = false;
        rig.engine.startClicked();
        ASSERT_EQ(rig.engine.lastEnd(), RunEnd::Normal) << int(mode);
        EXPECT_EQ(rig.links.calls, moves) << int(mode);
        EXPECT_EQ(rig.fields.photon, "35.250");
        EXPECT_EQ(rig.state.ChannelShift, (std::array<std::int32_t, 10>{}));
        EXPECT_EQ(rig.state.MaxPositiveShift + rig.state.MaxNegativeShift, 0);
        ASSERT_EQ(rig.data.size(), 5u);
        EXPECT_DOUBLE_EQ(rig.data[1].Energy, 35.25);

        const auto lines = fileLines(rig.saver.lastWritten());
        const auto rows = dataRows(lines);
        ASSERT_EQ(rows.size(), 4u) << int(mode);
        if (mode == ModeKeithley) continue; // its file: ElectrometerRuns below
        // Ten count columns although "Save Raw Data" is off: the sum and channeltrons 1..9 (the card
        // counts c on channeltron c; with no shifts the sum is 45).
        EXPECT_EQ(rows[0], "35.250 45 1 2 3 4 5 6 7 8 9") << int(mode);
        if (mode == ModeCis) {
            // The start line as typed, its end from the typed start, not from the photon energy.
            EXPECT_TRUE(hasLine(lines, "AnaSta:100"));
            EXPECT_TRUE(hasLine(lines, "AnaEnd:101.000"));
            EXPECT_TRUE(hasLine(lines, "Phot.Start: 35.250"));
        } else {
            EXPECT_TRUE(hasLine(lines, "Fix. Analyser Energy:100"));
            EXPECT_TRUE(hasLine(lines, "Phot.End: 36.250"));
        }
    }

    // The analyser scan moves nothing.
    RunRig clam;
    photonScan(clam, ModeClam);
    clam.engine.startClicked();
    ASSERT_EQ(clam.engine.lastEnd(), RunEnd::Normal);
    EXPECT_TRUE(clam.links.calls.empty());
}

// A monochromator that fails at step 4 (the move and its retry): one box, and the run ends without
// asking the dead monochromator again to go back to the first energy (that would repeat the wait
// and the box). The photon field shows the last energy reached, not the one never reached.
TEST(PhotonModes, AMonochromatorFailureIsReportedOnceAndTheRunEndsThere) {
    RunRig rig;
    photonScan(rig, ModeCfs);
    rig.pump.once([&] { return rig.engine.pointsMeasured() >= 2; }, [&] { rig.links.failures = 1000; });
    rig.engine.startClicked();
    ASSERT_EQ(rig.engine.lastEnd(), RunEnd::Stopped);
    EXPECT_EQ(rig.dialogs.texts(), std::vector<std::string>{"Error ! Problem with the monochromator?"});
    EXPECT_EQ(rig.links.calls, (std::vector<std::string>{"go 35.250", "go 35.583", "go 35.917", "go 36.250",
                                                         "close", "open", "go 36.250"}));
    EXPECT_EQ(rig.fields.photon, "35.917");
    EXPECT_EQ(rig.ctx.values.StopRequest, 1);
}

TEST(PhotonModes, AButtonPressedWhileTheMonochromatorGoesBackSeesTheStoppedRun) {
    RunRig rig;
    photonScan(rig, ModeCfs);
    rig.pump.once([&] { return rig.engine.pointsMeasured() >= 2; }, [&] {
        rig.engine.requestStop();
        rig.links.duringMove = [&] { rig.engine.continueClicked(); }; // "Wait" during the move back
    });
    rig.engine.startClicked();
    ASSERT_EQ(rig.engine.lastEnd(), RunEnd::Stopped);
    ASSERT_GE(rig.display.controls.size(), 2u);
    const RunControls during = rig.display.controls[rig.display.controls.size() - 2];
    EXPECT_EQ(during.phase, RunControls::Phase::Stopping);
    EXPECT_TRUE(during.paused);
    EXPECT_TRUE(during.kindEnabled);
    EXPECT_TRUE(during.saveEnabled);
    EXPECT_FALSE(during.continueEnabled || during.skipEnabled || during.lastScanEnabled || during.menusEnabled);
    EXPECT_FALSE(rig.engine.paused());
}

TEST(PhotonModes, ChartsAndRefusedStartsLeaveTheMonochromatorAlone) {
    RunRig chart;
    photonScan(chart, ModeCfs);
    chart.fields.kindOfMeasure = 0;
    chart.pump.once([&] { return chart.display.chart.size() >= 3; }, [&] { chart.engine.requestStop(); });
    chart.engine.startClicked();
    ASSERT_GE(chart.display.chart.size(), 3u);
    EXPECT_TRUE(chart.links.calls.empty());

    RunRig refused;
    photonScan(refused, ModeCis);
    refused.engine.startClicked();
    ASSERT_EQ(refused.engine.lastEnd(), RunEnd::Normal);
    const auto callsBefore = refused.links.calls;
    refused.fields.scans = "x";
    refused.engine.startClicked();
    ASSERT_EQ(refused.engine.lastEnd(), RunEnd::Refused);
    EXPECT_EQ(refused.links.calls, callsBefore);
}

TEST(ElectrometerRuns, ReadingsAreNotRedistributedAndKeithleyFilesKeepThemInGeneralFormat) {
    // Electrometer reads come as [0] the reading and [1] the milliseconds since the start: adding
    // the "channels" onto the shifted records would add the time to the reading.
    for (bool keithley : {true, false}) {
        RunRig rig;
        photonScan(rig, keithley ? ModeKeithley : ModeClam);
        rig.ctx.options.electrometerOverride = !keithley;
        rig.ctx.options.saveRawData = true;
        rig.links.kei1 = 1.5e-7;
        rig.ctx.options.keiScale = "250";
        rig.engine.startClicked();
        ASSERT_EQ(rig.engine.lastEnd(), RunEnd::Normal) << keithley;
        ASSERT_EQ(rig.data.size(), 5u);
        for (int r = 1; r <= 4; ++r) {
            EXPECT_EQ(rig.data[r].Co[0], 1.5e-7) << r;
            // Each point waits its dwell time after the reading.
            if (r > 1) {
                EXPECT_GE(rig.data[r].Co[1], rig.data[r - 1].Co[1] + 10) << r;
            }
        }
        if (!keithley) continue;

        const auto lines = fileLines(rig.saver.lastWritten());
        for (const char* line : {"Fileform: KEITHLEY", "MeasTyp: KEI", "Phot.Start: 35.250",
                                 "Phot.End: 36.250", "Scaling Factor: 250"})
            EXPECT_TRUE(hasLine(lines, line)) << line;
        for (const std::string& l : lines) {
            EXPECT_NE(l.rfind("MeasTime", 0), 0u) << l;
            EXPECT_NE(l.rfind("PassEn", 0), 0u) << l;
            EXPECT_NE(l.rfind("Energy Channeltron", 0), 0u) << l;
        }
        // Two columns in general format whatever "Save Raw Data" says: the reading, the time in ms.
        const auto rows = dataRows(lines);
        ASSERT_EQ(rows.size(), 4u);
        for (int r = 1; r <= 4; ++r) {
            const auto w = words(rows[r - 1]);
            ASSERT_EQ(w.size(), 3u) << rows[r - 1];
            EXPECT_EQ(w[1], "1.5E-7");
            EXPECT_EQ(w[2], std::to_string(std::int64_t(rig.data[r].Co[1])));
        }
        // The times count from the start of each run.
        const double firstTime = rig.data[1].Co[1];
        rig.clock.sleepMs(60000);
        rig.engine.startClicked();
        ASSERT_EQ(rig.engine.lastEnd(), RunEnd::Normal);
        EXPECT_DOUBLE_EQ(rig.data[1].Co[1], firstTime);
    }
}

TEST(ElectrometerRuns, AFirstReadingThatWouldCloseThePlotRangeLeavesItOpen) {
    // 0.95 x -10 = 1.05 x -10 + 1: the range from the first count would have no height.
    RunRig rig;
    photonScan(rig, ModeKeithley);
    rig.links.kei1 = -10;
    rig.engine.startClicked();
    ASSERT_EQ(rig.engine.lastEnd(), RunEnd::Normal);
    EXPECT_DOUBLE_EQ(rig.engine.plot().yMin, -9.5);
    EXPECT_DOUBLE_EQ(rig.engine.plot().yMax, 1e-12);
}

TEST(SpectrumColumns, PhotonModesWriteAllTenCountColumnsWhateverSaveRawDataSays) {
    SpectrumHeader h;
    h.points = 1;
    h.ramp = 1;
    DataBlock block(2);
    for (int c = 0; c < 12; ++c) block[1].Co[c] = 10 + c;
    struct Case {
        std::uint8_t mode;
        std::size_t plain, raw; // numbers per row (the energy included) without and with "Save Raw Data"
    };
    for (const Case& c :
         {Case{ModeClam, 2, 11}, Case{ModeCfs, 11, 11}, Case{ModeCis, 11, 11}, Case{ModeKeithley, 3, 3}}) {
        h.machineMode = c.mode;
        for (bool raw : {false, true}) {
            SpectrumSaveOptions o;
            o.saveRawData = raw;
            std::istringstream in(spectrumFileBytes(h, o, block));
            std::string line;
            while (std::getline(in, line) && line != "BEGIN:\r") {
            }
            ASSERT_TRUE(std::getline(in, line));
            EXPECT_EQ(words(line).size(), raw ? c.raw : c.plain) << int(c.mode) << " raw " << raw;
        }
    }
}

#include "acquisition/analyser_io/simulated_card.h"
#include "acquisition/run/time_left.h"
#include "common/number_text.h"
#include "files/spectrum_reader.h"
#include "rig.h"

#include <algorithm>
#include <fstream>
#include <iterator>
#include <map>
#include <set>
#include <string>

#include <gtest/gtest.h>

using namespace korvo;
using namespace korvo::testing;

namespace {

// Sum that every record of one scan receives from the card when each channel counts `c` per step.
double perScanTotal(const RunRig& rig) {
    double s = 0;
    for (int c = 1; c <= 9; ++c) s += c * rig.state.ChannelEnabled[c];
    return s;
}

// The run buttons in words: the phase, then every flag that is set.
std::string buttons(const RunControls& c) {
    std::string s = c.phase == RunControls::Phase::Idle      ? "idle"
                    : c.phase == RunControls::Phase::Running ? "running"
                                                             : "stopping";
    const std::pair<bool, const char*> flags[] = {
        {c.paused, "paused"},       {c.continueOffered, "offered"}, {c.continueEnabled, "continue"},
        {c.skipEnabled, "skip"},    {c.lastScanEnabled, "last"},    {c.saveEnabled, "save"},
        {c.kindEnabled, "kind"},    {c.menusEnabled, "menus"}};
    for (const auto& [on, name] : flags)
        if (on) s += std::string(" ") + name;
    return s;
}

std::vector<std::string> buttonsShown(const RunRig& rig) {
    std::vector<std::string> out;
    for (const RunControls& c : rig.display.controls) out.push_back(buttons(c));
    return out;
}

} // namespace

TEST(RunEngine, ShiftedChannelsLandOnTheirEnergyPoints) {
    // Channel 1 sees its energy two steps late, channel 9 two steps early.
    auto shiftedRun = [](RunRig& rig) {
        rig.energyScan(11, 1);
        rig.setFactors({"-0.2", "0", "0", "0", "0", "0", "0", "0", "0.2"});
        rig.card.counts = [](int c, int step) { return 100 * c + step; };
        rig.engine.startClicked();
    };
    RunRig rig;
    shiftedRun(rig);
    ASSERT_EQ(rig.state.MaxPositiveShift, 2);
    ASSERT_EQ(rig.state.MaxNegativeShift, 2);
    ASSERT_EQ(rig.data.size(), 16u);                       // 15 analyser steps and the scratch record
    EXPECT_DOUBLE_EQ(rig.data[1].Energy, 98.0);            // two steps below the start
    EXPECT_EQ(rig.data[0].Co, (std::array<double, 12>{})); // the scratch record takes no part in the sums
    // The channel list shows the positions relative to the reference channeltron 5.
    ASSERT_EQ(rig.display.channelItems.size(), 9u);
    EXPECT_EQ(rig.display.channelItems[0], "C_1    -2.000");
    EXPECT_EQ(rig.display.channelItems[4], "C_5    0.000");
    EXPECT_EQ(rig.display.channelItems[8], "C_9    2.000");
    // Every record holds what each channel counted at the step whose energy it saw.
    const int n = 15;
    for (int r = 1; r <= n; ++r) {
        double expected = 0;
        for (int c = 1; c <= 9; ++c) {
            const int step = r - 1 - (c == 9 ? 2 : c == 1 ? -2 : 0);
            if (step >= 0 && step < n) expected += 100 * c + step;
        }
        EXPECT_DOUBLE_EQ(rig.data[r].Co[0], expected) << "record " << r;
    }
    // The live plot got every window point once, in order.
    EXPECT_EQ(rig.display.drawn, (std::vector<std::size_t>{3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13}));
    // The info box counts the four extra points; the strip shows them beside each step done.
    EXPECT_EQ(rig.display.extra, std::vector<std::int64_t>{4});
    ASSERT_EQ(rig.display.strips.size(), 15u);
    for (int i : {0, 14}) {
        EXPECT_EQ(rig.display.strips[i].extraWidth, progressStrip(4, 15, i).extraWidth);
        EXPECT_EQ(rig.display.strips[i].doneWidth, progressStrip(4, 15, i).doneWidth);
    }
    // Channel 9 alone: its step i lands on record i + 3.
    RunRig only9;
    only9.ctx.channels.enabled = {false, false, false, false, false, false, false, false, true};
    shiftedRun(only9);
    EXPECT_EQ(only9.data[1].Co[0] + only9.data[2].Co[0], 0);
    for (int i = 0; i + 3 <= n; ++i) EXPECT_EQ(only9.data[i + 3].Co[0], 900 + i);
}

TEST(RunEngine, ScanButtonsAndFieldChangesDuringARun) {
    // Skip in scan 3: its partial counts are thrown away and the scan is measured again.
    RunRig skip;
    skip.energyScan(20, 5);
    skip.pump.once([&] { return skip.state.ScanNumber == 3 && skip.engine.pointsMeasured() >= 7; },
                   [&] { skip.engine.skipScanClicked(); });
    skip.engine.startClicked();
    EXPECT_EQ(skip.state.ScanNumber, 6);
    for (int r = 1; r <= 20; ++r) EXPECT_EQ(skip.data[r].Co[0], 5 * perScanTotal(skip));
    EXPECT_GT(skip.card.step + 1, 5 * 20); // the skipped part was measured on top
    RunRig plain;
    plain.energyScan(20, 5);
    plain.engine.startClicked();
    EXPECT_EQ(skip.display.redraws, plain.display.redraws + 1); // the cleared scan is shown at once

    // Lowering the scans field from 5 to 2 during scan 3 ends the run after scan 3.
    RunRig fewer;
    fewer.energyScan(20, 5);
    fewer.pump.once([&] { return fewer.state.ScanNumber == 3; }, [&] { fewer.fields.scans = "2"; });
    fewer.engine.startClicked();
    EXPECT_EQ(fewer.state.ScanNumber, 4);
    EXPECT_EQ(fewer.data[5].Co[1], 3);

    // Last Scan writes the current scan number into the field.
    RunRig last;
    last.energyScan(20, 5);
    last.pump.once([&] { return last.state.ScanNumber == 2; }, [&] { last.engine.lastScanClicked(); });
    last.engine.startClicked();
    EXPECT_EQ(last.fields.scans, "2");
    EXPECT_EQ(last.data[1].Co[1], 2);

    // A scans field that no longer reads as a whole number ends the run after the scan under way:
    // its sums are kept for Save, and no more scans can be added to them.
    RunRig bad;
    bad.energyScan(20, 5);
    bad.pump.once([&] { return bad.state.ScanNumber == 2; }, [&] { bad.fields.scans = "x"; });
    bad.engine.startClicked();
    EXPECT_EQ(bad.engine.lastEnd(), RunEnd::StoppedAfterScan);
    EXPECT_TRUE(bad.dialogs.saw("x ist kein gültiger Wert (ganzzahlig)\r(Leerzeichen?)"));
    EXPECT_EQ(bad.state.ScanNumber, 3);
    EXPECT_EQ(bad.data[20].Co[1], 2);
    EXPECT_TRUE(bad.engine.controls().saveEnabled);
    EXPECT_FALSE(bad.engine.controls().continueEnabled);
    EXPECT_FALSE(std::filesystem::exists(bad.dir / "save" / "c_021205.000")); // no final save

    // Skip pressed during a chart means nothing to the scans of the next run.
    RunRig chart;
    chart.energyScan(5, 1);
    chart.fields.kindOfMeasure = 0;
    chart.pump.once([&] { return chart.display.chart.size() >= 2; }, [&] {
        chart.engine.skipScanClicked();
        chart.engine.requestStop();
    });
    chart.engine.startClicked();
    chart.fields.kindOfMeasure = 1;
    chart.display.redraws = 0;
    chart.engine.startClicked();
    RunRig fresh;
    fresh.energyScan(5, 1);
    fresh.engine.startClicked();
    EXPECT_EQ(chart.display.redraws, fresh.display.redraws);
    EXPECT_EQ(chart.card.gates - fresh.card.gates, chart.display.chart.size());
}

TEST(RunEngine, StopKeepsWhatWasMeasured) {
    // Stop in scan 1: the partial scan is in the sums, with true energies for the steps not reached.
    RunRig first;
    first.energyScan(20, 3);
    int redrawsAtStop = 0;
    first.pump.once([&] { return first.engine.pointsMeasured() >= 8; }, [&] {
        first.engine.startClicked();
        redrawsAtStop = first.display.redraws;
    });
    first.engine.startClicked();
    EXPECT_GT(first.display.redraws, redrawsAtStop); // the picture then shows what was kept
    EXPECT_TRUE(first.engine.controls().saveEnabled);
    EXPECT_EQ(first.data[1].Co[1], 1);
    EXPECT_EQ(first.data[20].Co[1], 0);
    EXPECT_DOUBLE_EQ(first.data[20].Energy, 110.0);
    EXPECT_EQ(first.data[0].Co, (std::array<double, 12>{}));                    // not the scratch record
    EXPECT_FALSE(std::filesystem::exists(first.dir / "save" / "c_021205.000")); // no final save

    // Stop in scan 2: only scan 1 is in the sums, and Save writes it with "Scans: 1".
    RunRig second;
    second.energyScan(20, 3);
    second.pump.once([&] { return second.state.ScanNumber == 2 && second.engine.pointsMeasured() >= 5; },
                     [&] { second.engine.requestStop(); });
    second.engine.startClicked();
    for (int r = 1; r <= 20; ++r) EXPECT_EQ(second.data[r].Co[1], 1);
    ASSERT_EQ(second.engine.saveClicked(), SaveOutcome::Written);
    auto file = readSpectrumFile(second.saver.lastWritten());
    EXPECT_EQ(file.data.scans, 1);
    EXPECT_EQ(file.data.points.size(), 20u); // the whole scan 1, however far scan 2 got
    EXPECT_EQ(file.data.points.at(0).y, perScanTotal(second));

    // A gate that hangs in the last point of scan 2: that scan is not complete and stays out.
    SimulatedCard* card = nullptr;
    RunRig hung([&](VirtualClock& c) {
        auto p = std::make_unique<SimulatedCard>(c);
        card = p.get();
        return p;
    });
    hung.energyScan(20, 3);
    hung.pump.once([&] { return hung.state.ScanNumber == 2 && hung.engine.pointsMeasured() >= 18; },
                   [&] { card->setFault(SimulatedCard::Fault::GateNeverEnds); });
    hung.engine.startClicked();
    EXPECT_EQ(hung.engine.lastEnd(), RunEnd::Stopped);
    EXPECT_EQ(hung.state.ScanNumber, 2);
    EXPECT_EQ(readSpectrumFile((hung.dir / "start" / "aktuell.dat").string()).data.scans, 1);
}

TEST(RunEngine, ContinueAddsScansIntoTheSameSums) {
    RunRig rig;
    rig.energyScan(20, 2);
    rig.engine.startClicked();
    ASSERT_TRUE(rig.engine.controls().continueEnabled);
    rig.engine.continueClicked(); // scans not raised
    EXPECT_TRUE(rig.dialogs.saw("Please increase number of scans first!"));
    rig.fields.scans = "4";
    rig.fields.third = "7"; // edited meanwhile: the continuation keeps the run's grid
    rig.engine.continueClicked();
    EXPECT_EQ(rig.state.ScanNumber, 5);
    EXPECT_EQ(rig.engine.pointsMeasured(), 0);
    ASSERT_EQ(rig.data.size(), 21u);
    for (int r = 1; r <= 20; ++r) EXPECT_EQ(rig.data[r].Co[0], 4 * perScanTotal(rig));
}

TEST(RunEngine, PauseHoldsTheRunUntilContinue) {
    RunRig rig;
    rig.energyScan(10, 1);
    long gatesWhenPaused = -1;
    rig.pump.once([&] { return rig.engine.pointsMeasured() >= 3; },
                  [&] {
                      rig.engine.continueClicked();
                      gatesWhenPaused = rig.card.gates;
                  });
    rig.pump.once([&] { return rig.engine.paused() && rig.pump.calls() > 200; },
                  [&] {
                      EXPECT_LE(rig.card.gates, gatesWhenPaused + 1);
                      rig.engine.continueClicked();
                  });
    rig.engine.startClicked();
    EXPECT_FALSE(rig.engine.paused());
    EXPECT_EQ(rig.data[10].Co[1], 1);
}

TEST(RunEngine, TimeLeftLabelAndProgress) {
    RunRig rig;
    rig.energyScan(100, 5);
    rig.fields.timePerPoint = "500";
    rig.pump.once([&] { return !rig.display.labels.empty(); }, [&] { rig.engine.requestStop(); });
    rig.engine.startClicked();
    ASSERT_FALSE(rig.display.labels.empty());
    EXPECT_EQ(rig.display.labels[0], "Scan : 1    Time left : 04:15    Time left (scan) : 00:51");
    EXPECT_EQ(minutesSeconds(3725), "62:05");
    const ProgressStrip p = progressStrip(4, 101, 50);
    EXPECT_TRUE(p.extraWidth == 4 && p.doneWidth == 50);
}

TEST(RunEngine, RecoveryFileHoldsCompletedScansOnly) {
    RunRig rig;
    rig.energyScan(20, 3);
    const auto recovery = rig.dir / "start" / "aktuell.dat";
    std::vector<SpectrumReadResult> seen;
    // Look at the recovery copy in the middle of scans 2 and 3.
    rig.pump.always([&] {
        if (rig.engine.pointsMeasured() == 10 && rig.state.ScanNumber >= 2 &&
            seen.size() < std::size_t(rig.state.ScanNumber - 1))
            seen.push_back(readSpectrumFile(recovery.string()));
    });
    rig.engine.startClicked();
    ASSERT_EQ(seen.size(), 2u);
    for (std::size_t k = 0; k < seen.size(); ++k) {
        EXPECT_EQ(seen[k].data.scans, int(k + 1));
        ASSERT_EQ(seen[k].data.points.size(), 20u);
        for (const auto& p : seen[k].data.points) EXPECT_EQ(p.y, double(k + 1) * perScanTotal(rig));
    }
    EXPECT_EQ(readSpectrumFile(recovery.string()).data.scans, 3);
}

TEST(RunEngine, ChartCountsUntilStoppedAndFoldsWhenFull) {
    RunRig rig;
    rig.fields.kindOfMeasure = 0;
    rig.fields.start = "100";
    rig.fields.third = "100";
    rig.card.counts = [](int c, int step) { return c; };
    rig.pump.once([&] { return rig.display.chart.size() >= 130; }, [&] { rig.engine.requestStop(); });
    rig.engine.startClicked();
    ASSERT_GE(rig.display.chart.size(), 130u);
    EXPECT_EQ(rig.display.chart[129].first, 129);
    EXPECT_EQ(rig.data.size(), 101u);
    EXPECT_EQ(rig.state.ScanNumber, 1);
    // Points 0..99 are records 1..100; after the fold the count goes on at record 51.
    EXPECT_EQ(std::vector<std::size_t>(rig.display.drawn.begin(), rig.display.drawn.begin() + 3),
              (std::vector<std::size_t>{1, 2, 3}));
    EXPECT_EQ(rig.display.drawn.at(100), 51u);
    EXPECT_FALSE(rig.engine.controls().saveEnabled); // a chart is never saved
    // Not even under a name typed afterwards.
    rig.fields.fileName = "chart.dat";
    EXPECT_EQ(rig.engine.saveClicked(), SaveOutcome::Cancelled);
    EXPECT_TRUE(std::filesystem::is_empty(rig.dir / "save"));
    // The x axis counts points; the analyser was given no ramp, so the history's end is start + 10.
    EXPECT_EQ(rig.engine.plot().xStart, 0);
    EXPECT_EQ(rig.engine.plot().xEnd, 99);
    EXPECT_EQ(rig.ctx.history.key(1).rfind("CLAM # c(t) # 100 # 110 # 100 # ", 0), 0u)
        << rig.ctx.history.key(1);
}

TEST(RunEngine, TheStartShowsTheProposedNameAndTellsTheCardTheKindOfScan) {
    // Control register at the start of a run from 100 eV over 10 eV with pass energy "10.0": range
    // 163.84 (bits 5..4 = 00), pass-energy code 110 (0x0C), bit 6 for the begun measurement, and
    // bit 0 for CRR.
    // A chart gives the analyser no ramp: its range is that of the start alone (81.92 eV up to 80 eV,
    // bits 5..4 = 10).
    struct Case {
        int kind;
        const char* start;
        std::uint8_t control;
    };
    for (const Case& c : {Case{1, "100", 0x4C}, Case{2, "100", 0x4D}, Case{0, "100", 0x4C}, Case{0, "79.5", 0x6C},
                          Case{0, "80.5", 0x4C}}) {
        RunRig rig;
        rig.energyScan(5, 1);
        rig.fields.kindOfMeasure = c.kind;
        rig.fields.start = c.start;
        std::vector<std::string> shown;
        rig.display.onFieldsChanged = [&] { shown.push_back(rig.fields.fileName); };
        if (c.kind == 0)
            rig.pump.once([&] { return rig.display.chart.size() >= 3; }, [&] { rig.engine.requestStop(); });
        rig.engine.startClicked();
        ASSERT_FALSE(rig.links.lamps.empty()) << c.kind;
        EXPECT_EQ(rig.links.lamps.back(), c.control) << c.kind;
        // The scan's file name is on show before its first point; a chart has none.
        ASSERT_FALSE(shown.empty()) << c.kind;
        EXPECT_EQ(shown.front(), c.kind == 0 ? "" : "c_021205.000") << c.kind;
    }
}

TEST(RunEngine, NarrowPeakStaysNarrowWithNineShiftedChannels) {
    // A line of 0.3 eV seen by nine channeltrons spread over 2 eV: with the shifts applied the
    // accumulated peak is as narrow as that of the reference channel alone.
    auto width = [](bool allChannels) {
        RunRig rig([](VirtualClock& clock) -> std::unique_ptr<PortIo> {
            return std::make_unique<SimulatedCard>(clock,
                                                   SpectrumModel::lines({{105.0, 2e6, 0.3, 0, 0}}, 100), 7);
        });
        rig.fields.start = "100";
        rig.fields.second = "10";
        rig.fields.third = "201";
        rig.fields.scans = "1";
        if (!allChannels)
            rig.ctx.channels.enabled = {false, false, false, false, true, false, false, false, false};
        rig.engine.startClicked();
        double peak = 0;
        const int first = rig.state.MaxPositiveShift + 1,
                  last = rig.state.MaxPositiveShift + rig.state.Points;
        for (int r = first; r <= last; ++r) peak = std::max(peak, rig.data[r].Co[0]);
        int above = 0;
        for (int r = first; r <= last; ++r) above += rig.data[r].Co[0] >= peak / 2;
        EXPECT_GT(peak, 1000);
        return above * 0.05;
    };
    const double nine = width(true), five = width(false);
    EXPECT_LT(five, 0.6);
    EXPECT_NEAR(nine, five, 0.1);
}

TEST(RunEngine, AutoScaleRetestsTheCompletedPointsOfTheScan) {
    // 100, 100, 1000, 500: the jump to 1000 doubles the range upwards; at the next point the earlier
    // 100s lie in its lowest 2 % and pull the lower end down to 0. From there 5000 doubles the range
    // again: 10000, where a lower end left at 95 would give 9905.
    RunRig rig;
    rig.energyScan(5, 1);
    const int total[] = {100, 100, 1000, 500, 5000};
    rig.card.counts = [&](int c, int step) { return c == 5 ? total[std::clamp(step, 0, 4)] : 0; };
    rig.engine.startClicked();
    ASSERT_EQ(rig.engine.lastEnd(), RunEnd::Normal);
    EXPECT_DOUBLE_EQ(rig.engine.plot().yMax, 5000 * 2);
    EXPECT_DOUBLE_EQ(rig.engine.plot().yMin, 0);

    // The first point of a later scan is tested too: 1000 in scan 2 after a scan of 100s.
    RunRig two;
    two.energyScan(5, 2);
    int scan2 = -1; // the card's first step in scan 2
    two.card.counts = [&](int c, int step) {
        if (two.state.ScanNumber == 2 && scan2 < 0) scan2 = step;
        return c == 5 ? (step == scan2 ? 1000 : 100) : 0;
    };
    two.engine.startClicked();
    ASSERT_EQ(two.engine.lastEnd(), RunEnd::Normal);
    EXPECT_GE(two.engine.plot().yMax, 1000);
}

TEST(RunEngine, TheFirstRangeComesFromACountOfItsOwn) {
    // At the first step of a run a second gate is counted into the scratch record for the plot's
    // range; the first record keeps the count of its own gate.
    RunRig rig;
    rig.energyScan(3, 1);
    rig.card.counts = [&](int c, int) { return c == 5 ? (rig.card.gates == 2 ? 200 : 100) : 0; };
    rig.engine.startClicked();
    ASSERT_EQ(rig.engine.lastEnd(), RunEnd::Normal);
    EXPECT_EQ(rig.data[1].Co[5], 100);
    EXPECT_EQ(rig.data[0].Co, (std::array<double, 12>{}));
    EXPECT_DOUBLE_EQ(rig.engine.plot().yMax, 1.05 * 200 + 1);
}

TEST(RunEngine, ConstantStateScansFollowTheStartFieldWithinTheAnalysersRange) {
    // Photon energy 35 to 45 eV, analyser from 100 eV: the analyser's range must hold 100 eV, not
    // the photon energies' 81.92 eV range in which every step would sit at full scale.
    RunRig rig;
    rig.energyScan(11, 1);
    rig.links.mono = true;
    rig.settings.MachineMode = ModeCis;
    rig.fields.photon = "35";
    // Half typed, the start field keeps the start the run began with.
    rig.pump.once([&] { return rig.card.words.size() == 3; }, [&] { rig.fields.start = "1x"; });
    rig.pump.once([&] { return rig.card.words.size() == 6; }, [&] { rig.fields.start = "120"; });
    rig.engine.startClicked();
    ASSERT_EQ(rig.engine.lastEnd(), RunEnd::Normal);
    EXPECT_DOUBLE_EQ(rig.state.FullScale, 163.84);
    ASSERT_EQ(rig.card.words.size(), 11u);
    auto word = [](double e) { return std::uint16_t(std::lround(e / 163.84 * 65535)); };
    EXPECT_EQ(rig.card.words[0], word(100));
    EXPECT_EQ(rig.card.words[4], word(104));
    // Typed during the run: the next steps and the file follow the new start.
    EXPECT_EQ(rig.card.words.back(), word(130));
    // The monochromator steps through the photon energies and goes back to the first at the end.
    ASSERT_EQ(rig.links.calls.size(), 12u);
    EXPECT_EQ(rig.links.calls[0], "go 35.000");
    EXPECT_EQ(rig.links.calls[1], "go 36.000");
    EXPECT_EQ(rig.links.calls[10], "go 45.000");
    EXPECT_EQ(rig.links.calls[11], "go 35.000");
    const auto file = readSpectrumFile(rig.saver.lastWritten()).data;
    EXPECT_EQ(file.anaStaText, "AnaSta:120");
    EXPECT_EQ(file.anaEndText, "AnaEnd:130.000");

    // Constant final state: the file names the fixed analyser energy as last typed during the run.
    RunRig cfs;
    cfs.energyScan(11, 1);
    cfs.links.mono = true;
    cfs.settings.MachineMode = ModeCfs;
    cfs.fields.photon = "35";
    cfs.pump.once([&] { return cfs.engine.pointsMeasured() >= 5; }, [&] { cfs.fields.start = "120"; });
    cfs.engine.startClicked();
    ASSERT_EQ(cfs.engine.lastEnd(), RunEnd::Normal);
    std::ifstream in(cfs.saver.lastWritten(), std::ios::binary);
    const std::string saved{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    EXPECT_NE(saved.find("Fix. Analyser Energy:120\r\n"), std::string::npos) << saved.substr(0, 300);
}

TEST(RunEngine, TheSetPhotonButtonDuringARunsPhotonStepStopsThatMove) {
    // One photon view for the button and the run: a press while the run's step moves the
    // monochromator is the stop of that move, never a second move.
    RunRig rig;
    rig.energyScan(11, 1);
    rig.links.mono = true;
    rig.settings.MachineMode = ModeCfs;
    rig.fields.photon = "35";
    rig.pump.once([&] { return rig.engine.pointsMeasured() >= 3; },
                  [&] { rig.links.duringMove = [&] { rig.station.photonEnergyCommand(); }; });
    rig.engine.startClicked();
    EXPECT_EQ(rig.engine.lastEnd(), RunEnd::Stopped);
    const auto stop = std::find(rig.links.calls.begin(), rig.links.calls.end(), "stop");
    ASSERT_NE(stop, rig.links.calls.end());
    EXPECT_EQ(stop[-1].rfind("go ", 0), 0u);
    EXPECT_EQ(std::count(rig.links.calls.begin(), stop, std::string("stop")), 0);
    EXPECT_FALSE(rig.station.photon.moving());
    // The step whose move was stopped is not counted, not even started on the progress strip.
    EXPECT_EQ(rig.display.strips.size(), rig.card.words.size());
}

void pauseBelow(RunRig& rig, double thresholdMa, std::int64_t recoveryMs = 2000) {
    rig.ctx.options.beamPause = true;
    rig.ctx.options.beamThresholdMa = thresholdMa;
    rig.ctx.options.beamRecoveryMs = recoveryMs;
}

TEST(RunEngine, ABeamLossPausesTheRunAndThePointIsMeasuredAgain) {
    // The ring current drops to 20 mA while step 4 is counted and comes back at 200 mA: the run waits
    // as "Wait" would, counts step 4 again once the current has been back for the recovery time, and
    // no count made without beam reaches the sums.
    RunRig rig;
    rig.energyScan(10, 2);
    pauseBelow(rig, 100);
    polled(rig, 200);
    bool lost = false;
    rig.card.counts = [&](int c, int) { return lost ? 30000 : c; };
    std::vector<std::string> notices;
    rig.engine.beamLossNotice = [&](const std::string& why) { notices.push_back(why); };
    std::int64_t pausedAt = -1, backAt = -1, resumedAt = -1;
    rig.pump.once([&] { return rig.state.ScanNumber == 1 && rig.card.words.size() == 4; },
                  [&] {
                      lost = true;
                      polled(rig, 20);
                  });
    rig.pump.once([&] { return rig.engine.beamPaused(); }, [&] { pausedAt = rig.clock.nowMs(); });
    // The beam stays away for 3 s.
    rig.pump.once([&] { return pausedAt >= 0 && rig.clock.nowMs() >= pausedAt + 3000; },
                  [&] {
                      backAt = rig.clock.nowMs();
                      lost = false;
                      polled(rig, 200);
                  });
    rig.pump.once([&] { return pausedAt >= 0 && !rig.engine.paused(); },
                  [&] { resumedAt = rig.clock.nowMs(); });
    rig.engine.startClicked();
    ASSERT_EQ(rig.engine.lastEnd(), RunEnd::Normal);
    ASSERT_EQ(notices.size(), 1u);
    EXPECT_EQ(notices[0], "Beam lost: ring current 20.0 mA below 100 mA, the run waits");
    ASSERT_GE(backAt, 0);
    EXPECT_GE(resumedAt - backAt, 2000);
    EXPECT_LT(resumedAt - backAt, 2100);
    EXPECT_EQ(rig.card.words.size(), 2u * 10u + 1u); // step 4 of scan 1 was set twice
    for (int r = 1; r <= 10; ++r) EXPECT_EQ(rig.data[r].Co[0], 2 * perScanTotal(rig)) << r;

    EXPECT_FALSE(rig.engine.beamPaused());

    // A recent current below the threshold pauses (Stop then ends the run); the threshold itself, a
    // switched-off poll or a switched-off beam pause does not.
    struct Case {
        bool beamPause;
        bool polling;
        double current;
        bool pauses;
    };
    for (const Case& c : {Case{true, true, 0, true}, Case{true, true, 99.9, true}, Case{true, true, 100, false},
                          Case{true, false, 20, false}, Case{false, true, 20, false}}) {
        RunRig stop;
        stop.energyScan(5, 1);
        pauseBelow(stop, 100);
        stop.ctx.options.beamPause = c.beamPause;
        polled(stop, c.current);
        stop.ctx.values.ringPoll.polling = c.polling;
        stop.pump.once([&] { return stop.engine.beamPaused(); }, [&] { stop.engine.requestStop(); });
        stop.engine.startClicked();
        EXPECT_EQ(stop.engine.lastEnd(), c.pauses ? RunEnd::Stopped : RunEnd::Normal) << c.current;
    }
}

TEST(RunEngine, WithoutBeamInformationTheRunSaysSoAndWaitsIfAskedTo) {
    // The status page cannot be read from step 3 on (or its last reading grows too old), until it is
    // read again 5 s later.
    struct Case {
        bool beamPause;
        bool stale; // the last reading grows old rather than a read failing
    };
    for (const Case& c : {Case{true, false}, Case{true, true}, Case{false, false}, Case{false, true}}) {
        SCOPED_TRACE(std::string(c.beamPause ? "pause" : "no pause") + (c.stale ? ", stale" : ", unreadable"));
        RunRig rig;
        rig.energyScan(10, 1);
        pauseBelow(rig, 100);
        rig.ctx.options.beamPause = c.beamPause;
        rig.clock.advanceMs(100000);
        polled(rig, 200);
        std::vector<std::string> pauses, said;
        rig.engine.beamLossNotice = [&](const std::string& why) { pauses.push_back(why); };
        rig.engine.beamInformationNotice = [&](const std::string& text) { said.push_back(text); };
        std::int64_t goneAt = -1, backAt = -1, resumedAt = -1;
        rig.pump.once([&] { return rig.card.words.size() == 3; },
                      [&] {
                          goneAt = rig.clock.nowMs();
                          if (c.stale)
                              rig.ctx.values.ringPoll.readAtMs = goneAt - 61000;
                          else
                              rig.ctx.values.ringPoll.failure = "no answer from http://ring/ (no answer within 5000 ms)";
                      });
        // Without a pause the run would end first: there it comes back after two more steps.
        rig.pump.once([&] { return goneAt >= 0 && (c.beamPause ? rig.clock.nowMs() >= goneAt + 5000 : rig.card.words.size() == 5); },
                      [&] {
                          backAt = rig.clock.nowMs();
                          polled(rig, 200);
                      });
        rig.pump.once([&] { return backAt >= 0 && !rig.engine.paused(); }, [&] { resumedAt = rig.clock.nowMs(); });
        rig.engine.startClicked();
        ASSERT_EQ(rig.engine.lastEnd(), RunEnd::Normal);
        const std::string why = c.stale ? "the last ring current was read 61 s ago"
                                        : "the ring current could not be read: no answer from http://ring/ "
                                          "(no answer within 5000 ms)";
        if (c.beamPause) {
            // Not knowing is taken as a loss: the step is counted again once the beam has been known
            // to be there for the recovery time.
            EXPECT_EQ(pauses, std::vector<std::string>{"No beam information (" + why + "), the run waits"});
            EXPECT_TRUE(said.empty());
            EXPECT_GE(resumedAt - backAt, 2000);
            EXPECT_LT(resumedAt - backAt, 2100);
            EXPECT_EQ(rig.card.words.size(), 11u);
        } else {
            // The run goes on and says when the information goes and when it comes back.
            EXPECT_TRUE(pauses.empty());
            ASSERT_EQ(said.size(), 2u);
            EXPECT_EQ(said[0], "No beam information (" + why + ")");
            EXPECT_EQ(said[1], "Beam information back: ring current 200.0 mA");
            EXPECT_EQ(rig.card.words.size(), 10u);
        }
        for (int r = 1; r <= 10; ++r) EXPECT_EQ(rig.data[r].Co[0], perScanTotal(rig)) << r;
    }

    // A poll just switched on: the first step waits for its first reading and goes on as soon as it
    // shows the beam; no alert goes out for it.
    RunRig rig;
    rig.energyScan(5, 1);
    pauseBelow(rig, 100, 60000);
    rig.ctx.values.ringPoll.polling = rig.ctx.values.ringPoll.firstReadPending = true;
    std::vector<std::string> pauses, said;
    rig.engine.beamLossNotice = [&](const std::string& why) { pauses.push_back(why); };
    rig.engine.beamInformationNotice = [&](const std::string& text) { said.push_back(text); };
    std::int64_t readAt = -1;
    rig.pump.once([&] { return rig.engine.beamPaused() && rig.clock.nowMs() >= 300; },
                  [&] {
                      readAt = rig.clock.nowMs();
                      polled(rig, 180);
                  });
    rig.engine.startClicked();
    ASSERT_EQ(rig.engine.lastEnd(), RunEnd::Normal);
    EXPECT_TRUE(pauses.empty());
    EXPECT_EQ(said, std::vector<std::string>{"No beam information yet (the ring current is being read), the run waits"});
    EXPECT_GE(readAt, 300);
    EXPECT_EQ(rig.card.words.size(), 6u);
}

TEST(RunEngine, RandomTestStartFillsTheFieldsFromTheirWholeRangesAndPressesStart) {
    RunRig rig;
    rig.fields.passEnergyText = "7"; // no column of the shift table: the start is refused at once
    // What was typed before is replaced.
    rig.fields.start = rig.fields.second = rig.fields.third = rig.fields.scans = "-1";
    rig.fields.timePerPoint = rig.fields.photon = "-1";
    std::map<std::string, std::set<int>> seen;
    for (std::uint64_t seed = 1; seed <= 1000; ++seed) {
        const RandomFollowUp f = rig.engine.randomTestStart(seed);
        ASSERT_EQ(rig.engine.lastEnd(), RunEnd::Refused);
        const std::pair<const char*, const std::string&> texts[] = {
            {"start", rig.fields.start},        {"second", rig.fields.second},
            {"third", rig.fields.third},        {"scans", rig.fields.scans},
            {"time", rig.fields.timePerPoint}, {"photon", rig.fields.photon}};
        for (const auto& [name, t] : texts) {
            const auto v = text::parseInt(t);
            ASSERT_TRUE(v) << name << " " << t;
            seen[name].insert(*v);
        }
        seen["mode"].insert(f.machineMode);
        seen["kind"].insert(f.kindOfMeasure);
        seen["pass"].insert(f.passEnergyIndex);
    }
    auto range = [](int lo, int hi, int step = 1) {
        std::set<int> r;
        for (int v = lo; v <= hi; v += step) r.insert(v);
        return r;
    };
    EXPECT_EQ(seen["start"], range(0, 50));
    EXPECT_EQ(seen["second"], range(52, 102));
    EXPECT_EQ(seen["third"], range(52, 102));
    EXPECT_EQ(seen["scans"], range(2, 6));
    EXPECT_EQ(seen["time"], range(10, 50, 10));
    EXPECT_EQ(seen["photon"], range(10, 59));
    EXPECT_EQ(seen["mode"], range(ModeClam, ModeCis));
    EXPECT_EQ(seen["kind"], range(0, 2));
    EXPECT_EQ(seen["pass"], range(0, 6));
}

TEST(RunEngine, TheButtonsFollowTheRunAndItsKindOfEnd) {
    const char* measuring = "running continue skip last";
    struct Case {
        const char* what;
        int kind;
        std::function<void(RunRig&)> atThirdPoint;
        RunEnd end;
        std::vector<std::string> shown; // every state of the buttons shown, in order
    };
    for (const Case& c : {
             Case{"all scans", 1, {}, RunEnd::Normal, {measuring, "idle offered continue save kind menus"}},
             Case{"scans field unreadable", 1, [](RunRig& r) { r.fields.scans = "x"; }, RunEnd::StoppedAfterScan,
                  {measuring, "idle offered save kind menus"}},
             Case{"stop", 1, [](RunRig& r) { r.engine.requestStop(); }, RunEnd::Stopped,
                  {measuring, "stopping continue skip last", "idle save kind menus"}},
             Case{"wait, stop", 1, [](RunRig& r) { r.engine.continueClicked(), r.engine.requestStop(); },
                  RunEnd::Stopped,
                  {measuring, "running paused continue skip last", "stopping paused continue skip last",
                   "idle save kind menus"}},
             Case{"chart", 0, [](RunRig& r) { r.engine.requestStop(); }, RunEnd::Stopped,
                  {measuring, "running", "stopping", "idle kind menus"}},
         }) {
        RunRig rig;
        rig.energyScan(5, 1);
        rig.fields.kindOfMeasure = c.kind;
        if (c.atThirdPoint)
            rig.pump.once([&] { return rig.engine.pointsMeasured() >= 2; }, [&] { c.atThirdPoint(rig); });
        rig.engine.startClicked();
        EXPECT_EQ(rig.engine.lastEnd(), c.end) << c.what;
        EXPECT_EQ(buttonsShown(rig), c.shown) << c.what;
    }

    // A refused start gives back the buttons of the last measurement.
    RunRig rig;
    rig.energyScan(5, 1);
    rig.engine.startClicked();
    rig.display.controls.clear();
    rig.fields.scans = "x";
    rig.engine.startClicked();
    EXPECT_EQ(rig.engine.lastEnd(), RunEnd::Refused);
    EXPECT_EQ(buttonsShown(rig),
              (std::vector<std::string>{"running continue skip last", "idle offered continue save kind menus"}));
}

TEST(RunEngine, ContinueNeedsMoreScansWithinTheCounterUntilTheModeChanges) {
    RunRig rig;
    rig.energyScan(5, 2);
    rig.engine.startClicked();
    for (const char* scans : {"x", "2", "65001"}) {
        rig.dialogs.clear();
        rig.fields.scans = scans;
        rig.engine.continueClicked();
        EXPECT_EQ(rig.state.ScanNumber, 3) << scans;
        EXPECT_EQ(rig.dialogs.texts(), std::vector<std::string>{scans[0] == 'x'
                                                                    ? notIntegerText("x")
                                                                    : "Please increase number of scans first!"});
    }
    // The scan counter's limit itself is accepted (stopped here in the first further scan).
    rig.fields.scans = "65000";
    rig.pump.once([&] { return rig.state.ScanNumber == 3 && rig.engine.pointsMeasured() >= 2; },
                  [&] { rig.engine.requestStop(); });
    rig.engine.continueClicked();
    EXPECT_EQ(rig.state.ScansTarget, 65000);
    EXPECT_EQ(rig.engine.lastEnd(), RunEnd::Stopped);

    // After a mode switch the completed run takes no more scans.
    RunRig ended;
    ended.energyScan(5, 1);
    ended.engine.startClicked();
    ended.engine.endContinuation();
    EXPECT_FALSE(ended.engine.controls().continueEnabled);
    ended.fields.scans = "3";
    ended.dialogs.clear();
    ended.engine.continueClicked();
    EXPECT_EQ(ended.state.ScanNumber, 2);
    EXPECT_TRUE(ended.dialogs.shown.empty());
}

TEST(RunEngine, AutoScaleKeepsTheFirstRangeUntilAValueLeavesIt) {
    // Every step counts `value(step)` on channeltron 5 alone; the first count gives 0.95 x .. 1.05 x + 1.
    struct Case {
        const char* what;
        int kind;
        std::function<int(int step)> value;
        double yMin, yMax;
        int extraRedraws; // beyond those of a constant count
    };
    int constantRedraws = -1;
    for (const Case& c : {
             Case{"constant", 1, [](int) { return 100; }, 95, 106, 0},
             Case{"zero", 1, [](int) { return 0; }, 0, 1, 0},
             Case{"from zero", 1, [](int step) { return step == 0 ? 0 : 5; }, 0, 10, 1},
             // 95 lies in the lowest 2 %: the lower end moves by the span below it.
             Case{"lower", 1, [](int step) { return step == 2 ? 95 : 100; }, 84, 106, 1},
             Case{"higher", 1, [](int step) { return step == 2 ? 200 : 100; }, 95, 305, 1},
             // A chart's counts are whole numbers: 14 - 2.5 becomes 11.
             Case{"chart", 0, [](int step) { return step == 0 ? 15 : 14; }, 11, 16.75, 1},
         }) {
        RunRig rig;
        rig.energyScan(5, 1);
        rig.fields.kindOfMeasure = c.kind;
        rig.card.counts = [&](int channel, int step) { return channel == 5 ? c.value(step) : 0; };
        if (c.kind == 0)
            rig.pump.once([&] { return rig.display.chart.size() >= 3; }, [&] { rig.engine.requestStop(); });
        rig.engine.startClicked();
        EXPECT_DOUBLE_EQ(rig.engine.plot().yMin, c.yMin) << c.what;
        EXPECT_DOUBLE_EQ(rig.engine.plot().yMax, c.yMax) << c.what;
        if (constantRedraws < 0) constantRedraws = rig.display.redraws;
        if (c.kind != 0) {
            EXPECT_EQ(rig.display.redraws, constantRedraws + c.extraRedraws) << c.what;
        }
    }

    // A new run starts from the whole plot; scaling turned off during the run leaves the range alone.
    RunRig rig;
    rig.energyScan(5, 1);
    rig.engine.startClicked();
    rig.fields.start = "120";
    PlotScale atStart;
    rig.pump.once([] { return true; }, [&] {
        atStart = rig.engine.plot();
        rig.engine.plot().autoScale = false;
    });
    rig.engine.startClicked();
    EXPECT_EQ(atStart.currentPointColour, 0xDDCCCCu);
    EXPECT_DOUBLE_EQ(atStart.yMin, 1e20);
    EXPECT_DOUBLE_EQ(atStart.yMax, -1e20);
    EXPECT_TRUE(atStart.drawEnabled);
    EXPECT_DOUBLE_EQ(atStart.xStart, 120);
    EXPECT_DOUBLE_EQ(atStart.xEnd, 130);
    EXPECT_DOUBLE_EQ(atStart.cursor1, 120);
    EXPECT_DOUBLE_EQ(atStart.cursor2, 130);
    EXPECT_DOUBLE_EQ(rig.engine.plot().yMin, 1e20);
    EXPECT_DOUBLE_EQ(rig.engine.plot().yMax, -1e20);
    EXPECT_EQ(rig.engine.plot().currentPointColour, 0x800000u);
}

TEST(RunEngine, AScriptSeesTheTimeLeftAndTheFileName) {
    RunRig rig;
    rig.energyScan(5, 1);
    std::vector<std::string> column0;
    rig.saver.scriptColumn0 = [&](const std::string& t) { column0.push_back(t); };
    rig.engine.startClicked(); // no script runs
    EXPECT_TRUE(column0.empty());
    rig.saver.scriptRunning = true;
    rig.engine.startClicked();
    ASSERT_EQ(column0.size(), 6u);
    EXPECT_EQ(column0.front(), "Time: 00:00");
    EXPECT_EQ(column0.back(), "c_021205.001");
}

// A script run through the station: each used line measured once with its own settings and saved
// without a dialog, a refused line passed over, "Stop Script !" ending after the line, moves only
// for cells that read as numbers.
#include "acquisition/script_run.h"
#include "files/spectrum_reader.h"
#include "instruments/stepper_axes/parallel_stepper_axes.h"
#include "rig.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <set>

namespace korvo::testing {
namespace {

using T = ScriptTable;

std::size_t filesIn(const std::string& dir) {
    std::size_t n = 0;
    for (const auto& e : std::filesystem::directory_iterator(dir)) n += e.is_regular_file();
    return n;
}

// The main motor and the stepper axes as calls; the devices named in `failing` do not get there.
struct Moves final : MotorDrive, StepperAxes {
    std::vector<std::string> calls;
    std::set<std::string> failing; // "drive", "A", "B"
    bool move(const std::string& device, const std::string& a) {
        calls.push_back(device + " " + a);
        return !failing.contains(device);
    }
    bool DriveAutoMove(const std::string& a) override { return move("drive", a); }
    bool MoveAxisA(const std::string& a) override { return move("A", a); }
    bool MoveAxisB(const std::string& a) override { return move("B", a); }
};

struct ScriptRig : RunRig {
    ScriptRig() {
        energyScan(5, 1);
        station.devices.motorDrive = &moves;
        station.devices.steppers = &moves;
    }
    void line(int row, T::Line cells) {
        for (int c = 1; c < T::kColumns; ++c) table.setCell(row, c, cells[std::size_t(c - 1)]);
    }
    Moves moves;
    UnconnectedMotorDrive noDrive{ctx.instruments()};
    T table;
};

TEST(ScriptRun, EachUsedLineMeasuresOnceWithItsSettingsAndSavesWithoutADialog) {
    ScriptRig rig;
    rig.line(1, {"CLAM", "100", "10", "5", "1", "5.0", "10", "-", "-", "-", "-"});
    rig.line(2, {"", "110", "", "7", "", "", "", "", "", "", ""});
    rig.line(3, {"-", "120", "4", "3", "2", "-", "-", "-", "-", "-", "-"});
    std::vector<int> column0Rows;
    ScriptHooks hooks;
    hooks.column0Changed = [&](int row) { column0Rows.push_back(row); };
    ScriptRun run(rig.station, rig.table, hooks);
    run.run();
    EXPECT_FALSE(run.running());
    ASSERT_EQ(run.records().size(), 3u);
    const std::array<std::pair<double, std::size_t>, 3> expected{{{100, 5}, {110, 7}, {120, 3}}};
    std::vector<std::string> names;
    for (std::size_t i = 0; i < 3; ++i) {
        const ScriptLineRecord& r = run.records()[i];
        EXPECT_EQ(r.row, int(i) + 1);
        EXPECT_EQ(r.end, RunEnd::Normal) << i << ": " << (rig.dialogs.texts().empty() ? "" : rig.dialogs.texts().front());
        ASSERT_FALSE(r.saved.empty()) << i;
        // The saved file holds the line's energies: start and point count as the line says.
        const SpectrumReadResult file = readSpectrumFile(r.saved);
        ASSERT_TRUE(file) << file.error;
        ASSERT_EQ(file.data.points.size(), expected[i].second) << i;
        EXPECT_NEAR(file.data.points.front().x, expected[i].first, 1e-6) << i;
        // Column 0 ends with the saved name.
        EXPECT_EQ(rig.table.cell(int(i) + 1, T::FileName), std::filesystem::path(r.saved).filename().string());
        names.push_back(r.saved);
    }
    EXPECT_NE(names[0], names[1]);
    EXPECT_NE(names[1], names[2]);
    EXPECT_EQ(filesIn(rig.store.saveDir), 3u);
    // No save dialog was asked; line 3 ran two scans over 4 eV; line 2 kept line 1's pass energy.
    for (const auto& shown : rig.dialogs.shown) EXPECT_NE(shown.kind, RecordingDialogs::Shown::Kind::SaveFile);
    EXPECT_EQ(rig.measurement.state.ScansTarget, 2);
    EXPECT_EQ(rig.fields.passEnergyText, "5.0");
    EXPECT_EQ(rig.fields.kindOfMeasure, 1);
    // Rows 4 .. 50 untouched; numbering, time left and names were written into column 0 of 1 .. 3.
    EXPECT_EQ(rig.table.lastUsedRow(), 3);
    EXPECT_EQ(rig.table.cell(4, T::FileName), "");
    for (int row : column0Rows) EXPECT_TRUE(row >= 1 && row <= 3) << row;
    EXPECT_FALSE(rig.saver.scriptRunning);
    EXPECT_TRUE(rig.moves.calls.empty());
}

TEST(ScriptRun, ARefusedLineIsPassedOverAndStopEndsAfterTheLine) {
    ScriptRig rig;
    rig.line(1, {"CLAM", "100", "10", "5", "1", "-", "-", "-", "-", "-", "-"});
    rig.line(2, {"", "abc", "", "", "", "", "", "", "", "", ""}); // the run's validation refuses it
    rig.line(3, {"", "120", "", "", "", "", "", "", "", "", ""});
    std::vector<std::pair<int, std::string>> passedOn;
    ScriptHooks hooks;
    hooks.messageRecorded = [&](int row, const std::string& text) { passedOn.emplace_back(row, text); };
    ScriptRun run(rig.station, rig.table, hooks);
    run.run();
    ASSERT_EQ(run.records().size(), 3u);
    EXPECT_EQ(run.records()[0].end, RunEnd::Normal)
        << (run.records()[0].messages.empty() ? "" : run.records()[0].messages.front());
    EXPECT_EQ(run.records()[1].end, RunEnd::Refused);
    EXPECT_TRUE(run.records()[1].saved.empty());
    // Its message was kept with the line and passed on, not shown as a box that waits for a click.
    ASSERT_EQ(run.records()[1].messages.size(), 1u);
    EXPECT_NE(run.records()[1].messages[0].find("abc"), std::string::npos);
    ASSERT_EQ(passedOn.size(), 1u);
    EXPECT_EQ(passedOn[0], (std::pair{2, run.records()[1].messages[0]}));
    EXPECT_TRUE(rig.dialogs.texts().empty());
    EXPECT_FALSE(rig.dialogs.divert); // boxes are shown again after the script
    rig.dialogs.show("after");
    EXPECT_TRUE(rig.dialogs.saw("after"));
    EXPECT_EQ(run.records()[2].end, RunEnd::Normal);
    EXPECT_FALSE(run.records()[2].saved.empty());

    // "Stop Script !" during line 1: line 1 is measured to its end, line 2 never starts.
    ScriptRig stopped;
    stopped.line(1, {"CLAM", "100", "10", "5", "1", "-", "-", "-", "-", "-", "-"});
    stopped.line(2, {"", "200", "", "", "", "", "", "", "", "", ""});
    ScriptRun* self = nullptr;
    ScriptHooks stopHooks;
    stopHooks.pressStart = [&] {
        self->stop();
        stopped.station.engine.startClicked();
        return true;
    };
    ScriptRun second(stopped.station, stopped.table, stopHooks);
    self = &second;
    second.run();
    ASSERT_EQ(second.records().size(), 1u);
    EXPECT_EQ(second.records()[0].end, RunEnd::Normal);

    // A table without a used line runs nothing.
    ScriptRig empty;
    ScriptRun none(empty.station, empty.table);
    none.run();
    EXPECT_TRUE(none.records().empty());
    EXPECT_EQ(filesIn(empty.store.saveDir), 0u);
}

// A line measured after a failed move would be saved with the line's photon energy and positions in
// its header while the instruments stand elsewhere: it is not measured, its record says why, and the
// series goes on.
TEST(ScriptRun, ALineWhoseMoveFailedIsNotMeasuredAndTheSeriesGoesOn) {
    ScriptRig rig;
    rig.links.mono = true;
    rig.links.failures = 2; // the move and its retry
    rig.fields.photon = "35";
    rig.moves.failing = {"drive"};
    rig.line(1, {"CLAM", "100", "10", "5", "1", "-", "-", "40", "-", "-", "-"});
    rig.line(2, {"", "", "", "", "", "", "", "-", "7.5", "3", "-"});
    rig.line(3, {"", "105", "", "", "", "", "", "-", "-", "-", "-"});
    ScriptRun run(rig.station, rig.table);
    run.run();
    ASSERT_EQ(run.records().size(), 3u);
    const ScriptLineRecord& photon = run.records()[0];
    EXPECT_EQ(photon.end, RunEnd::None);
    EXPECT_EQ(photon.notMeasured, "the monochromator did not reach 40 eV");
    EXPECT_TRUE(photon.saved.empty());
    EXPECT_EQ(photon.messages,
              (std::vector<std::string>{"Error ! Problem with the monochromator?",
                                        "Not measured: the monochromator did not reach 40 eV."}));
    // The first failed move ends the line: the manipulator is not moved after the main motor failed.
    const ScriptLineRecord& motor = run.records()[1];
    EXPECT_EQ(motor.notMeasured, "the main motor did not reach 7.5 degrees");
    EXPECT_EQ(rig.moves.calls, std::vector<std::string>{"drive 7.5"});
    EXPECT_TRUE(motor.saved.empty());
    const ScriptLineRecord& plain = run.records()[2];
    EXPECT_EQ(plain.end, RunEnd::Normal);
    EXPECT_TRUE(plain.notMeasured.empty());
    ASSERT_FALSE(plain.saved.empty());
    EXPECT_NEAR(readSpectrumFile(plain.saved).data.points.front().x, 105, 1e-6);
    EXPECT_EQ(filesIn(rig.store.saveDir), 1u);
    // The photon field never showed 40 eV as reached: it shows what it showed before the line.
    EXPECT_EQ(rig.fields.photon, "35");
    EXPECT_TRUE(rig.dialogs.texts().empty());

    // The real axes: a target beyond what the step counter can reach, and the manipulator before its
    // position was defined. No step is made for either; the main motor that never answers (no
    // serial port) fails the line as well.
    ScriptRig axes;
    ParallelStepperAxes parallel(axes.ctx.instruments(), axes.card);
    axes.station.devices.steppers = &parallel;
    axes.station.devices.motorDrive = &axes.noDrive;
    axes.line(1, {"CLAM", "100", "10", "5", "1", "-", "-", "-", "-", "-", "1e308"});
    axes.line(2, {"", "", "", "", "", "", "", "-", "-", "2", "-"});
    axes.line(3, {"", "", "", "", "", "", "", "-", "12.5", "-", "-"});
    axes.line(4, {"", "", "", "", "", "", "", "-", "-", "-", "3.6"});
    ScriptRun second(axes.station, axes.table);
    second.run();
    ASSERT_EQ(second.records().size(), 4u);
    EXPECT_EQ(second.records()[0].notMeasured, "the sample did not reach 1e308 degrees");
    EXPECT_EQ(second.records()[0].messages.front(), "\"1e308\" is beyond the range of the sample.");
    EXPECT_EQ(second.records()[1].notMeasured, "the manipulator did not reach 2 degrees");
    EXPECT_EQ(second.records()[1].messages.front(), "Please define manipulator position!");
    EXPECT_EQ(second.records()[2].notMeasured, "the main motor did not reach 12.5 degrees");
    EXPECT_EQ(second.records()[3].end, RunEnd::Normal);
    EXPECT_EQ(parallel.counterB(), 2); // only line 4's two steps of 1.8 degrees were made
    EXPECT_EQ(filesIn(axes.store.saveDir), 1u);
}

TEST(ScriptRun, LineSettingsMovesAndMachineTexts) {
    ScriptRig rig;
    rig.line(1, {"CLAM", "-", "-", "-", "-", "0.25", "-", "abc", "12.5", "x", "-3"});
    ScriptRun run(rig.station, rig.table);
    run.applyLine(1);
    EXPECT_EQ(rig.fields.passEnergyIndex, 1);
    EXPECT_EQ(rig.fields.passEnergyText, "0.25");
    // Photon "abc", manipulator "x": no move; the others move.
    EXPECT_EQ(rig.moves.calls, (std::vector<std::string>{"drive 12.5", "B -3"}));
    EXPECT_TRUE(rig.links.calls.empty());
    // A pass-energy text that is no item leaves the selection; a photon number moves the monochromator.
    rig.line(1, {"-", "-", "-", "-", "-", "7", "-", "40", "-", "-", "-"});
    rig.links.mono = true;
    run.applyLine(1);
    EXPECT_EQ(rig.fields.passEnergyIndex, 1);
    EXPECT_EQ(rig.fields.photon, "40");
    EXPECT_EQ(rig.links.calls, (std::vector<std::string>{"go 40"}));

    // The machine cell: "CLAM" exactly, the others by containing; the last test that matches wins.
    std::vector<std::uint8_t> switched;
    ScriptHooks modeHooks;
    modeHooks.switchMode = [&](std::uint8_t m) {
        switched.push_back(m);
        rig.fields.kindOfMeasure = 0; // the mode's stored settings may hold "c(t)"
    };
    ScriptRun modes(rig.station, rig.table, modeHooks);
    for (const char* machine : {"CLAM", "clam", "CFS-2", "CIS", "KEI", "CFS/CIS"}) {
        rig.table.setCell(1, T::Machine, machine);
        modes.applyLine(1);
    }
    EXPECT_EQ(switched, (std::vector<std::uint8_t>{ModeClam, ModeCfs, ModeCis, ModeKeithley, ModeCfs, ModeCis}));
    EXPECT_EQ(rig.fields.kindOfMeasure, 1); // a script line never measures "c(t)"
    EXPECT_EQ(scriptPassEnergyIndex("200"), 16);
    EXPECT_EQ(scriptPassEnergyIndex("--------"), -1);
}

} // namespace
} // namespace korvo::testing

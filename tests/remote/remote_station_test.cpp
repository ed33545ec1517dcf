// The station as a remote client drives it: writes that reach the window's fields and refusals that
// leave them alone, a Start that answers when its run has begun and events that follow the run, a
// refused Start that changes nothing, Stop and a failing monochromator that keep what was measured,
// and runs started at the window that a client sees and waits for.
#include "acquisition/run/run_validation.h"
#include "files/spectrum_reader.h"
#include "remote/remote_station.h"
#include "acquisition/rig.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <optional>

using namespace korvo;
using namespace korvo::testing;

namespace {

struct RecordedEvents final : RemoteEvents {
    std::vector<RemoteState> states;
    std::vector<std::string> statuses;
    std::vector<double> progress;
    std::vector<std::int32_t> scans;
    std::vector<std::vector<double>> counts;
    void stateChanged(RemoteState s, const std::string& status) override {
        states.push_back(s);
        statuses.push_back(status);
    }
    void progressChanged(double p) override { progress.push_back(p); }
    void scanNumberChanged(std::int32_t s) override { scans.push_back(s); }
    void countsChanged(const std::vector<double>& energies, const std::vector<double>& c) override {
        EXPECT_EQ(energies.size(), c.size());
        counts.push_back(c);
    }
};

// The answer of one command, kept when it comes.
struct Answered {
    std::optional<RemoteAnswer> answer;
    RemoteReply reply() {
        return [this](RemoteAnswer a) {
            if (!answer) answer = std::move(a);
        };
    }
};

RemoteAnswer run(RemoteStation& remote, const std::string& command, const std::string& argument = "") {
    Answered a;
    remote.command(command, argument, a.reply());
    EXPECT_TRUE(a.answer) << command;
    return a.answer.value_or(RemoteAnswer::refused("no answer"));
}

// The rig's fields as a client sets them: 100 eV over 10 eV, `points` points, `scans` scans.
void clientScan(RunRig& rig, RemoteStation& remote, int points, int scans) {
    rig.energyScan(points, scans);
    EXPECT_TRUE(remote.write("Points", std::int32_t(points)).ok());
    EXPECT_TRUE(remote.write("Scans", std::int32_t(scans)).ok());
    EXPECT_TRUE(remote.write("DwellTime", std::int32_t(10)).ok());
}

std::string stateName(RemoteState s) {
    const char* names[] = {"ON", "RUNNING", "STANDBY", "ALARM", "FAULT"};
    return names[int(s)];
}

std::vector<std::string> names(const std::vector<RemoteState>& states) {
    std::vector<std::string> out;
    for (RemoteState s : states) out.push_back(stateName(s));
    return out;
}

bool sawSaveDialog(const RecordingDialogs& d) {
    return std::any_of(d.shown.begin(), d.shown.end(),
                       [](const auto& s) { return s.kind == RecordingDialogs::Shown::Kind::SaveFile; });
}

} // namespace

TEST(RemoteStation, WritesReachTheFieldsAndEveryRefusalLeavesThemAlone) {
    RunRig rig;
    int shown = 0;
    RemoteHost host;
    host.showFields = [&] { ++shown; };
    RemoteStation remote(rig.station, rig.display, host);

    EXPECT_TRUE(remote.write("StartEnergy", 100.25).ok());
    EXPECT_TRUE(remote.write("EndEnergy", 110.25).ok());
    EXPECT_TRUE(remote.write("Step", 0.5).ok());
    EXPECT_TRUE(remote.write("PassEnergy", std::string("20")).ok());
    EXPECT_TRUE(remote.write("Comment", std::string("Au 4f, grazing")).ok());
    EXPECT_TRUE(remote.write("Kind", std::string("c(t)")).ok());
    EXPECT_EQ(rig.fields.start, "100.25");
    EXPECT_EQ(rig.fields.second, "110.25");
    EXPECT_FALSE(rig.fields.rampView);
    EXPECT_FALSE(rig.fields.pointsView);
    EXPECT_EQ(rig.fields.passEnergyIndex, 13);
    EXPECT_EQ(rig.fields.kindOfMeasure, 0);
    EXPECT_EQ(shown, 6);
    // Both views read back, whichever the fields are in.
    EXPECT_DOUBLE_EQ(std::get<double>(remote.read("Ramp").value), 10.0);
    EXPECT_EQ(std::get<std::int32_t>(remote.read("Points").value), 21);
    EXPECT_TRUE(remote.write("Ramp", 5.0).ok());
    EXPECT_TRUE(remote.write("Points", std::int32_t(11)).ok());
    EXPECT_DOUBLE_EQ(std::get<double>(remote.read("EndEnergy").value), 105.25);
    EXPECT_DOUBLE_EQ(std::get<double>(remote.read("Step").value), 0.5);
    EXPECT_EQ(std::get<std::string>(remote.read("Mode").value), "CLAM");
    // In the photon modes the end counts from the photon energy.
    EXPECT_TRUE(remote.write("Mode", std::string("cfs")).ok());
    EXPECT_TRUE(remote.write("PhotonEnergy", 35.0).ok());
    EXPECT_DOUBLE_EQ(std::get<double>(remote.read("EndEnergy").value), 40.0);
    EXPECT_EQ(rig.settings.MachineMode, ModeCfs);

    const MeasurementFields before = rig.fields;
    const int shownBefore = shown;
    struct Bad {
        const char* name;
        RemoteValue value;
        const char* says;
    };
    for (const Bad& b : {Bad{"StartEnergy", std::string("100"), "another type"},
                         Bad{"Ramp", std::numeric_limits<double>::infinity(), "finite"},
                         Bad{"Comment", std::string("two\r\nlines"), "control characters"},
                         Bad{"Probe", std::string(1001, 'x'), "1000"},
                         Bad{"FileName", std::string("../c_021205.001"), "without a directory"},
                         Bad{"Mode", std::string("OFF"), "CLAM, CFS, CIS or KEITHLEY"},
                         Bad{"Kind", std::string("CRR"), "c(t), CAE in the CFS mode"},
                         Bad{"Kind", std::string("KEI"), "c(t), CAE"},
                         Bad{"Progress", 50.0, "read only"},
                         Bad{"Colour", 1.0, "No attribute"}}) {
        const RemoteAnswer a = remote.write(b.name, b.value);
        EXPECT_NE(a.refusal.find(b.says), std::string::npos) << b.name << ": " << a.refusal;
    }
    EXPECT_EQ(rig.fields.start, before.start);
    EXPECT_EQ(rig.fields.second, before.second);
    EXPECT_EQ(rig.fields.comment, before.comment);
    EXPECT_EQ(rig.fields.kindOfMeasure, before.kindOfMeasure);
    EXPECT_EQ(rig.settings.MachineMode, ModeCfs);
    EXPECT_EQ(shown, shownBefore);
    // A field typed into the window that holds no number reads as a refusal, not as 0.
    rig.fields.start = "1oo";
    EXPECT_NE(remote.read("StartEnergy").refusal.find("\"1oo\""), std::string::npos);
}

TEST(RemoteStation, StartAnswersWhenItsRunBeginsAndTheEventsFollowTheRun) {
    RunRig rig;
    RecordedEvents events;
    RemoteStation remote(rig.station, rig.display);
    remote.setEvents(&events);
    clientScan(rig, remote, 11, 3);
    std::optional<bool> runningWhenAnswered;
    remote.command("Start", "", [&](RemoteAnswer a) {
        EXPECT_TRUE(a.ok()) << a.refusal;
        runningWhenAnswered = rig.engine.running();
    });
    ASSERT_TRUE(runningWhenAnswered);
    EXPECT_TRUE(*runningWhenAnswered) << "Start answers when the run has begun, not at its end";
    ASSERT_EQ(rig.engine.lastEnd(), RunEnd::Normal);

    EXPECT_EQ(names(events.states), (std::vector<std::string>{"ON", "RUNNING", "ON"}));
    EXPECT_EQ(events.statuses.back(), "Ready. Last file: " + rig.saver.lastWritten());
    EXPECT_EQ(events.scans, (std::vector<std::int32_t>{0, 1, 2, 3}));
    EXPECT_TRUE(std::is_sorted(events.progress.begin(), events.progress.end()));
    EXPECT_DOUBLE_EQ(events.progress.back(), 100.0);
    EXPECT_GT(events.progress.size(), 10u);
    // Counts: the empty block when the client subscribed, then the sums after each scan.
    ASSERT_EQ(events.counts.size(), 4u);
    EXPECT_TRUE(events.counts[0].empty());
    for (int s = 1; s <= 3; ++s) {
        ASSERT_EQ(events.counts[s].size(), 11u);
        EXPECT_DOUBLE_EQ(events.counts[s][0], s * rig.data[1].CoScan[0]) << "scan " << s;
    }
    // Saved under the proposed name without a dialog: nobody may be at the screen.
    EXPECT_EQ(std::filesystem::path(rig.saver.lastWritten()).filename(), "c_021205.000");
    EXPECT_FALSE(sawSaveDialog(rig.dialogs));
    EXPECT_FALSE(rig.saver.unattended);
    EXPECT_EQ(std::get<std::string>(remote.read("LastFile").value), rig.saver.lastWritten());
    EXPECT_EQ(std::get<std::vector<double>>(remote.read("Counts").value), events.counts[3]);
    const auto energies = std::get<std::vector<double>>(remote.read("Energies").value);
    ASSERT_EQ(energies.size(), 11u);
    EXPECT_DOUBLE_EQ(energies[10], 110.0);
    const auto channels = std::get<RemoteImage>(remote.read("ChannelCounts").value);
    EXPECT_EQ(channels.width, 11);
    EXPECT_EQ(channels.height, 9);
    EXPECT_DOUBLE_EQ(channels.values[8 * 11], rig.data[1].Co[9]);
    EXPECT_EQ(std::get<std::int32_t>(remote.read("ScanNumber").value), 3);
    EXPECT_EQ(std::get<std::int32_t>(remote.read("TimeLeft").value), 0);
}

TEST(RemoteStation, ARefusedStartChangesNothingAndSaysWhy) {
    RunRig rig;
    RecordedEvents events;
    RemoteStation remote(rig.station, rig.display);
    remote.setEvents(&events);
    clientScan(rig, remote, 11, 1);
    rig.fields.second = "0"; // a ramp the checks correct to 0.1 while they refuse the run
    ASSERT_TRUE(remote.write("DwellTime", std::int32_t(5)).ok());
    const MeasurementFields before = rig.fields;
    const std::vector<std::string> expected = {
        "Please set the Ramp value > 0 !",
        "5ms is outside of the valid range  ( t > 9 ms  and  t < 32000 ms)",
    };

    const std::vector<std::string> told = std::get<std::vector<std::string>>(run(remote, "Validate").value);
    for (const std::string& m : expected)
        EXPECT_NE(std::find(told.begin(), told.end(), m), told.end()) << m;
    const RemoteAnswer a = run(remote, "Start");
    EXPECT_FALSE(a.ok());
    for (const std::string& m : expected) EXPECT_NE(a.refusal.find(m), std::string::npos) << a.refusal;
    EXPECT_EQ(rig.engine.lastEnd(), RunEnd::Refused);
    EXPECT_EQ(rig.fields.second, before.second) << "the checks' correction of a refused start does not stay";
    EXPECT_EQ(rig.fields.timePerPoint, before.timePerPoint);
    EXPECT_TRUE(rig.data.empty());
    EXPECT_EQ(names(events.states), std::vector<std::string>{"ON"});
    EXPECT_TRUE(rig.saver.lastWritten().empty());

    // Fixed, the same fields pass the checks and start.
    ASSERT_TRUE(remote.write("Ramp", 10.0).ok());
    ASSERT_TRUE(remote.write("DwellTime", std::int32_t(10)).ok());
    EXPECT_TRUE(std::get<std::vector<std::string>>(run(remote, "Validate").value).empty());
    EXPECT_TRUE(run(remote, "Start").ok());
    EXPECT_EQ(rig.engine.lastEnd(), RunEnd::Normal);
}

TEST(RemoteStation, DuringARunWritesStartsAndSavesWaitForItsEnd) {
    RunRig rig;
    RecordedEvents events;
    RemoteStation remote(rig.station, rig.display);
    clientScan(rig, remote, 20, 2);
    std::vector<RemoteAnswer> during;
    std::vector<std::string> validated;
    rig.pump.once([&] { return rig.engine.pointsMeasured() >= 5; },
                  [&] {
                      during.push_back(remote.write("StartEnergy", 50.0));
                      during.push_back(run(remote, "Start"));
                      during.push_back(run(remote, "Save", "x.dat"));
                      validated = std::get<std::vector<std::string>>(run(remote, "Validate").value);
                      during.push_back(run(remote, "Pause"));
                      remote.setEvents(&events);
                  });
    // Paused, no point is counted: the run waits for the client's Resume.
    rig.pump.once([&] { return rig.engine.paused(); },
                  [&] {
                      EXPECT_EQ(remote.state(), RemoteState::Standby);
                      during.push_back(run(remote, "Resume"));
                  });
    rig.pump.once([&] { return rig.engine.pointsMeasured() >= 10; },
                  [&] { during.push_back(run(remote, "Skip")); });
    // Started at the window: the client sees the run and its Start is refused as the window's would be.
    rig.engine.startClicked();
    ASSERT_EQ(during.size(), 6u);
    for (int i = 0; i < 3; ++i) EXPECT_EQ(during[i].refusal, kStopFirstText) << i;
    EXPECT_EQ(validated, std::vector<std::string>{kStopFirstText});
    for (int i = 3; i < 6; ++i) EXPECT_TRUE(during[i].ok()) << during[i].refusal;
    EXPECT_EQ(rig.fields.start, "100");
    EXPECT_EQ(rig.engine.lastEnd(), RunEnd::Normal);
    EXPECT_EQ(names(events.states), (std::vector<std::string>{"STANDBY", "RUNNING", "ON"}));
    // Without a run there is nothing to pause or skip.
    EXPECT_EQ(run(remote, "Pause").refusal, "No measurement is running.");
    EXPECT_EQ(run(remote, "Skip").refusal, "No measurement is running.");
    EXPECT_TRUE(run(remote, "Stop").ok());
}

TEST(RemoteStation, StopKeepsWhatWasMeasuredInAFileAndSaveNeverReplacesOne) {
    RunRig rig;
    RemoteStation remote(rig.station, rig.display);
    clientScan(rig, remote, 20, 3);
    ASSERT_EQ(run(remote, "Save").refusal, "There is no measured spectrum to save.");
    rig.pump.once([&] { return rig.engine.pointsMeasured() >= 7; }, [&] { EXPECT_TRUE(run(remote, "Stop").ok()); });
    ASSERT_TRUE(run(remote, "Start").ok());
    ASSERT_EQ(rig.engine.lastEnd(), RunEnd::Stopped);
    EXPECT_EQ(remote.state(), RemoteState::On) << remote.status();
    const auto saved = readSpectrumFile(rig.saver.lastWritten());
    ASSERT_TRUE(saved) << rig.saver.lastWritten();
    EXPECT_GE(saved.data.points.size(), 7u);
    EXPECT_LT(saved.data.points.size(), 20u);
    EXPECT_FALSE(sawSaveDialog(rig.dialogs));

    // Save: the path given (relative ones in the save directory), never over an existing file.
    const RemoteAnswer again = run(remote, "Save", "copy.dat");
    ASSERT_TRUE(again.ok()) << again.refusal;
    EXPECT_EQ(std::get<std::string>(again.value), (rig.dir / "save" / "copy.dat").string());
    const auto size = std::filesystem::file_size(rig.dir / "save" / "copy.dat");
    EXPECT_NE(run(remote, "Save", "copy.dat").refusal.find("exists"), std::string::npos);
    EXPECT_EQ(std::filesystem::file_size(rig.dir / "save" / "copy.dat"), size);
    // Without a path under FileName; a name taken gets the next proposal instead of a question.
    ASSERT_TRUE(remote.write("FileName", std::string("copy.dat")).ok());
    const std::string stoppedRun = rig.saver.lastWritten();
    const auto stoppedSize = std::filesystem::file_size(stoppedRun);
    const RemoteAnswer proposed = run(remote, "Save");
    ASSERT_TRUE(proposed.ok()) << proposed.refusal;
    const std::string next = std::get<std::string>(proposed.value);
    EXPECT_EQ(std::filesystem::path(next).filename().string().rfind("c_021205.", 0), 0u) << next;
    EXPECT_NE(next, stoppedRun);
    EXPECT_EQ(std::filesystem::file_size(stoppedRun), stoppedSize);
    EXPECT_EQ(std::filesystem::file_size(rig.dir / "save" / "copy.dat"), size);
    const RemoteAnswer into = run(remote, "Save", (rig.dir / "missing" / "x.dat").string());
    EXPECT_FALSE(into.ok());
    EXPECT_NE(into.refusal.find("could not be written"), std::string::npos) << into.refusal;
}

TEST(RemoteStation, AMonochromatorThatFailsEndsInFaultWithTheScansSoFarSaved) {
    RunRig rig;
    RecordedEvents events;
    RemoteStation remote(rig.station, rig.display);
    remote.setEvents(&events);
    clientScan(rig, remote, 6, 5);
    rig.links.mono = true;
    ASSERT_TRUE(remote.write("Mode", std::string("CFS")).ok());
    ASSERT_TRUE(remote.write("PhotonEnergy", 35.0).ok());
    // In scan 3 every move fails from then on.
    rig.pump.once([&] { return rig.state.ScanNumber == 3; }, [&] { rig.links.failures = 100; });
    ASSERT_TRUE(run(remote, "Start").ok());
    EXPECT_EQ(rig.engine.lastEnd(), RunEnd::Stopped);
    EXPECT_EQ(remote.state(), RemoteState::Fault);
    EXPECT_NE(remote.status().find("Error ! Problem with the monochromator?"), std::string::npos) << remote.status();
    EXPECT_EQ(events.states.back(), RemoteState::Fault);
    const auto saved = readSpectrumFile(rig.saver.lastWritten());
    ASSERT_TRUE(saved);
    EXPECT_EQ(saved.data.scans, 2);
    // Nothing waited for a click, and the next Start clears the fault.
    EXPECT_TRUE(std::none_of(rig.dialogs.shown.begin(), rig.dialogs.shown.end(),
                             [](const auto& s) { return s.kind == RecordingDialogs::Shown::Kind::Message; }));
    rig.links.failures = 0;
    ASSERT_TRUE(run(remote, "Start").ok());
    EXPECT_EQ(remote.state(), RemoteState::On) << remote.status();

    // Links opened again (Init) after a failed run: the failure is forgotten.
    rig.links.failures = 100;
    ASSERT_TRUE(run(remote, "Start").ok());
    ASSERT_EQ(remote.state(), RemoteState::Fault);
    remote.linksReopened("");
    EXPECT_EQ(remote.state(), RemoteState::On);
    EXPECT_EQ(events.states.back(), RemoteState::On);
    EXPECT_EQ(remote.status(), "Ready. Last file: " + rig.saver.lastWritten());
    // A link that did not open keeps FAULT with its reason, through a run that does not need it, until
    // the links open.
    rig.links.failures = 0;
    const std::string why = "Cannot connect the monochromator on /dev/ttyS9: No such file or directory";
    remote.linksReopened(why);
    EXPECT_EQ(remote.state(), RemoteState::Fault);
    EXPECT_EQ(remote.status(), why);
    EXPECT_EQ(events.statuses.back(), why);
    ASSERT_TRUE(remote.write("Mode", std::string("CLAM")).ok());
    ASSERT_TRUE(run(remote, "Start").ok());
    EXPECT_EQ(remote.state(), RemoteState::Fault);
    EXPECT_EQ(remote.status(), why);
    remote.linksReopened("");
    EXPECT_EQ(remote.state(), RemoteState::On) << remote.status();
}

TEST(RemoteStation, ClosingStopsTheRunAndAnswersOnceItIsSaved) {
    RunRig rig;
    RemoteStation remote(rig.station, rig.display);
    clientScan(rig, remote, 20, 3);
    std::optional<std::string> closedWith;
    rig.pump.once([&] { return rig.state.ScanNumber == 2; },
                  [&] {
                      remote.close([&](RemoteAnswer) { closedWith = rig.saver.lastWritten(); });
                      EXPECT_FALSE(closedWith) << "answered before the run ended";
                  });
    ASSERT_TRUE(run(remote, "Start").ok());
    ASSERT_TRUE(closedWith);
    EXPECT_FALSE(closedWith->empty()) << "the spectrum was saved before the answer";
    EXPECT_EQ(readSpectrumFile(*closedWith).data.scans, 1);
    EXPECT_EQ(remote.state(), RemoteState::On) << "stopped on purpose, not failed";
    EXPECT_NE(run(remote, "Start").refusal.find("shutting down"), std::string::npos);
    Answered idle;
    remote.close(idle.reply());
    EXPECT_TRUE(idle.answer);
}

TEST(RemoteStation, ARunWaitingForTheBeamIsInAlarmWithTheReason) {
    RunRig rig;
    RecordedEvents events;
    RemoteStation remote(rig.station, rig.display);
    remote.setEvents(&events);
    clientScan(rig, remote, 10, 1);
    rig.ctx.options.beamPause = true;
    rig.ctx.options.beamThresholdMa = 100;
    rig.ctx.options.beamRecoveryMs = 1000;
    polled(rig, 200);
    std::optional<RemoteState> during;
    std::string statusDuring;
    std::int64_t pausedAt = -1;
    rig.pump.once([&] { return rig.engine.pointsMeasured() >= 3; }, [&] { polled(rig, 20); });
    rig.pump.once([&] { return rig.engine.beamPaused(); },
                  [&] {
                      pausedAt = rig.clock.nowMs();
                      during = remote.state();
                      statusDuring = remote.status();
                  });
    rig.pump.once([&] { return pausedAt >= 0 && rig.clock.nowMs() >= pausedAt + 500; }, [&] { polled(rig, 200); });
    ASSERT_TRUE(run(remote, "Start").ok());
    EXPECT_EQ(during, RemoteState::Alarm);
    EXPECT_EQ(statusDuring, "Beam lost: ring current 20.0 mA below 100 mA, the run waits");
    EXPECT_EQ(names(events.states), (std::vector<std::string>{"ON", "RUNNING", "ALARM", "RUNNING", "ON"}));
    EXPECT_EQ(rig.engine.lastEnd(), RunEnd::Normal);
}

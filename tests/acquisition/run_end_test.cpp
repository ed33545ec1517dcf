// How a run's end reaches the disk: a scan stopped half-way is saved with the points it measured
// only, the autosave switch saves every run without the dialog, the NeXus switch puts a NeXus file
// beside every saved spectrum, and the run log records starts, refusals, errors, saves and ends.
#include "acquisition/script_run.h"
#include "common/file_util.h"
#include "files/nexus_file.h"
#include "files/spectrum_reader.h"
#include "files/spectrum_table.h"
#include "rig.h"
#include "support/crlf_lines.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <sstream>

using namespace korvo;
using namespace korvo::testing;

namespace {

struct SpectrumText {
    std::vector<std::string> header, rows;
    bool has(const std::string& line) const { return std::find(header.begin(), header.end(), line) != header.end(); }
    std::string value(const std::string& key) const {
        for (const std::string& l : header)
            if (l.rfind(key, 0) == 0) return l.substr(key.size());
        return "<none>";
    }
};

SpectrumText spectrumText(const std::string& path) {
    SpectrumText t;
    const auto lines = crlfLines(readFile(path).value_or(""));
    auto begin = std::find(lines.begin(), lines.end(), "BEGIN:");
    auto end = std::find(lines.begin(), lines.end(), "END");
    t.header.assign(lines.begin(), begin);
    if (begin < end) t.rows.assign(begin + 1, end);
    return t;
}

std::string firstWord(const std::string& row) {
    return row.substr(0, row.find(' '));
}

std::string afterFirstWord(const std::string& row) {
    return row.substr(row.find(' ') + 1);
}

// 21 points from 100 eV in 0.5 eV steps; channeltrons 1 and 9 two steps apart from the others, so
// a record is complete two steps after its own; every channeltron counts its own number each step.
void shiftedScan(RunRig& rig, int scans) {
    rig.energyScan(21, scans);
    rig.setFactors({"-0.1", "0", "0", "0", "0", "0", "0", "0", "0.1"});
    rig.card.counts = [](int c, int) { return c; };
    rig.ctx.options.saveRawData = true;
}

} // namespace

TEST(StoppedFirstScan, OnlyTheMeasuredPointsAreSavedAndTheHeaderSaysHowMany) {
    RunRig rig;
    shiftedScan(rig, 3);
    rig.pump.once([&] { return rig.engine.pointsMeasured() >= 12; }, [&] { rig.engine.startClicked(); });
    rig.engine.startClicked();
    ASSERT_EQ(rig.engine.lastEnd(), RunEnd::Stopped);
    ASSERT_EQ(rig.state.MaxPositiveShift, 2);
    ASSERT_EQ(rig.engine.saveClicked(), SaveOutcome::Written);

    const SpectrumText file = spectrumText(rig.saver.lastWritten());
    const std::size_t k = file.rows.size();
    ASSERT_GT(k, 5u);
    ASSERT_LT(k, 21u);
    EXPECT_EQ(file.value("Points:"), std::to_string(k));
    EXPECT_TRUE(file.has("Scans: 1")) << "every point written was counted in one scan";
    // Each row holds every channeltron's count: the sum and the nine raw columns, no zero, no part.
    for (std::size_t i = 0; i < k; ++i) {
        std::ostringstream energy;
        energy.setf(std::ios::fixed);
        energy.precision(3);
        energy << 100 + 0.5 * double(i);
        EXPECT_EQ(firstWord(file.rows[i]), energy.str());
        EXPECT_EQ(afterFirstWord(file.rows[i]), "45 1 2 3 4 5 6 7 8 9") << file.rows[i];
    }
    // The header's range is the range written, which the correlation and the converter read.
    EXPECT_EQ(file.value("AnaSta:"), "100.000");
    EXPECT_EQ(file.value("AnaEnd:"), firstWord(file.rows.back()));
    // The viewer's reader takes it as it is.
    const SpectrumReadResult read = readSpectrumFile(rig.saver.lastWritten());
    ASSERT_TRUE(read) << read.error;
    EXPECT_EQ(read.data.points.size(), k);
    EXPECT_EQ(read.data.scans, 1);
    EXPECT_EQ(read.data.points.back().y, 45);

    // With the extra points the two steps below the window come first; nothing beyond the last
    // complete record is written either.
    rig.ctx.options.saveExtraPoints = true;
    rig.dialogs.files = {(rig.dir / "save" / "extra.dat").string()};
    ASSERT_EQ(rig.engine.saveClicked(), SaveOutcome::Written);
    const SpectrumText extra = spectrumText(rig.saver.lastWritten());
    ASSERT_EQ(extra.rows.size(), k + 2);
    EXPECT_EQ(firstWord(extra.rows.front()), "99.000");
    EXPECT_EQ(extra.rows.back(), file.rows.back());
    EXPECT_EQ(extra.value("Points:"), std::to_string(k));

    // A stop before any point of the window was complete leaves nothing to save, and says so.
    RunRig early;
    shiftedScan(early, 3);
    early.pump.once([&] { return !early.display.strips.empty(); }, [&] { early.engine.startClicked(); });
    early.engine.startClicked();
    ASSERT_EQ(early.engine.lastEnd(), RunEnd::Stopped);
    early.dialogs.clear();
    EXPECT_NE(early.engine.saveClicked(), SaveOutcome::Written);
    EXPECT_TRUE(early.dialogs.saw("No point of the scan was measured completely: nothing was saved."));
    EXPECT_TRUE(std::filesystem::is_empty(early.dir / "save"));
}

namespace {

bool saveDialogShown(const RecordingDialogs& d) {
    return std::any_of(d.shown.begin(), d.shown.end(),
                       [](const auto& s) { return s.kind == RecordingDialogs::Shown::Kind::SaveFile; });
}

} // namespace

TEST(Autosave, EveryRunThatMeasuredIsSavedWithoutTheDialogAndNoFileIsReplaced) {
    RunRig rig;
    rig.energyScan(11, 2);
    rig.ctx.options.autoSave = true;
    rig.dialogs.saveAcceptsProposed = false; // a dialog would cancel the save
    const auto save = rig.dir / "save";
    // The proposed name is taken while the run goes on (another program, a colleague).
    rig.pump.once([&] { return rig.engine.pointsMeasured() > 0; },
                  [&] { std::ofstream(save / "c_021205.000") << "someone else's"; });
    rig.engine.startClicked();
    ASSERT_EQ(rig.engine.lastEnd(), RunEnd::Normal);
    EXPECT_FALSE(saveDialogShown(rig.dialogs));
    EXPECT_TRUE(rig.dialogs.shown.empty());
    EXPECT_EQ(rig.saver.lastWritten(), (save / "c_021205.001").string());
    EXPECT_EQ(rig.fields.fileName, "c_021205.001");
    EXPECT_EQ(readFile((save / "c_021205.000").string()).value_or(""), "someone else's");
    EXPECT_TRUE(spectrumText(rig.saver.lastWritten()).has("Scans: 2"));

    // Stopped by the user or ended by a failing instrument: what was measured is kept in a file too.
    rig.pump.once([&] { return rig.state.ScanNumber == 2 && rig.engine.pointsMeasured() >= 3; },
                  [&] { rig.engine.requestStop(); });
    rig.engine.startClicked();
    ASSERT_EQ(rig.engine.lastEnd(), RunEnd::Stopped);
    EXPECT_EQ(rig.saver.lastWritten(), (save / "c_021205.002").string());
    EXPECT_TRUE(spectrumText(rig.saver.lastWritten()).has("Scans: 1"));
    rig.pump.once([&] { return rig.engine.pointsMeasured() >= 4; },
                  [&] {
                      rig.ctx.dialogs.error("Korvo 02", "Error ! Problem with the monochromator?");
                      rig.ctx.values.StopRequest = 1;
                  });
    rig.engine.startClicked();
    ASSERT_EQ(rig.engine.lastEnd(), RunEnd::Stopped);
    EXPECT_EQ(rig.saver.lastWritten(), (save / "c_021205.003").string());
    const SpectrumText failed = spectrumText(rig.saver.lastWritten());
    EXPECT_GE(failed.rows.size(), 4u);
    EXPECT_LT(failed.rows.size(), 11u);
    EXPECT_EQ(failed.value("Points:"), std::to_string(failed.rows.size()));

    // "Save" is still the user's own save, with the dialog.
    rig.dialogs.files = {(save / "mine.dat").string()};
    ASSERT_EQ(rig.engine.saveClicked(), SaveOutcome::Written);
    EXPECT_TRUE(saveDialogShown(rig.dialogs));

    // Nothing measured (the first point waits for a shifted channeltron): nothing saved, and no box
    // waits for the morning.
    rig.dialogs.clear();
    rig.setFactors({"-0.1", "0", "0", "0", "0", "0", "0", "0", "0.1"});
    rig.pump.once([&] { return rig.engine.running(); }, [&] { rig.engine.requestStop(); });
    rig.engine.startClicked();
    ASSERT_EQ(rig.engine.lastEnd(), RunEnd::Stopped);
    EXPECT_EQ(rig.saver.lastWritten(), (save / "mine.dat").string());
    EXPECT_TRUE(rig.dialogs.shown.empty());
}

TEST(NexusBeside, EverySavedSpectrumGetsItsNeXusFileAndItsFailureKeepsTheText) {
    RunRig rig;
    MemoryRunLog log;
    rig.ctx.setRunLog(log);
    rig.energyScan(11, 2);
    rig.ctx.options.autoSave = true;
    rig.ctx.options.saveNexus = true;
    rig.ctx.options.saveRawData = true;
    rig.engine.startClicked();
    ASSERT_EQ(rig.engine.lastEnd(), RunEnd::Normal);
    const std::string text = rig.saver.lastWritten();
    const NexusReadResult r = readNexusFile(nexusPathBeside(text));
    ASSERT_TRUE(r) << r.error;
    ASSERT_EQ(r.spectra.size(), 1u);
    EXPECT_EQ(r.spectra[0].name, "c_021205.000");
    EXPECT_EQ(spectrumTableText(r.spectra[0].table), readFile(text).value_or("")) << "the same spectrum file";
    EXPECT_TRUE(rig.dialogs.shown.empty());
    // The recovery copy after each scan is no saved spectrum.
    EXPECT_FALSE(std::filesystem::exists(rig.dir / "start" / "aktuell.dat.nxs"));

    // The NeXus file's place is taken: the spectrum is saved all the same, the failure said and logged.
    std::filesystem::create_directory(rig.dir / "save" / "c_021205.001.nxs");
    rig.engine.startClicked();
    ASSERT_EQ(rig.engine.lastEnd(), RunEnd::Normal);
    EXPECT_EQ(rig.saver.lastSaveOutcome(), SaveOutcome::Written);
    EXPECT_EQ(rig.saver.lastWritten(), (rig.dir / "save" / "c_021205.001").string());
    EXPECT_TRUE(spectrumText(rig.saver.lastWritten()).has("Scans: 2"));
    ASSERT_EQ(rig.dialogs.shown.size(), 1u);
    EXPECT_EQ(rig.dialogs.shown[0].text.rfind("The spectrum was saved, but its NeXus file could not be written to\r" +
                                                  (rig.dir / "save" / "c_021205.001.nxs").string(),
                                              0),
              0u)
        << rig.dialogs.shown[0].text;
    ASSERT_EQ(log.details("save-failed").size(), 1u);
    EXPECT_EQ(log.details("save").size(), 2u);

    // Off, as it is unless asked for: no NeXus file.
    rig.dialogs.clear();
    rig.ctx.options.saveNexus = false;
    rig.engine.startClicked();
    EXPECT_FALSE(std::filesystem::exists(nexusPathBeside(rig.saver.lastWritten())));
}

TEST(RunLog, StartsRefusalsErrorsSavesAndEndsOneLineEach) {
    RunRig rig;
    MemoryRunLog log;
    rig.ctx.setRunLog(log);
    rig.energyScan(11, 2);
    rig.fields.sample = "Cu(111)";
    rig.engine.startClicked();
    ASSERT_EQ(rig.engine.lastEnd(), RunEnd::Normal);
    const auto events = [&] {
        std::vector<std::string> out;
        for (const auto& e : log.entries) out.push_back(e.event);
        return out;
    };
    EXPECT_EQ(events(), (std::vector<std::string>{"start", "save", "end"}));
    EXPECT_EQ(log.details("start").at(0),
              "CLAM CAE, 100 to 110 eV, 11 points, 2 scans, 10 ms per point, pass energy 10.0, photon 35 eV, "
              "sample Cu(111)");
    EXPECT_EQ(log.details("save").at(0), rig.saver.lastWritten() + ": 11 points, 2 scans");
    EXPECT_EQ(log.details("end").at(0), "normal after scan 2 of 2");

    // A refused start: the messages that refused it, in one line.
    log.entries.clear();
    rig.fields.timePerPoint = "32010";
    rig.engine.startClicked();
    EXPECT_EQ(events(), (std::vector<std::string>{"refused"}));
    EXPECT_EQ(log.details("refused").at(0),
              "Warning !: 32010ms is outside of the valid range  ( t > 9 ms  and  t < 32000 ms)");

    // An instrument error is logged when its box appears; the end says what ended the run.
    log.entries.clear();
    rig.fields.timePerPoint = "10";
    rig.pump.once([&] { return rig.engine.pointsMeasured() >= 4; },
                  [&] {
                      rig.ctx.dialogs.error("Korvo 02", "Error ! Problem with the monochromator?");
                      rig.ctx.values.StopRequest = 1;
                  });
    rig.engine.startClicked();
    EXPECT_EQ(events(), (std::vector<std::string>{"start", "error", "end"}));
    EXPECT_EQ(log.details("error").at(0), "Korvo 02: Error ! Problem with the monochromator?");
    EXPECT_EQ(log.details("end").at(0), "failed in scan 1 of 2: Korvo 02: Error ! Problem with the monochromator?");

    // Stop, then a save that cannot be written.
    log.entries.clear();
    rig.pump.once([&] { return rig.state.ScanNumber == 2; }, [&] { rig.engine.requestStop(); });
    rig.engine.startClicked();
    EXPECT_EQ(log.details("end").at(0), "stopped by the user in scan 2 of 2");
    rig.dialogs.files = {(rig.dir / "missing" / "x.dat").string()};
    EXPECT_EQ(rig.engine.saveClicked(), SaveOutcome::Failed);
    ASSERT_EQ(log.details("save-failed").size(), 1u);
    EXPECT_EQ(log.details("save-failed")[0].rfind((rig.dir / "missing" / "x.dat").string() + ": ", 0), 0u);

    // A script: its start and end around the lines' own runs.
    log.entries.clear();
    ScriptTable table;
    table.setCell(1, ScriptTable::Start, "100");
    table.setCell(2, ScriptTable::Start, "abc"); // refused
    ScriptRun script(rig.station, table);
    script.run();
    EXPECT_EQ(events(), (std::vector<std::string>{"script", "start", "save", "end", "refused", "script"}));
    EXPECT_EQ(log.details("script"),
              (std::vector<std::string>{"start: 2 lines", "end: 2 of 2 lines run, 1 measured to the end and saved"}));
    EXPECT_EQ(log.details("save").at(0), rig.saver.lastWritten() + ": 11 points, 2 scans (script)");
}

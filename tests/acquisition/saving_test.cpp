#include "acquisition/run/saving.h"
#include "rig.h"

#include <cstdio>
#include <ctime>
#include <fstream>
#include <iterator>
#include <gtest/gtest.h>

using namespace korvo;
using namespace korvo::testing;

namespace {
void touch(const std::filesystem::path& p) {
    std::ofstream(p) << "x";
}
} // namespace

TEST(FileNameProposal, CountsAboveNamesInSaveDirAndTheStoredName) {
    RunRig rig;
    const auto save = rig.dir / "save";
    const CalendarDate day{2002, 12, 5};
    std::string stored = "c_990101.000";
    EXPECT_EQ(proposeFileName(ModeClam, stored, save.string(), day), "c_021205.000");
    touch(save / "c_021205.001");
    touch(save / "c_021205.007");
    touch(save / "c_021205.dat"); // not a numbered measurement
    touch(save / "f_021205.050"); // another mode
    touch(save / "c_021204.050"); // another day
    touch(save / "c_021205.");    // no number
    touch(save / "c_021205_050"); // no extension
    touch(save / "c_021205-050");
    EXPECT_EQ(proposeFileName(ModeClam, stored, save.string(), day), "c_021205.008");
    EXPECT_EQ(proposeFileName(ModeCfs, stored, save.string(), day), "f_021205.051");

    std::string today = "c_021205.011";
    EXPECT_EQ(proposeFileName(ModeClam, today, (rig.dir / "start").string(), day), "c_021205.012");
    std::string broken = "short";
    EXPECT_EQ(proposeFileName(ModeKeithley, broken, save.string(), day), "k_021205.000");
    EXPECT_EQ(broken, "t_990101.000");
    std::string tooLong = "c_021205.0111";
    EXPECT_EQ(proposeFileName(ModeClam, tooLong, (rig.dir / "start").string(), day), "c_021205.000");
    EXPECT_EQ(tooLong, "t_990101.000");

    // Past .999 the numbers grow a digit and are still counted, so no name is proposed twice.
    touch(save / "c_021205.999");
    EXPECT_EQ(proposeFileName(ModeClam, stored, save.string(), day), "c_021205.1000");
    touch(save / "c_021205.1000");
    EXPECT_EQ(proposeFileName(ModeClam, stored, save.string(), day), "c_021205.1001");
}

TEST(ManualSave, ExistingNameQuestionAndCancel) {
    RunRig rig;
    rig.energyScan(11, 1);
    rig.dialogs.saveAcceptsProposed = false;
    rig.engine.startClicked(); // the final save dialog is cancelled
    EXPECT_EQ(rig.saver.lastWritten().find("c_021205"), std::string::npos);
    ASSERT_TRUE(rig.engine.controls().saveEnabled);

    touch(rig.dir / "save" / "test.dat");
    rig.fields.fileName = "test.dat";
    rig.dialogs.answers = {DialogAnswer::No};
    rig.dialogs.files = {(rig.dir / "save" / "test.dat").string()};
    EXPECT_EQ(rig.engine.saveClicked(), SaveOutcome::Written);
    EXPECT_TRUE(rig.dialogs.saw("file all ready exists! \rSearch for a valid filename ?"));
    EXPECT_EQ(rig.fields.fileName, "test.dat");

    // Yes searches a free name.
    rig.dialogs.answers = {DialogAnswer::Yes};
    rig.dialogs.saveAcceptsProposed = true;
    rig.fields.fileName = "test.dat";
    rig.saver.proposedName = "";
    EXPECT_EQ(rig.engine.saveClicked(), SaveOutcome::Written);
    EXPECT_EQ(rig.fields.fileName, "c_021205.000");
    EXPECT_TRUE(std::filesystem::exists(rig.dir / "save" / "c_021205.000"));

    // A script saves without a dialog into the save directory.
    const auto shownBefore = rig.dialogs.shown.size();
    rig.saver.scriptRunning = true;
    std::string column0;
    rig.saver.scriptColumn0 = [&](const std::string& t) { column0 = t; };
    rig.fields.fileName = "c_021205.005";
    EXPECT_EQ(rig.engine.saveClicked(), SaveOutcome::Written);
    EXPECT_EQ(column0, "c_021205.005");
    EXPECT_EQ(rig.dialogs.shown.size(), shownBefore);
    EXPECT_TRUE(std::filesystem::exists(rig.dir / "save" / "c_021205.005"));

    // Another folder chosen in the dialog becomes the save directory, the name chosen the file name.
    rig.saver.scriptRunning = false;
    std::filesystem::create_directory(rig.dir / "other");
    rig.dialogs.files = {(rig.dir / "other" / "mine.dat").string()};
    EXPECT_EQ(rig.engine.saveClicked(), SaveOutcome::Written);
    EXPECT_TRUE(std::filesystem::exists(rig.dir / "other" / "mine.dat"));
    EXPECT_EQ(rig.store.saveDir, (rig.dir / "other").string());
    EXPECT_EQ(rig.fields.fileName, "mine.dat");
}

TEST(ManualSave, UnwritableDirectoryIsReportedNotClaimed) {
    RunRig rig;
    rig.energyScan(11, 1);
    rig.store.startDir = (rig.dir / "missing" / "dir").string();
    rig.store.saveDir = rig.store.startDir;
    rig.engine.startClicked();
    EXPECT_EQ(rig.saver.lastWritten(), "");
    ASSERT_FALSE(rig.dialogs.texts().empty());
    EXPECT_NE(rig.dialogs.texts().back().find("could not be written"), std::string::npos);
}
TEST(SpectrumHeader, TheSavedFileDescribesTheRun) {
    RunRig rig;
    rig.energyScan(3, 2);
    rig.setFactors({"-0.2", "0", "0", "0", "0", "0", "0", "0", "0.2"});
    rig.fields.kindOfMeasure = 2;
    rig.fields.comment = "my comment";
    rig.fields.sample = "my sample";
    rig.fields.photon = "36.5";
    rig.engine.startClicked();
    ASSERT_EQ(rig.engine.lastEnd(), RunEnd::Normal);
    std::ifstream in(rig.saver.lastWritten(), std::ios::binary);
    const std::string file{std::istreambuf_iterator<char>(in), {}};
    const std::vector<std::string> lines = {
        "Comment: my comment", "Probe: my sample", "FileName: " + (rig.dir / "save" / "c_021205.000").string(),
        "MeasTime: 10",        "MeasTyp: CRR",     "Scans: 2",
        "Points:3",            "PassEn:10.000",    "AnaSta:100.000",
        "AnaEnd:110.000",      "PhotEn: 36.500",   "Energy Channeltron_1...-2.0000 eV",
        "Energy Channeltron_9...+2.0000 eV"};
    for (const std::string& line : lines)
        EXPECT_NE(file.find("\r\n" + line + "\r\n"), std::string::npos) << line;
}

TEST(SpectrumHeader, KindTexts) {
    struct Case {
        std::uint8_t mode;
        int kind;
        const char* text;
    };
    for (const Case& c : {Case{ModeClam, -1, "c(t)"}, Case{ModeClam, 0, "c(t)"}, Case{ModeClam, 1, "CAE"},
                          Case{ModeCfs, 2, "CRR"}, Case{ModeClam, 3, "CRR"}, Case{ModeKeithley, 0, "c(t)"},
                          Case{ModeKeithley, 1, "KEI"}, Case{ModeKeithley, 2, "KEI"}})
        EXPECT_EQ(kindText(c.mode, c.kind), c.text) << int(c.mode) << " " << c.kind;
}

TEST(ManualSave, ANameChosenWithoutAFolderGoesToTheSaveDirectory) {
    RunRig rig;
    rig.energyScan(3, 1);
    rig.engine.startClicked();
    rig.dialogs.files = {std::string("rel.dat")};
    EXPECT_EQ(rig.engine.saveClicked(), SaveOutcome::Written);
    EXPECT_TRUE(std::filesystem::exists(rig.dir / "save" / "rel.dat"));
    EXPECT_EQ(rig.fields.fileName, "rel.dat");
    EXPECT_EQ(rig.store.saveDir, (rig.dir / "save").string());
}

TEST(FileNameProposal, WithoutAClockOfItsOwnTheSaverTakesToday) {
    RunRig rig;
    rig.saver.today = nullptr;
    const std::time_t now = std::time(nullptr);
    std::tm tm{};
    localtime_r(&now, &tm);
    char digits[40];
    std::snprintf(digits, sizeof digits, "%02d%02d%02d", tm.tm_year % 100, tm.tm_mon + 1, tm.tm_mday);
    rig.measurement.state.MachineMode = ModeClam;
    rig.saver.proposeNext();
    EXPECT_EQ(rig.saver.proposedName, std::string("c_") + digits + ".000");
}

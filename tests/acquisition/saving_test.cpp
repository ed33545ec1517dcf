#include "acquisition/run/saving.h"
#include "rig.h"

#include <fstream>
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
    EXPECT_EQ(proposeFileName(ModeClam, stored, save.string(), day), "c_021205.008");
    EXPECT_EQ(proposeFileName(ModeCfs, stored, save.string(), day), "f_021205.051");

    std::string today = "c_021205.011";
    EXPECT_EQ(proposeFileName(ModeClam, today, (rig.dir / "start").string(), day), "c_021205.012");
    std::string broken = "short";
    EXPECT_EQ(proposeFileName(ModeKeithley, broken, save.string(), day), "k_021205.000");
    EXPECT_EQ(broken, "t_990101.000");

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

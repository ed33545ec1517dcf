// File-name proposals at their edges, and the report of a recovery copy that cannot be written.
#include "acquisition/run/saving.h"
#include "common/file_util.h"
#include "rig.h"

#include <algorithm>
#include <fstream>
#include <gtest/gtest.h>

using namespace korvo;
using namespace korvo::testing;

TEST(FileNameProposalEdges, CountsFromTheHighestNumberInTheFolderAndTheStoredNameOfToday) {
    const CalendarDate day{2002, 12, 5};
    struct Case {
        std::vector<const char*> folder; // extensions of c_021205.* in the save directory
        const char* stored;
        const char* proposal;
    };
    for (const Case& c : {
             // One above the highest number used today, .000 counting as a number like any other.
             Case{{"000"}, "t_990101.000", "c_021205.001"},
             Case{{"000", "001", "002"}, "t_990101.000", "c_021205.003"},
             // The stored name counts only when it is today's and its number lies above the count
             // so far: an empty folder after c_021205.000 starts at .000 again.
             Case{{}, "c_021205.000", "c_021205.000"},
             Case{{}, "c_021204.005", "c_021205.000"},
             // With a file of the stored name's day in the folder the stored number counts as used:
             // .002 is not proposed again.
             Case{{"001"}, "c_021205.002", "c_021205.003"},
             Case{{}, "c_021205.105", "c_021205.106"}, // every digit of the stored number counts
             // Up to nine digits are a number.
             Case{{"123456789"}, "t_990101.000", "c_021205.123456790"},
             Case{{"1234567890"}, "t_990101.000", "c_021205.000"},
         }) {
        RunRig rig;
        const auto save = rig.dir / "save";
        for (const char* ext : c.folder) std::ofstream(save / (std::string("c_021205.") + ext)) << "x";
        std::string stored = c.stored;
        EXPECT_EQ(proposeFileName(ModeClam, stored, save.string(), day), c.proposal) << c.stored;
        EXPECT_EQ(stored, c.stored); // the stored name is only read
    }
}

TEST(RecoveryCopy, AnUnwritableStartDirIsReportedOncePerRunThoughEveryScanTriesIt) {
    RunRig rig;
    rig.energyScan(5, 4);
    const auto startDir = rig.dir / "missing"; // where aktuell.dat goes
    rig.store.startDir = startDir.string();
    auto reports = [&] {
        const auto t = rig.dialogs.texts();
        return std::count_if(t.begin(), t.end(), [](const std::string& s) {
            return s.find("could not be written") != std::string::npos &&
                   s.find(kRecoveryFileName) != std::string::npos;
        });
    };
    // Scans 1 to 3 fail to write the copy; the directory appears during scan 4, whose copy is written.
    rig.pump.once([&] { return rig.state.ScanNumber == 4; },
                  [&] { std::filesystem::create_directories(startDir); });
    rig.engine.startClicked();
    ASSERT_EQ(rig.engine.lastEnd(), RunEnd::Normal);
    EXPECT_EQ(reports(), 1);
    const auto copy = readFile((startDir / kRecoveryFileName).string());
    ASSERT_TRUE(copy);
    EXPECT_NE(copy->find("\r\nScans: 4\r\n"), std::string::npos);
    // The spectrum itself goes to the save directory as usual.
    EXPECT_NE(rig.saver.lastWritten(), "");
    EXPECT_EQ(rig.saver.lastSaveOutcome(), SaveOutcome::Written);

    // The next run tells again, once.
    std::filesystem::remove_all(startDir);
    rig.engine.startClicked();
    ASSERT_EQ(rig.engine.lastEnd(), RunEnd::Normal);
    EXPECT_EQ(reports(), 2);
}

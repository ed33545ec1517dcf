// The script table: filling line 1 from the main window, Auto Fill, the context menu's line
// operations, and the text file a night's series is prepared in.
#include "acquisition/script_table.h"
#include "files/measurement_data.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

namespace korvo {
namespace {

using T = ScriptTable;

std::string readAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

TEST(ScriptTable, HeaderAndClearFillLineOneFromTheMainWindow) {
    T table;
    EXPECT_EQ(table.cell(0, T::FileName), " File Name");
    EXPECT_EQ(table.cell(0, T::Sample), " Sample");
    EXPECT_EQ(T::kWidths[T::Manipulator], 66);
    table.setCell(7, T::Start, "99");
    MeasurementFields f;
    f.start = "284.5";
    f.second = "12";
    f.third = "121";
    f.scans = "3";
    f.passEnergyIndex = 12;
    f.timePerPoint = "200";
    table.clear(f, ModeCis);
    EXPECT_EQ(table.line(1), (T::Line{"CIS", "284.5", "12", "121", "3", "10", "200", "-", "-", "-", "-"}));
    EXPECT_EQ(table.cell(7, T::Start), "");
    EXPECT_EQ(table.lastUsedRow(), 1);
    // A pass-energy text that is no list item (a legacy INI value) is taken as it stands.
    f.passEnergyText = "7.5";
    table.clear(f, ModeClam);
    EXPECT_EQ(table.cell(1, T::Machine), "CLAM");
    EXPECT_EQ(table.cell(1, T::Pass), "7.5");
    // Outside the table nothing is read or written.
    table.setCell(51, 1, "x");
    table.setCell(1, 12, "x");
    EXPECT_EQ(table.cell(51, 1), "");
    EXPECT_EQ(table.cell(-1, 0), "");
}

TEST(ScriptTable, AutoFillRepeatsTheLineAboveAndNumbersTheRows) {
    T table;
    table.setCell(1, T::Machine, "CLAM");
    table.setCell(1, T::Start, "100");
    table.setCell(1, T::Ramp, "20");
    table.setCell(1, T::Pass, "20");
    table.setCell(2, T::Start, "200"); // only a new start energy
    table.setCell(4, T::Scans, "9");   // row 3 empty in between
    EXPECT_EQ(table.lastUsedRow(), 4);
    table.autoFill();
    EXPECT_EQ(table.line(2), (T::Line{"CLAM", "200", "20", "", "", "20", "", "", "", "", ""}));
    EXPECT_EQ(table.line(3), table.line(2));
    EXPECT_EQ(table.cell(4, T::Start), "200");
    EXPECT_EQ(table.cell(4, T::Scans), "9");
    EXPECT_EQ(table.cell(3, T::FileName), "  Nr. 03/04");
    EXPECT_EQ(table.cell(1, T::FileName), "  Nr. 01/04");
    EXPECT_EQ(table.cell(5, T::FileName), "");
    // Column 0 alone does not make a row used.
    EXPECT_EQ(table.lastUsedRow(), 4);
    T empty;
    empty.autoFill();
    EXPECT_EQ(empty.lastUsedRow(), 0);
    EXPECT_EQ(empty, T{});
}

TEST(ScriptTable, CopyPasteDeleteAndInsertLeaveColumnZero) {
    T table;
    for (int r = 1; r <= T::kLines; ++r) {
        table.setCell(r, T::FileName, "n" + std::to_string(r));
        table.setCell(r, T::Start, std::to_string(r));
    }
    table.copyLine(3);
    table.pasteLine(10);
    EXPECT_EQ(table.cell(10, T::Start), "3");
    EXPECT_EQ(table.cell(10, T::FileName), "n10");

    table.deleteLine(2);
    EXPECT_EQ(table.cell(2, T::Start), "3");
    EXPECT_EQ(table.cell(49, T::Start), "50");
    EXPECT_EQ(table.cell(50, T::Start), "");
    EXPECT_EQ(table.cell(2, T::FileName), "n2");

    table.insertLine(5);
    EXPECT_EQ(table.cell(5, T::Start), "");
    EXPECT_EQ(table.cell(6, T::Start), "6");
    EXPECT_EQ(table.cell(50, T::Start), "50");

    // Insert on row 50 only empties row 50; row numbers outside 1 .. 50 do nothing.
    table.insertLine(50);
    EXPECT_EQ(table.cell(50, T::Start), "");
    EXPECT_EQ(table.cell(49, T::Start), "49");
    const T before = table;
    table.insertLine(0);
    table.deleteLine(51);
    table.pasteLine(0);
    EXPECT_EQ(table, before);
}

TEST(ScriptTable, FileRoundTripAndRefusalsKeepTheTable) {
    testing::TempDir dir;
    T table;
    table.setCell(1, T::Machine, "CLAM");
    table.setCell(1, T::Start, "100");
    table.setCell(1, T::Photon, "-");
    table.setCell(3, T::Sample, "12.5"); // row 2 empty between used rows
    table.setCell(1, T::FileName, "  Nr. 01/03");
    const std::string path = dir.file("night.txt");
    std::string message;
    ASSERT_TRUE(saveScriptFile(path, table, &message)) << message;
    const std::string text = readAll(path);
    EXPECT_EQ(text, "CLAM\t100\t\t\t\t\t\t-\t\t\t\n\t\t\t\t\t\t\t\t\t\t\n\t\t\t\t\t\t\t\t\t\t12.5\n");

    T loaded;
    loaded.setCell(20, T::Start, "old");
    ASSERT_TRUE(loadScriptFile(path, loaded, &message)) << message;
    for (int r = 1; r <= T::kLines; ++r) EXPECT_EQ(loaded.line(r), table.line(r)) << r;
    EXPECT_EQ(loaded.cell(1, T::FileName), ""); // column 0 is the program's

    // An editor's file: CRLF line ends and trailing blank lines.
    std::ofstream(dir.file("crlf.txt"), std::ios::binary) << "KEI\t5\t-\t-\t-\t-\t-\t-\t1\t2\t3\r\n\r\n\r\n";
    ASSERT_TRUE(loadScriptFile(dir.file("crlf.txt"), loaded, &message)) << message;
    EXPECT_EQ(loaded.line(1), (T::Line{"KEI", "5", "-", "-", "-", "-", "-", "-", "1", "2", "3"}));
    EXPECT_EQ(loaded.lastUsedRow(), 1);

    // Refusals: the table stays as it was, the message says why.
    const T kept = loaded;
    const auto refused = [&](const std::string& name, const std::string& content, const std::string& why) {
        std::ofstream(dir.file(name), std::ios::binary) << content;
        std::string m;
        EXPECT_FALSE(loadScriptFile(dir.file(name), loaded, &m)) << name;
        EXPECT_NE(m.find(why), std::string::npos) << m;
        EXPECT_EQ(loaded, kept) << name;
    };
    refused("ten.txt", "a\tb\tc\td\te\tf\tg\th\ti\tj\n", "Line 1 of the script has 10 cells separated by tabs; it needs 11.");
    refused("twelve.txt", "CLAM\t1\t2\t3\t4\t5\t6\t7\t8\t9\t10\nCLAM\t1\t2\t3\t4\t5\t6\t7\t8\t9\t10\t11\n",
            "Line 2 of the script has 12 cells");
    std::string many;
    for (int i = 0; i < 51; ++i) many += "CLAM\t1\t2\t3\t4\t5\t6\t7\t8\t9\t10\n";
    refused("many.txt", many, "The script has 51 lines; a script holds at most 50.");
    refused("control.txt", std::string("CLAM\t1\x1b\t2\t3\t4\t5\t6\t7\t8\t9\t10\n"), "holds a control character");
    std::string m;
    EXPECT_FALSE(loadScriptFile(dir.file("missing.txt"), loaded, &m));
    EXPECT_NE(m.find("cannot be read"), std::string::npos);
    EXPECT_FALSE(loadScriptFile(dir.path.string(), loaded, &m)); // a directory
    EXPECT_EQ(loaded, kept);

    // Fifty lines are a full table.
    many.resize(many.size() - std::string("CLAM\t1\t2\t3\t4\t5\t6\t7\t8\t9\t10\n").size());
    std::ofstream(dir.file("fifty.txt"), std::ios::binary) << many;
    ASSERT_TRUE(loadScriptFile(dir.file("fifty.txt"), loaded, &m)) << m;
    EXPECT_EQ(loaded.lastUsedRow(), 50);

    // A save into a directory that does not exist fails and says so.
    EXPECT_FALSE(saveScriptFile(dir.file("no/such/dir.txt"), table, &m));
    EXPECT_NE(m.find("was not saved"), std::string::npos);
}

} // namespace
} // namespace korvo

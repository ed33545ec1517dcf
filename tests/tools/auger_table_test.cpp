// "auger.dat": reading, the refusals, writing back and the stick spectrum of one element.
#include "auger_test_util.h"
#include "support/temp_dir.h"
#include "tools/auger_table.h"
#include "viewer/load.h"

#include <gtest/gtest.h>

using namespace korvo;
using korvo::testing::blockWithPeaks;
using korvo::testing::kSmallAugerFile;
using korvo::testing::readAll;
using korvo::testing::TempDir;
using korvo::testing::writeAll;

namespace {

AugerTable smallTable() {
    AugerReadResult r = readAugerText(kSmallAugerFile);
    EXPECT_TRUE(r) << r.error;
    return r ? *r.table : AugerTable{};
}

} // namespace

TEST(AugerRead, BlocksFillTheirColumnsAndALineWithoutBracketLeavesOneEmpty) {
    const AugerTable t = smallTable();
    EXPECT_EQ(t.name(1), "[C]");
    EXPECT_EQ(t.energy(1, 1), 272);
    EXPECT_EQ(t.intensity(1, 1), 100);
    EXPECT_EQ(t.energy(1, 2), 0);
    EXPECT_EQ(t.name(2), "[O]");
    EXPECT_EQ(t.energy(2, 3), 468);
    EXPECT_EQ(t.intensity(2, 2), 60);
    EXPECT_EQ(t.energy(2, 4), 0);
    // The empty line after the oxygen block stands for column 3; silver is column 4.
    EXPECT_EQ(t.name(3), "");
    EXPECT_EQ(t.energy(3, 1), 0);
    EXPECT_EQ(t.name(4), "[Ag]");
    EXPECT_EQ(t.intensity(4, 2), 80);
    for (int e = 5; e <= AugerTable::kElements; ++e) EXPECT_EQ(t.name(e), "") << e;
    // A file that ends without the closing empty line, with LF line ends.
    AugerReadResult bare = readAugerText("[N]\n379  100\n365  40");
    ASSERT_TRUE(bare) << bare.error;
    EXPECT_EQ(bare.table->energy(1, 2), 365);
    EXPECT_EQ(bare.table->intensity(1, 2), 40);
}

TEST(AugerRead, TwentyNinePeaksAreKeptAndTheThirtiethIsRefused) {
    AugerReadResult full = readAugerText(blockWithPeaks("[Fe]", 29));
    ASSERT_TRUE(full) << full.error;
    EXPECT_EQ(full.table->energy(1, 29), 129);
    EXPECT_EQ(full.table->intensity(1, 29), 29);

    AugerReadResult over = readAugerText(blockWithPeaks("[C]", 2) + blockWithPeaks("[Fe]", 30));
    EXPECT_FALSE(over);
    EXPECT_EQ(over.errorLine, 4 + 30 + 1);
    EXPECT_NE(over.error.find("more than 29 peaks"), std::string::npos) << over.error;
    EXPECT_NE(over.error.find("element 2 [Fe]"), std::string::npos) << over.error;
}

TEST(AugerRead, CellsThatAreNoWordsAreRefusedWithTheirLine) {
    struct Case {
        const char* text;
        const char* said;
    } cases[] = {
        {"[C]\r\n272  abc\r\n", "intensity 'abc' is not a valid integer value"},
        {"[C]\r\n27x  100\r\n", "energy '27x' is not a valid integer value"},
        {"[C]\r\n272 100\r\n", "energy '272 100' is not a valid integer value"}, // one space only
        {"[C]\r\n70000  1\r\n", "energy '70000'"},
        {"[C]\r\n272  -1\r\n", "intensity '-1'"},
        {"[C]\r\n272  100\r\n[O]\r\n", "energy '[O]'"}, // a block without its closing empty line
    };
    for (const Case& c : cases) {
        AugerReadResult r = readAugerText(c.text);
        EXPECT_FALSE(r) << c.text;
        EXPECT_NE(r.error.find(c.said), std::string::npos) << r.error;
        EXPECT_GE(r.errorLine, 2) << c.text;
    }
}

TEST(AugerRead, AMissingOrOversizedFileIsRefused) {
    TempDir dir;
    AugerReadResult missing = readAugerFile(dir.file("auger.dat"));
    EXPECT_FALSE(missing);
    EXPECT_NE(missing.error.find("Cannot read " + dir.file("auger.dat")), std::string::npos) << missing.error;

    writeAll(dir.file("big.dat"), std::string(kMaxAugerFileBytes + 1, '\n'));
    EXPECT_FALSE(readAugerFile(dir.file("big.dat")));
    EXPECT_FALSE(readAugerFile(dir.path.string())); // a directory
}

TEST(AugerWrite, EditedTableReadsBackEqual) {
    TempDir dir;
    const std::string path = dir.file("auger.dat");
    AugerTable t = smallTable();
    // Edits as the grid makes them: a new element in the empty column 3, a changed intensity, and an
    // energy emptied in the middle of a block (that peak is no longer written).
    AugerCells energies = cellsOf(t, AugerTable::View::Energy);
    energies.names[3] = "[N]";
    energies.values[3][1] = "379";
    energies.values[2][2] = "";
    ASSERT_TRUE(storeCells(t, AugerTable::View::Energy, energies));
    AugerCells intensities = cellsOf(t, AugerTable::View::Intensity);
    intensities.values[3][1] = "100";
    intensities.values[4][2] = "75";
    ASSERT_TRUE(storeCells(t, AugerTable::View::Intensity, intensities));

    std::string error;
    ASSERT_TRUE(writeAugerFile(path, t, &error)) << error;
    const std::string bytes = readAll(path);
    EXPECT_EQ(
        bytes.rfind("[C]\r\n272  100\r\n\r\n[O]\r\n503  100\r\n468  25\r\n\r\n[N]\r\n379  100\r\n\r\n", 0),
        0u)
        << bytes;

    AugerReadResult back = readAugerFile(path);
    ASSERT_TRUE(back) << back.error;
    EXPECT_EQ(back.table->energy(2, 2), 468); // the emptied peak is gone, the next moved up
    EXPECT_EQ(back.table->energy(3, 1), 379);
    EXPECT_EQ(back.table->intensity(4, 2), 75);
    // Written once more, the file is the same byte for byte.
    ASSERT_TRUE(writeAugerFile(dir.file("again.dat"), *back.table));
    EXPECT_EQ(readAll(dir.file("again.dat")), bytes);

    // A byte order mark in front of a name, from a file joined to another or from a pasted cell, is
    // no part of the name: it neither comes in nor goes out as a '?'.
    AugerReadResult joined = readAugerText("[C]\r\n272  100\r\n\r\n\xEF\xBB\xBF[O]\r\n503  100\r\n");
    ASSERT_TRUE(joined) << joined.error;
    EXPECT_EQ(joined.table->name(2), "[O]");
    back.table->setName(4, "\xEF\xBB\xBF[Ag]");
    ASSERT_TRUE(writeAugerFile(dir.file("marked.dat"), *back.table));
    const AugerReadResult marked = readAugerFile(dir.file("marked.dat"));
    ASSERT_TRUE(marked) << marked.error;
    EXPECT_EQ(marked.table->name(4), "[Ag]");
}

TEST(AugerWrite, EmptyColumnsBetweenElementsKeepTheLaterElementsInPlace) {
    TempDir dir;
    AugerTable t;
    t.setName(1, "[Li]");
    t.setPeak(1, 1, 43, 100);
    t.setName(5, "[B]");
    t.setPeak(5, 1, 179, 100);
    t.setName(90, "[Th]");
    for (int k = 1; k <= AugerTable::kPeaks; ++k)
        t.setPeak(90, k, std::uint16_t(65506 + k), std::uint16_t(k));
    ASSERT_TRUE(writeAugerFile(dir.file("auger.dat"), t));
    AugerReadResult back = readAugerFile(dir.file("auger.dat"));
    ASSERT_TRUE(back) << back.error;
    EXPECT_TRUE(*back.table == t);
}

TEST(AugerWrite, AColumnThatWouldNotReadBackIsRefusedAndTheFileStays) {
    TempDir dir;
    const std::string path = dir.file("auger.dat");
    writeAll(path, kSmallAugerFile);
    for (const char* name : {"", "Carbon"}) {
        AugerTable t = smallTable();
        t.setName(1, name);
        std::string error;
        EXPECT_FALSE(writeAugerFile(path, t, &error)) << name;
        EXPECT_NE(error.find("Column 1"), std::string::npos) << error;
        EXPECT_NE(error.find("brackets"), std::string::npos) << error;
        EXPECT_EQ(readAll(path), kSmallAugerFile);
    }
    // A name without brackets and without peaks is refused too: it would come back as nothing.
    AugerTable t = smallTable();
    t.setName(3, "N");
    EXPECT_FALSE(writeAugerFile(path, t));
    EXPECT_EQ(readAll(path), kSmallAugerFile);
}

TEST(AugerCells, TheTwentyNinthPeakThatTheGridDoesNotShowIsKept) {
    AugerReadResult r = readAugerText(blockWithPeaks("[Fe]", 29));
    ASSERT_TRUE(r);
    AugerTable t = *r.table;
    AugerCells cells = cellsOf(t, AugerTable::View::Energy);
    cells.values[1][1] = "99";
    ASSERT_TRUE(storeCells(t, AugerTable::View::Energy, cells));
    EXPECT_EQ(t.energy(1, 1), 99);
    EXPECT_EQ(t.energy(1, 29), 129);
    EXPECT_EQ(t.intensity(1, 29), 29);
}

TEST(AugerStick, ThreeLinesPerPeakThatTheViewerLoads) {
    AugerTable t = smallTable();
    EXPECT_EQ(stickSpectrumText(t, 1),
              " 2.71990000000000E+0002  0\r\n272  100\r\n 2.72010000000000E+0002  0\r\n");
    EXPECT_EQ(stickSpectrumText(t, 3), ""); // no peaks, no lines

    TempDir dir;
    const std::string path = dir.file("oxygen.dat");
    std::string error;
    ASSERT_TRUE(writeStickSpectrum(path, t, 2, &error)) << error;
    tvar ws;
    LoadOutcome loaded = loadFiles(ws, {path});
    ASSERT_TRUE(loaded) << loaded.message;
    ASSERT_EQ(loaded.added.size(), 1u);
    const auto points = ws.points(loaded.added[0]);
    const double expected[][2] = {{502.99, 0}, {503, 100},  {503.01, 0}, {482.99, 0}, {483, 60},
                                  {483.01, 0}, {467.99, 0}, {468, 25},   {468.01, 0}};
    ASSERT_EQ(points.size(), std::size(expected));
    for (std::size_t i = 0; i < points.size(); ++i) {
        EXPECT_NEAR(points[i].x, expected[i][0], 1e-9) << i;
        EXPECT_EQ(points[i].y, expected[i][1]) << i;
    }
}

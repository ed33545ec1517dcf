// "Single Multi -> project": the header keys, which rows become points, the ten-spectrum project it
// writes, and the files it must refuse without writing anything.
#include "files/multichanneltron.h"
#include "files/project_file.h"
#include "files/spectrum_test_util.h"
#include "files/spectrum_writer.h"
#include "foreign_test_util.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <filesystem>

using namespace korvo;
using korvo::testing::countRow;
using korvo::testing::multichanneltronText;
using korvo::testing::splitCrLf;

TEST(Multichanneltron, RowsBetweenAnaStaAndAnaEndBecomeTenSpectraOfTheProject) {
    // 9.90 lies below AnaSta (an extra point); 10.30 follows the row at AnaEnd and is never read.
    const std::string text = multichanneltronText({countRow("9.90", 1), countRow("10.00", 100), "",
                                                   countRow("10.10", 300), countRow("10.20", 200),
                                                   countRow("10.30", 5), "END"});
    const MultichanneltronReadResult r = readMultichanneltronText(text, "m.000");
    ASSERT_TRUE(r) << r.error;
    const MultichanneltronFile& f = r.file;
    EXPECT_EQ(f.comment, " clean surface");
    EXPECT_EQ(f.sample, " Cu(111)");
    EXPECT_EQ(f.date, "  01.02.2026 10:11:12");
    EXPECT_EQ(f.scans, 2);
    EXPECT_EQ(f.passEnergy, 20);
    EXPECT_EQ(f.x, (std::vector<double>{10.0, 10.1, 10.2}));
    EXPECT_EQ(f.counts[0], (std::vector<std::int64_t>{100, 300, 200}));
    EXPECT_EQ(f.counts[9], (std::vector<std::int64_t>{109, 309, 209}));
    EXPECT_EQ(f.minimum[3], 103);
    EXPECT_EQ(f.maximum[3], 303);

    MultichanneltronWindowValues window;
    window.measTime = 250;
    window.scanCounter = 4;
    const std::string bytes = multichanneltronProjectBytes(f, "/data/m.000", window);
    const std::vector<std::string> lines = splitCrLf(bytes);
    ASSERT_EQ(lines.size(), 5u + 10 * 25 + 10 * 3 + 2);
    EXPECT_EQ(std::vector<std::string>(lines.begin(), lines.begin() + 5),
              (std::vector<std::string>{"10", "500", "400", "", ""}));
    // The block of column 3.
    const std::vector<std::string> block(lines.begin() + 5 + 3 * 25, lines.begin() + 5 + 4 * 25);
    const std::vector<std::string> expected = {"/data/m.000",
                                               "/data/m.000",
                                               "Ch : 3",
                                               " Cu(111)",
                                               " clean surface",
                                               "  01.02.2026 10:11:12",
                                               "2",
                                               " 2.00000000000000E+0001",
                                               "3",
                                               "250",
                                               "4",
                                               " 0.00000000000000E+0000",
                                               " 3.03000000000000E+0002", // column maximum
                                               " 1.03000000000000E+0002", // column minimum
                                               " 1.00000000000000E+0001", // first x
                                               " 1.02000000000000E+0001", // last x
                                               " 1.02000000000000E+0001",
                                               " 1.00000000000000E+0001",
                                               " 1.03000000000000E+0002",
                                               " 3.03000000000000E+0002",
                                               "3",
                                               "9", // n x c
                                               "---NextSpectrum---",
                                               "",
                                               ""};
    EXPECT_EQ(block, expected);
    // Points: column after column, x with four decimals and the count as an integer.
    const std::size_t points = 5 + 10 * 25;
    EXPECT_EQ(lines[points], "10.0000 100");
    EXPECT_EQ(lines[points + 2], "10.2000 200");
    EXPECT_EQ(lines[points + 3 * 3 + 1], "10.1000 303");
    EXPECT_EQ(lines[lines.size() - 2], "100");
    EXPECT_EQ(lines.back(), "100");

    // The project reads back as the viewer loads it.
    std::vector<SpectrumPoint> read;
    const ProjectReadResult back = readProjectText(bytes, "m.000.k98", read);
    ASSERT_TRUE(back) << back.error;
    ASSERT_EQ(back.layout.blocks.size(), 10u);
    EXPECT_EQ(back.layout.blocks[9].ShortName, "Ch : 9");
    ASSERT_EQ(read.size(), 30u);
    EXPECT_EQ(read[9 * 3 + 1].x, 10.1);
    EXPECT_EQ(read[9 * 3 + 1].y, 309);
}

TEST(Multichanneltron, AFileTheMeasurementSavedWithItsRawDataAndExtraPoints) {
    SpectrumHeader h = korvo::testing::clamHeader();
    h.points = 5;
    h.ramp = 4;
    h.maxPositiveShift = 2;
    h.maxNegativeShift = 2;
    SpectrumSaveOptions options;
    options.saveExtraPoints = true;
    options.saveRawData = true;
    const DataBlock block = korvo::testing::makeBlock(h, 10, 1);
    const MultichanneltronReadResult r =
        readMultichanneltronText(spectrumFileBytes(h, options, block), "t_990101.000");
    ASSERT_TRUE(r) << r.error;
    // Records 3 to 7 are the scan window 10 .. 14; the two on either side are extra points.
    ASSERT_EQ(r.file.x, (std::vector<double>{10, 11, 12, 13, 14}));
    for (std::size_t c = 0; c < 10; ++c)
        EXPECT_EQ(r.file.counts[c].front(), static_cast<std::int64_t>(300 + c)) << c;
    EXPECT_EQ(r.file.lower, 10);
    EXPECT_EQ(r.file.upper, 14);
}

TEST(Multichanneltron, DataEndAtAnaEndAtEndOrAtTheEndOfTheFile) {
    struct Case {
        const char* what;
        std::vector<std::string> rows;
        std::size_t points;
    };
    const Case cases[] = {
        {"the file ends before AnaEnd", {countRow("10.00", 1), countRow("10.10", 2)}, 2},
        {"END before AnaEnd", {countRow("10.00", 1), "END", countRow("10.10", 2)}, 1},
        {"a row beyond AnaEnd ends the data", {countRow("10.00", 1), countRow("10.50", 2), countRow("10.10", 3)}, 1},
        {"counts beyond the tenth column are passed over", {countRow("10.00", 1) + " 77 88"}, 1},
        {"a downward scan: the first row at AnaEnd ends it", {countRow("10.20", 1), countRow("10.10", 2)}, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const MultichanneltronReadResult r = readMultichanneltronText(multichanneltronText(c.rows), "m");
        ASSERT_TRUE(r) << r.error;
        EXPECT_EQ(r.file.x.size(), c.points);
    }
}

TEST(Multichanneltron, FilesThatCannotBeConverted) {
    struct Case {
        const char* what;
        std::string text;
        MultichanneltronFault fault;
        const char* says;
    };
    const std::string good = multichanneltronText({countRow("10.00", 1)});
    const auto replaced = [&good](const std::string& what, const std::string& with) {
        std::string s = good;
        s.replace(s.find(what), what.size(), with);
        return s;
    };
    const Case cases[] = {
        {"no channeltron lines", replaced("Channeltron_9", "Channeltron_X"), MultichanneltronFault::NoChanneltrons,
         "No channeltrons in the file ?"},
        {"no AnaEnd key", replaced("AnaEnd:", "AnaEnX:"), MultichanneltronFault::Header, "no \"AnaEnd:\" line"},
        {"a decimal comma", replaced("PassEn:20.000", "PassEn:20,000"), MultichanneltronFault::Header,
         "\"PassEn:\" is followed by \"20,000\""},
        {"scans no integer", replaced("Scans: 2", "Scans: two"), MultichanneltronFault::Header, "\"Scans:\""},
        {"a row of the summed counts only", multichanneltronText({"10.00 55"}), MultichanneltronFault::Data,
         "the row has 1 counts, ten expected"},
        {"a count with decimals", multichanneltronText({"10.00 1.5 2 3 4 5 6 7 8 9 10"}),
         MultichanneltronFault::Data, "\"1.5\" is not a count"},
        {"an energy with a comma", multichanneltronText({"10,00 1 2 3 4 5 6 7 8 9 10"}),
         MultichanneltronFault::Data, "\"10,00\" is not an energy"},
        {"no row in the window", multichanneltronText({countRow("12.00", 1)}), MultichanneltronFault::Data,
         "no point lies between AnaSta 10 and AnaEnd 10.2"},
        {"binary data after BEGIN", good + std::string("\x7F\x00\xFF\x01 junk", 10), MultichanneltronFault::Data,
         "is not an energy"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const MultichanneltronReadResult r = readMultichanneltronText(c.text, "m.000");
        EXPECT_EQ(r.fault, c.fault);
        EXPECT_NE(r.error.find(c.says), std::string::npos) << r.error;
    }
}

TEST(Multichanneltron, AtMost5000PointsAndNothingWrittenWhenRefused) {
    korvo::testing::TempDir dir;
    const auto rows = [](std::size_t n) {
        std::vector<std::string> out;
        for (std::size_t i = 0; i < n; ++i) out.push_back(countRow(std::to_string(i), static_cast<long>(i)));
        return out;
    };
    const std::string ok = dir.file("ok.000"), big = dir.file("big.000"), bad = dir.file("bad.000");
    korvo::testing::writeBytes(ok, multichanneltronText(rows(5000), "0", "100000"));
    korvo::testing::writeBytes(big, multichanneltronText(rows(5001), "0", "100000"));
    korvo::testing::writeBytes(bad, multichanneltronText({"10.00 1 2"}));

    const MultichanneltronConversion done = convertMultichanneltronFile(ok, {});
    ASSERT_TRUE(done) << done.error;
    EXPECT_EQ(done.target, ok + ".k98");
    std::vector<SpectrumPoint> points;
    const ProjectReadResult back = readProjectText(korvo::testing::readBytes(ok + ".k98"), "ok.000.k98", points);
    ASSERT_TRUE(back) << back.error;
    EXPECT_EQ(back.layout.blocks[0].NumPoints, 5000);
    EXPECT_EQ(points.size(), 50000u);

    const MultichanneltronConversion refused = convertMultichanneltronFile(big, {});
    EXPECT_EQ(refused.read.fault, MultichanneltronFault::TooManyPoints);
    EXPECT_NE(refused.error.find("more than 5000 points"), std::string::npos) << refused.error;
    EXPECT_FALSE(std::filesystem::exists(big + ".k98"));
    EXPECT_FALSE(convertMultichanneltronFile(bad, {}));
    EXPECT_FALSE(std::filesystem::exists(bad + ".k98"));
    // Into another directory, under the file's name.
    korvo::testing::TempDir out;
    const MultichanneltronConversion moved = convertMultichanneltronFile(ok, {}, out.path.string());
    ASSERT_TRUE(moved) << moved.error;
    EXPECT_EQ(moved.target, out.file("ok.000.k98"));
    EXPECT_EQ(korvo::testing::readBytes(moved.target), korvo::testing::readBytes(ok + ".k98"));
    EXPECT_EQ(convertMultichanneltronFile(dir.file("missing"), {}).read.fault, MultichanneltronFault::ReadError);
}

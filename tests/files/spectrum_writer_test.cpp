// The spectrum file as written: exact bytes of the headers per mode, number formats and data rows.
#include "files/spectrum_format.h"
#include "files/spectrum_writer.h"
#include "spectrum_test_util.h"

#include "common/file_util.h"

#include <gtest/gtest.h>

#include <algorithm>

using namespace korvo;
using korvo::testing::clamHeader;
using korvo::testing::makeBlock;
using korvo::testing::splitCrLf;

namespace {

bool hasLine(const std::vector<std::string>& lines, const std::string& line) {
    return std::find(lines.begin(), lines.end(), line) != lines.end();
}

// The lines of the file written, and its data rows between "BEGIN:" and "END".
std::vector<std::string> fileLines(const SpectrumHeader& h, const SpectrumSaveOptions& o,
                                   const DataBlock& block) {
    return splitCrLf(spectrumFileBytes(h, o, block));
}

std::vector<std::string> dataRows(const SpectrumHeader& h, const SpectrumSaveOptions& o,
                                  const DataBlock& block) {
    const auto lines = fileLines(h, o, block);
    auto begin = std::find(lines.begin(), lines.end(), "BEGIN:");
    auto end = std::find(lines.begin(), lines.end(), "END");
    return begin < end ? std::vector<std::string>(begin + 1, end) : std::vector<std::string>{};
}

} // namespace

TEST(SpectrumWriter, EnergyDecimalsFollowTheStepAndStayAtLeastThree) {
    struct Case {
        double ramp;
        int points;
        int decimals;
    };
    for (const Case& c :
         {Case{1, 20, 3}, Case{1, 2000, 4}, Case{1, 1000, 3}, Case{1, 10000, 4}, Case{1, 100000, 5},
          Case{0, 10, 3}, Case{5, 0, 3}, Case{-1, 2000, 4}, Case{1e-30, 1, 15}})
        EXPECT_EQ(energyDecimals(c.ramp, c.points), c.decimals) << c.ramp << " / " << c.points;
}

TEST(SpectrumWriter, AnalyserScanMatchesTheDocumentedLayout) {
    SpectrumHeader h = clamHeader();
    SpectrumSaveOptions o;
    o.saveRawData = false;
    DataBlock block(3);
    block[1].Energy = 10;
    block[1].Co[0] = 1520;
    block[2].Energy = 11;
    block[2].Co[0] = 1610;
    std::string expected = "USER_ID: lab\r\nComment: clean surface\r\nProbe: Cu(111)\r\n"
                           "FileName: /data/t_990101.000\r\nFileform: CLAM\r\nDate:  01.01.1999 12:00:00\r\n"
                           "Program: KORVO 02\r\nMeasTime: 100\r\nMeasTyp: CAE\r\nScans: 2\r\nPoints:2\r\n"
                           "PassEn:20.000\r\nAnaSta:10.000\r\nAnaEnd:12.000\r\nPhotEn: 21.220\r\n";
    for (int i = 1; i <= 9; ++i) expected += "Energy Channeltron_" + std::to_string(i) + "...+0.0000 eV\r\n";
    expected += "BEGIN:\r\n10.000 1520\r\n11.000 1610\r\nEND\r\n";
    EXPECT_EQ(spectrumFileBytes(h, o, block), expected);
}

// The header of every mode line by line: which lines each mode writes and which it leaves out.
TEST(SpectrumWriter, HeaderLinesPerMachineMode) {
    SpectrumHeader h = clamHeader();
    h.startFieldText = "10.5"; // the typed start, which differs from the analyser start of 10
    h.saveDir = "/data/";      // a directory given with its separator gets no second one
    h.keithleyScale = 1E4;
    const DataBlock block = makeBlock(h, 10, 1);
    std::vector<std::string> channeltrons;
    for (int i = 1; i <= 9; ++i)
        channeltrons.push_back("Energy Channeltron_" + std::to_string(i) + "...+0.0000 eV");
    const std::vector<std::string> counting = {"MeasTime: 100", "MeasTyp: CAE", "Scans: 2", "Points:2",
                                               "PassEn:20.000"};
    struct Case {
        std::uint8_t mode;
        std::vector<std::string> lines; // after the program line, before the channeltrons
        bool withChanneltrons;
    };
    for (const Case& c :
         {Case{ModeOff, {}, false},
          Case{ModeClam, {"AnaSta:10.000", "AnaEnd:12.000", "PhotEn: 21.220"}, true},
          Case{ModeCis, {"AnaSta:10.5", "AnaEnd:12.500", "Phot.Start: 21.220"}, true},
          Case{ModeCfs, {"Fix. Analyser Energy:10.5", "Phot.Start: 21.220", "Phot.End: 12.000"}, true},
          Case{ModeKeithley,
               {"MeasTyp: CAE", "Scans: 2", "Points:2", "Phot.Start: 21.220", "Phot.End: 12.000",
                "Scaling Factor: 10000"},
               false}}) {
        h.machineMode = c.mode;
        std::vector<std::string> expected = {"USER_ID: lab",
                                             "Comment: clean surface",
                                             "Probe: Cu(111)",
                                             "FileName: /data/t_990101.000",
                                             std::string("Fileform: ") + machineModeName(c.mode),
                                             "Date:  01.01.1999 12:00:00",
                                             "Program: KORVO 02"};
        if (c.mode != ModeKeithley) expected.insert(expected.end(), counting.begin(), counting.end());
        expected.insert(expected.end(), c.lines.begin(), c.lines.end());
        if (c.withChanneltrons) expected.insert(expected.end(), channeltrons.begin(), channeltrons.end());
        expected.push_back("BEGIN:");
        auto lines = fileLines(h, {}, block);
        lines.resize(std::find(lines.begin(), lines.end(), "BEGIN:") + 1 - lines.begin());
        EXPECT_EQ(lines, expected) << int(c.mode);
    }
    // A pass energy keeps five significant digits; a file without a directory is named alone.
    h.machineMode = ModeClam;
    h.passEnergy = 123.4567;
    h.saveDir.clear();
    auto lines = fileLines(h, {}, block);
    EXPECT_TRUE(hasLine(lines, "PassEn:123.460"));
    EXPECT_TRUE(hasLine(lines, "FileName: t_990101.000"));
    h.saveDir = "/data/run-";
    EXPECT_TRUE(hasLine(fileLines(h, {}, block), "FileName: /data/run-/t_990101.000"));
}

TEST(SpectrumWriter, RowsFollowModeAndOptions) {
    SpectrumHeader h = clamHeader();
    h.points = 4;
    h.ramp = 0.2;
    h.maxPositiveShift = 2;
    h.maxNegativeShift = 1;
    DataBlock block = makeBlock(h, 100, 0.05);
    block[3].Co[0] = 1520.5; // counts are rounded, halves away from zero
    SpectrumSaveOptions o;
    o.saveRawData = false;

    auto rows = dataRows(h, o, block);
    ASSERT_EQ(rows.size(), 4u);
    EXPECT_EQ(rows[0], "100.000 1521");
    EXPECT_EQ(rows[3], "100.150 600");

    o.saveRawData = true;
    o.saveExtraPoints = true;
    rows = dataRows(h, o, block);
    ASSERT_EQ(rows.size(), 7u);
    EXPECT_EQ(rows[0], "99.900 100 101 102 103 104 105 106 107 108 109");

    // A test-mode run keeps its counts too, instead of rows with the energy alone.
    h.machineMode = ModeOff;
    o.saveRawData = false;
    EXPECT_EQ(dataRows(h, o, block)[0], "99.900 100");
    // The constant final state and the photon scans write every channel, raw data or not.
    for (const std::uint8_t mode : {ModeCfs, ModeCis}) {
        h.machineMode = mode;
        EXPECT_EQ(dataRows(h, o, block)[0], "99.900 100 101 102 103 104 105 106 107 108 109") << int(mode);
    }

    h.machineMode = ModeKeithley;
    o = SpectrumSaveOptions{};
    o.addKeithley1 = o.addKeithley2 = true;
    block[3].Co[0] = 1.5e-7;
    block[3].Co[1] = 0.25;
    block[3].Co[10] = 2e15;
    block[3].Co[11] = -3;
    rows = dataRows(h, o, block);
    ASSERT_EQ(rows.size(), 4u);
    EXPECT_EQ(rows[0], "100.000 1.5E-7 0.25 2E15 -3");
}

TEST(SpectrumWriter, SurvivesInconsistentInput) {
    SpectrumHeader h = clamHeader();
    h.points = 50; // more than the block holds
    h.maxPositiveShift = 3;
    h.channelItems[2] = "C_3    -1.250";
    h.channelItems[4] = "garbage";
    h.channelItems[6] = ""; // items too short to hold an offset
    h.channelItems[7] = "C_8";
    h.channelItems[3] = "C_4-0.500"; // the offset starts right at the 4th character
    h.channelItems[8] = "C_97";
    h.comment = "line one\r\nBEGIN:\tx";
    const DataBlock block(10);
    const std::string bytes = spectrumFileBytes(h, {}, block);
    const auto lines = splitCrLf(bytes);
    EXPECT_EQ(dataRows(h, {}, block).size(), 6u); // records 4..9
    EXPECT_TRUE(hasLine(lines, "Energy Channeltron_3...-1.2500 eV"));
    for (int i : {5, 7, 8}) // unreadable or missing offsets count as 0
        EXPECT_TRUE(hasLine(lines, "Energy Channeltron_" + std::to_string(i) + "...+0.0000 eV")) << i;
    EXPECT_TRUE(hasLine(lines, "Energy Channeltron_4...-0.5000 eV"));
    EXPECT_TRUE(hasLine(lines, "Energy Channeltron_9...+7.0000 eV"));
    EXPECT_TRUE(hasLine(lines, "Comment: line one  BEGIN:\tx")); // line breaks go, tabs stay
    EXPECT_EQ(std::count(bytes.begin(), bytes.end(), '\n'), static_cast<long>(lines.size()));

    // The rows asked for start at record 4: a block that ends before, at or one record after it.
    for (const auto& [records, count] : {std::pair<std::size_t, std::size_t>{2, 0}, {4, 0}, {5, 1}}) {
        const RecordRange range = spectrumRecordRange(h, {}, records);
        EXPECT_EQ(range.first, 4u);
        EXPECT_EQ(range.count, count) << records;
    }
    h.points = -5;
    EXPECT_EQ(spectrumRecordRange(h, {}, block.size()).count, 0u);
    EXPECT_EQ(dataRows(h, {}, block).size(), 0u);
    // Negative extra-point counts are taken as none.
    h.points = 4;
    h.maxPositiveShift = -1;
    h.maxNegativeShift = -2;
    SpectrumSaveOptions extra;
    extra.saveExtraPoints = true;
    EXPECT_EQ(dataRows(h, extra, block).size(), 4u);
}

TEST(SpectrumWriter, TextsAreWindows1252AndDatesDropMidnight) {
    SpectrumHeader h = clamHeader();
    h.sample = "Ni 5 \xC2\xB5m"; // µ
    h.userName = std::string(300, 'u');
    h.writtenAt = korvo::testing::localTime(2002, 12, 5, 0, 0, 0);
    const auto lines = fileLines(h, {}, DataBlock(1));
    EXPECT_TRUE(hasLine(lines, "Probe: Ni 5 \xB5m"));
    EXPECT_TRUE(hasLine(lines, "Date:  05.12.2002"));
    EXPECT_TRUE(hasLine(lines, "USER_ID: " + std::string(250, 'u')));
}

TEST(SpectrumWriter, SaveReplacesTheFileOrReportsWhy) {
    korvo::testing::TempDir dir;
    const SpectrumHeader h = clamHeader();
    const DataBlock block = makeBlock(h, 10, 1);
    const std::string path = dir.file("aktuell.dat");
    std::string error;
    ASSERT_TRUE(writeFileAtomic(path, "old content", &error)) << error;
    ASSERT_TRUE(saveSpectrumFile(path, h, {}, block, &error)) << error;
    EXPECT_EQ(readFile(path), spectrumFileBytes(h, {}, block));
    EXPECT_FALSE(saveSpectrumFile(dir.file("missing/dir/x.dat"), h, {}, block, &error) || error.empty());
}

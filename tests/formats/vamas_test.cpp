// VAMAS files: the block layout Korvo writes, a round trip of spectra through a file, the same file
// read by xylib's xyconv, files of other programs and damaged ones, and the load as the dialog's
// "Load VAMAS" runs it.
#include "files/vamas_file.h"
#include "foreign_test_util.h"
#include "support/temp_dir.h"
#include "viewer/load.h"
#include "viewer/vamas_export.h"
#include "viewer/vamas_import.h"
#include "support/crlf_lines.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <sstream>

using namespace korvo;
using korvo::testing::readBytes;
using korvo::testing::TempDir;
using korvo::testing::writeBytes;

namespace {

// A measured spectrum as the viewer holds it after loading its file.
const char* const kMeasured = "USER_ID: lab\r\nComment: clean surface\r\nProbe: Cu(111)\r\n"
                              "FileName: C:\\data\\t_990101.000\r\nFileform: CLAM\r\nDate:  01.01.1999 12:30:15\r\n"
                              "Program: KORVO 02\r\nMeasTime: 100\r\nMeasTyp: CAE\r\nScans: 2\r\nPoints:4\r\n"
                              "PassEn:20.000\r\nAnaSta:10.000\r\nAnaEnd:10.200\r\nPhotEn: 21.220\r\nBEGIN:\r\n"
                              "10.000 1520\r\n10.050 1610\r\n10.100 1700\r\n10.150 1650\r\nEND\r\n";
// A step of 10 eV / 3 written with three decimals: not evenly spaced any more.
const char* const kRounded = "Comment: rounded step\r\nProbe: Au\r\nDate:  02.01.1999\r\nMeasTime: 250\r\n"
                             "Scans: 1\r\nPoints:4\r\nPassEn:5.000\r\nAnaSta:100.000\r\nAnaEnd:113.333\r\n"
                             "PhotEn: 1486.600\r\nBEGIN:\r\n100.000 5\r\n103.333 -6.5\r\n106.667 7\r\n110.000 8\r\nEND\r\n";

class VamasTest : public ::testing::Test {
protected:
    void loadMeasured(tvar& ws) {
        writeBytes(dir.file("t_990101.000"), kMeasured);
        writeBytes(dir.file("au.000"), kRounded);
        ASSERT_TRUE(loadFiles(ws, {dir.file("t_990101.000"), dir.file("au.000")}));
    }
    TempDir dir;
};

TEST_F(VamasTest, OneBlockHasTheStandardsLayoutLineByLine) {
    tvar ws;
    loadMeasured(ws);
    ws.spectrum(2).Marked = 1; // only the first is exported
    ws.spectrum(1).Marked = 1;
    ws.spectrum(2).Marked = 0;
    const std::vector<std::string> l = korvo::testing::crlfLines(vamasText(ws, false));
    ASSERT_EQ(l.size(), 80u);
    const auto at = [&l](std::size_t line) { return l.at(line - 1); }; // 1-based, as in the file
    EXPECT_EQ(at(1), kVamasFormatLine);
    EXPECT_EQ(at(6), "0");                                              // experiment comment lines
    EXPECT_EQ(at(7), "NORM");
    EXPECT_EQ(at(8), "REGULAR");
    EXPECT_EQ(at(9), "1");                                              // spectral regions
    for (std::size_t i = 10; i <= 14; ++i) EXPECT_EQ(at(i), "0") << i; // variables, lists, upgrades
    EXPECT_EQ(at(15), "1");                                             // blocks
    EXPECT_EQ(at(16), "t_990101.000");                                  // block id: the menu caption
    EXPECT_EQ(at(17), "Cu(111)");
    const std::vector<std::string> date = {"1999", "1", "1", "12", "30", "15", "0"};
    for (std::size_t i = 0; i < date.size(); ++i) EXPECT_EQ(at(18 + i), date[i]) << 18 + i;
    EXPECT_EQ(at(25), "12"); // comment lines: Korvo's texts, exactly as loaded
    EXPECT_EQ(at(26), "Korvo FileName=FileName: C:\\data\\t_990101.000");
    EXPECT_EQ(at(27), "Korvo CommentText=Comment: clean surface");
    EXPECT_EQ(at(29), "Korvo DateText=Date:  01.01.1999 12:30:15");
    EXPECT_EQ(at(33), "Korvo PassEnText=PassEn: 20.00");
    EXPECT_EQ(at(36), "Korvo PhotEnText=PhotEn: 21.220");
    EXPECT_EQ(at(37), "Korvo MeasTime=100");
    EXPECT_EQ(at(38), "UPS");
    EXPECT_EQ(at(39), "He I");
    EXPECT_EQ(at(40), "21.22");
    EXPECT_EQ(at(46), "FAT");
    EXPECT_EQ(at(47), "20");  // pass energy
    EXPECT_EQ(at(57), "-1");  // charge of the detected particle
    EXPECT_EQ(at(58), "Kinetic Energy");
    EXPECT_EQ(at(59), "eV");
    EXPECT_EQ(at(60), "10.00");
    EXPECT_EQ(at(61), "0.05");
    EXPECT_EQ(at(62), "1");   // one corresponding variable
    EXPECT_EQ(at(63), "counts");
    EXPECT_EQ(at(64), "d");
    EXPECT_EQ(at(65), "pulse counting");
    EXPECT_EQ(at(66), "0.1"); // 100 ms per point
    EXPECT_EQ(at(67), "2");   // scans
    EXPECT_EQ(at(72), "0");   // additional parameters
    EXPECT_EQ(at(73), "4");   // values
    EXPECT_EQ(at(74), "1520");
    EXPECT_EQ(at(75), "1700");
    EXPECT_EQ(at(76), "1520");
    EXPECT_EQ(at(79), "1650");
    EXPECT_EQ(at(80), "end of experiment");
}

TEST_F(VamasTest, RoundTripKeepsEveryPointAndTheHeaderTexts) {
    tvar ws;
    loadMeasured(ws);
    const std::string text = vamasText(ws, true);
    // The rounded step is written with its mean and the exact energies in the comment.
    EXPECT_NE(text.find("\r\nKorvo x=100 103.333 106.667 110\r\n"), std::string::npos);
    writeBytes(dir.file("both.vms"), text);

    tvar back;
    writeBytes(dir.file("a.dat"), "BEGIN:\r\n1 1\r\nEND\r\n");
    ASSERT_TRUE(loadFiles(back, {dir.file("a.dat")}));
    LoadList list;
    list.paths = {dir.file("both.vms")};
    list.VamasFlag = true; // as the dialog's "Load VAMAS" leaves it
    const LoadOutcome out = loadSpectrumFiles(back, list);
    ASSERT_TRUE(out) << out.message;
    EXPECT_FALSE(list.VamasFlag);
    ASSERT_EQ(out.added, (std::vector<int>{2, 3}));
    for (int k = 1; k <= 2; ++k) {
        SCOPED_TRACE(k);
        const ViewerSpectrum& a = ws.spectrum(k);
        const ViewerSpectrum& b = back.spectrum(k + 1);
        const auto pa = ws.points(k), pb = back.points(k + 1);
        ASSERT_EQ(pa.size(), pb.size());
        for (std::size_t j = 0; j < pa.size(); ++j) {
            EXPECT_EQ(pa[j].x, pb[j].x) << j; // exactly, not nearly
            EXPECT_EQ(pa[j].y, pb[j].y) << j;
        }
        for (auto field : {&ViewerSpectrum::ShortName, &ViewerSpectrum::FileName, &ViewerSpectrum::CommentText,
                           &ViewerSpectrum::SampleText, &ViewerSpectrum::DateText, &ViewerSpectrum::ScansText,
                           &ViewerSpectrum::MeasTimeText, &ViewerSpectrum::PointsText, &ViewerSpectrum::PassEnText,
                           &ViewerSpectrum::AnaStaText, &ViewerSpectrum::AnaEndText, &ViewerSpectrum::PhotEnText})
            EXPECT_EQ(a.*field, b.*field);
        EXPECT_EQ(a.Scans, b.Scans);
        EXPECT_EQ(a.MeasTime, b.MeasTime);
        EXPECT_EQ(a.RateFactor, b.RateFactor);
        EXPECT_EQ(a.YMaxOrig, b.YMaxOrig);
        EXPECT_EQ(b.PathName, dir.file("both.vms"));
    }
    EXPECT_EQ(back.spectrum(3).PhotEnText, "PhotEn: 1486.600");
    EXPECT_NE(text.find("\r\nXPS\r\nAl Ka\r\n1486.6\r\n"), std::string::npos);
}

TEST_F(VamasTest, XylibReadsTheExport) {
    if (std::system("test -x /usr/bin/xyconv") != 0) GTEST_SKIP() << "xyconv (libxy-bin) is not installed";
    tvar ws;
    loadMeasured(ws);
    writeBytes(dir.file("both.vms"), vamasText(ws, true));
    const std::string command =
        "/usr/bin/xyconv -t vamas '" + dir.file("both.vms") + "' '" + dir.file("both.xy") + "' 2>&1";
    ASSERT_EQ(std::system(command.c_str()), 0) << command;
    // Each block as "### block #i <id>", its values as "# key: value" lines, then rows "x<TAB>y".
    std::istringstream rows(readBytes(dir.file("both.xy")));
    std::vector<std::vector<std::pair<double, double>>> blocks;
    std::vector<std::string> metadata;
    std::string line;
    while (std::getline(rows, line)) {
        if (line.rfind("### block #", 0) == 0) {
            blocks.emplace_back();
            metadata.push_back(line);
        } else if (!blocks.empty() && line.rfind("# ", 0) == 0) {
            metadata.back() += "|" + line.substr(2);
        } else if (!blocks.empty() && !line.empty()) {
            double x = 0, y = 0;
            std::istringstream(line) >> x >> y;
            blocks.back().emplace_back(x, y);
        }
    }
    ASSERT_EQ(blocks.size(), 2u);
    EXPECT_EQ(metadata[0].rfind("### block #0 t_990101.000|", 0), 0u) << metadata[0];
    for (const char* field : {"|tech: UPS|", "|source energy: 21.22|", "|sample identifier: Cu(111)|",
                              "|analyser pass energy or retard ratio or mass resolution: 20|",
                              "|date_time: 1999-01-01 12:30:15", "|# of scans to compile this blk: 2|",
                              "|signal collection time: 0.1|"})
        EXPECT_NE(metadata[0].find(field), std::string::npos) << field << " in " << metadata[0];
    EXPECT_NE(metadata[1].find("|tech: XPS|"), std::string::npos) << metadata[1];
    for (int k = 1; k <= 2; ++k) {
        SCOPED_TRACE(k);
        const auto pts = ws.points(k);
        const auto& got = blocks[std::size_t(k - 1)];
        ASSERT_EQ(got.size(), pts.size());
        // xylib computes the energies from start and increment (and prints six decimals); the
        // rounded grid's mean step puts them within half a thousandth of an eV.
        for (std::size_t j = 0; j < pts.size(); ++j) {
            EXPECT_NEAR(got[j].first, pts[j].x, 1e-3) << j;
            EXPECT_DOUBLE_EQ(got[j].second, pts[j].y) << j;
        }
    }
}

// Another program's file: experimental variables, two corresponding variables, an exclusion list
// that leaves the technique and the source out of the second block, future upgrade entries.
const char* const kForeign =
    "VAMAS Surface Chemical Analysis Standard Data Transfer Format 1988 May 4\n"
    "Lab\nInstrument X\nSomeone\nExp 1\n1\nan experiment comment\nNORM\nREGULAR\n2\n"
    "1\nEtch time\ns\n-3\n9\n12\n14\n0\n1\nfuture experiment entry\n1\n2\n"
    // block 1
    "C 1s\nSample A\n2024\n3\n15\n10\n30\n5\n1\n1\nfirst block comment\nXPS\n0\nAl\n1486.6\n300\n0\n0\n45\n0\n"
    "FAT\n20\n1\n4.5\n0\n0\n0\n0\n0\nC\n1s\n-1\nKinetic Energy\neV\n1200.5\n0.1\n2\ncounts\nd\ntransmission\nd\n"
    "pulse counting\n0.1\n3\n0\n0\n0\n0\n1\nEnergy shift\neV\n0.5\nfuture block entry\n8\n10\n40\n1\n2\n"
    "10\n1\n20\n1\n30\n1\n40\n1\n"
    // block 2: no technique, source label or source energy
    "O 1s\nSample A\n2024\n3\n15\n10\n35\n0\n1\n0\n5\n300\n0\n0\n45\n0\nFAT\n10\n1\n4.5\n0\n0\n0\n0\n0\nO\n1s\n-1\n"
    "Kinetic Energy\neV\n950\n-0.25\n2\ncounts\nd\ntransmission\nd\npulse counting\n0.2\n1\n0\n0\n0\n0\n0\n"
    "future block entry\n6\n5\n7\n1\n1\n5\n1\n6\n1\n7\n1\nend of experiment\n";

TEST_F(VamasTest, ReadsOtherProgramsFiles) {
    const VamasReadResult r = readVamasText(kForeign, "f.vms");
    ASSERT_TRUE(r) << r.error;
    ASSERT_EQ(r.blocks.size(), 2u);
    const VamasBlock& c = r.blocks[0];
    ASSERT_EQ(c.points.size(), 4u);
    EXPECT_EQ(c.points[1].x, 1200.6); // the decimal, not 1200.5 + 0.1
    EXPECT_EQ(c.points[3].x, 1200.8);
    EXPECT_EQ(c.points[3].y, 40);     // the first corresponding variable
    EXPECT_EQ(c.comment, (std::vector<std::string>{"first block comment"}));
    const VamasBlock& o = r.blocks[1];
    EXPECT_EQ(o.technique, "XPS"); // left out: the first block's
    EXPECT_EQ(o.sourceEnergy, 1486.6);
    EXPECT_EQ(o.passEnergy, 10);
    ASSERT_EQ(o.points.size(), 3u);
    EXPECT_EQ(o.points[2].x, 949.5);
    EXPECT_EQ(o.points[2].y, 7);

    const ViewerSpectrum s = vamasSpectrum(o, "/x/f.vms", 2);
    EXPECT_EQ(s.ShortName, "O 1s");
    EXPECT_EQ(s.SampleText, "Probe: Sample A");
    EXPECT_EQ(s.DateText, "Date:  15.03.2024 10:35:00");
    EXPECT_EQ(s.PassEnText, "PassEn: 10.00");
    EXPECT_EQ(s.MeasTimeText, "MeasTime: 200");
    EXPECT_EQ(s.PhotEnText, "PhotEn: 1486.6");
    EXPECT_EQ(s.AnaStaText, "AnaSta:950");
    EXPECT_EQ(s.AnaEndText, "AnaEnd:949.5");
    EXPECT_DOUBLE_EQ(s.RateFactor, 1000.0 / 1 / 200);
}

TEST_F(VamasTest, DamagedFilesAreRefusedWithBlockAndLine) {
    tvar ws;
    loadMeasured(ws);
    const std::string good = vamasText(ws, true);
    const auto errorOf = [](const std::string& text) { return readVamasText(text, "d.vms").error; };
    const auto replaced = [&good](const std::string& from, const std::string& to) {
        std::string s = good;
        s.replace(s.find(from), from.size(), to);
        return s;
    };
    // Cut after the second value of the second block (lines 141 to 144 hold its values).
    EXPECT_EQ(errorOf(good.substr(0, good.find("\r\n7\r\n8\r\nend of experiment") + 2)),
              "VAMAS block 2 of d.vms, line 143: the file ends where ordinate value 3 of 4 belongs; it is truncated.");
    // A block count above and below the blocks there are.
    const std::string blocks = "\r\n0\r\n2\r\nt_990101.000\r\n";
    EXPECT_NE(errorOf(replaced(blocks, "\r\n0\r\n3\r\nt_990101.000\r\n")).find("VAMAS block 3 of d.vms, line 145: the file ends here, before all the blocks"),
              std::string::npos);
    EXPECT_NE(errorOf(replaced(blocks, "\r\n0\r\n1\r\nt_990101.000\r\n")).find("VAMAS file d.vms, line 80: \"au.000\" follows the last of the 1 blocks"),
              std::string::npos);
    // Not numbers where numbers belong, and values that are no finite numbers.
    EXPECT_EQ(errorOf(replaced("\r\n1610\r\n", "\r\nNaN\r\n")),
              "VAMAS block 1 of d.vms, line 77: ordinate value 2 of 4 is \"NaN\", not a number.");
    EXPECT_EQ(errorOf(replaced("\r\n1610\r\n", "\r\n1E999\r\n")),
              "VAMAS block 1 of d.vms, line 77: ordinate value 2 of 4 is \"1E999\", not a number.");
    EXPECT_EQ(errorOf(replaced("\r\n2\r\n0\r\n0\r\n0\r\n0\r\n0\r\n4\r\n", "\r\nzwei\r\n0\r\n0\r\n0\r\n0\r\n0\r\n4\r\n")),
              "VAMAS block 1 of d.vms, line 67: the number of scans is \"zwei\", not an integer.");
    EXPECT_EQ(errorOf(replaced("\r\n12\r\nKorvo", "\r\n-12\r\nKorvo")),
              "VAMAS block 1 of d.vms, line 25: the number of block comment lines is -12; it cannot be negative.");
    // A huge count is refused before a value is read.
    EXPECT_EQ(errorOf(replaced("\r\n4\r\n1520\r\n", "\r\n2000000000\r\n1520\r\n")),
              "VAMAS block 1 of d.vms, line 73: its 2000000000 points are more than the spectra of one load may hold.");
    EXPECT_NE(errorOf(replaced("Korvo x=100 103.333", "Korvo x=100 1O3.333")).find("VAMAS block 2 of d.vms, line "
                                                                               "102: the energy \"1O3.333\""),
              std::string::npos);
    EXPECT_EQ(errorOf(replaced("NORM", "MAP")),
              "VAMAS file d.vms, line 7: the experiment mode \"MAP\" is not read; only NORM spectra can be loaded.");
    EXPECT_EQ(errorOf("BEGIN:\r\n1 2\r\nEND\r\n").rfind("VAMAS file d.vms, line 1: this is not a VAMAS file", 0), 0u);
}

TEST_F(VamasTest, AFailedLoadLeavesTheWorkspaceAsItWas) {
    tvar ws;
    loadMeasured(ws);
    writeBytes(dir.file("good.vms"), vamasText(ws, true));
    std::string bad = readBytes(dir.file("good.vms"));
    writeBytes(dir.file("bad.vms"), bad.substr(0, bad.size() / 2));
    const std::int32_t shown = ws.ShownCount;
    const std::size_t pool = ws.pool.size();
    const LoadOutcome out = loadVamasFiles(ws, {dir.file("good.vms"), dir.file("bad.vms")});
    EXPECT_EQ(out.status, LoadStatus::Failed);
    EXPECT_EQ(out.failedPath, dir.file("bad.vms"));
    EXPECT_EQ(out.message.rfind("VAMAS block ", 0), 0u) << out.message;
    EXPECT_NE(out.message.find(" of bad.vms, line "), std::string::npos) << out.message;
    EXPECT_EQ(ws.ShownCount, shown);
    EXPECT_EQ(ws.pool.size(), pool);

    // Nothing to export: a message instead of a file.
    tvar empty;
    std::string refusal;
    EXPECT_EQ(vamasText(empty, false, &refusal), "");
    EXPECT_EQ(refusal, "No spectrum is marked; there is nothing to save.");
}

} // namespace

// VAMAS files: the block layout Korvo writes, a round trip of spectra through a file, the same file
// read by xylib's xyconv, files of other programs and damaged ones, and the load as the dialog's
// "Load VAMAS" runs it.
#include "common/number_text.h"
#include "files/spectrum_test_util.h"
#include "files/spectrum_writer.h"
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
using korvo::testing::clamHeader;
using korvo::testing::makeBlock;
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

// xylib's reading of a VAMAS file through xyconv: per block its "### block #i <id>" line and its
// "# key: value" lines joined by "|", and its rows "x<TAB>y". Empty when xyconv fails.
struct XyBlock {
    std::string metadata;
    std::vector<std::pair<double, double>> rows;
};
std::vector<XyBlock> readByXyconv(const std::string& vms, const std::string& xy) {
    const std::string command = "/usr/bin/xyconv -t vamas '" + vms + "' '" + xy + "' 2>&1";
    if (std::system(command.c_str()) != 0) {
        ADD_FAILURE() << command;
        return {};
    }
    std::istringstream rows(readBytes(xy));
    std::vector<XyBlock> blocks;
    std::string line;
    while (std::getline(rows, line)) {
        if (line.rfind("### block #", 0) == 0) {
            blocks.push_back({line, {}});
        } else if (!blocks.empty() && line.rfind("# ", 0) == 0) {
            blocks.back().metadata += "|" + line.substr(2);
        } else if (!blocks.empty() && !line.empty()) {
            double x = 0, y = 0;
            std::istringstream(line) >> x >> y;
            blocks.back().rows.emplace_back(x, y);
        }
    }
    return blocks;
}

bool haveXyconv() {
    return std::system("test -x /usr/bin/xyconv") == 0;
}

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

    // Start and increment below one keep their leading zero ("0.50", not ".50"), as other programs
    // expect a number to begin.
    VamasBlock low;
    low.points = {{0.5, 0.5}, {0.75, 1}, {1, 2}};
    low.collectionTime = 0.5;
    EXPECT_NE(vamasFileText({}, {low}).find("\r\nKinetic Energy\r\neV\r\n0.50\r\n0.25\r\n1\r\n"), std::string::npos);
    low.points = {{-0.25, 0}, {0, 0}};
    EXPECT_NE(vamasFileText({}, {low}).find("\r\neV\r\n-0.25\r\n0.25\r\n"), std::string::npos);
    EXPECT_NE(vamasFileText({}, {low}).find("\r\npulse counting\r\n0.5\r\n"), std::string::npos);
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
    if (!haveXyconv()) GTEST_SKIP() << "xyconv (libxy-bin) is not installed";
    tvar ws;
    loadMeasured(ws);
    writeBytes(dir.file("both.vms"), vamasText(ws, true));
    const std::vector<XyBlock> read = readByXyconv(dir.file("both.vms"), dir.file("both.xy"));
    ASSERT_EQ(read.size(), 2u);
    const std::vector<std::string> metadata = {read[0].metadata, read[1].metadata};
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
        const auto& got = read[std::size_t(k - 1)].rows;
        ASSERT_EQ(got.size(), pts.size());
        // xylib computes the energies from start and increment (and prints six decimals); the
        // rounded grid's mean step puts them within half a thousandth of an eV.
        for (std::size_t j = 0; j < pts.size(); ++j) {
            EXPECT_NEAR(got[j].first, pts[j].x, 1e-3) << j;
            EXPECT_DOUBLE_EQ(got[j].second, pts[j].y) << j;
        }
    }
}

// A photon-energy scan as the measurement saves it: the x values are photon energies from
// `photon` on, the analyser stands at (CFS) or starts from (CIS) the start field's "30".
std::string photonScanFile(std::uint8_t mode, double photon) {
    SpectrumHeader h = clamHeader();
    h.machineMode = mode;
    h.points = 4;
    h.photonStart = h.analyserStart = photon;
    h.ramp = 0.3;
    h.startFieldText = "30";
    return spectrumFileBytes(h, {}, makeBlock(h, photon, 0.1));
}

TEST_F(VamasTest, PhotonEnergyScansKeepTheirAbscissaBothWays) {
    writeBytes(dir.file("cfs.000"), photonScanFile(ModeCfs, 60));
    writeBytes(dir.file("cis.000"), photonScanFile(ModeCis, 120));
    tvar ws;
    ASSERT_TRUE(loadFiles(ws, {dir.file("cfs.000"), dir.file("cis.000")}));
    const std::string text = vamasText(ws, true);
    writeBytes(dir.file("photon.vms"), text);

    // The photon energy is the abscissa, the scan's first photon energy the source's, and where the
    // analyser stood an additional parameter.
    const VamasReadResult r = readVamasText(text, "photon.vms");
    ASSERT_TRUE(r) << r.error;
    ASSERT_EQ(r.blocks.size(), 2u);
    const std::vector<std::string> technique = {"UPS", "XPS"};
    const std::vector<double> source = {60, 120};
    const std::vector<std::string> analyser = {"fixed analyser energy", "analyser start energy"};
    for (std::size_t b = 0; b < 2; ++b) {
        SCOPED_TRACE(b);
        EXPECT_EQ(r.blocks[b].abscissaLabel, "Photon Energy");
        EXPECT_EQ(r.blocks[b].technique, technique[b]);
        EXPECT_EQ(r.blocks[b].sourceEnergy, source[b]);
        ASSERT_EQ(r.blocks[b].parameters.size(), 1u);
        EXPECT_EQ(r.blocks[b].parameters[0].label, analyser[b]);
        EXPECT_EQ(r.blocks[b].parameters[0].units, "eV");
        EXPECT_EQ(r.blocks[b].parameters[0].value, "30");
    }
    if (haveXyconv()) {
        const std::vector<XyBlock> read = readByXyconv(dir.file("photon.vms"), dir.file("photon.xy"));
        ASSERT_EQ(read.size(), 2u);
        for (std::size_t b = 0; b < 2; ++b) {
            SCOPED_TRACE(read[b].metadata);
            for (const std::string field : {"|tech: " + technique[b] + "|", "|source energy: " + text::formatGeneral(source[b]) + "|",
                                            "|" + analyser[b] + ": 30eV|", std::string("|abscissa label: Photon Energy|")})
                EXPECT_NE(read[b].metadata.find(field), std::string::npos) << field;
            ASSERT_EQ(read[b].rows.size(), 4u);
            EXPECT_NEAR(read[b].rows[3].first, source[b] + 0.3, 1e-6);
        }
    }

    // Loaded back, they are the same scans again, and they are written as the same file.
    tvar back;
    ASSERT_TRUE(loadVamasFiles(back, {dir.file("photon.vms")}));
    for (int k = 1; k <= 2; ++k) {
        SCOPED_TRACE(k);
        for (auto field : {&ViewerSpectrum::FileformText, &ViewerSpectrum::PhotEnText, &ViewerSpectrum::AnaFixText,
                           &ViewerSpectrum::AnaStaText, &ViewerSpectrum::AnaEndText})
            EXPECT_EQ(back.spectrum(k).*field, ws.spectrum(k).*field);
        ASSERT_EQ(back.points(k).size(), 4u);
        EXPECT_EQ(back.point(k, 4).x, ws.point(k, 4).x);
    }
    EXPECT_EQ(back.spectrum(1).FileformText, "Fileform: CLAM_CFS");
    EXPECT_EQ(back.spectrum(1).PhotEnText, "Phot.Start: 60.000");
    EXPECT_EQ(back.spectrum(1).AnaFixText, "Fix. Analyser Energy:30");
    EXPECT_EQ(back.spectrum(2).FileformText, "Fileform: CLAM_CIS");
    EXPECT_EQ(vamasText(back, true), text);

    // Another program's photon-energy scan: CIS when it names the analyser's start energy, else CFS.
    VamasBlock other = r.blocks[1];
    other.korvo.clear();
    ViewerSpectrum s = vamasSpectrum(other, "/x/o.vms", 1);
    EXPECT_EQ(s.FileformText, "Fileform: CLAM_CIS");
    EXPECT_EQ(s.AnaStaText, "AnaSta:30");
    EXPECT_EQ(s.PhotEnText, "Phot.Start: 120");
    other.parameters = {{"Fixed Analyser Energy", "eV", "25.5"}};
    s = vamasSpectrum(other, "/x/o.vms", 1);
    EXPECT_EQ(s.FileformText, "Fileform: CLAM_CFS");
    EXPECT_EQ(s.AnaFixText, "Fix. Analyser Energy:25.5");
    EXPECT_EQ(s.AnaStaText, "");
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

// An analysis program's IRREGULAR file: no abscissa start and increment, the binding energy as the
// first of three corresponding variables, one value of each per point.
const char* const kIrregular =
    "VAMAS Surface Chemical Analysis Standard Data Transfer Format 1988 May 4\r\n"
    "Lab\r\nInstrument X\r\nSomeone\r\nExp 2\r\n0\r\nNORM\r\nIRREGULAR\r\n1\r\n0\r\n0\r\n0\r\n0\r\n0\r\n1\r\n"
    "C 1s\r\nSample A\r\n2024\r\n3\r\n15\r\n10\r\n30\r\n5\r\n0\r\n1\r\nfitted\r\nXPS\r\nAl\r\n1486.6\r\n300\r\n"
    "0\r\n0\r\n45\r\n0\r\nFAT\r\n20\r\n1\r\n4.5\r\n0\r\n0\r\n0\r\n0\r\n0\r\nC\r\n1s\r\n-1\r\n"
    "3\r\nBinding Energy\r\neV\r\ncounts\r\nd\r\ntransmission\r\nd\r\n"
    "pulse counting\r\n0.1\r\n3\r\n0\r\n0\r\n0\r\n0\r\n1\r\nEnergy shift\r\neV\r\n0.5\r\n"
    "9\r\n284\r\n285.1\r\n10\r\n30\r\n1\r\n1\r\n284.0\r\n10\r\n1\r\n284.3\r\n20\r\n1\r\n285.1\r\n30\r\n1\r\n"
    "end of experiment\r\n";

TEST_F(VamasTest, ReadsIrregularScansAndWhatEditorsPutBeforeTheFormatLine) {
    // Blank lines (one of blanks), or a byte order mark, before the format line.
    for (const std::string before : {"", "\r\n  \r\n\r\n", "\xEF\xBB\xBF"}) {
        SCOPED_TRACE(before.size());
        writeBytes(dir.file("c1s.vms"), before + kIrregular);
        tvar ws;
        const LoadOutcome out = loadVamasFiles(ws, {dir.file("c1s.vms")});
        ASSERT_TRUE(out) << out.message;
        ASSERT_EQ(ws.ShownCount, 1);
        const auto pts = ws.points(1);
        ASSERT_EQ(pts.size(), 3u);
        EXPECT_EQ(pts[1].x, 284.3);
        EXPECT_EQ(pts[1].y, 20);
        EXPECT_EQ(pts[2].x, 285.1);
        EXPECT_EQ(pts[2].y, 30);
        EXPECT_EQ(ws.spectrum(1).ShortName, "C 1s");
        EXPECT_EQ(ws.spectrum(1).AnaEndText, "AnaEnd:285.1");
    }
    const VamasReadResult r = readVamasText(kIrregular, "c1s.vms");
    ASSERT_TRUE(r) << r.error;
    EXPECT_EQ(r.blocks[0].abscissaLabel, "Binding Energy");
    EXPECT_EQ(r.blocks[0].ordinateLabel, "counts");
    ASSERT_EQ(r.blocks[0].parameters.size(), 1u);
    EXPECT_EQ(r.blocks[0].parameters[0].label, "Energy shift");
    EXPECT_EQ(r.blocks[0].parameters[0].value, "0.5");

    // What cannot be read is still refused, saying what was found.
    const auto errorOf = [](std::string text, const std::string& from, const std::string& to) {
        text.replace(text.find(from), from.size(), to);
        return readVamasText(text, "i.vms").error;
    };
    EXPECT_EQ(errorOf(kIrregular, "\r\n3\r\nBinding", "\r\n1\r\nBinding"),
              "VAMAS block 1 of i.vms, line 47: the block of an IRREGULAR scan has 1 corresponding variable; it "
              "needs its abscissa and at least one more.");
    EXPECT_EQ(errorOf(kIrregular, "\r\n9\r\n284\r\n", "\r\n8\r\n284\r\n"),
              "VAMAS block 1 of i.vms, line 65: its 8 values do not divide among its 3 corresponding variables.");
    EXPECT_EQ(errorOf(kIrregular, "IRREGULAR", "MAPPING"),
              "VAMAS file i.vms, line 8: the scan mode \"MAPPING\" is not read; only REGULAR and IRREGULAR scans "
              "can be loaded.");
    EXPECT_EQ(errorOf(kIrregular, "VAMAS Surface", "\r\n\r\nSurface"),
              "VAMAS file i.vms, line 3: this is not a VAMAS file: its first line that is not blank is \"Surface "
              "Chemical Analysis Standard Data ...\", not \"VAMAS Surface Chemical Analysis Standard...\".");
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
    // Numbers each, but the energies they make are not.
    EXPECT_EQ(errorOf(replaced("\r\n10.00\r\n0.05\r\n", "\r\n1e308\r\n1e308\r\n")),
              "VAMAS block 1 of d.vms, line 61: its abscissa runs beyond the number range: point 2 of 4 would lie "
              "at 1e+308 + 1 x 1e+308.");
    EXPECT_EQ(errorOf(replaced("\r\n2\r\n0\r\n0\r\n0\r\n0\r\n0\r\n4\r\n", "\r\nzwei\r\n0\r\n0\r\n0\r\n0\r\n0\r\n4\r\n")),
              "VAMAS block 1 of d.vms, line 67: the number of scans is \"zwei\", not an integer.");
    EXPECT_EQ(errorOf(replaced("\r\n12\r\nKorvo", "\r\n-12\r\nKorvo")),
              "VAMAS block 1 of d.vms, line 25: the number of block comment lines is -12; it cannot be negative.");
    // Comment lines, however empty, take memory: more than a load keeps are refused as they come.
    const std::string empties((1 << 20) - 11, '\n');
    EXPECT_EQ(errorOf(replaced("\r\n12\r\nKorvo", "\r\n" + std::to_string(2 << 20) + "\r\n" + empties + "Korvo")),
              "VAMAS block 1 of d.vms, line " + std::to_string(25 + (1 << 20) + 1) +
                  ": its blocks hold more comment lines and parameters than one load takes (1048576 lines, 256 MB).");
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

// The text exports: the merged grid of the column files, the surface plotter's grid and "fit.tex".
#include "viewer/exports.h"
#include "viewer_ui/viewer_test_util.h"
#include "support/crlf_lines.h"

#include <gtest/gtest.h>

#include <sstream>

namespace korvo::testing {
namespace {

// Both spectra on one scale: XMin 0, half an eV per display unit; counts shown from 0, 2 a unit.
void sameScale(tvar& ws) {
    for (int k = 1; k <= ws.ShownCount; ++k) {
        ViewerSpectrum& s = ws.spectrum(k);
        s.XMin = 0;
        s.XMax = 10;
        s.XPerPixel = 0.5;
        s.YMin = 0;
        s.YPerPixel = 2;
    }
}

TEST(ColumnExport, TwoSpectraOnOneGridGiveOneRowPerEnergy) {
    tvar ws = makeWorkspace({{{1, 10}, {2, 20}, {3, 30}}, {{1, 100}, {2, 200}, {3, 300}}});
    sameScale(ws);
    const std::vector<std::string> raw = testing::crlfLines(columnFileText(ws, true, ColumnValues::Stored));
    // Columns in reverse display order: spectrum 2 first; every row ends with two blanks.
    EXPECT_EQ(raw, (std::vector<std::string>{"1  100  10  ", "2  200  20  ", "3  300  30  "}));
    const std::vector<std::string> shown = testing::crlfLines(columnFileText(ws, true, ColumnValues::Displayed));
    EXPECT_EQ(shown[1], "2  100  10  ");
    // Only the marked spectra unless all are asked for; none marked, or none with a point in its
    // display range, gives nothing and says why.
    std::string why;
    EXPECT_EQ(columnFileText(ws, false, ColumnValues::Stored, &why), "");
    EXPECT_EQ(why, "No spectrum is marked; there is nothing to save.");
    tvar outOfView = ws;
    for (int k : {1, 2}) outOfView.spectrum(k).XMin = 5;
    EXPECT_EQ(columnFileText(outOfView, true, ColumnValues::Stored, &why), "");
    EXPECT_EQ(why,
              "The exported spectra have no points inside their display range; there is nothing to save.");
    ws.spectrum(1).Marked = 1;
    EXPECT_EQ(testing::crlfLines(columnFileText(ws, false, ColumnValues::Stored))[0], "1  10  ");
    EXPECT_EQ(exportedSpectra(ws, true), (std::vector<int>{2, 1}));
}

TEST(ColumnExport, ShiftedGridsMergeWithFirstValuesAndStraightLines) {
    // Spectrum 1 every eV from 1 to 4; spectrum 2 from 2.5 every eV.
    tvar ws = makeWorkspace({{{1, 10}, {2, 20}, {3, 30}, {4, 40}}, {{2.5, 250}, {3.5, 350}, {4.5, 450}}});
    sameScale(ws);
    const std::vector<std::string> rows = testing::crlfLines(columnFileText(ws, true, ColumnValues::Stored));
    EXPECT_EQ(rows, (std::vector<std::string>{
                        "1  250  10  ",    // left of spectrum 2's start: its first value
                        "2  250  20  ",    //
                        "2.5  250  25  ",  // spectrum 1 between its points 2 and 3
                        "3  300  30  ",    // spectrum 2 between 2.5 and 3.5
                        "3.5  350  35  ",  //
                        "4  400  40  ",    //
                        "4.5  450  40  ",  // right of spectrum 1's end: its last value
                    }));
    // Points outside a spectrum's display window add no rows.
    ws.spectrum(1).XMin = 2;
    ws.spectrum(1).XMax = 3;
    ws.spectrum(2).XMin = 2;
    ws.spectrum(2).XMax = 3;
    ws.spectrum(1).XPerPixel = ws.spectrum(2).XPerPixel = 0.5;
    const std::vector<std::string> window = testing::crlfLines(columnFileText(ws, true, ColumnValues::Stored));
    ASSERT_EQ(window.size(), 3u);
    EXPECT_EQ(window[0], "2  250  20  ");
    EXPECT_EQ(window[2], "3  300  30  ");
}

TEST(SurferExport, GridLinesAndRefusals) {
    std::vector<Points> three;
    for (int k = 0; k < 3; ++k) {
        Points p;
        for (int j = 0; j < 5; ++j) p.emplace_back(100 + j, 10 * k + j);
        three.push_back(p);
    }
    tvar ws = makeWorkspace(three);
    std::string message;
    const std::optional<std::string> text = surferGridText(ws, &message);
    ASSERT_TRUE(text) << message;
    const std::vector<std::string> rows = testing::crlfLines(*text);
    ASSERT_EQ(rows.size(), 15u);
    EXPECT_EQ(rows[6], "0.250 0.500 11"); // the second line of the second spectrum
    EXPECT_EQ(rows[14], "1.000 1.000 24");

    tvar one = makeWorkspace({three[0]});
    EXPECT_FALSE(surferGridText(one, &message));
    EXPECT_EQ(message, "Anzahl der Spektren muß > 1 sein !!!!");
    tvar uneven = makeWorkspace({three[0], {{1, 1}, {2, 2}}});
    EXPECT_FALSE(surferGridText(uneven, &message));
    EXPECT_EQ(message, "Anzahl der Meßpunkte stimmt nicht überein?\rFunktion geht nur bei gleicher Anzahl !");
    // Spectra of one point each: no division by zero.
    tvar single = makeWorkspace({{{1, 5}}, {{1, 6}}});
    ASSERT_TRUE(surferGridText(single, &message));
    EXPECT_EQ(testing::crlfLines(*surferGridText(single, &message))[1], "0.000 1.000 6");
}

// Texts from files reach "fit.tex" as text, never as TeX: a hostile Date line reads no file and
// runs nothing; the result is Windows-1252, the code page the preamble declares.
TEST(FitTex, EscapingAndBlocks) {
    EXPECT_EQ(latexEscape("50% Ar_2"), "50\\% Ar\\_2");
    EXPECT_EQ(
        latexEscape("\\input{/etc/hostname}\\immediate\\write18{rm -rf ~}"),
        "$\\backslash$input\\{/etc/hostname\\}$\\backslash$immediate$\\backslash$write18\\{rm -rf \\~{}\\}");
    EXPECT_EQ(latexEscape("Größe & [y] #1 $2 a@b x^2 \"q\" <a|b> 1--2"),
              "Gr\\\"o{\\ss}e \\& {[}y{]} \\#1 \\$2 a@b x\\^{}2 \\char34{}q\\char34{} $<$a$|$b$>$ 1-{}-2");
    EXPECT_EQ(latexEscape("ÄÖÜäöüß é"), "\\\"A\\\"O\\\"U\\\"a\\\"o\\\"u{\\ss} \xE9");
    EXPECT_EQ(latexEscape("\xC4pfel \xDF \xE9"), "\\\"Apfel {\\ss} \xE9"); // Windows-1252 from an old file
    // Line breaks and control characters are blanks; what Latin-1 lacks is plain TeX or '?'.
    EXPECT_EQ(latexEscape("a\tb\r\nc\x7F"), "a b  c ");
    EXPECT_EQ(latexEscape("5 € – „x“ … 3 µA ±1°"), "5 EUR -- ,,x`` \\dots{} 3 $\\mu$A $\\pm$1$^\\circ$");
    EXPECT_EQ(latexEscape("Ω"), "?");

    EXPECT_EQ(fitTexPreamble().substr(0, 38), "\\documentclass[10pt,a4paper]{report}\r\n");
    EXPECT_NE(fitTexPreamble().find("\\begin{document}\r\n%\\psdraft\r\n"), std::string::npos);
    ViewerSpectrum s;
    s.DateText = "\\input{/etc/hostname}";
    s.SampleText = "Probe: Cu_3";
    s.CommentText = "Comment: 50% Ar_2";
    s.PassEnText = "PassEn: 10.00 $";
    s.MeasTimeText = "MeTime: 1 #";
    s.ScansText = "Scans: 2 &";
    s.PointsText = "Points: 3 %";
    const std::vector<std::string> block = testing::crlfLines(fitTexBlock(s, "cu_1.dat", "cu_1.dat"));
    ASSERT_EQ(block.size(), 21u);
    EXPECT_EQ(block[1], "FileName: cu\\_1.dat\\\\");
    EXPECT_EQ(block[2], "$\\backslash$input\\{/etc/hostname\\}\\\\");
    EXPECT_EQ(block[3], "Probe: Cu\\_3\\\\");
    EXPECT_EQ(block[4], "Comment: 50\\% Ar\\_2\\\\");
    EXPECT_EQ(block[6], "PassEn: 10.00 \\$\\\\");
    EXPECT_EQ(block[7], "MeTime: 1 \\#\\\\");
    EXPECT_EQ(block[8], "Scans: 2 \\&\\\\");
    EXPECT_EQ(block[9], "Points: 3 \\%\\\\");
    EXPECT_EQ(block[17], "\\epsfig{file=cu_1.dat.eps,width=9cm}\\\\");
    EXPECT_EQ(block[20], "");
    EXPECT_EQ(fitTexEnd(), "\\end{document}\r\n");
}

} // namespace
} // namespace korvo::testing

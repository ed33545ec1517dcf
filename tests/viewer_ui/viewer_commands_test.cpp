// Hand scaling, measuring mode, data selection and marking, the curves and the window's texts.
#include "viewer/curves.h"
#include "viewer/data_selection.h"
#include "viewer/hand_scale.h"
#include "viewer/load_dialog_model.h"
#include "viewer/measuring.h"
#include "viewer/viewer_texts.h"
#include "viewer_ui/viewer_test_util.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <fstream>

namespace korvo {
namespace {

using testing::makeWorkspace;
using testing::Points;
using testing::sampled;

Points line(double slope) {
    return sampled(401, 0, 1, [slope](double x) { return slope * x; });
}

HandScaleInput parsed(const HandScaleTexts& t, HandScaleAction action) {
    std::string error;
    auto in = parseHandScale(t, action, error);
    EXPECT_TRUE(in) << error;
    return in.value_or(HandScaleInput{});
}

// ---- hand scaling

TEST(HandScale, DialogOpensWithTheActiveRangeAndDefaults) {
    tvar ws = makeWorkspace({line(1), line(2)});
    ws.Active = 2;
    ws.spectrum(2).XMin = 12.5;
    const HandScaleTexts t = handScaleTexts(ws, false);
    EXPECT_EQ(t.xMin, "12.5");
    EXPECT_EQ(t.xMax, "400");
    EXPECT_EQ(t.yMax, "800");
    EXPECT_EQ(t.yMin, "0");
    EXPECT_EQ(t.factor, "1");
    EXPECT_EQ(t.yShift, "0");
    EXPECT_FALSE(t.allSpectra);
}

TEST(HandScale, AbsoluteSetsTheTypedRangeOnTheCheckedAxesPlusTheXShift) {
    tvar ws = makeWorkspace({line(1), line(2)});
    HandScaleTexts t = handScaleTexts(ws, true);
    t.xMin = "10", t.xMax = "20", t.yMin = "-5", t.yMax = "50", t.xShift = "2";
    ViewMessages m;
    applyHandScale(ws, HandScaleAction::Ok, parsed(t, HandScaleAction::Ok), m);
    for (int k : {1, 2}) {
        EXPECT_DOUBLE_EQ(ws.spectrum(k).XMin, 12);
        EXPECT_DOUBLE_EQ(ws.spectrum(k).XMax, 22);
        EXPECT_DOUBLE_EQ(ws.spectrum(k).YMin, -5);
        EXPECT_DOUBLE_EQ(ws.spectrum(k).YMax, 50);
        EXPECT_DOUBLE_EQ(ws.spectrum(k).YTop, 50);
        EXPECT_DOUBLE_EQ(ws.spectrum(k).XPerPixel, 10.0 / 400);
    }
    EXPECT_TRUE(m.empty());

    tvar onlyY = makeWorkspace({line(1)});
    t.xScale = false;
    applyHandScale(onlyY, HandScaleAction::Ok, parsed(t, HandScaleAction::Ok), m);
    EXPECT_DOUBLE_EQ(onlyY.spectrum(1).XMin, 0);
    EXPECT_DOUBLE_EQ(onlyY.spectrum(1).XMax, 400);
    EXPECT_DOUBLE_EQ(onlyY.spectrum(1).YMax, 50);
}

TEST(HandScale, RelativeMovesEachViewByTheActiveSpectrumsFractions) {
    tvar ws = makeWorkspace({line(1), sampled(41, 0, 1, [](double x) { return x; })});
    HandScaleTexts t = handScaleTexts(ws, true);
    t.relative = true;
    t.xMin = "100"; // a quarter of the active view in from the left
    t.xMax = "300"; // a quarter in from the right
    t.yScale = false;
    ViewMessages m;
    applyHandScale(ws, HandScaleAction::Ok, parsed(t, HandScaleAction::Ok), m);
    // The lower edge moves first; the upper edge then moves by its fraction of the new range.
    EXPECT_DOUBLE_EQ(ws.spectrum(1).XMin, 100);
    EXPECT_DOUBLE_EQ(ws.spectrum(1).XMax, 400 - 300 * 0.25);
    EXPECT_DOUBLE_EQ(ws.spectrum(2).XMin, 10);
    EXPECT_DOUBLE_EQ(ws.spectrum(2).XMax, 40 - 30 * 0.25);
    EXPECT_DOUBLE_EQ(ws.spectrum(2).YMax, 40); // "Y - Scale" unchecked
}

TEST(HandScale, ShiftingStacksTheShownSpectraAndMovesTheEnergy) {
    tvar ws = makeWorkspace({sampled(11, 0, 1, [](double x) { return 10 * x; }),
                             sampled(11, 0, 1, [](double x) { return 10 * x; }),
                             sampled(11, 0, 1, [](double x) { return 10 * x; })});
    HandScaleTexts t = handScaleTexts(ws, true);
    t.yShift = "0.1";
    t.xShift = "5";
    ViewMessages m;
    applyHandScale(ws, HandScaleAction::Shifting, parsed(t, HandScaleAction::Shifting), m);
    const double expectedMax[] = {120, 110, 100}, expectedMin[] = {0, -10, -20};
    for (int i = 1; i <= 3; ++i) {
        SCOPED_TRACE(i);
        EXPECT_DOUBLE_EQ(ws.spectrum(i).YMax, expectedMax[i - 1]);
        EXPECT_DOUBLE_EQ(ws.spectrum(i).YMin, expectedMin[i - 1]);
        EXPECT_DOUBLE_EQ(ws.spectrum(i).XMin, 5);
        EXPECT_DOUBLE_EQ(ws.spectrum(i).XMax, 15);
    }
}

TEST(HandScale, ResetMaximizeAndMultiplyActOnTheScopeOnly) {
    tvar ws = makeWorkspace({line(1), line(1)});
    ws.spectrum(2).Marked = 1;
    for (int k : {1, 2}) {
        ws.spectrum(k).XMin = 100, ws.spectrum(k).XMax = 200;
        ws.spectrum(k).YMin = -50, ws.spectrum(k).YMax = 1000;
    }
    HandScaleTexts t = handScaleTexts(ws, false); // "Active Spectra": the marked one
    ViewMessages m;
    applyHandScale(ws, HandScaleAction::Maximize, parsed(t, HandScaleAction::Maximize), m);
    EXPECT_DOUBLE_EQ(ws.spectrum(2).YMin, 100);
    EXPECT_DOUBLE_EQ(ws.spectrum(2).YMax, 200);
    EXPECT_DOUBLE_EQ(ws.spectrum(2).YTop, 200);
    EXPECT_DOUBLE_EQ(ws.spectrum(1).YMax, 1000);

    t.factor = "4";
    applyHandScale(ws, HandScaleAction::Multiply, parsed(t, HandScaleAction::Multiply), m);
    EXPECT_DOUBLE_EQ(ws.spectrum(2).YMax, 125); // a quarter of the range: curves four times as high
    EXPECT_DOUBLE_EQ(ws.spectrum(2).YMin, 100);

    applyHandScale(ws, HandScaleAction::Reset, parsed(t, HandScaleAction::Reset), m);
    EXPECT_DOUBLE_EQ(ws.spectrum(2).XMin, 0);
    EXPECT_DOUBLE_EQ(ws.spectrum(2).XMax, 400);
    EXPECT_DOUBLE_EQ(ws.spectrum(2).YMin, 0);
    EXPECT_DOUBLE_EQ(ws.spectrum(2).YMax, 400);
    EXPECT_DOUBLE_EQ(ws.spectrum(1).XMin, 100);
    EXPECT_TRUE(m.empty());
}

TEST(HandScale, BadNumbersAndAZeroFactorAreRefusedZeroRangeIsReported) {
    tvar ws = makeWorkspace({line(1)});
    HandScaleTexts t = handScaleTexts(ws, true);
    std::string error;
    t.factor = "0";
    EXPECT_FALSE(parseHandScale(t, HandScaleAction::Multiply, error));
    EXPECT_FALSE(error.empty());
    t.factor = "2";
    t.xMin = "abc";
    error.clear();
    EXPECT_FALSE(parseHandScale(t, HandScaleAction::Ok, error));
    EXPECT_NE(error.find("abc"), std::string::npos);
    // The other actions do not read the range edits.
    EXPECT_TRUE(parseHandScale(t, HandScaleAction::Multiply, error));
    EXPECT_TRUE(parseHandScale(t, HandScaleAction::Reset, error));

    t = handScaleTexts(ws, true);
    t.yMin = t.yMax = "7";
    ViewMessages m;
    applyHandScale(ws, HandScaleAction::Ok, parsed(t, HandScaleAction::Ok), m);
    EXPECT_EQ(m.texts, std::vector<std::string>{"Countspfusch20"});
}

// ---- measuring mode

tvar elevenPoints() {
    // x = 0 .. 10, counts 10 x; a spike at x = 5.
    tvar ws = makeWorkspace({sampled(11, 0, 1, [](double x) { return x == 5 ? 1000 : 10 * x; })});
    return ws;
}

TEST(Measuring, NearestPointPrefersTheFirstAtOrAboveUnlessThePreviousIsCloser) {
    tvar ws = elevenPoints();
    EXPECT_EQ(nearestPoint(ws, 1, 4.4), 5); // x = 4
    EXPECT_EQ(nearestPoint(ws, 1, 4.6), 6); // x = 5
    EXPECT_EQ(nearestPoint(ws, 1, 4.5), 6); // a tie goes to the point at or above
    EXPECT_EQ(nearestPoint(ws, 1, 0), 1);
    EXPECT_EQ(nearestPoint(ws, 1, 10), 11);
}

TEST(Measuring, EnergyIsClampedIntoTheViewAndOutsideTheLoadedRangeNoPointIsTaken) {
    tvar ws = elevenPoints();
    ws.spectrum(1).XMin = 2, ws.spectrum(1).XMax = 8;
    EXPECT_EQ(nearestPoint(ws, 1, 0.5), 3);  // clamped to 2
    EXPECT_EQ(nearestPoint(ws, 1, 9.7), 9);  // clamped to 8
    ws.spectrum(1).XMin = -5;
    EXPECT_FALSE(nearestPoint(ws, 1, -3)); // inside the view, left of the loaded range
    EXPECT_FALSE(nearestPoint(ws, 1, std::nan("")));
}

TEST(Measuring, MarksStartAtTheViewEndsAndFollowTheMouse) {
    tvar ws = elevenPoints();
    ws.spectrum(1).XMin = 2.2, ws.spectrum(1).XMax = 7.9;
    ws.recomputeScale(1);
    ASSERT_TRUE(startMeasuring(ws));
    EXPECT_EQ(ws.SelStartPoint, 3);
    EXPECT_DOUBLE_EQ(ws.SelStartX, 2);
    EXPECT_EQ(ws.SelEndPoint, 9);
    EXPECT_DOUBLE_EQ(ws.SelEndX, 8);
    EXPECT_EQ(ws.SelEndPx, ws.column(1, 8));
    EXPECT_EQ(measuringCaption(ws), "2.00  8.00  6.00");

    ws.spectrum(1).XMin = 0, ws.spectrum(1).XMax = 10;
    ws.recomputeScale(1); // 40 pixels per unit
    ASSERT_TRUE(moveMark(ws, MeasureMark::Start, 45 + 4 * 40 + 15)); // x = 4.375
    EXPECT_EQ(ws.SelStartPoint, 5);
    EXPECT_EQ(ws.SelStartPx, 45 + 160);
    ASSERT_TRUE(moveMark(ws, MeasureMark::End, 45 + 9 * 40 + 25)); // x = 9.625
    EXPECT_EQ(ws.SelEndPoint, 11);
    EXPECT_EQ(measuringCaption(ws), "4.00  10.00  6.00");

    tvar empty;
    EXPECT_FALSE(startMeasuring(empty));
}

TEST(Measuring, ShiftClickReplacesASpikeByItsNeighboursMean) {
    tvar ws = elevenPoints();
    ASSERT_TRUE(removeSpike(ws, 45 + 5 * 40 + 3));
    EXPECT_DOUBLE_EQ(ws.point(1, 6).y, 50);
    EXPECT_DOUBLE_EQ(ws.point(1, 5).y, 40); // neighbours untouched
    // At the end of the spectrum its one neighbour stands for both.
    ASSERT_TRUE(removeSpike(ws, 45 + 10 * 40));
    EXPECT_DOUBLE_EQ(ws.point(1, 11).y, 90);
}

// ---- data selection and marking

TEST(DataSelectionTest, MovingEntriesKeepsShownThenHiddenAndFollowsTheActive) {
    tvar ws = makeWorkspace({line(1), line(2), line(3), line(4)});
    ws.ShownCount = 3, ws.HiddenCount = 1, ws.Active = 2;
    DataSelection d = DataSelection::of(ws);
    EXPECT_EQ(d.shown, (std::vector<int>{1, 2, 3}));
    EXPECT_EQ(d.hidden, (std::vector<int>{4}));
    EXPECT_EQ(d.active, 2);

    d.hide({1});
    EXPECT_EQ(d.shown, (std::vector<int>{1, 3}));
    EXPECT_EQ(d.hidden, (std::vector<int>{4, 2}));
    EXPECT_EQ(d.active, 1); // the active one went: the first remaining shown spectrum

    d.show({1, 0, 7}); // rows in any order, one out of range; moved in list order
    EXPECT_EQ(d.shown, (std::vector<int>{1, 3, 4, 2}));
    EXPECT_TRUE(d.hidden.empty());

    d.hide({0, 1, 2, 3});
    EXPECT_EQ(d.active, 0);
    d.show({2});
    EXPECT_EQ(d.shown, (std::vector<int>{4}));
    EXPECT_EQ(d.active, 4);

    // Nothing reaches the workspace until it is applied ("OK").
    EXPECT_EQ(ws.ShownCount, 3);
    EXPECT_EQ(ws.Active, 2);
    d.applyTo(ws);
    EXPECT_EQ(ws.ShownCount, 1);
    EXPECT_EQ(ws.HiddenCount, 3);
    EXPECT_EQ(ws.Active, 4);
    EXPECT_EQ(std::vector<int>(ws.Order.begin() + 1, ws.Order.begin() + 5), (std::vector<int>{4, 1, 3, 2}));
}

TEST(DataSelectionTest, MarkClearsOldMarksAndMarksOnlyShownSpectra) {
    tvar ws = makeWorkspace({line(1), line(2), line(3)});
    ws.ShownCount = 2, ws.HiddenCount = 1;
    ws.spectrum(1).Marked = 1;
    markSpectra(ws, {2, 3});
    EXPECT_EQ(ws.spectrum(1).Marked, 0);
    EXPECT_EQ(ws.spectrum(2).Marked, 1);
    EXPECT_EQ(ws.spectrum(3).Marked, 0);
    EXPECT_EQ(curveColour(ws, 1), kActiveColour);
    EXPECT_EQ(curveColour(ws, 2), kMarkedColour);
    ws.spectrum(2).Marked = 0;
    EXPECT_EQ(curveColour(ws, 2), kPlainColour);
}

// ---- curves

TEST(Curves, TheLowerEdgeCutsTheCurveAtTheInterpolatedCrossing) {
    tvar ws = makeWorkspace({{{0, 10}, {1, -10}, {2, 10}}});
    ws.spectrum(1).YMin = 0;
    ws.recomputeScale(1);
    ViewMessages m;
    const Curve c = spectrumCurve(ws, 1, m);
    ASSERT_EQ(c.pieces.size(), 2u);
    ASSERT_EQ(c.pieces[0].size(), 2u);
    ASSERT_EQ(c.pieces[1].size(), 2u);
    // 200 pixels per unit across, 40 per count down from row 5.
    EXPECT_EQ(c.pieces[0][0].x, 45);
    EXPECT_EQ(c.pieces[0][0].y, 5);
    EXPECT_EQ(c.pieces[0][1].x, 145); // down to the edge at x = 0.5
    EXPECT_EQ(c.pieces[0][1].y, 405);
    EXPECT_EQ(c.pieces[1][0].x, 345); // up from the edge at x = 1.5
    EXPECT_EQ(c.pieces[1][0].y, 405);
    EXPECT_EQ(c.pieces[1][1].x, 445);
    EXPECT_TRUE(m.empty());
}

TEST(Curves, PointsLeftOfTheViewAreSkippedAndASpectrumWithoutScaleIsReported) {
    tvar ws = makeWorkspace({sampled(5, 0, 1, [](double x) { return x; })});
    ws.spectrum(1).XMin = 2.5;
    ws.recomputeScale(1);
    ViewMessages m;
    Curve c = spectrumCurve(ws, 1, m);
    ASSERT_EQ(c.pieces.size(), 1u);
    EXPECT_EQ(c.pieces[0].size(), 2u); // x = 3 and 4
    EXPECT_EQ(c.pieces[0][0].x, 45 + 133); // 0.5 of 1.5 units over 400 pixels

    ws.spectrum(1).XMin = 4.5; // every point lies left of the view
    ws.recomputeScale(1);
    EXPECT_TRUE(spectrumCurve(ws, 1, m).pieces.empty());
    EXPECT_TRUE(m.empty());

    ws.spectrum(1).XMin = 0;
    ws.spectrum(1).XPerPixel = 0;
    EXPECT_TRUE(spectrumCurve(ws, 1, m).pieces.empty());
    EXPECT_EQ(m.texts, std::vector<std::string>{"skalierungspfusch2"});
}

// ---- texts

TEST(ViewerTexts, PanelsToggleInTheirOrderAndShowAllClearReturnsToZero) {
    tvar ws = makeWorkspace({line(1)});
    ViewerSpectrum& s = ws.spectrum(1);
    s.ScansText = "Scans: 3", s.PassEnText = "PassEn: 20.00", s.PointsText = "Points: 401";
    s.MeasTimeText = "MeasTime: 100", s.AnaStaText = "AnaSta: 10", s.AnaEndText = "AnaEnd: 50";
    s.DateText = "Date: 01.01.1999";
    InfoPanelSet p;
    EXPECT_EQ(p.toggle(InfoPanel::Analyser), 17);
    EXPECT_EQ(p.toggle(InfoPanel::Sample), 17);
    EXPECT_EQ(infoPanelTexts(ws, p),
              (std::vector<std::string>{"Probe: sample 1", "AnaSta: 10    AnaEnd: 50"}));
    EXPECT_EQ(p.showAllOrClear(), 51);
    EXPECT_EQ(p.height(), 85);
    EXPECT_EQ(infoPanelTexts(ws, p)[3], "Scans: 3     PassEn: 20.00     Points: 401     MeasTime: 100");
    EXPECT_EQ(p.showAllOrClear(), -85);
    EXPECT_EQ(p.height(), 0);
    EXPECT_EQ(p.toggle(InfoPanel::Sample), 17);
    EXPECT_EQ(p.toggle(InfoPanel::Sample), -17);
}

TEST(ViewerTexts, CursorReadoutClampsToTheLowerEdgesOfTheView) {
    tvar ws = makeWorkspace({line(1)});
    EXPECT_EQ(cursorReadout(ws, 45, 5), "  X =      0.000  Y =    400.000");
    EXPECT_EQ(cursorReadout(ws, 145, 105), "  X =    100.000  Y =    300.000");
    EXPECT_EQ(cursorReadout(ws, 0, 500), "  X =      0.000  Y =      0.000");
    tvar empty;
    EXPECT_EQ(cursorReadout(empty, 10, 10), "");
}

TEST(ViewerTexts, ValueTableRowsInDisplayOrder) {
    tvar ws = makeWorkspace({line(1), line(0.5)});
    ws.Order[1] = 2, ws.Order[2] = 1;
    ws.spectrum(2).XMin = 12.347;
    ws.spectrum(2).SampleText = "Probe: Cu\xC3\xA9(111)";
    const auto rows = valueTableRows(ws);
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[0][0], "sp2.dat");
    EXPECT_EQ(rows[0][1], "Cu\xC3\xA9(111)");
    EXPECT_EQ(rows[0][2], "12.35");
    EXPECT_EQ(rows[0][3], "400.00");
    EXPECT_EQ(rows[0][5], "200.0");
    EXPECT_EQ(rows[1][0], "sp1.dat");
    EXPECT_EQ(dropLeadingCharacters("\xC3\xA9\xC3\xA9x", 2), "x");
}

// ---- the load dialog's lists

TEST(LoadDialogModel, ListsFilterFilesAndTheLoadListKeepsListOrder) {
    testing::TempDir dir;
    for (const char* name : {"b.dat", "A.DAT", "c.txt", ".hidden.dat", "d.spe"}) std::ofstream(dir.file(name)) << "x";
    std::filesystem::create_directory(dir.path / "sub");
    const DirectoryListing all = listDirectory(dir.path.string(), 0);
    EXPECT_EQ(all.files, (std::vector<std::string>{"A.DAT", "b.dat", "c.txt", "d.spe"}));
    EXPECT_EQ(all.directories, (std::vector<std::string>{"..", "sub"}));
    EXPECT_EQ(listDirectory(dir.path.string(), 1).files, (std::vector<std::string>{"A.DAT", "b.dat"}));
    EXPECT_EQ(listDirectory(dir.path.string(), 2).files, (std::vector<std::string>{"c.txt"}));
    EXPECT_FALSE(listDirectory(dir.file("missing"), 0).error.empty());

    LoadList list;
    list.LoadProjectFlag = true;
    fillLoadList(list, dir.path.string(), {"b.dat", "A.DAT"});
    ASSERT_EQ(list.LoadCount(), 2u);
    EXPECT_EQ(list.paths[0], dir.file("b.dat"));
    EXPECT_EQ(list.paths[1], dir.file("A.DAT"));
    EXPECT_FALSE(list.LoadProjectFlag);

    EXPECT_EQ(enterDirectory(dir.path.string(), "sub"), dir.file("sub"));
    EXPECT_EQ(enterDirectory(dir.file("sub"), ".."), dir.path.string());
    EXPECT_EQ(enterDirectory("/", ".."), "/");
}

} // namespace
} // namespace korvo

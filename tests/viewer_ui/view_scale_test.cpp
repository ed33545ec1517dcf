// Zoom, scroll bars and the full-scale commands of the viewer window, on workspaces made in place.
#include "viewer/view_scale.h"
#include "viewer_ui/viewer_test_util.h"

#include <gtest/gtest.h>

namespace korvo {
namespace {

using testing::makeWorkspace;
using testing::sampled;

// One spectrum y = x over 0..400: with the 400 x 400 data area, one unit per pixel on both axes.
tvar diagonal() {
    return makeWorkspace({sampled(401, 0, 1, [](double x) { return x; })});
}

TEST(ViewerZoom, RectangleSetsRangesFromItsColumnsAndRows) {
    tvar ws = diagonal();
    ViewMessages m;
    // Dragged from the lower right to the upper left: the corners are ordered first.
    ASSERT_TRUE(zoomIn(ws, RangeScope::AllSpectra, 245, 155, 145, 55, m));
    const ViewerSpectrum& s = ws.spectrum(1);
    EXPECT_DOUBLE_EQ(s.XMin, 100);
    EXPECT_DOUBLE_EQ(s.XMax, 200);
    EXPECT_DOUBLE_EQ(s.YMin, 250);
    EXPECT_DOUBLE_EQ(s.YMax, 350);
    EXPECT_DOUBLE_EQ(s.YTop, 350);
    EXPECT_DOUBLE_EQ(s.XPerPixel, 0.25);
    EXPECT_DOUBLE_EQ(s.YPerPixel, 0.25);
    EXPECT_TRUE(m.empty());
}

TEST(ViewerZoom, NinePixelsChangeNothingTenDo) {
    tvar ws = diagonal();
    ViewMessages m;
    EXPECT_FALSE(zoomIn(ws, RangeScope::AllSpectra, 145, 55, 154, 155, m)); // 9 wide
    EXPECT_FALSE(zoomIn(ws, RangeScope::AllSpectra, 145, 55, 245, 64, m));  // 9 high
    EXPECT_DOUBLE_EQ(ws.spectrum(1).XMin, 0);
    EXPECT_DOUBLE_EQ(ws.spectrum(1).XMax, 400);
    EXPECT_DOUBLE_EQ(ws.spectrum(1).YMax, 400);
    EXPECT_TRUE(zoomIn(ws, RangeScope::AllSpectra, 145, 55, 155, 65, m));
    EXPECT_DOUBLE_EQ(ws.spectrum(1).XMin, 100);
    EXPECT_DOUBLE_EQ(ws.spectrum(1).XMax, 110);
}

TEST(ViewerZoom, RightClickTwiceQuadruplesTheRangeAboutTheCentre) {
    tvar ws = diagonal();
    ViewMessages m;
    ASSERT_TRUE(zoomIn(ws, RangeScope::AllSpectra, 145, 55, 245, 155, m));
    zoomOut(ws, RangeScope::AllSpectra, m);
    zoomOut(ws, RangeScope::AllSpectra, m);
    const ViewerSpectrum& s = ws.spectrum(1);
    EXPECT_DOUBLE_EQ(s.XMin, -50);
    EXPECT_DOUBLE_EQ(s.XMax, 350);
    EXPECT_DOUBLE_EQ(s.YMin, 100);
    EXPECT_DOUBLE_EQ(s.YMax, 500);
    EXPECT_DOUBLE_EQ(s.YTop, 500);
    EXPECT_DOUBLE_EQ(s.XPerPixel, 1);
}

TEST(ViewerZoom, ScopeMarkedActsOnMarkedSpectraOnly) {
    tvar ws = makeWorkspace({sampled(401, 0, 1, [](double x) { return x; }),
                             sampled(401, 0, 1, [](double x) { return 2 * x; })});
    ViewMessages m;
    // Nothing marked: zoom and scroll change no spectrum.
    zoomIn(ws, RangeScope::Marked, 145, 55, 245, 155, m);
    zoomOut(ws, RangeScope::Marked, m);
    ScrollBarSetup bar = setupScrollBar(ws, RangeScope::Marked, ScrollAxis::Energy);
    scrollTo(ws, RangeScope::Marked, ScrollAxis::Energy, bar, 5);
    for (int k : {1, 2}) {
        EXPECT_DOUBLE_EQ(ws.spectrum(k).XMin, 0);
        EXPECT_DOUBLE_EQ(ws.spectrum(k).XMax, 400);
    }
    ws.spectrum(2).Marked = 1;
    zoomOut(ws, RangeScope::Marked, m);
    EXPECT_DOUBLE_EQ(ws.spectrum(1).XMax, 400);
    EXPECT_DOUBLE_EQ(ws.spectrum(2).XMin, -200);
    EXPECT_DOUBLE_EQ(ws.spectrum(2).YMax, 1200);
}

TEST(ViewerZoom, ZeroCountRangeReportsOnceAndKeepsTheOldFactor) {
    tvar ws = makeWorkspace({sampled(401, 0, 1, [](double) { return 5.0; }),
                             sampled(401, 0, 1, [](double) { return 7.0; })});
    ws.spectrum(1).YPerPixel = 0.5; // from an earlier, sound range
    ViewMessages m;
    zoomOut(ws, RangeScope::AllSpectra, m);
    EXPECT_EQ(m.texts, std::vector<std::string>{"countspfusch10"});
    EXPECT_DOUBLE_EQ(ws.spectrum(1).YPerPixel, 0.5);
    EXPECT_DOUBLE_EQ(ws.spectrum(1).XPerPixel, 2); // the energy axis is sound and rescaled
    m = {};
    zoomIn(ws, RangeScope::AllSpectra, 45, 5, 245, 205, m);
    EXPECT_EQ(m.texts, std::vector<std::string>{"Countspfusch11"});
}

TEST(ViewerScrollBars, RangeReachesTheLoadedEndsAndUnitsMoveTheView) {
    tvar ws = diagonal();
    ViewMessages m;
    ASSERT_TRUE(zoomIn(ws, RangeScope::AllSpectra, 145, 55, 245, 155, m)); // view 100..200, 250..350
    ScrollBarSetup h = setupScrollBar(ws, RangeScope::AllSpectra, ScrollAxis::Energy);
    // 800 pixels to XMaxOrig, 400 to XMinOrig; 1000 units per view width.
    EXPECT_EQ(h.max, 2000);
    EXPECT_EQ(h.min, -1000);
    EXPECT_DOUBLE_EQ(h.unitPixels, 0.4);
    EXPECT_EQ(h.position, 0);
    scrollTo(ws, RangeScope::AllSpectra, ScrollAxis::Energy, h, 10);
    EXPECT_NEAR(ws.spectrum(1).XMin, 101, 1e-9);
    EXPECT_NEAR(ws.spectrum(1).XMax, 201, 1e-9);
    scrollTo(ws, RangeScope::AllSpectra, ScrollAxis::Energy, h, h.max);
    EXPECT_NEAR(ws.spectrum(1).XMax, 400, 1e-9);
    scrollTo(ws, RangeScope::AllSpectra, ScrollAxis::Energy, h, h.min);
    EXPECT_NEAR(ws.spectrum(1).XMin, 0, 1e-9);
    EXPECT_NEAR(ws.spectrum(1).XMax, 100, 1e-9);

    ScrollBarSetup v = setupScrollBar(ws, RangeScope::AllSpectra, ScrollAxis::Counts);
    EXPECT_EQ(v.max, 500);
    EXPECT_EQ(v.min, -2500);
    scrollTo(ws, RangeScope::AllSpectra, ScrollAxis::Counts, v, v.max);
    EXPECT_NEAR(ws.spectrum(1).YMax, 400, 1e-9);
    EXPECT_NEAR(ws.spectrum(1).YTop, 400, 1e-9);
    EXPECT_NEAR(ws.spectrum(1).YMin, 300, 1e-9);
}

TEST(ViewerScrollBars, AtTheLoadedRangeTheBarHasNoRoom) {
    tvar ws = diagonal();
    const ScrollBarSetup h = setupScrollBar(ws, RangeScope::AllSpectra, ScrollAxis::Energy);
    EXPECT_EQ(h.min, 0);
    EXPECT_EQ(h.max, 0);
    EXPECT_EQ(h.unitPixels, 0);
}

TEST(ViewerScrollBars, TheWidestSpectrumInScopeSetsTheRange) {
    tvar ws = makeWorkspace({sampled(401, 0, 1, [](double x) { return x; }),
                             sampled(801, 0, 1, [](double x) { return x; })});
    for (int k : {1, 2}) {
        ws.spectrum(k).XMin = 0;
        ws.spectrum(k).XMax = 100;
        ws.recomputeScale(k);
    }
    // Spectrum 2 reaches 700 units beyond the view (2800 pixels), spectrum 1 only 300.
    const ScrollBarSetup h = setupScrollBar(ws, RangeScope::AllSpectra, ScrollAxis::Energy);
    EXPECT_EQ(h.max, 7000);
    EXPECT_EQ(h.min, 0);
    ws.spectrum(1).Marked = 1;
    EXPECT_EQ(setupScrollBar(ws, RangeScope::Marked, ScrollAxis::Energy).max, 3000);
}

TEST(ViewerFullScale, CommonRangesOverAllShownSpectra) {
    const auto make = [] {
        tvar ws = makeWorkspace({{{0, 5}, {10, 50}}, {{5, 1}, {20, 30}}, {{-100, -100}, {100, 1000}}});
        ws.ShownCount = 2; // the third is hidden and counts for nothing
        ws.HiddenCount = 1;
        for (int k : {1, 2}) ws.spectrum(k).XMin = 3, ws.spectrum(k).YMax = 9;
        return ws;
    };
    tvar all = make();
    fullScale(all, FullScale::All);
    for (int k : {1, 2}) {
        EXPECT_DOUBLE_EQ(all.spectrum(k).XMin, 0);
        EXPECT_DOUBLE_EQ(all.spectrum(k).XMax, 20);
        EXPECT_DOUBLE_EQ(all.spectrum(k).YMin, 1);
        EXPECT_DOUBLE_EQ(all.spectrum(k).YMax, 50);
        EXPECT_DOUBLE_EQ(all.spectrum(k).YTop, 50);
    }
    EXPECT_DOUBLE_EQ(all.spectrum(3).XMin, -100);

    tvar x = make();
    fullScale(x, FullScale::X);
    EXPECT_DOUBLE_EQ(x.spectrum(2).XMin, 0);
    EXPECT_DOUBLE_EQ(x.spectrum(2).YMax, 9);

    tvar y = make();
    fullScale(y, FullScale::Y);
    EXPECT_DOUBLE_EQ(y.spectrum(1).XMin, 3);
    EXPECT_DOUBLE_EQ(y.spectrum(1).YMax, 50);

    tvar special = make();
    fullScale(special, FullScale::Special);
    EXPECT_DOUBLE_EQ(special.spectrum(1).YMax, 50 + 49 * 0.05);
    EXPECT_DOUBLE_EQ(special.spectrum(1).YMin, 1 - (50 + 49 * 0.05 - 1) * 0.06);
    EXPECT_DOUBLE_EQ(special.spectrum(1).XMax, 20);
}

TEST(ViewerLayoutTest, PartsFollowTheClientSizeAndThePanels) {
    const ViewerLayout l = viewerLayout(640, 480, 17, 34);
    EXPECT_EQ(l.plotWidth, 623);
    EXPECT_EQ(l.plotHeight, 480 - 34 - 34);
    EXPECT_EQ(l.scrollBarTop, l.plotHeight);
    EXPECT_EQ(l.radioRowTop, l.plotHeight + 17);
    EXPECT_EQ(l.firstPanelTop, l.plotHeight + 34);
    EXPECT_EQ(viewerLayout(10, 20, 17, 85).plotHeight, 0); // never negative
}

} // namespace
} // namespace korvo

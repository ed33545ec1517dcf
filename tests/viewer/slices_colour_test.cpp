// Series of slices (Slices-Sum, the slice mix) and the colour view's bands and scales: results
// against sums and blends worked out by hand, and no spectrum lost when the shown series shortens.
#include "viewer/analysis/operations.h"
#include "viewer/analysis/slices.h"
#include "viewer/colour_view.h"
#include "viewer_ui/viewer_test_util.h"

#include <gtest/gtest.h>

#include <set>

namespace korvo::testing {
namespace {

using namespace analysis;

// Spectrum k of `count` spectra of `n` points: counts k * 100 + j, so sums and blends are easy to
// write down.
tvar series(int count, int n = 4) {
    std::vector<Points> spectra;
    for (int k = 1; k <= count; ++k) spectra.push_back(sampled(n, 10, 1, [k](double x) { return k * 100 + (x - 10); }));
    return makeWorkspace(spectra);
}

double count(const tvar& ws, int k, int j) {
    return ws.point(k, j).y;
}

TEST(Slices, SumOfGroupsOfThirtyKeepsTheRestHidden) {
    tvar ws = series(59);
    ws.Active = 45;
    const Outcome r = slicesSum(ws);
    ASSERT_TRUE(r.ok()) << r.message;
    // Only the group 1 .. 30 is complete: sum of k * 100 + j over k = 1 .. 30.
    EXPECT_EQ(ws.ShownCount, 1);
    for (int j = 1; j <= 4; ++j) EXPECT_DOUBLE_EQ(count(ws, 1, j), 100 * (30 * 31 / 2) + 30 * (j - 1));
    // Spectra 31 .. 59 keep their counts; every loaded spectrum is still there, hidden.
    EXPECT_DOUBLE_EQ(count(ws, 31, 1), 3100);
    EXPECT_EQ(ws.spectrumCount(), 59);
    EXPECT_EQ(ws.HiddenCount, 58);
    EXPECT_EQ(ws.Active, 1);

    tvar two = series(61);
    ASSERT_TRUE(slicesSum(two).ok());
    EXPECT_EQ(two.ShownCount, 2);
    EXPECT_DOUBLE_EQ(count(two, 2, 1), 100 * (60 * 61 / 2 - 30 * 31 / 2));

    // Groups of one leave every spectrum as it was.
    tvar same = series(5);
    ASSERT_TRUE(slicesSum(same, 1).ok());
    EXPECT_EQ(same.ShownCount, 5);
    EXPECT_DOUBLE_EQ(count(same, 5, 2), 501);
}

TEST(Slices, MixBlendsTheOverlapWithRisingWeights) {
    // Blocks of 3 with one overlapping slice: 1 2 3 | 4 5 6 → 1 2 (3+4)/2 5 6.
    tvar ws = series(6, 1);
    ASSERT_TRUE(sliceMix(ws, 3, 1).ok());
    EXPECT_EQ(ws.ShownCount, 5);
    const std::vector<double> expected{100, 200, 350, 500, 600};
    for (int k = 1; k <= 5; ++k) EXPECT_DOUBLE_EQ(count(ws, k, 1), expected[std::size_t(k - 1)]) << k;

    // Blocks of 4 with two overlapping: 1 2 3 4 | 5 6 7 8 | 9 10 → 1 2 m(3,5) m(4,6) m(7,9) m(8,10),
    // the later slice weighted 1/3 first, then 2/3.
    tvar wide = series(10, 1);
    ASSERT_TRUE(sliceMix(wide, 4, 2).ok());
    EXPECT_EQ(wide.ShownCount, 6);
    const auto m = [](double earlier, double later, int w) { return (w * later + (3 - w) * earlier) / 3; };
    const std::vector<double> blended{100, 200, m(300, 500, 1), m(400, 600, 2), m(700, 900, 1), m(800, 1000, 2)};
    for (int k = 1; k <= 6; ++k) EXPECT_NEAR(count(wide, k, 1), blended[std::size_t(k - 1)], 1e-9) << k;
    EXPECT_EQ(wide.spectrumCount(), 10);

    // No overlap: the series stays as it is.
    tvar plain = series(7, 2);
    ASSERT_TRUE(sliceMix(plain, 3, 0).ok());
    EXPECT_EQ(plain.ShownCount, 7);
    EXPECT_DOUBLE_EQ(count(plain, 7, 2), 701);
}

TEST(Slices, RefusalsAndShortSeriesChangeNothing) {
    const auto unchanged = [](const tvar& a, const tvar& b) {
        if (a.ShownCount != b.ShownCount || a.HiddenCount != b.HiddenCount) return false;
        for (std::size_t i = 1; i < a.pool.size(); ++i)
            if (a.pool[i].y != b.pool[i].y) return false;
        return true;
    };
    // A series no longer than one block: nothing to join (it must not show spectra that do not exist).
    tvar shortSeries = series(3);
    const tvar before = shortSeries;
    EXPECT_TRUE(sliceMix(shortSeries, 5, 1).ok());
    EXPECT_TRUE(unchanged(shortSeries, before));
    // An overlap larger than a block, a negative one, blocks of none.
    for (auto [s, o] : {std::pair{2, 3}, std::pair{3, -1}, std::pair{0, 0}}) {
        tvar ws = series(8);
        const tvar copy = ws;
        EXPECT_FALSE(sliceMix(ws, s, o).ok()) << s << ":" << o;
        EXPECT_TRUE(unchanged(ws, copy));
    }
    // A spectrum shorter than spectrum 1 is refused by both commands, one spectrum by Slices-Sum.
    tvar uneven = makeWorkspace({sampled(4, 0, 1, [](double) { return 1.0; }), sampled(3, 0, 1, [](double) { return 1.0; })});
    const tvar unevenCopy = uneven;
    const std::string counts =
        "Anzahl der Meßpunkte stimmt nicht überein?\rFunktion geht nur bei gleicher Anzahl !";
    EXPECT_EQ(slicesSum(uneven, 2).message, counts);
    EXPECT_EQ(sliceMix(uneven, 1, 1).message, counts);
    EXPECT_TRUE(unchanged(uneven, unevenCopy));
    // A longer one gives its first n points, n being the point count of spectrum 1.
    const auto longer = [] {
        return makeWorkspace({sampled(2, 0, 1, [](double x) { return 10 + x; }),
                              sampled(3, 0, 1, [](double x) { return 100 * (x + 1); })});
    };
    tvar summed = longer();
    ASSERT_TRUE(slicesSum(summed, 2).ok());
    EXPECT_EQ(summed.ShownCount, 1);
    EXPECT_DOUBLE_EQ(count(summed, 1, 1), 110);
    EXPECT_DOUBLE_EQ(count(summed, 1, 2), 211);
    EXPECT_DOUBLE_EQ(count(summed, 2, 3), 300);
    tvar mixed = longer();
    ASSERT_TRUE(sliceMix(mixed, 1, 1).ok());
    EXPECT_DOUBLE_EQ(count(mixed, 1, 2), (11 + 200) / 2.0);
    EXPECT_EQ(mixed.spectrum(1).NumPoints, 2);
    tvar one = series(1);
    EXPECT_FALSE(slicesSum(one).ok());
    EXPECT_EQ(one.ShownCount, 1);
    // Fewer spectra than one group would leave none shown: refused, the series stays as it is.
    tvar few = series(29);
    const tvar fewCopy = few;
    const Outcome r = slicesSum(few);
    EXPECT_EQ(r.message, "Slices-Sum sums groups of 30 spectra: at least 30 must be shown.");
    EXPECT_TRUE(unchanged(few, fewCopy));
    EXPECT_TRUE(slicesSum(few, 29).ok());
    EXPECT_EQ(few.ShownCount, 1);

    std::string error;
    EXPECT_FALSE(parseSliceMix("x", "1", error));
    EXPECT_EQ(error, "'x' is not a valid integer value");
    EXPECT_FALSE(parseSliceMix("3", "1.5", error));
    EXPECT_EQ(error, "'1.5' is not a valid integer value");
    const auto both = parseSliceMix(" 4", "2 ", error);
    ASSERT_TRUE(both);
    EXPECT_EQ(*both, (std::pair{4, 2}));
}

TEST(Slices, OperationsByName) {
    std::string error;
    const auto mix = parseOperation("slice-mix:4:2", error);
    ASSERT_TRUE(mix) << error;
    EXPECT_EQ(mix->kind, Operation::Kind::SliceMix);
    EXPECT_EQ(mix->slices, 4);
    EXPECT_EQ(mix->overlap, 2);
    for (const char* bad : {"slice-mix:4", "slice-mix:2:3", "slice-mix:0:0", "slice-mix:a:1", "slice-mix:2.5:1"})
        EXPECT_FALSE(parseOperation(bad, error)) << bad;
    tvar ws = series(30);
    ASSERT_TRUE(parseOperation("slices-sum", error));
    EXPECT_TRUE(runOperation(ws, *parseOperation("slices-sum", error), "").outcome.ok());
    EXPECT_EQ(ws.ShownCount, 1);
}

TEST(ColourView, BandsFollowTheCountsOnOneScale) {
    // Two spectra of three points at 100, 101, 102 eV; the data area is 400 pixels wide from column 45.
    tvar ws = makeWorkspace({sampled(3, 100, 1, [](double x) { return (x - 100) * 5; }),
                             sampled(3, 100, 1, [](double x) { return x == 101 ? 0.0 : 10.0; })});
    ViewMessages messages;
    const std::vector<ColourBand> bands = colourViewBands(ws, 3, messages);
    EXPECT_TRUE(messages.empty());
    ASSERT_EQ(bands.size(), 4u);
    // Band height (440 - 52) / 2 = 194; position 1 is the lower band.
    EXPECT_EQ(bands[0].top, 9 + 194);
    EXPECT_EQ(bands[0].bottom, 9 + 388);
    EXPECT_EQ(bands[2].top, 9);
    EXPECT_EQ(bands[2].bottom, 9 + 194);
    // Each point colours the stretch from the previous point's column to its own.
    EXPECT_EQ(bands[0].left, 45);
    EXPECT_EQ(bands[0].right, 245);
    EXPECT_EQ(bands[1].left, 245);
    EXPECT_EQ(bands[1].right, 445);
    // 0 .. 10 over both spectra: 5 is column 127 of the scale, 10 column 254; the selector 3 is row 2.
    EXPECT_EQ(bands[0].colour, colourScalePixel(127, 2));
    EXPECT_EQ(bands[1].colour, colourScalePixel(254, 2));
    EXPECT_EQ(bands[2].colour, colourScalePixel(0, 2));
    EXPECT_EQ(bands[3].colour, colourScalePixel(254, 2));

    // Points left of XMin are not drawn; a view zoomed far in keeps the rectangles near the box.
    ws.spectrum(1).XMin = 101;
    ws.spectrum(1).XMax = 101.000001;
    updateScalesForPaint(ws, messages);
    for (const ColourBand& b : colourViewBands(ws, 3, messages)) {
        EXPECT_GE(b.left, -1);
        EXPECT_LE(b.right, ws.PlotWidth + 1);
    }

    // One count everywhere: nothing to colour.
    tvar flat = makeWorkspace({sampled(5, 0, 1, [](double) { return 7.0; })});
    EXPECT_TRUE(colourViewBands(flat, 1, messages).empty());
}

TEST(ColourView, FortyFourDistinctScales) {
    const ColourScaleTable& t = colourScales();
    EXPECT_EQ(colourScalePixel(0, 0), (ScaleColour{0, 0, 0}));
    EXPECT_EQ(colourScalePixel(254, 0), (ScaleColour{255, 255, 255}));
    std::set<std::vector<int>> rows;
    for (const auto& row : t) {
        std::vector<int> flat;
        for (const ScaleColour& c : row) flat.insert(flat.end(), {c.r, c.g, c.b});
        rows.insert(flat);
    }
    EXPECT_EQ(rows.size(), std::size_t(kColourScaleRows));
    // Rows 11 .. 21 run the first eleven backwards; outside the picture the edge pixels answer.
    for (int c = 0; c < kColourScaleColumns; ++c) EXPECT_EQ(colourScalePixel(c, 12), colourScalePixel(254 - c, 1));
    EXPECT_EQ(colourScalePixel(999, 99), colourScalePixel(254, 43));
}

} // namespace
} // namespace korvo::testing

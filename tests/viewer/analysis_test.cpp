// The analysis commands over a workspace: counts changed exactly as the commands define, refusals
// that leave every count in place, and no reads outside short spectra.
#include "support/temp_dir.h"
#include "viewer/analysis/arithmetic.h"
#include "viewer/analysis/backgrounds.h"
#include "viewer/analysis/clipping_fit.h"
#include "viewer/analysis/integration.h"
#include "viewer/analysis/minmax_fits.h"
#include "viewer/analysis/operations.h"
#include "viewer/analysis/satellite.h"
#include "viewer_ui/viewer_test_util.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <random>

namespace korvo::testing {
namespace {

using namespace analysis;

std::vector<double> countsOf(const tvar& ws, int k) {
    std::vector<double> out;
    for (const SpectrumPoint& p : ws.points(k)) out.push_back(p.y);
    return out;
}

Points withCounts(const std::vector<double>& counts) {
    Points pts;
    for (std::size_t i = 0; i < counts.size(); ++i) pts.emplace_back(100.0 + double(i), counts[i]);
    return pts;
}

tvar workspaceOf(const std::vector<std::vector<double>>& spectra) {
    std::vector<Points> pts;
    for (const auto& c : spectra) pts.push_back(withCounts(c));
    return makeWorkspace(pts);
}

const std::string kTooFew = "Anzahl der Spektren muß > 1 sein !!!!";
const std::string kCounts = "Anzahl der Meßpunkte stimmt nicht überein?\rFunktion geht nur bei gleicher Anzahl !";

TEST(Analysis, SmoothingRepeatsTheEndPoints) {
    tvar ws = workspaceOf({{7}, {0, 3, 6, 9, 12}, {3, 0, 0, 3}});
    EXPECT_EQ(smooth(ws).redraw, Redraw::Repaint);
    EXPECT_EQ(countsOf(ws, 1), (std::vector<double>{7}));
    // A ramp keeps its interior; each end moves a third of a step towards its neighbour.
    EXPECT_EQ(countsOf(ws, 2), (std::vector<double>{1, 3, 6, 9, 11}));
    EXPECT_EQ(countsOf(ws, 3), (std::vector<double>{2, 1, 1, 2}));
}

TEST(Analysis, ChecksRefuseWithoutTouchingAnyCount) {
    tvar one = workspaceOf({{1, 2, 3}});
    tvar uneven = workspaceOf({{1, 2, 3}, {1, 2, 3}, {1, 2}});
    for (tvar* ws : {&one, &uneven}) {
        const tvar before = *ws;
        ws->SelStartPoint = 0;
        ws->SelEndPoint = 2;
        const std::string expected = ws == &one ? kTooFew : kCounts;
        EXPECT_EQ(normaliseArea(*ws).message, expected);
        EXPECT_EQ(subtractMean(*ws, 100).message, expected);
        EXPECT_EQ(subtractMinimum(*ws).message, expected);
        EXPECT_EQ(flattenSelection(*ws).message, expected);
        EXPECT_EQ(subtractMean(*ws, 0).message, expected); // "I - Fit - Normal" checks too
        for (int k = 1; k <= ws->ShownCount; ++k) EXPECT_EQ(countsOf(*ws, k), countsOf(before, k));
    }
    // No spectra at all passes the checks and changes nothing.
    tvar empty = workspaceOf({});
    EXPECT_TRUE(normaliseArea(empty).ok());
    EXPECT_TRUE(subtractMean(empty, 50).ok());
}

TEST(Analysis, NormalisationScalesEachSpectrumToItsPredecessorsWindowArea) {
    tvar ws = workspaceOf({{1, 2, 3, 4}, {3, 6, 9, 12}, {0, 1, 1, 100}});
    ws.SelStartPoint = 1; // window: points 2 .. 3
    ws.SelEndPoint = 3;
    EXPECT_EQ(normaliseArea(ws).redraw, Redraw::FullScale);
    EXPECT_EQ(countsOf(ws, 2), (std::vector<double>{1, 2, 3, 4}));
    // Spectrum 3 gets the area of the (already scaled) spectrum 2 over points 2..3: 5 / 2.
    EXPECT_EQ(countsOf(ws, 3), (std::vector<double>{0, 2.5, 2.5, 250}));
    // A stretch without points (the start mark on or right of the end mark, or on the last point)
    // would give every later spectrum the area 0: refused, nothing changes.
    const tvar normalised = ws;
    for (auto [a, b] : {std::pair{3, 1}, std::pair{3, 3}, std::pair{4, 9}}) {
        ws.SelStartPoint = a;
        ws.SelEndPoint = b;
        const Outcome r = normaliseArea(ws);
        EXPECT_EQ(r.message, "No point between the marks: the start mark (point " + std::to_string(a) +
                                 ") must lie before the end mark (point " + std::to_string(b) + ").");
        EXPECT_EQ(r.redraw, Redraw::None);
        for (int k = 1; k <= 3; ++k) EXPECT_EQ(countsOf(ws, k), countsOf(normalised, k));
    }
}

TEST(Analysis, MeanAndMinimumSubtraction) {
    tvar same = workspaceOf({{4, 8}, {4, 8}, {4, 8}});
    EXPECT_TRUE(subtractMean(same, 0).ok());
    EXPECT_EQ(countsOf(same, 2), (std::vector<double>{4, 8}));
    subtractMean(same, 100);
    for (int k = 1; k <= 3; ++k) EXPECT_EQ(countsOf(same, k), (std::vector<double>{0, 0}));

    tvar two = workspaceOf({{10, 20}, {30, 40}});
    subtractMean(two, 50); // a quarter of the sum at each point
    EXPECT_EQ(countsOf(two, 1), (std::vector<double>{0, 5}));
    EXPECT_EQ(countsOf(two, 2), (std::vector<double>{20, 25}));

    tvar mixed = workspaceOf({{5, 1, 9}, {2, 7, 9}, {3, 3, -4}});
    subtractMinimum(mixed);
    EXPECT_EQ(countsOf(mixed, 1), (std::vector<double>{3, 0, 13}));
    EXPECT_EQ(countsOf(mixed, 2), (std::vector<double>{0, 6, 13}));
    EXPECT_EQ(countsOf(mixed, 3), (std::vector<double>{1, 2, 0}));
}

TEST(Analysis, FlattenAndStack) {
    tvar ws = workspaceOf({{1, 2, 3, 4, 5}, {9, 8, 7, 6, 5}});
    ws.SelStartPoint = 2;
    ws.SelEndPoint = 4;
    flattenSelection(ws);
    EXPECT_EQ(countsOf(ws, 1), (std::vector<double>{1, 4, 4, 4, 5}));
    EXPECT_EQ(countsOf(ws, 2), (std::vector<double>{9, 6, 6, 6, 5}));
    // A stretch that does not end on a point changes nothing.
    ws.SelEndPoint = 6;
    flattenSelection(ws);
    EXPECT_EQ(countsOf(ws, 1), (std::vector<double>{1, 4, 4, 4, 5}));

    tvar equal = workspaceOf({{1, 2}, {1, 2}});
    stack(equal);
    EXPECT_EQ(countsOf(equal, 2), (std::vector<double>{1, 2}));
    // Each spectrum is lifted after its predecessor's own lift.
    tvar below = workspaceOf({{10, 10, 10}, {5, 5, 5}, {0, 20, 0}});
    stack(below);
    EXPECT_EQ(countsOf(below, 2), (std::vector<double>{10, 10, 10}));
    EXPECT_EQ(countsOf(below, 3), (std::vector<double>{10, 30, 10}));
}

TEST(Analysis, StoreFileRoundTripAndFaults) {
    TempDir dir;
    const std::string store = dir.file(kStoreFileName);
    tvar ws = workspaceOf({{0.1, 1e-300, -7.25}, {3, 1.0 / 3, 5e20}});
    const tvar original = ws;
    ASSERT_TRUE(storeValues(ws, store).ok());
    ASSERT_TRUE(applyStore(ws, store, +1).ok());
    for (int k = 1; k <= 2; ++k)
        for (std::size_t j = 0; j < 3; ++j) EXPECT_EQ(countsOf(ws, k)[j], 2 * countsOf(original, k)[j]);

    // "Store" then "Sub Store": all zero, then the normalisation finds B = 0 and multiplies by 0.
    tvar zero = original;
    const Outcome out = storeCommand(zero, store, -1);
    ASSERT_TRUE(out.ok());
    EXPECT_TRUE(out.toggleColourView);
    EXPECT_EQ(out.redraw, Redraw::FullScale);
    EXPECT_EQ(zero.SelStartPoint, 1);
    EXPECT_EQ(zero.SelEndPoint, 3);
    for (int k = 1; k <= 2; ++k) EXPECT_EQ(countsOf(zero, k), (std::vector<double>{0, 0, 0}));
    // Twice the counts stored and subtracted: spectrum 1 is negated, spectrum 2 is then scaled to its
    // area over points 2 .. 3.
    ASSERT_TRUE(storeValues(ws, store).ok());
    tvar sub = original;
    storeCommand(sub, store, -1);
    EXPECT_EQ(countsOf(sub, 1), (std::vector<double>{-0.1, -1e-300, 7.25}));
    const double factor = (-1e-300 + 7.25) / (-1.0 / 3 - 5e20);
    EXPECT_DOUBLE_EQ(countsOf(sub, 2)[0], -3 * factor);

    // A missing, short or damaged file changes nothing.
    const auto refusedUnchanged = [&](const std::string& path, const std::string& contents, const char* expect) {
        if (!contents.empty()) std::ofstream(path) << contents;
        tvar w = original;
        const Outcome o = applyStore(w, path, +1);
        EXPECT_NE(o.message.find(expect), std::string::npos) << o.message;
        EXPECT_EQ(countsOf(w, 1), countsOf(original, 1));
        EXPECT_EQ(countsOf(w, 2), countsOf(original, 2));
    };
    refusedUnchanged(dir.file("missing.dat"), "", "could not be read");
    refusedUnchanged(dir.file("short.dat"), "1\n2\n3\n4\n", "holds 4 values, 6 are needed");
    refusedUnchanged(dir.file("bad.dat"), "1\n2\nx\n4\n5\n6\n", "no number in line 3");
    refusedUnchanged(dir.file("nan.dat"), "1\n2\nnan\n4\n5\n6\n", "no number in line 3");
    refusedUnchanged(dir.file("inf.dat"), "1\n2\n3\n-inf\n5\n6\n", "no number in line 4");
    tvar huge = workspaceOf({{1, 1.7e308}, {1, 1}});
    std::ofstream(dir.file("huge.dat")) << "0\n1.7e308\n0\n0\n";
    EXPECT_EQ(
        applyStore(huge, dir.file("huge.dat"), +1).message,
        "Spectrum 1, point 2: the sum with the store file is beyond the number range. Nothing was changed.");
    EXPECT_EQ(countsOf(huge, 1), (std::vector<double>{1, 1.7e308}));

    // "Add Store" refused by its normalisation, or ending beyond the number range, changes nothing:
    // neither the counts nor the stretch.
    for (auto [counts, message] :
         {std::pair{std::vector<std::vector<double>>{{1, 2}}, kTooFew},
          {{{1e308, 1e308, 1e308}, {1, 1, 1}},
           "The normalisation gives numbers beyond the number range. Nothing was changed."}}) {
        tvar w = workspaceOf(counts);
        w.SelStartPoint = 2;
        w.SelEndPoint = 2;
        const tvar before = w;
        std::ofstream(dir.file("ones.dat")) << "1\n1\n1\n1\n1\n1\n";
        EXPECT_EQ(storeCommand(w, dir.file("ones.dat"), +1).message, message);
        for (int k = 1; k <= w.ShownCount; ++k) EXPECT_EQ(countsOf(w, k), countsOf(before, k));
        EXPECT_EQ(w.SelStartPoint, 2);
        EXPECT_EQ(w.SelEndPoint, 2);
    }

    // A spectrum shorter than spectrum 1 is neither written nor read.
    tvar shortOne = workspaceOf({{1, 2, 3}, {1, 2}});
    EXPECT_EQ(storeValues(shortOne, dir.file("s.dat")).message, kCounts);
    EXPECT_EQ(applyStore(shortOne, store, +1).message, kCounts);
}

TEST(Analysis, MinMaxFits) {
    // h = 1 on a ramp: 0 at the first point, 500 inside, 1000 at the last.
    tvar ramp = workspaceOf({{1, 2, 3, 4, 5, 6}});
    ramp.SelStartPoint = 3;
    ramp.SelEndPoint = 4;
    EXPECT_EQ(minMaxHalfWidth(ramp), 1);
    minMaxFit(ramp, MinMaxFit::Plain);
    EXPECT_EQ(countsOf(ramp, 1), (std::vector<double>{0, 500, 500, 500, 500, 1000}));

    // The stretch of "a" (0 .. 40) gives h = 21; windows far wider than the spectrum stay inside it.
    tvar wide = workspaceOf({{5, 1, 3}, {2, 2, 2}});
    wide.SelStartPoint = 0;
    wide.SelEndPoint = 40;
    EXPECT_EQ(minMaxHalfWidth(wide), 21);
    minMaxFit(wide, MinMaxFit::Plain);
    EXPECT_EQ(countsOf(wide, 1), (std::vector<double>{1000, 0, 500}));
    EXPECT_EQ(countsOf(wide, 2), (std::vector<double>{0, 0, 0})); // flat: 0, not a division by zero
    for (MinMaxFit kind : {MinMaxFit::VariationDamped, MinMaxFit::RangeFloor}) {
        tvar w = workspaceOf({{5, 1, 3}});
        w.SelEndPoint = 40;
        minMaxFit(w, kind);
        for (double v : countsOf(w, 1)) EXPECT_TRUE(v >= 0 && v <= 1000) << v;
    }

    // The range floor: ten times the smallest local range. Windows of h = 1 over 0 1 0 0 10 0 have
    // ranges 1 1 1 10 10 10, so D = 10 and the first three are rescaled against lo + 10.
    tvar floor = workspaceOf({{0, 1, 0, 0, 10, 0}});
    floor.SelEndPoint = 1;
    minMaxFit(floor, MinMaxFit::RangeFloor);
    EXPECT_EQ(countsOf(floor, 1), (std::vector<double>{0, 100, 0, 0, 1000, 0}));
}

struct RecordedView : ClippingView {
    std::vector<Curve> curves;
    void beginSpectrum(int) override {}
    void curve(Curve kind, std::span<const double>, double, double) override { curves.push_back(kind); }
};

TEST(Analysis, ClippingFitRemovesTheBackgroundUnderAPeak) {
    EXPECT_EQ(clippingPasses(100), 300);
    // A flat spectrum is its own background.
    tvar flat = workspaceOf({std::vector<double>(20, 50.0)});
    clippingFit(flat, ClippingFit::Q);
    for (double v : countsOf(flat, 1)) EXPECT_NEAR(v, 0, 1e-9);

    // A peak on a flat background keeps its height; the background beside it goes to about zero.
    std::vector<double> counts(100, 100.0);
    for (int j = 45; j <= 55; ++j) counts[std::size_t(j)] += 1000 - 150.0 * std::abs(j - 50);
    tvar peak = workspaceOf({counts});
    RecordedView view;
    clippingFit(peak, ClippingFit::Q, &view);
    const std::vector<double> after = countsOf(peak, 1);
    EXPECT_NEAR(after[50], 1000, 60);
    EXPECT_NEAR(after[10], 0, 1e-6);
    EXPECT_NEAR(after[90], 0, 1e-6);
    // The measured counts, ten intermediate backgrounds (after passes 30, 60, ..., 300), then the final three.
    ASSERT_EQ(view.curves.size(), 14u);
    EXPECT_EQ(std::count(view.curves.begin(), view.curves.end(), ClippingView::Curve::Intermediate), 10);
    EXPECT_EQ(view.curves.back(), ClippingView::Curve::Difference);

    // Spectra of one to three points: no reads outside, no intermediate drawing.
    for (int m = 1; m <= 3; ++m) {
        tvar tiny = workspaceOf({std::vector<double>(std::size_t(m), 4.0)});
        RecordedView v;
        clippingFit(tiny, ClippingFit::Q50, &v);
        EXPECT_EQ(v.curves.size(), 4u);
        for (double c : countsOf(tiny, 1)) EXPECT_TRUE(std::isfinite(c));
    }
}

TEST(Analysis, SatelliteRemovalOfASinglePeak) {
    // A peak of 1000 at 20 eV on zero, points every 0.5 eV from 0 to 40.
    auto peak = [](double x) { return x == 20 ? 1000.0 : 0.0; };
    tvar ws = makeWorkspace({sampled(81, 0, 0.5, peak), sampled(81, 0, 0.5, peak)});
    removeSatellites(ws, {2}, satelliteLines(SatelliteSource::MgKAlpha));
    auto at = [&](int k, double x) { return ws.point(k, int(std::lround(x / 0.5)) + 1).y; };
    EXPECT_EQ(at(2, 20), 1000);      // nothing 8.5 or 10.1 eV below the peak
    EXPECT_EQ(at(2, 28.5), -90);     // 0.09 of the peak, 8.5 eV above it
    // Satellite 2's image of the peak lies at 30.1 eV, between the points 30 and 30.5: interpolated.
    EXPECT_NEAR(at(2, 30), -0.05 * 1000 * 0.8, 1e-9);
    EXPECT_NEAR(at(2, 30.5), -0.05 * 1000 * 0.2, 1e-9);
    EXPECT_EQ(at(1, 28.5), 0);       // position 1 was not chosen

    // Below the first image energy the constant I1 * y[1] is taken; "He II" has no second line.
    tvar flat = makeWorkspace({sampled(10, 0, 1, [](double x) { return 100 + x; })});
    removeSatellites(flat, {1}, satelliteLines(SatelliteSource::HeII));
    EXPECT_DOUBLE_EQ(flat.point(1, 1).y, 100 - 0.1 * 100);
    EXPECT_DOUBLE_EQ(flat.point(1, 8).y, 107 - 0.1 * 100); // 7 eV: still below 0 + 7.56
    EXPECT_DOUBLE_EQ(flat.point(1, 10).y, 109 - 0.1 * (100 + 9 - 7.56));
}

TEST(Analysis, SatelliteRemovalStaysInsideOddSpectra) {
    // Falling energies, negative shifts, duplicate energies and one point: no reads outside.
    for (const SatelliteLines& lines : {SatelliteLines{-3, 0.5, 50, 0.2}, SatelliteLines{2, 0.1, 0, 0}}) {
        tvar ws = makeWorkspace({{{5, 1}, {4, 2}, {3, 3}, {3, 4}, {1, 5}}, {{7, 70}}});
        removeSatellites(ws, {1, 2, 3, 0}, lines);
        for (int k = 1; k <= 2; ++k)
            for (const SpectrumPoint& p : ws.points(k)) EXPECT_TRUE(std::isfinite(p.y));
        EXPECT_DOUBLE_EQ(ws.point(2, 1).y, 70 - lines.i1 * 70 - lines.i2 * 70);
    }
    std::string error;
    const auto user = parseOperation("satellite:user:5:0.3:14:0.01", error);
    ASSERT_TRUE(user) << error;
    EXPECT_EQ(user->lines.e2, 14);
    EXPECT_EQ(user->lines.i2, 0.01);
    for (const char* bad : {"satellite:user:5:0.3:14", "satellite:user:5:0.3:14:x", "satellite:user:5:0.3:14:1:2",
                            "satellite:Hel", "ifit:30", "smooth "})
        EXPECT_FALSE(parseOperation(bad, error)) << bad;
}

// A Gaussian peak on the step it makes itself: 10 counts above it, 30 below, the step at each point
// proportional to the share of the peak's area above that point. Shirley's background finds it again.
TEST(Analysis, ShirleyFindsTheStepOfAPeak) {
    auto gauss = [](double x) { return 100 * std::exp(-(x - 50) * (x - 50) / 18); };
    auto above = [](double x) { return 0.5 * std::erfc((x - 50) / std::sqrt(18.0)); }; // share of area above x
    Points pts = sampled(401, 0, 0.25, [&](double x) { return gauss(x) + 10 + 20 * above(x); });
    tvar ws = makeWorkspace({pts, pts});
    ws.SelStartPoint = 1;
    ws.SelEndPoint = 401;
    ASSERT_TRUE(shirleyBackground(ws).ok());
    for (int k = 1; k <= 2; ++k)
        for (int j = 1; j <= 401; j += 8) ASSERT_NEAR(ws.point(k, j).y, gauss(ws.point(k, j).x), 0.05) << j;
    // At the centre of the symmetric peak the background is half the step: 20 of 10 .. 30.
    EXPECT_NEAR(pts[200].second - ws.point(1, 201).y, 20, 0.01);

    // Points outside the marks keep their counts; no marks, or marks beyond a spectrum, change nothing.
    tvar part = makeWorkspace({pts});
    part.SelStartPoint = 41;
    part.SelEndPoint = 361;
    shirleyBackground(part);
    EXPECT_EQ(part.point(1, 40).y, pts[39].second);
    EXPECT_EQ(part.point(1, 362).y, pts[361].second);
    EXPECT_NEAR(part.point(1, 41).y, 0, 1e-9); // the background meets the curve at the marks
    tvar none = makeWorkspace({pts, {{1, 1}, {2, 2}}});
    none.SelStartPoint = 10;
    none.SelEndPoint = 20;
    EXPECT_FALSE(shirleyBackground(none).ok());
    EXPECT_FALSE(tougaardBackground(none).ok());
    EXPECT_EQ(none.point(1, 15).y, pts[14].second);
}

// One narrow peak: the Tougaard background at a distance T below it is K(T) times the peak's area.
TEST(Analysis, TougaardIsTheUniversalCrossSectionOfThePeaksAbove) {
    tvar ws = makeWorkspace({sampled(201, 0, 1, [](double x) { return x == 150 ? 1000.0 : 0.0; })});
    ws.SelStartPoint = 1;
    ws.SelEndPoint = 201;
    auto k = [](double b, double t) { return b * t / ((1643 + t * t) * (1643 + t * t)); };
    ASSERT_TRUE(tougaardBackground(ws).ok());
    EXPECT_NEAR(ws.point(1, 101).y, -k(2866, 50) * 1000, 1e-9);
    EXPECT_NEAR(ws.point(1, 131).y, -k(2866, 20) * 1000, 1e-9);
    EXPECT_EQ(ws.point(1, 171).y, 0); // nothing above 170 eV: no background
    tvar half = makeWorkspace({sampled(201, 0, 1, [](double x) { return x == 150 ? 1000.0 : 0.0; })});
    half.SelStartPoint = 1;
    half.SelEndPoint = 201;
    std::string error;
    const auto op = parseOperation("tougaard:1433", error);
    ASSERT_TRUE(op) << error;
    runOperation(half, *op, "");
    EXPECT_NEAR(half.point(1, 101).y, -k(1433, 50) * 1000, 1e-9);
    for (const char* bad : {"tougaard:", "tougaard:-5", "tougaard:x"}) EXPECT_FALSE(parseOperation(bad, error)) << bad;
}

// The passes written out one after another, as the fit defines them (background indices -1 .. m+2).
std::vector<double> clippedOneByOne(std::vector<double> y, bool q) {
    const int m = int(y.size());
    std::vector<double> store(std::size_t(m) + 4);
    auto B = [&](int i) -> double& { return store[std::size_t(std::clamp(i, -1, m + 2) + 1)]; };
    for (int j = 1; j <= m; ++j) B(j) = y[std::size_t(j - 1)];
    B(-1) = B(0) = y.front();
    B(m + 1) = B(m + 2) = y.back();
    auto smallest = [&](int a, int b) {
        double v = B(a);
        for (int i = a; i <= b; ++i) v = std::min(v, B(i));
        return v;
    };
    if (q) B(1) = smallest(1, std::min(5, m));
    B(m) = smallest(std::max(1, m - 5), m);
    const double start = (3 * B(1) + 2 * B(2) + B(3) + B(4)) / 7;
    B(1) = q ? start : 0.6 * start;
    if (!q) B(0) = B(1);
    B(m) = (3 * B(m) + 2 * B(m - 1) + B(m - 2) + B(m - 3)) / 7;
    const int itMax = int(m + 0.02 * m * m);
    std::vector<int> c(std::size_t(m) + 1, 0);
    for (int it = 1; it <= itMax; ++it)
        for (int j = 1; j <= m; ++j) {
            const double d = (B(j - 1) + B(j + 1)) / 2 - B(j);
            if ((B(j - 2) + B(j + 2)) / 2 < B(j)) {
                ++c[std::size_t(j)];
                B(j) = B(j) + d * (double(c[std::size_t(j)]) / itMax + 0.9);
            }
        }
    for (int j = 1; j <= m; ++j) y[std::size_t(j - 1)] -= B(j);
    return y;
}

// The fit runs several passes in one sweep, and long spectra on two threads; seeded random spectra
// of many lengths give bit for bit what the passes one after another give, with and without the
// drawings (which split the passes into tenths).
TEST(Analysis, ClippingFitEqualsThePassesOneAfterAnother) {
    struct NoDrawing : ClippingView {
        void beginSpectrum(int) override {}
        void curve(Curve, std::span<const double>, double, double) override {}
    } drawing;
    std::mt19937 rng(5);
    std::uniform_real_distribution<double> count(0, 1000);
    for (int m : {1, 2, 3, 4, 5, 6, 7, 9, 12, 17, 23, 24, 25, 26, 60, 157, 211, 420}) {
        std::vector<double> y(static_cast<std::size_t>(m), 0.0);
        for (double& v : y) v = count(rng);
        for (bool q : {true, false}) {
            const std::vector<double> expected = clippedOneByOne(y, q);
            for (int threads : {1, 2})
                for (ClippingView* view : {static_cast<ClippingView*>(nullptr), static_cast<ClippingView*>(&drawing)}) {
                    tvar ws = workspaceOf({y});
                    clippingFit(ws, q ? ClippingFit::Q : ClippingFit::Q50, view, threads);
                    EXPECT_EQ(countsOf(ws, 1), expected)
                        << "m = " << m << (q ? " Q" : " q") << ", threads " << threads << (view ? ", drawn" : "");
                }
        }
    }
}

TEST(Analysis, IntegrationAboveTheLineThroughTheMarks) {
    // A triangle of height 6 and base 4 on a background of 10.
    tvar ws = makeWorkspace({{{0, 10}, {1, 10}, {3, 16}, {5, 10}, {6, 10}}});
    ws.SelStartPoint = 2;
    ws.SelEndPoint = 4;
    Integration r = integrate(ws);
    ASSERT_TRUE(r.ok()) << r.message;
    EXPECT_DOUBLE_EQ(r.area, 12);
    EXPECT_EQ(r.memo[0], "Start energy : 1");
    EXPECT_EQ(r.memo[1], "End energy   : 5");
    EXPECT_EQ(r.memo[2], "Start point  : 2");
    EXPECT_EQ(r.memo[3], "End   point  : 4");
    EXPECT_EQ(r.areaText, "12");

    // A sloping straight line has no area above itself; s = e integrates nothing. e < s would report
    // an area of 0 for a peak that is there: refused.
    tvar line = makeWorkspace({sampled(10, 0, 0.5, [](double x) { return 3 * x + 2; })});
    line.SelStartPoint = 2;
    line.SelEndPoint = 9;
    EXPECT_NEAR(integrate(line).area, 0, 1e-12);
    line.SelStartPoint = line.SelEndPoint = 4;
    EXPECT_TRUE(integrate(line).ok());
    EXPECT_EQ(integrate(line).area, 0);
    EXPECT_EQ(integrate(line).memo[3], "End   point  : 4");
    ws.SelStartPoint = 4;
    ws.SelEndPoint = 2;
    EXPECT_EQ(integrate(ws).message, "The start mark (point 4) lies after the end mark (point 2): the start "
                                     "mark must lie before the end mark.");
    // Marks outside the spectrum, and two marks at one energy, are refused.
    line.SelEndPoint = 11;
    EXPECT_FALSE(integrate(line).ok());
    tvar same = makeWorkspace({{{1, 1}, {2, 5}, {1, 1}}});
    same.SelStartPoint = 1;
    same.SelEndPoint = 3;
    EXPECT_FALSE(integrate(same).ok());
}

// Properties that follow from what each command is for, on seeded random series of random lengths.
TEST(Analysis, PropertiesOnRandomSeries) {
    std::mt19937 rng(20261207);
    for (int round = 0; round < 40; ++round) {
        const int count = std::uniform_int_distribution<int>(2, 7)(rng);
        const int n = std::uniform_int_distribution<int>(6, 60)(rng);
        std::uniform_real_distribution<double> value(1, 1000);
        std::vector<std::vector<double>> data(std::size_t(count), std::vector<double>(std::size_t(n), 0.0));
        for (auto& spectrum : data)
            for (double& v : spectrum) v = value(rng);
        const tvar loaded = workspaceOf(data);
        const auto sum = [&](const tvar& ws, int k, int from, int to) {
            double a = 0;
            for (int j = from; j <= to; ++j) a += ws.point(k, j).y;
            return a;
        };

        // Smoothing with the end points repeated keeps every spectrum's total.
        tvar smoothed = loaded;
        smooth(smoothed);
        for (int k = 1; k <= count; ++k) {
            const double expected = sum(loaded, k, 1, n);
            EXPECT_NEAR(sum(smoothed, k, 1, n), expected, 1e-9 * expected);
        }

        // After the normalisation every spectrum has the area of spectrum 1 over the window.
        tvar normalised = loaded;
        normalised.SelStartPoint = std::uniform_int_distribution<int>(0, n / 2)(rng);
        normalised.SelEndPoint = std::uniform_int_distribution<int>(n / 2 + 1, n)(rng);
        ASSERT_TRUE(normaliseArea(normalised).ok());
        const double area = sum(normalised, 1, normalised.SelStartPoint + 1, normalised.SelEndPoint);
        for (int k = 2; k <= count; ++k)
            EXPECT_NEAR(sum(normalised, k, normalised.SelStartPoint + 1, normalised.SelEndPoint), area, 1e-9 * area);

        // The minimum subtraction leaves a point-wise minimum of exactly 0 and every difference.
        tvar minimum = loaded;
        ASSERT_TRUE(subtractMinimum(minimum).ok());
        for (int j = 1; j <= n; ++j) {
            double low = 1e300;
            for (int k = 1; k <= count; ++k) low = std::min(low, minimum.point(k, j).y);
            EXPECT_EQ(low, 0);
            EXPECT_NEAR(minimum.point(2, j).y - minimum.point(1, j).y, loaded.point(2, j).y - loaded.point(1, j).y, 1e-9);
        }

        // The full mean subtraction leaves point-wise sums of 0.
        tvar mean = loaded;
        ASSERT_TRUE(subtractMean(mean, 100).ok());
        for (int j = 1; j <= n; ++j) {
            double total = 0;
            for (int k = 1; k <= count; ++k) total += mean.point(k, j).y;
            EXPECT_NEAR(total, 0, 1e-9 * count * 1000);
        }

        // Stacked spectra nowhere lie below their predecessor, and each lifted one touches it.
        tvar stacked = loaded;
        ASSERT_TRUE(stack(stacked).ok());
        for (int k = 2; k <= count; ++k) {
            double closest = 1e300;
            for (int j = 1; j <= n; ++j) {
                const double gap = stacked.point(k, j).y - stacked.point(k - 1, j).y;
                EXPECT_GE(gap, -1e-9);
                closest = std::min(closest, gap);
            }
            const bool lifted = stacked.point(k, 1).y != loaded.point(k, 1).y;
            if (lifted) {
                EXPECT_NEAR(closest, 0, 1e-9);
            }
        }

        // The min-max fit maps every window onto 0 .. 1000; a point that is the largest of its
        // window gets 1000.
        tvar local = loaded;
        local.SelStartPoint = 0;
        local.SelEndPoint = std::uniform_int_distribution<int>(1, 12)(rng);
        const int h = local.SelEndPoint / 2 + 1;
        minMaxFit(local, MinMaxFit::Plain);
        for (int j = 1 + h; j <= n - h; ++j) {
            const double y = loaded.point(1, j).y;
            bool largest = true;
            for (int i = j - h; i <= j + h; ++i) largest = largest && loaded.point(1, i).y <= y;
            EXPECT_GE(local.point(1, j).y, 0);
            EXPECT_LE(local.point(1, j).y, 1000);
            if (largest) {
                EXPECT_EQ(local.point(1, j).y, 1000);
            }
        }
    }
}

} // namespace
} // namespace korvo::testing

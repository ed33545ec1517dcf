#include "plot/plot_mapping.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <tuple>

namespace korvo::plot {
namespace {

TEST(ViewerMapping, PixelsAndValuesRoundTripOverTheWholeDataArea) {
    const DataArea area = viewerDataArea(700, 500);
    ASSERT_EQ(std::pair(area.width, area.height), std::pair(633, 460));
    const double xpp = *unitsPerPixel(280.0, 1514.5, area.width);
    const double ypp = *unitsPerPixel(12.0, 40012.0, area.height);
    const ViewerMapping m{280.0, 40012.0, xpp, ypp};
    // The area's edges are the ends of the range.
    EXPECT_EQ(m.column(280.0), kPlotLeft);
    EXPECT_EQ(m.column(1514.5), kPlotLeft + area.width);
    EXPECT_EQ(m.row(40012.0), kPlotTop);
    EXPECT_EQ(m.row(12.0), kPlotTop + area.height);
    for (int c = kPlotLeft; c <= kPlotLeft + area.width; ++c) ASSERT_EQ(m.column(m.xAt(c)), c);
    // (YTop - y) / YPerPixel = 0.5 gives row round(5.5) = 6, not round(0.5) + 5 = 5.
    EXPECT_EQ((ViewerMapping{0.0, 10.0, 1.0, 1.0}.row(9.5)), 6);
    for (int r = kPlotTop; r <= kPlotTop + area.height; ++r) ASSERT_EQ(m.row(m.yAt(r)), r);
    // A value maps to the pixel whose value is nearest to it.
    for (double x = 280.0; x <= 1514.5; x += 0.37)
        ASSERT_LE(std::fabs(m.xAt(m.column(x)) - x), xpp / 2 + 1e-9);
}

TEST(ViewerMapping, ScalesOfEmptyOrBrokenRangesAreRefusedAndPixelsStayBounded) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    for (const auto& [lo, hi, pixels] : {std::tuple(5.0, 5.0, 600),
                                         {6.0, 5.0, 600},
                                         {0.0, nan, 600},
                                         {0.0, inf, 600},
                                         {0.0, 1.0, 0},
                                         {0.0, 1.0, -5}})
        EXPECT_FALSE(unitsPerPixel(lo, hi, pixels)) << lo << ".." << hi << " over " << pixels;
    const ViewerMapping zero{0.0, 0.0, 0.0, 0.0};
    EXPECT_EQ(zero.column(1.0), kPixelLimit + kPlotLeft);
    EXPECT_EQ(zero.column(-1.0), -kPixelLimit + kPlotLeft);
    EXPECT_EQ(zero.row(nan), -kPixelLimit);
    EXPECT_EQ(toPixel(1e300), kPixelLimit);
}

TEST(LiveMapping, MouseColumnsAtTheAreaEdgesAreTheRunLimits) {
    const DataArea area = liveDataArea(760, 435);
    ASSERT_EQ(std::pair(area.width, area.height), std::pair(700, 400));
    const double xStart = 280.0, xEnd = 295.5;
    EXPECT_DOUBLE_EQ(liveMouseX(kPlotLeft, area.width, xStart, xEnd), xStart);
    EXPECT_DOUBLE_EQ(liveMouseX(kPlotLeft + area.width, area.width, xStart, xEnd), xEnd);
    EXPECT_DOUBLE_EQ(liveMouseX(100, 0, xStart, xEnd), xStart);

    const LiveMapping m{xStart, (xEnd - xStart) / area.width, 500.0, 500.0 / area.height};
    for (int c = kPlotLeft; c <= kPlotLeft + area.width; ++c)
        ASSERT_EQ(m.column(liveMouseX(c, area.width, xStart, xEnd)), c);
    EXPECT_EQ(m.row(500.0), kPlotTop);
    EXPECT_EQ(m.row(0.0), kPlotTop + area.height);
}

ScrollSpan spanOf(std::initializer_list<double> values) {
    ScrollSpan s;
    for (double v : values) s.add(v);
    return s;
}

TEST(ScrollTop, PositionSetsTheShareOfTheDataSpanAboveTheSmallestCountWithinBounds) {
    const ScrollSpan data = spanOf({180.0, 100.0, 300.0, 250.0});
    const auto start = scrollTopRange(-1000, data, 777.0);
    ASSERT_TRUE(start);
    EXPECT_EQ(std::pair(start->yMin, start->yMax), std::pair(100.0, 320.0));
    // The bar cannot go past its ends.
    for (auto [position, top] : {std::pair(0, 300.0), {9000, 120.0}, {20000, 120.0}, {-5000, 320.0}})
        EXPECT_DOUBLE_EQ(scrollTopRange(position, data, 777.0).value().yMax, top) << position;
    // Negative counts and huge counts are clamped.
    const auto neg = scrollTopRange(0, spanOf({-40.0, 200.0}), 777.0);
    ASSERT_TRUE(neg);
    EXPECT_EQ(std::pair(neg->yMin, neg->yMax), std::pair(0.0, 200.0));
    EXPECT_DOUBLE_EQ(scrollTopRange(0, spanOf({10.0, 5e10}), 777.0).value().yMax, 777.0);
    // Nothing measured yet, a flat signal at zero, or a current top below the data: no usable scale.
    EXPECT_FALSE(scrollTopRange(-1000, ScrollSpan{}, 777.0));
    EXPECT_FALSE(scrollTopRange(-1000, spanOf({0.0, 0.0}), 777.0));
    EXPECT_FALSE(scrollTopRange(0, spanOf({100.0, 5e10}), 50.0));
    EXPECT_FALSE(scrollTopRange(0, spanOf({std::numeric_limits<double>::quiet_NaN()}), 50.0));
}

} // namespace
} // namespace korvo::plot

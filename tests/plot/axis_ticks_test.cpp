#include "plot/axis_ticks.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <random>
#include <string>
#include <tuple>

namespace korvo::plot {
namespace {

struct SpacingCase {
    double lo, hi;
    bool rounded;
    double step;
    int perMajor, decimals;
};

TEST(AxisTicks, LeadingDigitsOfTheRangePickStepMajorsAndDecimals) {
    const SpacingCase cases[] = {
        {100.0, 1334.5, true, 50.0, 4, 0}, // 1234.5: m = 12
        {-0.1, 0.25, true, 0.01, 5, 2},    // 0.35: e = -1, m = 35
        {0.0, 99.6, true, 2.0, 5, 0},      // mantissa 9.96 rounds to 100 ...
        {0.0, 99.6, false, 2.0, 5, 0},     // ... and truncates to 99: the same row
        {0.0, 2.96, true, 0.1, 5, 1},      // 29.6 rounds into the 0.1 row ...
        {0.0, 2.96, false, 0.05, 4, 1},    // ... and truncates into the 0.05 row
        {0.0, 1.15, true, 0.05, 4, 1},     // a half goes to even: 12
        {0.0, 1.15, false, 0.02, 5, 1},    // truncated: 11
        {0.0, 1.14, true, 0.02, 5, 1},     // below a half an odd 11 stays
        // The rows end at 11, 29 and 59; one exponent from the next decade on has no decimals.
        {0.0, 1.0, false, 0.02, 5, 1},
        {0.0, 5.9, false, 0.1, 5, 1},
        {0.0, 6.0, false, 0.2, 5, 1},
        {0.0, 12.0, false, 0.5, 4, 0},
        {0.0, 0.0042, true, 0.0001, 5, 4},
        // Binary noise does not change the decimal digits: 6.0 - 3.7 = 2.2999999999999998 reads
        // as 23, 0.1 + 0.2 = 0.30000000000000004 as 30.
        {3.7, 6.0, false, 0.05, 4, 1},
        {0.0, 0.1 + 0.2, false, 0.01, 5, 2},
    };
    for (const SpacingCase& c : cases) {
        const TickSpacing s = c.rounded ? AxisTicksRounded(c.lo, c.hi) : AxisTicksTruncated(c.lo, c.hi);
        EXPECT_NEAR(s.step, c.step, c.step * 1e-12) << c.lo << ".." << c.hi << " rounded " << c.rounded;
        EXPECT_EQ(std::pair(s.minorPerMajor, s.decimals), std::pair(c.perMajor, c.decimals))
            << c.lo << ".." << c.hi;
    }
}

TEST(AxisTicks, UndividableRangesGiveNoSpacingAndNoTicks) {
    const double inf = std::numeric_limits<double>::infinity();
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double cases[][2] = {{5.0, 5.0}, {10.0, 2.0}, {0.0, nan},     {nan, 1.0},
                               {0.0, inf}, {-inf, 0.0}, {-1e308, 1e308}};
    for (const auto& c : cases) {
        for (const TickSpacing& s : {AxisTicksRounded(c[0], c[1]), AxisTicksTruncated(c[0], c[1])}) {
            EXPECT_FALSE(s.usable()) << c[0] << " " << c[1];
            EXPECT_TRUE(walkTicks(c[0], c[1], s, AxisKind::Counts).empty());
            EXPECT_TRUE(walkTicks(c[0], c[1], s, AxisKind::Energy).empty());
        }
    }
    // A hand-made spacing must not walk without end either.
    for (const TickSpacing& s : {TickSpacing{0.0, 5, 0}, TickSpacing{-1.0, 5, 0}, TickSpacing{1.0, 0, 0}})
        EXPECT_TRUE(walkTicks(0.0, 10.0, s, AxisKind::Energy).empty()) << s.step << " " << s.minorPerMajor;
}

TEST(TickWalk, StepIndicesFromOneE15OnGiveNoTicksAndAWalkStopsAtTheCap) {
    const TickSpacing unit{1.0, 5, 0};
    // Either limit that far from zero is enough; just below it the walk runs up to the cap.
    for (const auto& [lo, hi] : {std::pair(1e15, 1e15 + 10), {0.0, 1e15}, {0.0, 1e20}, {-1e15, 0.0}})
        EXPECT_TRUE(walkTicks(lo, hi, unit, AxisKind::Counts).empty()) << lo << ".." << hi;
    EXPECT_EQ(walkTicks(1e15 - 20, 1e15 - 10, unit, AxisKind::Counts).size(), 11u);
    const auto capped = walkTicks(0.0, 1e15 - 1, unit, AxisKind::Counts);
    ASSERT_EQ(capped.size(), kMaxTicks);
    EXPECT_EQ(capped.back().value, static_cast<double>(kMaxTicks - 1));
    // A coarse step on large limits is no reason to stop: 1E10 takes 50 steps of 2E8.
    EXPECT_EQ(walkTicks(0.0, 1e10, AxisTicksRounded(0.0, 1e10), AxisKind::Counts).size(), 51u);
    // The upper limit plus 1 % of a step landing exactly on a tick still takes it.
    EXPECT_EQ(walkTicks(0.0, 99.0, TickSpacing{100.0, 5, 0}, AxisKind::Counts).size(), 2u);
    // However many minor steps a major interval has, the walk starts at the axis, not a major below.
    for (AxisKind kind : {AxisKind::Energy, AxisKind::Counts}) {
        const auto wide = walkTicks(-1.5, 10.0, TickSpacing{1.0, 5000, 0}, kind);
        ASSERT_EQ(wide.size(), 12u);
        EXPECT_EQ(wide.front().value, -1.0);
        for (const TickValue& t : wide) EXPECT_EQ(t.major, t.value == 0.0) << t.value;
    }
}

TEST(AxisTicks, ExtremeButFiniteLimitsStayBounded) {
    // Far from zero a step no longer changes the value; tiny and huge ranges still terminate.
    const double cases[][2] = {{1e17, 1e17 + 64}, {1e300, 1.0000001e300}, {0.0, 5e-320},
                               {-1e-300, 1e-300}, {0.0, 1e308},           {1.0, 1.0 + 1e-7}};
    for (const auto& c : cases) {
        for (AxisKind kind : {AxisKind::Energy, AxisKind::Counts}) {
            const auto ticks = walkTicks(c[0], c[1], AxisTicksRounded(c[0], c[1]), kind);
            EXPECT_LE(ticks.size(), kMaxTicks);
            for (const TickValue& t : ticks) EXPECT_TRUE(std::isfinite(t.value));
        }
    }
    // With a step far below the energy tolerance no tick reaches back below the axis start.
    const TickSpacing fine = AxisTicksRounded(1.0, 1.0 + 1e-7);
    const auto ticks = walkTicks(1.0, 1.0 + 1e-7, fine, AxisKind::Energy);
    ASSERT_FALSE(ticks.empty());
    EXPECT_GE(ticks.front().value, 1.0 - fine.step / 2);
}

// The walk's contract, checked against a plain reference: every multiple of the step inside the
// limits appears once, in order, and exactly the multiples of a major interval are major.
void expectCoversRange(double lo, double hi, AxisKind kind) {
    const TickSpacing s = kind == AxisKind::Energy ? AxisTicksRounded(std::min(lo, hi), std::max(lo, hi))
                                                   : AxisTicksTruncated(lo, hi);
    const auto ticks = walkTicks(lo, hi, s, kind);
    const double a = std::min(lo, hi), b = std::max(lo, hi);
    const double tol = kind == AxisKind::Energy ? std::min(1e-5, s.step / 2) : 0.0;
    const auto firstIdx = static_cast<long long>(std::ceil((a - tol) / s.step - 1e-9));
    const auto lastIdx = static_cast<long long>(std::floor((b + s.step / 100) / s.step + 1e-9));
    ASSERT_EQ(static_cast<long long>(ticks.size()), lastIdx - firstIdx + 1) << lo << ".." << hi;
    for (std::size_t i = 0; i < ticks.size(); ++i) {
        const long long idx = firstIdx + static_cast<long long>(i);
        EXPECT_NEAR(ticks[i].value, idx * s.step, s.step * 1e-9) << lo << ".." << hi;
        EXPECT_EQ(ticks[i].major, idx % s.minorPerMajor == 0) << lo << ".." << hi << " at " << ticks[i].value;
    }
}

TEST(TickWalk, CoversEveryStepBetweenTheLimitsWithMajorsOnWholeIntervals) {
    // A start on a major at zero, on a minor, negative between ticks, all negative; reversed energy
    // limits are ordered.
    const double energy[][2] = {
        {0.0, 1234.5}, {100.0, 1334.5}, {-130.0, 1104.5}, {-1234.5, -0.5}, {1334.5, 100.0}};
    for (const auto& e : energy) expectCoversRange(e[0], e[1], AxisKind::Energy);
    for (const auto& c : {std::pair(-0.3, 0.7), {12.0, 37.3}, {-5e-4, 3e-3}})
        expectCoversRange(c.first, c.second, AxisKind::Counts);
    std::mt19937_64 rng(99);
    std::uniform_real_distribution<double> lo(-1e4, 1e4), span(1e-3, 1e4);
    for (int i = 0; i < 300; ++i) {
        const double a = lo(rng), b = a + span(rng);
        expectCoversRange(a, b, AxisKind::Energy);
        expectCoversRange(a, b, AxisKind::Counts);
    }
}

TEST(TickWalk, EnergyLimitToleratesTypingNoiseCountsLimitIsExact) {
    const TickSpacing s = AxisTicksRounded(200.0, 1434.5); // step 50, majors every 200
    for (double lo : {199.999999, 200.0, 200.000001, -400.000001, -400.0, -399.999999}) {
        const auto energy = walkTicks(lo, 1434.5, s, AxisKind::Energy);
        ASSERT_FALSE(energy.empty());
        EXPECT_TRUE(energy.front().value == std::round(lo) && energy.front().major) << lo;
    }
    const auto counts = walkTicks(200.000001, 1434.5, s, AxisKind::Counts);
    ASSERT_FALSE(counts.empty());
    EXPECT_TRUE(counts.front().value == 250.0 && !counts.front().major) << counts.front().value;
    // An upper limit a hair below a tick still gets it (1 % of a step), the next one is left out.
    const auto upper = walkTicks(0.0, 1199.9, s, AxisKind::Energy);
    EXPECT_DOUBLE_EQ(upper.back().value, 1200.0);
    // Counts limits in the wrong order give no ticks.
    EXPECT_TRUE(walkTicks(1434.5, 200.0, s, AxisKind::Counts).empty());
}

TEST(TickWalk, ZeroTickIsExactlyZeroAndReadsAsZero) {
    // A running sum of 0.02 steps from -0.3 lands beside zero (6.939E-18) instead of on it.
    const auto ticks = walkTicks(-0.3, 0.7, AxisTicksTruncated(-0.3, 0.7), AxisKind::Counts);
    const auto zero =
        std::ranges::min_element(ticks, {}, [](const TickValue& t) { return std::fabs(t.value); });
    ASSERT_NE(zero, ticks.end());
    EXPECT_EQ(zero->value, 0.0);
    EXPECT_EQ(countsLabel(zero->value), "0");
}

TEST(TickLabels, EnergyLabelsArePaddedToTheRoundedDigitsCountsLabelsUseFourDigitsAndTwoDigitExponents) {
    // 9.6 rounds to 10: two digits; rounding noise carries no sign.
    const std::tuple<double, int, const char*> energy[] = {
        {200.0, 0, " 200"}, {-200.0, 0, "-200"}, {-0.5, 2, "-0.50"}, {0.05, 2, "0.05"},
        {9.6, 1, " 9.6"},   {12.5, 1, "12.5"},   {-1e-17, 2, "0.00"}};
    for (const auto& [v, d, want] : energy) EXPECT_EQ(energyLabel(v, d), want) << v;
    // Decimals asked for by an absurdly fine axis are capped at 30, below 0 they are none.
    EXPECT_EQ(energyLabel(0.25, 45), "0.25" + std::string(28, '0'));
    EXPECT_EQ(energyLabel(7.0, -3), " 7");
    const std::pair<double, const char*> counts[] = {{150.0, "150"},      {0.5, "0.5"},
                                                     {9999.0, "9999"},    {20000.0, "2E04"},
                                                     {1.5e-6, "1.5E-06"}, {123456.0, "1.235E05"}};
    for (const auto& [v, want] : counts) EXPECT_EQ(countsLabel(v), want) << v;
}

} // namespace
} // namespace korvo::plot

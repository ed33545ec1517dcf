// The line shapes against their textbook formulas: the Voigt against a numerical convolution and in
// its two limits, its derivatives against differences, the reported heights and widths against a
// brute-force look at the curves.
#include "viewer/fit/fit_test_util.h"
#include "viewer/fit/line_shapes.h"

namespace korvo::testing {
namespace {

using namespace fit;

double value(Shape s, double x, std::vector<double> p, double sign = 1) {
    return shapeValue<double>(s, x, p.data(), sign);
}

// Where a curve sampled finely on [a, b] stays at or above half its largest value: the brute-force
// maximum and full width at half maximum.
std::pair<double, double> bruteMaxAndWidth(const std::function<double(double)>& f, double a, double b) {
    const int n = 20000;
    double top = 0;
    for (int i = 0; i <= n; ++i) top = std::max(top, f(a + (b - a) * i / n));
    double first = b, last = a;
    for (int i = 0; i <= n; ++i) {
        const double x = a + (b - a) * i / n;
        if (f(x) >= top / 2) {
            first = std::min(first, x);
            last = std::max(last, x);
        }
    }
    return {top, last - first};
}

TEST(FitShapes, FormulasAndTheVoigtAsAConvolution) {
    for (const double x : {283.0, 284.6, 285.0, 285.3, 288.0}) {
        EXPECT_NEAR(value(Shape::Gaussian, x, {285, 1.2, 5000}), gaussian(x, 285, 1.2, 5000), 1e-9);
        EXPECT_NEAR(value(Shape::Lorentzian, x, {285, 1.2, 5000}), lorentzian(x, 285, 1.2, 5000), 1e-9);
        EXPECT_NEAR(value(Shape::PseudoVoigt, x, {285, 1.2, 5000, 0.3}),
                    0.7 * gaussian(x, 285, 1.2, 5000) + 0.3 * lorentzian(x, 285, 1.2, 5000), 1e-9);
        const double conv = voigtByConvolution(x, 285, 5000, 0.9, 0.5);
        EXPECT_NEAR(value(Shape::Voigt, x, {285, 5000, 0.9, 0.5}), conv, 1e-8 * conv) << x;
        EXPECT_NEAR(value(Shape::DoniachSunjic, x, {285, 800, 0.3, 0.2}),
                    doniachSunjic(x, 285, 800, 0.3, 0.2), 1e-9);
        // On the binding axis the asymmetric line is mirrored in its position.
        EXPECT_NEAR(value(Shape::DoniachSunjic, x, {285, 800, 0.3, 0.2}, -1),
                    doniachSunjic(570 - x, 285, 800, 0.3, 0.2), 1e-9);
    }
}

TEST(FitShapes, VoigtLimitsAreTheGaussianAndTheLorentzian) {
    for (const double x : {-3.0, -0.7, 0.0, 0.2, 1.5, 6.0}) {
        // Uniformly, to a millionth of the peak: far out, even a tiny lorentzian width leaves its tail.
        const double g = gaussian(x, 0, 1.1, 1), l = lorentzian(x, 0, 1.1, 1);
        EXPECT_NEAR(value(Shape::Voigt, x, {0, 1, 1.1, 1e-9}), g, 1e-6 * gaussian(0, 0, 1.1, 1)) << x;
        EXPECT_NEAR(value(Shape::Voigt, x, {0, 1, 1e-7, 1.1}), l, 1e-6 * lorentzian(0, 0, 1.1, 1)) << x;
        EXPECT_NEAR(value(Shape::Voigt, x, {0, 1, 0, 1.1}), l, 1e-12 * l) << x; // no gaussian at all
    }
    // Gaussian data fitted with a Voigt: the lorentzian width goes to its lower limit, and the other way
    // round.
    for (const bool gaussianData : {true, false}) {
        const auto truth = [&](double x) {
            return gaussianData ? gaussian(x, 285, 1.2, 5000) : lorentzian(x, 285, 1.2, 5000);
        };
        const FitResult r = solveFit(problemFor(modelFrom(R"({"weights": "none", "components": [
            {"name": "V", "shape": "voigt", "position": 285.1, "area": 4000, "fwhm_g": 0.8, "fwhm_l": 0.5}]})"),
                                                sampled(275, 0.05, 401, truth)));
        EXPECT_NEAR(param(r, 0, gaussianData ? "fwhm_g" : "fwhm_l").estimate.value, 1.2, 1e-4)
            << gaussianData;
        EXPECT_LT(param(r, 0, gaussianData ? "fwhm_l" : "fwhm_g").estimate.value, 1e-3) << gaussianData;
        EXPECT_NEAR(r.components[0].fwhm.value, 1.2, 1e-4);
    }
}

TEST(FitShapes, VoigtDerivativesMatchDifferences) {
    for (const auto& [u, s, g] :
         {std::tuple{0.3, 0.5, 0.2}, {-1.7, 0.3, 0.9}, {0.0, 1.0, 1e-6}, {4.0, 0.05, 0.4}}) {
        double du = 0, ds = 0, dg = 0;
        voigtUnit(u, s, g, du, ds, dg);
        const double h = 1e-6;
        EXPECT_NEAR(du, (voigtUnit(u + h, s, g) - voigtUnit(u - h, s, g)) / (2 * h),
                    1e-6 * (std::abs(du) + 1e-3));
        EXPECT_NEAR(ds, (voigtUnit(u, s + h, g) - voigtUnit(u, s - h, g)) / (2 * h),
                    1e-6 * (std::abs(ds) + 1e-3));
        EXPECT_NEAR(dg, (voigtUnit(u, s, g + h) - voigtUnit(u, s, g - h)) / (2 * h),
                    1e-6 * (std::abs(dg) + 1e-3));
    }
}

TEST(FitShapes, HeightsAndTotalWidthsAsTheCurvesShowThem) {
    struct Line {
        Shape shape;
        std::vector<double> p;
    };
    for (const Line& line :
         {Line{Shape::Gaussian, {0, 1.2, 500}}, Line{Shape::PseudoVoigt, {0, 1.2, 500, 0.4}},
          Line{Shape::Voigt, {0, 500, 0.8, 0.6}}, Line{Shape::Voigt, {0, 500, 0.1, 1.3}},
          Line{Shape::DoniachSunjic, {0, 300, 0.4, 0.25}}}) {
        const auto f = [&](double x) { return value(line.shape, x, line.p); };
        const auto [top, width] = bruteMaxAndWidth(f, -5, 5);
        const double step = 10.0 / 20000;
        if (line.shape != Shape::DoniachSunjic) {
            EXPECT_NEAR(shapeHeight(line.shape, line.p, 1), top, 1e-9 * top);
        }
        EXPECT_NEAR(shapeFwhm(line.shape, line.p, 1), width, 2 * step) << int(line.shape);
    }
    // The Voigt width also follows Olivero's approximation to its stated 0.02 %.
    const double fg = 0.8, fl = 0.6;
    EXPECT_NEAR(shapeFwhm(Shape::Voigt, std::vector<double>{0, 1, fg, fl}, 1),
                0.5346 * fl + std::sqrt(0.2166 * fl * fl + fg * fg), 2e-4 * fg);
    // The Doniach-Sunjic area counts over the region only.
    const std::vector<double> ds = {285, 300, 0.4, 0.25};
    double simpson = 0;
    for (int i = 0; i < 4000; ++i) {
        const double a = 280 + 0.0025 * i;
        simpson +=
            0.0025 / 6 *
            (doniachSunjic(a, 285, 300, 0.4, 0.25) + 4 * doniachSunjic(a + 0.00125, 285, 300, 0.4, 0.25) +
             doniachSunjic(a + 0.0025, 285, 300, 0.4, 0.25));
    }
    EXPECT_NEAR(shapeArea(Shape::DoniachSunjic, ds, 1, 280, 290), simpson, 1e-7 * simpson);
}

} // namespace
} // namespace korvo::testing

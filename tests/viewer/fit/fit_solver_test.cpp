// The solver against spectra with known parameters: exact recovery without noise, honest standard
// errors with Poisson noise, links, backgrounds, the binding axis, singular models and cancelling.
#include "viewer/fit/fit_test_util.h"

#include <random>

namespace korvo::testing {
namespace {

using namespace fit;

void expectRelative(double actual, double expected, double tolerance, const std::string& what) {
    EXPECT_NEAR(actual, expected, tolerance * std::max(std::abs(expected), 1e-12)) << what;
}

struct Case {
    std::string name;
    std::string model;
    std::function<double(double)> truth;
    std::vector<std::pair<std::string, double>> expected; // parameters of component 0
};

TEST(FitSolver, RecoversNoiseFreeParametersOfEveryShape) {
    const std::vector<Case> cases = {
        {"gaussian, linear background",
         R"({"background": {"type": "linear"}, "weights": "none", "components": [
            {"name": "A", "shape": "gaussian", "position": 285.3, "fwhm": 1.0, "area": 4000}]})",
         [](double x) { return gaussian(x, 285.1, 1.1, 5000) + 200 + 3 * (x - 280); },
         {{"position", 285.1}, {"fwhm", 1.1}, {"area", 5000}}},
        {"lorentzian, constant background",
         R"({"background": {"type": "constant"}, "components": [
            {"name": "A", "shape": "lorentzian", "position": 284.8, "fwhm": 0.8, "area": 3000}]})",
         [](double x) { return lorentzian(x, 285.0, 0.7, 2500) + 150; },
         {{"position", 285.0}, {"fwhm", 0.7}, {"area", 2500}}},
        {"pseudo-voigt",
         R"({"components": [
            {"name": "A", "shape": "pseudo_voigt", "position": 284.9, "fwhm": 1.3, "area": 5500, "eta": 0.5}]})",
         [](double x) { return 0.7 * gaussian(x, 285.0, 1.2, 5000) + 0.3 * lorentzian(x, 285.0, 1.2, 5000); },
         {{"position", 285.0}, {"fwhm", 1.2}, {"area", 5000}, {"eta", 0.3}}},
        {"voigt against a numerical convolution",
         R"({"components": [
            {"name": "A", "shape": "voigt", "position": 285.1, "area": 4500, "fwhm_g": 0.8, "fwhm_l": 0.5}]})",
         [](double x) { return voigtByConvolution(x, 285.0, 5000, 0.9, 0.4); },
         {{"position", 285.0}, {"area", 5000}, {"fwhm_g", 0.9}, {"fwhm_l", 0.4}}},
        {"doniach-sunjic",
         R"({"components": [
            {"name": "A", "shape": "doniach_sunjic", "position": 285.1, "height": 900, "gamma": 0.35, "alpha": 0.1}]})",
         [](double x) { return doniachSunjic(x, 285.0, 1000, 0.3, 0.15); },
         {{"position", 285.0}, {"height", 1000}, {"gamma", 0.3}, {"alpha", 0.15}}},
    };
    for (const Case& c : cases) {
        const std::vector<SpectrumPoint> pts = sampled(280, 0.05, 201, c.truth);
        const FitProblem pb = problemFor(modelFrom(c.model), pts);
        const FitResult r = solveFit(pb);
        ASSERT_TRUE(r.converged()) << c.name << ": " << r.message;
        EXPECT_LT(r.chi2, 1e-12 * pts.size()) << c.name;
        for (const auto& [name, value] : c.expected)
            expectRelative(param(r, 0, name).estimate.value, value, 1e-6, c.name + " " + name);
    }
}

TEST(FitSolver, DoubletWithLinkedSplittingRatioAndWidth) {
    // A 2p-like pair: the second line 6 eV below with half the area and the same width.
    const auto truth = [](double x) {
        return 0.8 * gaussian(x, 700, 1.5, 8000) + 0.2 * lorentzian(x, 700, 1.5, 8000) +
               0.8 * gaussian(x, 694, 1.5, 4000) + 0.2 * lorentzian(x, 694, 1.5, 4000) + 300;
    };
    const FitModel model = modelFrom(R"({"background": {"type": "constant"}, "components": [
        {"name": "p32", "shape": "pseudo_voigt", "position": 700.3, "fwhm": 1.3, "area": 7000, "eta": 0.3},
        {"name": "p12", "shape": "pseudo_voigt", "position": "p32 - 6", "fwhm": "p32", "area": "p32 * 0.5",
         "eta": "p32"}]})");
    const std::vector<SpectrumPoint> pts = sampled(688, 0.05, 361, truth);
    const FitProblem pb = problemFor(model, pts);
    EXPECT_EQ(pb.free.size(), 5u); // four of p32 and c0
    const FitResult r = solveFit(pb);
    ASSERT_TRUE(r.converged()) << r.message;
    expectRelative(param(r, 0, "position").estimate.value, 700, 1e-9, "p32 position");
    expectRelative(param(r, 0, "area").estimate.value, 8000, 1e-6, "p32 area");
    expectRelative(param(r, 1, "position").estimate.value, 694, 1e-9, "p12 position");
    expectRelative(param(r, 1, "area").estimate.value, 4000, 1e-6, "p12 area");
    EXPECT_EQ(param(r, 1, "position").source, ParameterSource::Linked);
    EXPECT_EQ(param(r, 1, "position").link, "p32 - 6");
    expectRelative(r.components[0].areaPercent.value, 100.0 * 2 / 3, 1e-9, "area percent");
    // The curves to draw: background, each line alone, their sum on the data.
    const FitCurves curves = curvesOf(pb, r);
    ASSERT_EQ(curves.components.size(), 2u);
    for (std::size_t i = 0; i < pts.size(); i += 37) {
        const double x = pts[i].x;
        EXPECT_NEAR(curves.envelope[i], pts[i].y, 1e-6 * pts[i].y);
        EXPECT_NEAR(curves.background[i], 300, 1e-5);
        EXPECT_NEAR(curves.components[1][i],
                    0.8 * gaussian(x, 694, 1.5, 4000) + 0.2 * lorentzian(x, 694, 1.5, 4000), 1e-5);
        EXPECT_DOUBLE_EQ(curves.residual[i], pts[i].y - curves.envelope[i]);
    }

    // With noise the linked parameters carry their root's error, scaled by the link.
    std::mt19937 rng(7);
    std::vector<SpectrumPoint> noisy = pts;
    for (SpectrumPoint& p : noisy) p.y = std::poisson_distribution<int>(p.y)(rng);
    const FitResult n = solveFit(problemFor(model, noisy));
    ASSERT_TRUE(n.converged()) << n.message;
    EXPECT_GT(param(n, 0, "area").estimate.error, 0);
    EXPECT_DOUBLE_EQ(param(n, 1, "area").estimate.error, 0.5 * param(n, 0, "area").estimate.error);
    EXPECT_DOUBLE_EQ(param(n, 1, "position").estimate.error, param(n, 0, "position").estimate.error);
}

// A peak on a step that is exactly its own Shirley background: k times the peak's area above x.
std::vector<SpectrumPoint> peakOnShirleyStep(double k) {
    std::vector<SpectrumPoint> pts =
        sampled(280, 0.05, 301, [](double x) { return gaussian(x, 287.5, 1.2, 6000); });
    double above = 0;
    std::vector<double> step(pts.size(), 0.0);
    for (std::size_t i = pts.size() - 1; i-- > 0;) {
        above += 0.5 * (pts[i].y + pts[i + 1].y) * (pts[i + 1].x - pts[i].x);
        step[i] = k * above;
    }
    for (std::size_t i = 0; i < pts.size(); ++i) pts[i].y += 100 + step[i];
    return pts;
}

TEST(FitSolver, ShirleyBackgroundsHeldFixedAndRecomputedFromTheEnvelope) {
    const std::vector<SpectrumPoint> pts = peakOnShirleyStep(0.05);
    for (const char* type : {"shirley", "active_shirley"}) {
        const FitModel model =
            modelFrom(std::string(R"({"background": {"type": ")") + type + R"("}, "components": [
            {"name": "A", "shape": "gaussian", "position": 287.2, "fwhm": 1.4, "area": 5000}]})");
        const FitResult r = solveFit(problemFor(model, pts));
        ASSERT_TRUE(r.converged()) << type << ": " << r.message;
        expectRelative(param(r, 0, "position").estimate.value, 287.5, 1e-7, type);
        expectRelative(param(r, 0, "fwhm").estimate.value, 1.2, 1e-5, type);
        expectRelative(param(r, 0, "area").estimate.value, 6000, 1e-5, type);
    }
    // The linear background cannot follow the step: the same peak comes out visibly wrong.
    const FitResult linear =
        solveFit(problemFor(modelFrom(R"({"background": {"type": "linear"}, "components": [
            {"name": "A", "shape": "gaussian", "position": 287.2, "fwhm": 1.4, "area": 5000}]})"),
                            pts));
    EXPECT_GT(std::abs(param(linear, 0, "area").estimate.value - 6000), 10);

    // With noise the Shirley of the data and that of the fitted line differ; the active one ends where
    // recomputing it from the fitted line no longer changes it.
    std::mt19937 rng(5);
    std::vector<SpectrumPoint> noisy = pts;
    for (SpectrumPoint& p : noisy) p.y = std::poisson_distribution<int>(p.y)(rng);
    const FitProblem pb = problemFor(modelFrom(R"({"background": {"type": "active_shirley"}, "components": [
            {"name": "A", "shape": "gaussian", "position": 287.2, "fwhm": 1.4, "area": 5000}]})"),
                                     noisy);
    const FitResult r = solveFit(pb);
    ASSERT_TRUE(r.converged()) << r.message;
    EXPECT_GT(r.background.rounds, 1);
    const std::vector<double> again = activeShirleyOf(pb, r.freeValues.data());
    const double step = std::abs(noisy.front().y - noisy.back().y);
    for (std::size_t i = 0; i < again.size(); ++i)
        ASSERT_NEAR(again[i], r.fixedBackground[i], 1e-6 * step) << i;
    const Estimate area = param(r, 0, "area").estimate;
    EXPECT_NEAR(area.value, 6000, 4 * area.error);
}

TEST(FitSolver, BindingAxisTurnsPositionsAndTheAsymmetricTail) {
    // Measured in kinetic energy with 1486.6 eV photons; the tail lies towards lower kinetic energy.
    const double hv = 1486.6, pos = 1197.1; // binding energy 1486.6 - 1197.1 - 4.5 = 285
    const std::vector<SpectrumPoint> pts =
        sampled(1190, 0.05, 301, [&](double x) { return doniachSunjic(x, pos, 1000, 0.3, 0.2); });
    const FitModel model =
        modelFrom(R"({"axis": "binding", "region": {"from": 291, "to": 281}, "components": [
        {"name": "A", "shape": "doniach_sunjic", "position": 285.1, "height": 900, "gamma": 0.35, "alpha": 0.1}]})");
    const FitProblem pb = problemFor(model, pts, hv);
    EXPECT_EQ(pb.low, 281);
    const FitResult r = solveFit(pb);
    ASSERT_TRUE(r.converged()) << r.message;
    EXPECT_EQ(r.axis, Axis::Binding);
    expectRelative(param(r, 0, "position").estimate.value, 285, 1e-9, "binding position");
    expectRelative(param(r, 0, "alpha").estimate.value, 0.2, 1e-6, "alpha");
    // Its area over the region: the same as over the kinetic-energy points by Simpson's rule.
    double area = 0;
    for (int i = 0; i < 2000; ++i) {
        const double a = 1486.6 - 4.5 - 291 + 0.005 * i;
        area += 0.005 / 6 *
                (doniachSunjic(a, pos, 1000, 0.3, 0.2) + 4 * doniachSunjic(a + 0.0025, pos, 1000, 0.3, 0.2) +
                 doniachSunjic(a + 0.005, pos, 1000, 0.3, 0.2));
    }
    expectRelative(r.components[0].area.value, area, 1e-6, "area over the region");
    EXPECT_FALSE(prepareFit(model, {pts, std::nullopt, kDefaultWorkFunction, "c1s.dat"}).problem);
}

// Over many seeded Poisson spectra the true value lies within two reported standard errors about as
// often as a normal distribution says (95.4 %).
TEST(FitSolver, StandardErrorsCoverTheTruthAsOftenAsStatisticsSay) {
    const FitModel model =
        modelFrom(R"({"background": {"type": "constant"}, "weights": "poisson", "components": [
        {"name": "A", "shape": "pseudo_voigt", "position": 285.1, "fwhm": 1.1, "area": 28000, "eta": {"value": 0.3, "fixed": true}}]})");
    const std::vector<SpectrumPoint> clean = sampled(280, 0.1, 101, [](double x) {
        return 0.7 * gaussian(x, 285, 1.2, 30000) + 0.3 * lorentzian(x, 285, 1.2, 30000) + 2000;
    });
    std::mt19937 rng(2024);
    const int trials = 200;
    int inside[3] = {0, 0, 0};
    for (int t = 0; t < trials; ++t) {
        std::vector<SpectrumPoint> pts = clean;
        for (SpectrumPoint& p : pts) p.y = std::poisson_distribution<int>(p.y)(rng);
        const FitResult r = solveFit(problemFor(model, pts));
        ASSERT_TRUE(r.converged()) << r.message;
        const double truth[3] = {285, 1.2, 30000};
        const char* names[3] = {"position", "fwhm", "area"};
        for (int k = 0; k < 3; ++k) {
            const Estimate e = param(r, 0, names[k]).estimate;
            if (std::abs(e.value - truth[k]) <= 2 * e.error) ++inside[k];
        }
    }
    for (int k = 0; k < 3; ++k) {
        EXPECT_GE(inside[k], 180) << k; // 90 %
        EXPECT_LE(inside[k], 198) << k; // 99 %
    }
}

TEST(FitSolver, AtomicPercentWithPropagatedError) {
    const std::vector<SpectrumPoint> clean = sampled(520, 0.1, 201, [](double x) {
        return gaussian(x, 530, 1.5, 20000) + gaussian(x, 535, 1.5, 10000) + 10;
    });
    std::mt19937 rng(11);
    std::vector<SpectrumPoint> pts = clean;
    for (SpectrumPoint& p : pts) p.y = std::poisson_distribution<int>(p.y)(rng);
    FitModel model =
        modelFrom(R"({"background": {"type": "constant", "c0": {"value": 10, "fixed": true}}, "components": [
        {"name": "O1", "shape": "gaussian", "position": 530, "fwhm": 1.5, "area": 19000, "element": "O", "sensitivity": 0.66},
        {"name": "C1", "shape": "gaussian", "position": 535, "fwhm": 1.5, "area": 9000, "element": "C", "level": "1s"}]})");
    EXPECT_NE(prepareFit(model, {pts, std::nullopt, kDefaultWorkFunction, "x"}).error.find("sensitivity"),
              std::string::npos);
    model.components[1].sensitivity = 0.25;
    const FitResult r = solveFit(problemFor(model, pts));
    ASSERT_TRUE(r.converged()) << r.message;
    ASSERT_EQ(r.elements.size(), 2u);
    const Estimate a = r.components[0].area, b = r.components[1].area;
    const double no = a.value / 0.66, nc = b.value / 0.25, total = no + nc;
    EXPECT_EQ(r.elements[0].element, "O");
    expectRelative(r.elements[0].atomicPercent.value, 100 * no / total, 1e-12, "O at.%");
    expectRelative(r.elements[1].atomicPercent.value, 100 * nc / total, 1e-12, "C at.%");
    // Two separate peaks: nearly independent areas, so the error follows the quotient rule.
    const double expected = 100 * std::hypot(nc * a.error / 0.66, no * b.error / 0.25) / (total * total);
    expectRelative(r.elements[0].atomicPercent.error, expected, 1e-2, "O at.% error");
    expectRelative(r.elements[1].atomicPercent.error, expected, 1e-2, "C at.% error");
}

TEST(FitSolver, IdenticalFreeComponentsEndWithAMessageNotNaN) {
    const FitModel model = modelFrom(R"({"components": [
        {"name": "C1", "shape": "gaussian", "position": 285, "fwhm": 1.2, "area": 2000},
        {"name": "C2", "shape": "gaussian", "position": 285, "fwhm": 1.2, "area": 2000}]})");
    const std::vector<SpectrumPoint> pts =
        sampled(280, 0.05, 201, [](double x) { return gaussian(x, 285, 1.2, 5000) + 1; });
    const FitProblem pb = problemFor(model, pts);
    const std::string why = singularAtStart(pb);
    EXPECT_NE(why.find("singular"), std::string::npos) << why;
    EXPECT_NE(why.find("C1."), std::string::npos) << why;
    EXPECT_NE(why.find("C2."), std::string::npos) << why;
    const FitResult r = solveFit(pb);
    EXPECT_EQ(r.status, FitStatus::Singular);
    EXPECT_FALSE(r.errorsKnown);
    for (const ComponentResult& c : r.components)
        for (const ParameterResult& p : c.parameters)
            EXPECT_TRUE(std::isfinite(p.estimate.value) && p.estimate.error == 0);
}

TEST(FitSolver, ProgressIsReportedAndTheFitCanBeCancelled) {
    const FitModel model = modelFrom(R"({"components": [
        {"name": "A", "shape": "gaussian", "position": 283, "fwhm": 2.5, "area": 1000}]})");
    const FitProblem pb =
        problemFor(model, sampled(280, 0.05, 201, [](double x) { return gaussian(x, 285, 1.2, 5000) + 5; }));
    std::vector<double> chi2;
    FitOptions options;
    options.progress = [&](const FitProgress& p) {
        chi2.push_back(p.chi2);
        EXPECT_EQ(p.free.size(), 3u);
        return p.iteration < 2;
    };
    const FitResult r = solveFit(pb, options);
    EXPECT_EQ(r.status, FitStatus::Cancelled);
    EXPECT_EQ(chi2.size(), 3u);
    EXPECT_LT(chi2.back(), chi2.front());

    std::atomic<bool> cancel{true};
    FitOptions flag;
    flag.cancel = &cancel;
    EXPECT_EQ(solveFit(pb, flag).status, FitStatus::Cancelled);
    cancel = false;
    EXPECT_TRUE(solveFit(pb, flag).converged());
}

} // namespace
} // namespace korvo::testing

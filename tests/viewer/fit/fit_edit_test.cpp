// What the fit window builds on, without widgets: the model as cell texts and back, a shape or axis
// changed under a model, a fit job of several spectra cancelled part way, and a fit's overlay on a
// workspace whose counts change.
#include "viewer/fit/fit_job.h"
#include "viewer/fit/fit_workspace.h"
#include "viewer/fit/fit_report.h"
#include "viewer/fit/fit_test_util.h"
#include "viewer/fit/model_texts.h"

#include <chrono>
#include <thread>

namespace korvo::testing {
namespace {

using namespace std::chrono_literals;

const char* kDoublet = R"({"region": {"from": 280.1, "to": 292.7}, "background": {"type": "linear", "c0": 210, "c1": {"value": 1.5, "min": -10, "max": 10}},
  "weights": "none", "components": [
    {"name": "A", "shape": "voigt", "position": {"value": 284.3, "min": 283, "max": 286}, "area": 3000, "fwhm_g": 0.9, "fwhm_l": {"value": 0.3, "fixed": true},
     "element": "Fe", "level": "2p3/2", "sensitivity": 0.1},
    {"name": "B", "shape": "voigt", "position": "A + 1.7", "area": "A * 0.5", "fwhm_g": "A", "fwhm_l": "A"}]})";

std::vector<SpectrumPoint> doublet() {
    return sampled(279, 0.05, 301, [](double x) {
        // A wiggle in place of noise, so that the optimum is no exact solution.
        return 200 + 2 * (x - 279) + voigtByConvolution(x, 284.2, 3100, 1.0, 0.3) +
               voigtByConvolution(x, 285.9, 1550, 1.0, 0.3) + 15 * std::sin(37 * x);
    });
}

TEST(FitModelTexts, ReadBackToTheLastBitAndNameTheCellThatIsNoNumber) {
    fit::FitModel m = modelFrom(kDoublet);
    m.components[0].parameter("area").value = 0.1 + 0.2; // no short decimal form
    const fit::ModelRead back = fit::modelOf(fit::textsOf(m));
    ASSERT_TRUE(back.model) << back.error;
    EXPECT_EQ(fit::modelJson(*back.model), fit::modelJson(m));

    const auto refusal = [&](auto edit) {
        fit::ModelTexts t = fit::textsOf(m);
        edit(t);
        const fit::ModelRead r = fit::modelOf(t);
        EXPECT_FALSE(r.model);
        return r.error;
    };
    EXPECT_EQ(refusal([](fit::ModelTexts& t) { t.components[0].parameters[2].max = "1,5"; }),
              "component \"A\", parameter \"fwhm_g\", \"max\": \"1,5\" is no number.");
    EXPECT_EQ(refusal([](fit::ModelTexts& t) { t.components[1].parameters[0].link = "A +"; }).rfind(
                  "component \"B\", parameter \"position\": ", 0),
              0u);
    EXPECT_EQ(refusal([](fit::ModelTexts& t) { t.to.clear(); }),
              "\"region\": give both ends, or neither for the whole spectrum.");
    EXPECT_EQ(refusal([](fit::ModelTexts& t) { t.components[0].sensitivity = "x"; }),
              "component \"A\", \"sensitivity\": \"x\" is no number.");
    // What the model check refuses comes through as it says it.
    EXPECT_EQ(refusal([](fit::ModelTexts& t) { t.components[1].parameters[1].link = "C9"; }),
              "component \"B\", parameter \"area\": the link names \"C9\", which is no component of the model.");
}

TEST(FitModelTexts, AnotherShapeKeepsWhatItSharesAndStartsTheRestFromIt) {
    fit::ComponentTexts c = fit::textsOf(modelFrom(kDoublet).components[0]);
    c.parameters[0] = {"284.3", "283", "286", "", false};
    fit::setShape(c, fit::Shape::PseudoVoigt);
    ASSERT_EQ(c.parameters.size(), 4u);
    EXPECT_EQ(c.parameters[0].min, "283"); // position with its bounds
    EXPECT_EQ(c.parameters[1].value, "0.9");  // fwhm from fwhm_g
    EXPECT_EQ(c.parameters[2].value, "3000"); // area
    EXPECT_EQ(c.parameters[3].value, "0.3");  // eta
    fit::setShape(c, fit::Shape::DoniachSunjic);
    EXPECT_EQ(c.parameters[1].value, fit::exactNumber(3000 / 0.9)); // height from area and width
    EXPECT_EQ(c.parameters[2].value, fit::exactNumber(0.45));       // gamma: half the width
    fit::setShape(c, fit::Shape::Gaussian);
    EXPECT_TRUE(fit::modelOf({.components = {c}}).model);
}

TEST(FitAxis, TheSameFitOnEitherAxisAndWhatHasNoCounterpart) {
    const std::vector<SpectrumPoint> pts = doublet();
    const double hv = 1486.6, w = 4.3, e = hv - w;
    const fit::FitModel kinetic = modelFrom(kDoublet);
    fit::FitModel binding = kinetic;
    ASSERT_EQ(fit::convertAxis(binding, fit::Axis::Binding, hv, w), "");
    EXPECT_EQ(binding.region->from, e - 280.1);
    EXPECT_EQ(binding.components[0].parameter("position").min, e - 286);
    EXPECT_EQ(fit::linkText(binding.components[1].parameter("position")), "A - 1.7");
    const fit::FitResult a = fit::solveFit(problemFor(kinetic, pts));
    const fit::Prepared pb = fit::prepareFit(binding, {pts, hv, w, "test"});
    ASSERT_TRUE(pb.problem) << pb.error;
    const fit::FitResult c = fit::solveFit(*pb.problem);
    ASSERT_TRUE(a.converged() && c.converged()) << a.message << c.message;
    EXPECT_NEAR(c.chi2, a.chi2, 1e-7 * a.chi2);
    for (std::size_t k = 0; k < 2; ++k) {
        EXPECT_NEAR(c.components[k].parameters[0].estimate.value, e - a.components[k].parameters[0].estimate.value, 1e-6);
        EXPECT_NEAR(c.components[k].area.value, a.components[k].area.value, 1e-6 * a.components[k].area.value);
    }
    EXPECT_NEAR(c.background.parameters[1].estimate.value, -a.background.parameters[1].estimate.value, 1e-6);
    // Back again gives the model it came from.
    fit::FitModel again = binding;
    ASSERT_EQ(fit::convertAxis(again, fit::Axis::Kinetic, hv, w), "");
    EXPECT_NEAR(again.components[0].parameter("position").value, 284.3, 1e-9);
    EXPECT_NEAR(again.background.c0->value, 210, 1e-9);

    // A position linked by a factor stays where it is, and so does the model.
    fit::FitModel scaled = kinetic;
    std::string error;
    scaled.components[1].parameter("position") = *fit::parseLink("A * 1.001", error);
    const std::string before = fit::modelJson(scaled);
    EXPECT_EQ(fit::convertAxis(scaled, fit::Axis::Binding, hv, w),
              "component \"B\", parameter \"position\": a position linked by a factor (\"A * 1.001\") has no "
              "counterpart on the other axis.");
    EXPECT_EQ(fit::modelJson(scaled), before);
}

TEST(FitJob, FitsInTurnAsTheSolverDoesAndACancelStopsTheRest) {
    const fit::FitModel model = modelFrom(kDoublet);
    std::vector<fit::FitTask> tasks;
    for (int k = 1; k <= 3; ++k) tasks.push_back({k, "s" + std::to_string(k), problemFor(model, doublet()), ""});
    {
        fit::FitJob job(tasks, true, 200);
        job.start();
        const std::vector<fit::FitResult> results = job.takeResults();
        ASSERT_TRUE(job.done());
        ASSERT_EQ(results.size(), 3u);
        const fit::FitResult first = fit::solveFit(tasks[0].problem);
        EXPECT_EQ(fit::resultJson(results[0], "s"), fit::resultJson(first, "s"));
        // The series: the second starts where the first ended.
        EXPECT_EQ(fit::resultJson(results[1], "s"),
                  fit::resultJson(fit::solveFit(tasks[1].problem, first.freeValues, {}), "s"));
    }
    // Held in the second fit's first iteration until cancelled: that one ends cancelled, the third
    // is never begun.
    fit::FitJob job(tasks, false, 200);
    std::atomic<bool> held{false};
    job.start([&](const fit::FitJob& j, const fit::FitJobProgress& p) {
        if (p.task != 1) return;
        held = true;
        const auto end = std::chrono::steady_clock::now() + 60s;
        while (!j.cancelled() && std::chrono::steady_clock::now() < end) std::this_thread::sleep_for(1ms);
    });
    while (!held) std::this_thread::sleep_for(1ms);
    EXPECT_FALSE(job.done());
    const auto progress = job.progressAfter(0);
    ASSERT_TRUE(progress); // the first fit's iterations were reported
    EXPECT_EQ(job.progressAfter(progress->serial), std::nullopt);
    job.cancel();
    const std::vector<fit::FitResult> results = job.takeResults();
    ASSERT_EQ(results.size(), 2u);
    EXPECT_TRUE(results[0].converged());
    EXPECT_EQ(results[1].status, fit::FitStatus::Cancelled);
}

TEST(FitOverlay, DrawnWhileTheFittedCountsAreThere) {
    tvar ws;
    ws.pool.assign(1, SpectrumPoint{});
    const std::vector<SpectrumPoint> pts = doublet();
    ws.pool.insert(ws.pool.end(), pts.begin(), pts.end());
    ws.spectrum(1).NumPoints = int(pts.size());
    ws.Order[1] = 1;
    ws.ShownCount = 1;
    ws.Active = 1;
    const fit::FitProblem problem = problemFor(modelFrom(kDoublet), pts);
    const fit::FitResult r = fit::solveFit(problem);
    const FitOverlay o = fit::overlayOf(problem, fit::curvesOf(problem, r), 1);
    EXPECT_TRUE(overlayFits(ws, o));
    ws.point(1, 150).y += 1; // a count in the region changed
    EXPECT_FALSE(overlayFits(ws, o));
    ws.point(1, 150).y -= 1;
    ws.point(1, 1).y += 1; // outside the region: still the same fit
    EXPECT_TRUE(overlayFits(ws, o));
    ws.ShownCount = 0, ws.HiddenCount = 1; // hidden
    EXPECT_FALSE(overlayFits(ws, o));

    // The lines: components on the background, residuals inside their band.
    const std::vector<FitLine> lines = fitLines(o, 100, 1100);
    ASSERT_EQ(lines.size(), 1 + 2 + 1 + 2u);
    EXPECT_EQ(lines[1].kind, FitLineKind::Component);
    EXPECT_DOUBLE_EQ(lines[1].points[100].y, o.background[100] + o.components[0][100]);
    double lowest = 1e300, highest = -1e300;
    for (const SpectrumPoint& p : lines.back().points) lowest = std::min(lowest, p.y), highest = std::max(highest, p.y);
    EXPECT_GE(lowest, 100 - 1e-9);
    EXPECT_LE(highest, 300 + 1e-9);
    EXPECT_NEAR(std::max(highest - 200, 200 - lowest), 100, 1e-9); // the largest residual reaches the band's edge
}

TEST(FitComponentGuess, AtTheClickedPeakOnEitherAxis) {
    const std::vector<SpectrumPoint> pts = sampled(279, 0.05, 301, [](double x) {
        return 500 + 20 * (x - 279) + gaussian(x, 286.0, 1.2, 4000);
    });
    fit::FitModel model;
    const fit::ComponentGuess g = fit::componentAt(model, {pts, std::nullopt, 4.5, "s"}, 286.02, fit::Shape::Gaussian);
    ASSERT_TRUE(g.component) << g.error;
    EXPECT_EQ(g.component->name, "C1");
    EXPECT_NEAR(g.component->parameter("position").value, 286.0, 0.03);
    EXPECT_NEAR(g.component->parameter("fwhm").value, 1.2, 0.1);
    EXPECT_NEAR(g.component->parameter("area").value, 4000, 400);
    EXPECT_EQ(g.component->parameter("area").min, 0);
    // On the binding axis with a component C1 there: C2 at the binding energy.
    model.axis = fit::Axis::Binding;
    model.components.push_back(fit::Component{.name = "C1"});
    const fit::ComponentGuess b = fit::componentAt(model, {pts, 1486.6, 4.5, "s"}, 286.02, fit::Shape::DoniachSunjic);
    ASSERT_TRUE(b.component) << b.error;
    EXPECT_EQ(b.component->name, "C2");
    EXPECT_NEAR(b.component->parameter("position").value, 1486.6 - 4.5 - 286.0, 0.03);
    EXPECT_NEAR(b.component->parameter("height").value, gaussian(286, 286, 1.2, 4000), 150);
    EXPECT_FALSE(fit::componentAt(model, {pts, std::nullopt, 4.5, "s"}, 286, fit::Shape::Gaussian).component);
    EXPECT_FALSE(fit::componentAt({}, {pts, std::nullopt, 4.5, "s"}, 278, fit::Shape::Gaussian).component);
}

} // namespace
} // namespace korvo::testing

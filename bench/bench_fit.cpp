// The peak fit on a realistic problem: five pseudo-Voigt lines (every parameter free) on a linear
// background, 2000 points, Poisson weights. Run from the release build:
//   ./bench_fit
// Target: at most 5 ms per fit. bench/fit_vs_lmfit.py fits the same data with lmfit beside it.
//
// The data, as the lmfit script makes them: x_i = 280 + 0.01 i (i = 0 .. 1999), the true curve f
// below, and y_i = f_i + sqrt(f_i) (frac(sin(12.9898 i) 43758.5453) - 0.5) sqrt(12), a noise of unit
// variance per count that both languages compute alike.
#include "viewer/fit/fit_solver.h"
#include "viewer/fit/model_file.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdio>
#include <numbers>

namespace {

using namespace korvo;

struct Line {
    double position, fwhm, area, eta;
};
constexpr Line kLines[] = {{283, 1.2, 6000, 0.3},
                           {286, 1.0, 3000, 0.2},
                           {289.5, 1.4, 8000, 0.4},
                           {293, 1.1, 2000, 0.3},
                           {297, 1.3, 5000, 0.5}};

double pseudoVoigt(double x, const Line& l) {
    const double t = (x - l.position) / l.fwhm;
    const double g =
        std::sqrt(4 * std::numbers::ln2 / std::numbers::pi) * std::exp(-4 * std::numbers::ln2 * t * t);
    const double lo = 2 / std::numbers::pi / (1 + 4 * t * t);
    return l.area / l.fwhm * ((1 - l.eta) * g + l.eta * lo);
}

std::vector<SpectrumPoint> benchData() {
    std::vector<SpectrumPoint> pts;
    for (int i = 0; i < 2000; ++i) {
        const double x = 280 + 0.01 * i;
        double f = 200 + 3 * (x - 280);
        for (const Line& l : kLines) f += pseudoVoigt(x, l);
        const double v = std::sin(12.9898 * i) * 43758.5453;
        pts.push_back({x, f + std::sqrt(f) * (v - std::floor(v) - 0.5) * std::sqrt(12.0)});
    }
    return pts;
}

fit::FitModel benchModel() {
    std::string json =
        R"({"background": {"type": "linear", "c0": 190, "c1": 2.5}, "weights": "poisson", "components": [)";
    for (int k = 0; k < 5; ++k) {
        const Line& l = kLines[k];
        char buf[256];
        std::snprintf(
            buf, sizeof buf,
            R"(%s{"name": "P%d", "shape": "pseudo_voigt", "position": %.17g, "fwhm": %.17g, "area": %.17g, "eta": 0.5})",
            k ? ", " : "", k + 1, l.position + 0.15, l.fwhm * 1.15, l.area * 0.85);
        json += buf;
    }
    return *fit::readModelJson(json + "]}").model;
}

void BM_FivePseudoVoigtLinear2000(benchmark::State& state) {
    const std::vector<SpectrumPoint> pts = benchData();
    const fit::FitModel model = benchModel();
    int iterations = 0;
    for (auto _ : state) {
        const fit::Prepared p =
            fit::prepareFit(model, {pts, std::nullopt, kDefaultWorkFunction, "bench"});
        const fit::FitResult r = fit::solveFit(*p.problem);
        if (!r.converged()) state.SkipWithError(r.message.c_str());
        iterations = r.iterations;
        benchmark::DoNotOptimize(r.chi2);
    }
    state.counters["solver_iterations"] = iterations;
}
BENCHMARK(BM_FivePseudoVoigtLinear2000)->Unit(benchmark::kMillisecond);

// The model curve alone (Arg 0) and with its Jacobian by dual numbers (Arg 1), as the solver asks
// for them once or twice per iteration.
void BM_ModelCurve(benchmark::State& state) {
    const std::vector<SpectrumPoint> pts = benchData();
    const fit::Prepared p =
        fit::prepareFit(benchModel(), {pts, std::nullopt, kDefaultWorkFunction, "bench"});
    const std::vector<double> start = p.problem->startValues();
    std::vector<double> f(pts.size()), j(pts.size() * start.size());
    for (auto _ : state) {
        fit::modelValues(*p.problem, start.data(), p.problem->fixedBackground, f.data(),
                         state.range(0) ? j.data() : nullptr);
        benchmark::DoNotOptimize(f.data());
    }
}
BENCHMARK(BM_ModelCurve)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);

} // namespace

BENCHMARK_MAIN();

// The analysis commands on the series they are used on. Run from the release build:
//   ./bench_analysis
// Targets: "Q-Fit" on one spectrum of 2000 points (82,000 passes) at most 0.3 s; "MM2-Fit" on 5000
// points with h = 21 at most 0.1 s; every command once on 100 spectra of 1000 points.
#include "bench_series.h"
#include "viewer/analysis/arithmetic.h"
#include "viewer/analysis/clipping_fit.h"
#include "viewer/analysis/integration.h"
#include "viewer/analysis/minmax_fits.h"
#include "viewer/analysis/backgrounds.h"
#include "viewer/analysis/satellite.h"
#include "viewer/analysis/slices.h"
#include "viewer/colour_view.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <unistd.h>

namespace {

using namespace korvo;

void BM_QFit2000(benchmark::State& state) {
    const tvar loaded = bench::peakSeries(1, 2000);
    for (auto _ : state) {
        state.PauseTiming();
        tvar ws = loaded;
        state.ResumeTiming();
        analysis::clippingFit(ws, analysis::ClippingFit::Q);
        benchmark::DoNotOptimize(ws.pool.data());
    }
}
BENCHMARK(BM_QFit2000)->Unit(benchmark::kMillisecond);

void BM_MM2Fit5000(benchmark::State& state) {
    const tvar loaded = bench::peakSeries(1, 5000);
    for (auto _ : state) {
        state.PauseTiming();
        tvar ws = loaded;
        ws.SelStartPoint = 0;
        ws.SelEndPoint = 40; // h = 21
        state.ResumeTiming();
        analysis::minMaxFit(ws, analysis::MinMaxFit::VariationDamped);
        benchmark::DoNotOptimize(ws.pool.data());
    }
}
BENCHMARK(BM_MM2Fit5000)->Unit(benchmark::kMillisecond);

// Each command once on 100 spectra of 1000 points.
void command(benchmark::State& state, void (*run)(tvar&)) {
    const tvar loaded = bench::peakSeries(100, 1000);
    for (auto _ : state) {
        state.PauseTiming();
        tvar ws = loaded;
        ws.SelStartPoint = 100;
        ws.SelEndPoint = 140;
        state.ResumeTiming();
        run(ws);
        benchmark::DoNotOptimize(ws.pool.data());
    }
}

std::string storePath() {
    static const std::string path = "/tmp/korvo-bench-store-" + std::to_string(::getpid()) + ".dat";
    return path;
}

BENCHMARK_CAPTURE(command, smooth, [](tvar& ws) { analysis::smooth(ws); })->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(command, normalise, [](tvar& ws) { analysis::normaliseArea(ws); })->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(command, ifit50, [](tvar& ws) { analysis::subtractMean(ws, 50); })->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(command, mfit, [](tvar& ws) { analysis::subtractMinimum(ws); })->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(command, setr, [](tvar& ws) { analysis::flattenSelection(ws); })->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(command, stack, [](tvar& ws) { analysis::stack(ws); })->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(command, store_and_add, [](tvar& ws) {
    analysis::storeValues(ws, storePath());
    analysis::storeCommand(ws, storePath(), +1);
})->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(command, mmfit, [](tvar& ws) { analysis::minMaxFit(ws, analysis::MinMaxFit::Plain); })
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(command, mm2fit, [](tvar& ws) { analysis::minMaxFit(ws, analysis::MinMaxFit::VariationDamped); })
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(command, mm3fit, [](tvar& ws) { analysis::minMaxFit(ws, analysis::MinMaxFit::RangeFloor); })
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(command, qfit, [](tvar& ws) { analysis::clippingFit(ws, analysis::ClippingFit::Q); })
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(command, integrate, [](tvar& ws) { benchmark::DoNotOptimize(analysis::integrate(ws).area); })
    ->Unit(benchmark::kMillisecond);

BENCHMARK_CAPTURE(command, satellite, [](tvar& ws) {
    std::vector<int> all(100);
    for (int i = 0; i < 100; ++i) all[std::size_t(i)] = i + 1;
    analysis::removeSatellites(ws, all, analysis::satelliteLines(analysis::SatelliteSource::AlKAlpha));
})->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(command, shirley, [](tvar& ws) { analysis::shirleyBackground(ws); })->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(command, tougaard, [](tvar& ws) { analysis::tougaardBackground(ws, analysis::kTougaardB); })
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(command, slices_sum, [](tvar& ws) { analysis::slicesSum(ws); })->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(command, slice_mix, [](tvar& ws) { analysis::sliceMix(ws, 10, 2); })->Unit(benchmark::kMillisecond);
// The colour view's rectangles for a window of 100 spectra.
BENCHMARK_CAPTURE(command, colour_bands, [](tvar& ws) {
    ws.PlotWidth = 800;
    ws.PlotHeight = 600;
    fullScale(ws, FullScale::All);
    ViewMessages messages;
    updateScalesForPaint(ws, messages);
    benchmark::DoNotOptimize(colourViewBands(ws, 2, messages).size());
})->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    std::remove(storePath().c_str());
    return 0;
}

// The viewer's exports of a large series: the column file on one shared grid and on a grid merged
// from 100 shifted ones, the surface plotter's grid, and the EPS pictures with "fit.tex".
#include "bench_series.h"
#include "viewer/eps_export.h"
#include "viewer/exports.h"
#include "viewer/view_scale.h"

#include <benchmark/benchmark.h>

#include <QGuiApplication>

namespace korvo {
namespace {

// 100 spectra of 1000 points, all shown over the energies of the first as after "Not Scaled" / "&X";
// `shift` moves the energies of spectrum k by k x shift, so that no two spectra share a grid
// position.
tvar series(double shift) {
    tvar ws = bench::peakSeries(100, 1000);
    ws.PlotWidth = kEpsWidth;
    ws.PlotHeight = kEpsHeight;
    for (int k = 1; k <= ws.ShownCount; ++k) {
        ViewerSpectrum& s = ws.spectrum(k);
        s.ShortName = "series_" + std::to_string(k) + ".dat";
        double lo = 1e300, hi = -1e300;
        for (SpectrumPoint& p : ws.points(k)) {
            p.x += shift * k;
            lo = std::min(lo, p.y), hi = std::max(hi, p.y);
        }
        s.XMin = s.XMinOrig = 280;
        s.XMax = s.XMaxOrig = 280 + 0.02 * 999;
        s.YMin = s.YMinOrig = lo;
        s.YMax = s.YMaxOrig = s.YTop = hi;
    }
    ViewMessages ignored;
    updateScalesForPaint(ws, ignored);
    return ws;
}

void columnFile(benchmark::State& state, double shift) {
    const tvar ws = series(shift);
    std::size_t bytes = 0;
    for (auto _ : state) {
        const std::string text = columnFileText(ws, true, ColumnValues::Displayed);
        bytes = text.size();
        benchmark::DoNotOptimize(text.data());
    }
    state.counters["MB"] = double(bytes) / 1e6;
}
void columnFileSharedGrid(benchmark::State& state) {
    columnFile(state, 0);
}
BENCHMARK(columnFileSharedGrid)->Unit(benchmark::kMillisecond);
// 100 000 rows of 101 values.
void columnFileShiftedGrids(benchmark::State& state) {
    columnFile(state, 0.0002);
}
BENCHMARK(columnFileShiftedGrids)->Unit(benchmark::kMillisecond);

void surferGrid(benchmark::State& state) {
    const tvar ws = series(0);
    std::string message;
    for (auto _ : state) benchmark::DoNotOptimize(surferGridText(ws, &message));
}
BENCHMARK(surferGrid)->Unit(benchmark::kMillisecond);

// 100 pictures of 100 curves each.
void epsPictures(benchmark::State& state) {
    tvar ws = series(0);
    for (auto _ : state) benchmark::DoNotOptimize(epsExport(ws));
}
BENCHMARK(epsPictures)->Unit(benchmark::kMillisecond);

} // namespace
} // namespace korvo

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}

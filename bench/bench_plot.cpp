// Frame cost per repaint: the viewer redraws the whole frame on every paint, zoom and scroll.
#include "plot/frame_drawing.h"
#include "plot/plot_mapping.h"

#include <QFont>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>

#include <benchmark/benchmark.h>

#include <cstdlib>

namespace {

using namespace korvo::plot;

void BM_TickWalkBothAxes(benchmark::State& state) {
    double lo = 280.0;
    for (auto _ : state) {
        const double hi = lo + 1234.5;
        auto energy = walkTicks(lo, hi, AxisTicksRounded(lo, hi), AxisKind::Energy);
        auto counts = walkTicks(12.0, 40012.0, AxisTicksTruncated(12.0, 40012.0), AxisKind::Counts);
        benchmark::DoNotOptimize(energy.data());
        benchmark::DoNotOptimize(counts.data());
        lo += 0.001; // a scrolling view
    }
}
BENCHMARK(BM_TickWalkBothAxes);

void BM_ScreenLayoutWithLabels(benchmark::State& state) {
    const DataArea a = viewerDataArea(700, 500);
    for (auto _ : state) {
        FrameLayout f = screenFrameLayout(280.0, 1514.5, 12.0, 40012.0, 1234.5 / a.width, 40000.0 / a.height,
                                          a.width, a.height);
        benchmark::DoNotOptimize(f.labels.data());
    }
}
BENCHMARK(BM_ScreenLayoutWithLabels);

void BM_DrawScreenFrame700x500(benchmark::State& state) {
    const DataArea a = viewerDataArea(700, 500);
    QImage img(700, 500, QImage::Format_RGB32);
    for (auto _ : state) {
        img.fill(Qt::white);
        QPainter p(&img);
        p.setFont(QFont("Sans", 8));
        DrawAxesScreen(p, 280.0, 1514.5, 12.0, 40012.0, 1234.5 / a.width, 40000.0 / a.height, a.width,
                       a.height);
    }
}
BENCHMARK(BM_DrawScreenFrame700x500)->Unit(benchmark::kMicrosecond);

} // namespace

int main(int argc, char** argv) {
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QGuiApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}

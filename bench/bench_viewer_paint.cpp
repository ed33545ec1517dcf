// The viewer window's paint cost: 100 shown spectra of 1000 points each in a 900 x 600 paint box,
// frame and curves, drawn offscreen as the window draws them. Run from the release build:
//   QT_QPA_PLATFORM=offscreen ./bench_viewer_paint
#include "viewer/viewer_paint.h"

#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <benchmark/benchmark.h>

#include <cmath>
#include <random>

namespace {

using namespace korvo;

constexpr int kSpectra = 100;
constexpr int kPoints = 1000;

// Spectra with a peak and noise, stacked a little apart; spectrum 1 active, every tenth marked.
void fill(tvar& ws) {
    std::mt19937 rng(7);
    std::normal_distribution<double> noise(0, 20);
    ws.pool.assign(1, SpectrumPoint{});
    for (int k = 1; k <= kSpectra; ++k) {
        ViewerSpectrum& s = ws.spectrum(k);
        s.NumPoints = kPoints;
        for (int j = 0; j < kPoints; ++j) {
            const double x = 400 + 0.1 * j;
            const double d = (x - 450 - 0.05 * k) / 2;
            ws.pool.push_back({x, 100 + 10 * k + 2000 * std::exp(-d * d) + noise(rng)});
        }
        s.XMin = s.XMinOrig = 400;
        s.XMax = s.XMaxOrig = 400 + 0.1 * (kPoints - 1);
        // The lower edge cuts the noise of the first spectra, so the clipping is part of the cost.
        s.YMin = s.YMinOrig = 100;
        s.YMax = s.YMaxOrig = s.YTop = 3200;
        s.Marked = k % 10 == 0;
        ws.Order[std::size_t(k)] = static_cast<std::uint16_t>(k);
    }
    ws.recomputePoolStarts(kSpectra);
    ws.ShownCount = kSpectra;
    ws.Active = 1;
    ws.PlotWidth = 900;
    ws.PlotHeight = 600;
}

void paint(benchmark::State& state, int shown) {
    tvar ws;
    fill(ws);
    ws.ShownCount = shown;
    QImage image(ws.PlotWidth, ws.PlotHeight, QImage::Format_RGB32);
    for (auto _ : state) {
        QPainter p(&image);
        ViewMessages messages;
        paintViewer(p, ws, {}, messages);
        p.end();
        benchmark::DoNotOptimize(image.constBits());
    }
}
// The target: at most 30 ms for the 100 spectra.
void paint100(benchmark::State& state) {
    paint(state, kSpectra);
}
BENCHMARK(paint100)->Unit(benchmark::kMillisecond);
// The frame with one curve, for comparison: what the curves themselves cost.
void paint1(benchmark::State& state) {
    paint(state, 1);
}
BENCHMARK(paint1)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}

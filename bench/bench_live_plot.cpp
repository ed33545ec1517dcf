// The live plot's drawing cost: a full picture of a long nine-channel measurement, and the one point
// drawn while a scan goes on. Run offscreen: QT_QPA_PLATFORM=offscreen ./bench_live_plot
#include "app/live_plot_render.h"

#include <QGuiApplication>
#include <benchmark/benchmark.h>

#include <cmath>
#include <random>

namespace {

using namespace korvo;

constexpr int kPoints = 20000;
constexpr int kBoxWidth = 520, kBoxHeight = 465; // the plot box of the 700 x 580 window

struct Measurement {
    DataBlock data;
    live::TraceSource src;
    PlotScale plot;
    explicit Measurement(int scan) {
        data.resize(kPoints + 1);
        std::mt19937 rng(3);
        std::normal_distribution<double> noise(0, 30);
        for (std::size_t r = 1; r < data.size(); ++r) {
            const double x = 10 + 100.0 * double(r - 1) / (kPoints - 1);
            data[r].Energy = data[r].enScan = x;
            const double peak = 800 * std::exp(-std::pow((x - 60) / 3, 2)) + 300;
            for (int c = 1; c <= 9; ++c) {
                data[r].Co[std::size_t(c)] = (scan - 1) * (peak / 9 + noise(rng));
                data[r].CoScan[std::size_t(c)] = peak / 9 + noise(rng);
                data[r].Co[0] += data[r].Co[std::size_t(c)];
                data[r].CoScan[0] += data[r].CoScan[std::size_t(c)];
            }
        }
        src.data = &data;
        src.points = kPoints;
        src.scanNumber = scan;
        src.pointsMeasured = kPoints;
        plot.xStart = 10;
        plot.xEnd = 110;
        plot.yMin = 0;
        plot.yMax = 1400;
        plot.cursor1 = 30;
        plot.cursor2 = 80;
        plot.drawEnabled = true;
        plot.currentPointColour = 0x800000;
    }
};

void fullRedraw(benchmark::State& state, bool multi) {
    Measurement m(3);
    QImage image(kBoxWidth, kBoxHeight, QImage::Format_RGB32);
    live::RenderOptions o;
    o.drawEnabled = true;
    o.multi = multi;
    for (auto _ : state) {
        auto failure = live::renderFull(image, m.src, m.plot, o);
        benchmark::DoNotOptimize(failure);
        benchmark::DoNotOptimize(image.constBits());
    }
}

void BM_FullRedrawNineChannels20000Points(benchmark::State& state) {
    fullRedraw(state, true);
}
BENCHMARK(BM_FullRedrawNineChannels20000Points)->Unit(benchmark::kMillisecond);

void BM_FullRedrawTotal20000Points(benchmark::State& state) {
    fullRedraw(state, false);
}
BENCHMARK(BM_FullRedrawTotal20000Points)->Unit(benchmark::kMillisecond);

// One completed point: the segment of the first scan, a spot of a later scan, nine channel crosses.
void incremental(benchmark::State& state, int scan, bool multi) {
    Measurement m(scan);
    QImage image(kBoxWidth, kBoxHeight, QImage::Format_RGB32);
    live::RenderOptions o;
    o.drawEnabled = true;
    o.multi = multi;
    live::renderFull(image, m.src, m.plot, o);
    std::size_t r = 2;
    for (auto _ : state) {
        QRect dirty = live::renderPoint(image, m.src, m.plot, o, r, nullptr);
        benchmark::DoNotOptimize(dirty);
        r = r + 1 < m.data.size() ? r + 1 : 2;
    }
}

void BM_PointFirstScanSegment(benchmark::State& state) {
    incremental(state, 1, false);
}
BENCHMARK(BM_PointFirstScanSegment)->Unit(benchmark::kMicrosecond);

void BM_PointLaterScanSpot(benchmark::State& state) {
    incremental(state, 3, false);
}
BENCHMARK(BM_PointLaterScanSpot)->Unit(benchmark::kMicrosecond);

void BM_PointNineChannelCrosses(benchmark::State& state) {
    incremental(state, 3, true);
}
BENCHMARK(BM_PointNineChannelCrosses)->Unit(benchmark::kMicrosecond);

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv); // fonts for the frame labels
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}

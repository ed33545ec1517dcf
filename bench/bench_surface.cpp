// The 3D view: one frame of the 256 x 256 surface at full resolution, rendered into an offscreen
// framebuffer, and the grid and normals of 100 spectra of 1000 points. Needs an OpenGL context, so
// run it from the release build with an X server (Mesa's software renderer on Xvfb will do):
//   Xvfb :91 & DISPLAY=:91 ./bench_surface
// Target: at most 33 ms per frame.
#include "bench_series.h"
#include "viewer/surface/surface_renderer.h"
#include "viewer/surface/surface_scene.h"

#include <benchmark/benchmark.h>

#include <QGuiApplication>
#include <QOffscreenSurface>
#include <QOpenGLContext>
#include <QOpenGLFramebufferObject>
#include <QOpenGLFunctions>

#include <memory>

namespace {

using namespace korvo;
using namespace korvo::surface;

// The application object, made before any OpenGL object (the offscreen surface needs its screen).
struct App {
    App() {
        static int argc = 1;
        static char name[] = "bench_surface";
        static char* argv[] = {name, nullptr};
        if (!QGuiApplication::instance()) new QGuiApplication(argc, argv);
    }
};

// A context current on an offscreen surface with a 640 x 480 framebuffer bound.
struct GlTarget {
    GlTarget() {
        if (!context.create()) return;
        surface.setFormat(context.format());
        surface.create();
        if (!surface.isValid() || !context.makeCurrent(&surface)) return;
        QOpenGLFramebufferObjectFormat format;
        format.setAttachment(QOpenGLFramebufferObject::Depth);
        fbo = std::make_unique<QOpenGLFramebufferObject>(640, 480, format);
        ready = fbo->isValid() && fbo->bind() && renderer.initialize();
        renderer.resize(640, 480);
    }
    App app;
    QOpenGLContext context;
    QOffscreenSurface surface;
    std::unique_ptr<QOpenGLFramebufferObject> fbo;
    SurfaceRenderer renderer;
    bool ready = false;
};

// Frames at the resolution step `state.range(0)`: 1 when the keys rest, 2 after the palette keys,
// 4 while a key is held.
void frames(benchmark::State& state, bool keyEachFrame) {
    GlTarget target;
    if (!target.ready) {
        state.SkipWithError("no OpenGL context with fixed-function calls (set DISPLAY to an X server)");
        return;
    }
    const tvar ws = bench::peakSeries(100, 1000, 0.05);
    SurfaceScene scene(ws);
    scene.start(nullptr);
    const int step = int(state.range(0));
    if (step == 1) scene.release(); // the keys rest: the full 256 x 256 cells
    if (step == 2) scene.press(vk::Right);
    if (step == 4) scene.press('X'); // a key without an action, held
    target.renderer.draw(scene);
    target.context.functions()->glFinish();
    for (auto _ : state) {
        if (keyEachFrame) {
            // A key that changes the arrays (height scale): they are rebuilt before the frame.
            scene.press(vk::Up);
            if (step == 1) scene.release();
        }
        target.renderer.draw(scene);
        target.context.functions()->glFinish();
    }
    state.counters["quads"] = double(target.renderer.quadCount());
    state.SetLabel(target.renderer.description());
}

void BM_SurfaceFrame(benchmark::State& state) {
    frames(state, false);
}
BENCHMARK(BM_SurfaceFrame)->Arg(1)->Arg(2)->Arg(4)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_SurfaceFrameAfterArrayChange(benchmark::State& state) {
    frames(state, true);
}
BENCHMARK(BM_SurfaceFrameAfterArrayChange)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_HeightGrid100x1000(benchmark::State& state) {
    const tvar ws = bench::peakSeries(100, 1000, 0.05);
    HeightGrid grid;
    for (auto _ : state) {
        buildHeightGrid(ws, grid);
        benchmark::DoNotOptimize(grid.at(128, 128));
    }
}
BENCHMARK(BM_HeightGrid100x1000)->Unit(benchmark::kMillisecond);

void BM_Normals(benchmark::State& state) {
    const tvar ws = bench::peakSeries(100, 1000, 0.05);
    HeightGrid grid;
    buildHeightGrid(ws, grid);
    NormalGrid normals;
    for (auto _ : state) {
        computeNormals(grid, 10, -1, normals);
        benchmark::DoNotOptimize(normals.atGrid(128, 128).x);
    }
}
BENCHMARK(BM_Normals)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();

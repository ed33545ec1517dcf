// What Undo costs a viewer command: the copy of the counts taken before it, the comparison and the
// step pushed after it, and an undo (which swaps the counts back in place). Run from the release
// build:
//   ./bench_undo
// For 100 spectra of 1000 points and for the largest window, 2000 spectra of 5000 points; each
// benchmark reports the bytes one step holds ("step_bytes").
// Measured (release, 2 shared cores): a command's step 0.27 ms and 0.81 MB for 100 x 1000; 190 ms
// and 80 MB for 2000 x 5000 (a refused command costs the same: the copy before it and the
// comparison); undo and redo together 0.19 ms and 55 ms.
#include "bench_series.h"
#include "viewer/undo_history.h"

#include <benchmark/benchmark.h>


namespace {

using namespace korvo;

// Capture, one count changed (as the cheapest command would), record: one step per iteration.
void BM_CommandStep(benchmark::State& state) {
    tvar ws = bench::peakSeries(int(state.range(0)), int(state.range(1)));
    UndoHistory history(UndoHistory::Limits{std::size_t(256) << 20, 100});
    std::size_t stepBytes = 0;
    for (auto _ : state) {
        UndoHistory::Before before = UndoHistory::capture(ws);
        ws.pool[ws.pool.size() / 2].y += 1;
        history.record(ws, std::move(before));
        state.PauseTiming();
        stepBytes = history.bytes() / history.undoSteps();
        history.reset();
        state.ResumeTiming();
    }
    state.counters["step_bytes"] = double(stepBytes);
}
BENCHMARK(BM_CommandStep)->Args({100, 1000})->Args({2000, 5000})->Unit(benchmark::kMillisecond);

// A refused command: the copy and the comparison, no step.
void BM_RefusedCommand(benchmark::State& state) {
    tvar ws = bench::peakSeries(int(state.range(0)), int(state.range(1)));
    UndoHistory history;
    for (auto _ : state) {
        UndoHistory::Before before = UndoHistory::capture(ws);
        benchmark::DoNotOptimize(history.record(ws, std::move(before)));
    }
}
BENCHMARK(BM_RefusedCommand)->Args({100, 1000})->Args({2000, 5000})->Unit(benchmark::kMillisecond);

// Undo and redo of one step.
void BM_UndoRedo(benchmark::State& state) {
    tvar ws = bench::peakSeries(int(state.range(0)), int(state.range(1)));
    UndoHistory history;
    UndoHistory::Before before = UndoHistory::capture(ws);
    ws.pool[1].y += 1;
    history.record(ws, std::move(before));
    for (auto _ : state) {
        history.undo(ws);
        history.redo(ws);
    }
}
BENCHMARK(BM_UndoRedo)->Args({100, 1000})->Args({2000, 5000})->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();

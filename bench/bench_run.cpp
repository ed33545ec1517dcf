// Overhead of the run loop per analyser step: a 500-point scan with nine channeltrons on the
// simulated card and the real clock at 10 ms per point, minus the dwell time it must spend counting.
#include "acquisition/analyser_io/simulated_card.h"
#include "acquisition/station.h"
#include "common/clock.h"
#include "common/dialogs.h"
#include "common/event_pump.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <filesystem>

using namespace korvo;

static void BM_RunLoopOverheadPerPoint(benchmark::State& st) {
    const int points = 500, dwellMs = 10;
    const auto dir = std::filesystem::temp_directory_path() / "korvo_bench_run";
    std::filesystem::create_directories(dir);
    double overheadMs = 0;
    for (auto _ : st) {
        SteadyClock clock;
        NullPump pump;
        RecordingDialogs dialogs;
        dialogs.saveAcceptsProposed = true;
        AcquisitionContext ctx(clock, pump, dialogs);
        SimulatedCard card(clock);
        Station station(ctx, card);
        station.state.MachineMode = ModeClam;
        station.settings.store.saveDir = station.settings.store.startDir = dir.string();
        MeasurementFields& fields = station.fields;
        RunEngine& engine = station.engine;
        // Nine channels counting, but no channel shifts: exactly `points` analyser steps.
        const int col = ctx.channels.shifts.findColumn("10.0 eV");
        for (int i = 1; i <= 9; ++i) ctx.channels.shifts.setCell(col, i, "0");
        fields.kindOfMeasure = 1;
        fields.start = "80";
        fields.second = "20";
        fields.third = std::to_string(points);
        fields.scans = "1";
        fields.timePerPoint = std::to_string(dwellMs);
        fields.passEnergyText = "10.0";

        const auto t0 = std::chrono::steady_clock::now();
        engine.startClicked();
        const double wallMs =
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count();
        if (engine.lastEnd() != RunEnd::Normal) st.SkipWithError("run did not complete");
        // The first step also counts one scratch point for the plot's first scale.
        overheadMs = (wallMs - double(points + 1) * dwellMs) / points;
    }
    std::filesystem::remove_all(dir);
    st.counters["overhead_ms_per_point"] = overheadMs;
}
BENCHMARK(BM_RunLoopOverheadPerPoint)->Iterations(3)->Unit(benchmark::kMillisecond)->UseRealTime();

BENCHMARK_MAIN();

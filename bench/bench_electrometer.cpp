// One Keithley reading against korvo-sim's electrometer over a pseudo-terminal: how long it takes
// beyond the instrument's own measuring time, and how much of a core the program burns meanwhile.
// The reading waits 100 ms after the function selection, then the reply is seen at the driver's next
// 50 ms poll and at the query's next 20 ms look, so about 100 to 190 ms beyond the instrument is the
// expected range; the waits sleep, so the CPU share must stay far below a tenth of a core.
#include "instruments/electrometer/electrometer_link.h"
#include "instruments/electrometer/simulated_electrometer.h"
#include "instruments/serial/terminal_transport.h"
#include "support/sim_process.h"

#include <benchmark/benchmark.h>

#include <ctime>

using namespace korvo;

namespace {

double processCpuMs() {
    timespec t{};
    ::clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return double(t.tv_sec) * 1e3 + double(t.tv_nsec) / 1e6;
}

} // namespace

static void BM_KeithleyReading(benchmark::State& st) {
    korvo::testing::SimProcess sim({"keithley", "--reading", "1.234567e-9"});
    SteadyClock clock;
    PolledTimers timers(clock);
    NullPump events;
    TimerPump pump(events, timers);
    RecordingDialogs dialogs;
    InstrumentValues values;
    NullStatusPanels status;
    ComPortPaths paths;
    InstrumentContext ctx{clock, pump, dialogs, values, timers, status};
    ElectrometerLink link(ctx, std::make_unique<TerminalTransport>(), paths);
    link.setDevicePath(sim.device());
    if (!link.connectCom()) {
        st.SkipWithError("korvo-sim could not be reached");
        return;
    }
    link.chooseMode(1);
    double wallMs = 0, cpuMs = 0;
    std::int64_t readings = 0;
    for (auto _ : st) {
        const std::int64_t t0 = clock.nowUs();
        const double c0 = processCpuMs();
        link.KeiRead();
        cpuMs += processCpuMs() - c0;
        wallMs += double(clock.nowUs() - t0) / 1000.0;
        ++readings;
    }
    if (!dialogs.shown.empty() || values.KeiValue == 0) st.SkipWithError("a reading failed");
    st.counters["reading_ms"] = wallMs / double(readings);
    st.counters["beyond_instrument_ms"] =
        wallMs / double(readings) - double(SimulatedElectrometer::kMeasureMs);
    st.counters["cpu_cores"] = cpuMs / wallMs;
}
BENCHMARK(BM_KeithleyReading)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(40);

BENCHMARK_MAIN();

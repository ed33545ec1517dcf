// One status exchange of the monochromator link ("GST" out, "t 0" back) against korvo-sim on a
// pseudo-terminal, through the real driver. The reply can only be seen at the driver's next receive
// poll (every 50 ms), and the wait looks for it after each of its 20 ms passes, so a round trip is
// bounded below by the controller's answer and above by about 50 + 20 ms. While it waits the link
// must sleep, not spin: the CPU counter is the share of one core the process used.
#include "common/clock.h"
#include "common/dialogs.h"
#include "common/event_pump.h"
#include "common/timers.h"
#include "instruments/monochromator/monochromator_link.h"
#include "instruments/serial/terminal_transport.h"
#include "support/sim_process.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <sys/resource.h>

using namespace korvo;

namespace {

double cpuSeconds() {
    rusage u{};
    ::getrusage(RUSAGE_SELF, &u);
    auto s = [](const timeval& t) { return double(t.tv_sec) + double(t.tv_usec) / 1e6; };
    return s(u.ru_utime) + s(u.ru_stime);
}

} // namespace

static void BM_MonoStatusRoundTrip(benchmark::State& st) {
    testing::SimProcess sim({"mono"});
    SteadyClock clock;
    PolledTimers timers(clock);
    NullPump events;
    TimerPump pump(events, timers);
    RecordingDialogs dialogs;
    InstrumentValues values;
    NullStatusPanels panels;
    ComPortPaths paths;
    InstrumentContext ctx{clock, pump, dialogs, values, timers, panels};
    MonochromatorLink link(ctx, std::make_unique<TerminalTransport>(), paths);
    link.CommPortDriver_1().setDevicePath(sim.device());
    if (sim.device().empty() || !link.connectCom()) {
        st.SkipWithError("korvo-sim could not be reached");
        return;
    }
    link.MonoOpen();

    double longestMs = 0;
    const double cpu0 = cpuSeconds();
    const auto wall0 = std::chrono::steady_clock::now();
    for (auto _ : st) {
        const auto t0 = std::chrono::steady_clock::now();
        link.MonoGetStatus();
        longestMs = std::max(
            longestMs,
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count());
        if (values.MonoError != 0) {
            st.SkipWithError("the status exchange failed");
            break;
        }
        dialogs.clear();
    }
    const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - wall0).count();
    st.counters["longest_ms"] = longestMs;
    st.counters["poll_ms"] = link.CommPortDriver_1().ComPortPollingDelay();
    st.counters["cpu_cores"] = (cpuSeconds() - cpu0) / wall;
}
BENCHMARK(BM_MonoStatusRoundTrip)->Iterations(100)->Unit(benchmark::kMillisecond)->UseRealTime();

BENCHMARK_MAIN();

#include "common/clock.h"

#include <chrono>
#include <thread>

#ifdef __linux__
#include <sys/prctl.h>
#endif

namespace korvo {

namespace {
using Steady = std::chrono::steady_clock;
const Steady::time_point origin = Steady::now();
} // namespace

std::int64_t SteadyClock::nowMs() const {
    return std::chrono::duration_cast<std::chrono::milliseconds>(Steady::now() - origin).count();
}

std::int64_t SteadyClock::nowUs() const {
    return std::chrono::duration_cast<std::chrono::microseconds>(Steady::now() - origin).count();
}

void SteadyClock::sleepMs(std::int64_t ms) {
    if (ms > 0) std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

void SteadyClock::sleepUs(std::int64_t us) {
    if (us <= 0) return;
#ifdef __linux__
    // The kernel may stretch a sleep by the thread's timer slack, 50 us by default: as long as the
    // short sleeps themselves. Gate ends would then be seen twice as late.
    static thread_local const bool slackSet = ::prctl(PR_SET_TIMERSLACK, 1UL, 0, 0, 0) == 0;
    (void)slackSet;
#endif
    std::this_thread::sleep_for(std::chrono::microseconds(us));
}

} // namespace korvo

#include "common/timers.h"

#include <vector>

namespace korvo {

Timers::Id PolledTimers::start(std::int64_t periodMs, std::function<void()> tick) {
    const Id id = nextId_++;
    const std::int64_t period = periodMs > 0 ? periodMs : 1;
    timers_.emplace(id, Entry{period, clock_.nowMs() + period, std::move(tick)});
    return id;
}

void PolledTimers::stop(Id id) {
    timers_.erase(id);
}

void PolledTimers::runDue() {
    const std::int64_t now = clock_.nowMs();
    std::vector<Id> due;
    for (const auto& [id, e] : timers_)
        if (e.nextMs <= now) due.push_back(id);
    for (Id id : due) {
        auto it = timers_.find(id);
        if (it == timers_.end()) continue; // stopped by an earlier tick
        // A timer that fell behind fires once and is rescheduled from now, as a window timer is.
        it->second.nextMs = now + it->second.periodMs;
        auto tick = it->second.tick; // the tick may stop its own timer
        tick();
    }
}

} // namespace korvo

#pragma once
// Periodic timers of the one thread: the serial links poll their ports on them and the ring current is
// read on them. In the desktop program they are Qt timers that fire inside the event loop; elsewhere
// the event pump runs the ones that are due, so every wait that pumps also polls the links.
#include "common/clock.h"
#include "common/event_pump.h"

#include <cstdint>
#include <functional>
#include <map>

namespace korvo {

class Timers {
public:
    using Id = int;
    virtual ~Timers() = default;
    // Calls `tick` every `periodMs` milliseconds from now on; returns an id for stop().
    virtual Id start(std::int64_t periodMs, std::function<void()> tick) = 0;
    // Stops the timer; an unknown id is ignored.
    virtual void stop(Id id) = 0;
};

// Timers that fire, by the clock, when runDue() is called.
class PolledTimers final : public Timers {
public:
    explicit PolledTimers(Clock& clock) : clock_(clock) {}
    Id start(std::int64_t periodMs, std::function<void()> tick) override;
    void stop(Id id) override;
    // Fires every timer whose period has passed since it last fired, once each, in the order they
    // were started. A tick may start or stop timers.
    void runDue();
    std::size_t running() const { return timers_.size(); }

private:
    struct Entry {
        std::int64_t periodMs;
        std::int64_t nextMs;
        std::function<void()> tick;
    };
    Clock& clock_;
    std::map<Id, Entry> timers_;
    Id nextId_ = 1;
};

// An event pump that first fires the due timers, then does the work of `inner`.
class TimerPump final : public EventPump {
public:
    TimerPump(EventPump& inner, PolledTimers& timers) : inner_(inner), timers_(timers) {}
    void pump() override {
        timers_.runDue();
        inner_.pump();
    }

private:
    EventPump& inner_;
    PolledTimers& timers_;
};

} // namespace korvo

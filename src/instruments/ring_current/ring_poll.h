#pragma once
// The beam page's poll: the enable box, "Read Single Value" and the periodic timer. A read never
// holds the program: it is started here and moved on by step() in small steps that never wait,
// while a measurement goes on and reads the last value (InstrumentValues::RingCurrent and its
// RingPollState). The window owns the timers (Qt timers, or the polled timers of korvo-cli): it arms
// the refresh timer from timerEnabled() and intervalMs() after every change and calls tick() when it
// fires, calls step() every kStepMs while busy(), and enables "Read Single Value" from busy().
// Keeping the timers out of here leaves the poll testable without an event loop.
#include "common/clock.h"
#include "instruments/instrument_context.h"
#include "instruments/ring_current/ring_fetch.h"
#include "instruments/ring_current/ring_page.h"

#include <functional>
#include <memory>
#include <string>

namespace korvo {

class RingPoll {
public:
    static constexpr int kIdleIntervalMs = 10000;
    static constexpr int kDefaultRefreshS = 30;
    // How often a read in progress is moved on.
    static constexpr int kStepMs = 20;
    // What a reading may be older than the refresh time before it tells nothing about the beam: the
    // longest a read may take (RingFetchLimits::total) and a margin.
    static constexpr std::int64_t kStaleMarginMs = 35000;

    // `clock` dates the readings for the run (the station's clock); `values` receives them.
    RingPoll(RingFetchStarter start, Clock& clock, InstrumentValues& values);

    // The page's boxes, as typed; read when a read starts.
    std::string address;
    RingMarkers markers;
    // Called after the labels or busy() have changed (a read starts or ends, the poll is switched).
    std::function<void()> displayChanged;

    // The "refresh time" box; takes effect when the poll is next switched on. Refused (false, nothing
    // changes) below one second or above a day: a zero interval would never fire, and a timer
    // interval in milliseconds must stay within an int.
    bool setRefreshSeconds(int seconds);
    int refreshSeconds() const { return refreshS_; }

    // The enable box. On: timer on with the refresh time, a read started at once, the main window's
    // label shown. Off: timer off, label hidden; a read in progress still ends and is shown.
    void setEnabled(bool on);
    bool enabled() const { return enabled_; }

    // "Read Single Value": "------- mA" and a read started. Refused (false) while one is in progress.
    bool readOnce();
    // The refresh timer fired: starts a read when the poll is on and none is in progress.
    void tick();
    // Moves a read in progress on; when it has ended, shows and records what it gave.
    void step();

    bool busy() const { return job_ != nullptr; }
    bool timerEnabled() const { return enabled_; }
    int intervalMs() const { return intervalMs_; }
    const RingDisplay& display() const { return display_; }
    // How the last finished read ended.
    const RingFetchReport& lastReport() const { return lastReport_; }

private:
    void changed() {
        if (displayChanged) displayChanged();
    }
    void finished();

    RingFetchStarter start_;
    Clock& clock_;
    InstrumentValues& values_;
    std::unique_ptr<RingFetchJob> job_;
    // The address and markers of the read in progress, for its messages.
    std::string jobAddress_;
    RingMarkers jobMarkers_;
    RingFetchReport lastReport_;
    RingDisplay display_;
    bool enabled_ = false;
    int refreshS_ = kDefaultRefreshS;
    int intervalMs_ = kIdleIntervalMs;
};

} // namespace korvo

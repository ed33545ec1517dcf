#pragma once
// The beam page's poll: the enable box, "Read Single Value" and the periodic timer. The window owns
// the timer (a QTimer or anything else): it arms it from timerEnabled() and intervalMs() after every
// change, calls tick() when it fires and enables "Read Single Value" from busy(). Keeping the timer
// out of here leaves the poll testable without an event loop.
#include "instruments/ring_current/ring_page.h"

#include <functional>
#include <string>

namespace korvo {

class RingPoll {
public:
    // Reads the page once (RingFetch, see ringPageReader): true when a value was found. The poll
    // sets "------- mA" before and "No Data!" after a read that found none.
    using Reader = std::function<bool(const std::string& address, const RingMarkers&, RingDisplay&)>;

    static constexpr int kIdleIntervalMs = 10000;
    static constexpr int kDefaultRefreshS = 30;

    explicit RingPoll(Reader reader) : reader_(std::move(reader)) {}

    // The page's boxes, as typed; read at each fetch.
    std::string address;
    RingMarkers markers;
    // Called after the labels have changed (a read starts or ends, the poll is switched), so that the
    // window can show them during the fetch's waits as well.
    std::function<void()> displayChanged;

    // The "refresh time" box; takes effect when the poll is next switched on. Refused (false, nothing
    // changes) below one second or above a day: a zero interval would never fire, and a timer
    // interval in milliseconds must stay within an int.
    bool setRefreshSeconds(int seconds);
    int refreshSeconds() const { return refreshS_; }

    // The enable box. On: timer on with the refresh time, one read at once, the main window's label
    // shown. Off: timer off, label hidden. Returns the read's result when switched on, else false.
    bool setEnabled(bool on);
    bool enabled() const { return enabled_; }

    // "Read Single Value". Refused (false) while a read is in progress.
    bool readOnce();
    // The timer fired: reads when the poll is on and no read is in progress (the window's event pump
    // runs during a read, and with it the timer).
    void tick();

    bool busy() const { return busy_; }
    bool timerEnabled() const { return enabled_; }
    int intervalMs() const { return intervalMs_; }
    const RingDisplay& display() const { return display_; }

private:
    void changed() {
        if (displayChanged) displayChanged();
    }

    Reader reader_;
    RingDisplay display_;
    bool enabled_ = false;
    bool busy_ = false;
    int refreshS_ = kDefaultRefreshS;
    int intervalMs_ = kIdleIntervalMs;
};

} // namespace korvo

#include "instruments/ring_current/ring_poll.h"

namespace korvo {

bool RingPoll::setRefreshSeconds(int seconds) {
    if (seconds < 1 || seconds > 86400) return false;
    refreshS_ = seconds;
    return true;
}

bool RingPoll::setEnabled(bool on) {
    enabled_ = on;
    display_.mainLabelVisible = on;
    if (!on) {
        changed();
        return false;
    }
    intervalMs_ = refreshS_ * 1000;
    changed();
    return readOnce();
}

bool RingPoll::readOnce() {
    if (busy_) return false;
    struct Busy {
        bool& flag;
        explicit Busy(bool& f) : flag(f) { flag = true; }
        ~Busy() { flag = false; }
    };
    bool found = false;
    {
        const Busy busy(busy_);
        display_.currentLabel = kRingReading;
        changed();
        found = reader_ && reader_(address, markers, display_);
        if (!found) display_.currentLabel = kRingNoData;
    }
    changed();
    return found;
}

void RingPoll::tick() {
    if (enabled_ && !busy_) readOnce();
}

} // namespace korvo

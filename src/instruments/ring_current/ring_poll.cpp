#include "instruments/ring_current/ring_poll.h"

namespace korvo {

RingPoll::RingPoll(RingFetchStarter start, Clock& clock, InstrumentValues& values)
    : start_(std::move(start)), clock_(clock), values_(values) {}

bool RingPoll::setRefreshSeconds(int seconds) {
    if (seconds < 1 || seconds > 86400) return false;
    refreshS_ = seconds;
    return true;
}

void RingPoll::setEnabled(bool on) {
    enabled_ = on;
    display_.mainLabelVisible = on;
    RingPollState& state = values_.ringPoll;
    state.polling = on;
    if (!on) {
        state.firstReadPending = false;
        changed();
        return;
    }
    intervalMs_ = refreshS_ * 1000;
    state.staleAfterMs = std::int64_t(intervalMs_) + kStaleMarginMs;
    // What an earlier poll found (or failed to find) says nothing until this one has read.
    state.failure.clear();
    state.firstReadPending = true;
    changed();
    // A read already under way (from "Read Single Value") counts as the first.
    if (!busy()) readOnce();
}

bool RingPoll::readOnce() {
    if (busy()) return false;
    display_.currentLabel = kRingReading;
    jobAddress_ = address;
    jobMarkers_ = markers;
    job_ = start_ ? start_(jobAddress_, jobMarkers_) : nullptr;
    if (!job_) {
        lastReport_ = {};
        lastReport_.error = "the HTTP transport could not be set up";
        display_.currentLabel = kRingNoData;
        values_.ringPoll.failure = lastReport_.error;
        values_.ringPoll.firstReadPending = false;
    }
    changed();
    return job_ != nullptr;
}

void RingPoll::tick() {
    if (enabled_ && !busy()) readOnce();
}

void RingPoll::step() {
    if (job_ && job_->step()) finished();
}

void RingPoll::finished() {
    lastReport_ = job_->report();
    job_.reset();
    RingPollState& state = values_.ringPoll;
    state.firstReadPending = false;
    if (lastReport_.current) {
        values_.RingCurrent = *lastReport_.current;
        state.readAtMs = clock_.nowMs();
        state.failure.clear();
        display_.currentLabel = formatRingCurrent(*lastReport_.current);
    } else {
        state.failure = whyNoRingValue(lastReport_, jobAddress_, jobMarkers_);
        display_.currentLabel = kRingNoData;
    }
    if (lastReport_.mainLabel) display_.mainLabel = *lastReport_.mainLabel;
    changed();
}

} // namespace korvo

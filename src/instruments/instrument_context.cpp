#include "instruments/instrument_context.h"

namespace korvo {

BeamInformation beamInformation(const InstrumentValues& v, std::int64_t nowMs) {
    using Kind = BeamInformation::Kind;
    const RingPollState& p = v.ringPoll;
    if (!p.polling) return {Kind::NotPolled, ""};
    if (p.firstReadPending) return {Kind::Awaited, ""};
    if (!p.failure.empty()) return {Kind::Unreadable, "the ring current could not be read: " + p.failure};
    if (p.readAtMs < 0) return {Kind::Unreadable, "the ring current has not been read"};
    const std::int64_t age = nowMs - p.readAtMs;
    if (age > p.staleAfterMs)
        return {Kind::Stale, "the last ring current was read " + std::to_string(age / 1000) + " s ago"};
    return {Kind::Current, ""};
}

void keepAlive(const InstrumentContext& ctx, std::int64_t ms) {
    const std::int64_t end = ctx.clock.nowMs() + ms;
    do {
        ctx.pump.pump();
        ctx.clock.sleepMs(10);
    } while (ctx.clock.nowMs() < end);
    ctx.pump.pump();
}

} // namespace korvo

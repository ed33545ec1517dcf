#include "instruments/instrument_context.h"

namespace korvo {

void keepAlive(const InstrumentContext& ctx, std::int64_t ms) {
    const std::int64_t end = ctx.clock.nowMs() + ms;
    do {
        ctx.pump.pump();
        ctx.clock.sleepMs(10);
    } while (ctx.clock.nowMs() < end);
    ctx.pump.pump();
}

} // namespace korvo

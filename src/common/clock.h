#pragma once
// Millisecond time base for every wait in the program. The desktop program and korvo-cli use the
// steady clock; tests and `--virtual-time` runs use a virtual clock that only moves when slept on,
// so a run of many minutes completes at once.
#include <cstdint>

namespace korvo {

class Clock {
public:
    virtual ~Clock() = default;
    // Monotonic milliseconds since an arbitrary origin.
    virtual std::int64_t nowMs() const = 0;
    // Monotonic microseconds since the same origin (finer waits of the analyser card).
    virtual std::int64_t nowUs() const = 0;
    virtual void sleepMs(std::int64_t ms) = 0;
    // Finer sleep of the card's status polls. On a virtual clock every sleep moves time on, so a
    // wait for a card that never answers ends at its limit instead of spinning at one instant.
    virtual void sleepUs(std::int64_t us) = 0;
};

class SteadyClock final : public Clock {
public:
    std::int64_t nowMs() const override;
    std::int64_t nowUs() const override;
    void sleepMs(std::int64_t ms) override;
    void sleepUs(std::int64_t us) override;
};

// Time moves only through the sleeps and advances; nothing ever blocks.
class VirtualClock final : public Clock {
public:
    std::int64_t nowMs() const override { return us_ / 1000; }
    std::int64_t nowUs() const override { return us_; }
    void sleepMs(std::int64_t ms) override { advanceMs(ms); }
    void sleepUs(std::int64_t us) override { advanceUs(us); }
    void advanceMs(std::int64_t ms) { us_ += ms > 0 ? ms * 1000 : 0; }
    void advanceUs(std::int64_t us) { us_ += us > 0 ? us : 0; }

private:
    std::int64_t us_ = 0;
};

} // namespace korvo

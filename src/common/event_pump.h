#pragma once
// The program is single-threaded: a run or an instrument exchange executes inside a user-interface
// handler and keeps the interface alive by calling pump() inside every wait. Other handlers that run
// during pump() only set flags or edit fields that the running loop re-reads.
#include <cstdint>
#include <functional>
#include <map>
#include <vector>

namespace korvo {

class EventPump {
public:
    virtual ~EventPump() = default;
    virtual void pump() = 0;
};

class NullPump final : public EventPump {
public:
    void pump() override {}
};

// Test pump: "Stop is pressed during scan 2" becomes one scripted action. Actions fire on the n-th
// call of pump() (1-based), or on every call while a condition holds, in the order they were added.
class ScriptedPump final : public EventPump {
public:
    void pump() override;
    // Runs `action` once, on the n-th call of pump().
    void onCall(std::int64_t n, std::function<void()> action);
    // Runs `action` once, on the first call of pump() for which `when` is true.
    void once(std::function<bool()> when, std::function<void()> action);
    // Runs `action` on every call of pump().
    void always(std::function<void()> action);
    std::int64_t calls() const { return calls_; }

private:
    struct Pending {
        std::function<bool()> when;
        std::function<void()> action;
    };
    std::int64_t calls_ = 0;
    std::multimap<std::int64_t, std::function<void()>> byCall_;
    std::vector<Pending> pending_;
    std::vector<std::function<void()>> always_;
};

} // namespace korvo

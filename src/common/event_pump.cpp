#include "common/event_pump.h"

namespace korvo {

void ScriptedPump::pump() {
    ++calls_;
    // Actions may add further actions; collect what fires first so that iterators stay valid.
    std::vector<std::function<void()>> due;
    for (auto it = byCall_.begin(); it != byCall_.end() && it->first <= calls_;) {
        due.push_back(std::move(it->second));
        it = byCall_.erase(it);
    }
    for (auto it = pending_.begin(); it != pending_.end();) {
        if (it->when()) {
            due.push_back(std::move(it->action));
            it = pending_.erase(it);
        } else {
            ++it;
        }
    }
    for (auto& action : due) action();
    auto everyCall = always_;
    for (auto& action : everyCall) action();
}

void ScriptedPump::onCall(std::int64_t n, std::function<void()> action) {
    byCall_.emplace(n, std::move(action));
}

void ScriptedPump::once(std::function<bool()> when, std::function<void()> action) {
    pending_.push_back({std::move(when), std::move(action)});
}

void ScriptedPump::always(std::function<void()> action) {
    always_.push_back(std::move(action));
}

} // namespace korvo

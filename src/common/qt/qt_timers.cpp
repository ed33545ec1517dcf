#include "common/qt/qt_timers.h"

#include <QTimer>
#include <algorithm>

namespace korvo {

QtTimers::~QtTimers() {
    for (auto& [id, t] : timers_) delete t;
}

Timers::Id QtTimers::start(std::int64_t periodMs, std::function<void()> tick) {
    auto* t = new QTimer;
    t->setInterval(int(std::clamp<std::int64_t>(periodMs, 1, 24LL * 3600 * 1000)));
    QObject::connect(t, &QTimer::timeout, std::move(tick));
    t->start();
    const Id id = nextId_++;
    timers_.emplace(id, t);
    return id;
}

void QtTimers::stop(Id id) {
    auto it = timers_.find(id);
    if (it == timers_.end()) return;
    it->second->stop();
    // Deleted later: the timer may be stopped from inside its own tick.
    it->second->deleteLater();
    timers_.erase(it);
}

} // namespace korvo

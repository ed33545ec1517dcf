#pragma once
// Timers of the desktop program: QTimers that fire inside the Qt event loop (and inside every wait
// that pumps it).
#include "common/timers.h"

#include <QObject>
#include <map>

class QTimer;

namespace korvo {

class QtTimers final : public Timers {
public:
    ~QtTimers() override;
    Id start(std::int64_t periodMs, std::function<void()> tick) override;
    void stop(Id id) override;

private:
    std::map<Id, QTimer*> timers_;
    Id nextId_ = 1;
};

} // namespace korvo

#pragma once
// The desktop program's event pump: waits of the logic code keep the windows alive through it.
#include "common/event_pump.h"

namespace korvo {

class QtEventPump final : public EventPump {
public:
    void pump() override;
};

} // namespace korvo

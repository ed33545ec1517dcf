#pragma once
// What every instrument link shares with the rest of the program: the clock, the event pump and the
// dialogs, and the results of instrument operations that the caller reads after an operation has
// returned (the links report no other way). One InstrumentValues exists per program run.
#include "common/clock.h"
#include "common/dialogs.h"
#include "common/event_pump.h"
#include "common/timers.h"
#include "instruments/status_panels.h"

#include <cstdint>

namespace korvo {

// Caption of every error box of the instrument links.
inline constexpr const char* kInstrumentCaption = "Korvo 02";

struct InstrumentValues {
    double RingCurrent = -1.0; // mA; kept when a reading fails
    double KeiValue = 0.0;     // last scaled electrometer reading; kept when a reading fails
    int MonoError = 0;         // 0 = success
    bool MonoQuiet = false;    // suppresses the monochromator link's own error boxes
    bool MonoStopRequest = false;
    std::uint8_t StopRequest = 0; // the run's abort flag; every instrument failure sets it
};

struct InstrumentContext {
    Clock& clock;
    EventPump& pump;
    Dialogs& dialogs;
    InstrumentValues& values;
    Timers& timers;       // the serial links poll their ports on these
    StatusPanels& status; // the main window's status bar
};

// Keeps the interface alive for `ms` milliseconds, the way the links' waits do: events are handled
// every 10 ms, and once more at the end.
void keepAlive(const InstrumentContext& ctx, std::int64_t ms);

} // namespace korvo

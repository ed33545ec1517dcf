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
#include <string>

namespace korvo {

// Caption of every error box of the instrument links.
inline constexpr const char* kInstrumentCaption = "Korvo 02";

// The ring-current poll as the run sees it besides the value: a measurement reads the last value
// and must know how much it still tells about the beam.
struct RingPollState {
    bool polling = false;          // the poll is on
    bool firstReadPending = false; // switched on, and its first read has not ended yet
    std::int64_t readAtMs = -1;    // when RingCurrent was last read, on the station's clock; -1: never
    std::int64_t staleAfterMs = 0; // a reading older than this tells nothing about the beam
    std::string failure;           // why the last read gave no value; empty after one that gave one
};

// What the ring current tells about the beam now.
struct BeamInformation {
    enum class Kind {
        NotPolled,  // the poll is off: nothing is known, nothing is claimed
        Awaited,    // the poll was switched on and its first read is under way
        Current,    // RingCurrent is a recent reading
        Stale,      // the last reading is older than the poll's bound
        Unreadable, // the last read gave no value
    };
    Kind kind = Kind::NotPolled;
    std::string why; // for Stale and Unreadable, in words
};

struct InstrumentValues {
    double RingCurrent = -1.0; // mA; kept when a reading fails
    RingPollState ringPoll;
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

BeamInformation beamInformation(const InstrumentValues& values, std::int64_t nowMs);

// Keeps the interface alive for `ms` milliseconds, the way the links' waits do: events are handled
// every 10 ms, and once more at the end.
void keepAlive(const InstrumentContext& ctx, std::int64_t ms);

} // namespace korvo

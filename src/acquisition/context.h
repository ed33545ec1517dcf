#pragma once
// What the acquisition reads from the option windows and the instrument side, in one object per
// program run: option values with their defaults before the windows that own them exist, the
// results of instrument operations, and the history of measurement starts.
#include "acquisition/channel_shift_table.h"
#include "acquisition/history_model.h"
#include "common/clock.h"
#include "common/dialogs.h"
#include "common/event_pump.h"
#include "common/run_log.h"
#include "instruments/instrument_context.h"

#include <array>
#include <cstdint>
#include <string>

namespace korvo {

// Option values owned by the options window.
struct AcquisitionOptions {
    bool testWithoutAnalyser = false;  // "Test (without Analysator)": no port is written, counts simulated
    bool testSwitchEnabled = true;     // cleared when no analyser card answered at start-up
    bool enableTests = false;          // "Enable all tests": offers "CRR", shows "Zufall"
    bool electrometerOverride = false; // "overide" of electrometer 1: every point reads electrometer 1
    bool ringCurrentOverwrite = false; // test mode only: channel 5 of every point becomes RingCurrent
    bool saveExtraPoints = false;      // [general] SaveExtrapoints
    bool saveRawData = false;          // [general] SaveRawData
    bool autoSave = false;             // [saving] autosave: each run's spectrum saved without the dialog
    bool saveNexus = false;            // [saving] nexus: a NeXus file beside each saved spectrum
    std::string switchPoint1 = "80";   // upper limit of the 81.92 eV range
    std::string switchPoint2 = "140";  // upper limit of the 163.84 eV range
    std::string switchPoint3 = "1600"; // upper limit of the 1638.4 eV range
    int lensIndex = -1;                // "Lens Mode 1".."Lens Mode 5"; -1: none chosen
    std::int32_t timeCorrection = 10;  // ms per point added in the time-left estimate
    std::string keiScale = "1E+04";    // electrometer scaling factor text
    bool addKeithley1 = false;         // "Add Keithley  &1" ticked
    bool addKeithley2 = false;         // "Add Keithley  &2" ticked
    // Beam-loss pause (off unless asked for): when the polled ring current is below the threshold
    // after a point, the run pauses as "Wait" does, measures that point again once the current has
    // stayed at or above the threshold for `beamRecoveryMs`, and goes on by itself.
    bool beamPause = false;
    double beamThresholdMa = 0;
    std::int64_t beamRecoveryMs = 60000;
};

// Channel values owned by the multichanneltron setup.
struct ChannelOptions {
    ChannelShiftTable shifts;
    std::array<bool, 9> enabled{true, true, true, true, true, true, true, true, true};
    // Scale only the live bars of the setup window's view, never a stored count; 1.0 at every start.
    std::array<double, 9> sensitivities{1, 1, 1, 1, 1, 1, 1, 1, 1};
    bool view = false; // hand every point's nine counts to the setup window's bar display
};

struct Rgb {
    std::uint8_t r, g, b;
};
// Index 0 grey, 1..9 the colours of channeltrons 1..9.
extern const std::array<Rgb, 10> kChannelColours;

// Window colours are kept as the numbers the program has always used: 0x00BBGGRR.
inline Rgb rgbFromColourNumber(std::uint32_t c) {
    return {static_cast<std::uint8_t>(c & 0xFF), static_cast<std::uint8_t>((c >> 8) & 0xFF),
            static_cast<std::uint8_t>((c >> 16) & 0xFF)};
}

struct AcquisitionContext {
private:
    // Without timers of their own (korvo-cli, tests) the context runs polled timers from its pump.
    PolledTimers ownTimers_;
    TimerPump ownPump_;

public:
    AcquisitionContext(Clock& c, EventPump& p, Dialogs& d)
        : ownTimers_(c), ownPump_(p, ownTimers_), clock(c), pump(ownPump_), dialogs(d), timers(ownTimers_) {}
    // The desktop program: Qt timers fire inside the Qt event loop that `p` runs.
    AcquisitionContext(Clock& c, EventPump& p, Dialogs& d, Timers& t)
        : ownTimers_(c), ownPump_(p, ownTimers_), clock(c), pump(p), dialogs(d), timers(t) {}
    AcquisitionContext(const AcquisitionContext&) = delete;
    AcquisitionContext& operator=(const AcquisitionContext&) = delete;

    Clock& clock;
    EventPump& pump;
    Dialogs& dialogs;
    Timers& timers;
    AcquisitionOptions options;
    ChannelOptions channels;
    InstrumentValues values;
    HistoryModel history;

    // What the instrument links share with the acquisition.
    // The main window's status bar, once it exists.
    void setStatusPanels(StatusPanels& panels) { status_ = &panels; }
    StatusPanels& statusPanels() { return *status_; }
    InstrumentContext instruments() { return {clock, pump, dialogs, values, timers, *status_}; }
    // Where runs, saves and script lines are logged (nowhere until a log is given).
    void setRunLog(RunLog& log) { runLog_ = &log; }
    RunLog& runLog() { return *runLog_; }

private:
    NullStatusPanels noStatus_;
    StatusPanels* status_ = &noStatus_;
    NullRunLog noLog_;
    RunLog* runLog_ = &noLog_;
};

} // namespace korvo

#pragma once
// A script run: each used line of the script table applied to the station and measured by the
// station's own run, one after another, each spectrum saved without a dialog under the proposed
// name. The script window and `korvo-cli script` drive the same ScriptRun; what only a window has
// (its mode switch, its controls, its Start button) comes in through the hooks.
//
// A line runs as "Start" does: the run's validation refuses a line with unreadable texts, and the
// script goes on with the next line; an instrument that falls silent ends that line's run as the run
// says, and the series goes on as well. A line whose photon, main-motor or stepper move failed is not
// measured at all: its spectrum would be saved with the line's energies and positions in the header
// while the instruments stand elsewhere. Each line leaves a record: how its run ended (or why it was
// not measured), the file it saved and what was reported while it ran.
#include "acquisition/run/run_engine.h"
#include "acquisition/script_table.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace korvo {

class Station;

struct ScriptLineRecord {
    int row = 0;
    RunEnd end = RunEnd::None;         // None: the line's run was never started
    std::string notMeasured;           // why not: the move that failed (empty: the run was started)
    std::string saved;                 // the spectrum file written at the line's end (empty: none)
    std::vector<std::string> messages; // the message boxes the line's run would have shown
};

struct ScriptHooks {
    // The mode switch of the main window (it reads the mode's settings into the fields). Without
    // it the station's mode is set alone.
    std::function<void(std::uint8_t mode)> switchMode;
    // The fields changed: the window shows them in its controls before Start reads them back.
    std::function<void()> showFields;
    // The pass-energy change handler; without it the station's settings derive the run's values.
    std::function<void()> passEnergyChanged;
    // The Start button; without it the station's run engine is started directly. Returns when the
    // line's measurement has ended: true, or false when no run was started (the script was stopped
    // while the line's instruments moved).
    std::function<bool()> pressStart;
    // A cell of column 0 (the line number, the time left, the saved file name) was written.
    std::function<void(int row)> column0Changed;
    // A message of the line being measured: while a script runs, message boxes are not shown (a
    // night's series must not wait for a click) but kept in the line's record and passed on here.
    std::function<void(int row, const std::string& text)> messageRecorded;
    // A line has ended (measured, refused or stopped); its record is complete.
    std::function<void(const ScriptLineRecord& record)> lineEnded;
};

class ScriptRun {
public:
    ScriptRun(Station& station, ScriptTable& table, ScriptHooks hooks = {});

    // "Start Script !": runs rows 1 .. lastUsedRow(); returns when the script has ended (after the
    // last used line, or after the line during which stop() was called). Nothing runs without a
    // used line.
    void run();
    // "Stop Script !": the line being measured runs to its end, then the script ends.
    void stop() { stopRequested_ = true; }

    bool running() const { return running_; }
    int currentRow() const { return currentRow_; }
    const std::vector<ScriptLineRecord>& records() const { return records_; }

    // A line's settings put into the station (mode, fields, pass energy, photon and motor moves),
    // without starting its measurement. Returns why the line cannot be measured: the first move that
    // did not get where the line asks (the moves after it are not made); empty when all went well.
    std::string applyLine(int row);

private:
    void runLine(int row);
    // Presses Start for the line and keeps what its run measured.
    void measureLine(ScriptLineRecord& record);
    void recordMessage(const std::string& text);

    Station& station_;
    ScriptTable& table_;
    ScriptHooks hooks_;
    bool running_ = false;
    bool stopRequested_ = false;
    int currentRow_ = 0;
    std::vector<ScriptLineRecord> records_;
    std::vector<std::string> lineMessages_;
};

// The pass-energy list item a script cell selects: its exact text among the list's items, -1 for
// other texts (which leave the selection as it is).
int scriptPassEnergyIndex(const std::string& text);

// How a line's record and the window's table begin the reason a line was not measured.
inline constexpr const char* kNotMeasuredText = "Not measured: ";

} // namespace korvo

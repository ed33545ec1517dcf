#pragma once
// What the verbs that measure share (`korvo-cli measure`, `korvo-cli script`): their options, the
// settings file read as at program start, the instruments connected as the options window would,
// dialogs that print, the pump that turns Ctrl+C into Stop and the display that prints progress.
#include "acquisition/beamline.h"
#include "acquisition/run/run_display.h"
#include "acquisition/run/run_engine.h"
#include "acquisition/station.h"
#include "acquisition/station_start.h"
#include "common/clock.h"
#include "common/dialogs.h"
#include "common/printing_dialogs.h"
#include "common/event_pump.h"
#include "common/run_log.h"

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <iostream>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace CLI {
class App;
}

namespace korvo {

// Set by Ctrl+C (SIGINT) or SIGTERM while a measuring verb runs (see InterruptGuard).
extern std::atomic<bool> gInterrupted;
// While it lives, SIGINT and SIGTERM set gInterrupted instead of ending the program: the run stops
// as Stop stops it and what it measured is saved. The previous handlers come back with its end.
struct InterruptGuard {
    InterruptGuard();
    ~InterruptGuard();
    InterruptGuard(const InterruptGuard&) = delete;
    InterruptGuard& operator=(const InterruptGuard&) = delete;
    // Whether a signal came. An interrupted verb saves what it has and exits with status 2, as a
    // failed one does: it never ends with 0.
    bool interrupted() const { return gInterrupted; }

private:
    void (*previousInt_)(int);
    void (*previousTerm_)(int);
};

struct MeasureOptions {
    std::string mode = "clam";
    std::string kind = "CAE";
    std::optional<std::string> start, ramp, end, points, step, scans, pass, time, photon, gateUnits, sample,
        comment, channels;
    std::optional<int> saveRaw, saveExtra;
    std::string card = "sim";
    std::string simModel;
    std::uint64_t seed = 1;
    std::string ini;
    std::string out;
    bool virtualTime = false;
    bool quiet = false;
    double duration = 0;
    // Instruments on serial devices (a real port or a korvo-sim pseudo-terminal).
    std::string mono, drive, keithley1, keithley2;
    // The ring current and the beam-loss pause.
    std::string ringUrl;
    int ringEvery = 30;
    std::optional<double> pauseBelow;
    double pauseRecover = 60;
    std::string addKeithley;    // "1", "2" or "12": the "Add Keithley" menu items
    std::optional<int> timeout; // seconds every instrument exchange may wait (the pages' time-outs)
    std::optional<double> monoSpeed; // nm/s the monochromator drives at its slowest (bounds a move)
    bool usesInstruments() const {
        return !mono.empty() || !drive.empty() || !keithley1.empty() || !keithley2.empty() ||
               !ringUrl.empty();
    }
};

// The serial devices and the ring current named by the options.
InstrumentPorts instrumentPorts(const MeasureOptions& o);

// Ctrl+C and --duration become Stop, as the button would be pressed between two points.
class CliPump final : public EventPump {
public:
    // Beyond 1E15 s (some 30 million years) a duration is as good as none; the bound keeps the
    // milliseconds inside 64 bits.
    CliPump(Clock& clock, double durationS)
        : clock_(clock), durationMs_(std::int64_t(std::min(durationS, 1e15) * 1000)) {}
    RunEngine* engine = nullptr;
    InstrumentValues* values = nullptr;
    std::int64_t startMs = 0;
    // Whether the run was ended from here (Ctrl+C, --duration) rather than by a failure.
    bool stopRequested = false;
    void pump() override {
        // A monochromator move under way ends at its next status reply, as "Stop Monoc." ends it,
        // also when a script line moves it before its run has started.
        if (gInterrupted && values) values->MonoStopRequest = true;
        if (!engine || !engine->running()) return;
        if (gInterrupted || (durationMs_ > 0 && clock_.nowMs() - startMs >= durationMs_)) {
            stopRequested = true;
            engine->requestStop();
            if (values) values->MonoStopRequest = true;
        }
    }

private:
    Clock& clock_;
    std::int64_t durationMs_;
};

class CliDisplay final : public RunDisplay {
public:
    CliDisplay(bool quiet, Clock& wall) : quiet_(quiet), wall_(wall) {}
    void runStarted() override {}
    std::int64_t pointsDrawn = 0;
    void drawPoint(std::size_t) override { ++pointsDrawn; }
    void redraw() override {}
    void measurementsLabel(const std::string& text) override {
        if (quiet_) return;
        // The scan number leads the label: print a new scan at once, otherwise twice a second.
        const std::string scan = text.substr(0, text.find("    "));
        const std::int64_t now = wall_.nowMs();
        if (scan != lastScan_ || now - lastMs_ >= 500) {
            std::cerr << text << "\n";
            lastScan_ = scan;
            lastMs_ = now;
        }
    }
    void progress(const ProgressStrip&) override {}
    void controlsChanged(const RunControls&) override {}
    void fieldsChanged() override {}
    void rangeText(const std::string& text) override {
        // The range is shown by the start checks and again when the run programs the analyser.
        if (quiet_ || text == lastRange_) return;
        std::cerr << text << "\n";
        lastRange_ = text;
    }
    void extraPoints(std::int64_t count) override {
        if (!quiet_) std::cerr << count << " Extra Points\n";
    }
    void channelList(const std::vector<std::string>&) override {}
    void chartPoint(std::int64_t n, double counts) override {
        std::cout << n << " " << std::int64_t(counts) << "\n" << std::flush;
    }

private:
    bool quiet_;
    Clock& wall_;
    std::string lastRange_;
    std::string lastScan_;
    std::int64_t lastMs_ = -1000000;
};


std::uint8_t modeOf(const std::string& m);
int kindOf(const std::string& k);

// The general keys as at program start; the parameters from the section of the station's mode. The
// file is never written. 0, or 2 after a message.
int readSettingsFile(const std::string& path, Station& station);

// Connects the instruments named on the command line, as the options window's "Connect COM" (and the
// monochromator's and drive's "Open_con") would. False after a message when one cannot be reached.
bool connectInstruments(const MeasureOptions& o, Beamline& b, Station& station);

// A station for a measuring verb, built from the options as the desktop program builds its own:
// clock (virtual with --virtual-time), pump, printing dialogs, card back end, settings file, the
// card's start, instruments and the printing display. Closing leaves a connected monochromator
// ready for the next program, as "Close_con" would.
class CliStation {
public:
    // `out`: the file the save dialog answers with (empty: the proposed name in SaveDir).
    CliStation(const MeasureOptions& o, const std::string& out);
    ~CliStation();
    CliStation(const CliStation&) = delete;
    CliStation& operator=(const CliStation&) = delete;

    // Builds the station; `applyFields` puts the verb's own options over the settings file before
    // the card starts. 0 when ready, else the exit status after a message on stderr.
    int prepare(const std::function<int(Station&)>& applyFields);
    Station& station() { return *station_; }

    SteadyClock steady;
    VirtualClock virtualClock;
    Clock& clock;
    CliPump pump;
    PrintingDialogs dialogs;
    AcquisitionContext ctx;
    CliDisplay display;

private:
    const MeasureOptions& o_;
    std::unique_ptr<PortIo> port_;
    std::optional<Station> station_;
    ComPortPaths paths_;
    std::optional<Beamline> beamline_;
    NullInstrumentDisplay instruments_;
    std::optional<FileRunLog> log_;
};

// The options that build the station and its instruments (card, model, seed, settings file, virtual
// time, quiet, serial devices, ring current, time-out), shared by the measuring verbs.
void addStationOptions(CLI::App& verb, MeasureOptions& o);

} // namespace korvo

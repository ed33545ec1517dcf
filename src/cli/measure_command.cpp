#include "cli/measure_command.h"

#include "acquisition/analyser_io/port_backend.h"
#include "acquisition/beamline.h"
#include "acquisition/station.h"
#include "common/clock.h"
#include "common/dialogs.h"
#include "common/event_pump.h"
#include "common/ini_file.h"
#include "instruments/serial/terminal_transport.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <iostream>
#include <memory>
#include <sstream>

namespace korvo {
namespace {

std::atomic<bool> gInterrupted{false};

extern "C" void onInterrupt(int) {
    gInterrupted = true;
}

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
    bool usesInstruments() const {
        return !mono.empty() || !drive.empty() || !keithley1.empty() || !keithley2.empty() ||
               !ringUrl.empty();
    }
};

std::string lineBreaks(std::string t) {
    for (char& c : t)
        if (c == '\r') c = '\n';
    return t;
}

// Messages to stderr, word for word; questions take their default answer, the save dialog the
// --out file or the proposed name.
class PrintingDialogs final : public Dialogs {
public:
    explicit PrintingDialogs(std::string out) : out_(std::move(out)) {}
    int shown = 0;
    void message(const std::string& caption, const std::string& text, DialogIcon) override {
        ++shown;
        std::cerr << (caption.empty() ? "" : caption + ": ") << lineBreaks(text) << "\n";
    }
    DialogAnswer ask(const std::string& caption, const std::string& text, DialogIcon,
                     DialogButtons buttons) override {
        const DialogAnswer a = buttons == DialogButtons::YesNo || buttons == DialogButtons::YesNoCancel
                                   ? DialogAnswer::Yes
                                   : DialogAnswer::Ok;
        std::cerr << (caption.empty() ? "" : caption + ": ") << lineBreaks(text) << " -> "
                  << (a == DialogAnswer::Yes ? "Yes" : "OK") << "\n";
        return a;
    }
    std::optional<std::string> chooseOpenFile(const std::string&, const std::string&,
                                              const std::string&) override {
        return std::nullopt;
    }
    std::optional<std::string> chooseSaveFile(const std::string&, const std::string& dir,
                                              const std::string& proposed, const std::string&) override {
        if (!out_.empty()) return out_;
        return dir.empty() ? proposed : (std::filesystem::path(dir) / proposed).string();
    }

private:
    std::string out_;
};

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
        if (!engine || !engine->running()) return;
        if (gInterrupted || (durationMs_ > 0 && clock_.nowMs() - startMs >= durationMs_)) {
            stopRequested = true;
            engine->requestStop();
            // A monochromator move under way ends at its next status reply, as "Stop Monoc." ends it.
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

std::uint8_t modeOf(const std::string& m) {
    if (m == "off") return ModeOff;
    if (m == "cfs") return ModeCfs;
    if (m == "cis") return ModeCis;
    if (m == "keithley") return ModeKeithley;
    return ModeClam;
}

int kindOf(const std::string& k) {
    if (k == "c(t)") return 0;
    if (k == "CRR") return 2;
    return 1; // "CAE", and "KEI" in the Keithley mode
}

// The general keys as at program start; the parameters from the section of --mode, not of the
// machine the desktop program last ran. The file is never written.
int readSettingsFile(const std::string& path, Station& station) {
    IniFile ini(path);
    std::string err;
    std::error_code ec;
    // A missing file would read as an empty one and the run would go on with defaults.
    if (!std::filesystem::exists(path, ec)) {
        std::cerr << "Cannot read " << path << ": the file does not exist\n";
        return 2;
    }
    if (!ini.load(&err)) {
        std::cerr << "Cannot read " << path << ": " << err << "\n";
        return 2;
    }
    SettingsStore& store = station.settings.store;
    const std::uint8_t mode = station.state.MachineMode;
    station.settings.read(ini, "", true);
    station.state.MachineMode = mode;
    if (settingsSectionFor(mode) != store.machine)
        station.settings.read(ini, settingsSectionFor(mode), false, false);
    checkSaveDir(store.saveDir, store.startDir);
    station.ctx.channels.shifts.load(ini);
    return 0;
}

// The options of the command line, over what the settings file gave.
int applyOptions(const MeasureOptions& o, Station& station) {
    MeasurementFields& fields = station.fields;
    AcquisitionOptions& options = station.ctx.options;
    fields.kindOfMeasure = kindOf(o.kind);
    if (o.start) fields.start = *o.start;
    if (o.ramp) fields.second = *o.ramp, fields.rampView = true;
    if (o.end) fields.second = *o.end, fields.rampView = false;
    if (o.points) fields.third = *o.points, fields.pointsView = true;
    if (o.step) fields.third = *o.step, fields.pointsView = false;
    if (o.scans) fields.scans = *o.scans;
    if (o.pass) {
        fields.passEnergyText = *o.pass;
        fields.passEnergyIndex = passEnergyIndexOf(*o.pass);
    } else if (fields.passEnergyText.empty()) {
        // The low-energy set suits the default energies; above 200 eV full scale pass --pass 10 etc.
        fields.passEnergyText = "10.0";
        fields.passEnergyIndex = passEnergyIndexOf("10.0");
    }
    if (o.time) fields.timePerPoint = *o.time;
    if (o.photon) fields.photon = *o.photon;
    if (o.gateUnits) fields.gateUnits = *o.gateUnits;
    if (o.sample) fields.sample = *o.sample;
    if (o.comment) fields.comment = *o.comment;
    if (o.saveRaw) options.saveRawData = *o.saveRaw != 0;
    if (o.saveExtra) options.saveExtraPoints = *o.saveExtra != 0;
    if (o.channels) {
        if (o.channels->size() != 9 || o.channels->find_first_not_of("01") != std::string::npos) {
            std::cerr << "--channels needs nine digits 0 or 1, one per channeltron (e.g. 111111111)\n";
            return 2;
        }
        for (int c = 0; c < 9; ++c) station.ctx.channels.enabled[c] = (*o.channels)[c] == '1';
    }
    options.testWithoutAnalyser = o.card == "test";
    if (o.addKeithley.find_first_not_of("12") != std::string::npos) {
        std::cerr << "--add-keithley needs 1, 2 or 12\n";
        return 2;
    }
    options.addKeithley1 = o.addKeithley.find('1') != std::string::npos;
    options.addKeithley2 = o.addKeithley.find('2') != std::string::npos;
    return 0;
}

// Saves what a stopped run measured (Ctrl+C and --duration stop as the Stop button does) and says
// how the command ended.
int finish(const MeasureOptions& o, Station& station, const CliPump& pump, const CliDisplay& display) {
    const RunEnd end = station.engine.lastEnd();
    if (end == RunEnd::Refused) return 2;
    const Measurement& m = station.measurement;
    const bool stopped = end == RunEnd::Stopped || end == RunEnd::StoppedAfterScan;
    // An instrument failure ends the run as Stop would, but the command has failed. What was
    // measured before it is kept; a run that failed before its first point leaves no file.
    const bool failed = stopped && !pump.stopRequested;
    if (m.kindOfMeasure != 0 && stopped) {
        if (failed && display.pointsDrawn == 0 && m.state.ScanNumber <= 1) {
            std::cerr << "The measurement failed before its first point; nothing was saved.\n";
            return 2;
        }
        station.engine.saveClicked();
    }
    const MeasurementSaver& saver = station.saver;
    if (m.kindOfMeasure != 0 && end != RunEnd::None && saver.lastSaveOutcome() != SaveOutcome::Written) {
        // The scans measured so far are still in the recovery copy.
        const auto recovery = std::filesystem::path(station.settings.store.startDir) / kRecoveryFileName;
        std::error_code ec;
        if (std::filesystem::is_regular_file(recovery, ec))
            std::cerr << "The scans completed so far are kept in " << recovery.string() << "\n";
        return 2;
    }
    if (!saver.lastWritten().empty() && !o.quiet) std::cerr << "Saved " << saver.lastWritten() << "\n";
    return failed ? 2 : 0;
}

// Connects the instruments named on the command line, as the options window's "Connect COM" (and the
// monochromator's and drive's "Open_con") would. False after a message when one cannot be reached.
bool connectInstruments(const MeasureOptions& o, Beamline& b, Station& station) {
    if (o.timeout) {
        const std::string s = std::to_string(*o.timeout);
        b.monochromator.page().timeout_max_1 = b.monochromator.page().timeout_norm_1 = s;
        b.motorDrive.page().timeout = s;
        b.electrometer1.page().timeout = b.electrometer2.page().timeout = s;
    }
    auto connect = [](const std::string& device, TCommPortDriver& driver, const char* what,
                      const std::function<bool()>& connectCom) {
        if (device.empty()) return true;
        driver.setDevicePath(device);
        if (connectCom()) return true;
        std::cerr << "Cannot connect the " << what << " on " << device << ": " << driver.lastError() << "\n";
        return false;
    };
    if (!connect(o.mono, b.monochromator.CommPortDriver_1(), "monochromator",
                 [&] { return b.monochromator.connectCom(); }) ||
        !connect(o.drive, b.motorDrive.CommPortDriver_2(), "motor drive",
                 [&] { return b.motorDrive.connectCom(); }) ||
        !connect(o.keithley1, b.electrometer1.driver(), "electrometer 1",
                 [&] { return b.electrometer1.connectCom(); }) ||
        !connect(o.keithley2, b.electrometer2.driver(), "electrometer 2",
                 [&] { return b.electrometer2.connectCom(); }))
        return false;
    InstrumentValues& v = station.ctx.values;
    if (!o.mono.empty()) {
        // A controller left open by an earlier program is closed and opened again, quietly.
        v.MonoQuiet = true;
        b.monochromator.MonoOpen();
        if (v.MonoError == 2) {
            b.monochromator.MonoClose();
            b.monochromator.MonoOpen();
        }
        v.MonoQuiet = false;
        if (v.MonoError != 0) {
            std::cerr << "The monochromator on " << o.mono << " did not open its connection.\n";
            return false;
        }
    }
    if (!o.drive.empty()) b.motorDrive.DriveOpen();
    if (!o.ringUrl.empty()) {
        b.ring.address = o.ringUrl;
        b.ring.setRefreshSeconds(o.ringEvery);
        b.ring.setEnabled(true);
        station.ctx.timers.start(b.ring.intervalMs(), [&b] { b.ring.tick(); });
    }
    // What went wrong was said already; the run starts afresh.
    v.StopRequest = 0;
    return true;
}

int runMeasure(const MeasureOptions& o) {
    if (o.virtualTime && o.usesInstruments()) {
        std::cerr << "--virtual-time cannot be used with instruments: they answer in real time.\n";
        return 2;
    }
    if (o.pauseBelow && o.ringUrl.empty()) {
        std::cerr << "--pause-below needs --ring-url: the pause follows the polled ring current.\n";
        return 2;
    }
    SteadyClock steady;
    VirtualClock virtualClock;
    Clock& clock = o.virtualTime ? static_cast<Clock&>(virtualClock) : steady;
    CliPump pump(clock, o.duration);
    // On the command line a relative path means the working directory, not the save directory.
    std::string out;
    if (!o.out.empty()) {
        std::error_code ec;
        out = std::filesystem::absolute(o.out, ec).string();
        if (ec) out = o.out;
    }
    PrintingDialogs dialogs(out);
    AcquisitionContext ctx(clock, pump, dialogs);

    PortBackendOptions backend;
    backend.seed = o.seed;
    backend.spectrumFile = o.simModel;
    std::string err;
    std::unique_ptr<PortIo> port = makePortBackend(o.card, clock, &err, backend);
    if (!port) {
        std::cerr << err << "\n";
        return 2;
    }
    Station station(ctx, *port);
    station.state.MachineMode = modeOf(o.mode);
    // The options window ticks "Save Raw Data" by design; an INI file may untick it.
    ctx.options.saveRawData = true;
    SettingsStore& store = station.settings.store;
    store.startDir = store.saveDir = std::filesystem::current_path().string();
    if (!o.ini.empty())
        if (int status = readSettingsFile(o.ini, station)) return status;
    if (int status = applyOptions(o, station)) return status;
    // A card that does not answer would count nothing but noise; the desktop program falls back to
    // its test mode, a batch run says so and stops.
    if (!ctx.options.testWithoutAnalyser && !station.startCard()) {
        std::cerr << "No analyser card answers (--card " << o.card
                  << "); use --card test to measure without one.\n";
        return 2;
    }
    if (o.pauseBelow) {
        ctx.options.beamPause = true;
        ctx.options.beamThresholdMa = *o.pauseBelow;
        ctx.options.beamRecoveryMs = std::int64_t(o.pauseRecover * 1000);
    }
    ComPortPaths paths;
    std::optional<Beamline> beamline;
    if (o.usesInstruments()) {
        beamline.emplace(
            station, *port, [] { return std::make_unique<TerminalTransport>(); }, paths);
        if (!connectInstruments(o, *beamline, station)) return 2;
    }
    CliDisplay display(o.quiet, steady);
    NullInstrumentDisplay instruments;
    station.setDisplays(display, instruments);
    station.engine.beamLossNotice = [&o](const std::string& why) {
        if (!o.quiet) std::cerr << why << "\n";
    };
    pump.engine = &station.engine;
    pump.values = &ctx.values;
    pump.startMs = clock.nowMs();

    gInterrupted = false;
    auto previous = std::signal(SIGINT, onInterrupt);
    station.engine.startClicked();
    std::signal(SIGINT, previous);
    const int status = finish(o, station, pump, display);
    // As the user would press "Close_con": the controller is left ready for the next program.
    if (beamline && beamline->monochromator.connected()) {
        ctx.values.MonoQuiet = true;
        beamline->monochromator.MonoClose();
    }
    return status;
}

} // namespace

void addMeasureCommand(CLI::App& app, int& exitStatus) {
    auto o = std::make_shared<MeasureOptions>();
    CLI::App* m = app.add_subcommand("measure", "Run one measurement and save the spectrum");
    m->add_option("--mode", o->mode, "Machine mode")
        ->check(CLI::IsMember({"off", "clam", "cfs", "cis", "keithley"}))
        ->capture_default_str();
    m->add_option("--kind", o->kind, "Kind of measurement")
        ->check(CLI::IsMember({"c(t)", "CAE", "CRR", "KEI"}))
        ->capture_default_str();
    m->add_option("--start", o->start, "Start energy (eV); fixed analyser energy in the CFS mode");
    auto* ramp = m->add_option("--ramp", o->ramp, "Ramp (eV)");
    m->add_option("--end", o->end, "End energy (eV)")->excludes(ramp);
    auto* points = m->add_option("--points", o->points, "Points per scan");
    m->add_option("--step", o->step, "Step (eV)")->excludes(points);
    m->add_option("--scans", o->scans, "Number of scans");
    m->add_option("--pass", o->pass, "Pass energy, a text of the pass-energy list (\"10.0\", \"20\", ...)");
    m->add_option("--time", o->time, "Time per point (ms)");
    m->add_option("--photon", o->photon, "Photon energy (eV)");
    m->add_option("--gate-units", o->gateUnits, "Counter gate in units of 10 ms");
    m->add_option("--sample", o->sample, "Sample text");
    m->add_option("--comment", o->comment, "Comment text");
    m->add_option("--channels", o->channels, "Nine digits 0/1: channeltrons 1..9 enabled");
    m->add_option("--save-raw", o->saveRaw, "Write the nine channel columns")->check(CLI::Range(0, 1));
    m->add_option("--save-extra", o->saveExtra, "Write the extra points")->check(CLI::Range(0, 1));
    m->add_option("--card", o->card, "Analyser back end")
        ->check(CLI::IsMember({"test", "sim", "port"}))
        ->capture_default_str();
    m->add_option("--sim-model", o->simModel, "Two-column spectrum seen by the simulated card");
    m->add_option("--seed", o->seed, "Noise seed of the simulated card")->capture_default_str();
    m->add_option("--ini", o->ini, "Settings file to start from");
    m->add_option("--out", o->out, "Spectrum file to write (default: the proposed name in SaveDir)");
    m->add_flag("--virtual-time", o->virtualTime, "Run on a virtual clock: a long run completes at once");
    m->add_flag("--quiet", o->quiet, "No progress on stderr");
    m->add_option("--mono", o->mono, "Monochromator on this serial device (CFS, CIS, Keithley modes)");
    m->add_option("--drive", o->drive, "Main-motor drive on this serial device");
    m->add_option("--keithley1", o->keithley1,
                  "Electrometer 1 on this serial device (Keithley mode, Add Keithley)");
    m->add_option("--keithley2", o->keithley2, "Electrometer 2 on this serial device");
    m->add_option("--ring-url", o->ringUrl, "Poll the ring current from this status page during the run");
    m->add_option("--ring-every", o->ringEvery, "Seconds between ring-current readings")
        ->check(CLI::Range(1, 86400))
        ->capture_default_str();
    m->add_option("--pause-below", o->pauseBelow, "Pause while the ring current is below this many mA")
        ->check(CLI::NonNegativeNumber);
    m->add_option("--pause-recover", o->pauseRecover,
                  "Seconds the current must be back before the run goes on")
        ->check(CLI::Range(0.0, 86400.0))
        ->capture_default_str();
    m->add_option("--timeout", o->timeout,
                  "Seconds an instrument may take to answer (default: each link's own)")
        ->check(CLI::Range(1, 3600));
    m->add_option("--add-keithley", o->addKeithley, "Store electrometer 1, 2 or both (12) beside the counts");
    m->add_option("--duration", o->duration, "c(t): stop after this many seconds")
        ->check(CLI::Validator(
            [](std::string& s) -> std::string {
                double v = 0;
                std::istringstream in(s);
                in >> v;
                return in && in.eof() && std::isfinite(v) && v >= 0 ? ""
                                                                    : "needs a number of seconds, 0 or more";
            },
            "SECONDS"));
    m->callback([o, &exitStatus] { exitStatus = runMeasure(*o); });
}

} // namespace korvo

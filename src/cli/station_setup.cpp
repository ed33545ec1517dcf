#include "cli/station_setup.h"

#include "cli/number_options.h"

#include "acquisition/analyser_io/port_backend.h"
#include "common/ini_file.h"
#include "common/number_text.h"
#include "common/platform_info.h"
#include "instruments/serial/terminal_transport.h"

#include <CLI/CLI.hpp>

#include <csignal>

namespace korvo {

std::atomic<bool> gInterrupted{false};

namespace {

extern "C" void onInterrupt(int) {
    gInterrupted = true;
}

} // namespace

InterruptGuard::InterruptGuard() {
    gInterrupted = false;
    previousInt_ = std::signal(SIGINT, onInterrupt);
    previousTerm_ = std::signal(SIGTERM, onInterrupt);
}

InterruptGuard::~InterruptGuard() {
    std::signal(SIGINT, previousInt_);
    std::signal(SIGTERM, previousTerm_);
}

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

int readSettingsFile(const std::string& path, Station& station) {
    const std::string why = readStationSettings(path, station);
    if (why.empty()) return 0;
    std::cerr << why << "\n";
    return 2;
}

InstrumentPorts instrumentPorts(const MeasureOptions& o) {
    InstrumentPorts p;
    p.mono = o.mono;
    p.drive = o.drive;
    p.keithley1 = o.keithley1;
    p.keithley2 = o.keithley2;
    p.ringUrl = o.ringUrl;
    p.ringEvery = o.ringEvery;
    p.timeout = o.timeout;
    p.monoSpeed = o.monoSpeed;
    return p;
}

bool connectInstruments(const MeasureOptions& o, Beamline& b, Station& station) {
    const std::string why = connectInstruments(instrumentPorts(o), b, station);
    if (!why.empty()) std::cerr << why << "\n";
    return why.empty();
}

CliStation::CliStation(const MeasureOptions& o, const std::string& out)
    : clock(o.virtualTime ? static_cast<Clock&>(virtualClock) : steady), pump(clock, o.duration), dialogs(out),
      ctx(clock, pump, dialogs), display(o.quiet, steady), o_(o) {}

CliStation::~CliStation() {
    if (beamline_) closeInstruments(*beamline_, *station_);
}

int CliStation::prepare(const std::function<int(Station&)>& applyFields) {
    const MeasureOptions& o = o_;
    if (o.virtualTime && o.usesInstruments()) {
        std::cerr << "--virtual-time cannot be used with instruments: they answer in real time.\n";
        return 2;
    }
    if (o.pauseBelow && o.ringUrl.empty()) {
        std::cerr << "--pause-below needs --ring-url: the pause follows the polled ring current.\n";
        return 2;
    }
    PortBackendOptions backend;
    backend.seed = o.seed;
    backend.spectrumFile = o.simModel;
    std::string err;
    port_ = makePortBackend(o.card, clock, &err, backend);
    if (!port_) {
        std::cerr << err << "\n";
        return 2;
    }
    station_.emplace(ctx, *port_);
    Station& station = *station_;
    // The run log of the settings in use, as the desktop program keeps it.
    log_.emplace(runLogPath(o.ini.empty() ? iniFilePath() : o.ini), "korvo-cli",
                 [](const std::string& why) { std::cerr << why << "\n"; });
    ctx.setRunLog(*log_);
    station.state.MachineMode = modeOf(o.mode);
    // The options window ticks "Save Raw Data" by design; an INI file may untick it.
    ctx.options.saveRawData = true;
    SettingsStore& store = station.settings.store;
    store.startDir = store.saveDir = std::filesystem::current_path().string();
    if (!o.ini.empty())
        if (int status = readSettingsFile(o.ini, station)) return status;
    if (applyFields)
        if (int status = applyFields(station)) return status;
    // The verbs save as they always have (measure: --out or the proposed name; script: each line),
    // whatever the desktop program's autosave switch says.
    ctx.options.autoSave = false;
    ctx.options.testWithoutAnalyser = o.card == "test";
    // A card that does not answer would count nothing but noise; the desktop program falls back to
    // its test mode, a batch run says so and stops.
    if (!ctx.options.testWithoutAnalyser && !station.startCard()) {
        std::cerr << "No analyser card answers (--card " << o.card << "); use --card test to measure without one.\n";
        return 2;
    }
    if (o.pauseBelow) {
        ctx.options.beamPause = true;
        ctx.options.beamThresholdMa = *o.pauseBelow;
        ctx.options.beamRecoveryMs = std::int64_t(o.pauseRecover * 1000);
    }
    if (o.usesInstruments()) {
        beamline_.emplace(
            station, *port_, [] { return std::make_unique<TerminalTransport>(); }, paths_);
        if (!connectInstruments(o, *beamline_, station)) return 2;
    }
    station.setDisplays(display, instruments_);
    // Not progress but the state of the measurement: a run that waits for the beam, or goes on without
    // knowing about it, says so even with --quiet.
    station.engine.beamLossNotice = [](const std::string& why) { std::cerr << why << "\n"; };
    station.engine.beamInformationNotice = station.engine.beamLossNotice;
    pump.engine = &station.engine;
    pump.values = &ctx.values;
    pump.startMs = clock.nowMs();
    return 0;
}

void addStationOptions(CLI::App& verb, MeasureOptions& o) {
    verb.add_option("--card", o.card, "Analyser back end")
        ->check(CLI::IsMember({"test", "sim", "port"}))
        ->capture_default_str();
    verb.add_option("--sim-model", o.simModel, "Two-column spectrum seen by the simulated card");
    verb.add_option("--seed", o.seed, "Noise seed of the simulated card")
        ->transform(decimalInteger())
        ->capture_default_str();
    verb.add_option("--ini", o.ini, "Settings file to start from");
    verb.add_flag("--virtual-time", o.virtualTime, "Run on a virtual clock: a long run completes at once");
    verb.add_flag("--quiet", o.quiet, "No progress on stderr");
    verb.add_option("--mono", o.mono, "Monochromator on this serial device (CFS, CIS, Keithley modes)");
    verb.add_option("--drive", o.drive, "Main-motor drive on this serial device");
    verb.add_option("--keithley1", o.keithley1,
                  "Electrometer 1 on this serial device (Keithley mode, Add Keithley)");
    verb.add_option("--keithley2", o.keithley2, "Electrometer 2 on this serial device");
    verb.add_option("--ring-url", o.ringUrl, "Poll the ring current from this status page during the run");
    verb.add_option("--ring-every", o.ringEvery, "Seconds between ring-current readings")
        ->transform(decimalInteger())
        ->check(CLI::Range(1, 86400))
        ->capture_default_str();
    verb.add_option("--pause-below", o.pauseBelow, "Pause while the ring current is below this many mA")
        ->check(CLI::NonNegativeNumber);
    verb.add_option("--pause-recover", o.pauseRecover,
                  "Seconds the current must be back before the run goes on")
        ->check(CLI::Range(0.0, 86400.0))
        ->capture_default_str();
    verb.add_option("--timeout", o.timeout,
                  "Seconds an instrument may take to answer (default: each link's own)")
        ->transform(decimalInteger())
        ->check(CLI::Range(1, 3600));
    verb.add_option("--mono-speed", o.monoSpeed,
                    "nm/s the monochromator drives at its slowest (default 0.1): a move may take twice "
                    "what its distance needs at this speed plus two time-outs")
        ->check(CLI::PositiveNumber);
}

} // namespace korvo

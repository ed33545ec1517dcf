#include "tango/headless_station.h"

#include "acquisition/analyser_io/port_backend.h"
#include "common/platform_info.h"
#include "common/printing_dialogs.h"
#include "instruments/serial/terminal_transport.h"

#include <cctype>
#include <chrono>
#include <filesystem>
#include <iostream>

namespace korvo {

namespace {

// The clock is chosen with the station and cannot change under it.
constexpr const char* kNoInstrumentsInVirtualTime =
    "VirtualTime cannot be used with instruments: they answer in real time.";

std::optional<std::uint8_t> modeNamed(std::string m) {
    for (char& c : m) c = char(std::toupper(static_cast<unsigned char>(c)));
    if (m == "CLAM") return ModeClam;
    if (m == "CFS") return ModeCfs;
    if (m == "CIS") return ModeCis;
    if (m == "KEITHLEY") return ModeKeithley;
    return std::nullopt;
}

} // namespace

// Nobody sits at a server: a message is printed, a question takes its default; a spectrum is saved
// without the save dialog while a client drives the station.
HeadlessStation::HeadlessStation() : dialogs_(std::make_unique<PrintingDialogs>(std::string())) {}

HeadlessStation::~HeadlessStation() {
    remote_.reset();
    if (beamline_) closeInstruments(*beamline_, *station_);
}

void HeadlessStation::Pump::pump() {
    h_.bridge.serve();
    if (h_.stopping_ && h_.remote_ && !h_.closed_) {
        h_.closed_ = true;
        h_.remote_->close([](RemoteAnswer) {});
    }
}

RemoteStation* HeadlessStation::open(const TangoProperties& p, std::string* error) {
    // One station per server: a second device of the same server is refused rather than sharing it.
    if (attached_) {
        *error = "This server already serves its station through another device.";
        return nullptr;
    }
    if (remote_) {
        attached_ = true;
        return &*remote_;
    }
    // A station that could not be built is not built again over the remains of the first try.
    if (!failure_.empty()) {
        *error = failure_;
        return nullptr;
    }
    if (RemoteStation* r = build(p, error)) return r;
    failure_ = *error;
    return nullptr;
}

RemoteStation* HeadlessStation::build(const TangoProperties& p, std::string* error) {
    const auto mode = modeNamed(p.mode);
    if (!mode) {
        *error = "Mode property \"" + p.mode + "\": one of CLAM, CFS, CIS or KEITHLEY";
        return nullptr;
    }
    if (p.virtualTime && p.ports.any()) {
        *error = kNoInstrumentsInVirtualTime;
        return nullptr;
    }
    clock_ = p.virtualTime ? static_cast<Clock&>(virtual_) : static_cast<Clock&>(steady_);
    ctx_.emplace(clock_->get(), pump_, *dialogs_);
    PortBackendOptions backend;
    backend.seed = p.seed;
    backend.spectrumFile = p.simModel;
    port_ = makePortBackend(p.card, clock_->get(), error, backend);
    if (!port_) return nullptr;
    station_.emplace(*ctx_, *port_);
    Station& station = *station_;
    log_.emplace(runLogPath(p.iniFile.empty() ? iniFilePath() : p.iniFile), "korvo-tango",
                 [](const std::string& why) { std::cerr << why << "\n"; });
    ctx_->setRunLog(*log_);
    station.state.MachineMode = *mode;
    ctx_->options.saveRawData = true;
    SettingsStore& store = station.settings.store;
    store.startDir = store.saveDir = std::filesystem::current_path().string();
    if (!p.iniFile.empty())
        if (std::string why = readStationSettings(p.iniFile, station); !why.empty()) {
            *error = why;
            return nullptr;
        }
    // A client's run saves under its file name or the next proposal, whatever autosave says.
    ctx_->options.autoSave = false;
    ctx_->options.testWithoutAnalyser = p.card == "test";
    if (!ctx_->options.testWithoutAnalyser && !station.startCard()) {
        *error = "No analyser card answers (Card " + p.card + ").";
        return nullptr;
    }
    // An instrument that does not answer leaves the device in FAULT saying which, not without a
    // station: Init tries its link again.
    std::string linkFault;
    if (p.ports.any()) {
        linkFault = connectInstruments(p.ports, beamline(station), station);
        if (!linkFault.empty()) std::cerr << linkFault << "\n";
    }
    station.setDisplays(display_, instruments_);
    RemoteHost host;
    host.messageShown = [](const std::string& text) { std::cerr << text << "\n"; };
    remote_.emplace(station, display_, host);
    remote_->linksReopened(linkFault);
    attached_ = true;
    return &*remote_;
}

std::string HeadlessStation::reopenLinks(const TangoProperties& p) {
    if (!station_) return failure_;
    Station& station = *station_;
    if (beamline_) disconnectInstruments(*beamline_, station);
    if (!p.ports.any()) return {};
    // The clock is the one the station was built with.
    if (&clock_->get() == &virtual_) return kNoInstrumentsInVirtualTime;
    return connectInstruments(p.ports, beamline(station), station);
}

Beamline& HeadlessStation::beamline(Station& station) {
    if (!beamline_)
        beamline_.emplace(
            station, *port_, [] { return std::make_unique<TerminalTransport>(); }, paths_);
    return *beamline_;
}

void HeadlessStation::serve() {
    using namespace std::chrono_literals;
    bridge.bindToThisThread();
    while (!stopping_) {
        bridge.waitForWork(100ms);
        bridge.serve();
    }
    // A run still going on (its Start's job pumps here) was stopped in the pump; none is now.
    if (remote_) remote_->close([](RemoteAnswer) {});
    bridge.close("Korvo is shutting down.");
}

void HeadlessStation::stop() {
    stopping_ = true;
}

} // namespace korvo

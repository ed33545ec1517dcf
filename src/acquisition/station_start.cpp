#include "acquisition/station_start.h"

#include "common/ini_file.h"
#include "common/number_text.h"

#include <filesystem>

namespace korvo {

// The parameters from the section of the station's mode, not of the machine the desktop program
// last ran.
std::string readStationSettings(const std::string& path, Station& station) {
    IniFile ini(path);
    std::string err;
    std::error_code ec;
    // A missing file would read as an empty one and the run would go on with defaults.
    if (!std::filesystem::exists(path, ec)) return "Cannot read " + path + ": the file does not exist";
    if (!ini.load(&err)) return "Cannot read " + path + ": " + err;
    SettingsStore& store = station.settings.store;
    const std::uint8_t mode = station.state.MachineMode;
    station.settings.read(ini, "", true);
    station.state.MachineMode = mode;
    if (settingsSectionFor(mode) != store.machine)
        station.settings.read(ini, settingsSectionFor(mode), false, false);
    checkSaveDir(store.saveDir, store.startDir);
    station.ctx.channels.shifts.load(ini);
    return {};
}

std::string connectInstruments(const InstrumentPorts& o, Beamline& b, Station& station) {
    if (o.timeout) {
        const std::string s = std::to_string(*o.timeout);
        b.monochromator.page().timeout_max_1 = b.monochromator.page().timeout_norm_1 = s;
        b.motorDrive.page().timeout = s;
        b.electrometer1.page().timeout = b.electrometer2.page().timeout = s;
    }
    if (o.monoSpeed) b.monochromator.page().moveSpeed = text::plainNumber(*o.monoSpeed);
    std::string why;
    auto connect = [&why](const std::string& device, TCommPortDriver& driver, const char* what,
                          const std::function<bool()>& connectCom) {
        if (device.empty()) return true;
        driver.setDevicePath(device);
        if (connectCom()) return true;
        why = std::string("Cannot connect the ") + what + " on " + device + ": " + driver.lastError();
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
        return why;
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
        if (v.MonoError != 0) return "The monochromator on " + o.mono + " did not open its connection.";
    }
    if (!o.drive.empty()) b.motorDrive.DriveOpen();
    if (!o.ringUrl.empty()) {
        b.ring.address = o.ringUrl;
        b.ring.setRefreshSeconds(o.ringEvery);
        b.ring.setEnabled(true);
        // The run's waits pump the timers: the page is read beside the measurement, never in its way.
        b.ringTimers.push_back(station.ctx.timers.start(b.ring.intervalMs(), [&b] { b.ring.tick(); }));
        b.ringTimers.push_back(station.ctx.timers.start(RingPoll::kStepMs, [&b] { b.ring.step(); }));
    }
    // What went wrong was said already; the run starts afresh.
    v.StopRequest = 0;
    return {};
}

void closeInstruments(Beamline& b, Station& station) {
    if (!b.monochromator.connected()) return;
    station.ctx.values.MonoQuiet = true;
    b.monochromator.MonoClose();
}

void disconnectInstruments(Beamline& b, Station& station) {
    // No "CLO" first: the instrument on the line may be another by now, or silent, and would be
    // waited for in vain; the open that follows copes with a controller left open.
    if (b.monochromator.connected()) b.monochromator.disconnectCom();
    if (b.motorDrive.CommPortDriver_2().Connected()) b.motorDrive.disconnectCom();
    if (b.electrometer1.driver().Connected()) b.electrometer1.disconnectCom();
    if (b.electrometer2.driver().Connected()) b.electrometer2.disconnectCom();
    for (Timers::Id id : b.ringTimers) station.ctx.timers.stop(id);
    b.ringTimers.clear();
    b.ring.setEnabled(false);
}

} // namespace korvo

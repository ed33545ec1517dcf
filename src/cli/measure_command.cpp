#include "cli/measure_command.h"
#include "cli/number_options.h"
#include "cli/output_guard.h"
#include "cli/station_setup.h"

#include "acquisition/analyser_io/analyser_io.h"
#include "acquisition/beamline.h"
#include "acquisition/measurement_settings.h"
#include "acquisition/station.h"
#include "common/clock.h"
#include "common/dialogs.h"
#include "common/event_pump.h"
#include "common/ini_file.h"
#include "common/number_text.h"
#include "files/spectrum_info.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <iostream>
#include <memory>
#include <sstream>

namespace korvo {
namespace {

// The item of the pass-energy list that --pass means. A user types a number: "10" is the item "10"
// of the high set and "10.0" of the low one, and the start checks refuse a run whose item is of the
// other set than its energy range. So a value equal to an item of the set that the start and ramp
// fields call for is that item; otherwise the text is taken as typed, for the checks to judge.
std::string passEnergyItem(const std::string& text, const MeasurementFields& fields, std::uint8_t mode,
                           const AcquisitionOptions& options) {
    const auto value = text::parseDouble(text);
    if (!value) return text;
    std::optional<bool> highSet; // unknown without a range, and the Keithley mode has none
    const auto start = text::parseDouble(fields.start);
    const auto ramp = rampOfFields(fields, mode);
    if (mode != ModeKeithley && start && ramp)
        if (const auto range = energyRangeFor(*start + *ramp, options)) highSet = range->fullScale >= 200;
    std::optional<std::string> equal;
    for (int i = 0; i < 17; ++i) {
        const std::string item = kPassEnergyItems[i];
        const bool high = i >= 10;
        if ((i > 6 && i < 10) || text::parseDouble(item).value != value.value) continue;
        if (highSet ? high == *highSet : item == text) return item;
        if (!equal) equal = item;
    }
    return passEnergyIndexOf(text) >= 0 ? text : equal.value_or(text);
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
        fields.passEnergyText = passEnergyItem(*o.pass, fields, station.state.MachineMode, options);
        fields.passEnergyIndex = passEnergyIndexOf(fields.passEnergyText);
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

int runMeasure(const MeasureOptions& o) {
    // On the command line a relative path means the working directory, not the save directory.
    std::string out;
    if (!o.out.empty()) {
        std::error_code ec;
        out = std::filesystem::absolute(o.out, ec).string();
        if (ec) out = o.out;
        if (const std::string why = CommandInputs({o.ini, o.simModel}).refusal(out); !why.empty()) {
            std::cerr << escapeForTerminal(why) << "; nothing was measured.\n";
            return 2;
        }
    }
    CliStation cli(o, out);
    if (int status = cli.prepare([&o](Station& station) { return applyOptions(o, station); })) return status;
    Station& station = cli.station();
    {
        InterruptGuard interrupt;
        station.engine.startClicked();
    }
    return finish(o, station, cli.pump, cli.display);
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
    m->add_option(
        "--pass", o->pass,
        "Pass energy: a text of the pass-energy list (\"10.0\", \"20\", ...) or a value equal to one, "
        "which is the item of the scan's energy range");
    m->add_option("--time", o->time, "Time per point (ms)");
    m->add_option("--photon", o->photon, "Photon energy (eV)");
    m->add_option("--gate-units", o->gateUnits, "Counter gate in units of 10 ms");
    m->add_option("--sample", o->sample, "Sample text");
    m->add_option("--comment", o->comment, "Comment text");
    m->add_option("--channels", o->channels, "Nine digits 0/1: channeltrons 1..9 enabled");
    m->add_option("--save-raw", o->saveRaw, "Write the nine channel columns")
        ->transform(decimalInteger())
        ->check(CLI::Range(0, 1));
    m->add_option("--save-extra", o->saveExtra, "Write the extra points")
        ->transform(decimalInteger())
        ->check(CLI::Range(0, 1));
    m->add_option("--out", o->out, "Spectrum file to write (default: the proposed name in SaveDir)");
    addStationOptions(*m, *o);
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

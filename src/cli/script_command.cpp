#include "cli/script_command.h"

#include "acquisition/script_run.h"
#include "cli/station_setup.h"

#include <CLI/CLI.hpp>

#include <filesystem>
#include <iostream>
#include <memory>
#include <utility>

namespace korvo {
namespace {

std::string endText(RunEnd end) {
    switch (end) {
    case RunEnd::Normal: return "measured";
    case RunEnd::Stopped: return "stopped";
    case RunEnd::StoppedAfterScan: return "stopped after a scan";
    case RunEnd::Refused: return "refused";
    case RunEnd::None: break;
    }
    return "not run";
}

// A message as the summary line shows it: on one line, and cut after kEchoedChars characters with
// the number of those left out, since a message may quote a cell and a cell may hold a whole file.
std::string summaryText(const std::string& message) {
    constexpr std::size_t kEchoedChars = 200;
    std::string oneLine = message.substr(0, kEchoedChars);
    for (char& c : oneLine)
        if (c == '\n' || c == '\r') c = ' ';
    if (message.size() > kEchoedChars)
        oneLine += "... (" + std::to_string(message.size() - kEchoedChars) + " more characters)";
    return oneLine;
}

// One line per script line on stdout: its number, how its run ended (or that it was not measured),
// the saved file and what was reported while it ran.
void printRecord(const ScriptLineRecord& r) {
    std::cout << "Line " << r.row << ": " << (r.notMeasured.empty() ? endText(r.end) : "not measured");
    if (!r.saved.empty()) std::cout << ", saved " << r.saved;
    for (const std::string& m : r.messages) std::cout << " | " << summaryText(m);
    std::cout << "\n" << std::flush;
}

int runScript(const MeasureOptions& o, const std::string& file) {
    ScriptTable table;
    std::string message;
    if (!loadScriptFile(file, table, &message)) {
        std::cerr << message << "\n";
        return 2;
    }
    if (table.lastUsedRow() == 0) {
        std::cerr << "The script " << file << " holds no line to measure.\n";
        return 2;
    }
    CliStation cli(o, "");
    if (int status = cli.prepare([](Station& station) {
            // The fields a line leaves unchanged start from the settings file or the defaults.
            if (station.fields.passEnergyText.empty()) {
                station.fields.passEnergyText = "10.0";
                station.fields.passEnergyIndex = passEnergyIndexOf("10.0");
            }
            return 0;
        }))
        return status;
    Station& station = cli.station();
    ScriptRun* running = nullptr;
    ScriptHooks hooks;
    // The messages of a line go to stderr as they come, and into its summary line.
    hooks.messageRecorded = [](int row, const std::string& text) {
        std::cerr << "Line " << row << ": " << lineBreaks(text) << "\n";
    };
    // Ctrl+C or SIGTERM stops the line being measured (as Stop does) and ends the script after it.
    hooks.pressStart = [&] {
        if (gInterrupted) {
            running->stop();
            return false;
        }
        station.engine.startClicked();
        if (gInterrupted) running->stop();
        return true;
    };
    // Each summary line as soon as its line has ended: a series killed in the night leaves the record
    // of the lines before.
    hooks.lineEnded = [&](const ScriptLineRecord& r) {
        printRecord(r);
        if (gInterrupted) running->stop();
    };
    ScriptRun run(station, table, hooks);
    running = &run;
    bool interrupted = false;
    {
        InterruptGuard interrupt;
        run.run();
        interrupted = interrupt.interrupted();
    }
    std::string notMeasured;
    for (const ScriptLineRecord& r : run.records())
        if (r.end != RunEnd::Normal || r.saved.empty())
            notMeasured += (notMeasured.empty() ? "" : ", ") + std::to_string(r.row);
    if (!notMeasured.empty()) std::cerr << "Lines not measured in full: " << notMeasured << ".\n";
    if (int(run.records().size()) < table.lastUsedRow())
        std::cerr << "The script was stopped after line " << run.records().size() << ".\n";
    if (interrupted) std::cerr << "The script was interrupted.\n";
    const bool allDone = notMeasured.empty() && int(run.records().size()) == table.lastUsedRow();
    return allDone && !interrupted ? 0 : 2;
}

} // namespace

void addScriptCommand(CLI::App& app, int& exitStatus) {
    auto o = std::make_shared<MeasureOptions>();
    auto file = std::make_shared<std::string>();
    CLI::App* s = app.add_subcommand("script", "Run a script table: one measurement per line, each saved");
    s->add_option("FILE", *file, "Script file: one line per measurement, 11 tab-separated cells")->required();
    addStationOptions(*s, *o);
    s->callback([o, file, &exitStatus] { exitStatus = runScript(*o, *file); });
}

} // namespace korvo

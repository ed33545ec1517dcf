#include "acquisition/script_run.h"

#include "acquisition/measurement_settings.h"
#include "acquisition/station.h"
#include "common/number_text.h"

#include <utility>

namespace korvo {

namespace {

bool readsAsNumber(const std::string& text) {
    return bool(text::parseDouble(text));
}

// A cell as a reason quotes it: a cell can hold anything, up to a whole file.
std::string quoted(const std::string& cell) {
    constexpr std::size_t kShown = 40;
    return cell.size() <= kShown ? cell : cell.substr(0, kShown) + "...";
}

void logScriptEnd(RunLog& log, const std::vector<ScriptLineRecord>& records, int lines) {
    int saved = 0;
    for (const ScriptLineRecord& r : records) saved += r.end == RunEnd::Normal && !r.saved.empty();
    log.record("script", "end: " + std::to_string(records.size()) + " of " + std::to_string(lines) +
                             " lines run, " + std::to_string(saved) + " measured to the end and saved");
}

} // namespace

int scriptPassEnergyIndex(const std::string& text) {
    // The list's items by their text; its separators and its empty item are none.
    const int index = passEnergyIndexOf(text);
    return index >= 0 && !text.empty() && text.find_first_not_of('-') != std::string::npos ? index : -1;
}

ScriptRun::ScriptRun(Station& station, ScriptTable& table, ScriptHooks hooks)
    : station_(station), table_(table), hooks_(std::move(hooks)) {}

std::string ScriptRun::applyLine(int row) {
    using T = ScriptTable;
    MeasurementFields& f = station_.fields;
    const auto sets = [&](int column) { return scriptCellSets(table_.cell(row, column)); };
    const auto text = [&](int column) { return table_.cell(row, column); };

    // The machine: each test is made, so a text naming several modes ends in the last one.
    if (sets(T::Machine)) {
        const std::string& m = text(T::Machine);
        const auto switchTo = [&](std::uint8_t mode) {
            if (hooks_.switchMode)
                hooks_.switchMode(mode);
            else
                station_.state.MachineMode = mode;
        };
        if (m == "CLAM") switchTo(ModeClam);
        if (m.find("CFS") != std::string::npos) switchTo(ModeCfs);
        if (m.find("CIS") != std::string::npos) switchTo(ModeCis);
        if (m.find("KEI") != std::string::npos) switchTo(ModeKeithley);
        // The switch reads the mode's stored settings, the kind of measurement too; a script line
        // always measures "CAE" ("KEI" in the Keithley mode): a "c(t)" line would never end.
        f.kindOfMeasure = 1;
    }
    if (sets(T::Start)) f.start = text(T::Start);
    if (sets(T::Ramp)) f.second = text(T::Ramp);
    if (sets(T::Points)) f.third = text(T::Points);
    if (sets(T::Scans)) f.scans = text(T::Scans);
    if (sets(T::Time)) f.timePerPoint = text(T::Time);
    if (sets(T::Pass)) {
        const int index = scriptPassEnergyIndex(text(T::Pass));
        if (index >= 0) {
            f.passEnergyIndex = index;
            f.passEnergyText = kPassEnergyItems[index];
        }
    }
    if (hooks_.showFields) hooks_.showFields();
    if (sets(T::Pass)) {
        if (hooks_.passEnergyChanged)
            hooks_.passEnergyChanged();
        else
            station_.settings.passEnergyChanged();
    }
    // Moves only for cells that read as numbers; other texts are ignored. The first move that does
    // not get there ends the line: the instruments stand somewhere the line does not say.
    InstrumentDevices& d = station_.devices;
    if (readsAsNumber(text(T::Photon))) {
        const std::string before = f.photon;
        f.photon = text(T::Photon);
        if (hooks_.showFields) hooks_.showFields();
        const PhotonOutcome moved = station_.photonEnergyCommand();
        // The field never shows an energy the monochromator did not reach: after a failure it shows
        // the last position read back, or what it showed before when none was ever read.
        if (moved == PhotonOutcome::Failed && !d.monochromator->positionRead()) f.photon = before;
        if (hooks_.showFields) hooks_.showFields();
        if (moved != PhotonOutcome::Reached)
            return "the monochromator did not reach " + quoted(text(T::Photon)) + " eV";
    }
    if (readsAsNumber(text(T::MainMotor)) && !d.motorDrive->DriveAutoMove(text(T::MainMotor)))
        return "the main motor did not reach " + quoted(text(T::MainMotor)) + " degrees";
    if (readsAsNumber(text(T::Manipulator)) && !d.steppers->MoveAxisA(text(T::Manipulator)))
        return "the manipulator did not reach " + quoted(text(T::Manipulator)) + " degrees";
    if (readsAsNumber(text(T::Sample)) && !d.steppers->MoveAxisB(text(T::Sample)))
        return "the sample did not reach " + quoted(text(T::Sample)) + " degrees";
    return {};
}

void ScriptRun::recordMessage(const std::string& text) {
    lineMessages_.push_back(text);
    if (hooks_.messageRecorded) hooks_.messageRecorded(currentRow_, text);
}

void ScriptRun::runLine(int row) {
    lineMessages_.clear();
    ScriptLineRecord record;
    record.row = row;
    station_.ctx.pump.pump();
    currentRow_ = row;
    record.notMeasured = applyLine(row);
    if (!record.notMeasured.empty()) {
        // Start would clear the abort flag the failed move left and measure wherever the
        // instruments happen to stand.
        recordMessage(kNotMeasuredText + record.notMeasured + ".");
    } else {
        measureLine(record);
    }
    record.messages = std::exchange(lineMessages_, {});
    records_.push_back(std::move(record));
    if (hooks_.lineEnded) hooks_.lineEnded(records_.back());
    station_.ctx.pump.pump();
}

void ScriptRun::measureLine(ScriptLineRecord& record) {
    const std::string before = station_.saver.lastWritten();
    if (!hooks_.pressStart) {
        station_.engine.startClicked();
    } else if (!hooks_.pressStart()) {
        record.notMeasured = "the script was stopped before its run";
        recordMessage(kNotMeasuredText + record.notMeasured + ".");
        return;
    }
    record.end = station_.engine.lastEnd();
    // A line that Stop or a failing instrument ended keeps what it measured: the next line's run
    // would replace it. It is saved as a finished line is, under the proposed name.
    const bool stopped = record.end == RunEnd::Stopped || record.end == RunEnd::StoppedAfterScan;
    const bool measured = station_.engine.pointsMeasured() > 0 || station_.measurement.state.ScanNumber > 1;
    if (stopped && measured && station_.measurement.kindOfMeasure != 0 && station_.saver.lastWritten() == before)
        station_.engine.saveClicked();
    if (station_.saver.lastWritten() != before) record.saved = station_.saver.lastWritten();
}

void ScriptRun::run() {
    if (running_) return;
    const int last = table_.lastUsedRow();
    table_.numberRows(last);
    for (int r = 1; r <= last; ++r)
        if (hooks_.column0Changed) hooks_.column0Changed(r);
    records_.clear();
    stopRequested_ = false;
    running_ = true;
    station_.ctx.runLog().record("script", "start: " + std::to_string(last) + " lines");
    // Every line measures the "CAE" kind, with the ramp and the points in the fields.
    MeasurementFields& f = station_.fields;
    f.kindOfMeasure = 1;
    if (!f.rampView) station_.settings.toggleRamp();
    if (!f.pointsView) station_.settings.togglePoints();
    if (hooks_.showFields) hooks_.showFields();

    Dialogs& dialogs = station_.ctx.dialogs;
    auto shownBefore = std::exchange(dialogs.divert, [this](const std::string&, const std::string& text) { recordMessage(text); });
    MeasurementSaver& saver = station_.saver;
    saver.scriptRunning = true;
    saver.scriptColumn0 = [this](const std::string& text) {
        table_.setCell(currentRow_, ScriptTable::FileName, text);
        if (hooks_.column0Changed) hooks_.column0Changed(currentRow_);
    };
    for (int row = 1; row <= last; ++row) {
        runLine(row);
        if (stopRequested_) break;
    }
    saver.scriptRunning = false;
    saver.scriptColumn0 = nullptr;
    dialogs.divert = std::move(shownBefore);
    logScriptEnd(station_.ctx.runLog(), records_, last);
    running_ = false;
    currentRow_ = 0;
}

} // namespace korvo

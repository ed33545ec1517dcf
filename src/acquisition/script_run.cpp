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

void ScriptRun::applyLine(int row) {
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
    // Moves only for cells that read as numbers; other texts are ignored.
    if (readsAsNumber(text(T::Photon))) {
        f.photon = text(T::Photon);
        if (hooks_.showFields) hooks_.showFields();
        station_.photonEnergyCommand();
    }
    if (readsAsNumber(text(T::MainMotor))) station_.devices.motorDrive->DriveAutoMove(text(T::MainMotor));
    if (readsAsNumber(text(T::Manipulator))) station_.devices.steppers->MoveAxisA(text(T::Manipulator));
    if (readsAsNumber(text(T::Sample))) station_.devices.steppers->MoveAxisB(text(T::Sample));
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
    applyLine(row);
    const std::string before = station_.saver.lastWritten();
    if (hooks_.pressStart)
        hooks_.pressStart();
    else
        station_.engine.startClicked();
    record.end = station_.engine.lastEnd();
    // A line that Stop or a failing instrument ended keeps what it measured: the next line's run
    // would replace it. It is saved as a finished line is, under the proposed name.
    const bool stopped = record.end == RunEnd::Stopped || record.end == RunEnd::StoppedAfterScan;
    const bool measured = station_.engine.pointsMeasured() > 0 || station_.measurement.state.ScanNumber > 1;
    if (stopped && measured && station_.measurement.kindOfMeasure != 0 && station_.saver.lastWritten() == before)
        station_.engine.saveClicked();
    if (station_.saver.lastWritten() != before) record.saved = station_.saver.lastWritten();
    record.messages = std::exchange(lineMessages_, {});
    records_.push_back(std::move(record));
    if (hooks_.lineEnded) hooks_.lineEnded(records_.back());
    station_.ctx.pump.pump();
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

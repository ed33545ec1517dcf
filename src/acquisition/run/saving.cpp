#include "acquisition/run/saving.h"

#include "acquisition/history_model.h"
#include "acquisition/measurement_settings.h"
#include "common/number_text.h"
#include "files/spectrum_format.h"
#include "files/nexus_file.h"
#include "files/spectrum_table.h"
#include "files/spectrum_writer.h"
#include "common/file_util.h"

#include <algorithm>
#include <cctype>
#include <ctime>
#include <filesystem>
#include <system_error>

namespace fs = std::filesystem;

namespace korvo {

std::string fileNamePrefix(std::uint8_t machineMode) {
    switch (machineMode) {
    case ModeClam:
        return "c_";
    case ModeCfs:
        return "f_";
    case ModeCis:
        return "i_";
    case ModeKeithley:
        return "k_";
    default:
        return "";
    }
}

std::string kindText(std::uint8_t machineMode, int kindOfMeasure) {
    if (kindOfMeasure > 0 && machineMode == ModeKeithley) return "KEI";
    return HistoryModel::kindName(std::clamp(kindOfMeasure, 0, 2));
}

// The number after the "." of a file name: every digit of the extension. Names whose extension is
// not a number take no part in the count.
static std::optional<std::int64_t> extensionNumber(const std::string& name, std::size_t dot) {
    std::string digits = name.substr(dot + 1);
    if (digits.empty() || digits.size() > 9) return std::nullopt;
    for (char c : digits)
        if (!std::isdigit(static_cast<unsigned char>(c))) return std::nullopt;
    return std::stoll(digits);
}

static std::string twoDigits(int v) {
    v = ((v % 100) + 100) % 100;
    return std::string(1, char('0' + v / 10)) + char('0' + v % 10);
}

std::string proposeFileName(std::uint8_t machineMode, std::string& storedLastName, const std::string& saveDir,
                            const CalendarDate& today) {
    if (storedLastName.size() != 12) storedLastName = kDefaultLastFileName;
    const std::string dateDigits = twoDigits(today.year) + twoDigits(today.month) + twoDigits(today.day);
    const std::string base = fileNamePrefix(machineMode) + dateDigits;

    const std::string storedStem = storedLastName.substr(0, 9); // up to and including the "."
    const auto storedNumber = extensionNumber(storedLastName, 8);

    std::int64_t counter = 0;
    std::error_code ec;
    const fs::path dir = saveDir.empty() ? fs::path(".") : fs::path(saveDir);
    for (fs::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec)) {
        const std::string name = it->path().filename().string();
        if (name.size() <= base.size() || name.compare(0, base.size(), base) != 0 || name[base.size()] != '.')
            continue;
        auto n = extensionNumber(name, base.size());
        if (!n) continue;
        // A name one character longer than the stored one's stem cannot equal it; compare the stems.
        if (name.compare(0, base.size() + 1, storedStem) == 0 && storedNumber)
            n = std::max(*n, *storedNumber);
        if (counter <= *n) counter = *n + 1;
    }

    // The stored name's characters 3..8 are its yymmdd.
    if (storedLastName.compare(2, 6, dateDigits) == 0 && storedNumber && *storedNumber > counter)
        counter = *storedNumber + 1;

    std::string number = std::to_string(counter);
    if (number.size() < 3) number.insert(0, 3 - number.size(), '0');
    return base + "." + number;
}

void MeasurementSaver::proposeNext() {
    CalendarDate d;
    if (today) {
        d = today();
    } else {
        const std::time_t now = std::time(nullptr);
        std::tm tm{};
        localtime_r(&now, &tm);
        d.year = tm.tm_year + 1900;
        d.month = tm.tm_mon + 1;
        d.day = tm.tm_mday;
    }
    proposedName = proposeFileName(measurement_.state.MachineMode, store_.lastFileName, store_.saveDir, d);
}

static std::string joinPath(const std::string& dir, const std::string& name) {
    if (dir.empty()) return name;
    return (fs::path(dir) / name).string();
}

std::int32_t measuredPoints(const Measurement& m) {
    if (m.data.empty()) return 0;
    const RunState& s = m.state;
    if (!m.partialScanRecords) return s.Points;
    const auto done = std::int64_t(*m.partialScanRecords) - s.MaxPositiveShift;
    return std::int32_t(std::clamp<std::int64_t>(done, 0, s.Points));
}

SaveOutcome MeasurementSaver::save() {
    lastSaveOutcome_ = unattended && !scriptRunning ? unattendedSave() : saveSpectrum();
    return lastSaveOutcome_;
}

SaveOutcome MeasurementSaver::saveAs(const std::string& path) {
    lastSaveOutcome_ = writeChosen(path);
    return lastSaveOutcome_;
}

SaveOutcome MeasurementSaver::saveAtEnd() {
    if (!ctx_.options.autoSave || scriptRunning) return save();
    lastSaveOutcome_ = autoSave();
    return lastSaveOutcome_;
}

SaveOutcome MeasurementSaver::autoSave() {
    // Nobody may be there to answer a question: the proposed name, or the next one when it is taken.
    std::error_code ec;
    if (proposedName.empty() || fs::symlink_status(joinPath(store_.saveDir, proposedName), ec).type() !=
                                    fs::file_type::not_found)
        proposeNext();
    fields_.fileName = proposedName;
    return write(joinPath(store_.saveDir, proposedName), store_.saveDir, proposedName, Kind::Auto);
}

SaveOutcome MeasurementSaver::unattendedSave() {
    // The field may hold what someone typed; only a plain name stays in SaveDir.
    const std::string& typed = fields_.fileName;
    const bool plain = !typed.empty() && typed != "." && typed != ".." && typed.find('/') == std::string::npos;
    std::string name = plain ? typed : proposedName;
    std::error_code ec;
    if (name.empty() ||
        fs::symlink_status(joinPath(store_.saveDir, name), ec).type() != fs::file_type::not_found) {
        proposeNext();
        name = proposedName;
    }
    const SaveOutcome out = write(joinPath(store_.saveDir, name), store_.saveDir, name, Kind::Remote);
    if (out == SaveOutcome::Written) fields_.fileName = name;
    return out;
}

SaveOutcome MeasurementSaver::writeChosen(const std::string& chosen) {
    fs::path p(chosen);
    if (p.is_relative() && !store_.saveDir.empty()) p = fs::path(store_.saveDir) / p;
    const std::string dir = p.parent_path().string();
    const std::string name = p.filename().string();
    const SaveOutcome out = write(p.string(), dir, name, Kind::Chosen);
    if (out == SaveOutcome::Written) {
        store_.saveDir = dir;
        fields_.fileName = name;
    }
    return out;
}

SaveOutcome MeasurementSaver::saveSpectrum() {
    if (fields_.fileName != proposedName) {
        proposedName = fields_.fileName;
        std::error_code ec;
        if (!proposedName.empty() && fs::exists(joinPath(store_.saveDir, proposedName), ec)) {
            const DialogAnswer a =
                ctx_.dialogs.ask("Korvo 99", "file all ready exists! \rSearch for a valid filename ?",
                                 DialogIcon::Question, DialogButtons::YesNo);
            if (a == DialogAnswer::Yes) {
                proposeNext();
                fields_.fileName = proposedName;
            }
        }
    }
    if (scriptRunning) {
        if (scriptColumn0) scriptColumn0(proposedName);
        // Without a dialog the spectrum goes to the save directory under the proposed name.
        return write(joinPath(store_.saveDir, proposedName), store_.saveDir, proposedName, Kind::Script);
    }
    auto chosen = ctx_.dialogs.chooseSaveFile("Save spectrum", store_.saveDir, proposedName, "All files (*)");
    if (!chosen || chosen->empty()) return SaveOutcome::Cancelled;
    return writeChosen(*chosen);
}

SaveOutcome MeasurementSaver::saveRecovery() {
    return write(joinPath(store_.startDir, kRecoveryFileName), store_.saveDir, fields_.fileName, Kind::Recovery);
}

std::string nexusPathBeside(const std::string& spectrumPath) {
    return spectrumPath + ".nxs";
}

// The spectrum just written, as its NeXus entry, with what the station knows beyond the file. The
// text file is already in place: a NeXus file that cannot be written is said and logged, and the
// save stays a save.
void MeasurementSaver::saveNexusBeside(const std::string& path, const std::string& name, const std::string& bytes) {
    NexusSpectrum s;
    s.name = name;
    MemoryByteSource source(bytes);
    SpectrumTableResult read = readSpectrumTableSource(source, name);
    s.table = std::move(read.table);
    s.startedAt = measurement_.startedAt;
    const int lens = ctx_.options.lensIndex;
    if (lens >= 0 && lens < 5) s.lensMode = "Lens Mode " + std::to_string(lens + 1);
    s.sensitivities = ctx_.channels.sensitivities;
    s.channelsEnabled = ctx_.channels.enabled;
    const std::string target = nexusPathBeside(path);
    std::string error = read ? std::string() : read.read.error;
    if (error.empty() && saveNexusFile(target, {s}, &error)) return;
    ctx_.dialogs.show("The spectrum was saved, but its NeXus file could not be written to\r" + target + "\r" + error);
    ctx_.runLog().record("save-failed", target + ": " + error);
}

SaveOutcome MeasurementSaver::write(const std::string& path, const std::string& dir, const std::string& name,
                                    Kind kind) {
    const bool recovery = kind == Kind::Recovery;
    const RunState& run = measurement_.state;
    RunLog& log = ctx_.runLog();
    const std::int32_t points = measuredPoints(measurement_);
    if (points == 0 && !recovery) {
        ctx_.dialogs.show("No point of the scan was measured completely: nothing was saved.");
        log.record("save-refused", path + ": no point was measured");
        return SaveOutcome::Failed;
    }
    SpectrumHeader h;
    h.machineMode = run.MachineMode;
    h.kindText = kindText(run.MachineMode, measurement_.kindOfMeasure);
    h.comment = fields_.comment;
    h.sample = fields_.sample;
    h.saveDir = dir;
    h.fileName = name;
    h.timePerPoint = run.TimePerPoint;
    h.scanNumber = run.ScanNumber;
    h.points = run.Points;
    h.analyserStart = run.AnalyserStart;
    h.ramp = run.Ramp;
    h.photonStart = run.PhotonStart;
    h.passEnergy = run.PassEnergy;
    h.startFieldText = measurement_.startFieldText;
    if (auto scale = text::parseDouble(ctx_.options.keiScale)) h.keithleyScale = *scale;
    h.channelItems = channelListItems(run);
    h.maxPositiveShift = run.MaxPositiveShift;
    h.maxNegativeShift = run.MaxNegativeShift;

    SpectrumSaveOptions o;
    o.saveExtraPoints = ctx_.options.saveExtraPoints;
    o.saveRawData = ctx_.options.saveRawData;
    o.addKeithley1 = ctx_.options.addKeithley1;
    o.addKeithley2 = ctx_.options.addKeithley2;
    if (measurement_.partialScanRecords) {
        // A scan stopped half-way: only the points it completed, each counted once, and the header
        // says so. The energies keep the decimals of the whole scan's grid.
        h.scanNumber = 2;
        h.energyDecimals = energyDecimals(run.Ramp, run.Points);
        if (points < run.Points) {
            h.points = points;
            h.ramp = run.Ramp / double(run.Points - 1) * double(points - 1);
        }
        o.lastRecord = *measurement_.partialScanRecords;
    }

    std::string error;
    const std::string bytes = spectrumFileBytes(h, o, measurement_.data);
    if (!writeFileAtomic(path, bytes, &error)) {
        if (!recovery || !recoveryFailureShown_) {
            ctx_.dialogs.show("The measurement could not be written to\r" + path + "\r" + error);
            log.record("save-failed", path + ": " + error);
            if (recovery) recoveryFailureShown_ = true;
        }
        return SaveOutcome::Failed;
    }
    if (recovery) return SaveOutcome::Written;
    lastWritten_ = path;
    const int scans = std::max(h.scanNumber - 1, 0);
    log.record("save", path + ": " + std::to_string(h.points) + (h.points == 1 ? " point, " : " points, ") +
                           std::to_string(scans) + (scans == 1 ? " scan" : " scans") +
                           (kind == Kind::Auto     ? " (autosave)"
                            : kind == Kind::Script ? " (script)"
                            : kind == Kind::Remote ? " (remote)"
                                                   : ""));
    if (ctx_.options.saveNexus) saveNexusBeside(path, name, bytes);
    return SaveOutcome::Written;
}

} // namespace korvo

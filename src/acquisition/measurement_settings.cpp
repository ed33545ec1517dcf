#include "acquisition/measurement_settings.h"

#include "common/ini_file.h"
#include "common/number_text.h"

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <limits>
#include <unistd.h>

namespace korvo {

namespace {

constexpr const char* kGeneral = "general";
constexpr const char* kSaving = "saving";
constexpr double kTinyRamp = 0.0001;

FieldNumber<double> number(const std::string& textValue) {
    FieldNumber<double> r;
    if (auto v = text::parseDouble(textValue))
        r.value = *v;
    else
        r.badText = textValue;
    return r;
}

FieldNumber<double> bad(const std::string& textValue) {
    FieldNumber<double> r;
    r.badText = textValue;
    return r;
}

// A section name that can be written back as a header line.
bool usableSectionName(const std::string& s) {
    if (s.empty()) return false;
    return s.find_first_of("[]\r\n") == std::string::npos;
}

std::string keyName(const std::string& section, const std::string& key) {
    return "[" + section + "] " + key;
}

std::string joinLines(const std::vector<std::string>& lines) {
    std::string out;
    for (const auto& l : lines) out += "\r" + l;
    return out;
}

} // namespace

std::string notAFloatText(const std::string& textValue) {
    return textValue + " ist kein gültiger Wert (Gleitkomma)\r(Leerzeichen?)";
}

FieldNumber<double> rampOfFields(const MeasurementFields& fields, std::uint8_t machineMode) {
    auto second = number(fields.second);
    if (!second || fields.rampView) return second;
    auto base = number(photonScanning(machineMode) ? fields.photon : fields.start);
    if (!base) return base;
    const double r = *second - *base;
    if (!std::isfinite(r)) return bad(fields.second);
    FieldNumber<double> out;
    out.value = r;
    return out;
}

FieldNumber<std::int32_t> pointsOfFields(const MeasurementFields& fields, std::uint8_t machineMode) {
    FieldNumber<std::int32_t> out;
    if (fields.pointsView) {
        if (auto p = text::parseInt(fields.third))
            out.value = *p;
        else
            out.badText = fields.third;
        return out;
    }
    auto ramp = rampOfFields(fields, machineMode);
    if (!ramp) {
        out.badText = ramp.badText;
        return out;
    }
    auto step = number(fields.third);
    const double v = step ? *ramp / *step + 1.0 : std::numeric_limits<double>::quiet_NaN();
    if (!std::isfinite(v) || std::fabs(v) > std::numeric_limits<std::int32_t>::max()) {
        out.badText = fields.third;
        return out;
    }
    out.value = static_cast<std::int32_t>(std::llabs(text::roundHalfEven(v)));
    return out;
}

int passEnergyIndexOf(const std::string& textValue) {
    int found = -1;
    for (int i = 0; i < 17; ++i)
        if (textValue == kPassEnergyItems[i]) found = i;
    return found;
}

SaveDirCheck checkSaveDir(std::string& saveDir, const std::string& startDir) {
    SaveDirCheck r;
    std::error_code ec;
    const bool enterable = !saveDir.empty() && std::filesystem::is_directory(saveDir, ec) &&
                           ::access(saveDir.c_str(), X_OK) == 0;
    if (!enterable) {
        saveDir = startDir;
        r.fellBack = true;
        r.optionsPage = 0;
    }
    return r;
}

void MeasurementSettings::warn(const std::string& textValue) {
    ctx_.dialogs.warning(kWarningCaption, textValue);
}

bool MeasurementSettings::firstReport(const std::string& problem) {
    if (std::find(reported_.begin(), reported_.end(), problem) != reported_.end()) return false;
    reported_.push_back(problem);
    return true;
}

bool MeasurementSettings::toggleRamp() {
    const std::uint8_t mode = run_.MachineMode;
    if (mode >= ModeClam && mode <= ModeKeithley) {
        auto second = number(fields_.second);
        auto base = second ? number(mode == ModeClam ? fields_.start : fields_.photon) : second;
        const double v = base ? (fields_.rampView ? *second + *base : *second - *base) : 0.0;
        if (!base || !std::isfinite(v)) {
            // Changing only the caption would leave a ramp labelled as an end energy.
            warn(notAFloatText(base ? fields_.second : base.badText));
            return false;
        }
        fields_.second = text::plainNumber(v);
    }
    fields_.rampView = !fields_.rampView;
    return true;
}

bool MeasurementSettings::togglePoints() {
    if (!fields_.pointsView) {
        auto points = pointsOfFields(fields_, run_.MachineMode);
        if (!points) {
            warn(notAFloatText(points.badText));
            return false;
        }
        fields_.third = std::to_string(*points);
        fields_.pointsView = true;
        return true;
    }
    auto ramp = rampOfFields(fields_, run_.MachineMode);
    if (!ramp) {
        warn(notAFloatText(ramp.badText));
        return false;
    }
    auto points = text::parseInt(fields_.third);
    if (!points || *points == 1) { // one point has no step
        warn(notAFloatText(fields_.third));
        return false;
    }
    fields_.third = text::formatGeneral(std::fabs(*ramp / (static_cast<double>(*points) - 1.0)), 5);
    fields_.pointsView = false;
    return true;
}

std::array<std::string, 9> channelListItems(const RunState& state) {
    const int ref = state.referenceIndex();
    std::array<std::string, 9> items;
    for (int i = 1; i <= 9; ++i)
        items[i - 1] = "C_" + std::to_string(i) + "    " +
                       text::formatPattern(state.ChannelPosition[i] - state.ChannelPosition[ref], "0.000");
    return items;
}

std::vector<std::string> MeasurementSettings::channelListItems() const {
    const auto items = korvo::channelListItems(run_);
    return {items.begin(), items.end()};
}

void setChannelPositions(RunState& state, const ChannelShiftTable& table, int column) {
    for (int i = 1; i <= 9; ++i) state.ChannelPosition[i] = table.factor(column, i) * state.PassEnergy;
}

PassEnergyView MeasurementSettings::passEnergyChanged() {
    PassEnergyView view;
    // Fields a run could not start with also stop one that is running.
    auto refuse = [this](const std::string& message) {
        warn(message);
        ctx_.values.StopRequest = 1;
    };
    auto ramp = rampOfFields(fields_, run_.MachineMode);
    if (!ramp) {
        refuse(notAFloatText(ramp.badText));
        return view;
    }
    run_.Ramp = *ramp;
    const bool tinyRamp = std::fabs(run_.Ramp) < kTinyRamp;
    if (tinyRamp && fields_.kindOfMeasure != 0) refuse("Ramp value too small !");
    auto points = pointsOfFields(fields_, run_.MachineMode);
    if (!points) {
        refuse(notAFloatText(points.badText));
        return view;
    }
    run_.Points = *points;

    auto pe = text::parseDouble(fields_.passEnergyText);
    run_.PassEnergy = pe ? *pe : 0.0; // a separator item finds no column below
    const ChannelShiftTable& table = ctx_.channels.shifts;
    const int column = table.findColumn(fields_.passEnergyText + " eV");
    run_.shiftColumn = column;
    if (column < 0) {
        ctx_.dialogs.show("Program Error ! No energy shift values for this Pass-Energy ???");
        return view;
    }
    view.columnFound = true;

    std::vector<std::string> badCells;
    for (const auto& b : table.badCells())
        if (b.column == column) badCells.push_back(table.cell(0, b.row) + ": \"" + b.text + "\"");
    if (!badCells.empty())
        warn("No energy shift value for " + table.cell(column, 0) + " (0 is used):" + joinLines(badCells));

    run_.MaxPositiveShift = 0;
    run_.MaxNegativeShift = 0;
    setChannelPositions(run_, table, column);
    constexpr double kLimit = std::numeric_limits<std::int32_t>::max();
    for (int i = 1; i <= 9; ++i) {
        // A ramp this small refuses energy scans, and c(t) charts use no shifts: rather than
        // dividing by (almost) nothing the shifts stay 0.
        double s = tinyRamp ? 0.0 : exactChannelShift(run_, i);
        s = std::clamp(static_cast<double>(text::roundHalfEven(s)), -kLimit, kLimit);
        run_.ChannelShift[i] = static_cast<std::int32_t>(s);
        run_.MaxPositiveShift = std::max(run_.MaxPositiveShift, run_.ChannelShift[i]);
        run_.MaxNegativeShift = std::max(run_.MaxNegativeShift, -run_.ChannelShift[i]);
    }
    view.listRebuilt = true;
    view.channelItems = channelListItems();
    const std::int64_t extra = static_cast<std::int64_t>(run_.MaxPositiveShift) + run_.MaxNegativeShift;
    view.infoText = std::to_string(extra) + " Extra Points";
    return view;
}

ChannelListView MeasurementSettings::channelListSelected(int itemIndex) {
    if (run_.MachineMode == ModeClam)
        run_.ReferenceChannel = 5;
    else if (itemIndex >= 0 && itemIndex < 9)
        run_.ReferenceChannel = itemIndex + 1;
    ChannelListView view;
    view.items = channelListItems();
    return view;
}

SettingsView MeasurementSettings::read(IniFile& ini, const std::string& sectionIn, bool startUp,
                                       bool writeFirst) {
    SettingsView view;
    if (!startUp && writeFirst) write(ini, settingsSectionFor(run_.MachineMode), false);

    std::string loadError;
    if (!ini.load(&loadError)) {
        view.fileRead = false;
        if (!startUp) {
            // Nothing could be read: what the user has typed stays rather than turning into defaults.
            const std::string msg =
                "The INI-File could not be read (" + loadError + ") !\rThe current values are kept.";
            if (firstReport("read: " + loadError)) warn(msg);
            view.showOptionsPage0 = checkSaveDir(store.saveDir, store.startDir).optionsPage == 0;
            return view;
        }
    }

    auto noteBad = [&](const std::string& section, const std::string& key) {
        view.unusableKeys.push_back(keyName(section, key));
    };
    // An integer key: missing gives the default silently, present but unusable is reported.
    auto readInt = [&](const std::string& section, const std::string& key, std::int32_t def,
                       auto accept) -> std::int32_t {
        bool unusable = false;
        const std::int32_t v = ini.readInteger(section, key, def, &unusable);
        if (unusable || !accept(v)) {
            noteBad(section, key);
            return def;
        }
        return v;
    };
    auto any = [](std::int32_t) { return true; };

    std::string S = sectionIn;
    if (startUp) {
        S = ini.readString(kGeneral, "machine", "OFF");
        if (!usableSectionName(S)) {
            noteBad(kGeneral, "machine");
            S = "OFF";
        }
        store.machine = S;
        store.plotColour = readInt(kGeneral, "color", 0xE0E0E0, any);
        store.splashTimeMs = readInt(kGeneral, "time", 3000, [](std::int32_t v) { return v >= 0; });
        const std::int32_t tc = readInt(kGeneral, "time correction", 10, any);
        run_.TimeCorrection = tc;
        ctx_.options.timeCorrection = tc;
        run_.MachineMode = S == "OFF" ? ModeOff : ModeClam;

        const std::string card = ini.readString(kGeneral, "card", "test");
        if (card == "test" || card == "sim" || card == "port") {
            store.card = card;
        } else {
            noteBad(kGeneral, "card");
            store.card = "test";
        }
        ctx_.options.saveExtraPoints = ini.readString(kGeneral, "SaveExtrapoints", "0") == "1";
        ctx_.options.saveRawData = ini.readString(kGeneral, "SaveRawData", "0") == "1";
        ctx_.options.autoSave = readInt(kSaving, "autosave", 0, [](std::int32_t v) { return v == 0 || v == 1; }) == 1;
        ctx_.options.saveNexus = readInt(kSaving, "nexus", 0, [](std::int32_t v) { return v == 0 || v == 1; }) == 1;
    }

    fields_.kindOfMeasure = readInt(S, "kind of measure", 0, [](std::int32_t v) { return v >= 0 && v <= 2; });
    fields_.start = ini.readString(S, "start", "10");
    view.startLabel = "Start Energy (eV)";
    fields_.second = ini.readString(S, "rampe", "30");
    fields_.rampView = true;
    fields_.third = ini.readString(S, "points", "5");
    fields_.pointsView = true;
    if (S == "Druck") {
        fields_.scans = ini.readString(S, "points", "100");
        view.scansLabel = "Points";
    } else {
        fields_.scans = ini.readString(S, "scan", "10");
        view.scansLabel = "Scans";
    }
    fields_.timePerPoint = ini.readString(S, "measure time", "500");
    if (S == "IPES" || S == "BIS") {
        fields_.passEnergyText = ini.readString(S, "photon energy", "10");
        fields_.passEnergyIndex = passEnergyIndexOf(fields_.passEnergyText);
        view.passEnergyLabel = "Photon En. (eV)";
    } else {
        const int index = passEnergyIndexOf(ini.readString(S, "pass energy", "10"));
        if (index >= 0) {
            fields_.passEnergyIndex = index;
            fields_.passEnergyText = kPassEnergyItems[index];
        }
        view.passEnergyLabel = "Pass Energy (eV)";
    }
    fields_.sample = ini.readString(S, "sample", " Butter auf Brot");
    fields_.comment = ini.readString(S, "comment", "Wo bleibt der Käse?");
    store.lastFileName = ini.readString(S, "filename", "t_990101.000");
    store.saveDir = ini.readString(S, "savedir", "");

    if (!startUp) {
        const SaveDirCheck check = checkSaveDir(store.saveDir, store.startDir);
        view.showOptionsPage0 = check.optionsPage == 0;
    }

    if (!view.fileRead || !view.unusableKeys.empty()) {
        std::string msg;
        if (!view.fileRead)
            msg = "The INI-File could not be read (" + loadError + ") !\rDefault values are used.";
        if (!view.unusableKeys.empty()) {
            if (!msg.empty()) msg += "\r\r";
            msg += "These values of the INI-File could not be used, defaults are taken instead:" +
                   joinLines(view.unusableKeys);
        }
        if (view.fileRead ? firstReport(msg) : firstReport("read: " + loadError)) warn(msg);
    }
    return view;
}

bool MeasurementSettings::write(IniFile& ini, const std::string& S, bool withGeneral) {
    // Read what is on disk first, so that every other section and key stays as it is.
    std::string err;
    if (!ini.load(&err)) {
        const std::string msg = "The INI-File could not be read (" + err + ") !\rSettings not saved.";
        if (firstReport("read: " + err)) ctx_.dialogs.error(kInstrumentCaption, msg);
        return false;
    }
    std::vector<std::string> skipped;
    // IniFile keeps a pasted line break from splitting the key's line.
    auto put = [&](const std::string& section, const std::string& key, const std::string& value) {
        ini.writeString(section, key, value);
    };

    if (withGeneral) {
        put(kGeneral, "machine", S);
        put(kGeneral, "color", std::to_string(store.plotColour));
        put(kGeneral, "time correction", std::to_string(run_.TimeCorrection));
        put(kGeneral, "card", store.card);
    }
    put(S, "kind of measure", std::to_string(fields_.kindOfMeasure));
    if (S != "Druck") {
        put(S, "start", fields_.start);
        if (fields_.rampView) {
            put(S, "rampe", fields_.second);
        } else if (auto ramp = rampOfFields(fields_, run_.MachineMode)) {
            put(S, "rampe", text::plainNumber(*ramp));
        } else {
            skipped.push_back(keyName(S, "rampe"));
        }
        if (auto points = pointsOfFields(fields_, run_.MachineMode)) {
            run_.Points = *points;
            put(S, "points", std::to_string(*points));
        } else {
            skipped.push_back(keyName(S, "points"));
        }
        put(S, S == "RFAAuger" ? "phase" : "scan", fields_.scans);
        const char* peKey = S == "IPES" || S == "BIS" ? "photon energy"
                            : S == "RFAAuger"         ? "sens"
                                                      : "pass energy";
        put(S, peKey, fields_.passEnergyText);
    } else {
        put(S, "points", fields_.scans);
    }
    put(S, "measure time", fields_.timePerPoint);
    put(S, "sample", fields_.sample);
    put(S, "comment", fields_.comment);
    const bool off = S == "OFF";
    const std::string& fn = fields_.fileName;
    if ((fn.find("c_") != std::string::npos && !off) || (fn.find("t_") != std::string::npos && off))
        put(S, "filename", fn);
    put(S, "savedir", store.saveDir);
    put(kGeneral, "SaveExtrapoints", ctx_.options.saveExtraPoints ? "1" : "0");
    put(kGeneral, "SaveRawData", ctx_.options.saveRawData ? "1" : "0");
    put(kSaving, "autosave", ctx_.options.autoSave ? "1" : "0");
    put(kSaving, "nexus", ctx_.options.saveNexus ? "1" : "0");

    if (!ini.save(&err)) {
        const std::string msg = "The INI-File could not be written (" + err + ") !";
        if (firstReport("write: " + err)) ctx_.dialogs.error(kInstrumentCaption, msg);
        return false;
    }
    if (!skipped.empty())
        warn("These values could not be written to the INI-File, the stored ones are kept:" +
             joinLines(skipped));
    return true;
}

} // namespace korvo

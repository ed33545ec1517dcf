#pragma once
// The measurement parameters behind the main window: the ramp and points toggles of the parameter
// rows, the pass-energy change that derives the channel shifts, the reference-channel choice, and
// the INI file that keeps the parameters between program starts. Nothing here touches a widget:
// each operation edits the fields and the run state and returns what the window has to show.
#include "acquisition/context.h"
#include "acquisition/measurement_fields.h"
#include "acquisition/run_state.h"

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace korvo {

class IniFile;

// Caption of the program's warning dialog.
inline constexpr const char* kWarningCaption = "Warning !";

// "<text> ist kein gültiger Wert (Gleitkomma)\r(Leerzeichen?)"
std::string notAFloatText(const std::string& text);

// A number taken from one or two parameter fields.
template <typename T> struct FieldNumber {
    std::optional<T> value;
    std::string badText; // the field text that did not read as a number (empty on success)
    explicit operator bool() const { return value.has_value(); }
    T operator*() const { return *value; }
};

// Width of the scan: the second field in the ramp view; in the end view the second field minus the
// start field, or minus the photon field in the photon-scanning modes 3 to 5 (where the end field
// holds the end photon energy, as the ramp toggle put it there).
FieldNumber<double> rampOfFields(const MeasurementFields& fields, std::uint8_t machineMode);
// Points per scan: the integer in the third field in the points view; in the step view
// |ramp / step + 1| rounded to the nearest integer, halves to even.
FieldNumber<std::int32_t> pointsOfFields(const MeasurementFields& fields, std::uint8_t machineMode);

// Whether "c(t)" is chosen, which paints the second row and the scans field inactive.
inline bool rowsInactiveForKind(int kindOfMeasure) {
    return kindOfMeasure == 0;
}

// What the settings keep beside the window's fields and the run state.
struct SettingsStore {
    std::string machine = "OFF";               // [general] machine: the section read at start-up
    std::int32_t plotColour = 0xE0E0E0;        // [general] color (colour number 0x00BBGGRR)
    std::int32_t splashTimeMs = 3000;          // [general] time: how long the window shows the splash
    std::string card = "test";                 // [general] card: analyser back end "test", "sim" or "port"
    std::string lastFileName = "t_990101.000"; // stored last file name
    std::string saveDir;
    std::string startDir;
};

// Labels set by the settings reader, and what the window must do afterwards.
struct SettingsView {
    std::string startLabel = "Start Energy (eV)";
    std::string scansLabel = "Scans";                 // "Points" for the legacy section "Druck"
    std::string passEnergyLabel = "Pass Energy (eV)"; // "Photon En. (eV)" for "IPES" and "BIS"
    bool showOptionsPage0 = false;         // SaveDir could not be entered: show the options window, page 0
    bool fileRead = true;                  // false: the file could not be read, every value is a default
    std::vector<std::string> unusableKeys; // "[section] key" of values replaced by their defaults
};

struct PassEnergyView {
    bool columnFound = false;
    bool listRebuilt = false;              // channelItems replace the channel list
    std::vector<std::string> channelItems; // "C_1    0.640", ... relative to the reference channel
    std::string infoText;                  // "<n> Extra Points" (empty when not reached)
};

struct ChannelListView {
    std::vector<std::string> items;
    std::string infoText = "Energy Positions";
};

struct SaveDirCheck {
    bool fellBack = false; // SaveDir could not be entered and is now StartDir
    int optionsPage = -1;  // page of the options window to show (-1: none)
};
// Tries to enter `saveDir` (an existing directory that may be entered); on failure it becomes
// `startDir` and the options window is to be shown on its first page. The working directory of the
// process is never changed.
SaveDirCheck checkSaveDir(std::string& saveDir, const std::string& startDir);

// Section written on exit and before a mode switch: "OFF" in the test mode, otherwise "CLAM".
inline std::string settingsSectionFor(std::uint8_t machineMode) {
    return machineMode == ModeOff ? "OFF" : "CLAM";
}

// "C_1    0.160" ...: the "Energy Positions" items of channeltrons 1..9, offsets relative to the
// reference channel.
std::array<std::string, 9> channelListItems(const RunState& state);

// ChannelPosition[1..9] = the table's factor in `column` x PassEnergy (column must be a data column).
void setChannelPositions(RunState& state, const ChannelShiftTable& table, int column);
// Shift of channel i in analyser steps before rounding: (Points - 1) x ChannelPosition[i] / Ramp.
// The window's extra-point count and the run's accumulation both derive from this one formula; each
// caller decides how to round and what to do with a ramp of 0 or a shift out of range.
inline double exactChannelShift(const RunState& state, int channel) {
    return (state.Points - 1.0) * state.ChannelPosition[channel] / state.Ramp;
}

// Index of the pass-energy list item whose text equals `text` (the last one), -1 when none does.
int passEnergyIndexOf(const std::string& text);

class MeasurementSettings {
public:
    MeasurementSettings(MeasurementFields& fields, RunState& run, AcquisitionContext& ctx)
        : fields_(fields), run_(run), ctx_(ctx) {}

    SettingsStore store;

    // Ramp button: "Ramp (eV)" <-> "End Energy (eV)", converting the second field in modes 2 to 5.
    // A field that does not read as a number gives the warning and changes nothing; returns false.
    bool toggleRamp();
    // Points button: "Points/Scan" <-> "Step (eV)", converting the third field. Refuses (warning,
    // false) when a field does not read or the conversion has no finite result.
    bool togglePoints();

    // Derives Ramp, Points, PassEnergy, the channel positions and shifts from the fields and the
    // channel-shift table. Problems are reported through the dialogs and set StopRequest.
    PassEnergyView passEnergyChanged();

    // A click on the channel list: the item becomes the reference channel (always 5 in mode 2).
    ChannelListView channelListSelected(int itemIndex);
    // "C_<i>    <offset>" for channeltrons 1..9 relative to the reference channel.
    std::vector<std::string> channelListItems() const;

    // Reads the parameters of `section` (with `startUp`: of the section named by [general] machine,
    // plus the general keys). Without `startUp` the current fields are first written to the section
    // of the current mode and SaveDir is checked afterwards; a file that cannot be read then leaves
    // the fields as they are. Values that cannot be used are replaced by their defaults and listed in
    // one warning. A file problem is reported once per program run, not on every mode switch.
    // `writeFirst` false reads a section without touching the file (for korvo-cli, which never
    // changes the user's settings).
    SettingsView read(IniFile& ini, const std::string& section, bool startUp, bool writeFirst = true);
    // Writes the parameters to `section` (and the general keys with `withGeneral`) and saves the
    // file. Returns false, after an error box, when the file could not be read or written.
    bool write(IniFile& ini, const std::string& section, bool withGeneral);

private:
    void warn(const std::string& text);
    // False when the same file problem ("read: <reason>", "write: <reason>") was reported before.
    bool firstReport(const std::string& problem);
    std::vector<std::string> reported_;
    MeasurementFields& fields_;
    RunState& run_;
    AcquisitionContext& ctx_;
};

} // namespace korvo

#pragma once
// When a measurement is written, under which name and where: the next file-name proposal, the
// recovery copy "aktuell.dat" after every scan, and the final or manual save of a spectrum.
#include "acquisition/context.h"
#include "acquisition/measurement_fields.h"
#include "acquisition/measurement_settings.h"
#include "acquisition/run_state.h"

#include <cstdint>
#include <functional>
#include <string>

namespace korvo {

inline constexpr const char* kRecoveryFileName = "aktuell.dat";
inline constexpr const char* kDefaultLastFileName = "t_990101.000";

struct CalendarDate {
    int year = 1999, month = 1, day = 1;
};

// "c_" (CLAM), "f_" (CFS), "i_" (CIS), "k_" (Keithley), "" (test mode).
std::string fileNamePrefix(std::uint8_t machineMode);

// The next free name prefix + yymmdd + "." + counter in `saveDir`: one above the highest number
// already used there for today, and above the stored last name when that was made today.
// `storedLastName` is reset to the default when it is not 12 characters long.
std::string proposeFileName(std::uint8_t machineMode, std::string& storedLastName, const std::string& saveDir,
                            const CalendarDate& today);

// Where the NeXus file of a saved spectrum goes ([saving] nexus): beside it, "c_021205.001.nxs".
std::string nexusPathBeside(const std::string& spectrumPath);

// Kind-of-measurement text as the file states it: "c(t)", "CAE", "CRR" or, in the Keithley mode, "KEI".
std::string kindText(std::uint8_t machineMode, int kindOfMeasure);

enum class SaveOutcome { Written, Cancelled, Failed };

// Points of the scan window that hold counts: all of them, or after a stop in the first scan the
// ones it completed (0 when the block is empty).
std::int32_t measuredPoints(const Measurement& m);

class MeasurementSaver {
public:
    // Writes `measurement`; sample, comment and file name are taken from `fields` when it is saved.
    // Where spectra go, where the recovery copy goes and the stored last name are the settings'
    // (SaveDir, StartDir, "filename"); a save in another directory moves SaveDir there.
    MeasurementSaver(AcquisitionContext& ctx, MeasurementFields& fields, SettingsStore& store,
                     const Measurement& measurement)
        : ctx_(ctx), fields_(fields), store_(store), measurement_(measurement) {}

    std::string proposedName;
    bool scriptRunning = false;
    // Set while a remote client drives the runs, where nobody answers a dialog: a spectrum goes to
    // SaveDir under the file name field (or the proposal when the field holds no plain name), and a
    // name that is taken gets the next proposal instead of the question. A script's saves stay its own.
    bool unattended = false;
    // Script mode: the saved name goes into column 0 of the current script line.
    std::function<void(const std::string&)> scriptColumn0;
    std::function<CalendarDate()> today;

    // Makes the next proposal for the current machine mode.
    void proposeNext();

    // The final save at the end of a run and the "Save" button: asks for the name (no dialog while a
    // script runs) and writes the spectrum.
    SaveOutcome save();
    // The save at the end of a run: save(), or with the "autosave" option (outside a script) the
    // spectrum under the proposed name in SaveDir without dialog or question. An autosave never
    // replaces a file: a name taken meanwhile gets the next proposal.
    SaveOutcome saveAtEnd();
    // The copy of the scans completed so far, written after every scan.
    SaveOutcome saveRecovery();
    // Writes the spectrum to `path` (a relative one in SaveDir) as if the save dialog had chosen it:
    // SaveDir becomes its directory and the file name field its name. The caller decides whether an
    // existing file may be replaced.
    SaveOutcome saveAs(const std::string& path);

    // Path of the last spectrum written by save() (empty before the first; the recovery copy does
    // not count), and how the last save() ended.
    const std::string& lastWritten() const { return lastWritten_; }
    SaveOutcome lastSaveOutcome() const { return lastSaveOutcome_; }
    // A failing recovery copy is reported once per run, not after every scan.
    void newRun() { recoveryFailureShown_ = false; }

private:
    enum class Kind { Chosen, Script, Auto, Remote, Recovery };
    SaveOutcome saveSpectrum();
    SaveOutcome autoSave();
    SaveOutcome unattendedSave();
    SaveOutcome writeChosen(const std::string& path);
    SaveOutcome write(const std::string& path, const std::string& dir, const std::string& name, Kind kind);
    void saveNexusBeside(const std::string& path, const std::string& name, const std::string& bytes);

    AcquisitionContext& ctx_;
    MeasurementFields& fields_;
    SettingsStore& store_;
    const Measurement& measurement_;
    std::string lastWritten_;
    SaveOutcome lastSaveOutcome_ = SaveOutcome::Cancelled;
    bool recoveryFailureShown_ = false;
};

} // namespace korvo

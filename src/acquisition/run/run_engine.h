#pragma once
// The measurement run. It executes inside the handler of the "Start" button: the window calls
// startClicked() and the call returns when the run has ended. Every wait inside pumps events, so the
// other run buttons reach continueClicked(), skipScanClicked(), lastScanClicked() and a second
// startClicked() (Stop) while the run goes on; they only set flags that the loop examines after the
// point being counted.
#include "acquisition/analyser_io/analyser_io.h"
#include "acquisition/context.h"
#include "acquisition/measurement_fields.h"
#include "acquisition/photon_command.h"
#include "acquisition/run/run_display.h"
#include "acquisition/run/run_journal.h"
#include "acquisition/run/saving.h"
#include "acquisition/run_state.h"

#include <cstdint>
#include <functional>
#include <string>

namespace korvo {

// What the hidden "Zufall" button does after its random run: switch to this mode, select this kind
// and this pass-energy item (the window owns the mode switch).
struct RandomFollowUp {
    std::uint8_t machineMode = ModeClam;
    int kindOfMeasure = 0;
    int passEnergyIndex = 0;
};

// How the last run ended.
enum class RunEnd { None, Normal, Stopped, StoppedAfterScan, Refused };

// The parts of a station the run works with.
struct RunParts {
    AcquisitionContext& ctx;
    AnalyserIo& io;
    MeasurementFields& fields;
    const RunState& settings; // the window's parameters: a new run starts from a copy
    Measurement& measurement; // where runs measure into; io and saver work on it too
    MeasurementSaver& saver;
    InstrumentDevices& devices; // the monochromator of the photon steps
    PhotonView& photon;         // shared with the "Set Pho. Energy" button
};

class RunEngine {
public:
    explicit RunEngine(const RunParts& parts);
    RunEngine(const RunEngine&) = delete;
    RunEngine& operator=(const RunEngine&) = delete;

    // Where the run shows what it does (nothing by default).
    void setDisplay(RunDisplay& display) { display_ = &display; }

    // "Start": runs a whole measurement and returns at its end. "Stop" (pressed while a run is
    // active, reached through the event pump): ends the run at its next check.
    void startClicked();
    // "Wait" / "Continue": pauses or resumes a run. After a finished energy-scan run "Continue"
    // measures further scans into the same sums once the scans field has been raised.
    void continueClicked();
    // A mode switch: the last run can no longer be continued (Continue is disabled).
    void endContinuation();
    // Measures the current scan again from its first point.
    void skipScanClicked();
    // The current scan becomes the last one.
    void lastScanClicked();
    // "Save" / "&Save Measurements": the manual save of the last measurement.
    SaveOutcome saveClicked();
    // Ends a running measurement like Stop; does nothing while idle.
    void requestStop();
    // The hidden "Zufall" button: random parameters, a run, and the follow-up for the window.
    RandomFollowUp randomTestStart(std::uint64_t seed);

    bool running() const { return controls_.running(); }
    // Normal: all scans measured and the final save offered; Stopped: ended by Stop or an instrument
    // failure inside a scan; StoppedAfterScan: ended between scans; Refused: validation failed.
    RunEnd lastEnd() const { return lastEnd_; }
    // Whether Stop (requestStop) ended the last run, rather than a failing instrument or value.
    bool stoppedByUser() const { return stoppedByUser_; }
    bool paused() const { return controls_.paused; }
    const RunControls& controls() const { return controls_; }
    PlotScale& plot() { return plot_; }
    const PlotScale& plot() const { return plot_; }
    // Analyser steps completed in the current scan (for the live plot).
    std::int64_t pointsMeasured() const { return pointsMeasured_; }
    // Number of enabled channeltrons (for the multichanneltron plot).
    int activeChannels() const { return activeChannels_; }
    // Analyser steps per scan: points plus the extra points of the channel shifts.
    std::int64_t steps() const {
        return std::int64_t(state_.Points) + state_.MaxPositiveShift + state_.MaxNegativeShift;
    }
    // The measurement being made, or the last one: what the plot draws and Save writes.
    const Measurement& measurement() const { return measurement_; }
    // Told why the run paused for the beam: it was lost, or the ring current no longer tells (an
    // e-mail alert may go out).
    std::function<void(const std::string& why)> beamLossNotice;
    // Told when, during a run, the ring current stops or starts telling anything about the beam (the
    // status page cannot be read, its last reading is too old), and that a run waits for its first
    // reading: what the status bar shows, for a front end without one.
    std::function<void(const std::string& text)> beamInformationNotice;
    // Whether the run is paused for the beam (not by "Wait").
    bool beamPaused() const { return beamPaused_; }

private:
    using End = RunEnd;
    void start(bool continuation);
    bool acceptNewRun();
    End chart();
    End energyScans(bool continuation);
    void stopPath();
    // `measured`: the run got past its start checks (a refused run moved nothing to move back).
    void commonEnd(bool measured);
    void photonBack();
    void changed() { display_->controlsChanged(controls_); }
    void setRangeFromFirstCount(double counts);
    // Whether `value` would move the y range (c(t) counts are whole numbers and rescale at 98 %).
    bool rescales(double value, bool wholeNumbers) const;
    void autoScale(double value, bool wholeNumbers);
    void autoScaleScan(std::size_t first, std::size_t last);
    void resetScanExtremes();
    bool sizeBlock(std::int64_t records);
    // The photon energy command to `target`, shown in the photon field, as the button would do it.
    void runPhotonCommand(const std::string& target);
    // In the photon modes each step of an energy scan first moves the monochromator.
    void photonStep(double x);
    // The start field's value, read at every point (CFS and CIS follow it during a run).
    double startField();
    // What the ring current says after a counted point (see run_beam.cpp).
    enum class BeamVerdict { Keep, Lost, NoInformation, Awaited };
    BeamVerdict beamVerdict();
    // Pauses as "Wait" does until the beam is known to be back (for long enough after a loss or a
    // time without information), Continue is pressed or the run is stopped.
    void pauseForBeam(BeamVerdict why);
    void sayBeamInformation(const std::string& text);

    AcquisitionContext& ctx_;
    AnalyserIo& io_;
    MeasurementFields& fields_;
    const RunState& settings_;
    Measurement& measurement_;
    RunState& state_; // measurement_.state
    DataBlock& data_; // measurement_.data
    MeasurementSaver& saver_;
    InstrumentDevices& devices_;
    PhotonView& photon_;
    NullRunDisplay noDisplay_;
    RunDisplay* display_ = &noDisplay_;

    RunControls controls_;
    PlotScale plot_;
    RunEnd lastEnd_ = RunEnd::None;
    bool skip_ = false;
    bool continueFlag_ = false;
    bool continuable_ = false; // the measurement is a completed energy scan: more scans may be added
    std::int64_t pointsMeasured_ = 0;
    int activeChannels_ = 9;
    double scanLow_ = 0, scanHigh_ = 0; // extremes of the completed records of the scan
    bool beamPaused_ = false;
    bool beamInformationMissing_ = false; // said during this run, and not yet taken back
    // A photon move of this run failed: the monochromator is not asked again at the run's end (its
    // failure has been reported once; asking again would only repeat the wait and the box).
    bool monoFailed_ = false;
    // Steps of the current scan whose counts have all been added (what a stop in scan 1 keeps).
    std::int64_t stepsCounted_ = 0;
    bool stoppedByUser_ = false;
    RunJournal journal_;
};

} // namespace korvo

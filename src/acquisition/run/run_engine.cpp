#include "acquisition/run/run_engine.h"

#include "acquisition/history_model.h"
#include "acquisition/measurement_settings.h"
#include "acquisition/run/run_validation.h"
#include "acquisition/run/time_left.h"
#include "common/number_text.h"

#include <ctime>
#include <algorithm>
#include <cmath>
#include <limits>
#include <new>
#include <random>

namespace korvo {

RunEngine::RunEngine(const RunParts& p)
    : ctx_(p.ctx), io_(p.io), fields_(p.fields), settings_(p.settings), measurement_(p.measurement),
      state_(p.measurement.state), data_(p.measurement.data), saver_(p.saver), devices_(p.devices),
      photon_(p.photon), journal_(p.ctx) {
    io_.hooks.historyEntry = [this] {
        // The analyser was last given the run's start and ramp (a chart: no ramp).
        ctx_.history.add(HistoryEntry::from(fields_, state_, state_.AnalyserStart, state_.Ramp));
    };
    io_.hooks.rangeText = [this](const std::string& t) { display_->rangeText(t); };
}

void RunEngine::runPhotonCommand(const std::string& target) {
    if (photonMoveTo(photon_, fields_.photon, target, *devices_.monochromator, ctx_) == PhotonOutcome::Failed)
        monoFailed_ = true;
    display_->fieldsChanged();
}

void RunEngine::photonStep(double x) {
    if (!photonScanning(state_.MachineMode) || measurement_.kindOfMeasure == 0) return;
    runPhotonCommand(text::formatPattern(io_.storedRamp() * x + state_.PhotonStart, "0.000"));
}

double RunEngine::startField() {
    // An unreadable text (half typed) keeps the start energy the run began with.
    const auto v = text::parseDouble(fields_.start);
    if (!v) return state_.StartEnergy;
    if (state_.MachineMode == ModeCfs || state_.MachineMode == ModeCis)
        measurement_.startFieldText = fields_.start;
    return *v;
}

void RunEngine::startClicked() {
    if (controls_.running()) {
        requestStop();
        return;
    }
    start(false);
}

void RunEngine::requestStop() {
    if (!controls_.running()) return;
    ctx_.values.StopRequest = 1;
    stoppedByUser_ = true;
    controls_.phase = RunControls::Phase::Stopping;
    changed();
}

void RunEngine::continueClicked() {
    if (controls_.running()) {
        controls_.paused = !controls_.paused;
        changed();
        return;
    }
    if (!continuable_ || ctx_.values.StopRequest != 1) return;
    auto scans = text::parseInt(fields_.scans);
    if (!scans) {
        ctx_.dialogs.warning(kWarningCaption, notIntegerText(fields_.scans));
        return;
    }
    if (*scans <= state_.ScansTarget || *scans > kMaxScans) {
        ctx_.dialogs.show("Please increase number of scans first!");
        return;
    }
    // The further scans use the grid of the sums they add to, whatever the fields say meanwhile.
    state_.ScansTarget = *scans;
    ctx_.values.StopRequest = 0;
    start(true);
}

void RunEngine::endContinuation() {
    if (controls_.running()) return;
    continuable_ = false;
    controls_.continueEnabled = false;
    changed();
}

void RunEngine::skipScanClicked() {
    if (controls_.running()) skip_ = true;
}

void RunEngine::lastScanClicked() {
    if (!controls_.running()) return;
    fields_.scans = std::to_string(state_.ScanNumber);
    display_->fieldsChanged();
}

SaveOutcome RunEngine::saveClicked() {
    if (controls_.running() || !controls_.saveEnabled) return SaveOutcome::Cancelled;
    return saver_.save();
}

// The start checks judge a copy of the window's parameters; only a run that passes them replaces the
// last measurement. A refused run leaves data, header inputs, shifts and picture as they were.
bool RunEngine::acceptNewRun() {
    RunState trial = settings_;
    trial.runStartTick = ctx_.clock.nowMs();
    if (!validateNewRun(ctx_, fields_, trial, *display_)) return false;
    state_ = trial;
    measurement_.kindOfMeasure = fields_.kindOfMeasure;
    measurement_.startFieldText = fields_.start;
    measurement_.partialScanRecords.reset();
    measurement_.startedAt = std::time(nullptr);
    continuable_ = false;
    return true;
}

void RunEngine::start(bool continuation) {
    const RunJournal::Watch watch(journal_);
    stoppedByUser_ = false;
    const RunControls before = controls_;
    controls_.phase = RunControls::Phase::Running;
    controls_.kindEnabled = false;
    controls_.paused = false;
    controls_.continueOffered = false;
    controls_.continueEnabled = controls_.skipEnabled = controls_.lastScanEnabled = true;
    controls_.saveEnabled = false;
    monoFailed_ = false;
    if (!continuation) {
        ctx_.values.StopRequest = 0;
        controls_.menusEnabled = false;
    }
    changed();

    if (!continuation && !acceptNewRun()) {
        // Nothing was measured or moved: the buttons go back to what the last measurement allows.
        controls_ = before;
        lastEnd_ = End::Refused;
        journal_.refused();
        commonEnd(false);
        return;
    }
    journal_.started(measurement_, fields_.passEnergyText, fields_.sample, continuation);
    if (continuation) state_.runStartTick = ctx_.clock.nowMs();
    activeChannels_ = 0;
    for (int c = 1; c <= 9; ++c) {
        state_.ChannelEnabled[c] = ctx_.channels.enabled[c - 1] ? 1 : 0;
        activeChannels_ += state_.ChannelEnabled[c];
    }
    plot_.currentPointColour = 0xDDCCCC;
    plot_.autoScale = true;
    plot_.drawEnabled = true;
    display_->runStarted();
    saver_.newRun();
    beamInformationMissing_ = false;
    if (!continuation) {
        plot_.xStart = state_.XStart;
        plot_.xEnd = state_.XEnd;
        plot_.yMin = 1e20;
        plot_.yMax = -1e20;
        plot_.cursor1 = state_.XStart;
        plot_.cursor2 = state_.XEnd;
    }
    const End end = measurement_.kindOfMeasure == 0 ? chart() : energyScans(continuation);
    lastEnd_ = end;
    if (end == End::Stopped) stopPath();
    // Unattended, a run that was stopped (or failed) keeps what it measured in a file as well.
    if ((end == End::Stopped || end == End::StoppedAfterScan) && ctx_.options.autoSave && !saver_.scriptRunning &&
        measurement_.kindOfMeasure != 0 && measuredPoints(measurement_) > 0) {
        saver_.saveAtEnd();
        display_->fieldsChanged(); // the name it was saved under
    }
    if (end == End::Normal) {
        controls_.continueOffered = true;
        // More scans can be added to a completed run: Continue stays usable until the next run.
        controls_.continueEnabled = true;
        controls_.saveEnabled = true;
        continuable_ = true;
    }
    if (end == End::StoppedAfterScan) {
        controls_.continueOffered = true;
        controls_.continueEnabled = false;
        controls_.saveEnabled = true;
    }
    commonEnd(true);
    journal_.ended(end, stoppedByUser_, measurement_);
}

bool RunEngine::sizeBlock(std::int64_t records) {
    try {
        data_.assign(std::size_t(records), MeasurementRecord{});
        return true;
    } catch (const std::bad_alloc&) {
        data_.clear();
        ctx_.dialogs.show("Not enough memory for " + std::to_string(records) + " measurement points !");
        ctx_.values.StopRequest = 1;
        return false;
    }
}

void RunEngine::setRangeFromFirstCount(double counts) {
    if (!plot_.autoScale) return;
    plot_.yMin = 0.95 * counts;
    plot_.yMax = 1.05 * counts + 1;
    if (std::fabs(plot_.yMax - plot_.yMin) <= 1e-12) plot_.yMax = 1e-12;
    display_->redraw();
}

bool RunEngine::rescales(double value, bool wholeNumbers) const {
    const double span = std::fabs(plot_.yMax - plot_.yMin);
    if (!(span > 0)) return false;
    const double r = (value - plot_.yMin) / span;
    return r > (wholeNumbers ? 0.98 : 0.99) || (r < 0.02 && plot_.yMin > 0);
}

void RunEngine::autoScale(double value, bool wholeNumbers) {
    if (!plot_.autoScale || !rescales(value, wholeNumbers)) return;
    const double r = (value - plot_.yMin) / std::fabs(plot_.yMax - plot_.yMin);
    if (r > (wholeNumbers ? 0.98 : 0.99)) {
        plot_.yMax = (value - plot_.yMin) * 2 + plot_.yMin;
        display_->redraw();
    } else {
        double lo = value - (plot_.yMax - plot_.yMin);
        if (wholeNumbers) lo = std::trunc(lo);
        plot_.yMin = std::max(0.0, lo);
        display_->redraw();
    }
}

// After each point of an energy scan every completed record of the scan is tested again, in order: a
// range widened by one value can bring earlier ones below its lower end. Only the largest or the
// smallest of them can call for a change, and each change at least doubles the span, so the ordered
// pass runs only when the running extremes of the scan call for it.
void RunEngine::autoScaleScan(std::size_t first, std::size_t last) {
    if (last < first || last >= data_.size()) return;
    const double v = data_[last].CoScan[0];
    scanLow_ = std::min(scanLow_, v);
    scanHigh_ = std::max(scanHigh_, v);
    if (!plot_.autoScale || !(rescales(scanHigh_, false) || rescales(scanLow_, false))) return;
    for (std::size_t r = first; r <= last; ++r) autoScale(data_[r].CoScan[0], false);
}

void RunEngine::resetScanExtremes() {
    scanLow_ = std::numeric_limits<double>::infinity();
    scanHigh_ = -std::numeric_limits<double>::infinity();
}

RunEngine::End RunEngine::chart() {
    controls_.continueEnabled = controls_.skipEnabled = controls_.saveEnabled = controls_.lastScanEnabled =
        false;
    changed();
    state_.Ramp = 0;
    state_.XStart = 0;
    plot_.xStart = 0;
    plot_.xEnd = state_.Points - 1;
    plot_.yMin = 1e20;
    plot_.yMax = -1e20;

    saver_.proposeNext();
    fields_.fileName.clear();
    display_->fieldsChanged();

    io_.SetupTimer();
    io_.SetAnalyserModeBit(0);
    io_.SetRamp(0);
    io_.SetStartAndRange(state_.StartEnergy);
    io_.SetPassEnergyCode(state_.PassEnergyCode);
    io_.BeginMeasurement();

    const std::int64_t points = state_.Points;
    if (!sizeBlock(points + 1)) return End::Stopped;
    data_[1].enScan = 0;
    state_.ScanNumber = 1;
    pointsMeasured_ = 0;
    display_->redraw();
    skip_ = false;

    std::int64_t i = 0;
    for (std::int64_t n = 0; ctx_.values.StopRequest == 0; ++n) {
        MeasurementRecord& rec = data_[std::size_t(i + 1)];
        rec.enScan = double(i);
        io_.SetAnalyserPoint(0, startField());
        const std::int32_t counts = io_.ReadPoint(state_.TimePerPoint, std::size_t(i + 1));
        // A count cut short is no point of the chart.
        if (!io_.lastPointComplete()) break;
        rec.CoScan[0] = counts;
        display_->chartPoint(n, counts);
        if (n == 0) setRangeFromFirstCount(counts);
        display_->drawPoint(std::size_t(i + 1));
        plot_.currentPointColour = 0x800000;
        pointsMeasured_ = i + 1;
        autoScale(counts, true);
        if (i == points - 1) {
            // The chart is full: its second half moves to the front and counting goes on behind it.
            const std::int64_t h = points / 2;
            for (std::int64_t j = 0; j <= h; ++j)
                std::copy_n(data_[std::size_t(j + h)].CoScan.begin(), 10,
                            data_[std::size_t(j)].CoScan.begin());
            for (std::int64_t j = h + 1; j <= points - 1; ++j)
                std::fill_n(data_[std::size_t(j)].CoScan.begin(), 10, 0.0);
            i = h;
            pointsMeasured_ = h;
            display_->redraw();
        } else {
            ++i;
        }
    }
    return End::Stopped;
}

RunEngine::End RunEngine::energyScans(bool continuation) {
    const std::int64_t maxPos = state_.MaxPositiveShift, maxNeg = state_.MaxNegativeShift;
    const std::int64_t n = steps();
    const double step = state_.Ramp / double(state_.Points - 1);
    const bool shifted = !ctx_.options.electrometerOverride && state_.MachineMode != ModeKeithley;

    if (!continuation) {
        saver_.proposeNext();
        fields_.fileName = saver_.proposedName;
        display_->fieldsChanged();
        io_.SetupTimer();
        io_.SetAnalyserModeBit(measurement_.kindOfMeasure == 2 ? 1 : 0);
        io_.SetRamp(state_.Ramp);
        // The range must hold the analyser's energies; in the photon modes XStart is a photon energy.
        io_.SetStartAndRange(state_.StartEnergy);
        io_.SetPassEnergyCode(state_.PassEnergyCode);
        plot_.yMin = 1e20;
        plot_.yMax = -1e20;
        io_.BeginMeasurement();
        if (!sizeBlock(n + 1)) return End::Stopped;
        // Every step's energy is known before it is measured; a scan stopped half-way then keeps
        // true energies for the steps it did not reach.
        for (std::int64_t r = 1; r <= n; ++r)
            data_[std::size_t(r)].enScan = step * double(r - 1 - maxPos) + state_.AnalyserStart;
        state_.ScanNumber = 1;
        pointsMeasured_ = 0;
        display_->redraw();
        skip_ = false;
        // The sums of a continued run are kept: the further scans add to them.
        for (auto& r : data_) r.Co[0] = 0;
    }
    if (data_.size() != std::size_t(n + 1)) return End::Stopped;

    while (state_.ScanNumber <= state_.ScansTarget && ctx_.values.StopRequest == 0) {
        for (auto& r : data_) r.CoScan[0] = 0;
        resetScanExtremes();
        stepsCounted_ = 0;
        do {
            if (skip_) {
                stepsCounted_ = 0;
                pointsMeasured_ = 1;
                for (auto& r : data_) r.CoScan.fill(0);
                resetScanExtremes();
                display_->redraw();
                skip_ = false;
            }
            for (std::int64_t i = 0; i < n && !skip_; ++i) {
                while (controls_.paused && ctx_.values.StopRequest == 0) {
                    ctx_.pump.pump();
                    ctx_.clock.sleepMs(5);
                }
                if (ctx_.values.StopRequest == 1) return End::Stopped;

                const TimeLeft t = estimateTimeLeft(state_.TimePerPoint, state_.TimeCorrection, n,
                                                    state_.Points, state_.ScansTarget, state_.ScanNumber, i);
                display_->measurementsLabel(timeLeftLabel(state_.ScanNumber, t));
                if (saver_.scriptRunning && saver_.scriptColumn0)
                    saver_.scriptColumn0("Time: " + minutesSeconds(t.totalSeconds));

                MeasurementRecord& rec = data_[std::size_t(i + 1)];
                const double x = step * double(i - maxPos) + state_.AnalyserStart;
                rec.enScan = x;
                const double fraction = (x - state_.AnalyserStart) / state_.Ramp;
                photonStep(fraction);
                io_.SetAnalyserPoint(fraction, startField());
                // A photon move that failed (or a Stop during it) leaves this step at the wrong
                // energy, and a count cut short is not a whole dwell time: neither may enter the
                // sums, least of all as the last point of a scan that would then count as complete.
                if (ctx_.values.StopRequest == 1) return End::Stopped;
                display_->progress(progressStrip(maxPos + maxNeg, n, i));
                io_.ReadPoint(state_.TimePerPoint, std::size_t(i + 1));
                if (!io_.lastPointComplete()) return End::Stopped;
                if (const BeamVerdict beam = beamVerdict(); beam != BeamVerdict::Keep) {
                    // Counted without beam, or without knowing whether there was any: this step is
                    // measured again once the beam is known to be back.
                    pauseForBeam(beam);
                    if (ctx_.values.StopRequest == 1) return End::Stopped;
                    --i;
                    continue;
                }

                if (shifted) {
                    for (int c = 1; c <= 9; ++c) {
                        const std::int64_t j = i + 1 + state_.ChannelShift[c];
                        if (j > 0 && j < n + 1) data_[std::size_t(j)].CoScan[0] += rec.CoScan[c];
                    }
                }
                stepsCounted_ = i + 1;
                if (i == 0 && state_.ScanNumber == 1 && plot_.autoScale && ctx_.values.StopRequest == 0)
                    setRangeFromFirstCount(io_.ReadPoint(state_.TimePerPoint, 0));
                if (i >= maxPos + maxNeg) {
                    // The record whose last channel has just been counted.
                    const std::int64_t done = i + 1 - maxNeg;
                    display_->drawPoint(std::size_t(done));
                    plot_.currentPointColour = 0x800000;
                    pointsMeasured_ = i + 1;
                    autoScaleScan(std::size_t(maxPos + 1), std::size_t(done));
                }
            }
        } while (skip_ && ctx_.values.StopRequest == 0);

        if (state_.ScanNumber == 1) {
            for (std::int64_t r = 1; r <= n; ++r) {
                auto& rec = data_[std::size_t(r)];
                rec.Energy = rec.enScan;
                rec.Co = rec.CoScan;
            }
        } else {
            for (std::int64_t r = 1; r <= n; ++r) {
                auto& rec = data_[std::size_t(r)];
                for (int k = 0; k < 12; ++k) rec.Co[k] += rec.CoScan[k];
            }
        }
        pointsMeasured_ = 0;
        ++state_.ScanNumber;

        // The scans field may have been changed while the scan ran.
        if (auto scans = text::parseInt(fields_.scans)) {
            state_.ScansTarget = std::min(*scans, kMaxScans);
        } else {
            ctx_.dialogs.warning(kWarningCaption, notIntegerText(fields_.scans));
            ctx_.values.StopRequest = 1;
        }
        display_->redraw();
        saver_.saveRecovery();
    }
    if (ctx_.values.StopRequest != 0) return End::StoppedAfterScan;
    saver_.saveAtEnd();
    display_->fieldsChanged();
    return End::Normal;
}

void RunEngine::stopPath() {
    controls_.phase = RunControls::Phase::Stopping;
    if (state_.ScanNumber == 1 && measurement_.kindOfMeasure != 0) {
        // The first scan is all there is: keep what it counted so that it can be saved. A record
        // still waiting for a shifted channel, and every step not reached, holds no whole count.
        for (std::size_t r = 1; r < data_.size(); ++r) {
            data_[r].Energy = data_[r].enScan;
            data_[r].Co = data_[r].CoScan;
        }
        measurement_.partialScanRecords =
            std::size_t(std::max<std::int64_t>(stepsCounted_ - state_.MaxNegativeShift, 0));
    }
    controls_.paused = false;
    controls_.kindEnabled = true;
    controls_.continueEnabled = false;
    controls_.skipEnabled = false;
    controls_.saveEnabled = measurement_.kindOfMeasure != 0 && !data_.empty();
    controls_.lastScanEnabled = false;
    ctx_.values.StopRequest = 1;
    ctx_.pump.pump();
}

void RunEngine::photonBack() {
    if (photonScanning(state_.MachineMode) && measurement_.kindOfMeasure > 0 && !monoFailed_)
        runPhotonCommand(text::formatPattern(state_.PhotonStart, "0.000"));
}

void RunEngine::commonEnd(bool measured) {
    controls_.phase = RunControls::Phase::Stopping;
    if (measured) photonBack();
    controls_.kindEnabled = true;
    controls_.skipEnabled = false;
    controls_.lastScanEnabled = false;
    controls_.menusEnabled = true;
    controls_.phase = RunControls::Phase::Idle;
    controls_.paused = false;
    ctx_.values.StopRequest = 1;
    changed();
    display_->redraw();
}

RandomFollowUp RunEngine::randomTestStart(std::uint64_t seed) {
    std::mt19937_64 g(seed);
    auto pick = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(g); };
    fields_.start = std::to_string(pick(0, 50));
    fields_.second = std::to_string(pick(0, 50) + 52);
    fields_.third = std::to_string(pick(0, 50) + 52);
    fields_.scans = std::to_string(pick(0, 4) + 2);
    fields_.timePerPoint = std::to_string(pick(0, 4) * 10 + 10);
    fields_.photon = std::to_string(pick(0, 49) + 10);
    display_->fieldsChanged();
    startClicked();
    RandomFollowUp f;
    f.machineMode = std::uint8_t(ModeClam + pick(0, 2));
    f.kindOfMeasure = pick(0, 2);
    f.passEnergyIndex = pick(0, 6);
    return f;
}

} // namespace korvo

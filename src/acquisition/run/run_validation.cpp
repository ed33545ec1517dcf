#include "acquisition/run/run_validation.h"

#include "acquisition/analyser_io/analyser_io.h"
#include "acquisition/measurement_settings.h"
#include "common/number_text.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <optional>

namespace korvo {

std::string notIntegerText(const std::string& text) {
    return text + " ist kein gültiger Wert (ganzzahlig)\r(Leerzeichen?)";
}

bool computeChannelShifts(RunState& state, const ChannelShiftTable& table, int column) {
    state.MaxPositiveShift = 0;
    state.MaxNegativeShift = 0;
    state.ChannelShift.fill(0);
    if (column < 0) return false;
    setChannelPositions(state, table, column);
    if (state.Points < kMinPoints || !std::isfinite(state.Ramp) || state.Ramp == 0) return false;
    std::array<std::int64_t, 10> shifts{};
    std::int64_t maxPos = 0, maxNeg = 0;
    for (int i = 1; i <= 9; ++i) {
        const double s = exactChannelShift(state, i);
        if (!std::isfinite(s) || std::fabs(s) > double(kMaxAnalyserSteps)) return false;
        shifts[i] = text::roundHalfEven(s);
        maxPos = std::max(maxPos, shifts[i]);
        maxNeg = std::max(maxNeg, -shifts[i]);
    }
    if (state.Points + maxPos + maxNeg > kMaxAnalyserSteps) return false;
    for (int i = 1; i <= 9; ++i) state.ChannelShift[i] = std::int32_t(shifts[i]);
    state.MaxPositiveShift = std::int32_t(maxPos);
    state.MaxNegativeShift = std::int32_t(maxNeg);
    return true;
}

namespace {

void replaceFirst(std::string& s, char from, const char* to) {
    auto p = s.find(from);
    if (p != std::string::npos) s.replace(p, 1, to);
}

// "0.00000" with trailing zeros (and a bare point) removed.
std::string shortStep(double v) {
    std::string s = text::formatPattern(v, "0.00000");
    if (s.find('.') != std::string::npos) {
        while (!s.empty() && s.back() == '0') s.pop_back();
        if (!s.empty() && s.back() == '.') s.pop_back();
    }
    return s;
}

const char* const kHighSet[] = {"        2 eV", "        5 eV", "       10 eV", "       20 eV",
                                "       50 eV", "      100 eV", "      200 eV"};
const char* const kLowSet[] = {"      0.1 eV", "      0.25 eV", "      0.5 eV", "      1.0 eV",
                               "      2.5 eV", "      5.0 eV",  "      10.0 eV"};

std::string permittedText(const char* const (&set)[7]) {
    std::string t = "In this energy region only the following pass energies are permitted: \r\r";
    for (int i = 0; i < 7; ++i) {
        t += set[i];
        if (i < 6) t += "\r";
    }
    return t;
}

class Validator {
public:
    Validator(AcquisitionContext& ctx, MeasurementFields& f, RunState& s, RunDisplay& d)
        : ctx_(ctx), f_(f), s_(s), d_(d), mode_(s.MachineMode), keithley_(mode_ == ModeKeithley),
          energyScan_(f.kindOfMeasure != 0) {}

    bool run() {
        rampPointsUpwards();
        normaliseTexts();
        dwellTime();
        gateRaster();
        startAndRamp();
        energyRange();
        rampCoversADacStep();
        maximumEnergy();
        photonEnergy();
        scans();
        pointsPerScan();
        stepCoversADacStep();
        passEnergyColumn();
        passEnergyOfTheRange();
        channelShifts();
        if (fieldsEdited_) d_.fieldsChanged();
        return !refused();
    }

private:
    void refuse() { ctx_.values.StopRequest = 1; }
    bool refused() const { return ctx_.values.StopRequest != 0; }
    void warning(const std::string& t) {
        ctx_.dialogs.warning(kWarningCaption, t);
        refuse();
    }
    void message(const std::string& t) {
        ctx_.dialogs.show(t);
        refuse();
    }
    std::optional<double> number(const std::string& t) {
        auto v = text::parseDouble(t);
        if (v) return *v;
        warning(notAFloatText(t));
        return std::nullopt;
    }
    void selectPass(int index) {
        f_.passEnergyIndex = index;
        f_.passEnergyText = kPassEnergyItems[index];
    }
    // Where a scan's end energy counts from: the photon energy in the photon modes, else the start.
    const std::string& endBase() const { return photonScanning(mode_) ? f_.photon : f_.start; }

    // The ramp must point upwards. Texts that do not read as numbers are reported later, after the
    // decimal comma has been given its chance.
    void rampPointsUpwards() {
        auto second = text::parseDouble(f_.second);
        if (f_.rampView && second && *second <= 0) {
            message("Please set the Ramp value > 0 !");
            f_.second = "0.1";
            fieldsEdited_ = true;
        }
        auto base = text::parseDouble(endBase());
        if (!f_.rampView && second && base && *second - *base <= 0) {
            message("Please set the End energy > Start energy!");
            f_.second = text::plainNumber(*base + 0.1);
            fieldsEdited_ = true;
        }
    }

    // A decimal comma is taken as a point; a minus sign in the points row is dropped.
    void normaliseTexts() {
        replaceFirst(f_.start, ',', ".");
        replaceFirst(f_.second, ',', ".");
        replaceFirst(f_.third, ',', ".");
        if (auto p = f_.third.find('-'); p != std::string::npos) f_.third.erase(p, 1);
    }

    void dwellTime() {
        if (auto t = text::parseInt(f_.timePerPoint)) {
            s_.TimePerPoint = *t;
            timeOk_ = true;
        } else {
            // The Keithley mode skips the range checks but still waits the dwell time at every point.
            warning(notIntegerText(f_.timePerPoint));
        }
        if (timeOk_ && !keithley_ && !ctx_.options.electrometerOverride &&
            (s_.TimePerPoint < 10 || s_.TimePerPoint > 32000))
            warning(f_.timePerPoint + "ms is outside of the valid range  ( t > 9 ms  and  t < 32000 ms)");
    }

    // The gate timer counts 1000 x gate units in 16 bits: 65 is the longest gate it can hold, and a
    // truncated count would gate for another time than the run assumes. The dwell time must be
    // a whole number of gates.
    void gateRaster() {
        auto gate = text::parseInt(f_.gateUnits);
        if (!gate || *gate < 1 || *gate > kMaxGateUnits) {
            ctx_.dialogs.warning("", "Gate units \"" + f_.gateUnits +
                                         "\" is not a valid gate length.\rPlease enter a whole number from 1 "
                                         "to 65 (gates of 10 ms to 650 ms).");
            refuse();
            return;
        }
        s_.GateUnits = *gate;
        if (!timeOk_ || keithley_) return;
        const std::int32_t g = *gate * 10;
        if (s_.TimePerPoint % g != 0) {
            const std::string gs = std::to_string(g);
            warning("Measure time (" + f_.timePerPoint + "ms) only in steps of " + gs +
                    " ms permitted  !\r\r" + "(Meßzeit muß durch " + gs + " teilbar sein !)");
        }
    }

    void startAndRamp() {
        start_ = number(f_.start);
        if (start_) s_.XStart = s_.AnalyserStart = s_.StartEnergy = *start_;
        s_.Ramp = 0;
        if (f_.rampView) {
            ramp_ = number(f_.second);
        } else if (auto second = number(f_.second)) {
            if (photonScanning(mode_)) {
                if (auto photon = text::parseDouble(f_.photon)) ramp_ = *second - *photon;
            } else if (start_) {
                ramp_ = *second - *start_;
            }
        }
        if (ramp_) s_.Ramp = *ramp_;
    }

    // The analyser's energy range for start + ramp. A run already refused shows no range and no
    // complaint about it, but the step and pass-energy checks below still judge the energies typed
    // now, never the range of an earlier run.
    void energyRange() {
        const bool quiet = refused();
        rangeKnown_ = !quiet || (start_ && ramp_);
        if (keithley_ || !start_ || !rangeKnown_) return;
        const double emax = s_.XStart + s_.Ramp;
        if (auto r = energyRangeFor(emax, ctx_.options)) {
            s_.FullScale = r->fullScale;
            s_.SmallestStep = r->fullScale / 65536;
            if (!quiet) d_.rangeText(r->text);
        }
        if (!quiet && emax > kMaxAnalyserEnergy) ctx_.dialogs.show("Maximum energy (3276.8 eV) exceeded !?");
    }

    // The ramp must cover at least one DAC step.
    void rampCoversADacStep() {
        if (ramp_ && rangeKnown_ && mode_ == ModeClam && energyScan_ &&
            std::fabs(s_.Ramp) + 1e-10 < s_.SmallestStep) {
            message(text::plainNumber(s_.Ramp));
            warning("ramp value too small");
            f_.second = text::plainNumber(s_.SmallestStep);
            f_.rampView = true;
            fieldsEdited_ = true;
            return;
        }
        // A scan without a ramp divides by it at every point; the photon modes reach here without
        // the check above when the end equals the photon energy.
        if (ramp_ && energyScan_ && std::fabs(s_.Ramp) < 0.0001) warning("Ramp value too small !");
    }

    void maximumEnergy() {
        if (ramp_ && start_ && !keithley_ && s_.XStart + s_.Ramp > kMaxAnalyserEnergy)
            warning("Max-Energy too big (>3276.8 eV) !!!!!");
    }

    void photonEnergy() {
        if (auto photon = number(f_.photon)) {
            s_.PhotonStart = *photon;
            if (photonScanning(mode_)) s_.XStart = s_.AnalyserStart = *photon;
        }
        s_.XEnd = s_.XStart + s_.Ramp;
    }

    void scans() {
        if (auto scans = text::parseInt(f_.scans)) {
            s_.ScansTarget = *scans;
            if (energyScan_ && (*scans < 1 || *scans > kMaxScans))
                message("The number of scans (" + f_.scans + ") must be between 1 and " +
                        std::to_string(kMaxScans) + " !");
        } else {
            warning(notIntegerText(f_.scans));
        }
    }

    // Points per scan, typed or derived from the step.
    void pointsPerScan() {
        if (f_.pointsView) {
            if (auto p = text::parseInt(f_.third)) {
                s_.Points = *p;
                pointsOk_ = true;
            } else {
                warning(notIntegerText(f_.third));
            }
        } else if (auto step = number(f_.third)) {
            std::optional<double> r;
            if (f_.rampView) {
                r = text::parseDouble(f_.second).value;
            } else if (auto second = text::parseDouble(f_.second), from = text::parseDouble(endBase());
                       second && from) {
                // The end energy counts from where the scan starts, as the ramp above does.
                r = *second - *from;
            }
            if (r) {
                const std::int64_t p = std::llabs(text::roundHalfEven(*r / *step + 1));
                s_.Points = std::int32_t(std::min<std::int64_t>(p, std::numeric_limits<std::int32_t>::max()));
                pointsOk_ = true;
            }
        }
        if (pointsOk_ && (s_.Points < kMinPoints || s_.Points > kMaxPoints)) {
            message("Points/Scan = " + std::to_string(s_.Points) + " cannot be measured: a scan needs from " +
                    std::to_string(kMinPoints) + " to " + std::to_string(kMaxPoints) + " points !");
            pointsOk_ = false;
        }
    }

    // The step must cover at least one DAC step.
    void stepCoversADacStep() {
        if (!pointsOk_ || !ramp_ || !rangeKnown_ || mode_ != ModeClam) return;
        if (s_.Ramp / (s_.Points - 1) + 1e-9 >= s_.SmallestStep) return;
        warning("The step size (" + shortStep(s_.Ramp / (s_.Points - 1)) + "eV) is too small !\r\r" +
                "Smallest permitted step size in this energy region : " + shortStep(s_.SmallestStep) +
                "eV !\r\rStep size will be changed!");
        f_.pointsView = false;
        f_.third = text::formatPattern(s_.SmallestStep, "0.00000");
        fieldsEdited_ = true;
    }

    void lookUpColumn() {
        s_.PassEnergy = text::parseDouble(f_.passEnergyText).value.value_or(0.0);
        column_ = ctx_.channels.shifts.findColumn(f_.passEnergyText + " eV");
        s_.shiftColumn = column_;
        s_.PassEnergyCode = passEnergyCode(f_.passEnergyText);
    }

    void passEnergyColumn() {
        lookUpColumn();
        if (column_ < 0 && !keithley_)
            message("Program Error ! No energy shift values for this Pass-Energy ???");
    }

    // Each energy range has its own set of pass energies.
    void passEnergyOfTheRange() {
        if (keithley_ || column_ < 1 || !rangeKnown_) return;
        const std::string before = f_.passEnergyText;
        if (s_.FullScale >= 200 && column_ < ChannelShiftTable::kSeparatorColumn) {
            warning(permittedText(kHighSet));
            // The low-set energies up to 5 eV map to "5"; larger ones to "10".
            selectPass(s_.PassEnergy <= 5 ? 11 : 12);
        } else if (s_.FullScale < 200 && column_ > ChannelShiftTable::kSeparatorColumn) {
            warning(permittedText(kLowSet));
            selectPass(s_.PassEnergy == 5 ? 5 : s_.PassEnergy == 2 ? 4 : 6);
        }
        if (f_.passEnergyText == before) return;
        warning("Pass energy changed to : " + f_.passEnergyText);
        fieldsEdited_ = true;
        lookUpColumn();
    }

    // Channel positions and shifts; single-channel modes measure without them.
    void channelShifts() {
        const bool singleChannel =
            ctx_.options.electrometerOverride || photonScanning(mode_) || f_.kindOfMeasure == 0;
        const bool shiftsOk = computeChannelShifts(s_, ctx_.channels.shifts, column_);
        if (!shiftsOk && column_ >= 0 && !singleChannel && !refused())
            message("The channel shifts of this pass energy need more than " +
                    std::to_string(kMaxAnalyserSteps) +
                    " analyser steps: use a larger ramp or fewer points !");
        if (singleChannel) {
            s_.ChannelShift.fill(0);
            s_.MaxPositiveShift = 0;
            s_.MaxNegativeShift = 0;
        }
        auto items = channelListItems(s_);
        d_.channelList(std::vector<std::string>(items.begin(), items.end()));
        d_.extraPoints(std::int64_t(s_.MaxPositiveShift) + s_.MaxNegativeShift);
    }

    AcquisitionContext& ctx_;
    MeasurementFields& f_;
    RunState& s_;
    RunDisplay& d_;
    const std::uint8_t mode_;
    const bool keithley_;
    const bool energyScan_;
    bool fieldsEdited_ = false;
    bool timeOk_ = false;
    bool pointsOk_ = false;
    bool rangeKnown_ = false;
    std::optional<double> start_, ramp_;
    int column_ = -1;
};

} // namespace

bool validateNewRun(AcquisitionContext& ctx, MeasurementFields& fields, RunState& state,
                    RunDisplay& display) {
    return Validator(ctx, fields, state, display).run();
}

} // namespace korvo

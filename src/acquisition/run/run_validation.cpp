#include "acquisition/run/run_validation.h"

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
    Validator(AcquisitionContext& ctx, MeasurementFields& f, RunState& s, AnalyserIo& io, RunDisplay& d)
        : ctx_(ctx), f_(f), s_(s), io_(io), d_(d) {}

    bool run();

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

    AcquisitionContext& ctx_;
    MeasurementFields& f_;
    RunState& s_;
    AnalyserIo& io_;
    RunDisplay& d_;
};

bool Validator::run() {
    const std::uint8_t mode = s_.MachineMode;
    const bool keithley = mode == ModeKeithley;
    const bool energyScan = f_.kindOfMeasure != 0;
    bool fieldsEdited = false;

    // 1, 2: the ramp must point upwards. Texts that do not read as numbers are reported below, after
    // the decimal comma has been given its chance.
    {
        auto second = text::parseDouble(f_.second);
        auto start = text::parseDouble(f_.start);
        if (f_.rampView && second && *second <= 0) {
            message("Please set the Ramp value > 0 !");
            f_.second = "0.1";
            fieldsEdited = true;
        }
        if (!f_.rampView && second && start && *second - *start <= 0) {
            message("Please set the End energy > Start energy!");
            f_.second = text::plainNumber(*start + 0.1);
            fieldsEdited = true;
        }
    }

    // 3: a decimal comma is taken as a point; a minus sign in the points row is dropped.
    replaceFirst(f_.start, ',', ".");
    replaceFirst(f_.second, ',', ".");
    replaceFirst(f_.third, ',', ".");
    if (auto p = f_.third.find('-'); p != std::string::npos) f_.third.erase(p, 1);

    // 4, 5: dwell time.
    bool timeOk = false;
    if (auto t = text::parseInt(f_.timePerPoint)) {
        s_.TimePerPoint = *t;
        timeOk = true;
    } else {
        // The Keithley mode skips the range checks but still waits the dwell time at every point.
        warning(notIntegerText(f_.timePerPoint));
    }
    if (timeOk && !keithley && !ctx_.options.electrometerOverride &&
        (s_.TimePerPoint < 10 || s_.TimePerPoint > 32000))
        warning(f_.timePerPoint + "ms is outside of the valid range  ( t > 9 ms  and  t < 32000 ms)");

    // 6, 7: gate timer and the dwell-time raster. A gate longer than 650 ms does not fit the timer.
    // The timer set-up reports gate units it cannot program; the raster check needs a valid gate.
    auto gate = text::parseInt(f_.gateUnits);
    io_.SetupTimer();
    if (gate && *gate >= 1 && *gate <= kMaxGateUnits && timeOk && !keithley) {
        const std::int32_t g = *gate * 10;
        if (s_.TimePerPoint % g != 0) {
            const std::string gs = std::to_string(g);
            warning("Measure time (" + f_.timePerPoint + "ms) only in steps of " + gs +
                    " ms permitted  !\r\r" + "(Meßzeit muß durch " + gs + " teilbar sein !)");
        }
    }

    // 8: start and ramp.
    auto start = number(f_.start);
    std::optional<double> ramp;
    if (start) s_.XStart = s_.AnalyserStart = *start;
    s_.Ramp = 0;
    if (f_.rampView) {
        ramp = number(f_.second);
    } else if (auto second = number(f_.second)) {
        if (photonScanning(mode)) {
            if (auto photon = text::parseDouble(f_.photon)) ramp = *second - *photon;
        } else if (start) {
            ramp = *second - *start;
        }
    }
    if (ramp) s_.Ramp = *ramp;

    // 9: the analyser chooses its energy range.
    const bool refusedBeforeRange = refused();
    io_.SetRamp(s_.Ramp);
    io_.SetStartAndRange(s_.XStart);
    // A run refused by an earlier check leaves the analyser untouched, but the step and pass-energy
    // checks below still have to judge the energies typed now, not the range of the last run.
    const bool rangeKnown = !refusedBeforeRange || (start && ramp);
    if (refusedBeforeRange && rangeKnown && !keithley) {
        if (auto r = energyRangeFor(s_.XStart + s_.Ramp, ctx_.options)) {
            s_.FullScale = r->fullScale;
            s_.SmallestStep = r->fullScale / 65536;
        }
    }

    // 10: the ramp must cover at least one DAC step.
    bool rampTooSmall = false;
    if (ramp && rangeKnown && mode == ModeClam && energyScan &&
        std::fabs(s_.Ramp) + 1e-10 < s_.SmallestStep) {
        message(text::plainNumber(s_.Ramp));
        warning("ramp value too small");
        f_.second = text::plainNumber(s_.SmallestStep);
        f_.rampView = true;
        fieldsEdited = true;
        rampTooSmall = true;
    }
    // A scan without a ramp divides by it at every point; the photon modes reach here without
    // the checks above when the end equals the photon energy.
    if (ramp && energyScan && !rampTooSmall && std::fabs(s_.Ramp) < 0.0001) warning("Ramp value too small !");

    // 11
    if (ramp && start && !keithley && s_.XStart + s_.Ramp > 3276.8)
        warning("Max-Energy too big (>3276.8 eV) !!!!!");

    // 12: photon energy.
    if (auto photon = number(f_.photon)) {
        s_.PhotonStart = *photon;
        if (photonScanning(mode)) s_.XStart = s_.AnalyserStart = *photon;
    }
    s_.XEnd = s_.XStart + s_.Ramp;

    // 13: scans.
    if (auto scans = text::parseInt(f_.scans)) {
        s_.ScansTarget = *scans;
        if (energyScan && (*scans < 1 || *scans > kMaxScans))
            message("The number of scans (" + f_.scans + ") must be between 1 and " +
                    std::to_string(kMaxScans) + " !");
    } else {
        warning(notIntegerText(f_.scans));
    }

    // 14: points per scan, typed or derived from the step.
    bool pointsOk = false;
    if (f_.pointsView) {
        if (auto p = text::parseInt(f_.third)) {
            s_.Points = *p;
            pointsOk = true;
        } else {
            warning(notIntegerText(f_.third));
        }
    } else if (auto step = number(f_.third)) {
        std::optional<double> r;
        if (f_.rampView) {
            r = text::parseDouble(f_.second).value;
        } else if (auto second = text::parseDouble(f_.second),
                   from = text::parseDouble(photonScanning(mode) ? f_.photon : f_.start);
                   second && from) {
            // The end energy counts from where the scan starts: the photon energy in the photon
            // modes, as the ramp above does.
            r = *second - *from;
        }
        if (r) {
            const std::int64_t p = std::llabs(text::roundHalfEven(*r / *step + 1));
            s_.Points = std::int32_t(std::min<std::int64_t>(p, std::numeric_limits<std::int32_t>::max()));
            pointsOk = true;
        }
    }
    if (pointsOk && (s_.Points < kMinPoints || s_.Points > kMaxPoints)) {
        message("Points/Scan = " + std::to_string(s_.Points) + " cannot be measured: a scan needs from " +
                std::to_string(kMinPoints) + " to " + std::to_string(kMaxPoints) + " points !");
        pointsOk = false;
    }

    // 15: the step must cover at least one DAC step.
    if (pointsOk && ramp && rangeKnown && mode == ModeClam &&
        s_.Ramp / (s_.Points - 1) + 1e-9 < s_.SmallestStep) {
        warning("The step size (" + shortStep(s_.Ramp / (s_.Points - 1)) + "eV) is too small !\r\r" +
                "Smallest permitted step size in this energy region : " + shortStep(s_.SmallestStep) +
                "eV !\r\rStep size will be changed!");
        f_.pointsView = false;
        f_.third = text::formatPattern(s_.SmallestStep, "0.00000");
        fieldsEdited = true;
    }

    // 16: channel shifts of the pass energy.
    s_.PassEnergy = text::parseDouble(f_.passEnergyText).value.value_or(0.0);
    int column = ctx_.channels.shifts.findColumn(f_.passEnergyText + " eV");
    s_.shiftColumn = column;
    if (column < 0 && !keithley) message("Program Error ! No energy shift values for this Pass-Energy ???");

    // 17, 18: each energy range has its own set of pass energies.
    if (!keithley && column >= 1 && rangeKnown) {
        const std::string before = f_.passEnergyText;
        if (s_.FullScale >= 200 && column < ChannelShiftTable::kSeparatorColumn) {
            warning(permittedText(kHighSet));
            // The low-set energies up to 5 eV map to "5"; larger ones to "10".
            selectPass(s_.PassEnergy <= 5 ? 11 : 12);
        } else if (s_.FullScale < 200 && column > ChannelShiftTable::kSeparatorColumn) {
            warning(permittedText(kLowSet));
            selectPass(s_.PassEnergy == 5 ? 5 : s_.PassEnergy == 2 ? 4 : 6);
        }
        if (f_.passEnergyText != before) {
            warning("Pass energy changed to : " + f_.passEnergyText);
            fieldsEdited = true;
            s_.PassEnergy = text::parseDouble(f_.passEnergyText).value.value_or(0.0);
            column = ctx_.channels.shifts.findColumn(f_.passEnergyText + " eV");
            s_.shiftColumn = column;
        }
    }

    // 19: channel positions and shifts; single-channel modes measure without them.
    const bool singleChannel =
        ctx_.options.electrometerOverride || photonScanning(mode) || f_.kindOfMeasure == 0;
    const bool shiftsOk = computeChannelShifts(s_, ctx_.channels.shifts, column);
    if (!shiftsOk && column >= 0 && !singleChannel && !refused())
        message("The channel shifts of this pass energy need more than " + std::to_string(kMaxAnalyserSteps) +
                " analyser steps: use a larger ramp or fewer points !");
    if (singleChannel) {
        s_.ChannelShift.fill(0);
        s_.MaxPositiveShift = 0;
        s_.MaxNegativeShift = 0;
    }
    auto items = channelListItems(s_);
    d_.channelList(std::vector<std::string>(items.begin(), items.end()));
    d_.infoText(std::to_string(s_.MaxPositiveShift + s_.MaxNegativeShift) + " Extra Points");
    if (fieldsEdited) d_.fieldsChanged();
    return !refused();
}

} // namespace

bool validateNewRun(AcquisitionContext& ctx, MeasurementFields& fields, RunState& state, AnalyserIo& io,
                    RunDisplay& display) {
    return Validator(ctx, fields, state, io, display).run();
}

} // namespace korvo

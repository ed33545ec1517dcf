#include "acquisition/analyser_io/analyser_io.h"

#include "common/number_text.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace korvo {

namespace {

// WaitMs keeps the window alive at this interval.
constexpr std::int64_t kWaitSliceMs = 20;

using Range = EnergyRange;
constexpr Range kRange81{81.92, "Xmax = 81.92 eV", 0x20};
constexpr Range kRange163{163.84, "Xmax = 163.84 eV", 0x00};
constexpr Range kRange1638{1638.4, "Xmax = 1638.4 eV", 0x30};
constexpr Range kRange3276{kMaxAnalyserEnergy, "Xmax = 3276.8 eV", 0x10};

} // namespace

std::uint8_t passEnergyCode(const std::string& text) {
    static const struct {
        const char* low;
        const char* high;
        std::uint8_t bits;
    } codes[] = {{"0.1", "2", 2},  {"0.25", "5", 6},  {"0.5", "10", 10},  {"1.0", "20", 14},
                 {"2.5", "50", 4}, {"5.0", "100", 8}, {"10.0", "200", 12}};
    for (const auto& c : codes)
        if (text == c.low || text == c.high) return c.bits;
    return 0;
}

namespace {

// A switching point the user typed in the options window; an unreadable text keeps the range's
// factory limit rather than making the range unreachable or always chosen.
double switchPoint(const std::string& text, double fallback) {
    auto v = text::parseDouble(text);
    return v ? *v : fallback;
}

std::int32_t toInt32(double v) {
    std::int64_t r = text::roundHalfEven(v);
    return static_cast<std::int32_t>(std::clamp<std::int64_t>(r, std::numeric_limits<std::int32_t>::min(),
                                                              std::numeric_limits<std::int32_t>::max()));
}

// "+ 12.3 V" / "- 12.3 V"
std::string signedVolts(double v, const char* pattern) {
    std::string digits = text::formatPattern(std::fabs(v), pattern);
    bool negative = v < 0 && digits.find_first_not_of("0.") != std::string::npos;
    return std::string(negative ? "- " : "+ ") + digits + " V";
}

} // namespace

std::optional<EnergyRange> energyRangeFor(double emax, const AcquisitionOptions& o) {
    // From the largest range down; the last selection wins.
    std::optional<EnergyRange> r;
    if (emax <= kMaxAnalyserEnergy) r = kRange3276;
    if (emax <= switchPoint(o.switchPoint3, 1600)) r = kRange1638;
    if (emax <= switchPoint(o.switchPoint2, 140)) r = kRange163;
    if (emax <= switchPoint(o.switchPoint1, 80)) r = kRange81;
    return r;
}

AnalyserReadouts computeReadouts(double fullScale, std::uint16_t word, double passEnergy, int lensIndex) {
    const double e = fullScale * word / 65535.0;
    const double p = passEnergy;
    AnalyserReadouts r;
    r.voltage = "Voltage (0..10V) ( x ) :" + text::formatPattern(word * 10.0 / 65535.0, "0.000") + " V";
    double monitor = fullScale <= 200 ? 20.000883 * e + 4.3 : 1.00035 * e + 4.4;
    r.monitor = text::formatPattern(monitor, "0.0") + " V";
    r.inner = "&Inner Hemisphere : " + signedVolts(1.9583 * p - 0.99846 * e, "0.0");
    r.outer = "&Outer Hemisphere : " + signedVolts(0.71733 * p - 0.99846 * e, "0.0");
    r.retard = "&Retard : " + signedVolts(1.13281 * p - 0.95 * e, "0.0");
    static const double lens[5][3][2] = {
        // {constant, factor of E} for lens 1, 2 and 3
        {{1.99, -0.668}, {2.72, -0.583}, {0.35, 3.01}},     {{-1.06, 3.028}, {-0.62, 2.73}, {0.42, -0.498}},
        {{-1.05, 4.44}, {-0.716, 3.3}, {0.786, 2.16}},      {{0, 0}, {-0.85, 3.12}, {0.421, 1.757}},
        {{3.44, -1.97}, {2.446, -1.112}, {0.21429, 0.606}},
    };
    if (lensIndex >= 0 && lensIndex < 5) {
        auto volts = [&](int n) { return lens[lensIndex][n][0] + lens[lensIndex][n][1] * e; };
        r.lens1 = "&Lens 1 : " + signedVolts(volts(0), "0");
        r.lens2 = "&Lens 2 : " + signedVolts(volts(1), "0");
        r.lens3 = "&Lens 3 : " + signedVolts(volts(2), "0");
    }
    return r;
}

AnalyserIo::AnalyserIo(AcquisitionContext& ctx, PortIo& port, InstrumentDevices& devices, RunState& state,
                       DataBlock& data)
    : ctx_(ctx), card_(port, ctx.clock, ctx.pump), devices_(devices), state_(state), data_(data) {}

bool AnalyserIo::cardInUse() const {
    return !ctx_.options.testWithoutAnalyser;
}

void AnalyserIo::SetupTimer() {
    if (ctx_.values.StopRequest == 1 || !cardInUse()) return;
    // The start checks keep GateUnits within what the 16-bit counter holds.
    card_.programTimer(state_.GateUnits);
}

void AnalyserIo::SetRamp(double ramp) {
    if (ctx_.values.StopRequest == 1) return;
    storedRamp_ = ramp;
}

void AnalyserIo::SetStartAndRange(double start) {
    if (ctx_.values.StopRequest == 1) return;
    storedStart_ = start;
    const double emax = start + storedRamp_;
    if (state_.MachineMode == ModeKeithley) return;

    if (const auto r = energyRangeFor(emax, ctx_.options)) {
        state_.FullScale = r->fullScale;
        state_.SmallestStep = r->fullScale / 65536;
        if (hooks.rangeText) hooks.rangeText(r->text);
    }
    if (emax > kMaxAnalyserEnergy) ctx_.dialogs.show("Maximum energy (3276.8 eV) exceeded !?");

    controlByte_ &= static_cast<std::uint8_t>(~0x30);
    for (const Range& r : {kRange3276, kRange1638, kRange163, kRange81})
        if (state_.FullScale == r.fullScale) controlByte_ |= r.code;
}

void AnalyserIo::SetPassEnergyCode(std::uint8_t code) {
    if (ctx_.values.StopRequest == 1) return;
    controlByte_ = static_cast<std::uint8_t>((controlByte_ & 0xF1) | (code & 0x0E));
}

void AnalyserIo::SetAnalyserModeBit(int bit) {
    if (ctx_.values.StopRequest == 1) return;
    controlByte_ = static_cast<std::uint8_t>((controlByte_ & 0xFE) | (bit & 1));
}

void AnalyserIo::SetAnalyserPoint(double x, double startField) {
    const std::uint8_t mode = state_.MachineMode;
    if (mode == ModeKeithley || ctx_.values.StopRequest == 1) return;
    const double e0 = mode == ModeCis ? startField : storedStart_;
    const int ref = state_.referenceIndex();
    // Puts the reference channeltron, not channeltron 5, at the nominal energy.
    const double offset = state_.ChannelPosition[5] - state_.ChannelPosition[ref];
    double f = mode == ModeCfs ? (startField + offset) / state_.FullScale
                               : (e0 + x * storedRamp_ + offset) / state_.FullScale;
    if (!(f > 0)) f = 0; // also NaN
    if (f > 1) f = 1;
    lastWord_ = static_cast<std::uint16_t>(text::roundHalfEven(f * 65535));
    if (cardInUse()) card_.writeDac(lastWord_);

    const double e = state_.FullScale * lastWord_ / 65535.0;
    if (hooks.energyLabel) hooks.energyLabel("Energy (eV) : " + text::formatPattern(e, "0.000"));
    AnalyserReadouts r =
        computeReadouts(state_.FullScale, lastWord_, state_.PassEnergy, ctx_.options.lensIndex);
    if (hooks.monitorLabel) hooks.monitorLabel(r.monitor);
    display_->showAnalyserReadouts(r);
}

void AnalyserIo::BeginMeasurement() {
    if (ctx_.values.StopRequest == 1) return;
    if (hooks.historyEntry) hooks.historyEntry();
    controlByte_ |= 0x40;
    if (cardInUse()) card_.writeControl(controlByte_);
    display_->showControlLamps(controlByte_);
}

std::int32_t AnalyserIo::readElectrometerPoint(std::int32_t timeMs, MeasurementRecord& r) {
    const bool wasStopping = ctx_.values.StopRequest == 1;
    devices_.electrometer1->KeiRead();
    // A failed read leaves the previous reading behind.
    if (!wasStopping && ctx_.values.StopRequest == 1) lastPointComplete_ = false;
    const double reading = ctx_.values.KeiValue;
    std::fill(r.CoScan.begin() + 1, r.CoScan.end(), 0.0);
    r.CoScan[0] = reading;
    r.CoScan[1] = static_cast<double>(ctx_.clock.nowMs() - state_.runStartTick);
    WaitMs(timeMs);
    return toInt32(reading);
}

std::int32_t AnalyserIo::ReadPoint(std::int32_t timeMs, std::size_t index) {
    // The run always passes a record it has sized the block for; anything else is counted into a
    // scratch record rather than written past the block.
    MeasurementRecord scratch;
    MeasurementRecord& r = index < data_.size() ? data_[index] : scratch;
    const AcquisitionOptions& o = ctx_.options;
    lastPointComplete_ = true;

    if (o.electrometerOverride || state_.MachineMode == ModeKeithley) return readElectrometerPoint(timeMs, r);

    const bool wasStopping = ctx_.values.StopRequest == 1;
    if (o.addKeithley1) {
        devices_.electrometer1->KeiRead();
        r.CoScan[10] = ctx_.values.KeiValue;
    }
    if (o.addKeithley2) {
        devices_.electrometer2->KeiRead();
        r.CoScan[11] = ctx_.values.KeiValue;
    }
    if (!wasStopping && ctx_.values.StopRequest == 1) lastPointComplete_ = false;

    ChannelTotals counts{};
    if (o.testWithoutAnalyser) {
        for (std::int32_t remaining = timeMs; remaining > 0;) {
            remaining -= std::min<std::int32_t>(10, remaining);
            if (ctx_.values.StopRequest == 1) {
                lastPointComplete_ = false;
                for (int c = 1; c <= 9; ++c) r.CoScan[c] = static_cast<double>(counts[c]);
                return toInt32(9 * r.CoScan[5]);
            }
            const double tick = static_cast<double>(ctx_.clock.nowMs());
            for (int c = 1; c <= 9; ++c)
                counts[c] += static_cast<std::int64_t>(500 * std::sin((tick - 100 * c) / 1000) + 500);
        }
    } else {
        countOnCard(timeMs, counts);
    }

    std::int64_t total = 0;
    for (int c = 1; c <= 9; ++c) {
        r.CoScan[c] = static_cast<double>(counts[c] * state_.ChannelEnabled[c]);
        total += counts[c] * state_.ChannelEnabled[c];
    }
    std::int32_t result = toInt32(static_cast<double>(total));

    if (o.testWithoutAnalyser) {
        WaitMs(timeMs);
        if (o.ringCurrentOverwrite) {
            std::fill(r.CoScan.begin() + 1, r.CoScan.end(), 0.0);
            r.CoScan[5] = ctx_.values.RingCurrent;
            result = toInt32(ctx_.values.RingCurrent);
        }
    }
    ctx_.pump.pump();
    if (ctx_.channels.view) showChannelView(counts);
    return result;
}

void AnalyserIo::countOnCard(std::int32_t timeMs, ChannelTotals& counts) {
    const std::int64_t gateMs = std::max<std::int32_t>(state_.GateUnits, 1) * 10;
    const std::int64_t gates = std::max<std::int64_t>(timeMs, 0) / gateMs;
    if (card_.countGates(gates, gateMs, counts)) return;
    // Keep what the finished gates counted and let the run end, keeping its completed scans.
    ctx_.values.StopRequest = 1;
    lastPointComplete_ = false;
    ctx_.dialogs.error(kInstrumentCaption, "The analyser card did not end its counting gate within " +
                                               std::to_string(AnalyserCard::kGateEndTimeoutGates * gateMs) +
                                               " ms (status bit 7 stays set).\r\rThe measurement has been "
                                               "stopped; please check the analyser electronics.");
}

void AnalyserIo::showChannelView(const ChannelTotals& counts) {
    ChannelCounts v;
    for (int c = 1; c <= 9; ++c) {
        v.raw[c - 1] = static_cast<double>(counts[c]);
        v.enabled[c - 1] = v.raw[c - 1] * state_.ChannelEnabled[c];
    }
    display_->showChannelCounts(v);
}

void AnalyserIo::WaitMs(std::int64_t ms) {
    if (ms <= 0) return;
    const std::int64_t end = ctx_.clock.nowMs() + ms;
    // Short sleeps keep the interface alive without burning a core, and move a virtual clock on so
    // that the wait ends.
    while (ctx_.clock.nowMs() < end) {
        ctx_.pump.pump();
        ctx_.clock.sleepMs(std::min<std::int64_t>(end - ctx_.clock.nowMs(), kWaitSliceMs));
    }
}

bool AnalyserIo::presenceTest(bool portAccessAvailable) {
    if (portAccessAvailable && card_.answersGate(state_.GateUnits)) return true;
    ctx_.options.testWithoutAnalyser = true;
    ctx_.options.testSwitchEnabled = false;
    return false;
}

bool AnalyserIo::startUp(bool portAccessAvailable) {
    if (portAccessAvailable) SetupTimer();
    return presenceTest(portAccessAvailable);
}

} // namespace korvo

#pragma once
// Instruments for tests: electrometer reads give fixed values, shown lamps, read-outs and channel bars
// are kept, and a monochromator (when `mono` is set) fails its next `failures` moves; `duringMove`
// runs inside a move, like a click handled while the link waits.
#include "acquisition/instrument_devices.h"
#include "acquisition/instrument_display.h"

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace korvo::testing {

struct FakeInstruments final : InstrumentDisplay {
    explicit FakeInstruments(InstrumentValues& values) : values_(values) {}
    double kei1 = 0, kei2 = 0;
    bool mono = false;
    int failures = 0;
    std::vector<std::string> calls;
    std::function<void()> duringMove;
    bool quietDuringMoves = true;
    std::vector<std::uint8_t> lamps;
    std::optional<AnalyserReadouts> readouts;
    std::vector<ChannelCounts> channelCounts;

    // Puts the fake devices in place of the station's own.
    void install(InstrumentDevices& devices) {
        devices.monochromator = &mono_;
        devices.electrometer1 = &kei1_;
        devices.electrometer2 = &kei2_;
    }

    void showOptionsPage(int) override {}
    void showControlLamps(std::uint8_t b) override { lamps.push_back(b); }
    void showAnalyserReadouts(const AnalyserReadouts& r) override { readouts = r; }
    void showChannelCounts(const ChannelCounts& c) override { channelCounts.push_back(c); }

private:
    struct Mono final : Monochromator {
        explicit Mono(FakeInstruments& f) : f_(f) {}
        bool connected() const override { return f_.mono; }
        void MonoGoEnergy(const std::string& e) override {
            f_.calls.push_back("go " + e);
            f_.quietDuringMoves = f_.quietDuringMoves && f_.values_.MonoQuiet;
            if (f_.duringMove) std::exchange(f_.duringMove, nullptr)();
            f_.values_.MonoError = f_.failures > 0 ? 1 : 0;
            if (f_.failures > 0) --f_.failures;
        }
        void MonoStop() override {
            f_.calls.push_back("stop");
            f_.values_.MonoError = 3;
        }
        void MonoOpen() override { f_.calls.push_back("open"); }
        void MonoClose() override { f_.calls.push_back("close"); }
        void MonoGetPosition() override {}
        std::string zeroOrderText() const override { return "10"; }
        FakeInstruments& f_;
    };
    struct Kei final : Electrometer {
        Kei(FakeInstruments& f, const double& value) : f_(f), value_(value) {}
        void KeiRead() override { f_.values_.KeiValue = value_; }
        FakeInstruments& f_;
        const double& value_;
    };
    InstrumentValues& values_;
    Mono mono_{*this};
    Kei kei1_{*this, kei1};
    Kei kei2_{*this, kei2};
};

} // namespace korvo::testing

#pragma once
// Instrument links for tests: electrometer reads give fixed values, shown lamps and read-outs are kept,
// and a monochromator (when `mono` is set) fails its next `failures` moves; `duringMove` runs inside a
// move, like a click handled while the link waits.
#include "acquisition/context.h"

#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace korvo::testing {

class FakeLinks final : public InstrumentLinks {
public:
    explicit FakeLinks(AcquisitionContext& ctx) : ctx_(ctx) {}
    double kei1 = 0, kei2 = 0;
    std::vector<std::uint8_t> lamps;
    std::optional<AnalyserReadouts> readouts;
    bool mono = false;
    int failures = 0;
    std::vector<std::string> calls;
    std::function<void()> duringMove;
    bool quietDuringMoves = true;

    bool monoConnected() const override { return mono; }
    void MonoGoEnergy(const std::string& e) override {
        calls.push_back("go " + e);
        quietDuringMoves = quietDuringMoves && ctx_.values.MonoQuiet;
        if (duringMove) std::exchange(duringMove, nullptr)();
        ctx_.values.MonoError = failures > 0 ? 1 : 0;
        if (failures > 0) --failures;
    }
    void MonoStop() override {
        calls.push_back("stop");
        ctx_.values.MonoError = 3;
    }
    void MonoOpen() override { calls.push_back("open"); }
    void MonoClose() override { calls.push_back("close"); }
    void MonoGetPosition() override {}
    std::string monoZeroOrderText() const override { return "10"; }
    void KeiRead1() override { ctx_.values.KeiValue = kei1; }
    void KeiRead2() override { ctx_.values.KeiValue = kei2; }
    void DriveAutoMove(const std::string&) override {}
    void MoveAxisA(const std::string&) override {}
    void MoveAxisB(const std::string&) override {}
    void showOptionsPage(int) override {}
    void showControlLamps(std::uint8_t b) override { lamps.push_back(b); }
    void showReadouts(const std::string&, const std::string&, const std::string&, const std::string&,
                      const std::string&) override {}
    void showAnalyserReadouts(const AnalyserReadouts& r) override { readouts = r; }
    std::vector<ChannelCounts> channelCounts;
    void showChannelCounts(const ChannelCounts& c) override { channelCounts.push_back(c); }

private:
    AcquisitionContext& ctx_;
};

} // namespace korvo::testing

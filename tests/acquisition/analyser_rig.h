#pragma once
// A complete analyser set-up for tests: virtual clock, scripted pump, recorded dialogs, and
// instrument links that answer electrometer reads with fixed values and remember what was shown.
#include "acquisition/analyser_io/analyser_io.h"
#include "common/clock.h"
#include "common/dialogs.h"
#include "common/event_pump.h"

#include <optional>
#include <vector>

namespace korvo::testing {

class FakeLinks final : public InstrumentLinks {
public:
    explicit FakeLinks(AcquisitionContext& ctx) : ctx_(ctx) {}
    double kei1 = 0, kei2 = 0;
    std::vector<std::uint8_t> lamps;
    std::optional<AnalyserReadouts> readouts;
    std::vector<std::array<double, 9>> channelCounts;

    bool monoConnected() const override { return false; }
    void MonoGoEnergy(const std::string&) override {}
    void MonoStop() override {}
    void MonoOpen() override {}
    void MonoClose() override {}
    void MonoGetPosition() override {}
    std::string monoZeroOrderText() const override { return "0"; }
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
    void showChannelCounts(const std::array<double, 9>& c) override { channelCounts.push_back(c); }

private:
    AcquisitionContext& ctx_;
};

struct AnalyserRig {
    explicit AnalyserRig(PortIo& port) : AnalyserRig(port, ownClock) {}
    // Shares `clock` with a simulated card, so that its gates run on the routines' time.
    AnalyserRig(PortIo& port, VirtualClock& sharedClock)
        : clock(sharedClock), io(ctx, port, fields, state, data) {
        ctx.links = &links;
        state.MachineMode = ModeClam;
    }
    VirtualClock ownClock;
    VirtualClock& clock;
    ScriptedPump pump;
    RecordingDialogs dialogs;
    AcquisitionContext ctx{clock, pump, dialogs};
    FakeLinks links{ctx};
    MeasurementFields fields;
    RunState state;
    DataBlock data = DataBlock(4);
    AnalyserIo io;
};

} // namespace korvo::testing

#include "acquisition/context.h"
#include "acquisition/history_model.h"
#include "acquisition/instrument_devices.h"
#include "acquisition/photon_command.h"
#include "acquisition/run_state.h"
#include "fake_instruments.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace korvo {
namespace {

struct Base {
    VirtualClock clock;
    ScriptedPump pump;
    RecordingDialogs dialogs;
    AcquisitionContext ctx{clock, pump, dialogs};
};

HistoryEntry entry(const std::string& start, double ramp = 30) {
    HistoryEntry e;
    e.machineMode = ModeCfs;
    e.kindOfMeasure = 1;
    e.referenceChannel = 3;
    e.start = start;
    e.storedStart = 35;
    e.storedRamp = ramp;
    e.points = 21;
    e.scans = "5";
    e.passEnergy = "10";
    e.timePerPoint = "500";
    e.photonStart = 35.5;
    return e;
}

TEST(History, RepeatedSetsCountUpAndNewSetsGetTheNextNumber) {
    HistoryModel h;
    EXPECT_EQ(h.add(entry("10")), 1);
    EXPECT_EQ(h.key(1), "CLAM_CFS_3 # CAE # 10 # 65 # 21 # 5 # 10 # 500 # 35.5 # ");
    EXPECT_EQ(h.add(entry("11")), 2);
    EXPECT_EQ(h.add(entry("10")), 1);
    EXPECT_EQ(h.hits(1), 2);
    EXPECT_EQ(h.row(1)[1], "||");

    HistoryEntry ct = entry("100", 0); // a c(t) chart: the end is start + 10
    ct.machineMode = ModeKeithley;
    ct.storedStart = 100;
    ct.kindOfMeasure = 0;
    EXPECT_EQ(h.add(ct), 3);
    EXPECT_EQ(h.key(3).rfind("KEITHLEYc(t) # 100 # 110 # ", 0), 0u);

    h.clear();
    EXPECT_EQ(h.add(entry("11")), 1);
}

TEST(History, TheFiftyFirstSetDropsTheOldest) {
    HistoryModel h;
    for (int i = 1; i <= 50; ++i) h.add(entry(std::to_string(i)));
    h.add(entry("7"));
    EXPECT_EQ(h.add(entry("51")), 50);
    EXPECT_EQ(h.count(), 51);
    EXPECT_EQ(h.row(1)[4], "2");
    EXPECT_EQ(h.row(6)[1], "||"); // the set used twice moved up with the others
    EXPECT_EQ(h.topRow(), 40);
    EXPECT_EQ(h.selectedRow(), 50);
    EXPECT_EQ(h.add(entry("1")), 50); // the dropped set comes back as new
    EXPECT_EQ(h.row(50)[0], "52");
    EXPECT_EQ(h.row(49)[4], "51");
}

TEST(UnconnectedInstruments, ReadingsTimeOutAndMovesFailWithoutClaimingSuccess) {
    Base b;
    InstrumentDevices devices(b.ctx.instruments());
    b.ctx.values.KeiValue = 42;
    devices.electrometer1->KeiRead();
    ASSERT_EQ(b.dialogs.shown.size(), 1u);
    EXPECT_EQ(b.dialogs.shown[0].text, "Error ! Timeout (5 sec) !\rConnection to Keithley not ok ?");
    EXPECT_EQ(b.ctx.values.StopRequest, 1);
    EXPECT_EQ(b.ctx.values.KeiValue, 42);
    EXPECT_GE(b.clock.nowMs(), 10000); // two queries of 5 s, both with the interface alive
    EXPECT_LT(b.clock.nowMs(), 11000);

    Monochromator& mono = *devices.monochromator;
    EXPECT_FALSE(mono.connected());
    b.ctx.values.StopRequest = 0;
    b.ctx.values.MonoError = 2;
    mono.MonoStop();
    EXPECT_EQ(b.ctx.values.StopRequest, 1);
    EXPECT_TRUE(b.ctx.values.MonoStopRequest);
    EXPECT_EQ(b.ctx.values.MonoError, 2); // no stop command could be sent

    b.ctx.values.MonoError = 0;
    mono.MonoGoEnergy("35");
    EXPECT_NE(b.ctx.values.MonoError, 0);
    EXPECT_EQ(b.dialogs.shown.size(), 1u); // the caller reports a failed move

    b.dialogs.clear();
    EXPECT_FALSE(devices.motorDrive->DriveAutoMove("12.5"));
    // Without a parallel port no axis moves, and no move may pass for done.
    EXPECT_FALSE(devices.steppers->MoveAxisA("1"));
    EXPECT_FALSE(devices.steppers->MoveAxisB("1"));
    EXPECT_EQ(b.dialogs.shown.size(), 6u);
    EXPECT_EQ(b.dialogs.shown[0].text, "Error ! Timeout (3 sec) !\rConnection to the main-motor not ok ?");
}

TEST(PhotonCommand, MovesRetriesOnceAndReportsAFinalFailureOrNoConnection) {
    Base b;
    InstrumentDevices devices(b.ctx.instruments());
    PhotonView v;
    EXPECT_EQ(photonEnergyCommand(v, "35", *devices.monochromator, b.ctx), PhotonOutcome::Failed);
    EXPECT_TRUE(b.dialogs.saw(
        "Error ! Program not connected to COM-Port!\r\rOptions -> Setup -> Monochromator -> Connect COM !"));
    EXPECT_EQ(b.ctx.values.StopRequest, 1);

    b.dialogs.clear();
    testing::FakeInstruments fake(b.ctx.values);
    fake.install(devices);
    fake.mono = true;
    Monochromator& mono = *devices.monochromator;
    std::string captionDuring;
    std::uint32_t colourDuring = 0;
    fake.duringMove = [&] {
        captionDuring = v.caption();
        colourDuring = v.colour();
    };
    EXPECT_EQ(photonEnergyCommand(v, "0", mono, b.ctx), PhotonOutcome::Reached); // zero means the zero order
    EXPECT_EQ(fake.calls, (std::vector<std::string>{"go 10"}));
    EXPECT_EQ(captionDuring, "Stop Monoc.");
    EXPECT_EQ(colourDuring, 0xDDDDFFu);
    EXPECT_EQ(v.colour(), 0xDDFFDDu);
    EXPECT_TRUE(fake.quietDuringMoves);

    fake.calls.clear();
    fake.failures = 1;
    EXPECT_EQ(photonEnergyCommand(v, "40.5", mono, b.ctx), PhotonOutcome::Reached);
    EXPECT_EQ(fake.calls, (std::vector<std::string>{"go 40.5", "close", "open", "go 40.5"}));
    EXPECT_TRUE(b.dialogs.shown.empty());

    fake.failures = 2;
    EXPECT_EQ(photonEnergyCommand(v, "40.5", mono, b.ctx), PhotonOutcome::Failed);
    EXPECT_TRUE(b.dialogs.saw("Error ! Problem with the monochromator?"));

    fake.calls.clear();
    EXPECT_EQ(photonEnergyCommand(v, "4O", mono, b.ctx), PhotonOutcome::Failed);
    EXPECT_TRUE(fake.calls.empty());
}

TEST(PhotonCommand, ASecondPressDuringTheMoveStopsItAndIsNotRetried) {
    Base b;
    InstrumentDevices devices(b.ctx.instruments());
    testing::FakeInstruments fake(b.ctx.values);
    fake.install(devices);
    fake.mono = true;
    Monochromator& mono = *devices.monochromator;
    PhotonView v;
    fake.failures = 1; // the interrupted move reports an error
    fake.duringMove = [&] { photonEnergyCommand(v, "35", mono, b.ctx); };
    EXPECT_EQ(photonEnergyCommand(v, "35", mono, b.ctx), PhotonOutcome::Stopped);
    EXPECT_EQ(fake.calls, (std::vector<std::string>{"go 35", "stop"}));
    EXPECT_TRUE(b.ctx.values.MonoStopRequest);
    // The failed stop is reported once, by the press that stopped.
    ASSERT_EQ(b.dialogs.shown.size(), 1u);
    EXPECT_EQ(b.dialogs.shown[0].text, "Error ! Problem with the monochromator?");
    EXPECT_STREQ(v.caption(), "Set Pho. Energy");
}

} // namespace
} // namespace korvo

#include "acquisition/analyser_io/recording_port.h"
#include "acquisition/measurement_settings.h"
#include "acquisition/run/run_validation.h"
#include "files/spectrum_reader.h"
#include "rig.h"

#include <gtest/gtest.h>

using namespace korvo;
using namespace korvo::testing;

namespace {

// Validates the fields of `rig` as a new run does; true when the run may start.
bool validate(RunRig& rig) {
    rig.ctx.values.StopRequest = 0;
    rig.dialogs.clear();
    return validateNewRun(rig.ctx, rig.fields, rig.state, rig.display);
}

struct Validation : ::testing::Test {
    void SetUp() override { rig.energyScan(11, 2); }
    RunRig rig;
};

} // namespace

TEST_F(Validation, DwellTimeLimitsAndGateRaster) {
    for (const char* ok : {"10", "32000"}) {
        rig.fields.timePerPoint = ok;
        EXPECT_TRUE(validate(rig)) << ok;
    }
    for (const char* bad : {"9", "32001"}) {
        rig.fields.timePerPoint = bad;
        // The range of some earlier run must not judge this run's pass energy.
        rig.state.FullScale = 3276.8;
        EXPECT_FALSE(validate(rig)) << bad;
        EXPECT_EQ(rig.fields.passEnergyText, "10.0");
        EXPECT_TRUE(rig.dialogs.saw(std::string(bad) +
                                    "ms is outside of the valid range  ( t > 9 ms  and  t < 32000 ms)"));
    }
    // Nor does it judge a start whose ramp cannot be read: the range of this run is not known.
    rig.fields.timePerPoint = "10";
    rig.fields.start = "500";
    rig.fields.second = "abc";
    rig.fields.passEnergyText = "0.5";
    rig.fields.passEnergyIndex = 2;
    EXPECT_FALSE(validate(rig));
    EXPECT_EQ(rig.fields.passEnergyText, "0.5");
    EXPECT_EQ(rig.dialogs.texts(), std::vector<std::string>{notAFloatText("abc")});
    SetUp();
    rig.fields.timePerPoint = "505";
    EXPECT_FALSE(validate(rig));
    EXPECT_TRUE(rig.dialogs.saw(
        "Measure time (505ms) only in steps of 10 ms permitted  !\r\r(Meßzeit muß durch 10 teilbar sein !)"));
    // The timer counts 1000 x gate units in 16 bits: 65 is the longest gate.
    rig.fields.timePerPoint = "650";
    rig.fields.gateUnits = "65";
    EXPECT_TRUE(validate(rig));
    EXPECT_EQ(rig.state.GateUnits, 65);
    for (const char* bad : {"0", "66", "abc", "1.5", ""}) {
        rig.fields.gateUnits = bad;
        EXPECT_FALSE(validate(rig)) << bad;
        EXPECT_EQ(rig.dialogs.shown.size(), 1u) << bad;
        EXPECT_NE(rig.dialogs.texts().at(0).find("1 to 65"), std::string::npos) << bad;
    }
}

TEST_F(Validation, EnergyLimitsAndCorrections) {
    rig.fields.start = "3000";
    rig.fields.second = "300";
    EXPECT_FALSE(validate(rig));
    EXPECT_TRUE(rig.dialogs.saw("Max-Energy too big (>3276.8 eV) !!!!!"));

    // Pass 0.5 eV with an end energy of 500 eV (1638.4 eV range): high set required, "5" chosen.
    rig.fields.start = "400";
    rig.fields.second = "500";
    rig.fields.rampView = false;
    rig.fields.passEnergyText = "0.5";
    rig.fields.passEnergyIndex = 2;
    EXPECT_FALSE(validate(rig));
    EXPECT_EQ(rig.fields.passEnergyText, "5");
    EXPECT_EQ(rig.fields.passEnergyIndex, 11);
    EXPECT_EQ(rig.dialogs.texts().at(1), "Pass energy changed to : 5");
    EXPECT_TRUE(validate(rig)); // and now it starts

    // A decimal comma is read as a point.
    rig.fields = MeasurementFields{};
    rig.fields.start = "12,5";
    rig.fields.passEnergyText = "10.0";
    rig.fields.kindOfMeasure = 1;
    rig.fields.timePerPoint = "10";
    EXPECT_TRUE(validate(rig)) << (rig.dialogs.texts().empty() ? "" : rig.dialogs.texts()[0]);
    EXPECT_DOUBLE_EQ(rig.state.XStart, 12.5);
    EXPECT_EQ(rig.fields.start, "12.5");

    // A ramp of 0 or less is refused and replaced by 0.1.
    SetUp();
    rig.fields.second = "0";
    EXPECT_FALSE(validate(rig));
    EXPECT_TRUE(rig.dialogs.saw("Please set the Ramp value > 0 !"));
    EXPECT_EQ(rig.fields.second, "0.1");

    // Below 81.92 eV the DAC steps by 81.92 / 65536 = 0.00125 eV. An end energy less than one DAC
    // step above the start is refused, and the row becomes a ramp of one step.
    SetUp();
    rig.fields.start = "10";
    rig.fields.rampView = false;
    rig.fields.second = "10.001";
    EXPECT_FALSE(validate(rig));
    EXPECT_TRUE(rig.dialogs.saw("ramp value too small"));
    EXPECT_TRUE(rig.fields.rampView);
    EXPECT_EQ(rig.fields.second, "0.00125");
    // A step below one DAC step is refused, and the row becomes that step.
    SetUp();
    rig.fields.pointsView = true;
    rig.fields.start = "10";
    rig.fields.second = "0.01";
    EXPECT_FALSE(validate(rig));
    EXPECT_EQ(rig.dialogs.texts(),
              std::vector<std::string>{"The step size (0.001eV) is too small !\r\r"
                                       "Smallest permitted step size in this energy "
                                       "region : 0.00125eV !\r\rStep size will be changed!"});
    EXPECT_FALSE(rig.fields.pointsView);
    EXPECT_EQ(rig.fields.third, "0.00125");
}

TEST_F(Validation, PhotonModesCountTheEndEnergyFromThePhotonField) {
    rig.state.MachineMode = ModeCfs;
    rig.fields.rampView = false;
    // The analyser's fixed energy lies above the photon end: nothing to correct.
    rig.fields.start = "100";
    rig.fields.photon = "35";
    rig.fields.second = "60";
    EXPECT_TRUE(validate(rig));
    EXPECT_EQ(rig.fields.second, "60");
    EXPECT_DOUBLE_EQ(rig.state.Ramp, 25);
    // An end below the photon energy would scan downwards.
    rig.fields.start = "10";
    rig.fields.photon = "60";
    rig.fields.second = "50";
    EXPECT_FALSE(validate(rig));
    EXPECT_TRUE(rig.dialogs.saw("Please set the End energy > Start energy!"));
    EXPECT_EQ(rig.fields.second, "60.1");
}

TEST_F(Validation, PointCountsThatCannotBeMeasured) {
    for (const char* bad : {"0", "1000001", "99999999999", "1"}) {
        rig.fields.third = bad;
        EXPECT_FALSE(validate(rig)) << bad;
        ASSERT_FALSE(rig.dialogs.texts().empty()) << bad;
    }
    EXPECT_NE(rig.dialogs.texts()[0].find("Points/Scan = 1"), std::string::npos);
    // "-5" loses its sign as the points row always did.
    rig.fields.third = "-5";
    EXPECT_TRUE(validate(rig));
    EXPECT_EQ(rig.state.Points, 5);
    // A step of 0 in the step view derives no sensible point count.
    rig.fields.pointsView = false;
    rig.fields.third = "0";
    EXPECT_FALSE(validate(rig));
    // In the photon modes an end energy with a step counts from the photon energy, not from the
    // analyser's fixed energy in the start field.
    rig.state.MachineMode = ModeCfs;
    rig.fields.rampView = false;
    rig.fields.start = "10";
    rig.fields.photon = "100";
    rig.fields.second = "110";
    rig.fields.third = "0.5";
    validate(rig);
    EXPECT_EQ(rig.state.Points, 21);
    EXPECT_DOUBLE_EQ(rig.state.Ramp, 10);
}

TEST_F(Validation, OddTextsAreRefusedWithAMessageNeverCrash) {
    const char* texts[] = {"", "abc", "1e400", "-0", "12,5", " ", "nan", "inf", "0x10", "1e-400"};
    std::string* fields[] = {&rig.fields.start,    &rig.fields.second,       &rig.fields.third,
                             &rig.fields.scans,    &rig.fields.timePerPoint, &rig.fields.photon,
                             &rig.fields.gateUnits};
    for (std::string* f : fields) {
        for (const char* t : texts) {
            SetUp();
            rig.fields.timePerPoint = "10";
            rig.fields.gateUnits = "1";
            rig.fields.photon = "35";
            *f = t;
            const bool ok = validate(rig);
            if (!ok) {
                EXPECT_FALSE(rig.dialogs.texts().empty()) << "'" << t << "'";
            } else {
                EXPECT_GE(rig.state.Points, kMinPoints);
                EXPECT_GT(rig.state.Ramp, 0);
            }
        }
    }
    // A ramp of almost nothing in a photon mode would divide by it at every point.
    SetUp();
    rig.state.MachineMode = ModeCfs;
    rig.fields.second = "0.00005";
    EXPECT_FALSE(validate(rig));
    EXPECT_TRUE(rig.dialogs.saw("Ramp value too small !"));
    // Scans out of range.
    SetUp();
    for (const char* bad : {"0", "70000"}) {
        rig.fields.scans = bad;
        EXPECT_FALSE(validate(rig)) << bad;
    }
}

TEST(RunStart, RefusedRunAndLaterEditsLeaveTheLastMeasurementAsItWas) {
    // 270..300 eV with the analyser's own channel factors: one extra point on either side.
    RunRig rig;
    rig.fields.start = "270";
    rig.fields.second = "30";
    rig.fields.third = "31";
    rig.fields.scans = "2";
    rig.fields.passEnergyText = "10"; // the high set above 200 eV full scale
    rig.fields.passEnergyIndex = 12;
    rig.pump.once([&] { return rig.state.ScanNumber == 2 && rig.engine.pointsMeasured() >= 5; },
                  [&] { rig.engine.requestStop(); });
    rig.engine.startClicked();
    ASSERT_EQ(rig.engine.lastEnd(), RunEnd::Stopped);
    const Measurement before = rig.measurement;
    ASSERT_EQ(before.state.MaxPositiveShift + before.state.MaxNegativeShift, 2);

    auto savedFile = [&] {
        rig.fields.fileName = "after.dat";
        rig.dialogs.files = {(rig.dir / "save" / "after.dat").string()};
        EXPECT_EQ(rig.engine.saveClicked(), SaveOutcome::Written);
        return readSpectrumFile(rig.saver.lastWritten()).data;
    };
    auto expectUnchanged = [&](const char* when) {
        EXPECT_EQ(rig.data.size(), before.data.size()) << when;
        EXPECT_EQ(rig.data[5].Co[0], before.data[5].Co[0]) << when;
        EXPECT_EQ(rig.state.ChannelShift, before.state.ChannelShift) << when;
        EXPECT_EQ(rig.state.Points, 31) << when;
        EXPECT_TRUE(rig.engine.controls().saveEnabled) << when;
        const SpectrumFileData file = savedFile();
        EXPECT_EQ(file.anaStaText, "AnaSta:270.000") << when;
        EXPECT_EQ(file.anaEndText, "AnaEnd:300.000") << when;
        ASSERT_EQ(file.points.size(), 31u) << when;
        EXPECT_DOUBLE_EQ(file.points.front().x, 270) << when;
        EXPECT_DOUBLE_EQ(file.points.back().x, 300) << when;
        EXPECT_EQ(file.points[3].y, before.data[5].Co[0]) << when; // record 5 is the fourth row
    };

    rig.fields.start = "3000";
    rig.fields.second = "300";
    rig.engine.startClicked();
    EXPECT_EQ(rig.engine.lastEnd(), RunEnd::Refused);
    EXPECT_TRUE(rig.dialogs.saw("Max-Energy too big (>3276.8 eV) !!!!!"));
    EXPECT_TRUE(rig.dialogs.saw("Maximum energy (3276.8 eV) exceeded !?"));
    expectUnchanged("refused start");
    EXPECT_EQ(rig.ctx.history.hits(1), 1); // only the measured run made a history entry

    // The window's parameter state moves on (another pass energy, another mode); the measurement
    // and what Save writes of it do not.
    MeasurementSettings settings(rig.fields, rig.settings, rig.ctx);
    rig.fields.start = "270";
    rig.fields.second = "30";
    rig.fields.third = "7";
    rig.fields.passEnergyText = "0.1";
    settings.passEnergyChanged();
    rig.settings.MachineMode = ModeCis;
    expectUnchanged("parameters edited");
}

#include "acquisition/analyser_io/recording_port.h"
#include "acquisition/measurement_settings.h"
#include "acquisition/run/run_validation.h"
#include "files/spectrum_reader.h"
#include "rig.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

using namespace korvo;
using namespace korvo::testing;

namespace {

struct Validation : ::testing::Test {
    // Fields of a valid scan: 11 points from 100 eV over 10 eV, 2 scans, as the rig starts them.
    void SetUp() override {
        rig.fields = MeasurementFields{};
        rig.fields.passEnergyText = "10.0";
        rig.fields.passEnergyIndex = 6;
        rig.fields.kindOfMeasure = 1;
        rig.fields.timePerPoint = "10";
        rig.energyScan(11, 2);
    }
    RunRig rig;
};

std::string pointsText(std::int64_t points) {
    return "Points/Scan = " + std::to_string(points) + " cannot be measured: a scan needs from 2 to 1000000 points !";
}

std::string stepText(const std::string& step) {
    return "The step size (" + step + "eV) is too small !\r\rSmallest permitted step size in this energy region : "
                                      "0.00125eV !\r\rStep size will be changed!";
}

} // namespace

TEST_F(Validation, DwellTimeLimitsAndGateRaster) {
    for (const char* ok : {"10", "32000"}) {
        rig.fields.timePerPoint = ok;
        EXPECT_TRUE(rig.validate()) << ok;
    }
    for (const char* bad : {"9", "32001"}) {
        rig.fields.timePerPoint = bad;
        // The range of some earlier run must not judge this run's pass energy.
        rig.state.FullScale = 3276.8;
        EXPECT_FALSE(rig.validate()) << bad;
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
    EXPECT_FALSE(rig.validate());
    EXPECT_EQ(rig.fields.passEnergyText, "0.5");
    EXPECT_EQ(rig.dialogs.texts(), std::vector<std::string>{notAFloatText("abc")});
    EXPECT_EQ(rig.state.Ramp, 0); // not the ramp of the run before
    SetUp();
    rig.fields.timePerPoint = "505";
    EXPECT_FALSE(rig.validate());
    EXPECT_TRUE(rig.dialogs.saw(
        "Measure time (505ms) only in steps of 10 ms permitted  !\r\r(Meßzeit muß durch 10 teilbar sein !)"));
    // The timer counts 1000 x gate units in 16 bits: 65 is the longest gate.
    rig.fields.timePerPoint = "650";
    rig.fields.gateUnits = "65";
    EXPECT_TRUE(rig.validate());
    EXPECT_EQ(rig.state.GateUnits, 65);
    for (const char* bad : {"0", "66", "abc", "1.5", ""}) {
        rig.fields.gateUnits = bad;
        EXPECT_FALSE(rig.validate()) << bad;
        EXPECT_EQ(rig.dialogs.shown.size(), 1u) << bad;
        EXPECT_NE(rig.dialogs.texts().at(0).find("1 to 65"), std::string::npos) << bad;
    }
}

TEST_F(Validation, EnergyLimitsAndCorrections) {
    // Pass 0.5 eV with an end energy of 500 eV (1638.4 eV range): high set required, "5" chosen.
    rig.fields.start = "400";
    rig.fields.second = "500";
    rig.fields.rampView = false;
    rig.fields.passEnergyText = "0.5";
    rig.fields.passEnergyIndex = 2;
    EXPECT_FALSE(rig.validate());
    EXPECT_EQ(rig.fields.passEnergyText, "5");
    EXPECT_EQ(rig.fields.passEnergyIndex, 11);
    EXPECT_EQ(rig.dialogs.texts().at(1), "Pass energy changed to : 5");
    EXPECT_TRUE(rig.validate()); // and now it starts

    // A decimal comma is read as a point.
    rig.fields = MeasurementFields{};
    rig.fields.start = "12,5";
    rig.fields.passEnergyText = "10.0";
    rig.fields.kindOfMeasure = 1;
    rig.fields.timePerPoint = "10";
    EXPECT_TRUE(rig.validate()) << (rig.dialogs.texts().empty() ? "" : rig.dialogs.texts()[0]);
    EXPECT_DOUBLE_EQ(rig.state.XStart, 12.5);
    EXPECT_EQ(rig.fields.start, "12.5");

    // A ramp of 0 or less is refused and replaced by 0.1.
    SetUp();
    rig.fields.second = "0";
    EXPECT_FALSE(rig.validate());
    EXPECT_TRUE(rig.dialogs.saw("Please set the Ramp value > 0 !"));
    EXPECT_EQ(rig.fields.second, "0.1");
    EXPECT_EQ(rig.display.fieldsShown, 1);

    // Below 81.92 eV the DAC steps by 81.92 / 65536 = 0.00125 eV. An end energy less than one DAC
    // step above the start is refused, and the row becomes a ramp of one step.
    SetUp();
    rig.fields.start = "10";
    rig.fields.rampView = false;
    rig.fields.second = "10.001";
    EXPECT_FALSE(rig.validate());
    EXPECT_TRUE(rig.dialogs.saw("ramp value too small"));
    EXPECT_TRUE(rig.fields.rampView);
    EXPECT_EQ(rig.fields.second, "0.00125");
    // A step below one DAC step is refused, and the row becomes that step.
    SetUp();
    rig.fields.pointsView = true;
    rig.fields.start = "10";
    rig.fields.second = "0.01";
    EXPECT_FALSE(rig.validate());
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
    EXPECT_TRUE(rig.validate());
    EXPECT_EQ(rig.fields.second, "60");
    EXPECT_DOUBLE_EQ(rig.state.Ramp, 25);
    // An end below the photon energy would scan downwards.
    rig.fields.start = "10";
    rig.fields.photon = "60";
    rig.fields.second = "50";
    EXPECT_FALSE(rig.validate());
    EXPECT_TRUE(rig.dialogs.saw("Please set the End energy > Start energy!"));
    EXPECT_EQ(rig.fields.second, "60.1");
    EXPECT_EQ(rig.display.fieldsShown, 1);
}

TEST_F(Validation, PointCountsThatCannotBeMeasured) {
    // "-5" loses its sign as the points row always did.
    rig.fields.third = "-5";
    EXPECT_TRUE(rig.validate());
    EXPECT_EQ(rig.state.Points, 5);
    // A step of 0 in the step view derives no sensible point count.
    rig.fields.pointsView = false;
    rig.fields.third = "0";
    EXPECT_FALSE(rig.validate());
    // In the photon modes an end energy with a step counts from the photon energy, not from the
    // analyser's fixed energy in the start field.
    rig.state.MachineMode = ModeCfs;
    rig.fields.rampView = false;
    rig.fields.start = "10";
    rig.fields.photon = "100";
    rig.fields.second = "110";
    rig.fields.third = "0.5";
    rig.validate();
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
            const bool ok = rig.validate();
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
    EXPECT_FALSE(rig.validate());
    EXPECT_TRUE(rig.dialogs.saw("Ramp value too small !"));
}

TEST_F(Validation, PassEnergiesOfTheOtherSetAreReplacedByTheirNeighbours) {
    const std::string permitted =
        "In this energy region only the following pass energies are permitted: \r\r";
    const std::string highSet = permitted + "        2 eV\r        5 eV\r       10 eV\r       20 eV\r"
                                            "       50 eV\r      100 eV\r      200 eV";
    const std::string lowSet = permitted + "      0.1 eV\r      0.25 eV\r      0.5 eV\r      1.0 eV\r"
                                           "      2.5 eV\r      5.0 eV\r      10.0 eV";
    struct Case {
        const char* start; // ramp 10: 400 eV lies in the 1638.4 eV range, 100 eV in the 163.84 eV one
        const char* pass;
        const std::string& list;
        const char* becomes;
        int index;
    };
    for (const Case& c : {
             // Up to 5 eV the low set maps to "5", the high set's smallest but one.
             Case{"400", "0.1", highSet, "5", 11},
             Case{"400", "5.0", highSet, "5", 11},
             Case{"400", "10.0", highSet, "10", 12},
             // Below 200 eV full scale: 5 and 2 keep their value, anything else becomes "10.0".
             Case{"100", "20", lowSet, "10.0", 6},
             Case{"100", "5", lowSet, "5.0", 5},
             Case{"100", "2", lowSet, "2.5", 4},
         }) {
        SetUp();
        rig.fields.start = c.start;
        rig.fields.passEnergyText = c.pass;
        EXPECT_FALSE(rig.validate()) << c.pass;
        EXPECT_EQ(rig.dialogs.texts(),
                  (std::vector<std::string>{c.list, std::string("Pass energy changed to : ") + c.becomes}))
            << c.start << " " << c.pass;
        EXPECT_EQ(rig.fields.passEnergyText, c.becomes);
        EXPECT_EQ(rig.fields.passEnergyIndex, c.index);
        EXPECT_EQ(rig.display.fieldsShown, 1);
        // The shifts are those of the new pass energy.
        EXPECT_EQ(rig.state.shiftColumn, rig.ctx.channels.shifts.findColumn(std::string(c.becomes) + " eV"));
        EXPECT_DOUBLE_EQ(rig.state.PassEnergy, std::stod(c.becomes));
        EXPECT_TRUE(rig.validate()) << c.becomes; // the replacement is accepted as it stands
    }
}

TEST_F(Validation, AMillionPointsAreMeasurableInAPhotonMode) {
    // The photon modes have no DAC-step limit on the step, so only the point limit itself counts.
    rig.state.MachineMode = ModeCfs;
    rig.fields.third = "1000000";
    EXPECT_TRUE(rig.validate()) << (rig.dialogs.texts().empty() ? "" : rig.dialogs.texts()[0]);
    EXPECT_EQ(rig.state.Points, 1000000);
    rig.fields.third = "1000001";
    EXPECT_FALSE(rig.validate());
    EXPECT_EQ(rig.dialogs.texts(),
              std::vector<std::string>{
                  "Points/Scan = 1000001 cannot be measured: a scan needs from 2 to 1000000 points !"});
}

TEST_F(Validation, ShiftsAreAcceptedUpToTwoMillionAnalyserSteps) {
    // Pass energy 1.0 with 1 eV steps (11 points over 10 eV): a channel's shift in steps is its factor.
    // 11 points + 1,000,000 above + 999,989 below = 2,000,000 analyser steps.
    rig.fields.passEnergyText = "1.0";
    rig.fields.passEnergyIndex = 3;
    rig.setFactors({"-999989", "0", "0", "0", "0", "0", "0", "0", "1000000"}, "1.0 eV");
    EXPECT_TRUE(rig.validate()) << (rig.dialogs.texts().empty() ? "" : rig.dialogs.texts()[0]);
    EXPECT_EQ(rig.state.MaxPositiveShift, 1000000);
    EXPECT_EQ(rig.state.MaxNegativeShift, 999989);
    EXPECT_EQ(rig.state.ChannelShift[1], -999989);

    rig.setFactors({"-999990", "0", "0", "0", "0", "0", "0", "0", "1000000"}, "1.0 eV");
    EXPECT_FALSE(rig.validate());
    EXPECT_EQ(rig.dialogs.texts(),
              std::vector<std::string>{"The channel shifts of this pass energy need more "
                                       "than 2000000 analyser steps: use a larger ramp "
                                       "or fewer points !"});
    EXPECT_EQ(rig.state.MaxPositiveShift + rig.state.MaxNegativeShift, 0);
    // Without a column of the table there are no positions to shift by.
    EXPECT_FALSE(computeChannelShifts(rig.state, rig.ctx.channels.shifts, -1));
}

TEST_F(Validation, DwellTimeChecksThatTheKeithleyModeAndTheOverrideSkip) {
    const std::string raster =
        "Measure time (-25ms) only in steps of 10 ms permitted  !\r\r(Meßzeit muß durch 10 teilbar sein !)";
    struct Case {
        std::uint8_t mode;
        bool override;
        const char* time;
        std::vector<std::string> texts;
    };
    for (const Case& c : {
             Case{ModeKeithley, false, "5", {}}, // neither the range nor the gate raster
             Case{ModeKeithley, false, "40005", {}},
             Case{ModeClam, true, "32010", {}}, // the override skips the range, not the raster
             Case{ModeClam, true, "-25", {raster}},
             // No verdict on the time of an earlier run.
             Case{ModeClam, false, "abc", {notIntegerText("abc")}},
         }) {
        SetUp();
        rig.state.MachineMode = c.mode;
        rig.ctx.options.electrometerOverride = c.override;
        rig.state.TimePerPoint = 5;
        rig.fields.timePerPoint = c.time;
        EXPECT_EQ(rig.validate(), c.texts.empty()) << c.time;
        EXPECT_EQ(rig.dialogs.texts(), c.texts) << c.time;
    }
}

TEST_F(Validation, RampsAndStepsDownToOneDacStep) {
    // Below 81.92 eV one DAC step is 81.92 / 65536 = 0.00125 eV; the photon modes and the test mode
    // do not step the analyser, they only need a ramp of 0.0001 eV.
    struct Case {
        std::uint8_t mode;
        int kind;
        const char* ramp;
        const char* points;
        std::vector<std::string> texts;
        bool edited; // a field was corrected
    };
    for (const Case& c : {
             Case{ModeClam, 1, "0.0125", "11", {}, false}, // steps of exactly one DAC step
             Case{ModeClam, 1, "0.01249998", "11", {stepText("0.00125")}, true},
             Case{ModeClam, 1, "0.01", "10001", {stepText("0")}, true},
             Case{ModeClam, 1, "0.00125", "2", {}, false}, // a ramp of one DAC step
             Case{ModeClam, 1, "0.00124", "2", {"0.00124", "ramp value too small", stepText("0.00124")}, true},
             Case{ModeClam, 0, "0.00124", "2", {stepText("0.00124")}, true}, // a chart: only the step
             Case{ModeOff, 1, "0.001", "2", {}, false},
             Case{ModeCfs, 1, "0.0001", "2", {}, false},
             Case{ModeCfs, 1, "0.000099", "2", {"Ramp value too small !"}, false},
             Case{ModeCfs, 0, "0.00005", "2", {}, false},
         }) {
        SetUp();
        rig.state.MachineMode = c.mode;
        rig.fields.kindOfMeasure = c.kind;
        rig.fields.start = "10";
        rig.fields.second = c.ramp;
        rig.fields.third = c.points;
        EXPECT_EQ(rig.validate(), c.texts.empty()) << c.ramp;
        EXPECT_EQ(rig.dialogs.texts(), c.texts) << int(c.mode) << " " << c.ramp;
        EXPECT_EQ(rig.display.fieldsShown, c.edited ? 1 : 0) << c.ramp;
    }
}

TEST_F(Validation, EnergyRangesUpToTheAnalysersMaximum) {
    const std::string tooBig = "Max-Energy too big (>3276.8 eV) !!!!!";
    struct Case {
        std::uint8_t mode;
        const char* start;
        const char* ramp;
        const char* pass;
        std::vector<std::string> ranges;
        double xEnd;
        std::vector<std::string> texts;
    };
    for (const Case& c : {
             Case{ModeClam, "100", "10", "10.0", {"Xmax = 163.84 eV"}, 110, {}},
             Case{ModeClam, "3000", "276.8", "10", {"Xmax = 3276.8 eV"}, 3276.8, {}},
             Case{ModeClam, "3000", "276.9", "10", {}, 3276.9,
                  {"Maximum energy (3276.8 eV) exceeded !?", tooBig}},
             Case{ModeKeithley, "3000", "300", "10", {}, 335, {}}, // photon 35 .. 335 eV, no analyser range
             Case{ModeCfs, "100", "10", "10.0", {"Xmax = 163.84 eV"}, 45, {}}, // photon 35 .. 45 eV
         }) {
        SetUp();
        rig.state.MachineMode = c.mode;
        rig.fields.start = c.start;
        rig.fields.second = c.ramp;
        rig.fields.passEnergyText = c.pass;
        EXPECT_EQ(rig.validate(), c.texts.empty()) << c.start << "+" << c.ramp;
        EXPECT_EQ(rig.dialogs.texts(), c.texts) << c.start << "+" << c.ramp;
        EXPECT_EQ(rig.display.ranges, c.ranges) << c.start << "+" << c.ramp;
        EXPECT_DOUBLE_EQ(rig.state.XEnd, c.xEnd) << c.start << "+" << c.ramp;
    }
    // A run refused already shows no range and does not repeat the maximum.
    rig.state.MachineMode = ModeClam;
    rig.fields.start = "3000";
    rig.fields.second = "300";
    rig.fields.timePerPoint = "32010";
    EXPECT_FALSE(rig.validate());
    EXPECT_EQ(rig.dialogs.texts(), (std::vector<std::string>{
                                       "32010ms is outside of the valid range  ( t > 9 ms  and  t < 32000 ms)", tooBig}));
    EXPECT_TRUE(rig.display.ranges.empty());
}

TEST_F(Validation, ScansFromOneToTheCounterWidthAndPointsFromTwo) {
    struct Case {
        const char* scans;
        int kind;
        const char* points;
        std::vector<std::string> texts;
    };
    const auto scansText = [](const char* n) {
        return "The number of scans (" + std::string(n) + ") must be between 1 and 65000 !";
    };
    for (const Case& c : {
             Case{"1", 1, "2", {}},
             Case{"65000", 1, "11", {}},
             Case{"0", 1, "11", {scansText("0")}},
             Case{"65001", 1, "11", {scansText("65001")}},
             Case{"0", 0, "11", {}}, // a chart counts until stopped
             Case{"x", 1, "11", {notIntegerText("x")}},
             Case{"2", 1, "0", {pointsText(0)}},
             Case{"2", 1, "1", {pointsText(1)}},
             Case{"2", 1, "1000001", {pointsText(1000001)}},
             Case{"2", 1, "99999999999", {notIntegerText("99999999999")}},
         }) {
        SetUp();
        rig.fields.scans = c.scans;
        rig.fields.kindOfMeasure = c.kind;
        rig.fields.third = c.points;
        EXPECT_EQ(rig.validate(), c.texts.empty()) << c.scans << " " << c.points;
        EXPECT_EQ(rig.dialogs.texts(), c.texts) << c.scans << " " << c.points;
        if (c.texts.empty()) {
            EXPECT_EQ(rig.state.ScansTarget, std::stoi(c.scans));
        }
    }
}

TEST_F(Validation, ChannelShiftsNeedAColumnTwoPointsAFiniteRampAndBoundedShifts) {
    const int column = rig.ctx.channels.shifts.findColumn("10.0 eV");
    rig.setFactors({"-0.1", "0", "0", "0", "0", "0", "0", "0", "0.1"});
    struct Case {
        int points;
        double ramp;
        int shift9; // of channeltron 9; 99: refused
    };
    const double inf = std::numeric_limits<double>::infinity();
    for (const Case& c : {Case{2, 1, 1}, Case{11, 10, 1}, Case{11, -10, -1}, Case{1, 10, 99}, Case{11, 0, 99},
                          Case{11, inf, 99}, Case{11, std::nan(""), 99}}) {
        RunState s;
        s.ChannelPosition[0] = 50; // no channeltron: it never shifts anything
        s.PassEnergy = 10;
        s.Points = c.points;
        s.Ramp = c.ramp;
        s.MaxPositiveShift = s.MaxNegativeShift = 5;
        s.ChannelShift.fill(5);
        const bool refused = c.shift9 == 99;
        EXPECT_EQ(computeChannelShifts(s, rig.ctx.channels.shifts, column), !refused) << c.points << " " << c.ramp;
        EXPECT_EQ(s.ChannelShift[9], refused ? 0 : c.shift9) << c.points << " " << c.ramp;
        EXPECT_EQ(s.ChannelShift[1], refused ? 0 : -c.shift9) << c.points << " " << c.ramp;
        EXPECT_EQ(s.MaxPositiveShift, refused ? 0 : std::abs(c.shift9));
        EXPECT_EQ(s.MaxNegativeShift, refused ? 0 : std::abs(c.shift9));
    }

    // Shifts all one way leave nothing on the other side.
    for (const char* f : {"0.1", "-0.1"}) {
        rig.setFactors({f, f, f, f, f, f, f, f, f});
        RunState s;
        s.PassEnergy = 10;
        s.Points = 11;
        s.Ramp = 10;
        ASSERT_TRUE(computeChannelShifts(s, rig.ctx.channels.shifts, column)) << f;
        EXPECT_EQ(s.MaxPositiveShift, f[0] == '-' ? 0 : 1) << f;
        EXPECT_EQ(s.MaxNegativeShift, f[0] == '-' ? 1 : 0) << f;
    }

    // A shift beyond any data block is refused before it is rounded; single-channel runs ignore the
    // table, and a run refused already hears nothing about it.
    const std::string tooMany = "The channel shifts of this pass energy need more than 2000000 analyser steps: use a "
                                "larger ramp or fewer points !";
    rig.setFactors({"0", "0", "0", "0", "0", "0", "0", "0", "1e19"});
    EXPECT_FALSE(rig.validate());
    EXPECT_EQ(rig.dialogs.texts(), std::vector<std::string>{tooMany});
    EXPECT_EQ(rig.display.extra, std::vector<std::int64_t>{0});
    rig.fields.timePerPoint = "32010";
    EXPECT_FALSE(rig.validate());
    EXPECT_EQ(rig.dialogs.texts().size(), 1u);
    rig.fields.timePerPoint = "10";
    rig.state.MachineMode = ModeCfs;
    EXPECT_TRUE(rig.validate());
    // Without a column the analyser scan is refused; the electrometer needs none.
    rig.fields.passEnergyText = "7";
    for (std::uint8_t mode : {ModeClam, ModeKeithley}) {
        rig.state.MachineMode = mode;
        EXPECT_EQ(rig.validate(), mode == ModeKeithley);
        EXPECT_EQ(rig.dialogs.texts(),
                  mode == ModeKeithley
                      ? std::vector<std::string>{}
                      : std::vector<std::string>{"Program Error ! No energy shift values for this Pass-Energy ???"});
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

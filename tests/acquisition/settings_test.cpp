#include "acquisition/measurement_settings.h"
#include "common/ini_file.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <tuple>

#include <filesystem>
#include <fstream>

namespace korvo {
namespace {

namespace fs = std::filesystem;

struct Rig {
    VirtualClock clock;
    NullPump pump;
    RecordingDialogs dialogs;
    AcquisitionContext ctx{clock, pump, dialogs};
    MeasurementFields fields;
    RunState run;
    MeasurementSettings settings{fields, run, ctx};
    testing::TempDir tmp;
    const fs::path& dir = tmp.path;
    IniFile ini{tmp.file("korvo.ini")};

    Rig() {
        settings.store.startDir = dir.string();
        run.MachineMode = ModeClam;
    }
    void writeFile(const std::string& bytes) { std::ofstream(ini.path(), std::ios::binary) << bytes; }
    void selectPassEnergy(int index) {
        fields.passEnergyIndex = index;
        fields.passEnergyText = kPassEnergyItems[index];
    }
};

TEST(ChannelShiftTable, ColumnsByPassEnergyLoadAndSaveWithBadCellsFlagged) {
    ChannelShiftTable t;
    EXPECT_EQ(t.findColumn("10 eV"), 11);
    EXPECT_EQ(t.findColumn("10.0 eV"), 7);
    t.setCell(14, 0, "10 eV"); // the last match wins
    EXPECT_EQ(t.findColumn("10 eV"), 14);
    t.restoreDefaults();

    IniFile ini;
    ini.parse("[10 eV]\r\nC4=0.5\r\n");
    t.load(ini);
    EXPECT_DOUBLE_EQ(t.factor(11, 4), 0.5);
    EXPECT_EQ(t.cell(11, 1), "0.0");    // a section that exists is taken as the user's whole column
    EXPECT_EQ(t.cell(1, 1), " 0.1600"); // no section: the defaults stay, shifts are not lost

    t.setCell(3, 2, "abc");
    IniFile out;
    t.save(out);
    ChannelShiftTable back;
    back.load(out);
    EXPECT_EQ(back.cell(7, 9), "-0.1046");
    EXPECT_EQ(back.cell(3, 2), "abc");
    EXPECT_DOUBLE_EQ(back.factor(3, 2), 0.0);
    ASSERT_EQ(back.badCells().size(), 1u);
    EXPECT_EQ(back.badCells()[0].row, 2);
}

TEST(RowToggles, ConvertBetweenRampAndEndAndBetweenPointsAndStep) {
    Rig r;
    r.fields.start = "10";
    r.fields.second = "10";
    r.fields.third = "21";
    ASSERT_TRUE(r.settings.togglePoints());
    EXPECT_EQ(r.fields.third, "0.5");
    ASSERT_TRUE(r.settings.togglePoints());
    EXPECT_EQ(r.fields.third, "21");

    ASSERT_TRUE(r.settings.toggleRamp());
    EXPECT_EQ(r.fields.second, "20");
    ASSERT_TRUE(r.settings.togglePoints()); // the ramp is end - start in the end view
    EXPECT_EQ(r.fields.third, "0.5");
    ASSERT_TRUE(r.settings.toggleRamp());
    EXPECT_EQ(r.fields.second, "10");

    r.run.MachineMode = ModeCfs; // photon-scanning: the end is counted from the photon field
    r.fields.photon = "35";
    ASSERT_TRUE(r.settings.toggleRamp());
    EXPECT_EQ(r.fields.second, "45");
    ASSERT_TRUE(r.settings.togglePoints());
    EXPECT_EQ(r.fields.third, "21");

    r.fields.second = "1,5";
    EXPECT_FALSE(r.settings.toggleRamp());
    EXPECT_FALSE(r.fields.rampView); // caption and field stay together
    EXPECT_EQ(r.fields.second, "1,5");
    EXPECT_EQ(r.dialogs.texts(), std::vector<std::string>{"1,5 ist kein gültiger Wert (Gleitkomma)\r(Leerzeichen?)"});
}

TEST(RowToggles, TheEndCountsFromTheFieldOfTheModeAndTheTestModeOnlyRelabels) {
    // Start 10, photon 35, ramp 10.
    const std::pair<std::uint8_t, const char*> ends[] = {
        {ModeOff, "10"}, {ModeClam, "20"}, {ModeCfs, "45"}, {ModeCis, "45"}, {ModeKeithley, "45"}};
    for (const auto& [mode, end] : ends) {
        Rig r;
        r.run.MachineMode = mode;
        r.fields.start = "10";
        r.fields.photon = "35";
        r.fields.second = "10";
        ASSERT_TRUE(r.settings.toggleRamp()) << int(mode);
        EXPECT_FALSE(r.fields.rampView);
        EXPECT_EQ(r.fields.second, end) << int(mode);
    }
}

TEST(RowToggles, PointsAndStepsAtTheirLimits) {
    struct Case {
        const char* ramp;
        const char* third;
        bool pointsView;
        const char* result; // nullptr: refused with the warning about `third`
    };
    for (const Case& c : {
             Case{"10", "4", true, "3.3333"}, // five significant digits
             Case{"10", "0", true, "10"},     // |ramp / -1|
             Case{"10", "-3", true, "2.5"},
             Case{"10", "1", true, nullptr},
             Case{"2147483646", "1", false, "2147483647"}, // the largest point count
             Case{"2147483647", "1", false, nullptr},
             Case{"10", "1e-9", false, nullptr}, // far too many points
         }) {
        Rig r;
        r.fields.second = c.ramp;
        r.fields.third = c.third;
        r.fields.pointsView = c.pointsView;
        EXPECT_EQ(r.settings.togglePoints(), c.result != nullptr) << c.ramp << " " << c.third;
        EXPECT_EQ(r.fields.third, c.result ? c.result : c.third) << c.ramp << " " << c.third;
        EXPECT_EQ(r.fields.pointsView, c.result ? !c.pointsView : c.pointsView);
        EXPECT_EQ(r.dialogs.texts(), c.result ? std::vector<std::string>{}
                                              : std::vector<std::string>{notAFloatText(c.third)});
    }
}

TEST(PassEnergyChange, DerivesPositionsShiftsAndExtraPoints) {
    Rig r;
    r.fields.second = "10";
    r.fields.third = "21";
    r.fields.kindOfMeasure = 1;
    r.selectPassEnergy(12); // "10": column "10 eV", factors times 10
    PassEnergyView v = r.settings.passEnergyChanged();
    ASSERT_TRUE(v.columnFound);
    EXPECT_TRUE(v.listRebuilt);
    EXPECT_EQ(r.run.shiftColumn, 11);
    EXPECT_NEAR(r.run.ChannelPosition[1], 1.12, 1e-12);
    // shift = 20 x position / 10: 2.24, 1.72, 1.12, 0.6, 0, -0.56, -1.16, -1.8, -2.4
    const std::array<int, 10> shifts{0, 2, 2, 1, 1, 0, -1, -1, -2, -2};
    for (int i = 1; i <= 9; ++i) EXPECT_EQ(r.run.ChannelShift[i], shifts[i]) << i;
    EXPECT_EQ(v.infoText, "4 Extra Points");
    ASSERT_EQ(v.channelItems.size(), 9u);
    EXPECT_EQ(v.channelItems[5], "C_6    -0.280");
    EXPECT_EQ(v.channelItems[8].rfind("C_9    -", 0), 0u) << v.channelItems[8];
    // Positions are set for channeltrons 1 to 9 and nothing beside them is written.
    RunState s;
    s.PassEnergy = 10;
    s.ChannelShift.fill(7);
    s.ChannelPosition[0] = 3;
    setChannelPositions(s, r.ctx.channels.shifts, 11);
    EXPECT_NEAR(s.ChannelPosition[9], -1.2, 1e-12);
    EXPECT_EQ(s.ChannelPosition[0], 3.0);
    EXPECT_EQ(s.ChannelShift, (std::array<std::int32_t, 10>{7, 7, 7, 7, 7, 7, 7, 7, 7, 7}));

    // Exact halves round to even.
    r.ctx.channels.shifts.setCell(11, 1, "0.5");  // 5 eV  -> 2.5 -> 2
    r.ctx.channels.shifts.setCell(11, 2, "0.7");  // 7 eV  -> 3.5 -> 4
    r.ctx.channels.shifts.setCell(11, 9, "-0.5"); // -5 eV -> -2.5 -> -2
    r.fields.second = "2";
    r.fields.third = "2";
    v = r.settings.passEnergyChanged();
    EXPECT_EQ(r.run.ChannelShift[1], 2);
    EXPECT_EQ(r.run.ChannelShift[2], 4);
    EXPECT_EQ(r.run.ChannelShift[9], -2);

    // The channel list: the reference is always 5 in mode 2 (CLAM), the clicked channel elsewhere.
    r.settings.channelListSelected(0);
    EXPECT_EQ(r.run.ReferenceChannel, 5);
    r.run.MachineMode = ModeCfs;
    ChannelListView list = r.settings.channelListSelected(0);
    EXPECT_EQ(list.items[4], "C_5    -5.000");
    for (int outside : {-1, 9, 100}) { // nothing selected keeps the reference
        r.settings.channelListSelected(outside);
        EXPECT_EQ(r.run.ReferenceChannel, 1) << outside;
    }
    r.run.MachineMode = ModeOff;
    r.settings.channelListSelected(8);
    EXPECT_EQ(r.run.ReferenceChannel, 9);
}

TEST(PassEnergyChange, ReportsMissingColumnsBadNumbersAndTinyRamps) {
    Rig r;
    r.fields.kindOfMeasure = 1;
    r.selectPassEnergy(7); // a separator
    r.run.MaxPositiveShift = 3;
    PassEnergyView v = r.settings.passEnergyChanged();
    EXPECT_FALSE(v.listRebuilt);
    EXPECT_EQ(r.run.MaxPositiveShift, 3);
    EXPECT_TRUE(r.dialogs.saw("Program Error ! No energy shift values for this Pass-Energy ???"));

    r.dialogs.clear();
    r.selectPassEnergy(12);
    r.fields.third = "2O"; // a letter O
    v = r.settings.passEnergyChanged();
    EXPECT_EQ(r.ctx.values.StopRequest, 1);
    EXPECT_TRUE(r.dialogs.saw("2O ist kein gültiger Wert (Gleitkomma)\r(Leerzeichen?)"));

    r.dialogs.clear();
    r.ctx.values.StopRequest = 0;
    r.fields.third = "20";
    r.fields.second = "0";
    v = r.settings.passEnergyChanged();
    EXPECT_TRUE(r.dialogs.saw("Ramp value too small !"));
    EXPECT_EQ(r.ctx.values.StopRequest, 1);

    r.dialogs.clear();
    r.fields.kindOfMeasure = 0; // a c(t) chart needs no ramp and uses no shifts
    v = r.settings.passEnergyChanged();
    EXPECT_TRUE(r.dialogs.shown.empty());
    EXPECT_EQ(v.infoText, "0 Extra Points");
}

TEST(PassEnergyChange, ShiftsAreDerivedAfreshForChannelsOneToNineOnly) {
    Rig r;
    r.fields.second = "10";
    r.fields.third = "21";
    r.fields.kindOfMeasure = 1;
    r.selectPassEnergy(12);
    r.run.ChannelPosition[0] = 3; // slot 0 is no channeltron
    r.run.ChannelShift[0] = 7;
    // Shift = 20 x factor x 10 / 10: every channel 2 steps up, then down, then none.
    struct Case {
        const char* factor;
        int up, down;
        const char* info;
    };
    for (const Case& c : {Case{"0.1", 2, 0, "2 Extra Points"}, Case{"-0.1", 0, 2, "2 Extra Points"},
                          Case{"0", 0, 0, "0 Extra Points"}}) {
        for (int i = 1; i <= 9; ++i) r.ctx.channels.shifts.setCell(11, i, c.factor);
        const PassEnergyView v = r.settings.passEnergyChanged();
        EXPECT_EQ(r.run.MaxPositiveShift, c.up) << c.factor;
        EXPECT_EQ(r.run.MaxNegativeShift, c.down) << c.factor;
        EXPECT_EQ(r.run.ChannelShift[9], c.up - c.down) << c.factor;
        EXPECT_EQ(v.infoText, c.info);
    }
    EXPECT_EQ(r.run.ChannelShift[0], 7);
    EXPECT_TRUE(r.dialogs.shown.empty());

    // A ramp of 0.0001 eV is the smallest that an energy scan takes.
    for (const char* ramp : {"0.0001", "0.000099"}) {
        r.fields.second = ramp;
        r.ctx.values.StopRequest = 0;
        r.dialogs.clear();
        r.settings.passEnergyChanged();
        const bool tooSmall = std::string(ramp) != "0.0001";
        EXPECT_EQ(r.dialogs.saw("Ramp value too small !"), tooSmall) << ramp;
        EXPECT_EQ(r.ctx.values.StopRequest, tooSmall ? 1 : 0) << ramp;
    }

    // Unreadable cells of other pass energies are not this one's concern.
    r.fields.second = "10";
    r.dialogs.clear();
    r.ctx.channels.shifts.setCell(3, 2, "a");
    r.ctx.channels.shifts.setCell(14, 4, "b");
    r.ctx.channels.shifts.setCell(11, 3, "x");
    r.settings.passEnergyChanged();
    EXPECT_EQ(r.dialogs.texts(),
              std::vector<std::string>{"No energy shift value for 10 eV (0 is used):\rChannel 3: \"x\""});
    EXPECT_EQ(r.run.ChannelPosition[3], 0.0);
}

TEST(SettingsFile, RoundTripKeepsParametersAndGeneralKeys) {
    Rig r;
    r.fields.second = "40";
    r.fields.third = "41";
    r.selectPassEnergy(4);
    r.fields.kindOfMeasure = 2;
    r.fields.sample = "Cu(111)\r\nline two";
    r.fields.fileName = "c_021205.003";
    r.run.TimeCorrection = 25;
    r.settings.store.plotColour = 0x123456;
    r.settings.store.saveDir = r.dir.string();
    r.settings.store.card = "sim";
    r.ctx.options.saveRawData = true;
    r.ctx.options.saveExtraPoints = true;
    ASSERT_TRUE(r.settings.toggleRamp()); // the end view is stored as a ramp
    ASSERT_TRUE(r.settings.togglePoints());
    ASSERT_TRUE(r.settings.write(r.ini, "CLAM", true));
    EXPECT_EQ(r.run.Points, 41);
    EXPECT_TRUE(r.dialogs.shown.empty());

    Rig b;
    b.ini.setPath(r.ini.path());
    b.settings.read(b.ini, "", true);
    EXPECT_TRUE(b.dialogs.shown.empty());
    EXPECT_EQ(b.fields.second, "40");
    EXPECT_TRUE(b.fields.rampView);
    EXPECT_EQ(b.fields.passEnergyIndex, 4);
    EXPECT_EQ(b.fields.kindOfMeasure, 2);
    EXPECT_EQ(b.fields.sample, "Cu(111)  line two");
    EXPECT_EQ(b.settings.store.lastFileName, "c_021205.003");
    EXPECT_EQ(b.settings.store.plotColour, 0x123456);
    EXPECT_EQ(b.settings.store.saveDir, r.dir.string());
    EXPECT_EQ(b.settings.store.machine, "CLAM");
    EXPECT_EQ(b.settings.store.card, "sim");
    EXPECT_EQ(b.run.MachineMode, ModeClam);
    EXPECT_EQ(b.run.TimeCorrection, 25);
    EXPECT_EQ(b.ctx.options.timeCorrection, 25);
    EXPECT_TRUE(b.ctx.options.saveRawData);
    EXPECT_TRUE(b.ctx.options.saveExtraPoints);

    // The first and the last pass energy of the list are found again as well.
    for (int index : {0, 16}) {
        r.selectPassEnergy(index);
        ASSERT_TRUE(r.settings.write(r.ini, "CLAM", false));
        b.settings.read(b.ini, "CLAM", false, false);
        EXPECT_EQ(b.fields.passEnergyIndex, index);
        EXPECT_EQ(b.fields.passEnergyText, kPassEnergyItems[index]);
    }
    // A value that is no item of the list leaves the selection as it is.
    r.fields.passEnergyText = "7";
    ASSERT_TRUE(r.settings.write(r.ini, "CLAM", false));
    b.settings.read(b.ini, "CLAM", false, false);
    EXPECT_EQ(b.fields.passEnergyIndex, 16);
    EXPECT_EQ(b.fields.passEnergyText, "200");

    // Values that cannot be derived keep what the file has, and say so.
    r.fields.rampView = false;
    r.fields.pointsView = false;
    r.fields.start = "x";
    ASSERT_TRUE(r.settings.write(r.ini, "CLAM", false));
    EXPECT_EQ(r.dialogs.texts(), std::vector<std::string>{"These values could not be written to the INI-File, the "
                                                          "stored ones are kept:\r[CLAM] rampe\r[CLAM] points"});
    IniFile f(r.ini.path());
    f.load();
    EXPECT_EQ(f.readString("CLAM", "rampe", ""), "40");
    EXPECT_EQ(f.readString("CLAM", "points", ""), "41");
}

TEST(SettingsFile, SectionNamesDecideLabelsKeysAndTheStoredFileName) {
    struct Case {
        const char* section;
        const char* scansKey; // where the scans field is stored
        const char* passKey;  // nullptr: none
        const char* passLabel;
    };
    const char* pass = "Pass Energy (eV)";
    const char* photon = "Photon En. (eV)";
    for (const Case& c : {
             Case{"Au", "scan", "pass energy", pass},
             Case{"BIS", "scan", "photon energy", photon},
             Case{"CLAM", "scan", "pass energy", pass},
             Case{"Druck", "points", nullptr, pass},
             Case{"IPES", "scan", "photon energy", photon},
             Case{"OFF", "scan", "pass energy", pass},
             Case{"RFAAuger", "phase", "sens", pass},
             Case{"XPS", "scan", "pass energy", pass},
         }) {
        const std::string section = c.section;
        Rig r;
        r.fields.scans = "4";
        r.fields.passEnergyText = "1.0";
        r.fields.fileName = "c_021205.001";
        ASSERT_TRUE(r.settings.write(r.ini, section, false)) << section;
        IniFile f(r.ini.path());
        f.load();
        EXPECT_EQ(f.readString(section, c.scansKey, ""), "4") << section;
        EXPECT_EQ(f.hasKey(section, "start"), section != "Druck") << section;
        for (const char* key : {"scan", "phase"})
            if (key != std::string(c.scansKey)) {
                EXPECT_FALSE(f.hasKey(section, key)) << section << " " << key;
            }
        for (const char* key : {"pass energy", "photon energy", "sens"})
            EXPECT_EQ(f.readString(section, key, "-"), c.passKey && c.passKey == std::string(key) ? "1.0" : "-")
                << section << " " << key;
        // The "c_" name of an analyser measurement is stored in every section but the test mode's.
        EXPECT_EQ(f.hasKey(section, "filename"), section != "OFF") << section;

        const SettingsView v = r.settings.read(r.ini, section, false, false);
        EXPECT_EQ(v.scansLabel, section == "Druck" ? "Points" : "Scans") << section;
        EXPECT_EQ(v.passEnergyLabel, c.passLabel) << section;
        if (c.scansKey != std::string("phase")) {
            EXPECT_EQ(r.fields.scans, "4") << section;
        }
    }
}

TEST(SettingsFile, MissingFileGivesDefaultsAndTheFilenameRuleGuardsTheStoredName) {
    Rig r;
    r.run.TimeCorrection = 3;
    const SettingsView v = r.settings.read(r.ini, "", true);
    EXPECT_TRUE(r.dialogs.shown.empty());
    EXPECT_EQ(r.run.MachineMode, ModeOff);
    EXPECT_EQ(r.fields.passEnergyIndex, 12);
    EXPECT_EQ(v.passEnergyLabel, "Pass Energy (eV)");
    EXPECT_EQ(r.fields.kindOfMeasure, 0);
    EXPECT_EQ(r.fields.scans, "10");
    EXPECT_EQ(r.settings.store.lastFileName, "t_990101.000");
    EXPECT_EQ(r.settings.store.splashTimeMs, 3000);
    EXPECT_EQ(r.run.TimeCorrection, 10);
    EXPECT_EQ(r.ctx.options.timeCorrection, 10);

    auto stored = [&](const std::string& section) {
        IniFile f(r.ini.path());
        f.load();
        return f.readString(section, "filename", "-");
    };
    r.fields.fileName = "x_1.000";
    r.settings.write(r.ini, "CLAM", false);
    EXPECT_EQ(stored("CLAM"), "-");
    r.fields.fileName = "t_021205.001";
    r.settings.write(r.ini, "CLAM", false);
    EXPECT_EQ(stored("CLAM"), "-");
    r.settings.write(r.ini, "OFF", false);
    EXPECT_EQ(stored("OFF"), "t_021205.001");
    r.fields.fileName = "c_021205.002";
    r.settings.write(r.ini, "OFF", false);
    r.settings.write(r.ini, "CLAM", false);
    EXPECT_EQ(stored("OFF"), "t_021205.001");
    EXPECT_EQ(stored("CLAM"), "c_021205.002");
}

TEST(SettingsFile, LegacySectionsRenameKeys) {
    Rig r;
    r.writeFile("[general]\r\nmachine=Druck\r\n[Druck]\r\npoints=250\r\n"
                "[IPES]\r\nphoton energy=9.7\r\n");
    SettingsView v = r.settings.read(r.ini, "", true);
    EXPECT_EQ(r.fields.scans, "250");
    EXPECT_EQ(v.scansLabel, "Points");

    r.ini.load();
    r.ini.writeString("general", "machine", "IPES");
    r.ini.save();
    v = r.settings.read(r.ini, "", true);
    EXPECT_EQ(r.fields.passEnergyText, "9.7");
    EXPECT_EQ(r.fields.passEnergyIndex, -1);
    EXPECT_EQ(v.passEnergyLabel, "Photon En. (eV)");
}

TEST(SettingsFile, GeneralKeysAtTheirLimits) {
    struct Case {
        std::string general; // lines of [general] after machine=CLAM
        std::vector<std::string> unusable;
    };
    const std::vector<std::string> none, card{"[general] card"};
    for (const Case& c : {
             Case{"card=test", none}, Case{"card=sim", none}, Case{"card=port", none},
             // Below, between and above the three names.
             Case{"card=abc", card}, Case{"card=q", card}, Case{"card=sz", card}, Case{"card=usb", card},
             Case{"time=0", none}, Case{"time=-1", {"[general] time"}},
             Case{"SaveExtrapoints=1\r\nSaveRawData=1", none}, Case{"SaveExtrapoints=0\r\nSaveRawData=2", none},
         }) {
        Rig r;
        r.settings.store.card = "sim"; // a refused card falls back to "test", not to what was there
        r.ctx.options.saveExtraPoints = r.ctx.options.saveRawData = true;
        r.writeFile("[general]\r\nmachine=CLAM\r\n" + c.general + "\r\n[CLAM]\r\nkind of measure=0\r\n");
        const SettingsView v = r.settings.read(r.ini, "", true);
        EXPECT_EQ(v.unusableKeys, c.unusable) << c.general;
        const std::string cardName = c.general.rfind("card=", 0) == 0 ? c.general.substr(5) : "test";
        EXPECT_EQ(r.settings.store.card, c.unusable == card ? "test" : cardName) << c.general;
        EXPECT_EQ(r.settings.store.splashTimeMs, c.general == "time=0" ? 0 : 3000) << c.general;
        EXPECT_EQ(r.ctx.options.saveExtraPoints, c.general.find("SaveExtrapoints=1") == 0) << c.general;
        EXPECT_EQ(r.ctx.options.saveRawData, c.general.find("SaveRawData=1") != std::string::npos) << c.general;
    }
    // The autosave and NeXus switches: off unless the file says 1.
    for (const auto& [saving, on, unusable] : {std::tuple{"", false, false}, std::tuple{"autosave=1", true, false},
                                               std::tuple{"autosave=0", false, false},
                                               std::tuple{"autosave=yes", false, true}}) {
        for (const std::string key : {"autosave", "nexus"}) {
            Rig r;
            bool& option = key == "autosave" ? r.ctx.options.autoSave : r.ctx.options.saveNexus;
            option = !on;
            std::string line(saving);
            if (!line.empty()) line.replace(0, 8, key);
            r.writeFile("[general]\r\nmachine=CLAM\r\n[saving]\r\n" + line + "\r\n");
            const SettingsView v = r.settings.read(r.ini, "", true);
            EXPECT_EQ(option, on) << line;
            EXPECT_EQ(v.unusableKeys, unusable ? std::vector<std::string>{"[saving] " + key} : none) << line;
        }
    }
    // A machine name sorting after "OFF" is an analyser section all the same.
    Rig x;
    x.writeFile("[general]\r\nmachine=XPS\r\n");
    x.settings.read(x.ini, "", true);
    EXPECT_EQ(x.run.MachineMode, ModeClam);
}

TEST(SettingsFile, DamagedValuesFallBackAndAreReportedOnce) {
    Rig r;
    using namespace std::string_literals;
    r.writeFile("[general]\r\nmachine=CLAM\r\ncolor=grey\r\ntime=-5\r\ntime correction=1.5\r\n"
                "card=usb\r\n[CLAM]\r\nkind of measure=7\r\nstart=\x01\xff\x00zz\r\n[CL"s);
    r.settings.read(r.ini, "", true);
    EXPECT_EQ(r.dialogs.texts(),
              std::vector<std::string>{"These values of the INI-File could not be used, defaults are taken "
                                       "instead:\r[general] color\r[general] time\r[general] time correction\r"
                                       "[general] card\r[CLAM] kind of measure"});
    EXPECT_EQ(r.settings.store.plotColour, 0xE0E0E0);
    EXPECT_EQ(r.settings.store.splashTimeMs, 3000);
    EXPECT_EQ(r.run.TimeCorrection, 10);
    EXPECT_EQ(r.run.MachineMode, ModeClam);
    EXPECT_EQ(r.fields.scans, "10"); // outside the "Druck" section the scans, not the points

    // A machine name that cannot be written back as a section header (an empty one included): the
    // "OFF" section is used. A kind of measure outside 0..2 is refused.
    struct Case {
        std::string machine, kind, unusable;
    };
    for (const Case& c : {Case{"a]b", "1", "[general] machine"}, Case{"", "1", "[general] machine"},
                          Case{"OFF", "-1", "[OFF] kind of measure"}, Case{"OFF", "3", "[OFF] kind of measure"}}) {
        Rig m;
        m.writeFile("[general]\r\nmachine=" + c.machine + "\r\n[OFF]\r\nstart=5\r\nkind of measure=" + c.kind +
                    "\r\n");
        const SettingsView v = m.settings.read(m.ini, "", true);
        EXPECT_EQ(m.settings.store.machine, "OFF") << c.machine;
        EXPECT_EQ(m.run.MachineMode, ModeOff) << c.machine;
        EXPECT_EQ(m.fields.start, "5") << c.machine;
        EXPECT_EQ(m.fields.kindOfMeasure, c.kind == "1" ? 1 : 0) << c.kind;
        EXPECT_EQ(v.unusableKeys, std::vector<std::string>{c.unusable}) << c.machine << c.kind;
        EXPECT_EQ(m.dialogs.shown.size(), 1u) << c.machine;
    }

    // A path that cannot be read as a file: defaults and one message, and it is never overwritten.
    Rig d;
    d.ini.setPath(d.dir.string());
    const SettingsView v = d.settings.read(d.ini, "", true);
    EXPECT_FALSE(v.fileRead);
    const std::string notAFile = "Cannot read \"" + d.dir.string() + "\": not a regular file";
    EXPECT_EQ(d.dialogs.texts(), std::vector<std::string>{"The INI-File could not be read (" + notAFile +
                                                          ") !\rDefault values are used."});
    EXPECT_FALSE(d.settings.write(d.ini, "CLAM", true));
    EXPECT_EQ(d.dialogs.shown.size(), 1u); // the same problem is not told twice
    // Mode switches and exits repeat neither message, and keep what the user typed.
    d.fields.start = "123";
    EXPECT_TRUE(d.settings.read(d.ini, "CLAM", false).showOptionsPage0); // no save directory yet
    d.settings.store.saveDir = d.dir.string();
    EXPECT_FALSE(d.settings.read(d.ini, "CLAM", false).showOptionsPage0);
    EXPECT_FALSE(d.settings.write(d.ini, "CLAM", true));
    EXPECT_EQ(d.fields.start, "123");
    EXPECT_EQ(d.dialogs.shown.size(), 1u);
}

TEST(SettingsFile, FilesThatCannotBeReadOrWrittenAreReportedOnceEach) {
    Rig r;
    r.ini.setPath(r.dir.string()); // a directory
    EXPECT_FALSE(r.settings.write(r.ini, "CLAM", false));
    ASSERT_EQ(r.dialogs.shown.size(), 1u);
    EXPECT_EQ(r.dialogs.shown[0].caption, kInstrumentCaption);
    EXPECT_EQ(r.dialogs.shown[0].text, "The INI-File could not be read (Cannot read \"" + r.dir.string() +
                                           "\": not a regular file) !\rSettings not saved.");

    r.ini.setPath((r.dir / "missing" / "korvo.ini").string()); // read as empty, never written
    r.dialogs.clear();
    EXPECT_FALSE(r.settings.write(r.ini, "CLAM", false));
    EXPECT_FALSE(r.settings.write(r.ini, "CLAM", false));
    ASSERT_EQ(r.dialogs.shown.size(), 1u);
    EXPECT_EQ(r.dialogs.shown[0].text.rfind("The INI-File could not be written (", 0), 0u);
    EXPECT_EQ(r.dialogs.shown[0].text.substr(r.dialogs.shown[0].text.size() - 3), ") !");
}

TEST(SettingsFile, ModeSwitchReadWritesFirstAndChecksSaveDir) {
    Rig r;
    r.run.MachineMode = ModeClam;
    r.fields.start = "77";
    r.settings.store.saveDir = (r.dir / "gone").string();
    SettingsView v = r.settings.read(r.ini, "CLAM", false);
    EXPECT_EQ(r.fields.start, "77"); // written before it was read
    EXPECT_TRUE(v.showOptionsPage0);
    EXPECT_EQ(r.settings.store.saveDir, r.dir.string());
    // Only the mode's section: the general keys are the exit's business.
    IniFile f(r.ini.path());
    f.load();
    EXPECT_FALSE(f.hasKey("general", "machine"));
    EXPECT_FALSE(f.hasKey("general", "color"));
    EXPECT_FALSE(r.settings.read(r.ini, "CLAM", false).showOptionsPage0); // the folder is fine now

    // Reading without writing first takes the section as it stands and leaves the file alone.
    const std::string file = "[general]\r\nmachine=OFF\r\n[CLAM]\r\nstart=280\r\n[OFF]\r\nstart=5\r\n";
    r.writeFile(file);
    r.fields.start = "1";
    r.settings.read(r.ini, "CLAM", false, false);
    EXPECT_EQ(r.fields.start, "280");
    std::ifstream in(r.ini.path(), std::ios::binary);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), file);
}

TEST(SaveDirCheck, OnlyAFolderThatCanBeEnteredIsKept) {
    testing::TempDir tmp;
    const std::string start = (tmp.path / "start").string();
    const std::string exe = tmp.file("tool");
    std::ofstream(exe) << "x";
    fs::permissions(exe, fs::perms::owner_all);
    for (const std::string& dir : {tmp.path.string(), std::string(), (tmp.path / "gone").string(), exe}) {
        std::string saveDir = dir;
        const SaveDirCheck c = checkSaveDir(saveDir, start);
        const bool kept = dir == tmp.path.string();
        EXPECT_EQ(c.fellBack, !kept) << dir;
        EXPECT_EQ(c.optionsPage, kept ? -1 : 0) << dir;
        EXPECT_EQ(saveDir, kept ? dir : start) << dir;
    }
}

} // namespace
} // namespace korvo

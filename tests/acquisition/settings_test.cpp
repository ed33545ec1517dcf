#include "acquisition/measurement_settings.h"
#include "common/ini_file.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

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

    r.fields.third = "1"; // one point has no step
    EXPECT_FALSE(r.settings.togglePoints());
    EXPECT_TRUE(r.fields.pointsView);
    r.fields.second = "1,5";
    EXPECT_FALSE(r.settings.toggleRamp());
    EXPECT_FALSE(r.fields.rampView); // caption and field stay together
    EXPECT_EQ(r.fields.second, "1,5");
    EXPECT_TRUE(r.dialogs.saw("1,5 ist kein gültiger Wert (Gleitkomma)\r(Leerzeichen?)"));
    EXPECT_EQ(r.dialogs.shown.size(), 2u);
}

TEST(PassEnergyChange, DerivesPositionsShiftsAndExtraPoints) {
    Rig r;
    r.fields.second = "10";
    r.fields.third = "21";
    r.fields.kindOfMeasure = 1;
    r.selectPassEnergy(12); // "10": column "10 eV", factors times 10
    PassEnergyView v = r.settings.passEnergyChanged();
    ASSERT_TRUE(v.columnFound);
    EXPECT_EQ(r.run.shiftColumn, 11);
    EXPECT_NEAR(r.run.ChannelPosition[1], 1.12, 1e-12);
    // shift = 20 x position / 10: 2.24, 1.72, 1.12, 0.6, 0, -0.56, -1.16, -1.8, -2.4
    const std::array<int, 10> shifts{0, 2, 2, 1, 1, 0, -1, -1, -2, -2};
    for (int i = 1; i <= 9; ++i) EXPECT_EQ(r.run.ChannelShift[i], shifts[i]) << i;
    EXPECT_EQ(v.infoText, "4 Extra Points");
    ASSERT_EQ(v.channelItems.size(), 9u);
    EXPECT_EQ(v.channelItems[5], "C_6    -0.280");
    // Positions are set for channeltrons 1 to 9 and nothing beside them is written.
    RunState s;
    s.PassEnergy = 10;
    s.ChannelShift.fill(7);
    setChannelPositions(s, r.ctx.channels.shifts, 11);
    EXPECT_NEAR(s.ChannelPosition[9], -1.2, 1e-12);
    EXPECT_EQ(s.ChannelPosition[0], 0.0);
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
    r.settings.channelListSelected(-1); // nothing selected keeps the reference
    EXPECT_EQ(r.run.ReferenceChannel, 1);
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

    r.ctx.channels.shifts.setCell(11, 3, "x");
    r.fields.second = "10";
    v = r.settings.passEnergyChanged();
    EXPECT_EQ(r.run.ChannelPosition[3], 0.0);
    ASSERT_EQ(r.dialogs.shown.size(), 1u);
    EXPECT_NE(r.dialogs.shown[0].text.find("Channel 3"), std::string::npos);
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
    r.ctx.options.saveRawData = true;
    ASSERT_TRUE(r.settings.toggleRamp()); // the end view is stored as a ramp
    ASSERT_TRUE(r.settings.togglePoints());
    ASSERT_TRUE(r.settings.write(r.ini, "CLAM", true));

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
    EXPECT_EQ(b.run.TimeCorrection, 25);
    EXPECT_TRUE(b.ctx.options.saveRawData);

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
}

TEST(SettingsFile, MissingFileGivesDefaultsAndTheFilenameRuleGuardsTheStoredName) {
    Rig r;
    r.settings.read(r.ini, "", true);
    EXPECT_TRUE(r.dialogs.shown.empty());
    EXPECT_EQ(r.run.MachineMode, ModeOff);
    EXPECT_EQ(r.fields.passEnergyIndex, 12);
    EXPECT_EQ(r.settings.store.lastFileName, "t_990101.000");

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

    r.fields.scans = "4";
    r.fields.passEnergyText = "1.0";
    ASSERT_TRUE(r.settings.write(r.ini, "RFAAuger", false));
    ASSERT_TRUE(r.settings.write(r.ini, "BIS", false));
    r.fields.scans = "77";
    ASSERT_TRUE(r.settings.write(r.ini, "Druck", false));
    IniFile f(r.ini.path());
    f.load();
    EXPECT_EQ(f.readString("RFAAuger", "phase", ""), "4");
    EXPECT_EQ(f.readString("RFAAuger", "sens", ""), "1.0");
    EXPECT_FALSE(f.hasKey("RFAAuger", "scan"));
    EXPECT_EQ(f.readString("BIS", "photon energy", ""), "1.0");
    EXPECT_FALSE(f.hasKey("BIS", "pass energy"));
    EXPECT_EQ(f.readString("Druck", "points", ""), "77");
    EXPECT_FALSE(f.hasKey("Druck", "start"));
}

TEST(SettingsFile, DamagedValuesFallBackAndAreReportedOnce) {
    Rig r;
    using namespace std::string_literals;
    r.writeFile("[general]\r\nmachine=CLAM\r\ncolor=grey\r\ntime=-5\r\ntime correction=1.5\r\n"
                "card=usb\r\n[CLAM]\r\nkind of measure=7\r\nstart=\x01\xff\x00zz\r\n[CL"s);
    SettingsView v = r.settings.read(r.ini, "", true);
    ASSERT_EQ(r.dialogs.shown.size(), 1u);
    for (const char* key : {"[general] color", "[general] time", "[general] time correction",
                            "[general] card", "[CLAM] kind of measure"})
        EXPECT_NE(r.dialogs.shown[0].text.find(key), std::string::npos) << key;
    EXPECT_EQ(r.settings.store.plotColour, 0xE0E0E0);
    EXPECT_EQ(r.run.MachineMode, ModeClam);
    EXPECT_EQ(r.fields.scans, "10"); // outside the "Druck" section the scans, not the points

    // A machine name that cannot be written back as a section header (an empty one included): the
    // "OFF" section is used.
    for (const std::string name : {"a]b", ""}) {
        Rig m;
        m.writeFile("[general]\r\nmachine=" + name + "\r\n[OFF]\r\nstart=5\r\n");
        m.settings.read(m.ini, "", true);
        EXPECT_EQ(m.settings.store.machine, "OFF") << name;
        EXPECT_EQ(m.run.MachineMode, ModeOff) << name;
        EXPECT_EQ(m.fields.start, "5") << name;
        ASSERT_EQ(m.dialogs.shown.size(), 1u) << name;
        EXPECT_NE(m.dialogs.shown[0].text.find("[general] machine"), std::string::npos) << name;
    }

    // A kind of measure below 0 is refused like one above 2.
    Rig k;
    k.writeFile("[general]\r\nmachine=CLAM\r\n[CLAM]\r\nkind of measure=-1\r\n");
    k.settings.read(k.ini, "", true);
    EXPECT_EQ(k.fields.kindOfMeasure, 0);
    ASSERT_EQ(k.dialogs.shown.size(), 1u);
    EXPECT_NE(k.dialogs.shown[0].text.find("[CLAM] kind of measure"), std::string::npos);

    // A path that cannot be read as a file: defaults and one message, and it is never overwritten.
    Rig d;
    d.ini.setPath(d.dir.string());
    v = d.settings.read(d.ini, "", true);
    EXPECT_FALSE(v.fileRead);
    EXPECT_EQ(d.dialogs.shown.size(), 1u);
    EXPECT_FALSE(d.settings.write(d.ini, "CLAM", true));
    EXPECT_EQ(d.dialogs.shown.size(), 1u); // the same problem is not told twice
    // Mode switches and exits repeat neither message, and keep what the user typed.
    d.fields.start = "123";
    d.settings.read(d.ini, "CLAM", false);
    EXPECT_FALSE(d.settings.write(d.ini, "CLAM", true));
    EXPECT_EQ(d.fields.start, "123");
    EXPECT_EQ(d.dialogs.shown.size(), 1u);
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

    // Reading without writing first takes the section as it stands and leaves the file alone.
    const std::string file = "[general]\r\nmachine=OFF\r\n[CLAM]\r\nstart=280\r\n[OFF]\r\nstart=5\r\n";
    r.writeFile(file);
    r.fields.start = "1";
    r.settings.read(r.ini, "CLAM", false, false);
    EXPECT_EQ(r.fields.start, "280");
    std::ifstream in(r.ini.path(), std::ios::binary);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), file);
}

} // namespace
} // namespace korvo

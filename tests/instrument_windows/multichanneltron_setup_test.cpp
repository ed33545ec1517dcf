// The multichanneltron setup window over a station: access code, table and INI file, switches,
// calibration and the live bars. The main window and the setup are joined as app/main.cpp joins them:
// the analyser routines draw the channel bars into the setup through the display router, and a mode
// switch shows the setup's values again.
#include "acquisition/rig.h"
#include "app/app_test_support.h"
#include "instrument_windows/instrument_display_router.h"
#include "instrument_windows/multichanneltron_setup.h"

#include <QCheckBox>
#include <QColor>
#include <QCoreApplication>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>
#include <gtest/gtest.h>

namespace korvo {
namespace {

using testing::FormulaCard;
using testing::WindowRig;

const char* kClamIni = "[general]\r\nmachine=CLAM\r\ntime=0\r\n";

struct SetupRig {
    explicit SetupRig(const std::string& iniText = kClamIni) : w(iniText), setup(w.station, w.iniPath) {
        router.setChannelDisplay(setup);
        w.station.io.setDisplay(router);
        QObject::connect(w.window.get(), &TForm1::machineModeChanged, &setup, &TForm19::showModel,
                         Qt::QueuedConnection);
    }
    // Counts come from a card that answers every gate at once: channeltrons 1, 2 and 3 count 100,
    // 200 and 50 per gate, the others nothing.
    void useFormulaCard() {
        card.counts = [](int c, int) { return c == 1 ? 100 : c == 2 ? 200 : c == 3 ? 50 : 0; };
        w.station.usePort(card);
        w.ctx.options.testWithoutAnalyser = false;
    }
    void showMeasurementView() {
        w.window->show();
        w.window->MeasureClick();
    }

    WindowRig w;
    FormulaCard card;
    InstrumentDisplayRouter router;
    TForm19 setup;
};

QColor channelColour(int c) {
    const Rgb rgb = kChannelColours.at(std::size_t(c));
    return QColor(rgb.r, rgb.g, rgb.b);
}

QColor pixelAt(const QImage& image, int x, int y) {
    return QColor(image.pixel(x, y));
}

// The bar of channeltron c reaches up to row `top`: coloured there, white just above.
::testing::AssertionResult barTop(const QImage& view, int c, int top) {
    const int x = 16 * c - 13 + 7;
    if (pixelAt(view, x, top) != channelColour(c))
        return ::testing::AssertionFailure() << "channeltron " << c << ": no bar colour at row " << top;
    if (top > 0 && pixelAt(view, x, top - 1) != QColor(Qt::white))
        return ::testing::AssertionFailure() << "channeltron " << c << ": bar higher than row " << top;
    return ::testing::AssertionSuccess();
}

QString cellText(TForm19& s, int column, int row) {
    return s.grid()->item(row, column)->text();
}

TEST(MultichanneltronSetup, OnlyTheAccessCodeUnlocksTheTable) {
    SetupRig r;
    TForm19& s = r.setup;
    EXPECT_EQ(s.windowTitle(), QStringLiteral("Multichanneltron Setup"));
    auto locked = [&] {
        return !s.unlocked() && !s.grid()->isEnabled() && !s.saveButton()->isEnabled() &&
               !s.setDefaultButton()->isEnabled() &&
               s.passwordLabel()->palette().color(QPalette::WindowText) == Qt::red;
    };
    EXPECT_TRUE(locked());
    for (const char* code : {"tarn42", "Tarn42", "TARN42"}) {
        s.accessEdit()->setText(QString::fromLatin1(code));
        EXPECT_TRUE(s.unlocked() && s.grid()->isEnabled() && s.saveButton()->isEnabled() &&
                    s.setDefaultButton()->isEnabled())
            << code;
        EXPECT_EQ(s.passwordLabel()->palette().color(QPalette::WindowText), QColor(0, 128, 0)) << code;
    }
    for (const char* code : {"tARN42", "tarn4", "tarn42 ", ""}) {
        s.accessEdit()->setText(QString::fromLatin1(code));
        EXPECT_TRUE(locked()) << code;
    }
    EXPECT_EQ(s.accessEdit()->echoMode(), QLineEdit::Password);
}

TEST(MultichanneltronSetup, GridShowsTheTableAndEditsReachIt) {
    SetupRig r;
    TForm19& s = r.setup;
    ASSERT_EQ(s.grid()->columnCount(), 16);
    ASSERT_EQ(s.grid()->rowCount(), 10);
    EXPECT_EQ(cellText(s, 7, 0), QStringLiteral("10.0 eV"));
    EXPECT_EQ(cellText(s, 11, 6), QStringLiteral("-0.028"));
    // Headers, names and the separator are not for editing.
    EXPECT_FALSE(s.grid()->item(0, 3)->flags() & Qt::ItemIsEditable);
    EXPECT_FALSE(s.grid()->item(4, 0)->flags() & Qt::ItemIsEditable);
    EXPECT_FALSE(s.grid()->item(4, 8)->flags() & Qt::ItemIsEditable);
    EXPECT_TRUE(s.grid()->item(4, 9)->flags() & Qt::ItemIsEditable);

    s.accessEdit()->setText(QStringLiteral("tarn42"));
    s.grid()->item(2, 7)->setText(QStringLiteral("0.0999"));
    EXPECT_EQ(r.w.ctx.channels.shifts.cell(7, 2), "0.0999") << "the run reads the table, not the grid";
}

TEST(MultichanneltronSetup, DefaultsWithoutSaveLastUntilTheNextStart) {
    // The user's calibration of one pass energy; a key missing in it reads "0.0".
    const std::string ini = std::string(kClamIni) + "[10.0 eV]\r\nC1=0.5\r\nC3=-0.25\r\n";
    std::string iniAfter;
    {
        SetupRig r(ini);
        TForm19& s = r.setup;
        EXPECT_EQ(cellText(s, 7, 1), QStringLiteral("0.5"));
        EXPECT_EQ(cellText(s, 7, 2), QStringLiteral("0.0"));
        EXPECT_EQ(cellText(s, 7, 3), QStringLiteral("-0.25"));
        EXPECT_EQ(cellText(s, 9, 1), QStringLiteral(" 0.1200"))
            << "a pass energy without a section keeps its defaults";

        s.setDefaultButton()->click(); // locked: nothing happens
        EXPECT_EQ(cellText(s, 7, 1), QStringLiteral("0.5"));
        s.accessEdit()->setText(QStringLiteral("Tarn42"));
        s.setDefaultButton()->click();
        EXPECT_EQ(cellText(s, 7, 1), QStringLiteral(" 0.1046"));
        EXPECT_EQ(cellText(s, 7, 2), QStringLiteral(" 0.0784"));
        EXPECT_EQ(r.w.ctx.channels.shifts.cell(7, 3), " 0.0523");
        iniAfter = r.w.iniText();
    }
    SetupRig next(iniAfter);
    EXPECT_EQ(cellText(next.setup, 7, 1), QStringLiteral("0.5"));
    EXPECT_EQ(cellText(next.setup, 7, 2), QStringLiteral("0.0"));
    EXPECT_EQ(cellText(next.setup, 7, 3), QStringLiteral("-0.25"));
}

TEST(MultichanneltronSetup, SaveWritesEveryDataCellAndKeepsTheRest) {
    SetupRig r(std::string(kClamIni) + "[mail]\r\nserver=relay.example\r\n");
    TForm19& s = r.setup;
    s.accessEdit()->setText(QStringLiteral("TARN42"));
    s.grid()->item(1, 7)->setText(QStringLiteral("0.0777"));
    s.saveButton()->click();
    EXPECT_TRUE(r.w.dialogs.shown.empty());

    IniFile ini(r.w.iniPath);
    ASSERT_TRUE(ini.load());
    EXPECT_EQ(ini.readString("10.0 eV", "C1", ""), "0.0777");
    EXPECT_EQ(ini.readString("mail", "server", ""), "relay.example");
    // Every data cell, also those still at their defaults.
    int keys = 0;
    for (const std::string& section : ini.sections())
        if (section.find(" eV") != std::string::npos) keys += int(ini.keys(section).size());
    EXPECT_EQ(keys, 14 * 9);
    EXPECT_EQ(ini.readString("200 eV", "C9", ""), "-0.0996");

    SetupRig next(r.w.iniText());
    EXPECT_EQ(cellText(next.setup, 7, 1), QStringLiteral("0.0777"));
}

TEST(MultichanneltronSetup, ASaveThatFailsSaysSo) {
    SetupRig r;
    TForm19 elsewhere(r.w.station, r.w.dir.filePath(QStringLiteral("missing/korvo.ini")).toStdString());
    elsewhere.accessEdit()->setText(QStringLiteral("tarn42"));
    elsewhere.saveButton()->click();
    ASSERT_EQ(r.w.dialogs.shown.size(), 1u);
    EXPECT_EQ(r.w.dialogs.shown[0].text.rfind("The INI-File could not be written (", 0), 0u)
        << r.w.dialogs.shown[0].text;
    EXPECT_EQ(r.w.dialogs.shown[0].icon, DialogIcon::Error);
}

TEST(MultichanneltronSetup, SwitchesAreTheRunsChannelSwitches) {
    SetupRig r;
    TForm19& s = r.setup;
    for (int c = 1; c <= 9; ++c) EXPECT_TRUE(s.channelSwitch(c)->isChecked()) << c;
    s.channelSwitch(4)->click();
    EXPECT_FALSE(r.w.ctx.channels.enabled[3]);
    // Switched elsewhere (korvo-cli's --channels sets the same values): shown when the window opens.
    r.w.ctx.channels.enabled[8] = false;
    s.show();
    EXPECT_FALSE(s.channelSwitch(9)->isChecked());
    EXPECT_TRUE(s.channelSwitch(1)->isChecked());

    // The legend strip: one 16-pixel square per channeltron in its colour.
    const QImage legend = s.legendStrip()->pixmap().toImage();
    ASSERT_EQ(legend.size(), QSize(16, 144));
    for (int c = 1; c <= 9; ++c) EXPECT_EQ(pixelAt(legend, 8, 16 * (c - 1) + 8), channelColour(c)) << c;
}

TEST(Calibration, EqualisesTheChannelsFromOnePoint) {
    SetupRig r;
    r.useFormulaCard();
    TForm19& s = r.setup;
    s.calibrationTimeEdit()->setText(QStringLiteral("10")); // one gate
    s.calibrateButton()->click();

    // The sensitivities are those of the counts (their arithmetic is pinned without widgets).
    EXPECT_DOUBLE_EQ(s.sensitivities()[1], 200.0 / 201);
    EXPECT_EQ(s.sensitivityLabel(1)->text(), QStringLiteral("1.980"));
    EXPECT_EQ(r.card.gates, 1);
    EXPECT_EQ(r.w.ctx.values.StopRequest, 1);
    EXPECT_TRUE(s.calibrateButton()->isEnabled());
    EXPECT_TRUE(s.viewBox()->isChecked());
    EXPECT_TRUE(r.w.ctx.channels.view);

    // The calibration point itself was drawn, with every sensitivity at 1.
    const QImage& view = s.viewImage();
    ASSERT_EQ(view.height(), 110);
    EXPECT_TRUE(barTop(view, 2, 4));
    EXPECT_TRUE(barTop(view, 1, 54));
    EXPECT_EQ(s.maximumLabel()->text(), QStringLiteral("0000200"));
    EXPECT_TRUE(s.percentLabel()->text().startsWith(QStringLiteral("050.00\n100.00\n025.00\n000.00")))
        << s.percentLabel()->text().toStdString();

    // The next point counts the same; its bars now stand (almost) equally high.
    r.w.station.io.ReadPoint(10, 0);
    EXPECT_TRUE(barTop(view, 1, 4));
    EXPECT_TRUE(barTop(view, 3, 5));
    EXPECT_EQ(s.maximumLabel()->text(), QStringLiteral("0000199"));
}

TEST(Calibration, AnUnreadableTimeChangesNothing) {
    SetupRig r;
    r.useFormulaCard();
    TForm19& s = r.setup;
    s.calibrationTimeEdit()->setText(QStringLiteral("1o00"));
    s.calibrateButton()->click();
    ASSERT_EQ(r.w.dialogs.shown.size(), 1u);
    EXPECT_EQ(r.w.dialogs.shown[0].text, "1o00 ist kein gültiger Wert (ganzzahlig)\r(Leerzeichen?)");
    EXPECT_EQ(r.card.gates, 0);
    EXPECT_FALSE(s.viewBox()->isChecked());
    EXPECT_TRUE(s.calibrateButton()->isEnabled());
}

TEST(Calibration, RefusedWhileAMeasurementRuns) {
    SetupRig r;
    r.useFormulaCard();
    r.showMeasurementView();
    TForm19& s = r.setup;
    s.calibrationTimeEdit()->setText(QStringLiteral("10"));
    s.calibrateButton()->click();
    const auto before = s.sensitivities();
    const long gatesBefore = r.card.gates;
    long gatesAtClick = -1;

    r.w.pump.once([&] { return r.w.station.engine.running() && r.card.gates > gatesBefore; },
                  [&] {
                      gatesAtClick = r.card.gates;
                      s.calibrateButton()->click();
                      // Nothing was counted by the refused calibration.
                      EXPECT_EQ(r.card.gates, gatesAtClick);
                  });
    r.w.measure();
    EXPECT_TRUE(r.w.dialogs.saw("Stop the measurement first !"));
    EXPECT_GT(gatesAtClick, gatesBefore);
    EXPECT_EQ(s.sensitivities(), before);
    EXPECT_EQ(r.w.station.engine.lastEnd(), RunEnd::Normal);
}

TEST(Calibration, RefusedWhereAPointReadsTheElectrometer) {
    // There a point's second value is the time since the run's start, not channeltron 1's counts.
    SetupRig r;
    r.useFormulaCard();
    TForm19& s = r.setup;
    s.calibrationTimeEdit()->setText(QStringLiteral("10"));
    const auto refused = [&](const std::string& message) {
        r.w.dialogs.clear();
        s.calibrateButton()->click();
        EXPECT_EQ(r.w.dialogs.texts(), std::vector<std::string>{message});
        EXPECT_EQ(r.card.gates, 0);
        for (double k : s.sensitivities()) EXPECT_EQ(k, 1.0);
        EXPECT_FALSE(s.viewBox()->isChecked());
    };
    r.w.ctx.options.electrometerOverride = true;
    refused("No sensitivity calibration while \"overide\" is ticked: the electrometer is read instead of the "
            "channeltrons !");
    r.w.ctx.options.electrometerOverride = false;
    r.w.window->switchMode(ModeKeithley);
    refused("No sensitivity calibration in the Keithley mode: the electrometer is read instead of the "
            "channeltrons !");

    // Back in the CLAM mode after a Keithley run the point is counted by the channeltrons, and the
    // last measurement keeps its mode.
    r.w.window->switchMode(ModeClam);
    r.w.station.measurement.state.MachineMode = ModeKeithley;
    r.w.dialogs.clear();
    s.calibrateButton()->click();
    EXPECT_EQ(r.card.gates, 1);
    EXPECT_DOUBLE_EQ(s.sensitivities()[1], 200.0 / 201);
    EXPECT_EQ(r.w.station.measurement.state.MachineMode, ModeKeithley);
}

TEST(Calibration, OtherWindowsWaitForThePoint) {
    // The simulated card keeps the window alive during its gates. A run started from the main
    // window meanwhile would rebuild the data block under the count that is writing into it.
    SetupRig r;
    std::string error;
    const auto sim = makePortBackend("sim", r.w.clock, &error);
    ASSERT_TRUE(sim) << error;
    r.w.station.usePort(*sim);
    r.w.ctx.options.testWithoutAnalyser = false;
    r.showMeasurementView();
    r.w.measure();
    ASSERT_EQ(r.w.station.engine.lastEnd(), RunEnd::Normal);
    const std::size_t records = r.w.station.measurement.data.size();
    r.w.station.fields.third = "400"; // a bigger block for the next run
    r.w.window->fieldsToControls();

    TForm19& s = r.setup;
    s.show();
    bool startUsable = true, setupUsable = false;
    r.w.pump.once([] { return true; },
                  [&] {
                      startUsable = r.w.window->startButton()->isEnabled();
                      setupUsable = s.viewBox()->isEnabled();
                      r.w.window->startButton()->click();
                  });
    s.calibrateButton()->click();
    EXPECT_FALSE(startUsable);
    EXPECT_TRUE(setupUsable);
    EXPECT_EQ(r.w.station.measurement.data.size(), records) << "no run was started during the count";
    EXPECT_TRUE(r.w.window->startButton()->isEnabled());
    for (double k : s.sensitivities()) EXPECT_GT(k, 0);
}

TEST(LiveBars, ARunDrawsEveryPointButNotASwitchedOffChannel) {
    SetupRig r;
    r.useFormulaCard();
    r.showMeasurementView();
    TForm19& s = r.setup;
    s.show();
    s.channelSwitch(2)->click(); // the channeltron that counts most
    s.viewBox()->click();
    ASSERT_TRUE(r.w.ctx.channels.view);
    r.w.measure();
    ASSERT_EQ(r.w.station.engine.lastEnd(), RunEnd::Normal);

    const QImage& view = s.viewImage();
    EXPECT_TRUE(barTop(view, 1, 4)) << "channeltron 1 sets the scale now";
    EXPECT_TRUE(barTop(view, 2, 104)) << "switched off: only the foot";
    EXPECT_TRUE(barTop(view, 3, 54));
    EXPECT_EQ(s.maximumLabel()->text(), QStringLiteral("0000100"));
    // What channeltron 2 saw is still listed.
    EXPECT_TRUE(s.percentLabel()->text().startsWith(QStringLiteral("050.00\n100.00\n025.00")));
    // Black outline, white between the bars.
    EXPECT_EQ(pixelAt(view, 0, 50), QColor(Qt::black));
    EXPECT_EQ(pixelAt(view, 149, 109), QColor(Qt::black));
    EXPECT_EQ(pixelAt(view, 18, 100), QColor(Qt::white)) << "a gap between bars 1 and 2";

    // Unticking "View" clears the box and the run routines stop drawing.
    s.viewBox()->click();
    EXPECT_FALSE(r.w.ctx.channels.view);
    EXPECT_EQ(pixelAt(view, 10, 100), QColor(Qt::white));
    r.w.station.io.ReadPoint(10, 0);
    EXPECT_EQ(pixelAt(view, 10, 100), QColor(Qt::white));
}

TEST(LiveBars, HidingTheWindowOrTheKeithleyModeEndsThem) {
    {
        SetupRig r;
        r.useFormulaCard();
        TForm19& s = r.setup;
        s.show();
        s.viewBox()->click();
        r.w.station.io.ReadPoint(10, 0);
        ASSERT_TRUE(barTop(s.viewImage(), 2, 4));
        s.close();
        EXPECT_FALSE(s.viewBox()->isChecked());
        EXPECT_FALSE(r.w.ctx.channels.view);
        const QImage& view = s.viewImage();
        for (int y = 1; y < 109; y += 9)
            for (int x = 1; x < 149; x += 7) ASSERT_EQ(pixelAt(view, x, y), QColor(Qt::white)) << x << "," << y;
        EXPECT_EQ(pixelAt(view, 0, 0), QColor(Qt::black));
    }
    SetupRig r;
    r.showMeasurementView();
    r.setup.show();
    r.setup.viewBox()->click();
    r.w.window->switchMode(ModeKeithley);
    QCoreApplication::processEvents();
    EXPECT_FALSE(r.w.ctx.channels.view);
    EXPECT_FALSE(r.setup.viewBox()->isChecked());
}

} // namespace
} // namespace korvo

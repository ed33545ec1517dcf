// The main window's states: start-up, "Measure", the machine modes, the menus and closing.
#include "app_test_support.h"

#include <QAction>
#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QRadioButton>
#include <QStatusBar>
#include <gtest/gtest.h>

using namespace korvo;
using korvo::testing::findAction;
using korvo::testing::WindowRig;

namespace {

const char* kClamIni = "[general]\r\nmachine=CLAM\r\ntime=0\r\n";

bool shownInPanel(TForm1& w, const char* name) {
    auto* widget = w.findChild<QWidget*>(QString::fromLatin1(name));
    EXPECT_NE(widget, nullptr) << name;
    return widget && widget->isVisibleTo(w.measurementPanel());
}

QString axisCaption(TForm1& w) {
    return w.findChild<QLabel*>(QStringLiteral("axisCaption"))->text();
}

} // namespace

TEST(MainWindowStart, SmallWindowWithOnlyTheMenuBarUntilMeasure) {
    WindowRig rig(kClamIni);
    TForm1& w = *rig.window;
    w.show();
    EXPECT_EQ(w.size(), QSize(600, 100));
    EXPECT_EQ(w.windowTitle(), QStringLiteral("Korvo '02"));
    EXPECT_FALSE(w.machineMenu()->menuAction()->isEnabled());
    EXPECT_FALSE(w.measurementPanel()->isVisible());
    EXPECT_EQ(w.state().ReferenceChannel, 5);
    ASSERT_EQ(w.statusPanels()->findChildren<QLabel*>().size(), 4);
    EXPECT_EQ(w.statusPanel(1), QStringLiteral(" Monochromator: "));

    // The pass-energy change ran once at showing: the default list offers nine channel positions.
    EXPECT_EQ(w.channelItems().size(), 9);

    w.MeasureClick();
    EXPECT_EQ(w.size(), QSize(700, 580));
    EXPECT_EQ(w.windowTitle(), QStringLiteral("Korvo '02   -  CLAM"));
    EXPECT_EQ(w.machineMode(), ModeClam);
    EXPECT_TRUE(w.machineMenu()->menuAction()->isEnabled());
    EXPECT_TRUE(w.measurementPanel()->isVisible());
    EXPECT_FALSE(w.measureAction()->isVisible());
}

TEST(MainWindowStart, TestMachineKeepsItsModeOnMeasure) {
    WindowRig rig("[general]\r\nmachine=OFF\r\ntime=0\r\n");
    rig.window->show();
    rig.window->MeasureClick();
    EXPECT_EQ(rig.window->machineMode(), ModeOff);
    EXPECT_EQ(rig.window->windowTitle(), QStringLiteral("Korvo '02"));
}

TEST(MainWindowModes, TitlesCaptionsAndRowsOfEachMode) {
    WindowRig rig(kClamIni);
    TForm1& w = *rig.window;
    w.show();
    w.MeasureClick();
    struct Expect {
        std::uint8_t mode;
        const char* title;
        const char* settings;
        const char* axis;
        const char* startLabel; // nullptr: hidden
        bool extraPoints;
    };
    const Expect modes[] = {
        {ModeCfs, "Korvo '02   -  CLAM - Constant Final State", "Settings CLAM4 CFS",
         "- - -  Photon Energy  (eV) - - - >", "Fixed Energy (eV)", false},
        {ModeCis, "Korvo '02   -  CLAM - Constant Initial State", "Settings CLAM4 CIS",
         "- - -  Photon Energy  (eV) - - - >", "Start Energy (eV)", false},
        {ModeKeithley, "Korvo '02   -  Keithley", "Settings Keithley", "- - -  Photon Energy  (eV) - - - >",
         nullptr, false},
        {ModeClam, "Korvo '02   -  CLAM", "Settings CLAM4", "- - -  Kinetic Energy  (eV) - - - >",
         "Start Energy (eV)", true},
    };
    for (const Expect& e : modes) {
        SCOPED_TRACE(e.title);
        w.switchMode(e.mode);
        EXPECT_EQ(w.machineMode(), e.mode);
        EXPECT_EQ(w.windowTitle(), QString::fromLatin1(e.title));
        EXPECT_EQ(w.settingsBox()->title(), QString::fromLatin1(e.settings));
        EXPECT_EQ(axisCaption(w), QString::fromLatin1(e.axis));
        const bool analyser = e.startLabel != nullptr;
        EXPECT_EQ(shownInPanel(w, "startLabel"), analyser);
        if (analyser) {
            EXPECT_EQ(w.findChild<QLabel*>(QStringLiteral("startLabel"))->text(),
                      QString::fromLatin1(e.startLabel));
        }
        for (const char* name : {"passEnergy", "timePerPoint", "energyReadout", "channelList"})
            EXPECT_EQ(shownInPanel(w, name), analyser) << name;
        EXPECT_EQ(w.extraPointsLabel()->isVisibleTo(w.measurementPanel()), e.extraPoints);
        // The ramp row and the energy read-out swap places between the analyser scan and the rest.
        const int rampTop = w.findChild<QPushButton*>(QStringLiteral("rampButton"))->y();
        EXPECT_EQ(rampTop, e.mode == ModeClam ? 40 : 180);
        // Only this mode's item carries the tick.
        const auto items = w.machineMenu()->actions();
        for (int i = 0; i < 4; ++i) EXPECT_EQ(items[i]->isChecked(), ModeClam + i == e.mode) << i;
    }
    EXPECT_FALSE(w.continueButton()->isEnabled());
}

TEST(MainWindowModes, KindOfMeasurementItemsFollowModeAndTestSwitch) {
    WindowRig rig(kClamIni);
    TForm1& w = *rig.window;
    w.show();
    w.MeasureClick();
    EXPECT_EQ(w.kindItems(), (QStringList{"c(t)", "CAE"}));
    w.switchMode(ModeKeithley);
    EXPECT_EQ(w.kindItems(), (QStringList{"c(t)", "KEI"}));
    rig.ctx.options.enableTests = true;
    w.switchMode(ModeCfs);
    EXPECT_EQ(w.kindItems(), (QStringList{"c(t)", "CAE", "CRR"}));
    // Keithley mode switches the multichanneltron view off.
    rig.ctx.channels.view = true;
    w.switchMode(ModeKeithley);
    EXPECT_FALSE(rig.ctx.channels.view);

    // A stored "CRR" without the tests becomes the last kind offered, shown and measured alike.
    WindowRig crr("[general]\r\nmachine=CLAM\r\ntime=0\r\n[CLAM]\r\nkind of measure=2\r\n");
    crr.window->show();
    crr.window->MeasureClick();
    EXPECT_EQ(crr.window->fields().kindOfMeasure, 1);
    QStringList checked;
    for (auto* b : crr.window->kindBox()->findChildren<QRadioButton*>())
        if (b->isChecked()) checked << b->text();
    EXPECT_EQ(checked, QStringList{QStringLiteral("CAE")});
}

TEST(MainWindowMenus, CaptionsShortcutsAndItemsNotYetAvailable) {
    WindowRig rig;
    TForm1& w = *rig.window;
    QStringList bar;
    for (QAction* a : w.menuBar()->actions()) bar << a->text();
    EXPECT_EQ(bar, (QStringList{"&File", "&Measure", "&Machine", "&ShowSpec", "&Data", "&Tools", "&Options",
                                "Get Pos !", "Stop Mono !", "&Help"}));
    for (const auto& [caption, keys] :
         {std::pair{"&File", "Ctrl+F"}, {"&Machine", "Ctrl+A"}, {"&Help", "Ctrl+H"}})
        EXPECT_EQ(findAction(w.menuBar()->actions(), caption)->shortcut(), QKeySequence(keys)) << caption;

    const auto all = w.menuBar()->actions();
    for (const char* caption :
         {"Load Measurements", "Print - &Preview", "Printer S&etup", "&Quick Print  (Print16)", "&AES-Data",
          "&History", "&Korrelation", "&Script", "&Setup", "&Multichanneltron Setup", "Make S&cript", "&Info",
          "&noch zu ändern", "&Data", "&ShowSpec"}) {
        QAction* a = findAction(all, QString::fromUtf8(caption));
        ASSERT_NE(a, nullptr) << caption;
        EXPECT_FALSE(a->isEnabled()) << caption;
    }
    for (const char* caption :
         {"Open Textfile", "Save Textfile", "Delete File", "&Exit", "&CLAM4", "CLAM4  C&FS", "CLAM4  C&IS",
          "&Keithley 1 && Mono", "Add Keithley  &1", "Add Keithley  &2", "e-mail - Alert", "Bugs !!!!",
          "1 X 1 (vert)", "2 X 1", "3 X 2"}) {
        QAction* a = findAction(all, QString::fromLatin1(caption));
        ASSERT_NE(a, nullptr) << caption;
        EXPECT_TRUE(a->isEnabled()) << caption;
    }
    EXPECT_FALSE(findAction(all, QStringLiteral("&Testbetrieb"))->isVisible());

    // The electrometer add-ons are options the run reads.
    w.addKeithley2Action()->trigger();
    EXPECT_TRUE(rig.ctx.options.addKeithley2);
    EXPECT_FALSE(rig.ctx.options.addKeithley1);
}

// (A close during a run is refused in the live window's run test.)
TEST(MainWindowClose, AskedFirstAndTheSettingsReachTheNextStart) {
    WindowRig rig(kClamIni);
    {
        TForm1& w = *rig.window;
        w.show();
        w.MeasureClick();
        auto field = [&](const char* name) { return w.findChild<QLineEdit*>(QString::fromLatin1(name)); };
        field("start")->setText(QStringLiteral("12.5"));
        field("sample")->setText(QStringLiteral("Gold (111)"));
        // The caption decides nothing: without a run, a button that happens to read "Stop" does not
        // keep the window open.
        w.startButton()->setText(QStringLiteral("Stop"));
        rig.dialogs.answers.push_back(DialogAnswer::Cancel);
        EXPECT_FALSE(w.close());
        EXPECT_TRUE(w.isVisible());
        EXPECT_FALSE(w.closing());
        ASSERT_EQ(rig.dialogs.shown.size(), 1u);
        EXPECT_EQ(rig.dialogs.shown[0].text, "Close Korvo 02 ?");
        EXPECT_EQ(rig.dialogs.shown[0].buttons, DialogButtons::OkCancel);

        // "Exit" writes the settings even when the closing is cancelled.
        field("comment")->setText(QStringLiteral("after exit"));
        rig.dialogs.answers.push_back(DialogAnswer::Cancel);
        w.ExitClick();
        EXPECT_TRUE(w.isVisible());
        EXPECT_NE(rig.iniText().find("after exit"), std::string::npos);

        field("timePerPoint")->setText(QStringLiteral("750"));
        rig.dialogs.answers.push_back(DialogAnswer::Ok);
        EXPECT_TRUE(w.close());
        EXPECT_TRUE(w.closing());
    }
    auto next = rig.restart();
    EXPECT_EQ(next->machineMode(), ModeClam);
    EXPECT_EQ(next->fields().start, "12.5");
    EXPECT_EQ(next->fields().sample, "Gold (111)");
    EXPECT_EQ(next->fields().timePerPoint, "750");
}

TEST(MainWindowMenus, SaveMeasurementsIsEnabledExactlyWithTheSaveButton) {
    WindowRig rig(kClamIni);
    TForm1& w = *rig.window;
    QAction* save = findAction(w.menuBar()->actions(), QStringLiteral("&Save Measurements"));
    ASSERT_EQ(save, w.saveMeasurementsAction());
    w.show();
    w.MeasureClick();
    // Nothing measured yet; then as the run switches the button: done, running, done.
    for (bool enabled : {false, true, false, true}) {
        w.saveButton()->setEnabled(enabled);
        EXPECT_EQ(save->isEnabled(), enabled);
    }
    // After a measurement the item saves it, as the button does.
    rig.measure(); // its final save is cancelled
    ASSERT_TRUE(save->isEnabled());
    const std::string out = rig.dir.filePath(QStringLiteral("saved.dat")).toStdString();
    rig.dialogs.files.push_back(out);
    save->trigger();
    EXPECT_TRUE(std::filesystem::exists(out));
    bool enabledDuringRun = true;
    rig.measure([&] { enabledDuringRun = save->isEnabled(); });
    EXPECT_FALSE(enabledDuringRun);
}

TEST(MainWindowSize, ShrinkingKeepsTheColumnAndTheSampleBoxWhole) {
    WindowRig rig(kClamIni);
    TForm1& w = *rig.window;
    w.show();
    w.resize(600, 100); // before "Measure" only the menu bar is of use, and the window may be small
    EXPECT_EQ(w.size(), QSize(600, 100));
    w.MeasureClick();
    auto* file = w.findChild<QLineEdit*>(QStringLiteral("fileName"));
    for (QSize tiny : {QSize(40, 30), QSize(300, 580), QSize(700, 200)}) {
        w.resize(tiny);
        QCoreApplication::processEvents();
        const QRect inside = w.rect();
        for (QWidget* c : std::initializer_list<QWidget*>{
                 w.startButton(), w.continueButton(), w.skipScanButton(), w.lastScanButton(), w.saveButton(),
                 w.channelList(), w.settingsBox(), w.kindBox(),
                 w.findChild<QLineEdit*>(QStringLiteral("sample")),
                 w.findChild<QLineEdit*>(QStringLiteral("comment")), file}) {
            const QRect at(c->mapTo(&w, QPoint(0, 0)), c->size());
            EXPECT_TRUE(inside.contains(at)) << c->objectName().toStdString() << " at " << at.x() << ","
                                             << at.y() << " in " << w.width() << "x" << w.height();
        }
        EXPECT_GE(file->width(), 12 * file->fontMetrics().averageCharWidth()) << w.width();
    }
    w.resize(700, 580); // the size "Measure" chose stays possible
    EXPECT_EQ(w.size(), QSize(700, 580));
}

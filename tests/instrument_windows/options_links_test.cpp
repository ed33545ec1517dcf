// The options window's link pages with the real links on Qt Serial Port and korvo-sim at the other
// end of pseudo-terminals: connecting by device path, the monochromator moved from its page, both
// electrometers read, the main motor's automatic move, and what a failed connect shows.
#include "instrument_windows/options_keithley_page.h"
#include "instrument_windows/options_mono_page.h"
#include "instrument_windows/options_motor_page.h"
#include "options_rig.h"
#include "support/sim_process.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <gtest/gtest.h>

namespace korvo {
namespace {

using testing::OptionsRig;
using testing::SimProcess;
using testing::textOf;
using testing::type;

// Connects a page's link through its own controls: the device typed into the box, "Connect COM".
void connectByPath(ComConnectionBox* box, const SimProcess& sim) {
    ASSERT_FALSE(sim.device().empty()) << "korvo-sim gave no device";
    type(box->devicePathEdit(), QString::fromStdString(sim.device()));
    box->connectButton()->click();
}

void expectConnected(const ComConnectionBox* box, bool connected) {
    EXPECT_EQ(box->status(), connected ? "Connected to COM" : "Disconnected");
    EXPECT_EQ(box->connectButton()->isEnabled(), !connected);
    EXPECT_EQ(box->disconnectButton()->isEnabled(), connected);
    for (int i = 0; i < 4; ++i) EXPECT_EQ(box->comButton(i)->isEnabled(), !connected) << "COM " << i + 1;
    EXPECT_EQ(box->devicePathEdit()->isEnabled(), !connected);
}

TEST(OptionsLinks, AllFourLinksConnectFromTheWindowByDevicePath) {
    SimProcess mono({"mono"}), drive({"drive"}), k1({"keithley"}), k2({"keithley"});
    OptionsRig r;
    TForm15& w = *r.options;
    // As the pages start: COM 1 for the monochromator, COM 2 for the others.
    EXPECT_TRUE(w.monoPage()->connection()->comButton(0)->isChecked());
    EXPECT_TRUE(w.motorPage()->connection()->comButton(1)->isChecked());
    EXPECT_TRUE(w.keithleyPage(1)->connection()->comButton(1)->isChecked());
    EXPECT_TRUE(w.keithleyPage(2)->connection()->comButton(1)->isChecked());
    connectByPath(w.monoPage()->connection(), mono);
    connectByPath(w.motorPage()->connection(), drive);
    connectByPath(w.keithleyPage(1)->connection(), k1);
    connectByPath(w.keithleyPage(2)->connection(), k2);

    EXPECT_TRUE(r.dialogs.shown.empty()) << r.dialogs.texts().front();
    for (ComConnectionBox* box : {w.monoPage()->connection(), w.motorPage()->connection(),
                                  w.keithleyPage(1)->connection(), w.keithleyPage(2)->connection()})
        expectConnected(box, true);
    EXPECT_EQ(r.beamline->monochromator.CommPortDriver_1().deviceName(), mono.device());
    EXPECT_EQ(r.beamline->electrometer2.driver().deviceName(), k2.device());
    for (QPushButton* b : {w.monoPage()->openButton(), w.monoPage()->closeButton(), w.monoPage()->getPositionButton(),
                           w.monoPage()->getStatusButton(), w.motorPage()->openButton()})
        EXPECT_TRUE(b->isEnabled()) << b->text().toStdString();
    for (int n : {1, 2}) {
        EXPECT_FALSE(w.keithleyPage(n)->readingPanel()->isHidden());
        EXPECT_FALSE(w.keithleyPage(n)->installPanel()->isHidden());
        EXPECT_TRUE(w.keithleyPage(n)->readButton()->isEnabled());
    }
    // The motion panels come with "Open_con", not with the port.
    EXPECT_TRUE(w.monoPage()->motionPanel()->isHidden());

    // The COM buttons are ignored while connected.
    w.monoPage()->connection()->comButton(2)->click();
    EXPECT_EQ(r.beamline->monochromator.CommPortDriver_1().ComPort(), pnCOM1);

    w.monoPage()->connection()->disconnectButton()->click();
    w.keithleyPage(2)->connection()->disconnectButton()->click();
    expectConnected(w.monoPage()->connection(), false);
    expectConnected(w.keithleyPage(2)->connection(), false);
    EXPECT_FALSE(r.beamline->monochromator.connected());
    EXPECT_TRUE(w.keithleyPage(2)->readingPanel()->isHidden());
    EXPECT_TRUE(w.keithleyPage(2)->installPanel()->isHidden());
    EXPECT_FALSE(w.monoPage()->openButton()->isEnabled());
}

TEST(OptionsLinks, AFailedConnectSaysSoOnceAndChangesNothingElse) {
    OptionsRig r;
    TForm15& w = *r.options;
    const QString nowhere = r.dir.filePath(QStringLiteral("no-such-tty"));
    const std::string failed = "Error: could not connect. Check COM port settings and try again.";
    std::vector<ComConnectionBox*> boxes{w.monoPage()->connection(), w.motorPage()->connection(),
                                         w.keithleyPage(1)->connection(), w.keithleyPage(2)->connection()};
    // Whatever is typed, only a serial port or a pseudo-terminal is opened; the box says why not.
    const std::vector<std::pair<QString, std::string>> devices{
        {nowhere, nowhere.toStdString() + ": No such file or directory"},
        {QStringLiteral("/dev/ptmx"),
         "/dev/ptmx: the master side of a pseudo-terminal, not a serial port or pseudo-terminal"},
        {QStringLiteral("/dev/null"),
         "/dev/null: a device that is no terminal, not a serial port or pseudo-terminal"},
        {r.dir.path(), r.dir.path().toStdString() + ": a directory, not a serial port or pseudo-terminal"},
    };
    for (std::size_t i = 0; i < boxes.size(); ++i) {
        ComConnectionBox* box = boxes[i];
        const auto& [device, why] = devices[i];
        r.dialogs.clear();
        type(box->devicePathEdit(), device);
        box->connectButton()->click();
        // One information box, whichever side of the link shows it.
        ASSERT_EQ(r.dialogs.shown.size(), 1u);
        EXPECT_EQ(r.dialogs.shown[0].text, failed + "\r" + why);
        EXPECT_EQ(r.dialogs.shown[0].icon, DialogIcon::Information);
        EXPECT_EQ(box->status(), failed);
        EXPECT_TRUE(box->connectButton()->isEnabled());
        EXPECT_FALSE(box->disconnectButton()->isEnabled());
        EXPECT_TRUE(box->comButton(3)->isEnabled());
    }
    EXPECT_FALSE(w.monoPage()->openButton()->isEnabled());
    EXPECT_FALSE(w.motorPage()->openButton()->isEnabled());
    EXPECT_TRUE(w.keithleyPage(1)->readingPanel()->isHidden());

    // With the path box emptied again, the COM button's device is the one tried.
    type(boxes[0]->devicePathEdit(), QString());
    boxes[0]->comButton(3)->click();
    EXPECT_EQ(r.beamline->monochromator.CommPortDriver_1().ComPort(), pnCOM4);
    EXPECT_EQ(boxes[0]->devicePathEdit()->placeholderText().toStdString(), "/dev/ttyS3");
    boxes[0]->connectButton()->click();
    EXPECT_EQ(r.beamline->monochromator.CommPortDriver_1().deviceName(), "/dev/ttyS3");
}

TEST(OptionsLinks, TheMonochromatorMovesFromItsPageAndTheMainWindowShowsWhereItIs) {
    SimProcess mono({"mono", "--mono-speed", "2000"});
    OptionsRig r;
    MonoPage& page = *r.options->monoPage();
    page.enableTestsBox()->click();
    EXPECT_FALSE(page.testGroup()->isHidden());
    type(page.timeoutEdit(), QStringLiteral("1"));
    type(page.openTimeoutEdit(), QStringLiteral("1"));
    EXPECT_EQ(r.beamline->monochromator.page().timeout_norm_1, "1");
    connectByPath(page.connection(), mono);

    page.openButton()->click();
    ASSERT_FALSE(page.motionPanel()->isHidden()) << "OPN not accepted";
    // While a reply is awaited the exchange buttons are off and the status panel is raised.
    bool checkedDuringWait = false;
    r.script.once([&] { return r.beamline->monochromator.MonoBusy(); },
                  [&] {
                      checkedDuringWait = true;
                      EXPECT_FALSE(page.goEnergyButton()->isEnabled());
                      EXPECT_FALSE(page.getPositionButton()->isEnabled());
                      EXPECT_TRUE(page.stopButton()->isEnabled());
                      EXPECT_TRUE(r.window->statusPanelRaised(0));
                  });
    type(page.energyEdit(), QStringLiteral("400"));
    page.goEnergyButton()->click();

    EXPECT_TRUE(checkedDuringWait);
    EXPECT_TRUE(r.dialogs.shown.empty()) << r.dialogs.texts().front();
    EXPECT_EQ(r.ctx.values.MonoError, 0);
    EXPECT_NEAR(std::stod(textOf(page.wavelengthEdit())), 3.099606, 0.00001);
    EXPECT_EQ(r.window->photonEdit()->text().toStdString(), "400.000");
    EXPECT_EQ(r.station.fields.photon, "400.000");
    EXPECT_EQ(textOf(page.energyEdit()), "400.000");
    EXPECT_FALSE(r.window->statusPanelRaised(0));
    EXPECT_EQ(r.window->statusPanel(0).toStdString(), "Ready");
    EXPECT_EQ(r.window->statusPanel(1).toStdString(), " Monochromator: 0");
    EXPECT_TRUE(page.goEnergyButton()->isEnabled());
    // The terminal boxes show the exchange; the typed box is the link's output_1.
    const std::string received = page.inputBox()->toPlainText().toStdString();
    EXPECT_NE(received.find("t 0"), std::string::npos) << received;

    page.closeButton()->click();
    EXPECT_TRUE(page.motionPanel()->isHidden());
}

// A monochromator that falls silent during a CFS run in the window: one box, then the run ends (the
// dead link is not asked again to go back to the first energy). The page no longer says only
// "Connected to COM", and the photon field shows where the monochromator was last read to stand,
// not the energy it never reached.
TEST(OptionsLinks, AMonochromatorFailingInACfsRunIsReportedOnceAndThePageSaysSo) {
    // It answers the opening and the position read; the run's first command may still get its reply.
    SimProcess mono({"mono", "--fault", "hangup", "--after", "3"});
    OptionsRig r;
    MonoPage& page = *r.options->monoPage();
    page.enableTestsBox()->click();
    type(page.timeoutEdit(), QStringLiteral("1"));
    type(page.openTimeoutEdit(), QStringLiteral("1"));
    connectByPath(page.connection(), mono);
    page.openButton()->click();
    r.window->GetPosClick();
    const std::string reached = r.window->photonEdit()->text().toStdString();
    ASSERT_NEAR(std::stod(reached), 1239.842, 0.01); // the simulator starts at 1 nm
    ASSERT_TRUE(r.dialogs.shown.empty()) << r.dialogs.texts().front();

    r.window->switchMode(ModeCfs);
    MeasurementFields& f = r.station.fields;
    f.kindOfMeasure = 1;
    f.start = "100";
    f.rampView = f.pointsView = true;
    f.second = "1";
    f.third = "3";
    f.scans = "1";
    f.timePerPoint = "10";
    f.photon = "400";
    f.passEnergyIndex = passEnergyIndexOf(f.passEnergyText = "10.0");
    r.window->fieldsToControls();
    r.station.settings.store.startDir = r.station.settings.store.saveDir = r.dir.path().toStdString();
    r.window->startButton()->click();

    EXPECT_EQ(r.station.engine.lastEnd(), RunEnd::Stopped);
    EXPECT_EQ(r.dialogs.texts(), std::vector<std::string>{"Error ! Problem with the monochromator?"});
    EXPECT_EQ(page.connection()->status(), "Connected to COM - no answer from the monochromator");
    EXPECT_EQ(r.window->photonEdit()->text().toStdString(), reached);
    EXPECT_EQ(r.station.fields.photon, reached);
}

TEST(OptionsLinks, BothElectrometersAreReadFromTheirPages) {
    SimProcess k1({"keithley", "--reading", "1.5E-09"}), k2({"keithley", "--reading", "-2.5E-09"});
    OptionsRig r;
    KeithleyPage& p1 = *r.options->keithleyPage(1);
    KeithleyPage& p2 = *r.options->keithleyPage(2);
    type(p1.timeoutEdit(), QStringLiteral("1"));
    type(p2.timeoutEdit(), QStringLiteral("1"));
    // The file records electrometer 1's factor: only its box reaches the options.
    type(p1.scalingEdit(), QStringLiteral("1E+10"));
    type(p2.scalingEdit(), QStringLiteral("1E+09"));
    EXPECT_EQ(r.ctx.options.keiScale, "1E+10");
    connectByPath(p1.connection(), k1);
    connectByPath(p2.connection(), k2);
    p2.modeButton(1)->click();
    EXPECT_EQ(r.beamline->electrometer2.KeiFunction(), "CURRent:DC");

    p1.readButton()->click();
    EXPECT_DOUBLE_EQ(r.ctx.values.KeiValue, 15.0);
    EXPECT_EQ(p1.resultLabel()->text().toStdString(), "15  (+1.500000E-09)");
    p2.readButton()->click();
    EXPECT_DOUBLE_EQ(r.ctx.values.KeiValue, -2.5);
    EXPECT_EQ(p2.resultLabel()->text().toStdString(), "-3  (-2.500000E-09)");
    EXPECT_TRUE(r.dialogs.shown.empty()) << r.dialogs.texts().front();
    EXPECT_EQ(p1.resultLabel()->text().toStdString(), "15  (+1.500000E-09)");

    // The baud list takes its entry at once and the page shows it.
    p1.baudList()->setCurrentIndex(2);
    emit p1.baudList()->activated(2);
    EXPECT_EQ(r.beamline->electrometer1.driver().ComPortSpeed(), br4800);
    EXPECT_EQ(p1.baudList()->currentText().toStdString(), "4800");

    p1.overrideBox()->click();
    EXPECT_TRUE(r.ctx.options.electrometerOverride);
    EXPECT_EQ(p2.overrideBox(), nullptr);
}

TEST(OptionsLinks, TheMainMotorShakesHandsAndRunsItsAutomaticMove) {
    SimProcess drive({"drive"});
    OptionsRig r;
    MotorPage& page = *r.options->motorPage();
    page.enableTestsBox()->click();
    EXPECT_FALSE(page.communicationGroup()->isHidden());
    type(page.timeoutEdit(), QStringLiteral("1"));
    connectByPath(page.connection(), drive);
    EXPECT_TRUE(page.motorPanel()->isHidden());
    page.openButton()->click();
    ASSERT_TRUE(r.dialogs.shown.empty()) << r.dialogs.texts().front();
    EXPECT_FALSE(page.motorPanel()->isHidden());
    EXPECT_EQ(textOf(page.speedEdit()), "10");

    bool heldDuringMove = false;
    r.script.once([&] { return !r.beamline->motorDrive.page().autoMoveEnabled; },
                  [&] { heldDuringMove = !page.autoMoveButton()->isEnabled(); });
    type(page.angleEdit(), QStringLiteral("1.5"));
    page.autoMoveButton()->click();

    EXPECT_TRUE(heldDuringMove);
    EXPECT_TRUE(r.dialogs.shown.empty()) << r.dialogs.texts().front();
    EXPECT_EQ(textOf(page.angleEdit()), "1.50");
    EXPECT_EQ(textOf(page.incrementsEdit()), "-6000");
    EXPECT_EQ(textOf(page.hexEdit()), "FFFFE890");
    EXPECT_TRUE(page.autoMoveButton()->isEnabled());
    // The move ends with the motor off: the angle box light green.
    EXPECT_EQ(page.angleEdit()->palette().color(QPalette::Base), QColor(128, 255, 128));
    EXPECT_EQ(r.window->statusPanel(2).toStdString(), " Main Motor: 0");

    page.stepByStepBox()->click();
    EXPECT_TRUE(page.autoMoveButton()->isHidden());
    page.connection()->disconnectButton()->click();
    EXPECT_TRUE(page.motorPanel()->isHidden());
    EXPECT_FALSE(page.openButton()->isEnabled());
}

} // namespace
} // namespace korvo

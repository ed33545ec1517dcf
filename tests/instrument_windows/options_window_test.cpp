// The options window's pages without serial instruments: paging, the Options and Help menus, the
// saving page, the analyser tests (switches, switching points, port tests, lamps and read-outs), the
// stepper axes, the beam page against a status page on 127.0.0.1 and the beam-loss pause.
#include "common/file_util.h"
#include "instruments/local_servers.h"
#include "instrument_windows/options_beam_page.h"
#include "instrument_windows/options_info_page.h"
#include "instrument_windows/options_saving_page.h"
#include "instrument_windows/options_stepper_page.h"
#include "instrument_windows/options_tests_page.h"
#include "options_rig.h"

#include <QAction>
#include <QCoreApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QGroupBox>
#include <QLabel>
#include <QKeyEvent>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QTimer>
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

namespace korvo {
namespace {

using testing::ClosedPort;
using testing::LocalHttpServer;
using testing::LocalSmtpServer;
using testing::OptionsRig;
using testing::textOf;
using testing::type;

std::string fileText(const std::string& path) {
    return readFile(path).value_or("");
}

TEST(OptionsWindow, NinePagesInOrderAndTheArrowWalksThemRound) {
    OptionsRig r;
    TForm15& w = *r.options;
    EXPECT_EQ(w.windowTitle().toStdString(), "Options");
    const std::vector<std::string> captions{"Saving",     "Monochr.",   "Main Motor", "Manipulator / Sample",
                                            "Keithley 1", "Keithley 2", "Beam",       "Analy. Tests",
                                            "Info"};
    ASSERT_EQ(w.notebook()->count(), int(captions.size()));
    for (int i = 0; i < w.notebook()->count(); ++i) EXPECT_EQ(w.notebook()->tabText(i).toStdString(), captions[i]);

    EXPECT_EQ(w.notebook()->currentIndex(), 0);
    for (int i = 1; i <= 9; ++i) {
        w.nextButton()->click();
        EXPECT_EQ(w.notebook()->currentIndex(), i % 9);
    }
    // The manipulator page brings the run's time correction back into its (hidden) box.
    type(w.infoPage()->timeCorrectionEdit(), QStringLiteral("77"));
    r.station.state.TimeCorrection = 25;
    w.notebook()->setCurrentIndex(TForm15::Manipulator);
    EXPECT_EQ(textOf(w.infoPage()->timeCorrectionEdit()), "25");
}

TEST(OptionsWindow, SetupHelpAndInfoMenusShowTheirPages) {
    OptionsRig r;
    TForm15& w = *r.options;
    r.station.state.TimeCorrection = 42;
    r.station.settings.store.startDir = r.dir.path().toStdString();
    r.station.settings.store.saveDir = r.dir.filePath(QStringLiteral("gone")).toStdString();
    w.notebook()->setCurrentIndex(TForm15::Beam);
    r.window->windowCommand(TForm1::WindowCommand::Setup)->trigger();
    EXPECT_TRUE(w.isVisible());
    EXPECT_EQ(w.notebook()->currentIndex(), TForm15::Saving);
    // SaveDir could not be entered: it falls back to StartDir, and the list shows it.
    EXPECT_EQ(r.station.settings.store.saveDir, r.dir.path().toStdString());
    EXPECT_EQ(w.savingPage()->directory(), QDir::cleanPath(r.dir.path()).toStdString());
    EXPECT_EQ(textOf(w.infoPage()->timeCorrectionEdit()), "42");

    w.hide();
    r.window->windowCommand(TForm1::WindowCommand::Help)->trigger();
    EXPECT_TRUE(w.isVisible());
    EXPECT_EQ(w.notebook()->currentIndex(), TForm15::Keithley2);
    w.notebook()->setCurrentIndex(TForm15::Info);
    r.window->windowCommand(TForm1::WindowCommand::Info)->trigger();
    EXPECT_EQ(w.notebook()->currentIndex(), TForm15::Keithley2);

    // The main window's own SaveDir check shows the first page too.
    w.hide();
    r.station.settings.store.saveDir = "/no/such/directory";
    r.window->checkSaveDir();
    EXPECT_TRUE(w.isVisible());
    EXPECT_EQ(w.notebook()->currentIndex(), TForm15::Saving);
}

TEST(OptionsWindow, SavingPageSetsTheDirectoryAndTheFileSwitches) {
    OptionsRig r("[general]\r\nmachine=CLAM\r\ntime=0\r\nSaveExtrapoints=1\r\nSaveRawData=0\r\n"
                 "[saving]\r\nautosave=1\r\nnexus=0\r\n");
    SavingPage& page = *r.options->savingPage();
    r.options->refresh();
    EXPECT_TRUE(page.saveExtraPointsBox()->isChecked());
    EXPECT_FALSE(page.saveRawDataBox()->isChecked());
    EXPECT_TRUE(page.autoSaveBox()->isChecked());
    EXPECT_FALSE(page.nexusBox()->isChecked());
    page.nexusBox()->click();
    EXPECT_TRUE(r.ctx.options.saveNexus);
    page.saveRawDataBox()->click();
    page.saveExtraPointsBox()->click();
    page.autoSaveBox()->click();
    EXPECT_TRUE(r.ctx.options.saveRawData);
    EXPECT_FALSE(r.ctx.options.saveExtraPoints);
    EXPECT_FALSE(r.ctx.options.autoSave);

    ASSERT_TRUE(QDir(r.dir.path()).mkpath(QStringLiteral("spectra/2024")));
    r.options->show();
    ASSERT_TRUE(page.pointAt(r.dir.path().toStdString()));
    const auto items = page.directoryList()->findItems(QStringLiteral("spectra"), Qt::MatchExactly);
    ASSERT_EQ(items.size(), 1);
    emit page.directoryList()->itemActivated(items[0]);
    EXPECT_EQ(page.directory(), r.dir.filePath(QStringLiteral("spectra")).toStdString());
    // A path typed that is no directory leaves the list where it was.
    type(page.pathEdit(), r.dir.filePath(QStringLiteral("korvo.ini")));
    EXPECT_EQ(textOf(page.pathEdit()), page.directory());
    page.setDirectoryButton()->click();
    EXPECT_EQ(r.station.settings.store.saveDir, r.dir.filePath(QStringLiteral("spectra")).toStdString());
    EXPECT_FALSE(r.options->isVisible()) << "\"Set Directory !\" closes the window";

    // The main window writes the switches with its settings.
    r.window->writeSettings(true);
    const std::string ini = fileText(r.iniPath);
    EXPECT_NE(ini.find("SaveRawData=1"), std::string::npos) << ini;
    EXPECT_NE(ini.find("SaveExtrapoints=0"), std::string::npos) << ini;
    EXPECT_NE(ini.find("[saving]\r\nautosave=0\r\nnexus=1\r\n"), std::string::npos) << ini;
}

TEST(OptionsWindow, AnalyserTestSwitchesReachTheMainWindow) {
    OptionsRig r;
    AnalyserTestsPage& page = *r.options->testsPage();
    // No card answered on the recording port: test mode, and the switch cannot be changed.
    r.options->refresh();
    EXPECT_TRUE(page.testSwitch()->isChecked());
    EXPECT_FALSE(page.testSwitch()->isEnabled());

    r.window->show();
    r.window->MeasureClick();
    EXPECT_EQ(r.window->kindItems(), (QStringList{"c(t)", "CAE"}));
    EXPECT_TRUE(r.window->zufallButton()->isHidden());
    EXPECT_TRUE(page.testPanel()->isHidden());
    EXPECT_TRUE(r.options->infoPage()->timeCorrectionGroup()->isHidden());
    page.enableTestsBox()->click();
    EXPECT_TRUE(r.ctx.options.enableTests);
    EXPECT_EQ(r.window->kindItems(), (QStringList{"c(t)", "CAE", "CRR"}));
    EXPECT_FALSE(r.window->zufallButton()->isHidden());
    EXPECT_FALSE(page.testPanel()->isHidden());
    EXPECT_FALSE(r.options->infoPage()->timeCorrectionGroup()->isHidden());
    EXPECT_FALSE(r.options->infoPage()->colourGroup()->isHidden());

    // "CRR" chosen, then the tests switched off: the kind falls back to one that is offered.
    r.station.fields.kindOfMeasure = 2;
    r.window->fieldsToControls();
    page.enableTestsBox()->click();
    EXPECT_EQ(r.window->kindItems(), (QStringList{"c(t)", "CAE"}));
    EXPECT_EQ(r.station.fields.kindOfMeasure, 1);
    EXPECT_TRUE(r.window->zufallButton()->isHidden());

    // The card back end is kept for the next start.
    page.cardList()->setCurrentIndex(1);
    emit page.cardList()->activated(1);
    EXPECT_EQ(r.station.settings.store.card, "sim");
    r.window->writeSettings(true);
    EXPECT_NE(fileText(r.iniPath).find("card=sim"), std::string::npos);
}

TEST(OptionsWindow, SwitchingPointsTakeEffectAsTypedAndRefusedOnesAreTold) {
    OptionsRig r;
    AnalyserTestsPage& page = *r.options->testsPage();
    const auto fullScaleFor = [&](double emax) { return energyRangeFor(emax, r.ctx.options)->fullScale; };
    // Typed key by key, without "Set Value !" and without leaving the box: the run takes the box.
    const auto keys = [](QLineEdit* edit, const QString& text) {
        edit->setFocus();
        edit->selectAll();
        for (QChar c : text) edit->insert(QString(c));
    };
    const auto leave = [](QLineEdit* edit) {
        QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
        QApplication::sendEvent(edit, &enter);
    };
    keys(page.switchPointEdit(0), QStringLiteral("60"));
    EXPECT_EQ(r.ctx.options.switchPoint1, "60");
    EXPECT_DOUBLE_EQ(fullScaleFor(70), 163.84);
    leave(page.switchPointEdit(0));
    EXPECT_TRUE(r.dialogs.shown.empty());

    // On its way to a refused value a box leaves the value in use before the edit, never a prefix
    // ("1", "15"); leaving the box tells why and shows that value again.
    keys(page.switchPointEdit(1), QStringLiteral("150"));
    EXPECT_EQ(r.ctx.options.switchPoint2, "140");
    EXPECT_TRUE(r.dialogs.shown.empty());
    leave(page.switchPointEdit(1));
    EXPECT_EQ(r.dialogs.texts(), (std::vector<std::string>{"Switching Point \"163.84\" to big !"}));
    EXPECT_EQ(textOf(page.switchPointEdit(1)), "140");
    EXPECT_EQ(r.ctx.options.switchPoint2, "140");

    r.dialogs.clear();
    type(page.switchPointEdit(2), QStringLiteral("1500"));
    type(page.switchPointEdit(0), QStringLiteral("7O"));
    ASSERT_EQ(r.dialogs.shown.size(), 1u);
    EXPECT_EQ(r.dialogs.shown[0].text, "7O ist kein gültiger Wert (Gleitkomma)\r(Leerzeichen?)");
    EXPECT_EQ(r.dialogs.shown[0].caption, "Warning !");
    EXPECT_EQ(r.ctx.options.switchPoint1, "60");
    EXPECT_EQ(textOf(page.switchPointEdit(0)), "60");
    EXPECT_EQ(r.ctx.options.switchPoint3, "1500");
    EXPECT_DOUBLE_EQ(fullScaleFor(1550), 3276.8);

    // "Set Value !" checks every box on its own, as it always has: the factory value of the second
    // sits at its limit and is refused there, but stays in use.
    r.dialogs.clear();
    page.switchPointEdit(2)->setText(QStringLiteral("1700"));
    page.setValueButton()->click();
    EXPECT_EQ(r.dialogs.texts(), (std::vector<std::string>{"Switching Point \"163.84\" to big !",
                                                           "Switching Point \"1638.4\" to big !"}));
    EXPECT_EQ(r.ctx.options.switchPoint1, "60");
    EXPECT_EQ(r.ctx.options.switchPoint2, "140");
    EXPECT_EQ(r.ctx.options.switchPoint3, "1500");
    EXPECT_EQ(textOf(page.switchPointEdit(2)), "1500");
}

TEST(OptionsWindow, PortTestsGoToTheCardsBackEnd) {
    OptionsRig r;
    AnalyserTestsPage& page = *r.options->testsPage();
    r.port.log.clear();
    page.setByteClicked();
    ASSERT_EQ(r.dialogs.texts(), (std::vector<std::string>{"888 : 255"}));
    EXPECT_EQ(r.port.log, (std::vector<RecordingPort::Access>{{true, 0x378, 0xFF}}));

    r.port.queueReads(0x378, {0xA5});
    page.readByteClicked();
    EXPECT_EQ(textOf(page.byteEdit()), "$A5");

    r.port.log.clear();
    type(page.wordEdit(), QStringLiteral("$12F4"));
    page.setWordClicked();
    EXPECT_EQ(r.port.log, (std::vector<RecordingPort::Access>{{true, 0x510, 0xF4}, {true, 0x514, 0x12}}));

    r.port.queueReads(0x510, {0xCD});
    r.port.queueReads(0x514, {0xAB});
    page.readWordClicked();
    EXPECT_EQ(textOf(page.wordEdit()), "$ABCD");
    EXPECT_EQ(page.wordDecimalLabel()->text().toStdString(), "43981");

    // What is no port address or no byte is not written anywhere.
    r.port.log.clear();
    r.dialogs.clear();
    type(page.addressEdit(), QStringLiteral("$10500"));
    page.setByteClicked();
    type(page.addressEdit(), QStringLiteral("$0500"));
    type(page.byteEdit(), QStringLiteral("$100"));
    page.setByteClicked();
    EXPECT_TRUE(r.port.log.empty());
    EXPECT_EQ(r.dialogs.texts(), (std::vector<std::string>{"$10500 is no port address ($0000 to $FFFF) !",
                                                           "$100 is no byte ($00 to $FF) !"}));
}

TEST(OptionsWindow, LampsAndReadoutsOfTheAnalyserRoutines) {
    OptionsRig r;
    AnalyserTestsPage& page = *r.options->testsPage();
    r.station.io.BeginMeasurement();
    // A 1 bit red, a 0 bit green: BeginMeasurement sets bit 6.
    for (int bit = 0; bit < 8; ++bit) {
        const QColor centre = page.lamp(bit)->grab().toImage().pixelColor(7, 7);
        EXPECT_EQ(centre, bit == 6 ? QColor(Qt::red) : QColor(0, 255, 0)) << "bit " << bit;
    }

    // The lens table chosen here is the one the read-outs use.
    page.lensList()->setCurrentIndex(1);
    EXPECT_EQ(r.ctx.options.lensIndex, 1);
    r.station.state.FullScale = 163.84;
    r.station.state.PassEnergy = 10;
    r.station.io.SetAnalyserPoint(0, 0);
    EXPECT_EQ(page.readoutLabel(0)->text().toStdString().rfind("Voltage (0..10V) ( x ) :", 0), 0u);
    EXPECT_EQ(page.readoutLabel(2)->text().toStdString().rfind("Inner Hemisphere : ", 0), 0u)
        << "the access-key mark is not shown";
    EXPECT_EQ(page.readoutLabel(5)->text().toStdString().rfind("Lens 1 : ", 0), 0u);
}

TEST(OptionsWindow, StepperAxisAGoesFromZeroToMinusOneWithItsBacklashMove) {
    OptionsRig r;
    StepperPage& page = *r.options->stepperPage();
    const StepperPage::AxisControls& a = page.axisA();
    EXPECT_TRUE(a.panel->isHidden());
    a.enable->click();
    EXPECT_FALSE(a.panel->isHidden());
    EXPECT_FALSE(a.move->isEnabled()) << "no move before the position is defined";
    EXPECT_TRUE(page.axisB().move->isEnabled()) << "axis b needs no defined position";
    r.beamline->steppers.MoveAxisA("1");
    EXPECT_EQ(r.dialogs.texts(), (std::vector<std::string>{"Please define manipulator position!"}));

    type(a.position, QStringLiteral("0"));
    a.define->click();
    EXPECT_TRUE(a.move->isEnabled());
    type(a.speed, QStringLiteral("10"));
    type(a.position, QStringLiteral("-1.0"));
    r.port.log.clear();
    bool colouredDuringMove = false;
    r.script.once([&] { return r.beamline->steppers.a.moving; },
                  [&] { colouredDuringMove = a.position->palette().color(QPalette::Base) == QColor(Qt::yellow); });
    a.move->click();

    EXPECT_TRUE(colouredDuringMove);
    EXPECT_EQ(textOf(a.position), "-1.00"); // the steps themselves are counted in the axes' own test
    // Negative first (direction bit set), then the last 400 steps positive.
    const std::vector<std::uint8_t> bytes = r.port.writesTo(0x378);
    ASSERT_FALSE(bytes.empty());
    EXPECT_EQ(bytes.front(), 0x02);
    EXPECT_EQ(bytes.back(), 0x00);
    EXPECT_TRUE(a.move->isEnabled());
    EXPECT_TRUE(page.axisB().define->isEnabled());
}

// A read goes on beside the window: the page's step timer moves it on among the window's events.
void waitForRead(const RingPoll& poll) {
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (poll.busy() && std::chrono::steady_clock::now() < until) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
}

TEST(OptionsWindow, BeamPageReadsTheStatusPageAndTheMainWindowFollows) {
    LocalHttpServer server(LocalHttpServer::page("<html>Ring: Beam Current: 250.3 mA, top-up</html>"));
    OptionsRig r;
    BeamPage& page = *r.options->beamPage();
    EXPECT_EQ(page.currentLabel()->text().toStdString(), "------- mA");
    EXPECT_TRUE(page.testPanel()->isHidden());
    page.enableTestsBox()->click();
    EXPECT_FALSE(page.testPanel()->isHidden());
    type(page.addressEdit(), QString::fromStdString(server.url("/ring")));
    EXPECT_EQ(r.beamline->ring.address, server.url("/ring"));

    page.readButton()->click();
    EXPECT_EQ(page.currentLabel()->text().toStdString(), "------- mA");
    EXPECT_FALSE(page.readButton()->isEnabled()) << "one read at a time";
    EXPECT_TRUE(page.stepTimer()->isActive());
    waitForRead(r.beamline->ring);
    EXPECT_FALSE(page.stepTimer()->isActive());
    EXPECT_EQ(page.currentLabel()->text().toStdString(), "250.3 mA");
    EXPECT_DOUBLE_EQ(r.ctx.values.RingCurrent, 250.3);
    EXPECT_TRUE(page.readButton()->isEnabled());
    EXPECT_TRUE(r.window->ringCurrentLabel()->isHidden()) << "shown only while the poll is on";
    EXPECT_EQ(r.mail->ringCurrentLabel(), "250.3 mA");

    type(page.refreshEdit(), QStringLiteral("0"));
    EXPECT_EQ(textOf(page.refreshEdit()), "30") << "a zero refresh time is refused";
    type(page.refreshEdit(), QStringLiteral("12"));
    page.enableBox()->click();
    waitForRead(r.beamline->ring);
    EXPECT_TRUE(page.timer()->isActive());
    EXPECT_EQ(page.timer()->interval(), 12000);
    EXPECT_FALSE(r.window->ringCurrentLabel()->isHidden());
    EXPECT_EQ(r.window->ringCurrentLabel()->text().toStdString(), "250.3 mA");
    EXPECT_EQ(server.connections(), 2);

    page.overwriteBox()->click();
    EXPECT_TRUE(r.ctx.options.ringCurrentOverwrite);
    page.enableBox()->click();
    EXPECT_FALSE(page.timer()->isActive());
    EXPECT_TRUE(r.window->ringCurrentLabel()->isHidden());

    // A page without the markers: "No Data!", the last current kept.
    type(page.startMarkerEdit(), QStringLiteral("Strahlstrom"));
    page.readButton()->click();
    waitForRead(r.beamline->ring);
    EXPECT_EQ(page.currentLabel()->text().toStdString(), "No Data!");
    EXPECT_DOUBLE_EQ(r.ctx.values.RingCurrent, 250.3);
}

TEST(OptionsWindow, BeamLossPauseControlsReachTheRun) {
    OptionsRig r;
    BeamPage& page = *r.options->beamPage();
    EXPECT_FALSE(r.ctx.options.beamPause) << "off unless asked for";
    page.beamPauseBox()->click();
    type(page.thresholdEdit(), QStringLiteral("150.5"));
    type(page.recoveryEdit(), QStringLiteral("90"));
    EXPECT_TRUE(r.ctx.options.beamPause);
    EXPECT_DOUBLE_EQ(r.ctx.options.beamThresholdMa, 150.5);
    EXPECT_EQ(r.ctx.options.beamRecoveryMs, 90000);
    // What cannot be a threshold or a recovery time is not taken, and the box says what is.
    type(page.thresholdEdit(), QStringLiteral("-5"));
    type(page.recoveryEdit(), QStringLiteral("soon"));
    EXPECT_DOUBLE_EQ(r.ctx.options.beamThresholdMa, 150.5);
    EXPECT_EQ(textOf(page.thresholdEdit()), "150.5");
    EXPECT_EQ(r.ctx.options.beamRecoveryMs, 90000);
    EXPECT_EQ(textOf(page.recoveryEdit()), "90");
    page.beamPauseBox()->click();
    EXPECT_FALSE(r.ctx.options.beamPause);
}

TEST(OptionsWindow, TimeCorrectionAndColourResetOfTheHiddenGroups) {
    OptionsRig r;
    InfoPage& info = *r.options->infoPage();
    r.options->show();
    type(info.timeCorrectionEdit(), QStringLiteral("35"));
    info.changeClicked();
    EXPECT_EQ(r.station.state.TimeCorrection, 35);
    EXPECT_EQ(r.ctx.options.timeCorrection, 35);
    EXPECT_FALSE(r.options->isVisible());

    type(info.timeCorrectionEdit(), QStringLiteral("3.5"));
    info.changeClicked();
    EXPECT_EQ(r.station.state.TimeCorrection, 35);
    EXPECT_EQ(textOf(info.timeCorrectionEdit()), "35");
    EXPECT_EQ(r.dialogs.shown.size(), 1u);

    r.station.settings.store.plotColour = 0xE0E0E0;
    r.options->show();
    info.resetClicked();
    EXPECT_EQ(r.station.settings.store.plotColour, 0x93B8DD);
    EXPECT_FALSE(r.options->isVisible());
}

TEST(OptionsWindow, ARunsBeamLossSendsTheAlertOrSaysInTheStatusBarWhyNot) {
    LocalSmtpServer relay;
    ClosedPort closed;
    OptionsRig r("[general]\r\nmachine=CLAM\r\ntime=0\r\n[mail]\r\nserver=127.0.0.1\r\nport=" +
                 std::to_string(relay.port()) + "\r\n");
    const std::string why = "Beam lost: ring current 12.0 mA below 100 mA, the run waits";
    r.mail->enableMailsBox()->setChecked(true);
    r.mail->emailEdit()->setText(QStringLiteral("beamline@example.org"));
    r.window->setStatusPanel(0, QString::fromStdString(why));
    r.station.engine.beamLossNotice(why);
    ASSERT_EQ(relay.mails().size(), 1u);
    EXPECT_NE(relay.mails()[0].data.find(why), std::string::npos);
    EXPECT_EQ(r.window->statusPanel(0).toStdString(), why);

    std::ofstream(r.iniPath, std::ios::binary) << "[mail]\r\nserver=127.0.0.1\r\nport=" << closed.port() << "\r\n";
    r.station.engine.beamLossNotice(why);
    EXPECT_EQ(r.window->statusPanel(0).toStdString(), why + "; e-mail alert failed: Error sending mail (7).");
    EXPECT_TRUE(r.dialogs.shown.empty()) << r.dialogs.texts().front();
}

} // namespace
} // namespace korvo

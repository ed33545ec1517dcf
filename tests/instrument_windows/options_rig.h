#pragma once
// The options window in a desktop program put together as app/main.cpp does it: main window,
// e-mail alert, beamline on Qt Serial Port, options window, joined by connectOptionsWindow. The clock
// is the real one, since korvo-sim answers in real time; the event pump is scripted (and runs the
// serial links' polls), the dialogs are recorded, the analyser card is a recording port on which no
// card answers.
#include "acquisition/analyser_io/recording_port.h"
#include "acquisition/beamline.h"
#include "app/app_test_support.h"
#include "app/instrument_wiring.h"
#include "instruments/serial/qt_serial_transport.h"
#include "instrument_windows/instrument_display_router.h"
#include "instrument_windows/mail_alert_window.h"
#include "instrument_windows/options_window.h"

#include <QAbstractButton>
#include <QApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QTemporaryDir>
#include <fstream>
#include <memory>
#include <optional>
#include <string>

namespace korvo::testing {

struct OptionsRig {
    explicit OptionsRig(const std::string& iniText = "[general]\r\nmachine=CLAM\r\ntime=0\r\n") {
        app();
        iniPath = dir.filePath(QStringLiteral("korvo.ini")).toStdString();
        std::ofstream(iniPath, std::ios::binary) << iniText;
        window = std::make_unique<TForm1>(station, iniPath);
        status.emplace(*window);
        ctx.setStatusPanels(*status);
        station.startCard();
        beamline.emplace(station, port, [] { return std::make_unique<QtSerialTransport>(); }, paths);
        // Short polls keep the suite quick; the window's own boxes set the time-outs.
        for (TCommPortDriver* d : {&beamline->monochromator.CommPortDriver_1(), &beamline->motorDrive.CommPortDriver_2(),
                                   &beamline->electrometer1.driver(), &beamline->electrometer2.driver()})
            d->setComPortPollingDelay(10);
        beamline->motorDrive.setPauseMs(20);
        mail = std::make_unique<TForm14>(ctx, iniPath);
        options = std::make_unique<TForm15>(station, *beamline, port, paths, iniPath);
        connectOptionsWindow(*window, *options, *mail, *beamline, router);
        station.io.setDisplay(router);
    }

    QTemporaryDir dir;
    std::string iniPath;
    SteadyClock clock;
    ScriptedPump script;
    RecordingDialogs dialogs;
    AcquisitionContext ctx{clock, script, dialogs};
    RecordingPort port;
    Station station{ctx, port};
    ComPortPaths paths;
    std::unique_ptr<TForm1> window;
    std::optional<MainWindowStatus> status;
    std::optional<Beamline> beamline;
    InstrumentDisplayRouter router;
    std::unique_ptr<TForm14> mail;
    std::unique_ptr<TForm15> options;
};

// Typing as the user does: the edit's own signals fire (textEdited, then editingFinished on Enter).
inline void type(QLineEdit* edit, const QString& text) {
    edit->setFocus();
    edit->selectAll();
    edit->insert(text);
    QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
    QApplication::sendEvent(edit, &enter);
}

inline std::string textOf(const QLineEdit* e) {
    return e->text().toStdString();
}

} // namespace korvo::testing

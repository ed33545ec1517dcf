// Program start of the desktop program.
#include "acquisition/analyser_io/port_backend.h"
#include "acquisition/beamline.h"
#include "app/app_options.h"
#include "app/history_window.h"
#include "app/instrument_wiring.h"
#include "app/tango_serving.h"
#include "app/main_window.h"
#include "app/print_wiring.h"
#include "app/run_connection.h"
#include "app/script_window.h"
#include "app/single_instance.h"
#include "app/splash.h"
#include "app/warning_dialog.h"
#include "common/clock.h"
#include "common/heap_pages.h"
#include "common/ini_file.h"
#include "common/number_text.h"
#include "common/platform_info.h"
#include "common/qt/qt_dialogs.h"
#include "common/qt/qt_event_pump.h"
#include "common/qt/qt_timers.h"
#include "common/run_log.h"
#include "instruments/serial/qt_serial_transport.h"
#include "instrument_windows/instrument_display_router.h"
#include "instrument_windows/mail_alert_window.h"
#include "instrument_windows/multichanneltron_setup.h"
#include "instrument_windows/options_window.h"
#include "tools/ui/aes_window.h"
#include "tools/ui/correlation_window.h"
#include "viewer/print_settings.h"
#include "viewer/ui/batch_print_window.h"
#include "viewer/ui/printer_choice.h"
#include "viewer/ui/viewer_context.h"

#include <QApplication>
#include <QDir>
#include <QEvent>
#include <cstdio>
#include <memory>

namespace {

// The viewer windows stand beside the main window; when it has been closed the program ends with
// them, as it always has.
class EndWithMainWindow final : public QObject {
public:
    explicit EndWithMainWindow(korvo::TForm1& window) : window_(window) { window.installEventFilter(this); }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (watched == &window_ && event->type() == QEvent::Hide && window_.closing()) QApplication::quit();
        return false;
    }

private:
    korvo::TForm1& window_;
};

} // namespace

int main(int argc, char** argv) {
    korvo::restartWithHugePageHeap(argv);
    // Help and version come before QApplication, which aborts where there is no display.
    const QStringList raw = korvo::rawArguments(argc, argv);
    const korvo::AppOptions early = korvo::parseAppOptions(raw);
    if (early.showHelp) {
        std::fputs(early.helpText.c_str(), stdout);
        return 0;
    }
    if (early.showVersion) {
        std::printf("korvo %s\n", KORVO_VERSION);
        return 0;
    }
    if (!early.error.empty() && !korvo::mayHoldQtOptions(raw)) {
        std::fprintf(stderr, "korvo: %s\n\n%s", early.error.c_str(), early.helpText.c_str());
        return 2;
    }

    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("korvo"));
    QApplication::setApplicationVersion(QStringLiteral(KORVO_VERSION));

    // Parsed again without Qt's own options (-platform, -style, ...), which QApplication has taken.
    const korvo::AppOptions options = korvo::parseAppOptions(QApplication::arguments());
    if (!options.error.empty()) {
        std::fprintf(stderr, "korvo: %s\n\n%s", options.error.c_str(), options.helpText.c_str());
        return 2;
    }

    // Held until main returns: the guard must outlive every close request the user may refuse.
    korvo::SingleInstanceGuard guard;
    switch (guard.acquire()) {
    case korvo::SingleInstanceGuard::Outcome::First:
        break;
    case korvo::SingleInstanceGuard::Outcome::OtherActivated:
        return 0;
    case korvo::SingleInstanceGuard::Outcome::OtherUnreachable:
        korvo::QtDialogs().warning(korvo::kProgramCaption, "Program is running!!!");
        return 1;
    case korvo::SingleInstanceGuard::Outcome::DirectoryRefused: {
        const std::string text = "Korvo cannot keep its single-instance lock in a private directory:\r" +
                                 guard.error().toStdString() + "\rKorvo will not start.";
        std::fprintf(stderr, "korvo: %s\n", guard.error().toLocal8Bit().constData());
        korvo::QtDialogs().error(korvo::kProgramCaption, text);
        return 3;
    }
    }

    korvo::SteadyClock clock;
    korvo::QtEventPump pump;
    korvo::QtDialogs dialogs;
    // Qt timers: the serial links' receive polls and the ring-current poll run in the event loop,
    // also while no wait pumps it (a line typed into a terminal box gets its answer shown).
    korvo::QtTimers timers;
    korvo::AcquisitionContext ctx(clock, pump, dialogs, timers);

    // The station and its port back end outlive the window, which shows the station to its end.
    korvo::EmptyBus noCard;
    std::unique_ptr<korvo::PortIo> port;
    korvo::Station station(ctx, noCard);
    const std::string iniPath = options.iniPath.empty() ? korvo::iniFilePath() : options.iniPath;
    korvo::TForm1 window(station, iniPath);
    QObject::connect(&guard, &korvo::SingleInstanceGuard::activationRequested, &window,
                     &korvo::TForm1::bringToFront);
    // The instrument links show what they wait for in the main window's status bar; they take the
    // panels when they are built, so this comes first.
    korvo::MainWindowStatus statusBar(window);
    ctx.setStatusPanels(statusBar);
    // Runs, saves, refusals and instrument errors, one line each, kept with the settings. A log that
    // cannot be written is told once and never stops a run.
    korvo::FileRunLog runLog(korvo::runLogPath(iniPath), "korvo", [&statusBar](const std::string& why) {
        std::fprintf(stderr, "korvo: %s\n", why.c_str());
        statusBar.setStatusPanel(0, why);
    });
    ctx.setRunLog(runLog);

    // The instrument windows. The analyser routines draw the channel bars into the multichanneltron
    // setup; lamps and read-outs go to the options window once it joins the router (it needs the
    // card's back end and the beamline, hence later).
    korvo::InstrumentDisplayRouter instrumentDisplay;
    korvo::TForm14 mailAlert(ctx, iniPath);
    korvo::TForm19 multichanneltron(station, iniPath);
    instrumentDisplay.setChannelDisplay(multichanneltron);
    station.io.setDisplay(instrumentDisplay);
    auto showWindow = [](QWidget& w) {
        w.show();
        w.raise();
        w.activateWindow();
    };
    window.registerWindow(korvo::TForm1::WindowCommand::MultichanneltronSetup,
                          [&] { showWindow(multichanneltron); });
    // "Korrelation" reads a measured file and writes its results into the current directory.
    korvo::TForm21 correlation(dialogs, pump);
    window.registerWindow(korvo::TForm1::WindowCommand::Korrelation, [&] { showWindow(correlation); });
    // "Make S&cript" opens the e-mail alert, but the item has always been disabled: it stays
    // connected and disabled.
    window.registerWindow(korvo::TForm1::WindowCommand::MakeScript, [&] { showWindow(mailAlert); });
    window.windowCommand(korvo::TForm1::WindowCommand::MakeScript)->setEnabled(false);
    // The AES data table keeps "auger.dat" in the directory the program was started in; its
    // overwrite question is the program's warning dialog.
    korvo::TForm10 aesData(dialogs, QDir::currentPath().toStdString());
    aesData.confirmOverwrite = [&window](const std::string& text) {
        korvo::TForm11* warning = window.warningDialog();
        warning->setMessage(QString::fromStdString(text));
        return warning->confirm();
    };
    window.registerWindow(korvo::TForm1::WindowCommand::AesData, [&] { showWindow(aesData); });
    korvo::TForm20 history(window);
    window.registerWindow(korvo::TForm1::WindowCommand::History, [&] { showWindow(history); });
    // A mode without channeltrons switches the live bars off; the setup's "View" box follows once
    // the switch has laid out the window (the signal comes before that), hence queued.
    QObject::connect(&window, &korvo::TForm1::machineModeChanged, &multichanneltron,
                     &korvo::TForm19::showModel, Qt::QueuedConnection);

    // The analyser card back end: the command line wins over the INI key.
    std::string card = options.card.empty() ? window.settings().store.card : options.card;
    std::string error;
    port = korvo::makePortBackend(card, clock, &error);
    if (!port) {
        dialogs.error("Korvo 02", "Analyser card \"" + card + "\" not available:\r" + error +
                                      "\rThe program runs without an analyser.");
        port = korvo::makePortBackend("test", clock, &error);
        card = "test";
    }
    station.usePort(*port);
    station.startCard();

    // The serial links on Qt Serial Port, COM1..COM4 being the devices of the INI file's [ports];
    // the stepper axes on the card's back end, which also serves the parallel port.
    korvo::IniFile portsIni(iniPath);
    portsIni.load();
    korvo::ComPortPaths comPorts;
    comPorts.load(portsIni);
    korvo::Beamline beamline(station, *port, [] { return std::make_unique<korvo::QtSerialTransport>(); },
                             comPorts);
    korvo::TForm15 optionsWindow(station, beamline, *port, comPorts, iniPath);
    optionsWindow.setCardInUse(card);
    korvo::connectOptionsWindow(window, optionsWindow, mailAlert, beamline, instrumentDisplay);

    // "ShowSpec": a new spectrum viewer each time, with its own workspace; the load list, the load
    // dialog and the value table are shared by all of them.
    // Printing: one set of print settings and one printer for the program run, shared by the main
    // window, the viewers, the preview and the batch print window.
    korvo::PrintSettings printSettings;
    korvo::SystemPrinterChoice printers;
    korvo::ViewerContext viewers(dialogs, pump);
    viewers.closing = [&window] { return window.closing(); };
    viewers.print = &printSettings;
    viewers.printers = &printers;
    korvo::TForm17 batchPrint(printSettings, printers, dialogs);
    korvo::connectPrinting(window, viewers, batchPrint);
    viewers.startDirectory = window.saveDir();
    viewers.iniPath = iniPath;
    viewers.multichanneltronValues = [&window, &station] {
        window.controlsToFields();
        korvo::MultichanneltronWindowValues values;
        const auto time = korvo::text::parseInt(station.fields.timePerPoint);
        values.measTime = time ? *time : station.measurement.state.TimePerPoint;
        values.scanCounter = station.measurement.state.ScanNumber;
        return values;
    };
    window.registerWindow(korvo::TForm1::WindowCommand::ShowSpec, [&viewers] { viewers.openViewer(); });
    korvo::TForm22 scriptWindow(station, window);
    window.registerWindow(korvo::TForm1::WindowCommand::Script, [&] { showWindow(scriptWindow); });
    EndWithMainWindow endWithMainWindow(window);

    // Remote control: the INI file's [remote] tango_device serves the station as a Tango device.
    korvo::DesktopTango tango(window, station);
    if (const korvo::RemoteSettings remote = korvo::readRemoteSettings(iniPath); !remote.device.empty()) {
        std::string why;
        if (!tango.start(remote, &why))
            dialogs.error("Korvo 02", "The Tango device " + remote.device + " cannot be served:\r" + why);
    }

    korvo::showSplash(window.splashTimeMs());
    window.show();
    window.activateWindow(); // keyboard shortcuts work at once, also without a window manager
    return QApplication::exec();
}

#pragma once
// One QApplication for the whole test program and a main window over a station built on recording
// seams.
#include "acquisition/analyser_io/port_backend.h"
#include "acquisition/station.h"
#include "app/main_window.h"
#include "common/clock.h"
#include "common/dialogs.h"
#include "common/event_pump.h"
#include "support/qt_app.h"

#include <QAction>
#include <QApplication>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QTemporaryDir>
#include <fstream>
#include <functional>
#include <memory>
#include <string>

namespace korvo::testing {

inline QApplication& app() {
    return testing::qtApp();
}

// The menu item of that caption, at any depth of `actions` (a window's menu bar's, say).
inline QAction* findAction(const QList<QAction*>& actions, const QString& text) {
    for (QAction* a : actions) {
        if (a->text() == text) return a;
        if (a->menu())
            if (QAction* inner = findAction(a->menu()->actions(), text)) return inner;
    }
    return nullptr;
}

// A window over a temporary INI file; dialogs are recorded and answered from the queue. No card
// answers on the empty bus, so runs count in test mode on the virtual clock.
struct WindowRig {
    explicit WindowRig(const std::string& iniText = {}) {
        app();
        iniPath = dir.filePath(QStringLiteral("korvo.ini")).toStdString();
        if (!iniText.empty()) std::ofstream(iniPath, std::ios::binary) << iniText;
        window = std::make_unique<TForm1>(station, iniPath);
        station.startCard();
    }
    std::string iniText() const {
        std::ifstream in(iniPath, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }
    // A further window over the same INI file, as the next program start would build it.
    std::unique_ptr<TForm1> restart() {
        nextStation = std::make_unique<Station>(ctx, bus);
        return std::make_unique<TForm1>(*nextStation, iniPath);
    }
    // A short energy scan in the shown window; `during` runs at its first turn of the event pump.
    void measure(std::function<void()> during = {}) {
        shortScan();
        if (during) pump.onCall(pump.calls() + 1, std::move(during));
        window->startButton()->click();
    }
    // The fields of that scan, shown in the window; spectra and the recovery copy go to the
    // temporary directory.
    void shortScan() {
        MeasurementFields& f = station.fields;
        f.kindOfMeasure = 1;
        f.start = "10";
        f.second = "20";
        f.third = "5";
        f.scans = "1";
        f.timePerPoint = "10";
        f.passEnergyIndex = passEnergyIndexOf(f.passEnergyText = "10.0");
        window->fieldsToControls();
        // The recovery copy goes to StartDir, which the first showing sets to the working directory.
        station.settings.store.startDir = station.settings.store.saveDir = dir.path().toStdString();
    }

    QTemporaryDir dir;
    std::string iniPath;
    VirtualClock clock;
    ScriptedPump pump;
    RecordingDialogs dialogs;
    AcquisitionContext ctx{clock, pump, dialogs};
    EmptyBus bus;
    Station station{ctx, bus};
    std::unique_ptr<Station> nextStation;
    std::unique_ptr<TForm1> window;
};

} // namespace korvo::testing

#pragma once
// One QApplication for the whole test program and a main window built on recording seams.
#include "app/main_window.h"
#include "common/clock.h"
#include "common/dialogs.h"
#include "common/event_pump.h"

#include <QApplication>
#include <QTemporaryDir>
#include <fstream>
#include <memory>
#include <string>

namespace korvo::testing {

inline QApplication& app() {
    static int argc = 1;
    static char name[] = "test_app";
    static char* argv[] = {name, nullptr};
    static QApplication* instance = new QApplication(argc, argv);
    return *instance;
}

// A window over a temporary INI file; dialogs are recorded and answered from the queue.
struct WindowRig {
    explicit WindowRig(const std::string& iniText = {}) {
        app();
        iniPath = dir.filePath(QStringLiteral("korvo.ini")).toStdString();
        if (!iniText.empty()) std::ofstream(iniPath, std::ios::binary) << iniText;
        window = std::make_unique<TForm1>(ctx, iniPath);
    }
    std::string iniText() const {
        std::ifstream in(iniPath, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }
    // A further window over the same INI file, as the next program start would build it.
    std::unique_ptr<TForm1> restart() { return std::make_unique<TForm1>(ctx, iniPath); }

    QTemporaryDir dir;
    std::string iniPath;
    VirtualClock clock;
    NullPump pump;
    RecordingDialogs dialogs;
    AcquisitionContext ctx{clock, pump, dialogs};
    std::unique_ptr<TForm1> window;
};

} // namespace korvo::testing

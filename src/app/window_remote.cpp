#include "app/window_remote.h"

#include "app/main_window.h"
#include "app/run_connection.h"

#include <QMetaObject>
#include <QPointer>

#include <cstdio>

namespace korvo {

WindowRemote::WindowRemote(TForm1& window, Station& station, StationBridge& bridge)
    : window_(window), station_(station), bridge_(bridge) {
    RemoteHost host;
    host.switchMode = [this](std::uint8_t mode) { window_.switchMode(mode); };
    host.showFields = [this] { window_.fieldsToControls(); };
    host.passEnergyChanged = [this] { window_.PassEnergie_ComboBoxChange(); };
    host.pressStart = [this] { window_.Start_buttonClick(); };
    host.messageShown = [this](const std::string& text) {
        std::fprintf(stderr, "korvo: %s\n", text.c_str());
        window_.setStatusPanel(0, QString::fromStdString(text));
    };
    remote_.emplace(station, window.run(), std::move(host));
    bridge_.bindToThisThread();
    // Any thread: the window's event loop serves the bridge at its next turn.
    QPointer<WindowRemote> self(this);
    bridge_.wake = [self] {
        QMetaObject::invokeMethod(
            self.data(), [self] { if (self) self->serve(); }, Qt::QueuedConnection);
    };
}

WindowRemote::~WindowRemote() {
    bridge_.close("Korvo is closing.");
    bridge_.wake = nullptr;
}

void WindowRemote::serve() {
    if (!bridge_.pending()) return;
    // During a run the fields are the run's; what the controls show was copied at its start.
    if (!station_.engine.running() && !station_.saver.scriptRunning) window_.controlsToFields();
    bridge_.serve();
}

} // namespace korvo

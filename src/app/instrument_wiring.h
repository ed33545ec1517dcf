#pragma once
// How the desktop program joins its instrument windows: the main window's status bar becomes the
// status panels of the instrument links, the options window is shown from the Options and Help
// menus and by the analyser routines, and the links' hooks reach the main window and the e-mail
// alert. main.cpp builds the pieces; the tests build them the same way and call the same function.
#include "acquisition/beamline.h"
#include "app/main_window.h"
#include "instruments/status_panels.h"
#include "instrument_windows/instrument_display_router.h"
#include "instrument_windows/mail_alert_window.h"
#include "instrument_windows/options_window.h"

namespace korvo {

// The main window's status bar as the links write into it.
class MainWindowStatus final : public StatusPanels {
public:
    explicit MainWindowStatus(TForm1& window) : window_(window) {}
    void setStatusPanel(int index, const std::string& text) override {
        window_.setStatusPanel(index, QString::fromStdString(text));
    }
    void setStatusPanelRaised(int index, bool raised) override { window_.setStatusPanelRaised(index, raised); }

private:
    TForm1& window_;
};

// Everything outlives the windows' use of each other (main.cpp declares them in this order).
void connectOptionsWindow(TForm1& window, TForm15& options, TForm14& mailAlert, Beamline& beamline,
                          InstrumentDisplayRouter& router);

} // namespace korvo

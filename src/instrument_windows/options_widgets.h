#pragma once
// Pieces the pages of the options window share: the connection controls of a serial link, a
// terminal box that mirrors one TerminalMemo of a page model, and small helpers that copy texts
// between controls and page models without the copy echoing back.
#include "instruments/serial/com_port_paths.h"
#include "instruments/serial/line_settings.h"
#include "instruments/terminal_memo.h"

#include <QColor>
#include <QPlainTextEdit>
#include <QWidget>
#include <array>
#include <cstdint>
#include <functional>
#include <string>

class QAbstractButton;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;

namespace korvo {

class Dialogs;
class TCommPortDriver;

// Colour numbers of the page models are 0x00BBGGRR.
QColor colourFromNumber(std::uint32_t bgr);
void paintBase(QWidget* w, const QColor& colour);

// A line edit whose typing goes straight into `field`; the field must outlive the edit.
QLineEdit* boundEdit(std::string& field, QWidget* parent);
// Model -> control, only when they differ (the cursor stays where the user left it) and without
// the edit's own signals.
void showText(QLineEdit* edit, const std::string& text);
void showText(QLabel* label, const std::string& text);
void showChecked(QAbstractButton* box, bool checked);
// A push button that calls `action` when clicked.
QPushButton* actionButton(const char* caption, QWidget* parent, std::function<void()> action);
// Panels that come and go keep their place, so that the window does not change its size.
void keepPlaceWhenHidden(QWidget* w);

// "Connect COM", "Disconnect COM", the radio buttons "COM 1".."COM 4", a box for a device path typed
// directly (a simulator's pseudo-terminal) and the page's status bar. The page decides what the
// buttons do and what is enabled; this only holds the controls.
class ComConnectionBox : public QWidget {
public:
    ComConnectionBox(TCommPortDriver& driver, const ComPortPaths& paths, QWidget* parent);

    // Called by the buttons. `choosePort` gets the radio button's port.
    std::function<void()> connectPressed;
    std::function<void()> disconnectPressed;
    std::function<void(TComPortNumber)> choosePort;

    // Hands the typed path (empty: the port's own device) to the driver; the driver takes it only
    // while disconnected.
    void applyDevicePath();
    // The controls as the link stands: radio buttons and path box follow the driver; the caller says
    // which buttons are enabled.
    void showState(bool connectEnabled, bool disconnectEnabled, bool choiceEnabled);
    void setStatus(const std::string& text);
    std::string status() const;

    QPushButton* connectButton() const { return connect_; }
    QPushButton* disconnectButton() const { return disconnect_; }
    QRadioButton* comButton(int index) const { return com_.at(std::size_t(index)); }
    QLineEdit* devicePathEdit() const { return path_; }
    QLabel* statusBar() const { return status_; }
    const TCommPortDriver& driver() const { return driver_; }

private:
    TCommPortDriver& driver_;
    const ComPortPaths& paths_;
    QPushButton* connect_ = nullptr;
    QPushButton* disconnect_ = nullptr;
    std::array<QRadioButton*, 4> com_{};
    QLineEdit* path_ = nullptr;
    QLabel* status_ = nullptr;
};

// The link's part of "Connect COM" failed: the status bar and an information box (with the driver's
// reason) say so, with a beep. (The electrometer links say it themselves.)
void reportConnectFailure(ComConnectionBox& box, Dialogs& dialogs);

// A terminal box of a link page. Typed boxes copy every edit into their memo (one line per line of
// the box, a last empty line not counted, as the boxes always counted); received ones only show it.
class TerminalBox : public QPlainTextEdit {
public:
    enum class Kind { Typed, Shown };
    TerminalBox(TerminalMemo& memo, Kind kind, QWidget* parent);

    // Enter in a typed box: called with the memo up to date, before the box starts its new line.
    std::function<void()> enterPressed;
    // Memo -> box, when the link has changed the memo.
    void showMemo();

protected:
    void keyPressEvent(QKeyEvent* e) override;

private:
    void copyToMemo();
    TerminalMemo& memo_;
    Kind kind_;
};

} // namespace korvo

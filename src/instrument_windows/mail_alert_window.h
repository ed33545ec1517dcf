#pragma once
// The "e-mail - Alert" window: a test facility that sends one mail through the workstation's relay
// when its button is pressed, the ring current as subject. The settings of an automatic alert
// (refresh time, source, enable box) are shown but nothing acts on them.
#include "acquisition/context.h"

#include <QWidget>
#include <functional>
#include <optional>
#include <set>
#include <string>

class QCheckBox;
class QLineEdit;
class QPushButton;
class QRadioButton;

namespace korvo {

class TForm14 : public QWidget {
    Q_OBJECT
public:
    // Clears MonoQuiet, as this window always has at its creation. The relay comes from the [mail]
    // section of the INI file at `iniPath`, read at every send so that a changed relay is used at once.
    TForm14(AcquisitionContext& ctx, std::string iniPath, QWidget* parent = nullptr);

    // The subject: the text of the options window's ring-current label, which whoever builds that
    // window hands in here. Until then it reads as that label does before any reading.
    std::function<std::string()> ringCurrentLabel;

    // The send button ("Button1").
    void Button1Click();
    // The run paused for a beam loss. With "Enable e-mail's" ticked and an address typed, an alert
    // goes out: the ring-current label as subject, `why` as text. Nothing (no value) when it was not
    // asked for, else SendMail's result. No box is shown, not even for a failure: the run waits
    // meanwhile, and nobody may be there to close one.
    std::optional<int> beamLossAlert(const std::string& why);

    QCheckBox* enableTestsBox() const { return enableTests_; }
    QWidget* testPanel() const { return panel_; }
    QLineEdit* refreshEdit() const { return refresh_; }
    QLineEdit* bodyEdit() const { return body_; }
    QLineEdit* emailEdit() const { return email_; }
    QRadioButton* ringCurrentSource() const { return ringSource_; }
    QRadioButton* keithleySource() const { return keithleySource_; }
    QCheckBox* enableMailsBox() const { return enableMails_; }
    QPushButton* sendButton() const { return button1_; }

private:
    // One mail to the address in the box; the [mail] problems are reported when `showProblems`.
    int send(const std::string& subject, const std::string& body, bool showProblems);

    AcquisitionContext& ctx_;
    std::string iniPath_;
    std::set<std::string> reported_; // INI problems shown once each
    QCheckBox* enableTests_ = nullptr;
    QWidget* panel_ = nullptr;
    QLineEdit* refresh_ = nullptr;
    QLineEdit* body_ = nullptr;
    QLineEdit* email_ = nullptr;
    QRadioButton* ringSource_ = nullptr;
    QRadioButton* keithleySource_ = nullptr;
    QCheckBox* enableMails_ = nullptr;
    QPushButton* button1_ = nullptr;
};

} // namespace korvo

#include "instrument_windows/mail_alert_window.h"

#include "common/ini_file.h"
#include "instruments/mail/send_mail.h"
#include "instruments/ring_current/ring_page.h"

#include <QCheckBox>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>

namespace korvo {

namespace {

// The recipient is site configuration; this installation names none, so a test mail goes out only
// to an address typed into the box.
constexpr const char* kDefaultRecipient = "";

QLabel* label(const QString& text, QWidget* parent, const QRect& geometry) {
    auto* l = new QLabel(text, parent);
    l->setGeometry(geometry);
    return l;
}

} // namespace

TForm14::TForm14(AcquisitionContext& ctx, std::string iniPath, QWidget* parent)
    : QWidget(parent, Qt::Window), ctx_(ctx), iniPath_(std::move(iniPath)) {
    setWindowTitle(QStringLiteral("e-mail - Alert"));
    // The program ends with its main window, also while this one is open.
    setAttribute(Qt::WA_QuitOnClose, false);
    ringCurrentLabel = [] { return std::string(kRingReading); };

    enableTests_ = new QCheckBox(QStringLiteral("Enable all tests !  (Only for tests ! Do not use !)"), this);
    enableTests_->setGeometry(8, 8, 380, 22);

    panel_ = new QFrame(this);
    static_cast<QFrame*>(panel_)->setFrameShape(QFrame::StyledPanel);
    panel_->setGeometry(8, 36, 380, 210);
    label(QStringLiteral("Refresh Time (min) :"), panel_, QRect(8, 10, 130, 20));
    refresh_ = new QLineEdit(QStringLiteral("30"), panel_);
    refresh_->setGeometry(140, 8, 60, 24);
    label(QStringLiteral("Message:"), panel_, QRect(8, 42, 130, 20));
    body_ = new QLineEdit(QString::fromUtf8(kMailDefaultBody), panel_);
    body_->setObjectName(QStringLiteral("body_edit"));
    body_->setGeometry(140, 40, 230, 24);
    label(QStringLiteral("e-mail:"), panel_, QRect(8, 74, 130, 20));
    email_ = new QLineEdit(QString::fromUtf8(kDefaultRecipient), panel_);
    email_->setObjectName(QStringLiteral("email_edit"));
    email_->setGeometry(140, 72, 230, 24);

    ringSource_ = new QRadioButton(QStringLiteral("Ring Current"), panel_);
    ringSource_->setGeometry(8, 106, 130, 22);
    ringSource_->setChecked(true);
    keithleySource_ = new QRadioButton(QStringLiteral("Keithley 1"), panel_);
    keithleySource_->setGeometry(140, 106, 130, 22);
    enableMails_ = new QCheckBox(QStringLiteral("Enable e-mail's (Only for tests ! Do not use !)"), panel_);
    enableMails_->setGeometry(8, 136, 360, 22);

    button1_ = new QPushButton(QStringLiteral("Button1"), panel_);
    button1_->setGeometry(8, 170, 100, 28);
    connect(button1_, &QPushButton::clicked, this, &TForm14::Button1Click);

    panel_->setVisible(false);
    connect(enableTests_, &QCheckBox::toggled, panel_, &QWidget::setVisible);
    setFixedSize(396, 254);

    ctx_.values.MonoQuiet = false;
}

void TForm14::Button1Click() {
    // The send keeps the interface alive; a second press meanwhile would send the mail twice.
    if (!button1_->isEnabled()) return;
    button1_->setEnabled(false);
    const std::string subject = ringCurrentLabel ? ringCurrentLabel() : std::string(kRingReading);
    const int result = send(subject, body_->text().toStdString(), true);
    button1_->setEnabled(true);
    if (result != 0) ctx_.dialogs.error(kInstrumentCaption, mailErrorText(result));
}

std::optional<int> TForm14::beamLossAlert(const std::string& why) {
    if (!enableMails_->isChecked() || email_->text().trimmed().isEmpty()) return std::nullopt;
    const std::string subject = ringCurrentLabel ? ringCurrentLabel() : std::string(kRingReading);
    return send(subject, why, false);
}

int TForm14::send(const std::string& subject, const std::string& body, bool showProblems) {
    IniFile ini(iniPath_);
    std::string loadError;
    std::vector<std::string> problems;
    if (!ini.load(&loadError))
        problems.push_back("The INI-File could not be read (" + loadError +
                           ") ! The [mail] defaults are used.");
    const MailSettings settings = readMailSettings(ini, &problems);
    if (showProblems)
        for (const std::string& p : problems)
            if (reported_.insert(p).second) ctx_.dialogs.warning(kInstrumentCaption, p);
    return SendMail({settings, ctx_.pump}, subject, body, "", email_->text().toStdString(), kMailRecipientName,
                    settings.sender, kMailOriginatorName);
}

} // namespace korvo

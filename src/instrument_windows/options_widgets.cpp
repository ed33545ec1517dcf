#include "instrument_windows/options_widgets.h"

#include "common/dialogs.h"
#include "instruments/electrometer/electrometer_link.h"
#include "instruments/serial/comm_port_driver.h"

#include <QApplication>
#include <QButtonGroup>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QSignalBlocker>

namespace korvo {

QColor colourFromNumber(std::uint32_t bgr) {
    return QColor(int(bgr & 0xFF), int((bgr >> 8) & 0xFF), int((bgr >> 16) & 0xFF));
}

void paintBase(QWidget* w, const QColor& colour) {
    QPalette p = w->palette();
    p.setColor(QPalette::Base, colour);
    w->setPalette(p);
}

QLineEdit* boundEdit(std::string& field, QWidget* parent) {
    auto* e = new QLineEdit(QString::fromStdString(field), parent);
    QObject::connect(e, &QLineEdit::textEdited, e, [&field](const QString& t) { field = t.toStdString(); });
    return e;
}

void showText(QLineEdit* edit, const std::string& text) {
    const QString t = QString::fromStdString(text);
    if (edit->text() == t) return;
    QSignalBlocker block(edit);
    edit->setText(t);
}

void showText(QLabel* label, const std::string& text) {
    const QString t = QString::fromStdString(text);
    if (label->text() != t) label->setText(t);
}

void showChecked(QAbstractButton* box, bool checked) {
    if (box->isChecked() == checked) return;
    QSignalBlocker block(box);
    box->setChecked(checked);
}

QPushButton* actionButton(const char* caption, QWidget* parent, std::function<void()> action) {
    auto* b = new QPushButton(QString::fromLatin1(caption), parent);
    QObject::connect(b, &QPushButton::clicked, b, std::move(action));
    return b;
}

void keepPlaceWhenHidden(QWidget* w) {
    QSizePolicy p = w->sizePolicy();
    p.setRetainSizeWhenHidden(true);
    w->setSizePolicy(p);
}

// ---------------------------------------------------------------------------------------------------

ComConnectionBox::ComConnectionBox(TCommPortDriver& driver, const ComPortPaths& paths, QWidget* parent)
    : QWidget(parent), driver_(driver), paths_(paths) {
    auto* grid = new QGridLayout(this);
    grid->setContentsMargins(0, 0, 0, 0);
    connect_ = new QPushButton(QStringLiteral("Connect COM"), this);
    disconnect_ = new QPushButton(QStringLiteral("Disconnect COM"), this);
    grid->addWidget(connect_, 0, 0);
    grid->addWidget(disconnect_, 1, 0);

    auto* radios = new QHBoxLayout;
    auto* group = new QButtonGroup(this);
    for (int i = 0; i < 4; ++i) {
        com_[std::size_t(i)] = new QRadioButton(QStringLiteral("COM %1").arg(i + 1), this);
        group->addButton(com_[std::size_t(i)], i);
        radios->addWidget(com_[std::size_t(i)]);
    }
    grid->addLayout(radios, 0, 1);
    auto* pathRow = new QHBoxLayout;
    pathRow->addWidget(new QLabel(QStringLiteral("Device:"), this));
    path_ = new QLineEdit(this);
    path_->setObjectName(QStringLiteral("devicePath"));
    path_->setToolTip(QStringLiteral("A device path instead of the COM port, e.g. the pseudo-terminal "
                                     "that korvo-sim prints"));
    pathRow->addWidget(path_);
    grid->addLayout(pathRow, 1, 1);

    status_ = new QLabel(QString::fromLatin1(kLinkDisconnected), this);
    status_->setFrameShape(QFrame::Panel);
    status_->setFrameShadow(QFrame::Sunken);
    status_->setTextFormat(Qt::PlainText);

    QObject::connect(connect_, &QPushButton::clicked, this, [this] {
        if (connectPressed) connectPressed();
    });
    QObject::connect(disconnect_, &QPushButton::clicked, this, [this] {
        if (disconnectPressed) disconnectPressed();
    });
    QObject::connect(group, &QButtonGroup::idToggled, this, [this](int id, bool on) {
        if (!on) return;
        if (choosePort)
            choosePort(TComPortNumber(id));
        else
            driver_.setComPort(TComPortNumber(id));
        path_->setPlaceholderText(QString::fromStdString(paths_.of(driver_.ComPort())));
    });
    showState(true, false, true);
}

void ComConnectionBox::applyDevicePath() {
    driver_.setDevicePath(path_->text().trimmed().toStdString());
}

void ComConnectionBox::showState(bool connectEnabled, bool disconnectEnabled, bool choiceEnabled) {
    connect_->setEnabled(connectEnabled);
    disconnect_->setEnabled(disconnectEnabled);
    showChecked(com_.at(std::size_t(driver_.ComPort()) & 3), true);
    for (QRadioButton* b : com_) b->setEnabled(choiceEnabled);
    path_->setEnabled(choiceEnabled);
    path_->setPlaceholderText(QString::fromStdString(paths_.of(driver_.ComPort())));
}

void ComConnectionBox::setStatus(const std::string& text) {
    showText(status_, text);
}

std::string ComConnectionBox::status() const {
    return status_->text().toStdString();
}

void reportConnectFailure(ComConnectionBox& box, Dialogs& dialogs) {
    box.setStatus(kLinkConnectFailed);
    dialogs.information("", linkConnectFailedText(box.driver().lastError()));
    QApplication::beep();
}

// ---------------------------------------------------------------------------------------------------

namespace {

std::vector<std::string> boxLines(const QString& text) {
    std::vector<std::string> lines;
    if (text.isEmpty()) return lines;
    for (const QString& l : text.split(QLatin1Char('\n'))) lines.push_back(l.toStdString());
    if (lines.back().empty()) lines.pop_back();
    return lines;
}

} // namespace

TerminalBox::TerminalBox(TerminalMemo& memo, Kind kind, QWidget* parent)
    : QPlainTextEdit(parent), memo_(memo), kind_(kind) {
    setLineWrapMode(QPlainTextEdit::NoWrap);
    setReadOnly(kind == Kind::Shown);
    if (kind == Kind::Typed) QObject::connect(this, &QPlainTextEdit::textChanged, this, [this] { copyToMemo(); });
    showMemo();
}

void TerminalBox::copyToMemo() {
    memo_.clear();
    for (const std::string& l : boxLines(toPlainText())) memo_.addLine(l);
}

void TerminalBox::showMemo() {
    const QString text = QString::fromStdString(memo_.text());
    if (kind_ == Kind::Typed && boxLines(toPlainText()) == memo_.lines()) return;
    if (kind_ == Kind::Shown && toPlainText() == text) return;
    QSignalBlocker block(this);
    setPlainText(text);
    // The newest line is the one to see.
    moveCursor(QTextCursor::End);
    verticalScrollBar()->setValue(verticalScrollBar()->maximum());
}

void TerminalBox::keyPressEvent(QKeyEvent* e) {
    const bool enter = e->key() == Qt::Key_Return || e->key() == Qt::Key_Enter;
    if (enter && kind_ == Kind::Typed && enterPressed) {
        copyToMemo();
        enterPressed();
    }
    QPlainTextEdit::keyPressEvent(e);
}

} // namespace korvo

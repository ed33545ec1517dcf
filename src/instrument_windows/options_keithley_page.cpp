#include "instrument_windows/options_keithley_page.h"

#include <QApplication>
#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalBlocker>
#include <QVBoxLayout>

namespace korvo {

namespace {

// The instrument's texts break lines with CR.
QString lines(const std::string& text) {
    QString t = QString::fromStdString(text);
    t.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    return t;
}

} // namespace

KeithleyPage::KeithleyPage(ElectrometerLink& link, AcquisitionOptions& options, bool first,
                           const ComPortPaths& paths, QWidget* parent)
    : QWidget(parent), link_(link), options_(options), first_(first) {
    ElectrometerPage& p = link_.page();
    auto* column = new QVBoxLayout(this);
    connection_ = new ComConnectionBox(link_.driver(), paths, this);
    connection_->connectPressed = [this] { connectClicked(); };
    connection_->disconnectPressed = [this] { disconnectClicked(); };
    connection_->choosePort = [this](TComPortNumber port) { link_.chooseComPort(port); };
    column->addWidget(connection_);

    auto* middle = new QHBoxLayout;
    auto* modeBox = new QGroupBox(QStringLiteral("Mode"), this);
    auto* modeGrid = new QGridLayout(modeBox);
    auto* modeGroup = new QButtonGroup(this);
    for (std::size_t i = 0; i < kKeithleyModes.size(); ++i) {
        modes_[i] = new QRadioButton(QString::fromLatin1(kKeithleyModes[i].caption), modeBox);
        modeGroup->addButton(modes_[i], int(i));
        modeGrid->addWidget(modes_[i], int(i % 4), int(i / 4));
    }
    QObject::connect(modeGroup, &QButtonGroup::idClicked, this, [this](int id) { link_.chooseMode(id); });
    middle->addWidget(modeBox);

    auto* fields = new QGridLayout;
    baud_ = new QComboBox(this);
    for (const KeithleyBaud& b : kKeithleyBaudRates) baud_->addItem(QString::fromLatin1(b.text));
    baud_->setPlaceholderText(QStringLiteral("Baud Rate"));
    baud_->setCurrentIndex(-1);
    QObject::connect(baud_, &QComboBox::activated, this, [this](int index) { link_.chooseBaudRate(index); });
    timeout_ = boundEdit(p.timeout, this);
    scaling_ = boundEdit(p.scaling, this);
    if (first_) {
        // The measurement file records electrometer 1's factor; both must always say the same.
        options_.keiScale = p.scaling;
        QObject::connect(scaling_, &QLineEdit::textEdited, this,
                         [this](const QString& t) { options_.keiScale = t.toStdString(); });
    }
    fields->addWidget(baud_, 0, 0, 1, 2);
    fields->addWidget(new QLabel(QStringLiteral("Timeout (sec) :"), this), 1, 0);
    fields->addWidget(timeout_, 1, 1);
    fields->addWidget(new QLabel(QStringLiteral("Scaling factor:"), this), 2, 0);
    fields->addWidget(scaling_, 2, 1);
    if (first_) {
        override_ = new QCheckBox(QStringLiteral("overide"), this);
        override_->setObjectName(QStringLiteral("override_mit_K1"));
        QObject::connect(override_, &QCheckBox::toggled, this,
                         [this](bool on) { options_.electrometerOverride = on; });
        fields->addWidget(override_, 3, 0, 1, 2);
    }
    middle->addLayout(fields);
    column->addLayout(middle);

    reading_ = new QWidget(this);
    auto* readRow = new QHBoxLayout(reading_);
    readRow->setContentsMargins(0, 0, 0, 0);
    read_ = actionButton("Read Data:", reading_, [this] { link_.readDataPressed(); });
    result_ = new QLabel(reading_);
    result_->setTextFormat(Qt::PlainText);
    readRow->addWidget(read_);
    readRow->addWidget(result_, 1);
    keepPlaceWhenHidden(reading_);
    column->addWidget(reading_);

    install_ = new QGroupBox(QString::fromStdString(p.installCaption), this);
    auto* installColumn = new QVBoxLayout(install_);
    installTitle_ = new QLabel(lines(p.installTitle), install_);
    installLines_ = new QLabel(lines(p.installLines), install_);
    for (QLabel* l : {installTitle_, installLines_}) {
        l->setTextFormat(Qt::PlainText);
        installColumn->addWidget(l);
    }
    keepPlaceWhenHidden(install_);
    column->addWidget(install_);

    enableTests_ = new QCheckBox(QStringLiteral("Enable all tests !  (Only for tests ! Do not use !)"), this);
    QObject::connect(enableTests_, &QCheckBox::toggled, this, [this](bool on) {
        link_.page().enableTests = on;
        refresh();
    });
    column->addWidget(enableTests_);
    createCommunicationGroup();
    column->addWidget(communication_);
    column->addStretch();
    column->addWidget(connection_->statusBar());

    p.changed = [this] { refresh(); };
    p.beep = [] { QApplication::beep(); };
    refresh();
}

KeithleyPage::~KeithleyPage() {
    link_.page().changed = nullptr;
    link_.page().beep = nullptr;
}

void KeithleyPage::createCommunicationGroup() {
    ElectrometerPage& p = link_.page();
    communication_ = new QGroupBox(QStringLiteral("Keithley Comunication"), this);
    auto* grid = new QGridLayout(communication_);
    output_ = new TerminalBox(p.output, TerminalBox::Kind::Typed, communication_);
    output_->enterPressed = [this] { link_.terminalEnter(); };
    input_ = new TerminalBox(p.input, TerminalBox::Kind::Shown, communication_);
    for (TerminalBox* b : {output_, input_}) b->setFixedHeight(90);
    grid->addWidget(output_, 0, 0);
    grid->addWidget(input_, 0, 1);
    grid->addWidget(actionButton("Clear memos", communication_, [this] { link_.clearMemos(); }), 1, 0);
    grid->addWidget(actionButton("Save  input_K", communication_, [this] { link_.saveInput(); }), 1, 1);
    keepPlaceWhenHidden(communication_);
}

void KeithleyPage::connectClicked() {
    link_.setDevicePath(connection_->devicePathEdit()->text().trimmed().toStdString());
    // The link shows a failure itself: status bar, box and beep.
    link_.connectCom();
    refresh();
}

void KeithleyPage::disconnectClicked() {
    link_.disconnectCom();
    refresh();
}

void KeithleyPage::refresh() {
    const ElectrometerPage& p = link_.page();
    connection_->showState(p.connectEnabled, p.disconnectEnabled, p.comRadiosEnabled);
    connection_->setStatus(p.status);
    if (p.mode >= 0 && p.mode < int(modes_.size())) showChecked(modes_[std::size_t(p.mode)], true);
    if (baud_->currentText() != QString::fromStdString(p.baudText)) {
        const int index = baud_->findText(QString::fromStdString(p.baudText));
        QSignalBlocker block(baud_);
        baud_->setCurrentIndex(index);
    }
    showText(timeout_, p.timeout);
    showText(scaling_, p.scaling);
    if (first_) {
        options_.keiScale = p.scaling;
        showChecked(override_, options_.electrometerOverride);
    }
    reading_->setVisible(p.readingVisible);
    read_->setEnabled(p.readEnabled);
    showText(result_, p.resultLabel);
    install_->setVisible(p.installVisible);
    showChecked(enableTests_, p.enableTests);
    communication_->setVisible(p.enableTests);
    output_->showMemo();
    input_->showMemo();
}

} // namespace korvo

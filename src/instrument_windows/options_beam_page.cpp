#include "instrument_windows/options_beam_page.h"

#include "common/number_text.h"
#include "instrument_windows/options_widgets.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>
#include <cmath>

namespace korvo {

namespace {

// The longest recovery time the pause accepts: a day.
constexpr double kMaxRecoveryS = 86400;

} // namespace

BeamPage::BeamPage(RingPoll& poll, AcquisitionOptions& options, QWidget* parent)
    : QWidget(parent), poll_(poll), options_(options) {
    if (poll_.address.empty()) poll_.address = kDefaultRingAddress;
    timer_ = new QTimer(this);
    timer_->setObjectName(QStringLiteral("http_timer"));
    QObject::connect(timer_, &QTimer::timeout, this, [this] { poll_.tick(); });
    // A read in progress moves on in small steps between the window's (and a run's) other events.
    stepTimer_ = new QTimer(this);
    stepTimer_->setInterval(RingPoll::kStepMs);
    QObject::connect(stepTimer_, &QTimer::timeout, this, [this] { poll_.step(); });

    auto* column = new QVBoxLayout(this);
    enable_ = new QCheckBox(QStringLiteral("Enable Ring Current  (Do not use !)"), this);
    QObject::connect(enable_, &QCheckBox::toggled, this, [this](bool on) { poll_.setEnabled(on); });
    column->addWidget(enable_);
    auto* readRow = new QHBoxLayout;
    read_ = actionButton("Read Single Value", this, [this] { poll_.readOnce(); });
    current_ = new QLabel(this);
    current_->setObjectName(QStringLiteral("current_label"));
    current_->setTextFormat(Qt::PlainText);
    QFont big = current_->font();
    big.setPointSizeF(big.pointSizeF() * 1.5);
    big.setBold(true);
    current_->setFont(big);
    readRow->addWidget(read_);
    readRow->addWidget(current_, 1);
    column->addLayout(readRow);

    enableTests_ = new QCheckBox(QStringLiteral("Enable all tests !  (Only for tests ! Do not use !)"), this);
    QObject::connect(enableTests_, &QCheckBox::toggled, this, [this](bool on) { tests_->setVisible(on); });
    column->addWidget(enableTests_);
    createTestPanel();
    column->addWidget(tests_);
    createPauseGroup(this);
    column->addWidget(pauseGroup_);
    column->addStretch();

    poll_.displayChanged = [this] { refresh(); };
    refresh();
}

BeamPage::~BeamPage() {
    poll_.displayChanged = nullptr;
}

void BeamPage::createTestPanel() {
    tests_ = new QGroupBox(this);
    auto* grid = new QGridLayout(tests_);
    start_ = boundEdit(poll_.markers.start, tests_);
    start_->setObjectName(QStringLiteral("startstring"));
    end_ = boundEdit(poll_.markers.end, tests_);
    end_->setObjectName(QStringLiteral("End_string"));
    refresh_ = new QLineEdit(QString::number(poll_.refreshSeconds()), tests_);
    refresh_->setObjectName(QStringLiteral("http_delay"));
    QObject::connect(refresh_, &QLineEdit::editingFinished, this, [this] { refreshTimeEdited(); });
    address_ = boundEdit(poll_.address, tests_);
    address_->setObjectName(QStringLiteral("URLEdit"));
    address_->setPlaceholderText(QStringLiteral("protocol://[user[:password]@]server[:port]/path"));
    overwrite_ = new QCheckBox(QStringLiteral("Overwrite"), tests_);
    QObject::connect(overwrite_, &QCheckBox::toggled, this, [this](bool on) { options_.ringCurrentOverwrite = on; });
    grid->addWidget(new QLabel(QStringLiteral("Start marker :"), tests_), 0, 0);
    grid->addWidget(start_, 0, 1);
    grid->addWidget(new QLabel(QStringLiteral("End marker :"), tests_), 0, 2);
    grid->addWidget(end_, 0, 3);
    grid->addWidget(new QLabel(QStringLiteral("Refresh time (sec) :"), tests_), 1, 0);
    grid->addWidget(refresh_, 1, 1);
    grid->addWidget(overwrite_, 1, 2, 1, 2);
    grid->addWidget(new QLabel(QStringLiteral("Address :"), tests_), 2, 0);
    grid->addWidget(address_, 2, 1, 1, 3);
    keepPlaceWhenHidden(tests_);
    tests_->hide();
}

void BeamPage::createPauseGroup(QWidget* parent) {
    pauseGroup_ = new QGroupBox(QStringLiteral("Beam loss"), parent);
    auto* grid = new QGridLayout(pauseGroup_);
    pause_ = new QCheckBox(QStringLiteral("Pause the run while the ring current is below"), pauseGroup_);
    QObject::connect(pause_, &QCheckBox::toggled, this, [this](bool on) { options_.beamPause = on; });
    threshold_ = new QLineEdit(pauseGroup_);
    threshold_->setObjectName(QStringLiteral("beamThreshold"));
    QObject::connect(threshold_, &QLineEdit::textEdited, this, [this] { thresholdEdited(); });
    // What is left in the box when the user is done is what the run uses.
    QObject::connect(threshold_, &QLineEdit::editingFinished, this,
                     [this] { showText(threshold_, text::plainNumber(options_.beamThresholdMa)); });
    recovery_ = new QLineEdit(pauseGroup_);
    recovery_->setObjectName(QStringLiteral("beamRecovery"));
    QObject::connect(recovery_, &QLineEdit::textEdited, this, [this] { recoveryEdited(); });
    QObject::connect(recovery_, &QLineEdit::editingFinished, this, [this] {
        showText(recovery_, text::plainNumber(double(options_.beamRecoveryMs) / 1000.0));
    });
    grid->addWidget(pause_, 0, 0, 1, 3);
    grid->addWidget(threshold_, 0, 3);
    grid->addWidget(new QLabel(QStringLiteral("mA"), pauseGroup_), 0, 4);
    grid->addWidget(new QLabel(QStringLiteral("and go on once it has stayed above it for"), pauseGroup_), 1, 0, 1, 3);
    grid->addWidget(recovery_, 1, 3);
    grid->addWidget(new QLabel(QStringLiteral("s"), pauseGroup_), 1, 4);
    auto* note = new QLabel(QStringLiteral("The ring current must be read (enable box above) for the pause to act. "
                                           "While it is read, a run also waits when the page cannot be read or "
                                           "its last reading is older than the refresh time plus 35 s."),
                            pauseGroup_);
    note->setWordWrap(true);
    grid->addWidget(note, 2, 0, 1, 5);
}

void BeamPage::refreshTimeEdited() {
    const auto s = text::parseInt(refresh_->text().toStdString());
    // A refused time leaves the poll's own in the box.
    if (s) poll_.setRefreshSeconds(*s);
    showText(refresh_, std::to_string(poll_.refreshSeconds()));
}

void BeamPage::thresholdEdited() {
    const auto v = text::parseDouble(threshold_->text().toStdString());
    if (v && *v >= 0) options_.beamThresholdMa = *v;
}

void BeamPage::recoveryEdited() {
    const auto v = text::parseDouble(recovery_->text().toStdString());
    if (v && *v >= 0 && *v <= kMaxRecoveryS) options_.beamRecoveryMs = std::llround(*v * 1000);
}

void BeamPage::armTimer() {
    if (!poll_.busy())
        stepTimer_->stop();
    else if (!stepTimer_->isActive())
        stepTimer_->start();
    if (!poll_.timerEnabled()) {
        timer_->stop();
        return;
    }
    // Restarting on every label change would put the next tick off for ever.
    if (!timer_->isActive() || timer_->interval() != poll_.intervalMs()) timer_->start(poll_.intervalMs());
}

void BeamPage::refresh() {
    const RingDisplay& d = poll_.display();
    showText(current_, d.currentLabel);
    showChecked(enable_, poll_.enabled());
    read_->setEnabled(!poll_.busy());
    showText(start_, poll_.markers.start);
    showText(end_, poll_.markers.end);
    showText(address_, poll_.address);
    if (!refresh_->hasFocus()) showText(refresh_, std::to_string(poll_.refreshSeconds()));
    showChecked(overwrite_, options_.ringCurrentOverwrite);
    showChecked(pause_, options_.beamPause);
    if (!threshold_->hasFocus()) showText(threshold_, text::plainNumber(options_.beamThresholdMa));
    if (!recovery_->hasFocus()) showText(recovery_, text::plainNumber(double(options_.beamRecoveryMs) / 1000.0));
    armTimer();
    if (displayChanged) displayChanged(d);
}

} // namespace korvo

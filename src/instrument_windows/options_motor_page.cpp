#include "instrument_windows/options_motor_page.h"

#include "common/dialogs.h"
#include "instruments/electrometer/electrometer_link.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace korvo {

MotorPage::MotorPage(MotorDriveLink& link, Dialogs& dialogs, const ComPortPaths& paths, QWidget* parent)
    : QWidget(parent), link_(link), dialogs_(dialogs) {
    auto* column = new QVBoxLayout(this);
    connection_ = new ComConnectionBox(link_.CommPortDriver_2(), paths, this);
    connection_->connectPressed = [this] { connectClicked(); };
    connection_->disconnectPressed = [this] { disconnectClicked(); };
    column->addWidget(connection_);

    auto* openRow = new QHBoxLayout;
    open_ = actionButton("Open_con", this, [this] { link_.DriveOpen(); });
    openRow->addWidget(open_);
    openRow->addStretch();
    column->addLayout(openRow);

    createPositionGroup(this);
    column->addWidget(position_);

    auto* autoRow = new QHBoxLayout;
    // The automatic move of the script, also offered as a button: fault reset, motor on, brake
    // off, the move, brake on, motor off.
    autoMove_ = actionButton("Auto Move !", this, [this] { link_.DriveAutoMove(); });
    keepPlaceWhenHidden(autoMove_);
    stepByStep_ = new QCheckBox(QStringLiteral("Step by Step Mode"), this);
    QObject::connect(stepByStep_, &QCheckBox::toggled, this, [this](bool on) { link_.setStepByStep(on); });
    autoRow->addWidget(autoMove_);
    autoRow->addWidget(stepByStep_);
    autoRow->addWidget(actionButton("show buttons", this, [this] { link_.toggleMotorButtons(); }));
    autoRow->addStretch();
    column->addLayout(autoRow);

    createMotorPanel();
    column->addWidget(motorPanel_);

    enableTests_ = new QCheckBox(QStringLiteral("Enable all tests !  (Only for tests ! Do not use !)"), this);
    QObject::connect(enableTests_, &QCheckBox::toggled, this, [this](bool on) { link_.setTestsEnabled(on); });
    column->addWidget(enableTests_);
    createCommunicationGroup();
    column->addWidget(communication_);
    column->addStretch();
    column->addWidget(connection_->statusBar());

    link_.page().changed = [this] { refresh(); };
    refresh();
}

MotorPage::~MotorPage() {
    link_.page().changed = nullptr;
}

void MotorPage::createPositionGroup(QWidget* parent) {
    MotorDrivePage& p = link_.page();
    auto* box = new QGroupBox(QStringLiteral("Position"), parent);
    position_ = box;
    auto* grid = new QGridLayout(box);
    angle_ = boundEdit(p.angle, box);
    angle_->setObjectName(QStringLiteral("Edit15"));
    increments_ = boundEdit(p.increments, box);
    increments_->setObjectName(QStringLiteral("Edit13"));
    hex_ = boundEdit(p.hex, box);
    hex_->setObjectName(QStringLiteral("Edit14"));
    speed_ = boundEdit(p.speed, box);
    moveToAngle_ = actionButton("Move To Angle !", box, [this] { link_.DriveMoveToAngle(); });
    grid->addWidget(new QLabel(QStringLiteral("Angle (deg) :"), box), 0, 0);
    grid->addWidget(angle_, 0, 1);
    grid->addWidget(moveToAngle_, 0, 2);
    grid->addWidget(actionButton("Define Position", box, [this] { link_.DriveDefinePosition(); }), 0, 3);
    grid->addWidget(new QLabel(QStringLiteral("Increments :"), box), 1, 0);
    grid->addWidget(increments_, 1, 1);
    grid->addWidget(actionButton("Calc and Move", box, [this] { link_.DriveCalcAndMove(); }), 1, 2);
    grid->addWidget(new QLabel(QStringLiteral("Hex :"), box), 2, 0);
    grid->addWidget(hex_, 2, 1);
    grid->addWidget(actionButton("Move to Hex", box, [this] { link_.DriveMoveToHex(); }), 2, 2);
    grid->addWidget(new QLabel(QStringLiteral("Speed :"), box), 3, 0);
    grid->addWidget(speed_, 3, 1);
    grid->addWidget(actionButton("Set Speed", box, [this] { link_.DriveSetSpeed(); }), 3, 2);
}

void MotorPage::createMotorPanel() {
    motorPanel_ = new QGroupBox(QStringLiteral("Motor"), this);
    auto* grid = new QGridLayout(motorPanel_);
    grid->addWidget(actionButton("Motor On !", motorPanel_, [this] { link_.MotorOn(); }), 0, 0);
    grid->addWidget(actionButton("Motor Off !", motorPanel_, [this] { link_.MotorOff(); }), 0, 1);
    grid->addWidget(actionButton("Stop", motorPanel_, [this] { link_.MotorStop(); }), 0, 2);
    grid->addWidget(actionButton("Fault-Reset", motorPanel_, [this] { link_.FaultReset(); }), 1, 0);
    grid->addWidget(actionButton("Remove Brake!", motorPanel_, [this] { link_.RemoveBrake(); }), 1, 1);
    grid->addWidget(actionButton("Tighten Brake!", motorPanel_, [this] { link_.TightenBrake(); }), 1, 2);
    keepPlaceWhenHidden(motorPanel_);
}

void MotorPage::createCommunicationGroup() {
    MotorDrivePage& p = link_.page();
    communication_ = new QGroupBox(QStringLiteral("Motor Comunication"), this);
    auto* grid = new QGridLayout(communication_);
    timeout_ = boundEdit(p.timeout, communication_);
    grid->addWidget(new QLabel(QStringLiteral("Timeout (sec) :"), communication_), 0, 0);
    grid->addWidget(timeout_, 0, 1);
    output_ = new TerminalBox(p.output, TerminalBox::Kind::Typed, communication_);
    output_->setObjectName(QStringLiteral("output_2"));
    output_->enterPressed = [this] { link_.terminalEnter(); };
    input_ = new TerminalBox(p.input, TerminalBox::Kind::Shown, communication_);
    input_->setObjectName(QStringLiteral("input_2"));
    for (TerminalBox* b : {output_, input_}) b->setFixedHeight(90);
    grid->addWidget(output_, 1, 0, 1, 2);
    grid->addWidget(input_, 1, 2, 1, 2);
    grid->addWidget(actionButton("Clear memos", communication_, [this] { link_.clearMemos(); }), 2, 0);
    random_ = actionButton("100", communication_, [this] { link_.DriveRandomMoves(); });
    grid->addWidget(random_, 2, 1);
    keepPlaceWhenHidden(communication_);
}

void MotorPage::connectClicked() {
    connection_->applyDevicePath();
    if (link_.connectCom())
        connection_->setStatus(kLinkConnected);
    else
        reportConnectFailure(*connection_, dialogs_);
    refresh();
}

void MotorPage::disconnectClicked() {
    connection_->setStatus(kLinkDisconnected);
    link_.disconnectCom();
    refresh();
}

void MotorPage::refresh() {
    const MotorDrivePage& p = link_.page();
    const bool connected = link_.connected();
    connection_->showState(!connected, connected, !connected);
    open_->setEnabled(p.openEnabled);
    position_->setEnabled(connected);
    showText(angle_, p.angle);
    showText(increments_, p.increments);
    showText(hex_, p.hex);
    showText(speed_, p.speed);
    showText(timeout_, p.timeout);
    paintBase(angle_, colourFromNumber(p.angleColour));
    autoMove_->setVisible(p.autoMoveVisible);
    autoMove_->setEnabled(p.autoMoveEnabled && connected);
    showChecked(stepByStep_, p.stepByStep);
    motorPanel_->setVisible(p.motorPanelVisible);
    showChecked(enableTests_, p.testsEnabled);
    communication_->setVisible(p.communicationVisible);
    random_->setEnabled(p.randomMovesEnabled);
    output_->showMemo();
    input_->showMemo();
}

} // namespace korvo

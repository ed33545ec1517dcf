#include "instrument_windows/options_mono_page.h"

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

MonoPage::MonoPage(MonochromatorLink& link, Dialogs& dialogs, const ComPortPaths& paths, QWidget* parent)
    : QWidget(parent), link_(link), dialogs_(dialogs) {
    MonochromatorPage& p = link_.page();
    auto* column = new QVBoxLayout(this);

    connection_ = new ComConnectionBox(link_.CommPortDriver_1(), paths, this);
    connection_->connectPressed = [this] { connectClicked(); };
    connection_->disconnectPressed = [this] { disconnectClicked(); };
    column->addWidget(connection_);

    auto* operations = new QHBoxLayout;
    open_ = actionButton("Open_con", this, [this] { link_.MonoOpen(); });
    close_ = actionButton("Close_con", this, [this] { link_.MonoClose(); });
    getPosition_ = actionButton("Get Position", this, [this] { link_.MonoGetPosition(); });
    getStatus_ = actionButton("Get Status", this, [this] { link_.MonoGetStatus(); });
    for (QPushButton* b : {open_, close_, getPosition_, getStatus_}) operations->addWidget(b);
    column->addLayout(operations);

    auto* zeroRow = new QHBoxLayout;
    zeroRow->addWidget(new QLabel(QStringLiteral("Zero Order :"), this));
    zeroOrder_ = boundEdit(p.Edit1, this);
    zeroRow->addWidget(zeroOrder_);
    zeroRow->addStretch();
    column->addLayout(zeroRow);

    // The motion panel appears once the controller has accepted "OPN".
    motion_ = new QGroupBox(QStringLiteral("Position"), this);
    auto* grid = new QGridLayout(motion_);
    wavelength_ = boundEdit(p.wellenlaenge1, motion_);
    energy_ = boundEdit(p.energy1, motion_);
    goWavelength_ = actionButton("Go Wavelength", motion_, [this] { link_.MonoGoWavelength(); });
    goEnergy_ = actionButton("Go Energy", motion_, [this] { link_.MonoGoEnergy(); });
    stop_ = actionButton("Stop Monocromator", motion_, [this] { link_.MonoStop(); });
    grid->addWidget(new QLabel(QStringLiteral("Wavelength (nm) :"), motion_), 0, 0);
    grid->addWidget(wavelength_, 0, 1);
    grid->addWidget(goWavelength_, 0, 2);
    grid->addWidget(new QLabel(QStringLiteral("Energy (eV) :"), motion_), 1, 0);
    grid->addWidget(energy_, 1, 1);
    grid->addWidget(goEnergy_, 1, 2);
    grid->addWidget(stop_, 2, 2);
    keepPlaceWhenHidden(motion_);
    column->addWidget(motion_);

    enableTests_ = new QCheckBox(QStringLiteral("Enable all tests !  (Only for tests ! Do not use !)"), this);
    QObject::connect(enableTests_, &QCheckBox::toggled, this, [this](bool on) {
        link_.page().enableTests = on;
        refresh();
    });
    column->addWidget(enableTests_);
    createTestGroup();
    column->addWidget(tests_);
    column->addStretch();
    column->addWidget(connection_->statusBar());

    p.changed = [this] { refresh(); };
    refresh();
}

MonoPage::~MonoPage() {
    link_.page().changed = nullptr;
}

void MonoPage::createTestGroup() {
    MonochromatorPage& p = link_.page();
    tests_ = new QGroupBox(QStringLiteral("Communication"), this);
    auto* grid = new QGridLayout(tests_);
    openTimeout_ = boundEdit(p.timeout_max_1, tests_);
    timeout_ = boundEdit(p.timeout_norm_1, tests_);
    grid->addWidget(new QLabel(QStringLiteral("Timeout Open_con (sec) :"), tests_), 0, 0);
    grid->addWidget(openTimeout_, 0, 1);
    grid->addWidget(new QLabel(QStringLiteral("Timeout (sec) :"), tests_), 0, 2);
    grid->addWidget(timeout_, 0, 3);
    // How fast the monochromator drives bounds how long a move may take.
    speed_ = boundEdit(p.moveSpeed, tests_);
    grid->addWidget(new QLabel(QStringLiteral("Speed (nm/s) :"), tests_), 0, 4);
    grid->addWidget(speed_, 0, 5);
    simulation_ = new QCheckBox(QStringLiteral("Simulation on  (Only for tests ! Do not use !)"), tests_);
    QObject::connect(simulation_, &QCheckBox::toggled, this, [this](bool on) { link_.page().simulation_on_1 = on; });
    grid->addWidget(simulation_, 1, 0, 1, 6);
    output_ = new TerminalBox(p.output_1, TerminalBox::Kind::Typed, tests_);
    output_->setObjectName(QStringLiteral("output_1"));
    output_->enterPressed = [this] { link_.terminalEnter(); };
    input_ = new TerminalBox(p.input_1, TerminalBox::Kind::Shown, tests_);
    input_->setObjectName(QStringLiteral("input_1"));
    simOut_ = new TerminalBox(p.Sim_out_1, TerminalBox::Kind::Shown, tests_);
    simOut_->setObjectName(QStringLiteral("Sim_out_1"));
    grid->addWidget(output_, 2, 0, 1, 2);
    grid->addWidget(input_, 2, 2);
    grid->addWidget(simOut_, 2, 3, 1, 3);
    grid->addWidget(actionButton("Clear memos", tests_, [this] { link_.clearMemos(); }), 3, 0);
    grid->addWidget(actionButton("memo2.savetofie", tests_,
                           [this] {
                               std::string error;
                               if (!link_.saveInputMemo(&error))
                                   dialogs_.error(kInstrumentCaption, "test.txt could not be saved: " + error);
                           }),
                    3, 1);
    for (TerminalBox* b : {output_, input_, simOut_}) b->setFixedHeight(90);
    keepPlaceWhenHidden(tests_);
}

void MonoPage::connectClicked() {
    connection_->applyDevicePath();
    if (link_.connectCom())
        connection_->setStatus(kLinkConnected);
    else
        reportConnectFailure(*connection_, dialogs_);
    refresh();
}

void MonoPage::disconnectClicked() {
    connection_->setStatus(kLinkDisconnected);
    link_.disconnectCom();
    refresh();
}

void MonoPage::refresh() {
    const MonochromatorPage& p = link_.page();
    const MonochromatorButtons& b = p.buttons;
    connection_->showState(b.connect, b.disconnect, !link_.connected());
    open_->setEnabled(b.open);
    close_->setEnabled(b.close);
    getPosition_->setEnabled(b.getPosition);
    getStatus_->setEnabled(b.getStatus);
    goWavelength_->setEnabled(b.goWavelength);
    goEnergy_->setEnabled(b.goEnergy);
    stop_->setEnabled(b.stop);
    motion_->setVisible(p.motionPanelVisible);
    showText(wavelength_, p.wellenlaenge1);
    showText(energy_, p.energy1);
    showText(zeroOrder_, p.Edit1);
    showText(openTimeout_, p.timeout_max_1);
    showText(timeout_, p.timeout_norm_1);
    showText(speed_, p.moveSpeed);
    // A connected port says nothing about the monochromator behind it: the last failure is shown.
    if (link_.connected())
        connection_->setStatus(p.fault.empty() ? std::string(kLinkConnected)
                                               : std::string(kLinkConnected) + " - " + p.fault);
    showChecked(enableTests_, p.enableTests);
    showChecked(simulation_, p.simulation_on_1);
    tests_->setVisible(p.testGroupVisible());
    output_->showMemo();
    input_->showMemo();
    simOut_->showMemo();
}

} // namespace korvo

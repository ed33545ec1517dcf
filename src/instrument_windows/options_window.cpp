#include "instrument_windows/options_window.h"

#include "instrument_windows/options_beam_page.h"
#include "instrument_windows/options_info_page.h"
#include "instrument_windows/options_keithley_page.h"
#include "instrument_windows/options_mono_page.h"
#include "instrument_windows/options_motor_page.h"
#include "instrument_windows/options_saving_page.h"
#include "instrument_windows/options_stepper_page.h"
#include "instrument_windows/options_tests_page.h"

#include <QHBoxLayout>
#include <QPushButton>
#include <QScreen>
#include <QShowEvent>
#include <QTabWidget>
#include <QVBoxLayout>

namespace korvo {

TForm15::TForm15(Station& station, Beamline& beamline, PortIo& port, const ComPortPaths& paths,
                 const std::string& iniPath, QWidget* parent)
    : QWidget(parent, Qt::Window), station_(station), beamline_(beamline) {
    setWindowTitle(QStringLiteral("Options"));
    // The program ends with its main window, also while this one is open.
    setAttribute(Qt::WA_QuitOnClose, false);
    Dialogs& dialogs = station.ctx.dialogs;

    auto* column = new QVBoxLayout(this);
    auto* top = new QHBoxLayout;
    top->addStretch();
    next_ = new QPushButton(QStringLiteral(">"), this);
    next_->setFixedWidth(28);
    connect(next_, &QPushButton::clicked, this, &TForm15::nextPageClicked);
    top->addWidget(next_);
    column->addLayout(top);

    notebook_ = new QTabWidget(this);
    saving_ = new SavingPage(station, notebook_);
    mono_ = new MonoPage(beamline.monochromator, dialogs, paths, notebook_);
    motor_ = new MotorPage(beamline.motorDrive, dialogs, paths, notebook_);
    steppers_ = new StepperPage(beamline.steppers, notebook_);
    keithley1_ = new KeithleyPage(beamline.electrometer1, station.ctx.options, true, paths, notebook_);
    keithley2_ = new KeithleyPage(beamline.electrometer2, station.ctx.options, false, paths, notebook_);
    beam_ = new BeamPage(beamline.ring, station.ctx.options, notebook_);
    tests_ = new AnalyserTestsPage(station, port, notebook_);
    info_ = new InfoPage(station, iniPath, notebook_);
    notebook_->addTab(saving_, QStringLiteral("Saving"));
    notebook_->addTab(mono_, QStringLiteral("Monochr."));
    notebook_->addTab(motor_, QStringLiteral("Main Motor"));
    notebook_->addTab(steppers_, QStringLiteral("Manipulator / Sample"));
    notebook_->addTab(keithley1_, QStringLiteral("Keithley 1"));
    notebook_->addTab(keithley2_, QStringLiteral("Keithley 2"));
    notebook_->addTab(beam_, QStringLiteral("Beam"));
    notebook_->addTab(tests_, QStringLiteral("Analy. Tests"));
    notebook_->addTab(info_, QStringLiteral("Info"));
    column->addWidget(notebook_);
    // A fixed border: the window is as large as its largest page.
    column->setSizeConstraint(QLayout::SetFixedSize);

    // Whenever the manipulator page comes up, the time-correction box is read from the run's value
    // again, as it always has been.
    connect(notebook_, &QTabWidget::currentChanged, this, [this](int index) {
        if (index == Manipulator) info_->showTimeCorrection();
    });
    saving_->closeWindow = [this] { close(); };
    info_->closeWindow = [this] { close(); };
    info_->plotColourReset = [this] {
        if (plotColourReset) plotColourReset();
    };
    tests_->testsEnabledChanged = [this](bool on) {
        info_->setHiddenGroupsVisible(on);
        if (analyserTestsChanged) analyserTestsChanged(on);
    };
    beam_->displayChanged = [this](const RingDisplay& d) {
        if (ringDisplayChanged) ringDisplayChanged(d);
    };
    info_->setHiddenGroupsVisible(station.ctx.options.enableTests);
}

TForm15::~TForm15() = default;

void TForm15::showEvent(QShowEvent* e) {
    QWidget::showEvent(e);
    refresh();
    if (placed_) return;
    placed_ = true;
    if (QScreen* s = screen()) move(s->availableGeometry().center() - QPoint(width() / 2, height() / 2));
}

void TForm15::refresh() {
    saving_->refresh();
    tests_->refresh();
    keithley1_->refresh();
    beam_->refresh();
}

void TForm15::showOptionsPage(int page) {
    if (page < 0 || page >= kPages) return;
    notebook_->setCurrentIndex(page);
    if (page == Saving) saving_->pointAt(station_.settings.store.saveDir);
    show();
    raise();
    activateWindow();
}

void TForm15::nextPageClicked() {
    notebook_->setCurrentIndex((notebook_->currentIndex() + 1) % kPages);
}

void TForm15::showControlLamps(std::uint8_t controlByte) {
    tests_->showLamps(controlByte);
}

void TForm15::showAnalyserReadouts(const AnalyserReadouts& readouts) {
    tests_->showReadouts(readouts);
}

void TForm15::showTimeCorrection() {
    info_->showTimeCorrection();
}

std::string TForm15::ringCurrentLabel() const {
    return beamline_.ring.display().currentLabel;
}

void TForm15::setCardInUse(const std::string& card) {
    tests_->setCardInUse(card);
}

} // namespace korvo

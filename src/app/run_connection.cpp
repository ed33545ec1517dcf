#include "app/run_connection.h"

#include "app/live_display.h"
#include "app/main_window.h"

#include <QAction>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QPainter>
#include <QPixmap>
#include <QPushButton>

namespace korvo {

RunConnection::RunConnection(TForm1& window, PortIo& port)
    : QObject(&window), window_(window),
      io_(window.context(), port, window.fields(), measurement_.state, measurement_.data),
      saver_(window.context(), window.fields(), measurement_),
      engine_(window.context(), io_, window.fields(), window.state(), measurement_, saver_, *this) {
    io_.hooks.energyLabel = [this](const std::string& t) {
        window_.energyLabel()->setText(QString::fromStdString(t));
    };
    io_.hooks.monitorLabel = [this](const std::string& t) {
        window_.monitorLabel()->setText(QString::fromStdString(t));
    };
    io_.startUp(true);
    live_ = new LiveDisplay(window, engine_);

    connect(&window, &TForm1::runRequested, this, &RunConnection::startClicked);
    connect(&window, &TForm1::stopRequested, this, [this] { engine_.requestStop(); });
    connect(&window, &TForm1::continueClicked, this, &RunConnection::continueClicked);
    connect(&window, &TForm1::skipScanClicked, this, [this] { engine_.skipScanClicked(); });
    connect(&window, &TForm1::lastScanClicked, this, [this] { engine_.lastScanClicked(); });
    connect(&window, &TForm1::saveMeasurementRequested, this, &RunConnection::saveClicked);
    connect(&window, &TForm1::randomStartRequested, this, &RunConnection::randomStartClicked);

    // The run re-reads the scans field after every scan and, in the CFS and CIS modes, the start
    // field at every point; it saves sample, comment and file name at its end. Whatever the user types
    // while it runs reaches the fields at once, so a field the run shows again is never put back.
    for (QLineEdit* e : window.measurementPanel()->findChildren<QLineEdit*>())
        connect(e, &QLineEdit::textEdited, this, [this] { window_.controlsToFields(); });
}

void RunConnection::settingsToSaver() {
    auto& store = window_.settings().store;
    saver_.saveDir = store.saveDir;
    saver_.startDir = store.startDir;
    saver_.storedLastName = store.lastFileName;
}

void RunConnection::saverToSettings() {
    auto& store = window_.settings().store;
    store.saveDir = saver_.saveDir;
    store.lastFileName = saver_.storedLastName;
}

void RunConnection::startClicked() {
    if (engine_.running()) {
        // "Stop", pressed from inside the running measurement's waits.
        engine_.startClicked();
        return;
    }
    window_.controlsToFields();
    settingsToSaver();
    engine_.startClicked(); // returns when the run has ended
    saverToSettings();
}

void RunConnection::randomStartClicked() {
    if (engine_.running()) return;
    window_.controlsToFields();
    settingsToSaver();
    const auto seed = static_cast<std::uint64_t>(window_.context().clock.nowUs());
    const RandomFollowUp next = engine_.randomTestStart(seed);
    saverToSettings();
    // Afterwards a random mode, kind and pass energy, so that the next press tries another setting.
    window_.switchMode(next.machineMode);
    window_.controlsToFields();
    window_.fields().kindOfMeasure = next.kindOfMeasure;
    window_.fields().passEnergyIndex = next.passEnergyIndex;
    window_.fields().passEnergyText = kPassEnergyItems[next.passEnergyIndex];
    window_.fieldsToControls();
    window_.PassEnergie_ComboBoxChange();
}

void RunConnection::continueClicked() {
    if (engine_.running()) {
        engine_.continueClicked();
        return;
    }
    // Further scans for a finished run: the whole continuation runs inside this call.
    window_.controlsToFields();
    settingsToSaver();
    engine_.continueClicked();
    saverToSettings();
}

void RunConnection::saveClicked() {
    if (engine_.running()) return;
    window_.controlsToFields();
    settingsToSaver();
    engine_.saveClicked();
    saverToSettings();
    window_.fieldsToControls();
}

void RunConnection::runStarted() {
    live_->runStarted();
    stripExtra_ = stripDone_ = -1;
}

void RunConnection::drawPoint(std::size_t record) {
    live_->drawPoint(record);
}

void RunConnection::redraw() {
    live_->redraw();
}

void RunConnection::measurementsLabel(const std::string& text) {
    window_.measurementsLabel()->setText(QString::fromStdString(text));
}

void RunConnection::progress(const ProgressStrip& strip) {
    if (strip.extraWidth == stripExtra_ && strip.doneWidth == stripDone_) return;
    stripExtra_ = strip.extraWidth;
    stripDone_ = strip.doneWidth;
    QPixmap pm(ProgressStrip::width, ProgressStrip::height);
    pm.fill(TForm1::fromBgr(ProgressStrip::backgroundColour));
    QPainter p(&pm);
    const int h = ProgressStrip::height;
    p.fillRect(0, 0, std::clamp(strip.extraWidth, 0, ProgressStrip::width), h,
               TForm1::fromBgr(ProgressStrip::extraColour));
    p.fillRect(0, 0, std::clamp(strip.doneWidth, 0, ProgressStrip::width), h,
               TForm1::fromBgr(ProgressStrip::doneColour));
    p.end();
    window_.progressStrip()->setPixmap(pm);
}

void RunConnection::controlsChanged(const RunControls& c) {
    window_.setRunRunning(c.running);
    window_.startButton()->setText(QString::fromStdString(c.startCaption));
    window_.continueButton()->setText(QString::fromStdString(c.continueCaption));
    window_.continueButton()->setEnabled(c.continueEnabled);
    window_.skipScanButton()->setEnabled(c.skipEnabled);
    window_.lastScanButton()->setEnabled(c.lastScanEnabled);
    window_.saveButton()->setEnabled(c.saveEnabled);
    window_.kindBox()->setEnabled(c.kindEnabled);
    // The pass energy and the reference channel fix the channel shifts and the photon steps of the
    // scan in progress: changed half-way, the counts of one scan would land on other energies.
    window_.passEnergyCombo()->setEnabled(!c.running);
    window_.channelList()->setEnabled(!c.running);
    window_.machineMenu()->menuAction()->setEnabled(c.menusEnabled);
    window_.measureAction()->setEnabled(c.menusEnabled);
}

void RunConnection::fieldsChanged() {
    window_.fieldsToControls();
    window_.showPhotonView(engine_.photonView());
}

void RunConnection::rangeText(const std::string& text) {
    window_.rangeLabel()->setText(QString::fromStdString(text));
}

void RunConnection::extraPoints(std::int64_t count) {
    window_.extraPointsLabel()->setText(QString::number(count) + QStringLiteral(" Extra Points"));
}

void RunConnection::channelList(const std::vector<std::string>& items) {
    window_.setChannelItems(items);
}

} // namespace korvo

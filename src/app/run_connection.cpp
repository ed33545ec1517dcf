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

RunConnection::RunConnection(TForm1& window, Station& station) : QObject(&window), window_(window) {
    station.engine.setDisplay(*this);
    station.io.hooks.energyLabel = [this](const std::string& t) {
        window_.energyLabel()->setText(QString::fromStdString(t));
    };
    station.io.hooks.monitorLabel = [this](const std::string& t) {
        window_.monitorLabel()->setText(QString::fromStdString(t));
    };
    live_ = new LiveDisplay(window, station.engine);
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
    window_.startButton()->setText(QString::fromLatin1(c.startCaption()));
    window_.continueButton()->setText(QString::fromLatin1(c.continueCaption()));
    window_.continueButton()->setEnabled(c.continueEnabled);
    window_.skipScanButton()->setEnabled(c.skipEnabled);
    window_.lastScanButton()->setEnabled(c.lastScanEnabled);
    window_.saveButton()->setEnabled(c.saveEnabled);
    window_.kindBox()->setEnabled(c.kindEnabled);
    // The pass energy and the reference channel fix the channel shifts and the photon steps of the
    // scan in progress: changed half-way, the counts of one scan would land on other energies.
    window_.passEnergyCombo()->setEnabled(!c.running());
    window_.channelList()->setEnabled(!c.running());
    window_.machineMenu()->menuAction()->setEnabled(c.menusEnabled);
    window_.measureAction()->setEnabled(c.menusEnabled);
}

void RunConnection::fieldsChanged() {
    window_.fieldsToControls();
    window_.showPhotonView();
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

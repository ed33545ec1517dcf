#include "app/main_window.h"

#include "app/run_connection.h"
#include "app/text_editor_window.h"
#include "app/warning_dialog.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QColorDialog>
#include <QDir>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QScreen>
#include <QStatusBar>

namespace korvo {

TForm1::TForm1(Station& station, std::string iniPath, QWidget* parent)
    : QMainWindow(parent), station_(station), ctx_(station.ctx), fields_(station.fields),
      state_(station.state), settings_(station.settings), ini_(std::move(iniPath)) {
    chooseColour = [this](const QColor& current) -> std::optional<QColor> {
        QColor c = QColorDialog::getColor(current, this);
        if (!c.isValid()) return std::nullopt;
        return c;
    };
    createMenus();
    createPanel();
    createStatusBar();
    connectParameters();
    editor_ = new TextEditorWindow(this);
    warning_ = new TForm11(this);

    // The order matters: the settings read below fills controls created above, and the reference
    // channel must hold before the first pass-energy change.
    scriptLabel_->setText(QStringLiteral(" Script \n Mode ! "));
    autoScale_->setChecked(true);
    multiPlotBox_->move(-2000, multiPlotBox_->y());
    state_.ReferenceChannel = 5;
    setWindowTitle(QStringLiteral("Korvo '02"));
    fieldsToControls(); // the design defaults, for the keys the settings file does not carry
    readSettings("", true);
    ctx_.channels.shifts.load(ini_);
    rebuildKindItems();

    // The progress strip starts as an empty grey bar.
    QPixmap strip(100, 17);
    strip.fill(fromBgr(0xDDDDDD));
    progressLabel_->setPixmap(strip);
    progressLabel_->setFixedSize(100, 17);

    run_ = new RunConnection(*this, station_);

    // Only the menu bar is of use until "Measure" is chosen.
    panel_->hide();
    machineMenu_->menuAction()->setEnabled(false);
    resize(600, 100);
}

TForm1::~TForm1() = default;

QColor TForm1::fromBgr(std::uint32_t bgr) {
    const Rgb c = rgbFromColourNumber(bgr);
    return QColor(c.r, c.g, c.b);
}

QFont TForm1::smallFont(QFont font) {
    font.setPointSizeF(font.pointSizeF() * 0.85);
    return font;
}

void TForm1::showEvent(QShowEvent* e) {
    QMainWindow::showEvent(e);
    if (!startPending_) return;
    startPending_ = false;
    resize(600, 100);
    machineMenu_->menuAction()->setEnabled(false);
    panel_->hide();
    settings_.store.startDir = QDir::currentPath().toStdString();
    if (scheme4x2_) scheme4x2_->setChecked(true);
    plotBox_->setStyleSheet(QStringLiteral("background: white;"));
    // Shows the extra-point count of the stored pass energy from the start.
    PassEnergie_ComboBoxChange();
}

void TForm1::MeasureClick() {
    if (settings_.store.startDir.empty()) settings_.store.startDir = QDir::currentPath().toStdString();
    measureAction_->setVisible(false);
    checkSaveDir();
    if (state_.MachineMode != ModeOff) modeSwitchSteps(ModeClam);
    panel_->show();
    // From here on the window must not shrink past its controls; before "Measure" the 600 x 100 of
    // the bare menu bar stays possible.
    centralWidget()->setMinimumSize(measurementMinimumSize());
    resize(700, 580);
    move(screen() ? screen()->availableGeometry().topLeft() : QPoint(0, 0));
    machineMenu_->menuAction()->setEnabled(true);
    applyResize();
}

void TForm1::switchMode(std::uint8_t mode) {
    if (mode < ModeClam || mode > ModeKeithley) return;
    modeSwitchSteps(mode);
    applyModeLayout(mode);
    applyResize();
}

void TForm1::closeEvent(QCloseEvent* e) {
    // The single-instance guard is deliberately not released here: it belongs to the program, and
    // a refused close must keep a second copy out.
    if (runActive()) {
        ctx_.dialogs.show("Please stop the measurements first!");
        e->ignore();
        return;
    }
    if (ctx_.dialogs.ask("Korvo 02", "Close Korvo 02 ?", DialogIcon::Warning, DialogButtons::OkCancel) !=
        DialogAnswer::Ok) {
        e->ignore();
        return;
    }
    closing_ = true;
    writeSettings(true);
    DataBlock().swap(station_.measurement.data);
    editor_->close();
    e->accept();
}

void TForm1::ExitClick() {
    // During a run the close below is refused, and the settings are written when the program closes.
    if (!runActive()) writeSettings(true);
    close();
}

void TForm1::checkSaveDir(bool tellOptions) {
    SaveDirCheck check = korvo::checkSaveDir(settings_.store.saveDir, settings_.store.startDir);
    if (tellOptions && check.optionsPage >= 0) showOptionsPage(check.optionsPage);
}

void TForm1::bringToFront() {
    if (isMinimized()) showNormal();
    show();
    setWindowState((windowState() & ~Qt::WindowMinimized) | Qt::WindowActive);
    raise();
    activateWindow();
}

void TForm1::setStatusPanel(int index, const QString& text) {
    if (index >= 0 && index < int(statusLabels_.size())) statusLabels_[index]->setText(text);
}

void TForm1::setStatusPanelRaised(int index, bool raised) {
    if (index >= 0 && index < int(statusLabels_.size()))
        statusLabels_[index]->setFrameShadow(raised ? QFrame::Raised : QFrame::Sunken);
}

bool TForm1::statusPanelRaised(int index) const {
    return index >= 0 && index < int(statusLabels_.size()) && statusLabels_[index]->frameShadow() == QFrame::Raised;
}

QString TForm1::statusPanel(int index) const {
    if (index >= 0 && index < int(statusLabels_.size())) return statusLabels_[index]->text();
    return {};
}

} // namespace korvo

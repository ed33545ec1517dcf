// The viewer window's analysis commands: "Experts", "Math", the one-letter commands, "Normierung"
// and "&Integrate". Each is one call into viewer/analysis, then the window shows the workspace again.
#include "viewer/ui/clipping_drawing.h"
#include "viewer/ui/fit_window.h"
#include "viewer/ui/integration_window.h"
#include "viewer/ui/satellite_dialog.h"
#include "viewer/ui/surface_view.h"
#include "viewer/ui/viewer_context.h"
#include "viewer/ui/viewer_window.h"

#include "viewer/analysis/backgrounds.h"
#include "viewer/fit/fit_nexus.h"
#include "common/ini_file.h"

#include <QAction>
#include <QInputDialog>
#include <QMenu>
#include <QMenuBar>
#include <QScreen>
#include <QSpinBox>

namespace korvo {

using analysis::Operation;
using Kind = Operation::Kind;

void TForm3::createAnalysisMenus() {
    QMenuBar* bar = menuBar();
    auto add = [this](QMenu* menu, const QString& caption, Operation op) {
        connect(menu->addAction(caption), &QAction::triggered, this, [this, op] { analysisCommand(op); });
    };
    QMenu* experts = bar->addMenu(QStringLiteral("Experts"));
    colourAction_ = experts->addAction(QStringLiteral("Color-Mode"));
    colourAction_->setCheckable(true);
    connect(colourAction_, &QAction::triggered, this, [this] {
        colourAction_->setChecked(!colourAction_->isChecked()); // the command itself toggles
        colourModeCommand();
    });
    surface3d_ = new Surface3dMode(*this, ctx_.dialogs, experts, nullptr);
    add(experts, QStringLiteral("Slices-Sum"), {Kind::SlicesSum});
    connect(experts->addAction(QStringLiteral("Export Surfer")), &QAction::triggered, this, &TForm3::surferCommand);
    experts->addSeparator();
    add(experts, QStringLiteral("Q-Fit"), {Kind::QFit});
    add(experts, QStringLiteral("q-Fit 50"), {Kind::QFit50});
    add(experts, QStringLiteral("MM-3-Fit"), {Kind::MM3Fit});
    add(experts, QStringLiteral("MM2-Fit"), {Kind::MM2Fit});
    add(experts, QStringLiteral("MM-Fit"), {Kind::MMFit});
    experts->addSeparator();
    add(experts, QStringLiteral("Smoothing"), {Kind::Smooth});
    add(experts, QStringLiteral("I - Fit - Normal"), {Kind::MeanFit, 0});
    add(experts, QStringLiteral("I - Fit   - 25 %"), {Kind::MeanFit, 25});
    add(experts, QStringLiteral("I - Fit   - 50 %"), {Kind::MeanFit, 50});
    add(experts, QStringLiteral("I - Fit   - 75 %"), {Kind::MeanFit, 75});
    add(experts, QStringLiteral("I - Fit  -100 %"), {Kind::MeanFit, 100});
    add(experts, QStringLiteral("M - Fit - 100%"), {Kind::MinimumFit});
    experts->addSeparator();
    // Backgrounds between the marks, beyond the original command set.
    add(experts, QStringLiteral("Shirley background"), {Kind::Shirley});
    connect(experts->addAction(QStringLiteral("Tougaard background...")), &QAction::triggered, this, [this] {
        const std::optional<double> b = askNumber(askTougaardB, QStringLiteral("Tougaard background"),
                                                  QStringLiteral("B (eV^2), C = 1643 eV^2:"), analysis::kTougaardB,
                                                  1, 1e9, 1);
        if (!b) return;
        Operation op(Kind::Tougaard);
        op.tougaardB = *b;
        analysisCommand(op);
    });

    connect(bar->addAction(QStringLiteral("a")), &QAction::triggered, this, [this] { analysisCommand({Kind::LetterA}); });
    connect(bar->addAction(QStringLiteral("----")), &QAction::triggered, this, [this] { colourViewOfAllCommand(); });
    connect(bar->addAction(QStringLiteral("b")), &QAction::triggered, this, [this] { analysisCommand({Kind::LetterB}); });
    connect(bar->addAction(QStringLiteral("c")), &QAction::triggered, this, [this] { analysisCommand({Kind::Stack}); });
    QMenu* math = bar->addMenu(QStringLiteral("Math"));
    add(math, QStringLiteral("Store"), {Kind::Store});
    add(math, QStringLiteral("Add Store"), {Kind::AddStore});
    add(math, QStringLiteral("Sub Store"), {Kind::SubStore});
    add(math, QStringLiteral("Set_R"), {Kind::SetR});
}

void TForm3::analysisCommand(const Operation& op) {
    // The clipping fits draw their progress on the paint box and leave it there until the next
    // repaint.
    const bool clipping = op.kind == Kind::QFit || op.kind == Kind::QFit50;
    std::optional<ClippingDrawing> drawing;
    if (clipping) drawing.emplace(plotBox()->size(), [this](const QImage& picture) { showFitPicture(picture); });
    // The store file lies in the working directory. A command that changed spectra is a step of
    // Undo, whatever its outcome.
    UndoHistory::Before before = UndoHistory::capture(*ws_);
    const analysis::OperationResult r =
        analysis::runOperation(*ws_, op, analysis::kStoreFileName, drawing ? &*drawing : nullptr);
    recordStep(std::move(before));
    if (!r.outcome.ok() && !r.integration) ctx_.dialogs.message("", r.outcome.message, DialogIcon::None);
    if (r.integration) {
        if (!r.integration->ok()) {
            ctx_.dialogs.message("", r.integration->message, DialogIcon::Warning);
            return;
        }
        if (!integration_) integration_ = new TForm13(this);
        integration_->show(*r.integration);
        return;
    }
    if (r.outcome.toggleColourView) colourModeCommand();
    if (clipping && fitPicture_) {
        updateValueTable();
        return;
    }
    if (r.outcome.redraw == analysis::Redraw::FullScale) {
        // The command's common range is kinetic; on the binding axis each spectrum takes its own.
        if (binding_) fullScale(*ws_, FullScale::All, binding());
        rangesChanged();
    }
    else
        refresh();
}

std::optional<double> TForm3::askNumber(const std::function<std::optional<double>()>& hook, const QString& title,
                                        const QString& label, double value, double min, double max, int decimals) {
    if (hook) return hook();
    bool ok = false;
    const double v = QInputDialog::getDouble(this, title, label, value, min, max, decimals, &ok);
    return ok ? std::optional(v) : std::nullopt;
}

bool TForm3::colourView() const {
    return colourAction_->isChecked();
}

void TForm3::colourModeCommand() {
    const bool on = !colourView();
    colourAction_->setChecked(on);
    colourSelector_->setVisible(on);
    refresh();
}

void TForm3::colourViewOfAllCommand() {
    ws_->SelStartPoint = 1;
    ws_->SelEndPoint = analysis::commonPointCount(*ws_);
    colourSelector_->setValue(2);
    colourModeCommand();
}

void TForm3::satelliteCommand() {
    TForm16 dialog(ctx_.dialogs, this);
    std::vector<std::string> names;
    for (int i = 1; i <= ws_->ShownCount; ++i) names.push_back(ws_->spectrum(ws_->atPosition(i)).ShortName);
    dialog.setSpectra(names);
    if (answerSatellite ? (answerSatellite(dialog), dialog.result() != QDialog::Accepted)
                        : dialog.exec() != QDialog::Accepted)
        return;
    Operation op(Kind::Satellite);
    op.lines = dialog.lines();
    op.positions = dialog.chosenPositions();
    if (op.positions.empty()) return; // nothing chosen: nothing to treat
    analysisCommand(op);
}

} // namespace korvo

namespace korvo {

void TForm3::restoreLoadedFits(const LoadOutcome& outcome) {
    std::vector<FitWindow::Fitted> fits;
    std::string problems;
    for (const auto& [k, groups] : outcome.nexusAdditions)
        for (const NexusGroupData& g : groups) {
            if (g.name != fit::kFitEntryName) continue;
            std::string error;
            const std::optional<fit::StoredFit> stored = fit::storedFitOf(g, &error);
            fit::RestoredFit r;
            if (stored) r = fit::restoreFit(*stored, ws_->points(k), ws_->spectrum(k).ShortName);
            if (!r.problem) {
                problems += "The fit of " + ws_->spectrum(k).ShortName + " is not shown: " + (stored ? r.error : error) + ".\n";
                continue;
            }
            fits.push_back({fit::FitTask{k, ws_->spectrum(k).PathName, std::move(*r.problem), ws_->spectrum(k).NexusEntry}, std::move(r.result)});
        }
    if (!fits.empty()) peakFitCommand()->showLoadedFits(std::move(fits));
    if (!problems.empty()) ctx_.dialogs.show(problems);
}

FitWindow* TForm3::peakFitCommand() {
    // A fit is drawn over the curves: the colour view gives way to them.
    if (colourView()) colourModeCommand();
    if (!fitWindow_) {
        fitWindow_ = new FitWindow(*this, ctx_);
        // Beside the viewer, so that the plot stays in view for clicks on its peaks.
        QPoint at = frameGeometry().topRight() + QPoint(8, 0);
        if (const QScreen* screen = this->screen()) {
            const QRect free = screen->availableGeometry();
            at.setX(std::max(free.left(), std::min(at.x(), free.right() - fitWindow_->width())));
            at.setY(std::max(free.top(), std::min(at.y(), free.bottom() - fitWindow_->height())));
        }
        fitWindow_->move(at);
    }
    fitWindow_->show();
    fitWindow_->raise();
    return fitWindow_;
}

void TForm3::setFitOverlay(std::optional<FitOverlay> overlay) {
    fitOverlay_ = std::move(overlay);
    repaintPlot();
}

BindingAxis TForm3::fitAxis() const {
    if (binding_) return *binding_;
    BindingAxis axis;
    if (!ctx_.iniPath.empty()) {
        IniFile ini(ctx_.iniPath);
        std::vector<std::string> unusable; // told when the binding axis is switched on
        if (ini.load()) axis.workFunction = workFunctionSetting(ini, unusable);
    }
    return axis;
}

} // namespace korvo

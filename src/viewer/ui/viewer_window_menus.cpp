// The viewer window's menu and the commands behind it.
#include "viewer/data_selection.h"
#include "viewer/analysis/slices.h"
#include "viewer/hand_scale.h"
#include "viewer/measuring.h"
#include "viewer/origin_import.h"
#include "viewer/ui/data_selection_dialog.h"
#include "viewer/ui/fit_window.h"
#include "viewer/ui/hand_scale_dialog.h"
#include "viewer/ui/load_dialog.h"
#include "viewer/ui/spectrum_choice_dialog.h"
#include "viewer/ui/viewer_context.h"
#include "common/file_util.h"
#include "viewer/eps_export.h"
#include "viewer/exports.h"
#include "viewer/vamas_export.h"
#include "viewer/ui/viewer_window.h"
#include "viewer/workspace_project.h"
#include "common/ini_file.h"
#include "viewer/analysis/dead_time.h"

#include <QAction>
#include <QFileInfo>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QRadioButton>

#include <filesystem>

namespace korvo {

namespace {

QAction* disabled(QMenu* menu, const QString& caption) {
    QAction* a = menu->addAction(caption);
    a->setEnabled(false);
    return a;
}

QAction* findAction(const QList<QAction*>& actions, const QString& caption) {
    for (QAction* a : actions) {
        if (a->text() == caption) return a;
        if (QMenu* sub = a->menu())
            if (QAction* found = findAction(sub->actions(), caption)) return found;
    }
    return nullptr;
}

} // namespace

QAction* TForm3::action(const QString& caption) const {
    return findAction(menuBar()->actions(), caption);
}

void TForm3::createMenus() {
    QMenuBar* bar = menuBar();
    QMenu* data = bar->addMenu(QStringLiteral("&Data"));
    connect(data->addAction(QStringLiteral("&Load")), &QAction::triggered, this, &TForm3::loadProcedure);
    QMenu* loadProject = data->addMenu(QStringLiteral("L&oad project"));
    connect(loadProject->addAction(QStringLiteral("&ORIGIN Dat-file")), &QAction::triggered, this,
            &TForm3::originCommand);
    connect(loadProject->addAction(QStringLiteral("&Korvo98 k98-file")), &QAction::triggered, this,
            &TForm3::loadProjectCommand);
    QMenu* saveProject = data->addMenu(QStringLiteral("S&ave project"));
    connect(saveProject->addAction(QStringLiteral("as dat-file for &ORIGIN")), &QAction::triggered, this,
            [this] { columnExportCommand(ColumnValues::Displayed); });
    connect(saveProject->addAction(QStringLiteral("as dat-file for &Korvo98")), &QAction::triggered, this,
            &TForm3::saveProjectCommand);
    connect(data->addAction(QStringLiteral("Save RAW")), &QAction::triggered, this,
            [this] { columnExportCommand(ColumnValues::Stored); });
    connect(data->addAction(QStringLiteral("Save VAMAS")), &QAction::triggered, this, &TForm3::vamasExportCommand);
    connect(data->addAction(QStringLiteral("&Select")), &QAction::triggered, this, &TForm3::selectData);

    spectrumMenu_ = bar->addMenu(QStringLiteral("&Spectrum"));
    connect(bar->addAction(QStringLiteral("&Mark")), &QAction::triggered, this, &TForm3::markCommand);

    QMenu* display = bar->addMenu(QStringLiteral("&Display"));
    const std::array<QString, kInfoPanelCount> panelCaptions = {
        QStringLiteral("&Sample"), QStringLiteral("&Comment"), QStringLiteral("&Date"),
        QStringLiteral("Scans/&PassEn/Points/MeTime"), QStringLiteral("AnaSt/AnaEn/&MonSt/MonEn")};
    for (int i = 0; i < kInfoPanelCount; ++i) {
        QAction* a = display->addAction(panelCaptions[std::size_t(i)]);
        a->setCheckable(true);
        connect(a, &QAction::triggered, this, [this, i] { toggleInfoPanel(static_cast<InfoPanel>(i)); });
        panelActions_[std::size_t(i)] = a;
    }
    connect(display->addAction(QStringLiteral("show &all / clear")), &QAction::triggered, this,
            &TForm3::showAllOrClear);
    display->addSeparator();
    bindingAction_ = display->addAction(QStringLiteral("&Binding energy axis"));
    bindingAction_->setCheckable(true);
    bindingAction_->setStatusTip(QStringLiteral(
        "The x axis in binding energy = photon energy - kinetic energy - work function, high on the left"));
    connect(bindingAction_, &QAction::triggered, this, &TForm3::bindingAxisCommand);

    createPrintMenu(bar);

    QMenu* tools = bar->addMenu(QStringLiteral("&Tools"));
    connect(tools->addAction(QStringLiteral("&HandScale")), &QAction::triggered, this, &TForm3::handScaleCommand);
    connect(tools->addAction(QStringLiteral("&Value Table")), &QAction::triggered, this, &TForm3::showValueTable);
    measureAction_ = tools->addAction(QStringLiteral("&Measure dist."));
    measureAction_->setCheckable(true);
    connect(measureAction_, &QAction::triggered, this, [this] { setMeasuring(!measuring_); });
    // Enabled only in measuring mode, which places the marks they use.
    integrateAction_ = disabled(tools, QStringLiteral("&Integrate"));
    connect(integrateAction_, &QAction::triggered, this, [this] { analysisCommand({analysis::Operation::Kind::Integrate}); });
    normierungAction_ = disabled(tools, QStringLiteral("Normierung"));
    connect(normierungAction_, &QAction::triggered, this, [this] { analysisCommand({analysis::Operation::Kind::Normalise}); });
    connect(tools->addAction(QStringLiteral("&Satellite removing")), &QAction::triggered, this,
            &TForm3::satelliteCommand);
    connect(tools->addAction(QStringLiteral("EPS")), &QAction::triggered, this, &TForm3::epsCommand);
    QAction* deadTime = tools->addAction(QStringLiteral("Dead-time correction..."));
    deadTime->setStatusTip(QString::fromUtf8(analysis::kDeadTimeHelp));
    deadTime->setToolTip(deadTime->statusTip());
    tools->setToolTipsVisible(true);
    connect(deadTime, &QAction::triggered, this, &TForm3::deadTimeCommand);
    QAction* peakFit = tools->addAction(QStringLiteral("Peak Fit..."));
    peakFit->setStatusTip(QStringLiteral("Fit line shapes and a background to the active spectrum"));
    connect(peakFit, &QAction::triggered, this, [this] { peakFitCommand(); });
    createUndoActions(tools);
    createPrintSettingsItem(bar);

    QMenu* notScaled = bar->addMenu(QStringLiteral("&Not Scaled"));
    const std::array<std::pair<QString, FullScale>, 4> full = {{{QStringLiteral("&Special"), FullScale::Special},
                                                                {QStringLiteral("&All"), FullScale::All},
                                                                {QStringLiteral("&X"), FullScale::X},
                                                                {QStringLiteral("&Y"), FullScale::Y}}};
    for (const auto& [caption, command] : full)
        connect(notScaled->addAction(caption), &QAction::triggered, this,
                [this, command] { fullScaleCommand(command); });
    createAnalysisMenus();
}

void TForm3::loadProjectCommand() {
    auto path = ctx_.dialogs.chooseOpenFile("Load Korvo98 - project", ctx_.loadDialog().directory(),
                                            "Korvo98 - File (*.k98)|*.k98|Data - File (*.dat)|*.dat");
    if (!path) return;
    if (projectPathKind(*path) == ProjectPathKind::Origin)
        takeOutcome(importOriginFile(*ws_, *path));
    else
        takeOutcome(loadProjectFile(*ws_, *path, ctx_.loadDialog().progressHook(ctx_.pump)));
}

void TForm3::originCommand() {
    // The data filter first: it is the one the dialog opens with.
    auto path = ctx_.dialogs.chooseOpenFile(std::string(kOriginOpenTitle), ctx_.loadDialog().directory(),
                                            "Data - File (*.dat)|*.dat|Korvo98 - File (*.k98)|*.k98");
    if (path) takeOutcome(importOriginFile(*ws_, *path));
}

void TForm3::saveProjectCommand() {
    auto chosen = ctx_.dialogs.chooseSaveFile("Save project to k98-format:", ctx_.loadDialog().directory(),
                                              ws_->ProjectFileName,
                                              "Data file for Korvo9  (*.k98)|*.k98|Data file (*.dat)|*.dat");
    if (!chosen) return;
    const std::string path = projectSavePath(*chosen);
    ws_->ProjectFileName = path;
    ws_->geometry = {width(), height(), y(), x()};
    std::string error;
    if (!saveProjectFile(*ws_, path, &error)) ctx_.dialogs.error("", error);
}

void TForm3::columnExportCommand(ColumnValues values) {
    if (!allButton_->isChecked() &&
        ctx_.dialogs.ask("Korvo 98", "Saving only the active spectra! Do you want to save all?", DialogIcon::Warning,
                         DialogButtons::YesNo) == DialogAnswer::Yes)
        allButton_->setChecked(true);
    // Nothing marked (or nothing in view) writes no file at all, not an empty one.
    std::string refusal;
    const std::string text = columnFileText(*ws_, allButton_->isChecked(), values, &refusal);
    if (text.empty()) {
        ctx_.dialogs.show(refusal);
        return;
    }
    auto chosen = ctx_.dialogs.chooseSaveFile("Save project as data-file for Origin:", ctx_.loadDialog().directory(),
                                              "*.dat", "Data file for Korvo9  (*.k98)|*.k98|Data file (*.dat)|*.dat");
    if (chosen) writeExport(*chosen, text);
}

void TForm3::vamasExportCommand() {
    // The spectra of the column files: the marked ones, or all with "AllSpectra".
    std::string refusal;
    const std::string text = vamasText(*ws_, allButton_->isChecked(), &refusal);
    if (text.empty()) {
        ctx_.dialogs.show(refusal);
        return;
    }
    auto chosen = ctx_.dialogs.chooseSaveFile("Save spectra as VAMAS file:", ctx_.loadDialog().directory(), "*.vms",
                                              "VAMAS file (*.vms)|*.vms|All files (*.*)|*.*");
    if (chosen) writeExport(*chosen, text);
}

void TForm3::surferCommand() {
    auto chosen = ctx_.dialogs.chooseSaveFile("", ctx_.loadDialog().directory(), "", "");
    if (!chosen) return;
    // A refused export writes nothing, not even an empty file.
    std::string message;
    const std::optional<std::string> text = surferGridText(*ws_, &message);
    if (!text) {
        ctx_.dialogs.show(message);
        return;
    }
    writeExport(*chosen, *text);
}

bool TForm3::writeExport(const std::string& path, const std::string& text) {
    std::string error;
    if (writeFileAtomic(path, text, &error)) return true;
    ctx_.dialogs.error("", error);
    return false;
}

void TForm3::epsCommand() {
    // Drawn on a picture of its own size: the window keeps its size and its active spectrum.
    const EpsExport result = epsExport(*ws_, binding_, fitOverlay());
    refresh();
    const std::filesystem::path dir = std::filesystem::current_path();
    // The pictures before "fit.tex", which names them; a failed write ends the export and what was
    // written stays.
    for (const ExportFile& f : result.pictures)
        if (!writeExport((dir / f.name).string(), f.bytes)) return;
    if (!result.lastBmp.empty() && !writeExport((dir / "test.bmp").string(), result.lastBmp)) return;
    if (!writeExport((dir / "fit.tex").string(), result.fitTex)) return;
    ctx_.dialogs.show("defe");
}

void TForm3::selectData() {
    TForm8 dialog(this);
    dialog.setSelection(*ws_);
    if (answerSelection ? (answerSelection(dialog), dialog.result() != QDialog::Accepted)
                        : dialog.exec() != QDialog::Accepted)
        return;
    UndoHistory::Before before = UndoHistory::capture(*ws_);
    dialog.selection().applyTo(*ws_);
    recordStep(std::move(before));
    rebuildSpectrumMenu();
    if (measuring_) startMeasuring(*ws_);
    rangesChanged();
    refresh();
}

void TForm3::markCommand() {
    const std::vector<int> shown = shownSpectra(*ws_);
    std::vector<std::string> names;
    for (int k : shown) names.push_back(ws_->spectrum(k).ShortName);
    SpectrumChoiceDialog dialog(QStringLiteral("Select spectra you want to mark !"), QStringLiteral("Mark"), this);
    dialog.setItems(names);
    if (answerMark ? (answerMark(dialog), dialog.result() != QDialog::Accepted) : dialog.exec() != QDialog::Accepted)
        return;
    std::vector<int> chosen;
    for (int row : dialog.chosenRows()) chosen.push_back(shown[std::size_t(row)]);
    markSpectra(*ws_, chosen);
    plotBox()->update();
}

void TForm3::toggleInfoPanel(InfoPanel panel) {
    const int delta = panels_.toggle(panel);
    panelActions_[std::size_t(panel)]->setChecked(panels_.shown(panel));
    growBy(delta);
    refresh();
}

void TForm3::showAllOrClear() {
    const int delta = panels_.showAllOrClear();
    for (int i = 0; i < kInfoPanelCount; ++i) panelActions_[std::size_t(i)]->setChecked(panels_.on[std::size_t(i)]);
    growBy(delta);
    refresh();
}

void TForm3::handScaleCommand() {
    TForm7 dialog(this);
    dialog.setTexts(handScaleTexts(*ws_, scope() == RangeScope::AllSpectra));
    if (answerHandScale)
        answerHandScale(dialog);
    else
        dialog.exec();
    if (dialog.mixRequested()) {
        std::string error;
        const auto mix = analysis::parseSliceMix(dialog.mixSlicesEdit()->text().toStdString(),
                                                 dialog.mixOverlapEdit()->text().toStdString(), error);
        if (!mix) {
            ctx_.dialogs.error("", error);
            return;
        }
        analysis::Operation op(analysis::Operation::Kind::SliceMix);
        op.slices = mix->first;
        op.overlap = mix->second;
        analysisCommand(op);
        return;
    }
    const auto action = dialog.action();
    if (!action) return;
    std::string error;
    const auto input = parseHandScale(dialog.texts(), *action, error);
    if (!input) {
        ctx_.dialogs.error("", error);
        return;
    }
    ViewMessages messages;
    applyHandScale(*ws_, *action, *input, messages);
    report(messages);
    rangesChanged();
}

void TForm3::setMeasuring(bool on) {
    if (on && !startMeasuring(*ws_)) on = false;
    measuring_ = on;
    measureAction_->setChecked(on);
    integrateAction_->setEnabled(on);
    normierungAction_->setEnabled(on);
    ws_->SelDragging = 0;
    ws_->ZoomDragging = 0;
    refresh();
}

void TForm3::fullScaleCommand(FullScale command) {
    fullScale(*ws_, command, binding());
    rangesChanged();
}

void TForm3::bindingAxisCommand() {
    bindingAction_->setChecked(binding_.has_value()); // the command decides
    if (binding_) {
        const bool differ = photonEnergiesDiffer(*ws_, *binding_);
        binding_.reset();
        // Lined up by binding energy, spectra of other photon energies are not lined up by kinetic energy.
        if (differ) fullScale(*ws_, FullScale::X);
        bindingAction_->setChecked(false);
        rangesChanged();
        refresh();
        if (fitWindow_) fitWindow_->viewerAxisChanged();
        return;
    }
    if (const std::string why = photonScanRefusal(*ws_); !why.empty()) {
        ctx_.dialogs.show(why);
        return;
    }
    BindingAxis axis;
    if (!ctx_.iniPath.empty()) {
        IniFile ini(ctx_.iniPath);
        std::vector<std::string> unusable;
        if (ini.load()) axis.workFunction = workFunctionSetting(ini, unusable);
        if (!unusable.empty())
            ctx_.dialogs.show("These values of the INI-File could not be used, defaults are taken instead:\r" +
                              unusable.front());
    }
    if (needsTypedPhotonEnergy(*ws_)) {
        axis.typedPhotonEnergy =
            askNumber(askPhotonEnergy, QStringLiteral("Binding energy axis"),
                      QStringLiteral("Photon energy (eV) of the spectra whose header gives none:"), 100, 0.001, 1e6, 3);
        if (!axis.typedPhotonEnergy) return;
    }
    binding_ = axis;
    bindingAction_->setChecked(true);
    if (photonEnergiesDiffer(*ws_, axis)) fullScale(*ws_, FullScale::X, binding());
    rangesChanged();
    refresh();
    if (fitWindow_) fitWindow_->viewerAxisChanged();
}

void TForm3::checkBindingAxis() {
    if (!binding_) return;
    const std::string why = bindingAxisRefusal(*ws_, *binding_);
    if (why.empty()) return;
    binding_.reset();
    bindingAction_->setChecked(false);
    ctx_.dialogs.show("The x axis shows kinetic energy again: " + why);
    if (fitWindow_) fitWindow_->viewerAxisChanged();
}

void TForm3::deadTimeCommand() {
    const std::optional<double> ns =
        askNumber(askDeadTime, QStringLiteral("Dead-time correction"),
                  QStringLiteral("Dead time of each channeltron's counter (ns):"), deadTimeNs_, 0.001, 1e9, 3);
    if (!ns) return;
    deadTimeNs_ = *ns;
    analysis::Operation op(analysis::Operation::Kind::DeadTime);
    op.deadTimeNs = *ns;
    analysisCommand(op);
}

} // namespace korvo

#include "viewer/ui/fit_window.h"

#include "common/file_util.h"
#include "viewer/fit/fit_workspace.h"
#include "viewer/ui/load_dialog.h"
#include "viewer/ui/viewer_context.h"
#include "viewer/ui/viewer_window.h"
#include "viewer/view_scale.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QSplitter>
#include <QTableWidget>
#include <QTimer>
#include <QVBoxLayout>

#include <filesystem>

namespace korvo {

namespace {

// How often a running fit is looked at: its curves and iteration shown anew.
constexpr int kPollMs = 40;

QPushButton* addButton(QLayout* layout, const QString& caption, QWidget* parent) {
    auto* b = new QPushButton(caption, parent);
    layout->addWidget(b);
    return b;
}

} // namespace

FitWindow::FitWindow(TForm3& viewer, ViewerContext& context)
    : QWidget(&viewer, Qt::Window), viewer_(viewer), ctx_(context) {
    setWindowTitle(QStringLiteral("Peak Fit"));
    texts_.axis = viewer_.bindingAxis() ? fit::Axis::Binding : fit::Axis::Kinetic;
    createControls();
    poll_ = new QTimer(this);
    poll_->setInterval(kPollMs);
    connect(poll_, &QTimer::timeout, this, &FitWindow::poll);
    showModel();
    updateButtons();
    resize(900, 720);
}

FitWindow::~FitWindow() {
    // The job's destructor cancels the fit and joins its thread; it reads nothing of the window.
    job_.reset();
}

void FitWindow::createControls() {
    auto* layout = new QVBoxLayout(this);
    auto* split = new QSplitter(Qt::Vertical, this);
    split->addWidget(createModelPart());
    auto* lower = new QWidget(split);
    auto* ll = new QVBoxLayout(lower);
    ll->setContentsMargins(0, 0, 0, 0);
    ll->addWidget(createRunPart());
    ll->addWidget(createResultPart(), 1);
    split->addWidget(lower);
    split->setStretchFactor(0, 1);
    split->setStretchFactor(1, 1);
    layout->addWidget(split);
}

QWidget* FitWindow::createModelPart() {
    auto* box = new QGroupBox(QStringLiteral("Model"), this);
    auto* l = new QVBoxLayout(box);
    auto* row = new QHBoxLayout;
    row->addWidget(new QLabel(QStringLiteral("Region from"), box));
    from_ = new QLineEdit(box);
    to_ = new QLineEdit(box);
    for (QLineEdit* e : {from_, to_}) e->setPlaceholderText(QStringLiteral("whole spectrum"));
    row->addWidget(from_);
    row->addWidget(new QLabel(QStringLiteral("to"), box));
    row->addWidget(to_);
    connect(from_, &QLineEdit::textEdited, this, [this](const QString& t) { texts_.from = t.trimmed().toStdString(); });
    connect(to_, &QLineEdit::textEdited, this, [this](const QString& t) { texts_.to = t.trimmed().toStdString(); });
    connect(addButton(row, QStringLiteral("From marks"), box), &QPushButton::clicked, this,
            &FitWindow::regionFromMarksCommand);
    row->addWidget(new QLabel(QStringLiteral("Axis"), box));
    axis_ = new QComboBox(box);
    axis_->addItems({QStringLiteral("kinetic"), QStringLiteral("binding")});
    connect(axis_, &QComboBox::activated, this, &FitWindow::axisChosen);
    row->addWidget(axis_);
    row->addWidget(new QLabel(QStringLiteral("Background"), box));
    background_ = new QComboBox(box);
    for (auto t : {fit::BackgroundType::None, fit::BackgroundType::Constant, fit::BackgroundType::Linear,
                   fit::BackgroundType::Shirley, fit::BackgroundType::Tougaard, fit::BackgroundType::ActiveShirley})
        background_->addItem(QString::fromUtf8(fit::backgroundName(t)), int(t));
    connect(background_, &QComboBox::activated, this, [this](int i) {
        texts_.background = fit::BackgroundType(background_->itemData(i).toInt());
        tougaardB_->setEnabled(texts_.background == fit::BackgroundType::Tougaard);
    });
    row->addWidget(background_);
    row->addWidget(new QLabel(QStringLiteral("B"), box));
    tougaardB_ = new QLineEdit(box);
    tougaardB_->setFixedWidth(64);
    connect(tougaardB_, &QLineEdit::textEdited, this,
            [this](const QString& t) { texts_.tougaardB = t.trimmed().toStdString(); });
    row->addWidget(tougaardB_);
    row->addWidget(new QLabel(QStringLiteral("Weights"), box));
    weights_ = new QComboBox(box);
    weights_->addItems({QStringLiteral("poisson"), QStringLiteral("none")});
    connect(weights_, &QComboBox::activated, this,
            [this](int i) { texts_.weights = i == 0 ? fit::Weights::Poisson : fit::Weights::None; });
    row->addWidget(weights_);
    l->addLayout(row);

    table_ = new QTableWidget(0, 11, box);
    table_->setHorizontalHeaderLabels({QStringLiteral("Component"), QStringLiteral("Shape"), QStringLiteral("Parameter"),
                                       QStringLiteral("Value"), QStringLiteral("Fixed"), QStringLiteral("Link"),
                                       QStringLiteral("Min"), QStringLiteral("Max"), QStringLiteral("Element"),
                                       QStringLiteral("Level"), QStringLiteral("Sensitivity")});
    table_->verticalHeader()->hide();
    table_->horizontalHeader()->setSectionResizeMode(QHeaderView::Interactive);
    table_->horizontalHeader()->setStretchLastSection(true);
    connect(table_, &QTableWidget::cellChanged, this, &FitWindow::cellEdited);
    l->addWidget(table_, 1);

    auto* buttons = new QHBoxLayout;
    pick_ = addButton(buttons, QStringLiteral("Add by click"), box);
    pick_->setCheckable(true);
    pick_->setToolTip(QStringLiteral("Then click the peak of the new component in the viewer's plot"));
    connect(pick_, &QPushButton::toggled, this, [this](bool on) { setPicking(on); });
    newShape_ = new QComboBox(box);
    for (auto s : {fit::Shape::PseudoVoigt, fit::Shape::Gaussian, fit::Shape::Lorentzian, fit::Shape::Voigt,
                   fit::Shape::DoniachSunjic})
        newShape_->addItem(QString::fromUtf8(fit::shapeName(s)), int(s));
    buttons->addWidget(newShape_);
    connect(addButton(buttons, QStringLiteral("Remove component"), box), &QPushButton::clicked, this,
            &FitWindow::removeComponentCommand);
    buttons->addStretch(1);
    connect(addButton(buttons, QStringLiteral("Load model..."), box), &QPushButton::clicked, this,
            &FitWindow::loadModelCommand);
    connect(addButton(buttons, QStringLiteral("Save model..."), box), &QPushButton::clicked, this,
            &FitWindow::saveModelCommand);
    connect(addButton(buttons, QStringLiteral("Load sensitivities..."), box), &QPushButton::clicked, this,
            &FitWindow::loadSensitivitiesCommand);
    sensitivityLabel_ = new QLabel(box);
    buttons->addWidget(sensitivityLabel_);
    l->addLayout(buttons);
    return box;
}

QWidget* FitWindow::createRunPart() {
    auto* box = new QGroupBox(QStringLiteral("Fit"), this);
    auto* outer = new QVBoxLayout(box);
    auto* l = new QHBoxLayout;
    outer->addLayout(l);
    fit_ = addButton(l, QStringLiteral("Fit"), box);
    connect(fit_, &QPushButton::clicked, this, &FitWindow::fitActiveCommand);
    fitShown_ = addButton(l, QStringLiteral("Fit every shown spectrum"), box);
    connect(fitShown_, &QPushButton::clicked, this, &FitWindow::fitShownCommand);
    series_ = new QCheckBox(QStringLiteral("each from the one before"), box);
    l->addWidget(series_);
    l->addWidget(new QLabel(QStringLiteral("Max. iterations"), box));
    maxIterations_ = new QSpinBox(box);
    maxIterations_->setRange(1, 100000);
    maxIterations_->setValue(200);
    l->addWidget(maxIterations_);
    cancel_ = addButton(l, QStringLiteral("Cancel"), box);
    connect(cancel_, &QPushButton::clicked, this, &FitWindow::cancelCommand);
    showFit_ = new QCheckBox(QStringLiteral("Show fit in plot"), box);
    showFit_->setChecked(true);
    connect(showFit_, &QCheckBox::toggled, this, [this] {
        if (shownResult_ >= 0) showResult(shownResult_);
        else clearOverlay();
    });
    l->addWidget(showFit_);
    l->addStretch(1);
    status_ = new QLabel(box);
    // Long messages wrap instead of widening the window.
    status_->setWordWrap(true);
    status_->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    outer->addWidget(status_);
    return box;
}

QWidget* FitWindow::createResultPart() {
    auto* box = new QGroupBox(QStringLiteral("Results"), this);
    auto* l = new QVBoxLayout(box);
    auto* top = new QHBoxLayout;
    resultList_ = new QComboBox(box);
    resultList_->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    resultList_->setMinimumContentsLength(22);
    connect(resultList_, &QComboBox::activated, this, &FitWindow::showResult);
    top->addWidget(resultList_);
    summary_ = new QLabel(box);
    summary_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    summary_->setWordWrap(true);
    summary_->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    top->addWidget(summary_, 1);
    connect(addButton(top, QStringLiteral("Fitted model as next start"), box), &QPushButton::clicked, this,
            &FitWindow::resultAsStartCommand);
    connect(addButton(top, QStringLiteral("Save report..."), box), &QPushButton::clicked, this,
            &FitWindow::saveReportCommand);
    l->addLayout(top);
    auto* bottom = new QHBoxLayout;
    results_ = new QTableWidget(0, 5, box);
    results_->setHorizontalHeaderLabels({QStringLiteral("Component"), QStringLiteral("Quantity"),
                                         QStringLiteral("Value"), QStringLiteral("Error"), QStringLiteral("")});
    results_->verticalHeader()->hide();
    results_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    results_->horizontalHeader()->setStretchLastSection(true);
    bottom->addWidget(results_, 3);
    details_ = new QPlainTextEdit(box);
    details_->setReadOnly(true);
    bottom->addWidget(details_, 2);
    l->addLayout(bottom, 1);
    return box;
}

QPushButton* FitWindow::button(const QString& caption) const {
    for (QPushButton* b : findChildren<QPushButton*>())
        if (b->text() == caption) return b;
    return nullptr;
}

void FitWindow::updateButtons() {
    const bool busy = running();
    fit_->setEnabled(!busy);
    fitShown_->setEnabled(!busy);
    cancel_->setEnabled(busy);
}

// ---- running

void FitWindow::fitActiveCommand() {
    const tvar& ws = viewer_.workspace();
    if (ws.Active < 1 || ws.ShownCount <= 0) {
        ctx_.dialogs.show("There is no active spectrum to fit.");
        return;
    }
    run({ws.Active}, false);
}

void FitWindow::fitShownCommand() {
    const std::vector<int> shown = shownSpectra(viewer_.workspace());
    if (shown.empty()) {
        ctx_.dialogs.show("There is no shown spectrum to fit.");
        return;
    }
    run(shown, series_->isChecked());
}

void FitWindow::run(const std::vector<int>& spectra, bool series) {
    if (running()) return;
    std::optional<fit::FitModel> model = currentModel();
    if (!model) return;
    if (sensitivities_) fit::applySensitivities(*model, *sensitivities_);
    const tvar& ws = viewer_.workspace();
    const BindingAxis axis = viewer_.fitAxis();
    std::vector<fit::FitTask> tasks;
    // Every spectrum checked before anything is fitted.
    for (int k : spectra) {
        fit::Prepared p = fit::prepareSpectrum(*model, ws, k, axis);
        if (!p.problem) {
            ctx_.dialogs.error("", ws.spectrum(k).PathName + ": " + p.error + "\rNothing was fitted.");
            return;
        }
        tasks.push_back({k, ws.spectrum(k).PathName, std::move(*p.problem), ws.spectrum(k).NexusEntry});
    }
    setPicking(false);
    job_ = std::make_unique<fit::FitJob>(std::move(tasks), series, maxIterations_->value());
    serial_ = 0;
    job_->start(watchJob);
    status_->setText(QStringLiteral("Fitting..."));
    updateButtons();
    poll_->start();
}

void FitWindow::poll() {
    if (!job_) {
        poll_->stop();
        return;
    }
    if (auto p = job_->progressAfter(serial_)) {
        serial_ = p->serial;
        const std::vector<fit::FitTask>& tasks = job_->tasks();
        showOverlay(tasks[p->task], p->free, p->fixedBackground);
        QString where = tasks.size() > 1 ? QStringLiteral("Spectrum %1 of %2: ").arg(p->task + 1).arg(tasks.size())
                                         : QString();
        status_->setText(where + QStringLiteral("iteration %1, chi2 %2").arg(p->iteration).arg(p->chi2, 0, 'g', 8));
    }
    if (job_->done()) finish();
}

void FitWindow::finish() {
    poll_->stop();
    std::vector<fit::FitResult> results = job_->takeResults();
    std::vector<fit::FitTask> tasks = job_->tasks();
    const bool cancelled = job_->cancelled();
    job_.reset();
    fitted_.clear();
    for (std::size_t i = 0; i < results.size(); ++i) fitted_.push_back({std::move(tasks[i]), std::move(results[i])});
    int converged = 0;
    for (const Fitted& f : fitted_) converged += f.result.converged();
    if (cancelled)
        status_->setText(QStringLiteral("The fit was cancelled."));
    else if (fitted_.size() == 1)
        status_->setText(QString::fromStdString(fitted_[0].result.converged()
                                                    ? "Converged after " + std::to_string(fitted_[0].result.iterations) +
                                                          " iterations."
                                                    : fitted_[0].result.message));
    else
        status_->setText(QStringLiteral("%1 of %2 fits converged.").arg(converged).arg(fitted_.size()));
    updateButtons();
    fillResultList();
}

void FitWindow::cancelCommand() {
    if (!job_) return;
    job_->cancel();
    status_->setText(QStringLiteral("Cancelling..."));
}

void FitWindow::stop() {
    if (!job_) return;
    job_->cancel();
    finish();
}

void FitWindow::showOverlay(const fit::FitTask& task, std::span<const double> free,
                            std::span<const double> background) {
    if (!showFit_->isChecked()) return;
    viewer_.setFitOverlay(fit::overlayOf(task.problem, fit::curvesOf(task.problem, free, background), task.spectrum));
}

void FitWindow::clearOverlay() {
    viewer_.setFitOverlay(std::nullopt);
}

void FitWindow::closeEvent(QCloseEvent* e) {
    stop();
    setPicking(false);
    clearOverlay();
    e->accept();
}

// ---- components by click, the region from the marks

void FitWindow::setPicking(bool on) {
    if (pick_->isChecked() != on) pick_->setChecked(on);
}

bool FitWindow::picking() const {
    return pick_->isChecked() && isVisible();
}

bool FitWindow::addComponentAt(double x) {
    setPicking(false);
    const tvar& ws = viewer_.workspace();
    if (ws.Active < 1 || ws.ShownCount <= 0) return false;
    const auto shape = fit::Shape(newShape_->currentData().toInt());
    // The components so far are taken off the counts where the cells make a model.
    const fit::ModelRead read = fit::modelOf(texts_);
    fit::ComponentGuess guess = fit::componentAt(read.model ? *read.model : fit::outlineOf(texts_),
                                                 fit::inputOf(ws, ws.Active, viewer_.fitAxis()), x, shape);
    if (!guess.component) {
        ctx_.dialogs.show(guess.error);
        return false;
    }
    texts_.components.push_back(fit::textsOf(*guess.component));
    showModel();
    table_->setCurrentCell(table_->rowCount() - 1, 3);
    return true;
}

void FitWindow::regionFromMarksCommand() {
    const tvar& ws = viewer_.workspace();
    if (!viewer_.measuring() || ws.Active < 1) {
        ctx_.dialogs.show("Switch on \"&Measure dist.\" in the viewer and place the two marks first.");
        return;
    }
    double a = ws.SelStartX, b = ws.SelEndX;
    if (texts_.axis == fit::Axis::Binding) {
        const std::optional<double> hv = activePhotonEnergy();
        if (!hv) {
            ctx_.dialogs.show(ws.spectrum(ws.Active).ShortName + " has no photon energy for the binding axis.");
            return;
        }
        const double w = viewer_.fitAxis().workFunction;
        a = bindingEnergy(*hv, a, w);
        b = bindingEnergy(*hv, b, w);
    }
    texts_.from = fit::exactNumber(std::min(a, b));
    texts_.to = fit::exactNumber(std::max(a, b));
    showModel();
}

std::optional<double> FitWindow::activePhotonEnergy() const {
    const tvar& ws = viewer_.workspace();
    if (ws.Active < 1 || ws.Active > ws.spectrumCount()) return std::nullopt;
    return photonEnergyOf(ws.spectrum(ws.Active), viewer_.fitAxis());
}

// ---- files

bool FitWindow::writable(const std::string& path) {
    const tvar& ws = viewer_.workspace();
    std::error_code ec;
    for (int k = 1; k <= ws.spectrumCount(); ++k)
        if (std::filesystem::equivalent(path, ws.spectrum(k).PathName, ec)) {
            ctx_.dialogs.error("", path + " is the spectrum file of " + ws.spectrum(k).ShortName +
                                       "; it is not overwritten. Nothing was saved.");
            return false;
        }
    return true;
}

void FitWindow::loadModelCommand() {
    const auto path = ctx_.dialogs.chooseOpenFile("Load fit model", ctx_.loadDialog().directory(),
                                                  "Fit model (*.json)|*.json|All files (*.*)|*.*");
    if (!path) return;
    const fit::ModelRead read = fit::readModelFile(*path);
    if (!read.model) {
        ctx_.dialogs.error("", *path + ": " + read.error);
        return;
    }
    setModel(*read.model);
}

void FitWindow::saveModelCommand() {
    const std::optional<fit::FitModel> model = currentModel();
    if (!model) return;
    const auto path = ctx_.dialogs.chooseSaveFile("Save fit model", ctx_.loadDialog().directory(), "model.json",
                                                  "Fit model (*.json)|*.json|All files (*.*)|*.*");
    if (!path || !writable(*path)) return;
    std::string error;
    if (!fit::writeModelFile(*path, *model, &error)) ctx_.dialogs.error("", "Cannot write " + *path + ": " + error);
}

void FitWindow::loadSensitivitiesCommand() {
    const auto path = ctx_.dialogs.chooseOpenFile("Load sensitivity factors", ctx_.loadDialog().directory(),
                                                  "Sensitivity table (*.txt)|*.txt|All files (*.*)|*.*");
    if (!path) return;
    fit::SensitivityRead read = fit::readSensitivityFile(*path);
    if (!read.table) {
        ctx_.dialogs.error("", *path + ": " + read.error);
        return;
    }
    sensitivities_ = std::move(*read.table);
    sensitivityLabel_->setText(QStringLiteral("Sensitivities: %1")
                                   .arg(QString::fromStdString(std::filesystem::path(*path).filename().string())));
}

} // namespace korvo

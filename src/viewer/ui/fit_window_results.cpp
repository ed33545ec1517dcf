// The fit window's results: one entry per fitted spectrum, the numbers of the one chosen, the
// fitted model as the next start, and the reports (fit_report.h, as korvo-cli fit writes them).
#include "viewer/ui/fit_window.h"

#include "common/file_util.h"
#include "viewer/fit/fit_report.h"
#include "viewer/ui/load_dialog.h"
#include "viewer/ui/viewer_context.h"
#include "viewer/ui/viewer_window.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QPlainTextEdit>
#include <QTableWidget>

#include <algorithm>
#include <filesystem>
#include <string_view>

namespace korvo {

namespace {

QString numberText(double v) {
    return QString::number(v, 'g', 8);
}

QString statusText(const fit::FitResult& r) {
    switch (r.status) {
    case fit::FitStatus::Converged: return QStringLiteral("converged");
    case fit::FitStatus::NotConverged: return QStringLiteral("not converged");
    case fit::FitStatus::Singular: return QStringLiteral("singular");
    case fit::FitStatus::Cancelled: return QStringLiteral("cancelled");
    }
    return {};
}

class ResultRows {
public:
    ResultRows(QTableWidget* table, bool errorsKnown) : table_(table), errorsKnown_(errorsKnown) {
        table_->setRowCount(0);
    }
    void add(const std::string& owner, const std::string& quantity, const fit::Estimate& e, const QString& note = {},
             bool hasError = true) {
        const int row = table_->rowCount();
        table_->insertRow(row);
        table_->setItem(row, 0, new QTableWidgetItem(QString::fromStdString(owner)));
        table_->setItem(row, 1, new QTableWidgetItem(QString::fromStdString(quantity)));
        table_->setItem(row, 2, new QTableWidgetItem(numberText(e.value)));
        table_->setItem(row, 3, new QTableWidgetItem(hasError && errorsKnown_ ? numberText(e.error) : QStringLiteral("-")));
        table_->setItem(row, 4, new QTableWidgetItem(note));
    }
    void add(const std::string& owner, const fit::ParameterResult& p) {
        QString note;
        if (p.source == fit::ParameterSource::Fixed) note = QStringLiteral("fixed");
        if (p.source == fit::ParameterSource::Linked) note = QStringLiteral("link ") + QString::fromStdString(p.link);
        add(owner, p.name, p.estimate, note);
    }

private:
    QTableWidget* table_;
    bool errorsKnown_;
};

} // namespace

const FitWindow::Fitted* FitWindow::fitOf(int k) const {
    for (auto f = fitted_.rbegin(); f != fitted_.rend(); ++f) {
        if (f->task.spectrum != k) continue;
        const fit::FitProblem& pb = f->task.problem;
        FitOverlay fitted;
        fitted.spectrum = k;
        for (std::size_t i = 0; i < pb.points(); ++i) fitted.fitted.push_back({pb.kineticX[i], pb.y[i]});
        return overlayFits(viewer_.workspace(), fitted) ? &*f : nullptr;
    }
    return nullptr;
}

void FitWindow::showLoadedFits(std::vector<Fitted> fits) {
    if (job_ || fits.empty()) return;
    setModel(fits.front().task.problem.model);
    fitted_ = std::move(fits);
    status_->setText(fitted_.size() == 1 ? QStringLiteral("A fit was loaded with its spectrum.")
                                         : QStringLiteral("%1 fits were loaded with their spectra.").arg(fitted_.size()));
    updateButtons();
    fillResultList();
}

void FitWindow::fillResultList() {
    resultList_->clear();
    for (const Fitted& f : fitted_)
        resultList_->addItem(QString::fromStdString(std::filesystem::path(f.task.name).filename().string()) +
                             QStringLiteral(" (") + statusText(f.result) + QStringLiteral(")"));
    if (fitted_.empty()) {
        shownResult_ = -1;
        summary_->clear();
        results_->setRowCount(0);
        details_->clear();
        clearOverlay();
        return;
    }
    showResult(0);
}

void FitWindow::showResult(int index) {
    if (index < 0 || std::size_t(index) >= fitted_.size()) return;
    shownResult_ = index;
    if (resultList_->currentIndex() != index) resultList_->setCurrentIndex(index);
    const Fitted& f = fitted_[std::size_t(index)];
    fillResult(f);
    if (showFit_->isChecked())
        showOverlay(f.task, f.result.freeValues, f.result.fixedBackground);
    else
        clearOverlay();
}

void FitWindow::fillResult(const Fitted& f) {
    const fit::FitResult& r = f.result;
    QString summary = statusText(r) + QStringLiteral(", %1 iterations, chi2 %2, reduced chi2 %3, dof %4, %5 points, %6 axis")
                                          .arg(r.iterations)
                                          .arg(numberText(r.chi2), numberText(r.reducedChi2))
                                          .arg(r.dof)
                                          .arg(r.points)
                                          .arg(QString::fromUtf8(fit::axisName(r.axis)));
    if (!r.message.empty()) summary += QStringLiteral("\n") + QString::fromStdString(r.message);
    summary_->setText(summary);
    ResultRows rows(results_, r.errorsKnown);
    for (const fit::ComponentResult& c : r.components) {
        for (const fit::ParameterResult& p : c.parameters) rows.add(c.name, p);
        // Derived numbers only where the shape does not have them as parameters already.
        const auto hasParameter = [&c](std::string_view name) {
            return std::any_of(c.parameters.begin(), c.parameters.end(),
                               [name](const fit::ParameterResult& p) { return p.name == name; });
        };
        if (!hasParameter("height")) rows.add(c.name, "height", c.height);
        if (!hasParameter("area")) rows.add(c.name, "area", c.area);
        if (!hasParameter("fwhm")) rows.add(c.name, "FWHM", c.fwhm);
        rows.add(c.name, "area %", c.areaPercent);
    }
    for (const fit::ParameterResult& p : r.background.parameters) rows.add("background", p);
    results_->resizeColumnsToContents();

    QString details;
    if (!r.elements.empty()) {
        details += QStringLiteral("Atomic %:\n");
        for (const fit::ElementResult& e : r.elements)
            details += QStringLiteral("  %1: %2 +- %3\n")
                           .arg(QString::fromStdString(e.element), numberText(e.atomicPercent.value),
                                r.errorsKnown ? numberText(e.atomicPercent.error) : QStringLiteral("-"));
    }
    details += QStringLiteral("Correlations above %1:\n").arg(fit::kStrongCorrelation);
    if (r.correlations.empty()) details += QStringLiteral("  none\n");
    for (const fit::Correlation& c : r.correlations)
        details += QStringLiteral("  %1 / %2: %3\n")
                       .arg(QString::fromStdString(c.first), QString::fromStdString(c.second), numberText(c.r));
    details_->setPlainText(details);
}

void FitWindow::resultAsStartCommand() {
    if (shownResult_ < 0) {
        ctx_.dialogs.show("Nothing has been fitted yet.");
        return;
    }
    const Fitted& f = fitted_[std::size_t(shownResult_)];
    setModel(fit::modelWithResult(f.task.problem.model, f.result));
}

void FitWindow::saveReportCommand() {
    if (fitted_.empty()) {
        ctx_.dialogs.show("Nothing has been fitted yet.");
        return;
    }
    const auto path = ctx_.dialogs.chooseSaveFile("Save fit report", ctx_.loadDialog().directory(), "fit_report.json",
                                                  "JSON report (*.json)|*.json|CSV report (*.csv)|*.csv");
    if (!path || !writable(*path)) return;
    std::string ext = std::filesystem::path(*path).extension().string();
    for (char& ch : ext) ch = char(std::tolower(static_cast<unsigned char>(ch)));
    std::string text;
    if (ext == ".csv") {
        text = fit::csvHeader();
        for (const Fitted& f : fitted_) text += fit::resultCsv(f.result, f.task.name, f.task.entry);
    } else {
        for (const Fitted& f : fitted_) text += fit::resultJson(f.result, f.task.name, f.task.entry) + "\n";
    }
    std::string error;
    if (!writeFileAtomic(*path, text, &error)) ctx_.dialogs.error("", "Cannot write " + *path + ": " + error);
}

} // namespace korvo

// The fit window's model: the component table, the boxes above it, and the edits that change more
// than one cell (a shape, the axis, a loaded or fitted model). The cells' texts are the model until a
// fit or a save reads them (fit::modelOf).
#include "viewer/ui/fit_window.h"

#include "viewer/ui/viewer_context.h"
#include "viewer/ui/viewer_window.h"

#include <QComboBox>
#include <QLineEdit>
#include <QTableWidget>
#include <QTimer>

namespace korvo {

namespace {

enum Column { kName, kShape, kParameter, kValue, kFixed, kLink, kMin, kMax, kElement, kLevel, kSensitivity };

QTableWidgetItem* textItem(const std::string& text, bool editable = true) {
    auto* item = new QTableWidgetItem(QString::fromStdString(text));
    if (!editable) item->setFlags(item->flags() & ~Qt::ItemIsEditable);
    return item;
}

} // namespace

void FitWindow::showModel() {
    building_ = true;
    from_->setText(QString::fromStdString(texts_.from));
    to_->setText(QString::fromStdString(texts_.to));
    axis_->setCurrentIndex(texts_.axis == fit::Axis::Binding ? 1 : 0);
    background_->setCurrentIndex(background_->findData(int(texts_.background)));
    tougaardB_->setText(QString::fromStdString(texts_.tougaardB.empty() ? fit::exactNumber(fit::kDefaultTougaardB)
                                                                        : texts_.tougaardB));
    if (texts_.tougaardB.empty()) texts_.tougaardB = tougaardB_->text().toStdString();
    tougaardB_->setEnabled(texts_.background == fit::BackgroundType::Tougaard);
    weights_->setCurrentIndex(texts_.weights == fit::Weights::Poisson ? 0 : 1);

    table_->clearSpans();
    rows_.clear();
    for (std::size_t c = 0; c < texts_.components.size(); ++c)
        for (std::size_t j = 0; j < texts_.components[c].parameters.size(); ++j) rows_.emplace_back(c, j);
    table_->setRowCount(int(rows_.size()));
    int row = 0;
    for (std::size_t c = 0; c < texts_.components.size(); ++c) {
        const fit::ComponentTexts& ct = texts_.components[c];
        const auto& names = fit::parameterNames(ct.shape);
        const int span = int(ct.parameters.size());
        table_->setItem(row, kName, textItem(ct.name));
        table_->setItem(row, kElement, textItem(ct.element));
        table_->setItem(row, kLevel, textItem(ct.level));
        table_->setItem(row, kSensitivity, textItem(ct.sensitivity));
        auto* shape = new QComboBox(table_);
        for (auto s : {fit::Shape::Gaussian, fit::Shape::Lorentzian, fit::Shape::PseudoVoigt, fit::Shape::Voigt,
                       fit::Shape::DoniachSunjic})
            shape->addItem(QString::fromUtf8(fit::shapeName(s)), int(s));
        shape->setCurrentIndex(shape->findData(int(ct.shape)));
        connect(shape, &QComboBox::activated, this, [this, c](int index) { shapeChosen(c, index); });
        table_->setCellWidget(row, kShape, shape);
        if (span > 1)
            for (int col : {int(kName), int(kShape), int(kElement), int(kLevel), int(kSensitivity)})
                table_->setSpan(row, col, span, 1);
        for (std::size_t j = 0; j < ct.parameters.size(); ++j, ++row) {
            const fit::ParameterTexts& p = ct.parameters[j];
            table_->setItem(row, kParameter, textItem(std::string(names[j]), false));
            table_->setItem(row, kValue, textItem(p.value));
            auto* fixed = new QTableWidgetItem;
            fixed->setFlags(Qt::ItemIsUserCheckable | Qt::ItemIsEnabled | Qt::ItemIsSelectable);
            fixed->setCheckState(p.fixed ? Qt::Checked : Qt::Unchecked);
            table_->setItem(row, kFixed, fixed);
            table_->setItem(row, kLink, textItem(p.link));
            table_->setItem(row, kMin, textItem(p.min));
            table_->setItem(row, kMax, textItem(p.max));
        }
    }
    table_->resizeColumnsToContents();
    // The shape boxes are cell widgets, which the column's size does not see.
    if (QWidget* first = table_->cellWidget(0, kShape)) table_->setColumnWidth(kShape, first->sizeHint().width());
    building_ = false;
}

void FitWindow::cellEdited(int row, int column) {
    if (building_ || row < 0 || std::size_t(row) >= rows_.size()) return;
    const auto [c, j] = rows_[std::size_t(row)];
    fit::ComponentTexts& ct = texts_.components[c];
    fit::ParameterTexts& p = ct.parameters[j];
    QTableWidgetItem* item = table_->item(row, column);
    if (!item) return;
    const std::string text = item->text().trimmed().toStdString();
    switch (column) {
    case kName: ct.name = text; break;
    case kValue: p.value = text; break;
    case kFixed: p.fixed = item->checkState() == Qt::Checked; break;
    case kLink: p.link = text; break;
    case kMin: p.min = text; break;
    case kMax: p.max = text; break;
    case kElement: ct.element = text; break;
    case kLevel: ct.level = text; break;
    case kSensitivity: ct.sensitivity = text; break;
    default: break;
    }
}

void FitWindow::shapeChosen(std::size_t component, int index) {
    if (component >= texts_.components.size()) return;
    const auto* box = qobject_cast<QComboBox*>(sender());
    const auto shape = fit::Shape(box ? box->itemData(index).toInt() : index);
    fit::setShape(texts_.components[component], shape);
    // Rebuilt later: the box that is telling us is one of the table's cells.
    QTimer::singleShot(0, this, [this] { showModel(); });
}

void FitWindow::removeComponentCommand() {
    const int row = table_->currentRow();
    if (row < 0 || std::size_t(row) >= rows_.size()) {
        ctx_.dialogs.show("Choose the component to remove in the table first.");
        return;
    }
    texts_.components.erase(texts_.components.begin() + std::ptrdiff_t(rows_[std::size_t(row)].first));
    showModel();
}

void FitWindow::setModel(const fit::FitModel& model) {
    texts_ = fit::textsOf(model);
    showModel();
}

std::optional<fit::FitModel> FitWindow::currentModel() {
    fit::ModelRead read = fit::modelOf(texts_);
    if (!read.model) {
        ctx_.dialogs.error("", "The model: " + read.error);
        return std::nullopt;
    }
    return std::move(read.model);
}

bool FitWindow::moveToAxis(fit::Axis to) {
    if (texts_.axis == to) return true;
    const bool plain = texts_.components.empty() && texts_.from.empty() && texts_.to.empty();
    if (plain) {
        texts_.axis = to;
        showModel();
        return true;
    }
    const std::string axisName(fit::axisName(to));
    const auto refuse = [&](const std::string& why) {
        ctx_.dialogs.show("The model stays on the " + std::string(fit::axisName(texts_.axis)) + " axis: " + why);
        showModel();
        return false;
    };
    fit::ModelRead read = fit::modelOf(texts_);
    if (!read.model) return refuse(read.error);
    const std::optional<double> hv = activePhotonEnergy();
    if (!hv) return refuse("the active spectrum has no photon energy to state it in binding energy.");
    if (std::string why = fit::convertAxis(*read.model, to, *hv, viewer_.fitAxis().workFunction); !why.empty())
        return refuse(why);
    texts_ = fit::textsOf(*read.model);
    showModel();
    return true;
}

void FitWindow::axisChosen(int index) {
    moveToAxis(index == 1 ? fit::Axis::Binding : fit::Axis::Kinetic);
}

void FitWindow::viewerAxisChanged() {
    moveToAxis(viewer_.bindingAxis() ? fit::Axis::Binding : fit::Axis::Kinetic);
}

} // namespace korvo

#include "viewer/ui/spectrum_choice_dialog.h"

#include <QListWidget>
#include <QPushButton>

namespace korvo {

SpectrumChoiceDialog::SpectrumChoiceDialog(const QString& caption, const QString& action, QWidget* parent)
    : QDialog(parent) {
    setWindowTitle(caption);
    setFixedSize(260, 320);
    list_ = new QListWidget(this);
    list_->setGeometry(10, 10, 240, 260);
    list_->setSelectionMode(QAbstractItemView::MultiSelection);
    action_ = new QPushButton(action, this);
    action_->setGeometry(10, 282, 110, 28);
    auto* cancel = new QPushButton(QStringLiteral("Cancel"), this);
    cancel->setGeometry(140, 282, 110, 28);
    connect(action_, &QPushButton::clicked, this, &QDialog::accept);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
}

void SpectrumChoiceDialog::setItems(const std::vector<std::string>& names) {
    list_->clear();
    for (const std::string& n : names) list_->addItem(QString::fromStdString(n));
}

std::vector<int> SpectrumChoiceDialog::chosenRows() const {
    std::vector<int> rows;
    for (int i = 0; i < list_->count(); ++i)
        if (list_->item(i)->isSelected()) rows.push_back(i);
    return rows;
}

} // namespace korvo

#include "viewer/ui/data_selection_dialog.h"

#include "viewer/viewer_texts.h"

#include <QComboBox>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>

namespace korvo {

TForm8::TForm8(QWidget* parent) : QDialog(parent) {
    setWindowTitle(QStringLiteral("Data Selection"));
    setFixedSize(430, 330);
    auto* a = new QLabel(QStringLiteral("Available Data"), this);
    a->setGeometry(10, 8, 160, 18);
    available_ = new QListWidget(this);
    available_->setGeometry(10, 28, 160, 230);
    available_->setSelectionMode(QAbstractItemView::ExtendedSelection);
    auto* s = new QLabel(QStringLiteral("Shown Data"), this);
    s->setGeometry(260, 8, 160, 18);
    shown_ = new QListWidget(this);
    shown_->setGeometry(260, 28, 160, 230);
    shown_->setSelectionMode(QAbstractItemView::ExtendedSelection);
    toShown_ = new QPushButton(QStringLiteral("--->"), this);
    toShown_->setGeometry(180, 100, 70, 26);
    toHidden_ = new QPushButton(QStringLiteral("<---"), this);
    toHidden_->setGeometry(180, 140, 70, 26);
    auto* v = new QLabel(QStringLiteral("Show Values of"), this);
    v->setGeometry(10, 266, 160, 18);
    active_ = new QComboBox(this);
    active_->setGeometry(10, 286, 160, 24);
    ok_ = new QPushButton(QStringLiteral("OK"), this);
    ok_->setGeometry(260, 286, 75, 26);
    cancel_ = new QPushButton(QStringLiteral("Cancel"), this);
    cancel_->setGeometry(345, 286, 75, 26);
    for (QPushButton* b : {toShown_, toHidden_, ok_, cancel_}) b->setAutoDefault(false);

    connect(toShown_, &QPushButton::clicked, this, [this] {
        selection_.show(selectedRows(available_));
        refill();
    });
    connect(toHidden_, &QPushButton::clicked, this, [this] {
        selection_.hide(selectedRows(shown_));
        refill();
    });
    // The spectrum whose values are shown is the one the combo box holds when the dialog closes
    // (by position, so that two files of one name stay apart).
    connect(ok_, &QPushButton::clicked, this, [this] {
        const int index = active_->currentIndex();
        if (index >= 0 && index < int(selection_.shown.size())) selection_.active = selection_.shown[std::size_t(index)];
        accept();
    });
    connect(cancel_, &QPushButton::clicked, this, &QDialog::reject);
}

void TForm8::setSelection(const tvar& ws) {
    ws_ = &ws;
    selection_ = DataSelection::of(ws);
    refill();
}

std::vector<int> TForm8::selectedRows(const QListWidget* list) {
    std::vector<int> rows;
    for (int i = 0; i < list->count(); ++i)
        if (list->item(i)->isSelected()) rows.push_back(i);
    return rows;
}

void TForm8::refill() {
    const auto name = [this](int k) { return QString::fromStdString(listName(*ws_, k)); };
    available_->clear();
    for (int k : selection_.hidden) available_->addItem(name(k));
    shown_->clear();
    active_->clear();
    for (int k : selection_.shown) {
        shown_->addItem(name(k));
        active_->addItem(name(k));
    }
    // The combo box follows the spectrum, not its name: two files of one name stay apart.
    for (int i = 0; i < int(selection_.shown.size()); ++i)
        if (selection_.shown[std::size_t(i)] == selection_.active) active_->setCurrentIndex(i);
}

} // namespace korvo

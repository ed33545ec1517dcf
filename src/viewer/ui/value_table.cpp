#include "viewer/ui/value_table.h"

#include "viewer/viewer_texts.h"

#include <QHeaderView>
#include <QTableWidget>
#include <QVBoxLayout>

namespace korvo {

TForm12::TForm12(QWidget* parent) : QWidget(parent, Qt::Window) {
    setWindowTitle(QStringLiteral("Value Table"));
    resize(620, 260);
    grid_ = new QTableWidget(0, int(kValueTableHeadings.size()), this);
    QStringList headings;
    for (const char* h : kValueTableHeadings) headings << QString::fromUtf8(h);
    grid_->setHorizontalHeaderLabels(headings);
    grid_->verticalHeader()->hide();
    grid_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(grid_);
}

void TForm12::showWorkspace(const tvar& ws) {
    ws_ = &ws;
    const auto rows = valueTableRows(ws);
    grid_->setRowCount(int(rows.size()));
    for (int r = 0; r < int(rows.size()); ++r) {
        for (int c = 0; c < int(rows[std::size_t(r)].size()); ++c) {
            const QString text = QString::fromStdString(rows[std::size_t(r)][std::size_t(c)]);
            QTableWidgetItem* item = grid_->item(r, c);
            if (!item) {
                item = new QTableWidgetItem;
                grid_->setItem(r, c, item);
            }
            if (item->text() != text) item->setText(text);
            // Numbers right-aligned, names left.
            item->setTextAlignment(c >= 2 ? Qt::AlignRight | Qt::AlignVCenter : Qt::AlignLeft | Qt::AlignVCenter);
        }
    }
}

void TForm12::forget(const tvar* ws) {
    if (ws_ != ws) return;
    ws_ = nullptr;
    grid_->setRowCount(0);
}

} // namespace korvo

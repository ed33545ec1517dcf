#include "tools/ui/aes_window.h"

#include "common/dialogs.h"

#include <QAction>
#include <QColor>
#include <QDir>
#include <QEvent>
#include <QHeaderView>
#include <QKeyEvent>
#include <QMenuBar>
#include <QShowEvent>
#include <QTableWidget>
#include <algorithm>

namespace korvo {

namespace {

constexpr int kGridRows = AugerTable::kShownPeaks + 1;  // row 0: element names
constexpr int kGridColumns = AugerTable::kElements + 1; // column 0: labels

QTableWidgetItem* labelItem(const QString& text) {
    auto* item = new QTableWidgetItem(text);
    item->setFlags(item->flags() & ~Qt::ItemIsEditable);
    item->setBackground(QColor(0xC0, 0xC0, 0xC0));
    return item;
}

} // namespace

TForm10::TForm10(Dialogs& dialogs, std::string startDir, QWidget* parent)
    : QMainWindow(parent), dialogs_(dialogs), startDir_(std::move(startDir)) {
    confirmOverwrite = [this](const std::string& text) {
        return dialogs_.ask("Warning !", text, DialogIcon::Warning, DialogButtons::OkCancel) ==
               DialogAnswer::Ok;
    };
    QMenuBar* bar = menuBar();
    changeAction_ = bar->addAction(QStringLiteral("Change En/Int"));
    saveTableAction_ = bar->addAction(QStringLiteral("Save table"));
    saveSpectrumAction_ = bar->addAction(QStringLiteral("Save spectrum"));
    QAction* closeAction = bar->addAction(QStringLiteral("Close"));
    connect(changeAction_, &QAction::triggered, this, &TForm10::ChangeEnIntClick);
    connect(saveTableAction_, &QAction::triggered, this, &TForm10::SaveTableClick);
    connect(saveSpectrumAction_, &QAction::triggered, this, &TForm10::SaveSpectrumClick);
    connect(closeAction, &QAction::triggered, this, &QWidget::close);

    auto* central = new QWidget(this);
    setCentralWidget(central);
    grid_ = new QTableWidget(kGridRows, kGridColumns, central);
    grid_->horizontalHeader()->hide();
    grid_->verticalHeader()->hide();
    grid_->verticalHeader()->setDefaultSectionSize(20);
    grid_->horizontalHeader()->setDefaultSectionSize(64);
    grid_->installEventFilter(this);
    grid_->setItem(0, 0, labelItem(QStringLiteral("Elements")));
    for (int k = 1; k < kGridRows; ++k) grid_->setItem(k, 0, labelItem(QStringLiteral("Peak %1").arg(k)));
    for (int e = 1; e < kGridColumns; ++e)
        for (int k = 0; k < kGridRows; ++k) grid_->setItem(k, e, new QTableWidgetItem);
    resize(620, 420);
    setCaption();
}

std::string TForm10::filePath() const {
    return QDir(QString::fromStdString(startDir_))
        .filePath(QString::fromLatin1(AugerTable::kFileName))
        .toStdString();
}

void TForm10::showEvent(QShowEvent* e) {
    QMainWindow::showEvent(e);
    // Restoring a minimised window is no new showing: edits in the grid stay.
    if (!e->spontaneous()) loadTable();
}

void TForm10::resizeEvent(QResizeEvent* e) {
    QMainWindow::resizeEvent(e);
    grid_->setGeometry(10, 10, std::max(40, width() - 20), std::max(40, height() - 60));
}

bool TForm10::eventFilter(QObject* watched, QEvent* event) {
    // Letting go of Ctrl in the grid flips the view, as the menu item does.
    if (watched == grid_ && event->type() == QEvent::KeyRelease &&
        static_cast<QKeyEvent*>(event)->key() == Qt::Key_Control &&
        !static_cast<QKeyEvent*>(event)->isAutoRepeat())
        ChangeEnIntClick();
    return QMainWindow::eventFilter(watched, event);
}

bool TForm10::loadTable() {
    AugerReadResult read = readAugerFile(filePath());
    if (!read) {
        dialogs_.error("AES - Data", read.error);
        return false;
    }
    table_ = std::move(*read.table);
    view_ = AugerTable::View::Energy;
    setCaption();
    showTable();
    return true;
}

void TForm10::setCaption() {
    setWindowTitle(view_ == AugerTable::View::Energy ? QStringLiteral("AES - Data (Peak energy)")
                                                     : QStringLiteral("AES - Data (Peak intensity)"));
}

void TForm10::showTable() {
    const AugerCells cells = cellsOf(table_, view_);
    for (int e = 1; e < kGridColumns; ++e) {
        grid_->item(0, e)->setText(QString::fromStdString(cells.names[e]));
        for (int k = 1; k < kGridRows; ++k)
            grid_->item(k, e)->setText(QString::fromStdString(cells.values[e][k]));
    }
}

bool TForm10::storeGrid() {
    AugerCells cells;
    for (int e = 1; e < kGridColumns; ++e) {
        cells.names[e] = grid_->item(0, e)->text().toStdString();
        for (int k = 1; k < kGridRows; ++k) cells.values[e][k] = grid_->item(k, e)->text().toStdString();
    }
    std::string error;
    if (storeCells(table_, view_, cells, &error)) return true;
    dialogs_.error("AES - Data", error);
    return false;
}

void TForm10::ChangeEnIntClick() {
    if (!storeGrid()) return;
    view_ = view_ == AugerTable::View::Energy ? AugerTable::View::Intensity : AugerTable::View::Energy;
    setCaption();
    showTable();
}

void TForm10::SaveTableClick() {
    if (!confirmOverwrite(kOverwriteWarning)) return;
    if (!storeGrid()) return;
    std::string error;
    if (!writeAugerFile(filePath(), table_, &error)) dialogs_.error("AES - Data", error);
}

void TForm10::SaveSpectrumClick() {
    const int element = grid_->currentColumn();
    if (element < 1) {
        dialogs_.information("AES - Data", "Select a cell in the column of the element first.");
        return;
    }
    // The spectrum shows the table as the grid shows it, edits included.
    if (!storeGrid()) return;
    const auto path =
        dialogs_.chooseSaveFile("Save as dat-file", startDir_, "", "dat-files (*.dat);;All files (*)");
    if (!path || path->empty()) return;
    std::string error;
    if (!writeStickSpectrum(*path, table_, element, &error)) dialogs_.error("AES - Data", error);
}

} // namespace korvo

#include "viewer/ui/batch_print_window.h"

#include "common/dialogs.h"
#include "viewer/print_cells.h"
#include "viewer/print_settings.h"
#include "viewer/ui/printer_choice.h"

#include <QDir>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPrinter>
#include <QPushButton>
#include <QRadioButton>

namespace korvo {

namespace {

// A caption and its field on one line of a group box.
QLineEdit* labelledEdit(QWidget* box, const QString& caption, const QString& text, int top) {
    auto* label = new QLabel(caption, box);
    label->setGeometry(10, top + 2, 80, 20);
    auto* edit = new QLineEdit(text, box);
    edit->setGeometry(95, top, 60, 24);
    return edit;
}

} // namespace

TForm17::TForm17(PrintSettings& settings, PrinterChoice& printers, Dialogs& dialogs, QWidget* parent)
    : QWidget(parent, Qt::Window), settings_(settings), printers_(printers), dialogs_(dialogs) {
    setWindowTitle(QStringLiteral("PrintSpec (32 bit)"));
    setFixedSize(560, 380);
    // The directory as a path above its subdirectories (there are no drive letters here).
    dirEdit_ = new QLineEdit(this);
    dirEdit_->setGeometry(10, 10, 250, 24);
    dirs_ = new QListWidget(this);
    dirs_->setGeometry(10, 40, 250, 150);
    files_ = new QListWidget(this);
    files_->setGeometry(10, 200, 250, 170);
    files_->setSelectionMode(QAbstractItemView::ExtendedSelection);

    auto* control = new QPushButton(QStringLiteral("Printer Control"), this);
    control->setGeometry(280, 10, 270, 28);
    auto* stretch = new QGroupBox(QStringLiteral("Streching factor (%) :"), this);
    stretch->setGeometry(280, 48, 270, 80);
    xFactor_ = labelledEdit(stretch, QStringLiteral("X - factor :"), QStringLiteral("100"), 20);
    yFactor_ = labelledEdit(stretch, QStringLiteral("Y - factor :"), QStringLiteral("100"), 48);
    auto* per = new QGroupBox(QStringLiteral("Spectra per"), this);
    per->setGeometry(280, 134, 270, 80);
    perRow_ = labelledEdit(per, QStringLiteral("Row :"), QStringLiteral("2"), 20);
    perColumn_ = labelledEdit(per, QStringLiteral("Column :"), QStringLiteral("4"), 48);
    auto* orientation = new QGroupBox(QStringLiteral("Paper Orientation :"), this);
    orientation->setGeometry(280, 220, 270, 70);
    vertical_ = new QRadioButton(QStringLiteral("Vertical"), orientation);
    vertical_->setGeometry(10, 22, 120, 22);
    vertical_->setChecked(true);
    horizontal_ = new QRadioButton(QStringLiteral("Horizontal"), orientation);
    horizontal_->setGeometry(135, 22, 120, 22);
    auto* print = new QPushButton(QStringLiteral("Print selected spectra"), this);
    print->setGeometry(280, 300, 270, 30);
    auto* close = new QPushButton(QStringLiteral("Close"), this);
    close->setGeometry(280, 340, 270, 30);

    connect(control, &QPushButton::clicked, this, [this] { printers_.setup(this); });
    connect(print, &QPushButton::clicked, this, [this] { printSelected(); });
    connect(close, &QPushButton::clicked, this, &QWidget::close);
    // Return, not the end of editing: a window being destroyed ends the editing of its focused field.
    connect(dirEdit_, &QLineEdit::returnPressed, this, [this] { setDirectory(dirEdit_->text().toStdString()); });
    connect(dirs_, &QListWidget::itemActivated, this, [this](QListWidgetItem* item) {
        setDirectory(QDir::cleanPath(QDir(QString::fromStdString(dir_)).filePath(item->text())).toStdString());
    });
    setDirectory(QDir::currentPath().toStdString());
}

void TForm17::setDirectory(const std::string& dir) {
    dir_ = dir;
    dirEdit_->setText(QString::fromStdString(dir));
    refill();
}

void TForm17::refill() {
    dirs_->clear();
    files_->clear();
    const QDir d(QString::fromStdString(dir_));
    if (!d.exists()) return;
    dirs_->addItems(d.entryList(QDir::Dirs | QDir::NoDot, QDir::Name));
    files_->addItems(d.entryList(QDir::Files, QDir::Name));
}

std::vector<std::string> TForm17::selectedFiles() const {
    std::vector<std::string> paths;
    const QDir d(QString::fromStdString(dir_));
    for (int row = 0; row < files_->count(); ++row)
        if (files_->item(row)->isSelected())
            paths.push_back(QDir::toNativeSeparators(d.filePath(files_->item(row)->text())).toStdString());
    return paths;
}

print::BatchFieldTexts TForm17::fieldTexts() const {
    return {xFactor_->text().toStdString(), yFactor_->text().toStdString(), perRow_->text().toStdString(),
            perColumn_->text().toStdString(), horizontal_->isChecked()};
}

int TForm17::printSelected() {
    const print::BatchSelection selection = print::selectBatchFiles(selectedFiles());
    for (const std::string& m : selection.messages) dialogs_.show(m);
    if (selection.files.empty()) return 0;
    const print::BatchLayoutCheck check = print::checkBatchLayout(fieldTexts());
    if (!check.layout) {
        dialogs_.error("", check.error);
        return 0;
    }
    QPrinter* printer = printers_.printerFor(this);
    if (!printer) return 0;
    const print::BatchOutcome out =
        print::printBatch(*printer, selection.files, *check.layout, {settings_.incLineType, settings_.frame},
                          [this](const std::string& m) { dialogs_.warning("", m); });
    if (!out.error.empty()) dialogs_.error("", out.error);
    return out.printed;
}

} // namespace korvo

#include "app/script_window.h"

#include "acquisition/station.h"
#include "app/main_window.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

namespace korvo {

namespace {

constexpr const char* kScriptFilter = "Script (*.txt);;All files (*)";

QString qs(const std::string& s) {
    return QString::fromStdString(s);
}

// A message as one line for a table cell: its line breaks as spaces.
QString oneLine(const std::string& text) {
    QString t = qs(text);
    t.replace(QLatin1Char('\r'), QLatin1Char(' ')).replace(QLatin1Char('\n'), QLatin1Char(' '));
    return t.simplified();
}

} // namespace

TForm22::TForm22(Station& station, TForm1& mainWindow, QWidget* parent)
    : QWidget(parent, Qt::Window), station_(station), main_(mainWindow) {
    setWindowTitle(QStringLiteral("Script"));
    grid_ = new QTableWidget(ScriptTable::kLines, ScriptTable::kColumns, this);
    QStringList headers;
    for (const char* h : ScriptTable::kHeaders) headers << QString::fromLatin1(h);
    grid_->setHorizontalHeaderLabels(headers);
    for (int c = 0; c < ScriptTable::kColumns; ++c) grid_->setColumnWidth(c, ScriptTable::kWidths[std::size_t(c)]);
    grid_->verticalHeader()->setDefaultSectionSize(18);
    grid_->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(grid_, &QTableWidget::cellChanged, this, &TForm22::cellEdited);

    menu_ = new QMenu(this);
    connect(menu_->addAction(QStringLiteral("&Copy Line")), &QAction::triggered, this, &TForm22::copyLine);
    connect(menu_->addAction(QStringLiteral("&Paste Line")), &QAction::triggered, this, &TForm22::pasteLine);
    connect(menu_->addAction(QStringLiteral("&Delete Line")), &QAction::triggered, this, &TForm22::deleteLine);
    connect(menu_->addAction(QStringLiteral("&Insert New Line")), &QAction::triggered, this, &TForm22::insertLine);
    connect(grid_, &QWidget::customContextMenuRequested, this,
            [this](const QPoint& at) { menu_->popup(grid_->viewport()->mapToGlobal(at)); });

    auto button = [this](const char* caption) { return new QPushButton(QString::fromLatin1(caption), this); };
    start_ = button("Start Script !");
    start_->setStyleSheet(QStringLiteral("background-color: #00c000;"));
    stop_ = button("Stop Script !");
    stop_->setStyleSheet(QStringLiteral("background-color: #e00000;"));
    stop_->setEnabled(false);
    clear_ = button("Clear");
    autoFill_ = button("Auto Fill");
    load_ = button("Load Script");
    save_ = button("Save Script");
    connect(start_, &QPushButton::clicked, this, &TForm22::startScriptClick);
    connect(stop_, &QPushButton::clicked, this, &TForm22::stopScriptClick);
    connect(clear_, &QPushButton::clicked, this, &TForm22::clearClick);
    connect(autoFill_, &QPushButton::clicked, this, &TForm22::autoFillClick);
    connect(load_, &QPushButton::clicked, this, &TForm22::loadScriptClick);
    connect(save_, &QPushButton::clicked, this, &TForm22::saveScriptClick);

    auto* buttons = new QHBoxLayout;
    for (QPushButton* b : {start_, stop_, clear_, autoFill_, load_, save_}) buttons->addWidget(b);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(grid_);
    layout->addLayout(buttons);
    resize(720, 420);

    ScriptHooks hooks;
    hooks.switchMode = [this](std::uint8_t mode) { main_.switchMode(mode); };
    hooks.showFields = [this] { main_.fieldsToControls(); };
    hooks.passEnergyChanged = [this] { main_.PassEnergie_ComboBoxChange(); };
    hooks.pressStart = [this] {
        main_.startButton()->click();
        return true;
    };
    hooks.column0Changed = [this](int row) { showCell(row, ScriptTable::FileName); };
    hooks.messageRecorded = [this](int row, const std::string& text) {
        // The line's cell tells what went wrong; the whole text stays in its tooltip.
        if (row < 1 || row > ScriptTable::kLines) return;
        table_.setCell(row, ScriptTable::FileName, oneLine(text).toStdString());
        showCell(row, ScriptTable::FileName);
        if (QTableWidgetItem* item = grid_->item(row - 1, ScriptTable::FileName)) {
            const QString before = item->toolTip();
            item->setToolTip(before.isEmpty() ? qs(text) : before + QLatin1Char('\n') + qs(text));
        }
    };
    run_ = std::make_unique<ScriptRun>(station_, table_, hooks);
    clearClick();
}

TForm22::~TForm22() = default;

void TForm22::showCell(int row, int column) {
    if (row < 1 || row > ScriptTable::kLines || column < 0 || column >= ScriptTable::kColumns) return;
    const bool was = std::exchange(showing_, true);
    QTableWidgetItem* item = grid_->item(row - 1, column);
    if (!item) grid_->setItem(row - 1, column, item = new QTableWidgetItem);
    item->setText(qs(table_.cell(row, column)));
    showing_ = was;
}

void TForm22::showTable() {
    for (int r = 1; r <= ScriptTable::kLines; ++r)
        for (int c = 0; c < ScriptTable::kColumns; ++c) showCell(r, c);
}

void TForm22::cellEdited(int tableRow, int column) {
    if (showing_) return;
    if (QTableWidgetItem* item = grid_->item(tableRow, column))
        table_.setCell(tableRow + 1, column, item->text().toStdString());
}

int TForm22::selectedRow() const {
    const int row = grid_->currentRow();
    return row < 0 ? 1 : row + 1;
}

void TForm22::clearClick() {
    // Line 1 takes the main window's settings, with the ramp and the points in their fields.
    main_.controlsToFields();
    if (!station_.fields.rampView) main_.RampButtonClick();
    if (!station_.fields.pointsView) main_.PointsButtonClick();
    main_.controlsToFields();
    table_.clear(station_.fields, station_.state.MachineMode);
    showTable();
}

void TForm22::autoFillClick() {
    table_.autoFill();
    showTable();
}

void TForm22::showRunning(bool running) {
    start_->setEnabled(!running);
    stop_->setEnabled(running);
    if (QLabel* label = main_.scriptModeLabel()) label->setVisible(running);
}

void TForm22::startScriptClick() {
    if (run_->running() || main_.runActive()) return;
    for (int r = 0; r < ScriptTable::kLines; ++r)
        if (QTableWidgetItem* item = grid_->item(r, ScriptTable::FileName)) item->setToolTip({});
    main_.controlsToFields();
    // No line may be copied over, inserted or deleted under the line being measured: the context
    // menu comes back only when the script has ended, also after "Stop Script !".
    grid_->setContextMenuPolicy(Qt::NoContextMenu);
    showRunning(true);
    run_->run();
    showRunning(false);
    grid_->setContextMenuPolicy(Qt::CustomContextMenu);
    showTable();
}

void TForm22::stopScriptClick() {
    // The line being measured runs to its end (the main window's Stop ends it early); the table
    // stays as it is until then.
    run_->stop();
    showRunning(false);
}

void TForm22::loadScriptClick() {
    Dialogs& dialogs = station_.ctx.dialogs;
    const std::optional<std::string> path =
        dialogs.chooseOpenFile("Load Script", station_.settings.store.saveDir, kScriptFilter);
    if (!path) return;
    std::string message;
    if (!loadScriptFile(*path, table_, &message)) {
        dialogs.warning("Load Script", message);
        return;
    }
    showTable();
}

void TForm22::saveScriptClick() {
    Dialogs& dialogs = station_.ctx.dialogs;
    const std::optional<std::string> path =
        dialogs.chooseSaveFile("Save Script", station_.settings.store.saveDir, "script.txt", kScriptFilter);
    if (!path) return;
    std::string message;
    if (!saveScriptFile(*path, table_, &message)) dialogs.warning("Save Script", message);
}

void TForm22::copyLine() {
    table_.copyLine(selectedRow());
}

void TForm22::pasteLine() {
    if (run_->running()) return;
    table_.pasteLine(selectedRow());
    showTable();
}

void TForm22::deleteLine() {
    if (run_->running()) return;
    table_.deleteLine(selectedRow());
    showTable();
}

void TForm22::insertLine() {
    if (run_->running()) return;
    table_.insertLine(selectedRow());
    showTable();
}

} // namespace korvo

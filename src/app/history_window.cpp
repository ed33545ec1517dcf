#include "app/history_window.h"

#include "acquisition/history_model.h"
#include "acquisition/measurement_fields.h"
#include "app/main_window.h"
#include "files/measurement_data.h"

#include <QHeaderView>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QSignalBlocker>
#include <QTableWidget>
#include <algorithm>

namespace korvo {

namespace {

struct Column {
    const char* header;
    int width;
};
constexpr Column kColumns[HistoryModel::kColumns] = {
    {"  Nr.", 30},       {"   Popularity", 70}, {"  Machine", 70},   {" Mode", 35},
    {" Start (eV)", 58}, {" End (eV)", 58},     {" Points", 43},     {" Scans", 43},
    {" Pass (eV)", 59},  {" Time", 40},         {" Phot. (eV)", 61},
};

// The machine command of a row's machine text (its first 8 characters); 0 when it names none.
std::uint8_t modeOfMachine(const std::string& machine) {
    const std::string head = machine.substr(0, 8);
    if (head == "CLAM") return ModeClam;
    if (head == "CLAM_CFS") return ModeCfs;
    if (head == "CLAM_CIS") return ModeCis;
    if (head == "KEITHLEY") return ModeKeithley;
    return 0;
}

int kindOfText(const std::string& kind) {
    if (kind == "c(t)") return 0;
    if (kind == "CAE") return 1;
    if (kind == "CRR") return 2;
    return -1;
}

// The pass-energy item of a row's text; the separators between the two sets are never chosen.
int passEnergyItemOf(const std::string& text) {
    for (int i = 0; i < 17; ++i) {
        if (i >= 7 && i <= 9) continue;
        if (text == kPassEnergyItems[i]) return i;
    }
    return -1;
}

// The reference channel a row was measured with: the digit after "CLAM_CFS_" / "CLAM_CIS_"; channel
// 5 for the names without one.
int referenceItemOf(const std::string& machine) {
    if (machine.size() <= 9) return 5 - 1;
    const char c = machine[9];
    return c >= '1' && c <= '9' ? c - '1' : 5 - 1;
}

} // namespace

TForm20::TForm20(TForm1& main, QWidget* parent)
    : QWidget(parent), main_(main), model_(main.context().history) {
    setWindowTitle(QStringLiteral("History"));
    grid_ = new QTableWidget(HistoryModel::kSize, HistoryModel::kColumns, this);
    QStringList headers;
    for (const Column& c : kColumns) headers << QString::fromLatin1(c.header);
    grid_->setHorizontalHeaderLabels(headers);
    for (int c = 0; c < HistoryModel::kColumns; ++c) grid_->setColumnWidth(c, kColumns[c].width);
    grid_->horizontalHeader()->setSectionResizeMode(QHeaderView::Interactive);
    grid_->verticalHeader()->hide();
    grid_->verticalHeader()->setDefaultSectionSize(18);
    grid_->setSelectionBehavior(QAbstractItemView::SelectRows);
    grid_->setSelectionMode(QAbstractItemView::SingleSelection);
    grid_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    grid_->setFont(TForm1::smallFont(grid_->font()));
    for (int r = 0; r < HistoryModel::kSize; ++r)
        for (int c = 0; c < HistoryModel::kColumns; ++c) grid_->setItem(r, c, new QTableWidgetItem);
    sampleLabel_ = new QLabel(QStringLiteral("Sample :"), this);
    commentLabel_ = new QLabel(QStringLiteral("Comment :"), this);
    clearButton_ = new QPushButton(QStringLiteral("Clear History"), this);
    resize(616, 392);

    connect(clearButton_, &QPushButton::clicked, this, &TForm20::ClearHistoryClick);
    connect(grid_, &QTableWidget::cellDoubleClicked, this, [this](int row, int) { rowDoubleClicked(row); });
    connect(grid_, &QTableWidget::currentCellChanged, this,
            [this](int row, int, int, int) { model_.setSelectedRow(row + 1); });
    // The run adds its entries while this window may be open.
    model_.changed = [this] { refresh(); };
    refresh();
}

TForm20::~TForm20() {
    model_.changed = nullptr;
}

void TForm20::resizeEvent(QResizeEvent* e) {
    QWidget::resizeEvent(e);
    // The grid takes the window; the labels and the button keep to its bottom edge.
    const int w = std::max(width(), 240);
    const int h = std::max(height(), 120);
    grid_->setGeometry(8, 8, w - 16, h - 62);
    sampleLabel_->setGeometry(8, h - 46, 120, 18);
    commentLabel_->setGeometry(8, h - 26, 120, 18);
    clearButton_->setGeometry(w - 108, h - 42, 100, 25);
}

void TForm20::refresh() {
    for (int r = 0; r < HistoryModel::kSize; ++r) {
        const HistoryModel::Row& row = model_.row(r + 1);
        for (int c = 0; c < HistoryModel::kColumns; ++c)
            grid_->item(r, c)->setText(QString::fromStdString(row[c]));
    }
    const int selected = model_.selectedRow();
    {
        // Selecting here is the model's choice, not the user's: it must not write back into it.
        QSignalBlocker block(grid_);
        grid_->clearSelection();
        if (selected >= 1) grid_->setCurrentCell(selected - 1, 0);
    }
    grid_->scrollToItem(grid_->item(model_.topRow() - 1, 0), QAbstractItemView::PositionAtTop);
    grid_->viewport()->update();
}

void TForm20::ClearHistoryClick() {
    model_.clear(); // refreshes through the model's hook
}

void TForm20::rowDoubleClicked(int row) {
    model_.setSelectedRow(row + 1);
    HistoryApply();
}

// The steps go through the main window's own commands, in the order a user would take them: the
// machine first (it reloads the fields of its section), then the fields, the pass energy (which
// recomputes the channel shifts), the reference channel, and the machine once more so that its
// layout and settings follow the copied fields.
void TForm20::HistoryApply() {
    if (main_.runActive()) {
        main_.context().dialogs.information("", kBusyMessage);
        return;
    }
    const int index = model_.selectedRow();
    if (model_.hits(index) == 0) return; // an empty row
    const HistoryModel::Row row = model_.row(index);

    const std::uint8_t mode = modeOfMachine(row[2]);
    if (mode != 0) main_.switchMode(mode);

    MeasurementFields& f = main_.fields();
    main_.controlsToFields();
    const int kind = kindOfText(row[3]);
    if (kind >= 0) f.kindOfMeasure = kind;
    f.start = row[4];
    main_.fieldsToControls();
    if (kind >= 0) main_.KindOfMeasureClick();

    if (f.rampView) main_.RampButtonClick();
    f.second = row[5];
    main_.fieldsToControls();
    if (!f.pointsView) main_.PointsButtonClick();
    f.third = row[6];
    f.scans = row[7];
    const int pass = passEnergyItemOf(row[8]);
    if (pass >= 0) {
        f.passEnergyIndex = pass;
        f.passEnergyText = kPassEnergyItems[pass];
    }
    f.timePerPoint = row[9];
    f.photon = row[10];
    main_.fieldsToControls();
    if (pass >= 0) main_.PassEnergie_ComboBoxChange();

    const int reference = referenceItemOf(row[2]);
    main_.channelList()->setCurrentRow(reference);
    main_.ChannelListClick(reference);
    if (mode != 0) main_.switchMode(mode);

    main_.context().dialogs.information("", kAppliedMessage);
    main_.bringToFront();
}

} // namespace korvo

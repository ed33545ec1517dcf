#include "instrument_windows/multichanneltron_setup.h"

#include "acquisition/measurement_settings.h"
#include "acquisition/run/run_validation.h"
#include "common/ini_file.h"
#include "common/number_text.h"
#include "instrument_windows/channel_bars.h"
#include "instrument_windows/sensitivity_calibration.h"

#include <QApplication>
#include <QCheckBox>
#include <QFrame>
#include <QHeaderView>
#include <QHideEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPointer>
#include <QPushButton>
#include <QTableWidget>
#include <vector>

namespace korvo {

namespace {

constexpr int kNameColumnWidth = 80;
constexpr int kDataColumnWidth = 50;
constexpr int kSeparatorWidth = 25;
constexpr int kRowHeight = 18;
constexpr int kViewWidth = 150; // nine bars end at x = 146
constexpr int kLegendSquare = 16;
constexpr int kBoxHeight = 9 * kLegendSquare + 16; // the panels below the grid

QColor channelColour(int index) {
    const Rgb c = kChannelColours.at(std::size_t(index));
    return QColor(c.r, c.g, c.b);
}

// While the calibration point is counted the other windows take no input: the count keeps the
// interface alive, and a run started from the main window meanwhile would rebuild the data block
// that the count is writing into. Message boxes opened during the count are new windows and stay
// usable.
class OtherWindowsHeld {
public:
    explicit OtherWindowsHeld(const QWidget* self) {
        for (QWidget* w : QApplication::topLevelWidgets()) {
            if (w == self || w->parentWidget() || !w->isEnabled()) continue;
            w->setEnabled(false);
            held_.emplace_back(w);
        }
    }
    ~OtherWindowsHeld() {
        for (const QPointer<QWidget>& w : held_)
            if (w) w->setEnabled(true);
    }
    OtherWindowsHeld(const OtherWindowsHeld&) = delete;
    OtherWindowsHeld& operator=(const OtherWindowsHeld&) = delete;

private:
    std::vector<QPointer<QWidget>> held_;
};

QFrame* panel(QWidget* parent, const QRect& geometry) {
    auto* f = new QFrame(parent);
    f->setFrameShape(QFrame::StyledPanel);
    f->setGeometry(geometry);
    return f;
}

} // namespace

bool unlocksChannelTable(const QString& text) {
    return text == QLatin1String("tarn42") || text == QLatin1String("Tarn42") ||
           text == QLatin1String("TARN42");
}

TForm19::TForm19(Station& station, std::string iniPath, QWidget* parent)
    : QWidget(parent, Qt::Window), station_(station), ctx_(station.ctx), iniPath_(std::move(iniPath)) {
    setWindowTitle(QStringLiteral("Multichanneltron Setup"));
    // The program ends with its main window, also while this one is open.
    setAttribute(Qt::WA_QuitOnClose, false);
    createGrid();
    createAccessBox();
    createChannelBox();
    createCalibrationBox();
    setFixedSize(grid_->x() + grid_->width() + 8, grid_->y() + grid_->height() + 8 + kBoxHeight + 8);

    clearView();
    showSensitivities();
    showModel();
    Edit1Change();
}

void TForm19::createGrid() {
    grid_ = new QTableWidget(ChannelShiftTable::kRows, ChannelShiftTable::kColumns, this);
    grid_->setObjectName(QStringLiteral("StringGrid1"));
    grid_->horizontalHeader()->hide();
    grid_->verticalHeader()->hide();
    grid_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    grid_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    grid_->verticalHeader()->setMinimumSectionSize(kRowHeight);
    grid_->horizontalHeader()->setMinimumSectionSize(kSeparatorWidth);
    for (int r = 0; r < ChannelShiftTable::kRows; ++r) grid_->setRowHeight(r, kRowHeight);
    setColumnWidths();
    int width = 0;
    for (int c = 0; c < ChannelShiftTable::kColumns; ++c) width += grid_->columnWidth(c);
    const int frame = 2 * grid_->frameWidth();
    grid_->setGeometry(8, 8, width + frame, ChannelShiftTable::kRows * kRowHeight + frame);
    QFont small = grid_->font();
    small.setPointSizeF(small.pointSizeF() * 0.85);
    grid_->setFont(small);

    // Headers, channel names and the separator are fixed cells: shown, never edited.
    const QBrush fixed = palette().button();
    for (int c = 0; c < ChannelShiftTable::kColumns; ++c) {
        for (int r = 0; r < ChannelShiftTable::kRows; ++r) {
            auto* item = new QTableWidgetItem;
            if (r == 0 || !ChannelShiftTable::isDataColumn(c)) {
                item->setFlags(Qt::ItemIsEnabled);
                item->setBackground(fixed);
            }
            grid_->setItem(r, c, item);
        }
    }
    connect(grid_, &QTableWidget::itemChanged, this, &TForm19::gridEdited);
}

void TForm19::setColumnWidths() {
    for (int c = 0; c < ChannelShiftTable::kColumns; ++c)
        grid_->setColumnWidth(c, c == 0                                     ? kNameColumnWidth
                                 : c == ChannelShiftTable::kSeparatorColumn ? kSeparatorWidth
                                                                            : kDataColumnWidth);
}

void TForm19::createAccessBox() {
    QFrame* box = panel(this, QRect(8, grid_->y() + grid_->height() + 8, 200, kBoxHeight));
    passwordLabel_ = new QLabel(QStringLiteral("Password:"), box);
    passwordLabel_->setObjectName(QStringLiteral("Label1"));
    passwordLabel_->setGeometry(8, 10, 70, 20);
    edit1_ = new QLineEdit(box);
    edit1_->setObjectName(QStringLiteral("Edit1"));
    edit1_->setEchoMode(QLineEdit::Password);
    edit1_->setStyleSheet(QStringLiteral("lineedit-password-character: 42;")); // "*"
    edit1_->setGeometry(80, 8, 110, 24);
    connect(edit1_, &QLineEdit::textChanged, this, &TForm19::Edit1Change);

    setDefault_ = new QPushButton(QStringLiteral("Set Default Value !"), box);
    setDefault_->setGeometry(8, 50, 182, 28);
    connect(setDefault_, &QPushButton::clicked, this, &TForm19::SetDefaultClick);
    save_ = new QPushButton(QStringLiteral("Save"), box);
    save_->setGeometry(8, 88, 182, 28);
    connect(save_, &QPushButton::clicked, this, &TForm19::SaveClick);
}

void TForm19::createChannelBox() {
    // One row per channeltron: its colour in the legend strip, its switch, its sensitivity.
    QFrame* box = panel(this, QRect(216, grid_->y() + grid_->height() + 8, 210, kBoxHeight));
    legend_ = new QLabel(box);
    legend_->setObjectName(QStringLiteral("legendStrip"));
    legend_->setGeometry(8, 8, kLegendSquare, 9 * kLegendSquare);
    QImage strip(kLegendSquare, 9 * kLegendSquare, QImage::Format_RGB32);
    {
        QPainter p(&strip);
        for (int c = 1; c <= 9; ++c)
            p.fillRect(0, (c - 1) * kLegendSquare, kLegendSquare, kLegendSquare, channelColour(c));
    }
    legend_->setPixmap(QPixmap::fromImage(strip));

    QFont small = font();
    small.setPointSizeF(small.pointSizeF() * 0.85);
    for (int c = 1; c <= 9; ++c) {
        const int y = 8 + (c - 1) * kLegendSquare;
        auto* box1 = new QCheckBox(QStringLiteral("Channel %1").arg(c), box);
        box1->setObjectName(QStringLiteral("channeltron_%1_on").arg(c));
        box1->setFont(small);
        box1->setGeometry(30, y, 100, kLegendSquare);
        connect(box1, &QCheckBox::toggled, this,
                [this, c](bool on) { ctx_.channels.enabled[std::size_t(c - 1)] = on; });
        switches_[std::size_t(c - 1)] = box1;
        auto* s = new QLabel(box);
        s->setFont(small);
        s->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
        s->setGeometry(130, y, 70, kLegendSquare);
        sensitivityLabels_[std::size_t(c - 1)] = s;
    }
}

void TForm19::createCalibrationBox() {
    const int top = grid_->y() + grid_->height() + 8;
    QFrame* box = panel(this, QRect(434, top, grid_->x() + grid_->width() - 434, kBoxHeight));
    calibrate_ = new QPushButton(QStringLiteral("Calibrate Sensitivity"), box);
    calibrate_->setObjectName(QStringLiteral("CalibrateSensitivity"));
    calibrate_->setGeometry(8, 8, 150, 28);
    connect(calibrate_, &QPushButton::clicked, this, &TForm19::CalibrateSensitivity);
    edit2_ = new QLineEdit(QStringLiteral("1000"), box);
    edit2_->setObjectName(QStringLiteral("Edit2"));
    edit2_->setGeometry(8, 44, 70, 24);
    auto* unit = new QLabel(QStringLiteral("ms"), box);
    unit->setGeometry(82, 44, 30, 24);
    viewBox_ = new QCheckBox(QStringLiteral("View"), box);
    viewBox_->setGeometry(8, 76, 80, 22);
    connect(viewBox_, &QCheckBox::toggled, this, &TForm19::viewToggled);

    view_ = QImage(kViewWidth, kChannelViewHeight, QImage::Format_RGB32);
    viewLabel_ = new QLabel(box);
    viewLabel_->setObjectName(QStringLiteral("Image1"));
    viewLabel_->setGeometry(170, 8, kViewWidth, kChannelViewHeight);
    maximum_ = new QLabel(box);
    maximum_->setObjectName(QStringLiteral("maximumLabel"));
    maximum_->setGeometry(170, 8 + kChannelViewHeight + 4, kViewWidth, 18);
    percents_ = new QLabel(box);
    percents_->setObjectName(QStringLiteral("percentList"));
    percents_->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    QFont small = font();
    small.setPointSizeF(small.pointSizeF() * 0.8);
    percents_->setFont(small);
    percents_->setGeometry(170 + kViewWidth + 10, 8, 70, 9 * 15);
}

void TForm19::showModel() {
    for (int c = 1; c <= 9; ++c) {
        QCheckBox* b = switches_[std::size_t(c - 1)];
        const QSignalBlocker block(b);
        b->setChecked(ctx_.channels.enabled[std::size_t(c - 1)]);
    }
    if (viewBox_->isChecked() != ctx_.channels.view) {
        const QSignalBlocker block(viewBox_);
        viewBox_->setChecked(ctx_.channels.view);
    }
    if (!ctx_.channels.view) clearView();
    showTable();
}

void TForm19::showTable() {
    showingTable_ = true;
    const ChannelShiftTable& t = ctx_.channels.shifts;
    for (int c = 0; c < ChannelShiftTable::kColumns; ++c)
        for (int r = 0; r < ChannelShiftTable::kRows; ++r)
            grid_->item(r, c)->setText(QString::fromStdString(t.cell(c, r)));
    showingTable_ = false;
}

void TForm19::gridEdited(QTableWidgetItem* item) {
    if (showingTable_ || !item) return;
    const int c = item->column(), r = item->row();
    if (r < 1 || !ChannelShiftTable::isDataColumn(c)) return;
    // The grid is the table's view: an edit reaches the run at its next pass-energy change or start.
    ctx_.channels.shifts.setCell(c, r, item->text().toStdString());
}

void TForm19::Edit1Change() {
    unlocked_ = unlocksChannelTable(edit1_->text());
    setDefault_->setEnabled(unlocked_);
    save_->setEnabled(unlocked_);
    grid_->setEnabled(unlocked_);
    QPalette p = passwordLabel_->palette();
    p.setColor(QPalette::WindowText, unlocked_ ? QColor(0, 128, 0) : QColor(255, 0, 0));
    passwordLabel_->setPalette(p);
}

void TForm19::SetDefaultClick() {
    if (!unlocked_) return;
    ctx_.channels.shifts.restoreDefaults();
    setColumnWidths();
    showTable();
}

void TForm19::SaveClick() {
    if (!unlocked_) return;
    // Read what is on disk first, so that every other section and key stays as it is.
    IniFile ini(iniPath_);
    std::string error;
    if (!ini.load(&error)) {
        ctx_.dialogs.error(kInstrumentCaption,
                           "The INI-File could not be read (" + error + ") !\rThe table has not been saved.");
        return;
    }
    ctx_.channels.shifts.save(ini);
    if (!ini.save(&error))
        ctx_.dialogs.error(kInstrumentCaption, "The INI-File could not be written (" + error + ") !");
}

void TForm19::CalibrateSensitivity() {
    if (station_.engine.running()) {
        ctx_.dialogs.information("", "Stop the measurement first !");
        return;
    }
    if (const auto why = calibrationRefusal(station_)) {
        ctx_.dialogs.information("", *why);
        return;
    }
    // An unreadable time is refused before anything changes.
    const std::string timeText = edit2_->text().toStdString();
    const auto timeMs = text::parseInt(timeText);
    if (!timeMs) {
        ctx_.dialogs.warning(kWarningCaption, notIntegerText(timeText));
        return;
    }
    calibrate_->setEnabled(false);
    viewBox_->setChecked(true);
    ctx_.channels.sensitivities.fill(1.0);
    showSensitivities();
    std::optional<std::array<double, 9>> counts;
    {
        const OtherWindowsHeld held(this);
        counts = countCalibrationPoint(station_, *timeMs);
    }
    if (counts) ctx_.channels.sensitivities = sensitivitiesFromCounts(*counts);
    showSensitivities();
    calibrate_->setEnabled(true);
}

void TForm19::showSensitivities() {
    for (int i = 0; i < 9; ++i)
        sensitivityLabels_[std::size_t(i)]->setText(
            QString::fromStdString(text::formatPattern(ctx_.channels.sensitivities[std::size_t(i)], "0.000")));
}

void TForm19::showChannelCounts(const ChannelCounts& counts) {
    const ChannelBars bars = channelBars(counts, ctx_.channels.sensitivities);
    view_.fill(Qt::white);
    {
        QPainter p(&view_);
        p.setPen(Qt::black);
        p.drawRect(0, 0, view_.width() - 1, view_.height() - 1);
        for (int c = 1; c <= 9; ++c) {
            const BarRect& b = bars.bars[std::size_t(c - 1)];
            p.fillRect(QRect(QPoint(b.left, b.top), QPoint(b.right - 1, b.bottom - 1)), channelColour(c));
        }
    }
    viewLabel_->setPixmap(QPixmap::fromImage(view_));
    maximum_->setText(QString::fromStdString(bars.maximum));
    QString list = QString::fromStdString(percentList(bars));
    list.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    percents_->setText(list.trimmed());
}

void TForm19::clearView() {
    view_.fill(Qt::white);
    {
        QPainter p(&view_);
        p.setPen(Qt::black);
        p.drawRect(0, 0, view_.width() - 1, view_.height() - 1);
    }
    viewLabel_->setPixmap(QPixmap::fromImage(view_));
}

void TForm19::viewToggled(bool on) {
    ctx_.channels.view = on;
    if (!on) clearView();
}

void TForm19::showEvent(QShowEvent* e) {
    QWidget::showEvent(e);
    showModel();
}

void TForm19::hideEvent(QHideEvent* e) {
    QWidget::hideEvent(e);
    // Minimising is no hiding: the bars go on.
    if (e->spontaneous()) return;
    viewBox_->setChecked(false);
    clearView();
}

} // namespace korvo

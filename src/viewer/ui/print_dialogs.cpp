#include "viewer/ui/print_dialogs.h"

#include "common/dialogs.h"
#include "common/number_text.h"
#include "viewer/print_settings.h"
#include "viewer/workspace.h"

#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>

namespace korvo {

namespace {

const QString kSizeCaption = QStringLiteral("Choose ratio between print-size and sheet-size !");

std::optional<int> ratio(const QString& text) {
    const auto v = text::parseInt(text.toStdString());
    if (!v || *v < 1 || *v > 1000) return std::nullopt;
    return *v;
}

} // namespace

TForm4::TForm4(PrintSettings& settings, Dialogs& dialogs, QWidget* parent)
    : QDialog(parent), settings_(settings), dialogs_(dialogs) {
    setWindowTitle(kSizeCaption);
    setFixedSize(330, 230);
    pages_ = new QTabWidget(this);
    pages_->setGeometry(5, 5, 320, 180);
    auto* size = new QWidget;
    pages_->addTab(size, QStringLiteral("Print Size"));
    pages_->addTab(new QWidget, QStringLiteral("Data Comments"));
    auto* xl = new QLabel(QStringLiteral("X - Ratio (%)"), size);
    xl->setGeometry(10, 15, 100, 20);
    x_ = new QLineEdit(size);
    x_->setGeometry(115, 12, 60, 24);
    auto* yl = new QLabel(QStringLiteral("Y - Ratio (%)"), size);
    yl->setGeometry(10, 50, 100, 20);
    y_ = new QLineEdit(size);
    y_->setGeometry(115, 47, 60, 24);
    horizontal_ = new QRadioButton(QStringLiteral("Horizontal"), size);
    horizontal_->setGeometry(195, 12, 110, 22);
    vertical_ = new QRadioButton(QStringLiteral("Vertical"), size);
    vertical_->setGeometry(195, 47, 110, 22);
    auto* ok = new QPushButton(QStringLiteral("OK"), this);
    ok->setGeometry(160, 195, 75, 26);
    auto* close = new QPushButton(QStringLiteral("Close"), this);
    close->setGeometry(245, 195, 75, 26);
    connect(ok, &QPushButton::clicked, this, [this] {
        if (store()) accept();
    });
    connect(close, &QPushButton::clicked, this, &QDialog::reject);
    connect(pages_, &QTabWidget::currentChanged, this, [this](int page) {
        setWindowTitle(page == 1 ? QStringLiteral("Change data comments") : kSizeCaption);
    });
    fillFromSettings();
}

void TForm4::showEvent(QShowEvent* e) {
    fillFromSettings();
    QDialog::showEvent(e);
}

void TForm4::fillFromSettings() {
    x_->setText(QString::number(settings_.PrintRatioX));
    y_->setText(QString::number(settings_.PrintRatioY));
    (settings_.PrintLandscape == 1 ? horizontal_ : vertical_)->setChecked(true);
}

bool TForm4::store() {
    const auto x = ratio(x_->text());
    const auto y = ratio(y_->text());
    if (!x || !y) {
        dialogs_.error("", "X - Ratio and Y - Ratio need a whole percentage from 1 to 1000.");
        return false;
    }
    settings_.PrintRatioX = *x;
    settings_.PrintRatioY = *y;
    settings_.PrintLandscape = horizontal_->isChecked() ? 1 : 0;
    return true;
}

TForm9::TForm9(QWidget* parent) : QDialog(parent) {
    setWindowTitle(QStringLiteral("Select spectra you want to print !"));
    setFixedSize(260, 330);
    list_ = new QListWidget(this);
    list_->setGeometry(10, 10, 240, 270);
    list_->setSelectionMode(QAbstractItemView::ExtendedSelection);
    print_ = new QPushButton(QStringLiteral("Print"), this);
    print_->setGeometry(10, 292, 110, 28);
    abort_ = new QPushButton(QStringLiteral("Abort"), this);
    abort_->setGeometry(140, 292, 110, 28);
    connect(print_, &QPushButton::clicked, this, &QDialog::accept);
    connect(abort_, &QPushButton::clicked, this, &QDialog::reject);
}

void TForm9::fill(const tvar& ws) {
    list_->clear();
    for (int i = 1; i <= ws.ShownCount; ++i)
        list_->addItem(QString::fromStdString(ws.spectrum(ws.atPosition(i)).ShortName));
}

std::vector<int> TForm9::selectedPositions() const {
    std::vector<int> positions;
    for (int row = 0; row < list_->count(); ++row)
        if (list_->item(row)->isSelected()) positions.push_back(row + 1);
    return positions;
}

} // namespace korvo

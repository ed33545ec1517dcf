#include "viewer/ui/integration_window.h"

#include <QGroupBox>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace korvo {

TForm13::TForm13(QWidget* parent) : QWidget(parent, Qt::Window) {
    setWindowTitle(QStringLiteral("Integration with linear background correction"));
    auto* layout = new QVBoxLayout(this);
    auto* parameters = new QGroupBox(QStringLiteral("Parameters :"), this);
    auto* pl = new QVBoxLayout(parameters);
    memo_ = new QPlainTextEdit(parameters);
    memo_->setReadOnly(true);
    memo_->setFixedHeight(memo_->fontMetrics().lineSpacing() * 5 + 8);
    pl->addWidget(memo_);
    auto* areaBox = new QGroupBox(QStringLiteral("Area :"), this);
    auto* al = new QVBoxLayout(areaBox);
    area_ = new QLabel(areaBox);
    area_->setAutoFillBackground(true);
    QPalette white = area_->palette();
    white.setColor(QPalette::Window, Qt::white);
    area_->setPalette(white);
    area_->setFrameShape(QFrame::Panel);
    area_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    al->addWidget(area_);
    auto* close = new QPushButton(QStringLiteral("Close"), this);
    connect(close, &QPushButton::clicked, this, &QWidget::close);
    layout->addWidget(parameters);
    layout->addWidget(areaBox);
    layout->addWidget(close, 0, Qt::AlignRight);
}

void TForm13::show(const analysis::Integration& result) {
    memo_->clear();
    for (const std::string& line : result.memo) memo_->appendPlainText(QString::fromStdString(line));
    area_->setText(QString::fromStdString(result.areaText));
    QWidget::show();
    raise();
}

QString TForm13::memoText() const {
    return memo_->toPlainText();
}

QString TForm13::areaText() const {
    return area_->text();
}

} // namespace korvo

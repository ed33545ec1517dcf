#include "app/warning_dialog.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace korvo {

TForm11::TForm11(QWidget* parent) : QDialog(parent) {
    setWindowTitle(QStringLiteral("Warning !"));
    setModal(true);
    panel_ = new QLabel(this);
    panel_->setFrameShape(QFrame::Panel);
    panel_->setFrameShadow(QFrame::Sunken);
    panel_->setAlignment(Qt::AlignCenter);
    panel_->setTextFormat(Qt::PlainText); // the message may quote file or INI texts
    panel_->setWordWrap(true);
    panel_->setMinimumSize(260, 60);
    ok_ = new QPushButton(QStringLiteral("OK"), this);
    abort_ = new QPushButton(QStringLiteral("Abort"), this);
    abort_->setDefault(true); // overwriting data must be a deliberate choice

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(ok_);
    buttons->addWidget(abort_);
    buttons->addStretch();
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(panel_);
    layout->addLayout(buttons);

    connect(ok_, &QPushButton::clicked, this, [this] {
        confirmed_ = true;
        accept();
    });
    connect(abort_, &QPushButton::clicked, this, &QDialog::reject);
}

void TForm11::setMessage(const QString& text) {
    QString shown = text;
    shown.replace('\r', '\n');
    panel_->setText(shown);
}

QString TForm11::message() const {
    return panel_->text();
}

bool TForm11::confirm() {
    exec();
    return confirmed_;
}

void TForm11::showEvent(QShowEvent* e) {
    // Every showing asks anew: an earlier "OK" must not confirm a later question.
    confirmed_ = false;
    QDialog::showEvent(e);
}

} // namespace korvo

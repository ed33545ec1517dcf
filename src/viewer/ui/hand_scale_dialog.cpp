#include "viewer/ui/hand_scale_dialog.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>

namespace korvo {

namespace {

QLineEdit* edit(QWidget* parent, int x, int y, int w = 90) {
    auto* e = new QLineEdit(parent);
    e->setGeometry(x, y, w, 22);
    return e;
}

QPushButton* push(QWidget* parent, const char* caption, int x, int y, int w = 80) {
    auto* b = new QPushButton(QString::fromUtf8(caption), parent);
    b->setGeometry(x, y, w, 24);
    b->setAutoDefault(false);
    return b;
}

void label(QWidget* parent, const char* caption, int x, int y, int w = 70) {
    auto* l = new QLabel(QString::fromUtf8(caption), parent);
    l->setGeometry(x, y, w, 20);
}

QGroupBox* group(QWidget* parent, const char* caption, int x, int y, int w, int h) {
    auto* g = new QGroupBox(QString::fromUtf8(caption), parent);
    g->setGeometry(x, y, w, h);
    return g;
}

} // namespace

TForm7::TForm7(QWidget* parent) : QDialog(parent) {
    setWindowTitle(QStringLiteral("HandScale"));
    setFixedSize(560, 330);
    // The range as a cross: top, left, right, bottom of the plot.
    yMax_ = edit(this, 110, 10);
    xMin_ = edit(this, 10, 50);
    xMax_ = edit(this, 210, 50);
    yMin_ = edit(this, 110, 90);
    xScale_ = new QCheckBox(QStringLiteral("X - Scale"), this);
    xScale_->setGeometry(10, 125, 90, 20);
    yScale_ = new QCheckBox(QStringLiteral("Y - Scale"), this);
    yScale_->setGeometry(110, 125, 90, 20);

    QGroupBox* scope = group(this, "Scale :", 10, 150, 140, 70);
    all_ = new QRadioButton(QStringLiteral("All Spectra"), scope);
    all_->setGeometry(8, 20, 125, 20);
    marked_ = new QRadioButton(QStringLiteral("Active Spectra"), scope);
    marked_->setGeometry(8, 42, 125, 20);
    QGroupBox* kind = group(this, "Kind of scaling :", 160, 150, 150, 70);
    absolute_ = new QRadioButton(QStringLiteral("absolute values"), kind);
    absolute_->setGeometry(8, 20, 135, 20);
    relative_ = new QRadioButton(QStringLiteral("relative values"), kind);
    relative_->setGeometry(8, 42, 135, 20);
    absolute_->setChecked(true);

    ok_ = push(this, "OK", 10, 232);
    abort_ = push(this, "Abort", 95, 232);
    reset_ = push(this, "Reset", 10, 262);
    maximize_ = push(this, "Maximize", 95, 262);

    QGroupBox* mult = group(this, "Multiply Y - Values", 320, 10, 230, 60);
    label(mult, "Factor :", 8, 25, 60);
    factor_ = edit(mult, 65, 24, 70);
    multiply_ = push(mult, "Multiply", 142, 23, 80);

    QGroupBox* shifting = group(this, "Shifting :", 320, 75, 230, 85);
    label(shifting, "y - shift :", 8, 22);
    yShift_ = edit(shifting, 75, 21, 60);
    label(shifting, "x - shift :", 8, 50);
    xShift_ = edit(shifting, 75, 49, 60);
    shifting_ = push(shifting, "Shifting", 142, 35, 80);

    QGroupBox* mixBox = group(this, "Scienta-Mix", 320, 165, 230, 75);
    label(mixBox, "Slices:", 8, 20, 55);
    mixSlices_ = edit(mixBox, 65, 19, 50);
    mixSlices_->setText(QStringLiteral("1"));
    label(mixBox, "Overlap:", 8, 46, 55);
    mixOverlap_ = edit(mixBox, 65, 45, 50);
    mixOverlap_->setText(QStringLiteral("1"));
    mix_ = push(mixBox, "Do it !", 142, 30, 80);
    // The group of Slices-Sum only closes the dialog; "Slices-Sum" of "Experts" sums groups of 30.
    QGroupBox* sumBox = group(this, "Slices-Sum", 320, 245, 230, 55);
    label(sumBox, "Slices:", 8, 22, 55);
    edit(sumBox, 65, 21, 50)->setText(QStringLiteral("30"));
    sliceSum_ = push(sumBox, "Do it !", 142, 20, 80);

    connect(ok_, &QPushButton::clicked, this, [this] { finish(HandScaleAction::Ok); });
    connect(reset_, &QPushButton::clicked, this, [this] { finish(HandScaleAction::Reset); });
    connect(maximize_, &QPushButton::clicked, this, [this] { finish(HandScaleAction::Maximize); });
    connect(multiply_, &QPushButton::clicked, this, [this] { finish(HandScaleAction::Multiply); });
    connect(shifting_, &QPushButton::clicked, this, [this] { finish(HandScaleAction::Shifting); });
    connect(abort_, &QPushButton::clicked, this, [this] {
        action_.reset();
        reject();
    });
    connect(mix_, &QPushButton::clicked, this, [this] {
        action_.reset();
        mixRequested_ = true;
        accept();
    });
    connect(sliceSum_, &QPushButton::clicked, this, [this] {
        action_.reset();
        accept();
    });
}

QPushButton* TForm7::button(HandScaleAction a) const {
    switch (a) {
    case HandScaleAction::Ok:
        return ok_;
    case HandScaleAction::Reset:
        return reset_;
    case HandScaleAction::Maximize:
        return maximize_;
    case HandScaleAction::Multiply:
        return multiply_;
    case HandScaleAction::Shifting:
        return shifting_;
    }
    return ok_;
}

void TForm7::finish(HandScaleAction a) {
    action_ = a;
    accept();
}

void TForm7::setTexts(const HandScaleTexts& t) {
    action_.reset();
    mixRequested_ = false;
    yMax_->setText(QString::fromStdString(t.yMax));
    xMin_->setText(QString::fromStdString(t.xMin));
    xMax_->setText(QString::fromStdString(t.xMax));
    yMin_->setText(QString::fromStdString(t.yMin));
    factor_->setText(QString::fromStdString(t.factor));
    yShift_->setText(QString::fromStdString(t.yShift));
    xShift_->setText(QString::fromStdString(t.xShift));
    xScale_->setChecked(t.xScale);
    yScale_->setChecked(t.yScale);
    (t.allSpectra ? all_ : marked_)->setChecked(true);
    (t.relative ? relative_ : absolute_)->setChecked(true);
}

HandScaleTexts TForm7::texts() const {
    HandScaleTexts t;
    t.yMax = yMax_->text().toStdString();
    t.xMin = xMin_->text().toStdString();
    t.xMax = xMax_->text().toStdString();
    t.yMin = yMin_->text().toStdString();
    t.factor = factor_->text().toStdString();
    t.yShift = yShift_->text().toStdString();
    t.xShift = xShift_->text().toStdString();
    t.xScale = xScale_->isChecked();
    t.yScale = yScale_->isChecked();
    t.allSpectra = all_->isChecked();
    t.relative = relative_->isChecked();
    return t;
}

} // namespace korvo

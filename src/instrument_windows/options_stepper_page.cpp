#include "instrument_windows/options_stepper_page.h"

#include "instrument_windows/options_widgets.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace korvo {

StepperPage::StepperPage(ParallelStepperAxes& axes, QWidget* parent) : QWidget(parent), axes_(axes) {
    auto* column = new QVBoxLayout(this);
    a_ = createAxis("Manipulator", axes_.a, true);
    b_ = createAxis("Sample", axes_.b, false);
    for (const AxisControls* c : {&a_, &b_}) {
        column->addWidget(c->enable);
        column->addWidget(c->panel);
    }
    column->addStretch();
    axes_.changed = [this] { refresh(); };
    refresh();
}

StepperPage::~StepperPage() {
    axes_.changed = nullptr;
}

StepperPage::AxisControls StepperPage::createAxis(const char* caption, StepperAxisPage& page, bool axisA) {
    AxisControls c;
    c.enable = new QCheckBox(QStringLiteral("Enable %1").arg(QString::fromLatin1(caption)), this);
    QObject::connect(c.enable, &QCheckBox::toggled, this, [this, &page](bool on) {
        page.enabled = on;
        refresh();
    });
    c.panel = new QGroupBox(QString::fromLatin1(caption), this);
    auto* grid = new QGridLayout(c.panel);
    c.position = boundEdit(page.position, c.panel);
    c.speed = boundEdit(page.speed, c.panel);
    // The move takes its target from the position box, as the script's moves do.
    c.move = actionButton("Move to Angle:", c.panel, [this, &page, axisA] {
        if (axisA)
            axes_.MoveAxisA(page.position);
        else
            axes_.MoveAxisB(page.position);
    });
    c.define = actionButton("Define Position !", c.panel, [this, axisA] {
        if (axisA)
            axes_.DefinePositionA();
        else
            axes_.DefinePositionB();
    });
    c.stop = actionButton("Stop", c.panel, [this] { axes_.stop(); });
    c.position->setMaximumWidth(120);
    c.speed->setMaximumWidth(60);
    grid->addWidget(c.move, 0, 0);
    grid->addWidget(c.position, 0, 1);
    grid->addWidget(new QLabel(QStringLiteral("deg"), c.panel), 0, 2);
    grid->addWidget(c.stop, 0, 3);
    grid->addWidget(c.define, 1, 0);
    grid->addWidget(new QLabel(QStringLiteral("Speed (1..10) :"), c.panel), 2, 0);
    grid->addWidget(c.speed, 2, 1);
    grid->setColumnStretch(4, 1);
    keepPlaceWhenHidden(c.panel);
    return c;
}

void StepperPage::showAxis(const AxisControls& c, const StepperAxisPage& page) {
    showChecked(c.enable, page.enabled);
    c.panel->setVisible(page.enabled);
    showText(c.position, page.position);
    showText(c.speed, page.speed);
    c.move->setEnabled(page.moveEnabled);
    c.define->setEnabled(page.defineEnabled);
    paintBase(c.position, page.moving ? QColor(Qt::yellow) : c.speed->palette().color(QPalette::Base));
}

void StepperPage::refresh() {
    showAxis(a_, axes_.a);
    showAxis(b_, axes_.b);
}

} // namespace korvo

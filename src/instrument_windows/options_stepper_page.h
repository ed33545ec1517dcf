#pragma once
// The "Manipulator / Sample" page of the options window: the two stepper axes on the parallel port,
// each in a panel that its "Enable" box shows, with position and speed boxes, "Define Position !",
// "Move to Angle:" and a stop button. Everything shown comes from the axes' StepperAxisPage.
#include "instruments/stepper_axes/parallel_stepper_axes.h"

#include <QWidget>

class QCheckBox;
class QGroupBox;
class QLineEdit;
class QPushButton;

namespace korvo {

class StepperPage : public QWidget {
public:
    StepperPage(ParallelStepperAxes& axes, QWidget* parent);
    ~StepperPage() override;

    void refresh();

    struct AxisControls {
        QCheckBox* enable = nullptr;
        QGroupBox* panel = nullptr;
        QLineEdit* position = nullptr;
        QLineEdit* speed = nullptr;
        QPushButton* define = nullptr;
        QPushButton* move = nullptr;
        QPushButton* stop = nullptr;
    };
    const AxisControls& axisA() const { return a_; }
    const AxisControls& axisB() const { return b_; }

private:
    AxisControls createAxis(const char* caption, StepperAxisPage& page, bool axisA);
    void showAxis(const AxisControls& c, const StepperAxisPage& page);

    ParallelStepperAxes& axes_;
    AxisControls a_, b_;
};

} // namespace korvo

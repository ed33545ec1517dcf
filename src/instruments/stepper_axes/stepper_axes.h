#pragma once
// The two stepper axes on the parallel port as a script line uses them: move axis A or B to the
// angle in its position box.
#include <string>

namespace korvo {

class StepperAxes {
public:
    virtual ~StepperAxes() = default;
    virtual void MoveAxisA(const std::string& targetAngle) = 0;
    virtual void MoveAxisB(const std::string& targetAngle) = 0;
};

// No parallel port granted: the axes stay where they are.
class UnconnectedStepperAxes final : public StepperAxes {
public:
    void MoveAxisA(const std::string&) override {}
    void MoveAxisB(const std::string&) override {}
};

} // namespace korvo

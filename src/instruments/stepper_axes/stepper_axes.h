#pragma once
// The two stepper axes on the parallel port as a script line uses them: move axis A or B to the
// angle in its position box. A move returns whether the axis now stands at the target: a script line
// whose axis did not get there is not measured.
#include <string>

namespace korvo {

class StepperAxes {
public:
    virtual ~StepperAxes() = default;
    virtual bool MoveAxisA(const std::string& targetAngle) = 0;
    virtual bool MoveAxisB(const std::string& targetAngle) = 0;
};

// No parallel port granted: the axes stay where they are, so no move gets anywhere.
class UnconnectedStepperAxes final : public StepperAxes {
public:
    bool MoveAxisA(const std::string&) override { return false; }
    bool MoveAxisB(const std::string&) override { return false; }
};

} // namespace korvo

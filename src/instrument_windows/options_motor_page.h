#pragma once
// The "Main Motor" page of the options window: the servo drive's connection controls, the position
// fields with their moves, the automatic move, the motor buttons and, behind the test switch, the
// "Motor Comunication" group. Everything shown comes from the link's MotorDrivePage.
#include "instruments/motor_drive/motor_drive_link.h"
#include "instrument_windows/options_widgets.h"

#include <QWidget>

class QCheckBox;
class QGroupBox;
class QLineEdit;
class QPushButton;

namespace korvo {

class MotorPage : public QWidget {
public:
    MotorPage(MotorDriveLink& link, Dialogs& dialogs, const ComPortPaths& paths, QWidget* parent);
    ~MotorPage() override;

    void refresh();
    void connectClicked();
    void disconnectClicked();

    ComConnectionBox* connection() const { return connection_; }
    QPushButton* openButton() const { return open_; }
    QLineEdit* angleEdit() const { return angle_; }
    QLineEdit* incrementsEdit() const { return increments_; }
    QLineEdit* hexEdit() const { return hex_; }
    QLineEdit* speedEdit() const { return speed_; }
    QLineEdit* timeoutEdit() const { return timeout_; }
    QPushButton* moveToAngleButton() const { return moveToAngle_; }
    QPushButton* autoMoveButton() const { return autoMove_; }
    QWidget* motorPanel() const { return motorPanel_; }
    QCheckBox* stepByStepBox() const { return stepByStep_; }
    QCheckBox* enableTestsBox() const { return enableTests_; }
    QGroupBox* communicationGroup() const { return communication_; }
    QPushButton* randomMovesButton() const { return random_; }
    TerminalBox* outputBox() const { return output_; }
    TerminalBox* inputBox() const { return input_; }

private:
    void createPositionGroup(QWidget* parent);
    void createMotorPanel();
    void createCommunicationGroup();

    MotorDriveLink& link_;
    Dialogs& dialogs_;
    ComConnectionBox* connection_ = nullptr;
    QPushButton* open_ = nullptr;
    QWidget* position_ = nullptr;
    QLineEdit* angle_ = nullptr;
    QLineEdit* increments_ = nullptr;
    QLineEdit* hex_ = nullptr;
    QLineEdit* speed_ = nullptr;
    QPushButton* moveToAngle_ = nullptr;
    QPushButton* autoMove_ = nullptr;
    QCheckBox* stepByStep_ = nullptr;
    QWidget* motorPanel_ = nullptr;
    QCheckBox* enableTests_ = nullptr;
    QGroupBox* communication_ = nullptr;
    QLineEdit* timeout_ = nullptr;
    QPushButton* random_ = nullptr;
    TerminalBox* output_ = nullptr;
    TerminalBox* input_ = nullptr;
};

} // namespace korvo

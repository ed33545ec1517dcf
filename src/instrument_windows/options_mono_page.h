#pragma once
// The "Monochr." page of the options window: the monochromator link's connection controls, its
// operations as buttons, the motion panel and, behind the test switch, time-outs, terminal boxes
// and the built-in simulator. Everything shown comes from the link's MonochromatorPage.
#include "instruments/monochromator/monochromator_link.h"
#include "instrument_windows/options_widgets.h"

#include <QWidget>

class QCheckBox;
class QGroupBox;
class QLineEdit;
class QPushButton;

namespace korvo {

class MonoPage : public QWidget {
public:
    MonoPage(MonochromatorLink& link, Dialogs& dialogs, const ComPortPaths& paths, QWidget* parent);
    ~MonoPage() override;

    // The page model -> the controls.
    void refresh();

    void connectClicked();
    void disconnectClicked();

    ComConnectionBox* connection() const { return connection_; }
    QPushButton* openButton() const { return open_; }
    QPushButton* closeButton() const { return close_; }
    QPushButton* getPositionButton() const { return getPosition_; }
    QPushButton* getStatusButton() const { return getStatus_; }
    QPushButton* goWavelengthButton() const { return goWavelength_; }
    QPushButton* goEnergyButton() const { return goEnergy_; }
    QPushButton* stopButton() const { return stop_; }
    QLineEdit* wavelengthEdit() const { return wavelength_; }
    QLineEdit* energyEdit() const { return energy_; }
    QLineEdit* zeroOrderEdit() const { return zeroOrder_; }
    QLineEdit* openTimeoutEdit() const { return openTimeout_; }
    QLineEdit* timeoutEdit() const { return timeout_; }
    QLineEdit* speedEdit() const { return speed_; }
    QWidget* motionPanel() const { return motion_; }
    QGroupBox* testGroup() const { return tests_; }
    QCheckBox* enableTestsBox() const { return enableTests_; }
    QCheckBox* simulationBox() const { return simulation_; }
    TerminalBox* outputBox() const { return output_; }
    TerminalBox* inputBox() const { return input_; }
    TerminalBox* simulatorBox() const { return simOut_; }

private:
    void createTestGroup();

    MonochromatorLink& link_;
    Dialogs& dialogs_;
    ComConnectionBox* connection_ = nullptr;
    QPushButton* open_ = nullptr;
    QPushButton* close_ = nullptr;
    QPushButton* getPosition_ = nullptr;
    QPushButton* getStatus_ = nullptr;
    QWidget* motion_ = nullptr;
    QLineEdit* wavelength_ = nullptr;
    QLineEdit* energy_ = nullptr;
    QPushButton* goWavelength_ = nullptr;
    QPushButton* goEnergy_ = nullptr;
    QPushButton* stop_ = nullptr;
    QLineEdit* zeroOrder_ = nullptr;
    QCheckBox* enableTests_ = nullptr;
    QGroupBox* tests_ = nullptr;
    QLineEdit* openTimeout_ = nullptr;
    QLineEdit* timeout_ = nullptr;
    QLineEdit* speed_ = nullptr;
    QCheckBox* simulation_ = nullptr;
    TerminalBox* output_ = nullptr;
    TerminalBox* input_ = nullptr;
    TerminalBox* simOut_ = nullptr;
};

} // namespace korvo

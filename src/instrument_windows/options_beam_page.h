#pragma once
// The "Beam" page of the options window: the ring-current poll with its enable box, "Read Single
// Value" and the label, the marker, address and refresh boxes and "Overwrite" behind the test switch,
// and the beam-loss pause of the run. The page owns the poll's timers.
#include "acquisition/context.h"
#include "instruments/ring_current/ring_poll.h"

#include <QWidget>
#include <functional>

class QCheckBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QTimer;

namespace korvo {

class BeamPage : public QWidget {
public:
    BeamPage(RingPoll& poll, AcquisitionOptions& options, QWidget* parent);
    ~BeamPage() override;

    // Called after the labels have changed: the main window shows the poll's own label.
    std::function<void(const RingDisplay&)> displayChanged;

    void refresh();

    QCheckBox* enableBox() const { return enable_; }
    QPushButton* readButton() const { return read_; }
    QLabel* currentLabel() const { return current_; }
    QCheckBox* enableTestsBox() const { return enableTests_; }
    QGroupBox* testPanel() const { return tests_; }
    QLineEdit* startMarkerEdit() const { return start_; }
    QLineEdit* endMarkerEdit() const { return end_; }
    QLineEdit* refreshEdit() const { return refresh_; }
    QLineEdit* addressEdit() const { return address_; }
    QCheckBox* overwriteBox() const { return overwrite_; }
    QCheckBox* beamPauseBox() const { return pause_; }
    QLineEdit* thresholdEdit() const { return threshold_; }
    QLineEdit* recoveryEdit() const { return recovery_; }
    QTimer* timer() const { return timer_; }
    QTimer* stepTimer() const { return stepTimer_; }

private:
    void createTestPanel();
    void createPauseGroup(QWidget* parent);
    // The refresh timer follows the poll: on with its interval while it is enabled, off otherwise;
    // the step timer runs while a read is in progress.
    void armTimer();
    void refreshTimeEdited();
    void thresholdEdited();
    void recoveryEdited();

    RingPoll& poll_;
    AcquisitionOptions& options_;
    QTimer* timer_ = nullptr;
    QTimer* stepTimer_ = nullptr;
    QCheckBox* enable_ = nullptr;
    QPushButton* read_ = nullptr;
    QLabel* current_ = nullptr;
    QCheckBox* enableTests_ = nullptr;
    QGroupBox* tests_ = nullptr;
    QLineEdit* start_ = nullptr;
    QLineEdit* end_ = nullptr;
    QLineEdit* refresh_ = nullptr;
    QLineEdit* address_ = nullptr;
    QCheckBox* overwrite_ = nullptr;
    QGroupBox* pauseGroup_ = nullptr;
    QCheckBox* pause_ = nullptr;
    QLineEdit* threshold_ = nullptr;
    QLineEdit* recovery_ = nullptr;
};

} // namespace korvo

#pragma once
// A "Keithley" page of the options window (there are two): the electrometer link's connection
// controls, measuring mode, baud rate, time-out and scaling, "Read Data:" with its result, the
// set-up instructions shown while connected and, behind the test switch, the "Keithley
// Comunication" group. Everything shown comes from the link's ElectrometerPage.
#include "acquisition/context.h"
#include "instruments/electrometer/electrometer_link.h"
#include "instrument_windows/options_widgets.h"

#include <QWidget>
#include <array>

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;

namespace korvo {

class KeithleyPage : public QWidget {
public:
    // Electrometer 1's page also carries the "overide" box, and its scaling box is the one the
    // measurement file records: `first` says which page this is.
    KeithleyPage(ElectrometerLink& link, AcquisitionOptions& options, bool first,
                 const ComPortPaths& paths, QWidget* parent);
    ~KeithleyPage() override;

    void refresh();
    void connectClicked();
    void disconnectClicked();

    ComConnectionBox* connection() const { return connection_; }
    QRadioButton* modeButton(int index) const { return modes_.at(std::size_t(index)); }
    QComboBox* baudList() const { return baud_; }
    QLineEdit* timeoutEdit() const { return timeout_; }
    QLineEdit* scalingEdit() const { return scaling_; }
    QPushButton* readButton() const { return read_; }
    QLabel* resultLabel() const { return result_; }
    QWidget* readingPanel() const { return reading_; }
    QGroupBox* installPanel() const { return install_; }
    QCheckBox* overrideBox() const { return override_; } // null on electrometer 2's page
    QCheckBox* enableTestsBox() const { return enableTests_; }
    QGroupBox* communicationGroup() const { return communication_; }
    TerminalBox* outputBox() const { return output_; }
    TerminalBox* inputBox() const { return input_; }

private:
    void createCommunicationGroup();

    ElectrometerLink& link_;
    AcquisitionOptions& options_;
    bool first_;
    ComConnectionBox* connection_ = nullptr;
    std::array<QRadioButton*, kKeithleyModes.size()> modes_{};
    QComboBox* baud_ = nullptr;
    QLineEdit* timeout_ = nullptr;
    QLineEdit* scaling_ = nullptr;
    QWidget* reading_ = nullptr;
    QPushButton* read_ = nullptr;
    QLabel* result_ = nullptr;
    QGroupBox* install_ = nullptr;
    QLabel* installTitle_ = nullptr;
    QLabel* installLines_ = nullptr;
    QCheckBox* override_ = nullptr;
    QCheckBox* enableTests_ = nullptr;
    QGroupBox* communication_ = nullptr;
    TerminalBox* output_ = nullptr;
    TerminalBox* input_ = nullptr;
};

} // namespace korvo

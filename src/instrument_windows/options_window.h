#pragma once
// The options window "Options" (TForm15): the set-up of the station in nine pages. It hosts the
// instrument links of the beamline (monochromator, main motor, the manipulator's stepper axes, two
// Keithley electrometers, the ring-current poll), the save directory, the analyser tests and the
// information page. The links keep their pages as plain data and their connections while the window
// is closed; the window only shows those pages and calls the links' operations. It is also where
// the analyser routines show their control-register lamps and voltage read-outs.
#include "acquisition/beamline.h"
#include "acquisition/instrument_display.h"
#include "acquisition/station.h"

#include <QWidget>
#include <functional>
#include <string>

class QPushButton;
class QTabWidget;

namespace korvo {

class AnalyserTestsPage;
class BeamPage;
class InfoPage;
class KeithleyPage;
class MonoPage;
class MotorPage;
class SavingPage;
class StepperPage;

class TForm15 : public QWidget, public InstrumentDisplay {
    Q_OBJECT
public:
    enum Page { Saving, Monochromator, MainMotor, Manipulator, Keithley1, Keithley2, Beam, AnalyserTests, Info };
    static constexpr int kPages = 9;

    // Everything handed in outlives the window: `port` is the analyser card's back end (the port
    // tests use it), `paths` the COM port devices the beamline's links were built with, `iniPath`
    // the settings file the information page names.
    TForm15(Station& station, Beamline& beamline, PortIo& port, const ComPortPaths& paths,
            const std::string& iniPath, QWidget* parent = nullptr);
    ~TForm15() override;

    // "Enable all tests" of the analyser page switched (the main window rebuilds its kind items).
    std::function<void(bool on)> analyserTestsChanged;
    // The ring-current labels changed (the main window's label follows).
    std::function<void(const RingDisplay&)> ringDisplayChanged;
    // "Reset" of the colour group set the live plot's colour.
    std::function<void()> plotColourReset;

    // InstrumentDisplay: the window on a page, the lamps, the read-outs. The channel bars belong to
    // the multichanneltron setup.
    void showOptionsPage(int page) override;
    void showControlLamps(std::uint8_t controlByte) override;
    void showAnalyserReadouts(const AnalyserReadouts& readouts) override;
    void showChannelCounts(const ChannelCounts&) override {}

    // ">": the next page, the first after the last.
    void nextPageClicked();
    // Options -> Setup copies the run's time correction into the hidden time-correction box.
    void showTimeCorrection();
    // What the beam page's label reads (the e-mail alert's subject).
    std::string ringCurrentLabel() const;
    // The analyser card back end the program runs on.
    void setCardInUse(const std::string& card);
    // The options that other windows or the settings reader may have changed -> the controls.
    void refresh();

    QTabWidget* notebook() const { return notebook_; }
    QPushButton* nextButton() const { return next_; }
    SavingPage* savingPage() const { return saving_; }
    MonoPage* monoPage() const { return mono_; }
    MotorPage* motorPage() const { return motor_; }
    StepperPage* stepperPage() const { return steppers_; }
    KeithleyPage* keithleyPage(int n) const { return n == 1 ? keithley1_ : keithley2_; }
    BeamPage* beamPage() const { return beam_; }
    AnalyserTestsPage* testsPage() const { return tests_; }
    InfoPage* infoPage() const { return info_; }

protected:
    void showEvent(QShowEvent* e) override;

private:
    Station& station_;
    Beamline& beamline_;
    bool placed_ = false;
    QTabWidget* notebook_ = nullptr;
    QPushButton* next_ = nullptr;
    SavingPage* saving_ = nullptr;
    MonoPage* mono_ = nullptr;
    MotorPage* motor_ = nullptr;
    StepperPage* steppers_ = nullptr;
    KeithleyPage* keithley1_ = nullptr;
    KeithleyPage* keithley2_ = nullptr;
    BeamPage* beam_ = nullptr;
    AnalyserTestsPage* tests_ = nullptr;
    InfoPage* info_ = nullptr;
};

} // namespace korvo

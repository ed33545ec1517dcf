#pragma once
// The "Analy. Tests" page of the options window: the test switch and the analyser tests switch, the
// switching points of the energy ranges, the port tests on the card's back end, the control-register
// lamps and voltage read-outs the analyser routines show, the lens table, and the choice of the card
// back end for the next start.
#include "acquisition/instrument_display.h"
#include "acquisition/station.h"
#include "common/port_io.h"

#include <QWidget>
#include <array>
#include <functional>
#include <string>

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace korvo {

class AnalyserTestsPage : public QWidget {
public:
    // `port` is the analyser card's back end, where the port tests go; it must outlive the page.
    AnalyserTestsPage(Station& station, PortIo& port, QWidget* parent);

    // "Enable all tests" was switched: the main window offers "CRR" and shows "Zufall" then.
    std::function<void(bool on)> testsEnabledChanged;

    // The options -> the controls (the test switch may have been ticked at program start).
    void refresh();
    void showLamps(std::uint8_t controlByte);
    void showReadouts(const AnalyserReadouts& readouts);
    // The back end the program runs on now (the command line may have chosen another than the INI).
    void setCardInUse(const std::string& card);

    void setValueClicked();
    void setByteClicked();
    void readByteClicked();
    void setWordClicked();
    void readWordClicked();

    QCheckBox* testSwitch() const { return test_; }
    QCheckBox* enableTestsBox() const { return enableTests_; }
    QWidget* testPanel() const { return panel_; }
    QLineEdit* switchPointEdit(int i) const { return points_.at(std::size_t(i)); }
    QPushButton* setValueButton() const { return setValue_; }
    QLineEdit* addressEdit() const { return address_; }
    QLineEdit* byteEdit() const { return byte_; }
    QLineEdit* lowAddressEdit() const { return low_; }
    QLineEdit* highAddressEdit() const { return high_; }
    QLineEdit* wordEdit() const { return word_; }
    QLabel* wordDecimalLabel() const { return wordDecimal_; }
    QLabel* lamp(int bit) const { return lamps_.at(std::size_t(bit)); }
    QLabel* readoutLabel(int i) const { return readouts_.at(std::size_t(i)); }
    QComboBox* lensList() const { return lens_; }
    QComboBox* cardList() const { return card_; }
    QLabel* cardInUseLabel() const { return cardInUse_; }

private:
    void createSwitchPoints(QWidget* parent);
    std::string& switchPointOption(std::size_t i);
    bool switchPointAcceptable(std::size_t i, const std::string& typed) const;
    void refuseSwitchPoint(std::size_t i, const std::string& typed);
    void markSwitchPoint(std::size_t i, bool inUse);
    void switchPointEdited(std::size_t i);
    void switchPointFinished(std::size_t i);
    void createPortTests(QWidget* parent);
    QWidget* createDisplays();
    // A port address or value typed in hexadecimal; nothing when it is out of [0, max] (told).
    std::optional<std::uint16_t> hexValue(QLineEdit* edit, int max, const char* what);

    Station& station_;
    AcquisitionOptions& options_;
    PortIo& port_;
    QCheckBox* test_ = nullptr;
    QCheckBox* enableTests_ = nullptr;
    QWidget* panel_ = nullptr;
    std::array<QLineEdit*, 3> points_{};
    std::array<std::string, 3> accepted_; // in use when the box was last left or "Set Value !" pressed
    QPushButton* setValue_ = nullptr;
    QLineEdit* address_ = nullptr;
    QLineEdit* byte_ = nullptr;
    QLineEdit* low_ = nullptr;
    QLineEdit* high_ = nullptr;
    QLineEdit* word_ = nullptr;
    QLabel* wordDecimal_ = nullptr;
    std::array<QLabel*, 8> lamps_{}; // index = bit
    std::array<QLabel*, 8> readouts_{};
    QComboBox* lens_ = nullptr;
    QComboBox* card_ = nullptr;
    QLabel* cardInUse_ = nullptr;
};

} // namespace korvo

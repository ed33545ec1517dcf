#pragma once
// The "Multichanneltron Setup" window: the channel-shift table behind an access code, the nine
// channeltron switches with their colours, and the sensitivity calibration with its live bars. The
// table, the switches and the view flag live in the station's context, where the run reads them;
// the window shows and edits them. It is also where the analyser routines draw each counted
// point's channel bars while "View" is ticked.
#include "acquisition/instrument_display.h"
#include "acquisition/station.h"

#include <QImage>
#include <QWidget>
#include <array>
#include <string>

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QTableWidget;
class QTableWidgetItem;

namespace korvo {

// The access code that unlocks the table, in the three spellings that have always been accepted.
bool unlocksChannelTable(const QString& text);

class TForm19 : public QWidget, public InstrumentDisplay {
    Q_OBJECT
public:
    // `station` outlives the window; "Save" writes the table into the INI file at `iniPath`.
    TForm19(Station& station, std::string iniPath, QWidget* parent = nullptr);

    // The channel bars are this window's; the lamps, read-outs and pages belong to the options
    // window, so a display that routes the analyser routines' calls sends only the bars here.
    void showOptionsPage(int) override {}
    void showControlLamps(std::uint8_t) override {}
    void showAnalyserReadouts(const AnalyserReadouts&) override {}
    void showChannelCounts(const ChannelCounts& counts) override;

    // ---- the window's commands, as its controls call them
    void Edit1Change();
    void SetDefaultClick();
    void SaveClick();
    void CalibrateSensitivity();
    // The switches, the view flag and the table may change outside the window (the main window
    // switches the view off in the Keithley mode): the controls take them over again.
    void showModel();

    // Channeltrons 1..9 at index 0..8; they scale only the bars of the view.
    const std::array<double, 9>& sensitivities() const { return ctx_.channels.sensitivities; }
    bool unlocked() const { return unlocked_; }
    // What the view box shows now.
    const QImage& viewImage() const { return view_; }

    QLineEdit* accessEdit() const { return edit1_; }
    QLabel* passwordLabel() const { return passwordLabel_; }
    QPushButton* setDefaultButton() const { return setDefault_; }
    QPushButton* saveButton() const { return save_; }
    QPushButton* calibrateButton() const { return calibrate_; }
    QLineEdit* calibrationTimeEdit() const { return edit2_; }
    QTableWidget* grid() const { return grid_; }
    QCheckBox* channelSwitch(int channeltron) const { return switches_.at(std::size_t(channeltron - 1)); }
    QCheckBox* viewBox() const { return viewBox_; }
    QLabel* maximumLabel() const { return maximum_; }
    QLabel* percentLabel() const { return percents_; }
    QLabel* sensitivityLabel(int channeltron) const {
        return sensitivityLabels_.at(std::size_t(channeltron - 1));
    }
    QLabel* legendStrip() const { return legend_; }

protected:
    void showEvent(QShowEvent* e) override;
    // Hiding the window (closing it hides it) ends the live bars.
    void hideEvent(QHideEvent* e) override;

private:
    void createGrid();
    void setColumnWidths();
    void createAccessBox();
    void createChannelBox();
    void createCalibrationBox();
    void showTable();
    void gridEdited(QTableWidgetItem* item);
    void viewToggled(bool on);
    void clearView();
    void showSensitivities();

    Station& station_;
    AcquisitionContext& ctx_;
    std::string iniPath_;
    bool unlocked_ = false;
    bool showingTable_ = false; // the grid is being filled from the table, not edited
    QImage view_;

    QTableWidget* grid_ = nullptr;
    QLabel* passwordLabel_ = nullptr;
    QLineEdit* edit1_ = nullptr;
    QPushButton* setDefault_ = nullptr;
    QPushButton* save_ = nullptr;
    std::array<QCheckBox*, 9> switches_{};
    std::array<QLabel*, 9> sensitivityLabels_{};
    QLabel* legend_ = nullptr;
    QPushButton* calibrate_ = nullptr;
    QLineEdit* edit2_ = nullptr;
    QCheckBox* viewBox_ = nullptr;
    QLabel* viewLabel_ = nullptr;
    QLabel* maximum_ = nullptr;
    QLabel* percents_ = nullptr;
};

} // namespace korvo

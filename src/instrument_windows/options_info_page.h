#pragma once
// The "Info" page of the options window: read-only texts about the program and where it keeps its
// settings, and two groups that only the analyser tests switch shows: the time correction of the
// time-left estimate ("Change") and the live plot's colour ("Reset").
#include "acquisition/station.h"

#include <QWidget>
#include <functional>

class QGroupBox;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;

namespace korvo {

// The live plot's colour that "Reset" brings back: red 221, green 184, blue 147 (0x00BBGGRR).
inline constexpr std::int32_t kResetPlotColour = 0x93B8DD;

class InfoPage : public QWidget {
public:
    InfoPage(Station& station, const std::string& iniPath, QWidget* parent);

    // "Change" and "Reset" close the window; "Reset" also has the live plot drawn again.
    std::function<void()> closeWindow;
    std::function<void()> plotColourReset;

    void setHiddenGroupsVisible(bool visible);
    // The time-correction box from the run's time correction.
    void showTimeCorrection();
    void changeClicked();
    void resetClicked();

    QPlainTextEdit* infoText() const { return text_; }
    QGroupBox* timeCorrectionGroup() const { return timeGroup_; }
    QGroupBox* colourGroup() const { return colourGroup_; }
    QLineEdit* timeCorrectionEdit() const { return time_; }

private:
    Station& station_;
    QPlainTextEdit* text_ = nullptr;
    QGroupBox* timeGroup_ = nullptr;
    QLineEdit* time_ = nullptr;
    QGroupBox* colourGroup_ = nullptr;
};

} // namespace korvo

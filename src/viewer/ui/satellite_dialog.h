#pragma once
// "Satellite removing" (TForm16): the shown spectra to treat, the source, the user's own lines.
#include "viewer/analysis/satellite.h"

#include <QDialog>

#include <array>
#include <optional>
#include <string>
#include <vector>

class QGroupBox;
class QLineEdit;
class QListWidget;
class QPushButton;
class QRadioButton;

namespace korvo {

class Dialogs;

class TForm16 : public QDialog {
    Q_OBJECT
public:
    TForm16(Dialogs& dialogs, QWidget* parent = nullptr);
    void setSpectra(const std::vector<std::string>& shortNames); // display order
    // After "Remove": the chosen display positions (1-based) and lines.
    std::vector<int> chosenPositions() const;
    analysis::SatelliteLines lines() const { return lines_; }

    QListWidget* list() const { return list_; }
    QRadioButton* sourceButton(analysis::SatelliteSource s) const { return sources_[std::size_t(s)]; }
    QLineEdit* userEdit(int i) const { return user_[std::size_t(i)]; } // 0..3: E1, I1, E2, I2
    QGroupBox* userGroup() const { return userGroup_; }
    QPushButton* removeButton() const { return remove_; }
    QPushButton* helpButton() const { return help_; }

private:
    void sourceChosen(analysis::SatelliteSource s);
    void removeClicked();

    Dialogs& dialogs_;
    QListWidget* list_ = nullptr;
    std::array<QRadioButton*, 5> sources_{};
    std::array<QLineEdit*, 4> user_{};
    QGroupBox* userGroup_ = nullptr;
    QPushButton* remove_ = nullptr;
    QPushButton* help_ = nullptr;
    analysis::SatelliteLines lines_;
};

} // namespace korvo

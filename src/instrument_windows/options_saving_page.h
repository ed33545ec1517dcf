#pragma once
// The "Saving" page of the options window: the directory list the save directory is chosen in,
// "Set Directory !", the two switches of what a measurement file carries, the autosave switch and the
// switch of the NeXus file beside each saved spectrum.
#include "acquisition/station.h"

#include <QWidget>
#include <functional>

class QCheckBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;

namespace korvo {

class SavingPage : public QWidget {
public:
    SavingPage(Station& station, QWidget* parent);

    // "Set Directory !" closes the window.
    std::function<void()> closeWindow;

    // The list shows `path` and its subdirectories; false (nothing changes) when it is no directory
    // that may be entered.
    bool pointAt(const std::string& path);
    const std::string& directory() const { return directory_; }
    // The options -> the check boxes.
    void refresh();
    void setDirectoryClicked();

    QLineEdit* pathEdit() const { return path_; }
    QListWidget* directoryList() const { return list_; }
    QPushButton* setDirectoryButton() const { return set_; }
    QCheckBox* saveExtraPointsBox() const { return extraPoints_; }
    QCheckBox* saveRawDataBox() const { return rawData_; }
    QCheckBox* autoSaveBox() const { return autoSave_; }
    QCheckBox* nexusBox() const { return nexus_; }

private:
    void listDirectory();

    Station& station_;
    std::string directory_;
    QLineEdit* path_ = nullptr;
    QListWidget* list_ = nullptr;
    QPushButton* set_ = nullptr;
    QLabel* saveDir_ = nullptr;
    QCheckBox* extraPoints_ = nullptr;
    QCheckBox* rawData_ = nullptr;
    QCheckBox* autoSave_ = nullptr;
    QCheckBox* nexus_ = nullptr;
};

} // namespace korvo

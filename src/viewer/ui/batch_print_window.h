#pragma once
// The batch print window TForm17 ("PrintSpec (32 bit)"): spectrum files chosen from a directory and
// printed straight from disk, "Row :" x "Column :" cells per page, each stretched by the X and Y
// factors, in the chosen paper orientation.
#include "viewer/print_layout.h"

#include <QWidget>

#include <string>
#include <vector>

class QLineEdit;
class QListWidget;
class QPushButton;
class QRadioButton;

namespace korvo {

class Dialogs;
class PrintSettings;
class PrinterChoice;

class TForm17 : public QWidget {
    Q_OBJECT
public:
    TForm17(PrintSettings& settings, PrinterChoice& printers, Dialogs& dialogs, QWidget* parent = nullptr);

    // The directory whose subdirectories and files the lists show.
    void setDirectory(const std::string& dir);
    const std::string& directory() const { return dir_; }

    // "Print selected spectra". Returns the files drawn (0 when nothing was printed).
    int printSelected();
    // The selected files of the list, in list order, as full paths.
    std::vector<std::string> selectedFiles() const;
    print::BatchFieldTexts fieldTexts() const;

    QListWidget* directoryList() const { return dirs_; }
    QListWidget* fileList() const { return files_; }
    QLineEdit* xFactorEdit() const { return xFactor_; }
    QLineEdit* yFactorEdit() const { return yFactor_; }
    QLineEdit* rowEdit() const { return perRow_; }
    QLineEdit* columnEdit() const { return perColumn_; }
    QRadioButton* verticalButton() const { return vertical_; }
    QRadioButton* horizontalButton() const { return horizontal_; }

private:
    void refill();

    PrintSettings& settings_;
    PrinterChoice& printers_;
    Dialogs& dialogs_;
    std::string dir_;
    QLineEdit* dirEdit_;
    QListWidget *dirs_, *files_;
    QLineEdit *xFactor_, *yFactor_, *perRow_, *perColumn_;
    QRadioButton *vertical_, *horizontal_;
};

} // namespace korvo

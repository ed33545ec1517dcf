#pragma once
// The small print dialogs: the print-size dialog TForm4 (ratios between print size and sheet size,
// and the orientation) and the print selection TForm9 (which shown spectra "&Autoselect" prints).
#include <QDialog>

#include <vector>

class QLineEdit;
class QListWidget;
class QPushButton;
class QRadioButton;
class QTabWidget;

namespace korvo {

class Dialogs;
class PrintSettings;
class tvar;

class TForm4 : public QDialog {
    Q_OBJECT
public:
    TForm4(PrintSettings& settings, Dialogs& dialogs, QWidget* parent = nullptr);
    // The current ratios and orientation into the fields.
    void fillFromSettings();
    // "OK": both ratios (whole percentages from 1 to 1000) and the orientation stored, the dialog
    // closed; a ratio that is no such number is refused with a message and nothing is stored.
    bool store();

    QLineEdit* xRatioEdit() const { return x_; }
    QLineEdit* yRatioEdit() const { return y_; }
    QRadioButton* horizontalButton() const { return horizontal_; }
    QRadioButton* verticalButton() const { return vertical_; }
    QTabWidget* pages() const { return pages_; }

protected:
    void showEvent(QShowEvent* e) override;

private:
    PrintSettings& settings_;
    Dialogs& dialogs_;
    QTabWidget* pages_;
    QLineEdit *x_, *y_;
    QRadioButton *horizontal_, *vertical_;
};

class TForm9 : public QDialog {
    Q_OBJECT
public:
    explicit TForm9(QWidget* parent = nullptr);
    // The ShortName of each shown spectrum in display order.
    void fill(const tvar& ws);
    // Display positions (from 1) of the chosen spectra, in list order.
    std::vector<int> selectedPositions() const;

    QListWidget* list() const { return list_; }
    QPushButton* printButton() const { return print_; }
    QPushButton* abortButton() const { return abort_; }

private:
    QListWidget* list_;
    QPushButton *print_, *abort_;
};

} // namespace korvo

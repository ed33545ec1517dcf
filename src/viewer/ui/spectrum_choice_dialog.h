#pragma once
// A list of spectra to choose several from, with one action button: "&Mark" uses it with the caption
// "Select spectra you want to mark !" and the button "Mark".
#include <QDialog>

#include <string>
#include <vector>

class QListWidget;
class QPushButton;

namespace korvo {

class SpectrumChoiceDialog : public QDialog {
    Q_OBJECT
public:
    SpectrumChoiceDialog(const QString& caption, const QString& action, QWidget* parent = nullptr);
    void setItems(const std::vector<std::string>& names);
    // Rows chosen when the action button was pressed.
    std::vector<int> chosenRows() const;
    QListWidget* list() const { return list_; }
    QPushButton* actionButton() const { return action_; }

private:
    QListWidget* list_;
    QPushButton* action_;
};

} // namespace korvo

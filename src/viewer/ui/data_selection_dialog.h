#pragma once
// "Data Selection": the hidden ("Available Data") and the shown spectra ("Shown Data"), moved across
// with "--->" and "<---", and the spectrum whose values are shown. Works on a copy of the window's
// selection (DataSelection); the window takes it back on "OK" only.
#include "viewer/data_selection.h"

#include <QDialog>

class QComboBox;
class QListWidget;
class QPushButton;

namespace korvo {

class TForm8 : public QDialog {
    Q_OBJECT
public:
    explicit TForm8(QWidget* parent = nullptr);
    // The window's selection and the list names of its spectra.
    void setSelection(const tvar& ws);
    const DataSelection& selection() const { return selection_; }

    QListWidget* availableList() const { return available_; }
    QListWidget* shownList() const { return shown_; }
    QComboBox* activeBox() const { return active_; }
    QPushButton* showButton() const { return toShown_; }
    QPushButton* hideButton() const { return toHidden_; }
    QPushButton* okButton() const { return ok_; }
    QPushButton* cancelButton() const { return cancel_; }

private:
    void refill();
    static std::vector<int> selectedRows(const QListWidget* list);

    const tvar* ws_ = nullptr;
    DataSelection selection_;
    QListWidget* available_;
    QListWidget* shown_;
    QComboBox* active_;
    QPushButton *toShown_, *toHidden_, *ok_, *cancel_;
};

} // namespace korvo

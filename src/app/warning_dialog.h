#pragma once
// The general confirmation dialog: the caller sets a message, shows it modally and reads whether the
// user pressed "OK". Closing it any other way counts as "Abort".
#include <QDialog>

class QLabel;
class QPushButton;

namespace korvo {

class TForm11 : public QDialog {
    Q_OBJECT
public:
    explicit TForm11(QWidget* parent = nullptr);

    void setMessage(const QString& text);
    QString message() const;
    // Shows the dialog modally; true when it was left with "OK".
    bool confirm();
    bool confirmed() const { return confirmed_; }

    QPushButton* okButton() const { return ok_; }
    QPushButton* abortButton() const { return abort_; }

protected:
    void showEvent(QShowEvent* e) override;

private:
    QLabel* panel_;
    QPushButton* ok_;
    QPushButton* abort_;
    bool confirmed_ = false;
};

} // namespace korvo

#pragma once
// Message boxes and file choices of the desktop program.
#include "common/dialogs.h"

#include <QMessageBox>
#include <QString>

class QWidget;

namespace korvo {

// The program's own title, used where a box is given no caption.
inline constexpr const char* kProgramCaption = "Korvo '02";

// The pieces of a box, kept apart from showing it so that they can be checked without a screen.
QString dialogCaption(const std::string& caption);
// The program's messages break lines with "\r" (and sometimes "\r\n"); Qt wants "\n".
QString dialogText(const std::string& text);
QMessageBox::Icon dialogIcon(DialogIcon icon);
QMessageBox::StandardButtons dialogButtons(DialogButtons buttons);
// The answer for a button; closing the box (Escape, the title bar) gives Cancel or No.
DialogAnswer dialogAnswer(int clicked, DialogButtons buttons);
// File filters may be written "Spectra (*.dat)|*.dat;*.001|All files|*.*" or in Qt's own form.
QString dialogFilter(const std::string& filter);

class QtDialogs final : public Dialogs {
public:
    explicit QtDialogs(QWidget* parent = nullptr) : parent_(parent) {}
    void setParent(QWidget* parent) { parent_ = parent; }

    void showMessage(const std::string& caption, const std::string& text, DialogIcon icon) override;
    DialogAnswer ask(const std::string& caption, const std::string& text, DialogIcon icon,
                     DialogButtons buttons) override;
    std::optional<std::string> chooseOpenFile(const std::string& caption, const std::string& dir,
                                              const std::string& filter) override;
    std::optional<std::string> chooseSaveFile(const std::string& caption, const std::string& dir,
                                              const std::string& proposed,
                                              const std::string& filter) override;

private:
    QWidget* parent_ = nullptr;
};

} // namespace korvo

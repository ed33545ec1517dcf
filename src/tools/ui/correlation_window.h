#pragma once
// The "Korrelation" window: pick a multichanneltron spectrum, correlate the ticked channeltrons and
// show Delta, the linear model and the offsets relative to channeltron 5. The arithmetic is
// korvo_tools'; the window copies its boxes into the options and shows what comes back.
#include "common/dialogs.h"
#include "common/event_pump.h"

#include <QWidget>
#include <array>
#include <functional>
#include <string>

class QCheckBox;
class QLabel;
class QPlainTextEdit;
class QPushButton;

namespace korvo {

class TForm21 : public QWidget {
    Q_OBJECT
public:
    TForm21(Dialogs& dialogs, EventPump& pump, QWidget* parent = nullptr);

    // Where the open dialog starts and the three result files go: the current directory unless set.
    std::function<std::string()> workingDirectory;

    // "Make Korrelation".
    void MakeKorrelationClick();

    QCheckBox* channeltronBox(int channeltron) const {
        return channeltrons_[static_cast<std::size_t>(channeltron - 1)];
    }
    QCheckBox* ableitenBox() const { return ableiten_; }
    QPushButton* makeButton() const { return make_; }
    QLabel* progressLabel() const { return progress_; }
    QPlainTextEdit* resultBox() const { return results_; }
    QPlainTextEdit* offsetBox() const { return offsets_; }

private:
    Dialogs& dialogs_;
    EventPump& pump_;
    bool running_ = false; // a click while the pump runs a correlation starts no second one
    std::array<QCheckBox*, 9> channeltrons_{};
    QCheckBox* ableiten_ = nullptr;
    QPushButton* make_ = nullptr;
    QLabel* progress_ = nullptr;
    QPlainTextEdit* results_ = nullptr;
    QPlainTextEdit* offsets_ = nullptr;
};

} // namespace korvo

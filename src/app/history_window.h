#pragma once
// The history window: the distinct parameter sets of the measurements started since the program
// started, with a bar counting how often each was used. A double-click copies a set back into the
// main window. The sets themselves are the acquisition's HistoryModel; this window only shows them.
#include <QWidget>

class QLabel;
class QPushButton;
class QTableWidget;

namespace korvo {

class HistoryModel;
class TForm1;

class TForm20 : public QWidget {
    Q_OBJECT
public:
    // Shows the history of `main`'s station; `main` outlives this window.
    explicit TForm20(TForm1& main, QWidget* parent = nullptr);
    ~TForm20() override;

    static constexpr const char* kBusyMessage = "Messung erst beenden !";
    static constexpr const char* kAppliedMessage = "Set History Value !";

    // The grid: rows 0..49 hold entries 1..50 under the header.
    QTableWidget* grid() const { return grid_; }
    QPushButton* clearButton() const { return clearButton_; }
    // Fills the grid from the model, scrolled and selected where the last entry put it.
    void refresh();

    // ---- commands
    void ClearHistoryClick();
    // Copies the selected row's set into the main window (see the .cpp for the order of the steps).
    void HistoryApply();
    // A double-click on grid row `row` (0-based): selects it and applies it.
    void rowDoubleClicked(int row);

protected:
    void resizeEvent(QResizeEvent* e) override;

private:
    TForm1& main_;
    HistoryModel& model_;
    QTableWidget* grid_ = nullptr;
    QPushButton* clearButton_ = nullptr;
    QLabel* sampleLabel_ = nullptr;
    QLabel* commentLabel_ = nullptr;
};

} // namespace korvo

#pragma once
// The script window "Script": the table of up to 50 measurement lines, its buttons and context
// menu. "Start Script !" runs the lines through the main window and its station (ScriptRun), each
// line's measurement saved without a dialog; the table shows each line's time left, saved file
// name and, for a line that did not measure, what went wrong.
#include "acquisition/script_run.h"
#include "acquisition/script_table.h"

#include <QWidget>

#include <memory>

class QAction;
class QMenu;
class QPushButton;
class QTableWidget;

namespace korvo {

class Station;
class TForm1;

class TForm22 final : public QWidget {
    Q_OBJECT
public:
    TForm22(Station& station, TForm1& mainWindow, QWidget* parent = nullptr);
    ~TForm22() override;

    // ---- the buttons and the context menu, as the user uses them
    void clearClick();
    void autoFillClick();
    void startScriptClick(); // returns when the script has ended
    void stopScriptClick();
    void loadScriptClick();
    void saveScriptClick();
    void copyLine();
    void pasteLine();
    void deleteLine();
    void insertLine();

    ScriptTable& table() { return table_; }
    // The table as shown; call after changing table() directly.
    void showTable();
    const ScriptRun& run() const { return *run_; }
    bool scriptRunning() const { return run_->running(); }
    // The row the context menu acts on: the row of the last selected cell (1 .. 50).
    int selectedRow() const;

    QTableWidget* grid() const { return grid_; }
    QPushButton* startButton() const { return start_; }
    QPushButton* stopButton() const { return stop_; }
    QPushButton* clearButton() const { return clear_; }
    QPushButton* autoFillButton() const { return autoFill_; }
    QPushButton* loadButton() const { return load_; }
    QPushButton* saveButton() const { return save_; }
    QMenu* contextMenu() const { return menu_; }

private:
    void showCell(int row, int column);
    void cellEdited(int tableRow, int column);
    void showRunning(bool running);

    Station& station_;
    TForm1& main_;
    ScriptTable table_;
    std::unique_ptr<ScriptRun> run_;
    QTableWidget* grid_ = nullptr;
    QPushButton *start_ = nullptr, *stop_ = nullptr, *clear_ = nullptr, *autoFill_ = nullptr, *load_ = nullptr,
                *save_ = nullptr;
    QMenu* menu_ = nullptr;
    bool showing_ = false; // the table is being filled from the model: edits are not the user's
};

} // namespace korvo

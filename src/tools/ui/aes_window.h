#pragma once
// The AES data table: the peaks of "auger.dat" in a grid, one column per element, in the energy or
// the intensity view; edited in place, saved back, or written as the stick spectrum of one element.
// The window only moves cell texts to and from the table; reading, checking and writing are
// tools/auger_table.
#include "tools/auger_table.h"

#include <QMainWindow>
#include <functional>
#include <string>

class QAction;
class QTableWidget;

namespace korvo {

class Dialogs;

class TForm10 : public QMainWindow {
    Q_OBJECT
public:
    // `startDir`: the directory that holds "auger.dat" for the whole program run.
    TForm10(Dialogs& dialogs, std::string startDir, QWidget* parent = nullptr);

    // The question before "Save table" overwrites the file; true to go on. By default a warning box
    // with OK and Cancel; the program puts its own warning dialog here.
    std::function<bool(const std::string& text)> confirmOverwrite;

    static constexpr const char* kOverwriteWarning = "You will now overwrite old data !";

    // ---- commands, as the menu and the keyboard give them
    // Reads "auger.dat" into the table and shows it in the energy view; done on every show. A file
    // that cannot be read is reported and leaves table, view and grid as they were.
    bool loadTable();
    void ChangeEnIntClick();
    void SaveTableClick();
    void SaveSpectrumClick();

    const AugerTable& table() const { return table_; }
    AugerTable::View view() const { return view_; }
    QTableWidget* grid() const { return grid_; }
    std::string filePath() const;
    QAction* changeAction() const { return changeAction_; }
    QAction* saveTableAction() const { return saveTableAction_; }
    QAction* saveSpectrumAction() const { return saveSpectrumAction_; }

protected:
    void showEvent(QShowEvent* e) override;
    void resizeEvent(QResizeEvent* e) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void showTable();
    void setCaption();
    // Grid -> the current view's array; false (reported, nothing changed) on a cell that is no number.
    bool storeGrid();

    Dialogs& dialogs_;
    std::string startDir_;
    AugerTable table_;
    AugerTable::View view_ = AugerTable::View::Energy;
    QTableWidget* grid_ = nullptr;
    QAction* changeAction_ = nullptr;
    QAction* saveTableAction_ = nullptr;
    QAction* saveSpectrumAction_ = nullptr;
};

} // namespace korvo

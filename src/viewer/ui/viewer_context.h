#pragma once
// What every viewer window of a program run shares: the dialogs and event pump seams, the load list
// that the load dialog fills, the one load dialog and the one value table, and the main window's
// closing flag. The desktop program keeps one; tests make their own.
#include "common/dialogs.h"
#include "common/event_pump.h"
#include "files/multichanneltron.h"
#include "viewer/load.h"

#include <QPointer>

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace korvo {

class TForm3;
class TForm5;
class TForm12;
class TForm4;
class Tform6;
class PrintSettings;
class PrinterChoice;

class ViewerContext {
public:
    ViewerContext(Dialogs& dialogs, EventPump& pump);
    ~ViewerContext();
    ViewerContext(const ViewerContext&) = delete;
    ViewerContext& operator=(const ViewerContext&) = delete;

    Dialogs& dialogs;
    EventPump& pump;
    LoadList loadList;
    // The main window is being closed: viewers draw nothing.
    std::function<bool()> closing = [] { return false; };
    // Where the load dialog starts.
    std::string startDirectory;
    // The settings file whose "[viewer] work_function" the binding axis takes; empty: the default.
    std::string iniPath;
    // The main window's time per point and scan counter, kept by a multichanneltron conversion.
    std::function<MultichanneltronWindowValues()> multichanneltronValues = [] {
        return MultichanneltronWindowValues{};
    };

    // The program's print settings and printers, shared with the main window; both stay null in a
    // run without printing.
    PrintSettings* print = nullptr;
    PrinterChoice* printers = nullptr;
    bool hasPrinting() const { return print != nullptr && printers != nullptr; }
    // The one print-size dialog and the one print preview (need hasPrinting()).
    TForm4& printSizeDialog();
    Tform6& printPreview();

    TForm5& loadDialog();
    TForm12& valueTable();
    bool hasValueTable() const { return valueTable_ != nullptr; }

    // "ShowSpec": a new, independent viewer window with its own workspace; it runs the load dialog
    // at once and is shown when the load gave it spectra (else it is gone again: nullptr).
    TForm3* openViewer();
    // The viewer windows still open.
    std::vector<TForm3*> viewers() const;
    // Captions "Spectrum 1", "Spectrum 2", ... in the order the windows were made.
    int nextWindowNumber() { return ++windowsMade_; }

private:
    std::unique_ptr<TForm5> loadDialog_;
    std::unique_ptr<TForm12> valueTable_;
    std::unique_ptr<TForm4> printSize_;
    std::unique_ptr<Tform6> preview_;
    std::vector<QPointer<TForm3>> viewers_;
    int windowsMade_ = 0;
};

} // namespace korvo

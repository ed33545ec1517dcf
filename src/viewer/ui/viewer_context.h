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
    // The main window's time per point and scan counter, kept by a multichanneltron conversion.
    std::function<MultichanneltronWindowValues()> multichanneltronValues = [] {
        return MultichanneltronWindowValues{};
    };

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
    std::vector<QPointer<TForm3>> viewers_;
    int windowsMade_ = 0;
};

} // namespace korvo

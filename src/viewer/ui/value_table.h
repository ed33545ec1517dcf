#pragma once
// "Value Table": the shown spectra of the viewer window last activated, with their sample and their
// current energy and count ranges. One table serves all viewer windows.
#include "viewer/workspace.h"

#include <QWidget>

class QTableWidget;

namespace korvo {

class TForm12 : public QWidget {
    Q_OBJECT
public:
    explicit TForm12(QWidget* parent = nullptr);
    // Rebuilt from `ws` (a viewer window was activated or changed its ranges).
    void showWorkspace(const tvar& ws);
    // The viewer window whose spectra the table holds, so that a closed one can be let go.
    const tvar* workspace() const { return ws_; }
    void forget(const tvar* ws);
    QTableWidget* grid() const { return grid_; }

private:
    QTableWidget* grid_;
    const tvar* ws_ = nullptr;
};

} // namespace korvo

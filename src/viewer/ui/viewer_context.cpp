#include "viewer/ui/viewer_context.h"

#include "viewer/ui/load_dialog.h"
#include "viewer/ui/print_dialogs.h"
#include "viewer/ui/print_preview_window.h"
#include "viewer/ui/surface_view.h"
#include "viewer/ui/value_table.h"
#include "viewer/ui/viewer_window.h"

#include <QDir>

namespace korvo {

ViewerContext::ViewerContext(Dialogs& d, EventPump& p) : dialogs(d), pump(p) {}

ViewerContext::~ViewerContext() {
    // The windows go first: they let go of the value table on their way.
    for (const QPointer<TForm3>& w : viewers_) delete w.data();
    valueTable_.reset();
    preview_.reset();
    printSize_.reset();
    loadDialog_.reset();
}

TForm5& ViewerContext::loadDialog() {
    if (!loadDialog_) {
        loadDialog_ = std::make_unique<TForm5>(loadList);
        loadDialog_->setMessages(dialogs);
        loadDialog_->setMultichanneltronValues([this] { return multichanneltronValues(); });
        if (!startDirectory.empty() && QDir(QString::fromStdString(startDirectory)).exists())
            loadDialog_->setDirectory(startDirectory);
    }
    return *loadDialog_;
}

TForm4& ViewerContext::printSizeDialog() {
    if (!printSize_) printSize_ = std::make_unique<TForm4>(*print, dialogs);
    return *printSize_;
}

Tform6& ViewerContext::printPreview() {
    if (!preview_) preview_ = std::make_unique<Tform6>(*print, *printers, dialogs, printSizeDialog());
    return *preview_;
}

TForm12& ViewerContext::valueTable() {
    if (!valueTable_) valueTable_ = std::make_unique<TForm12>();
    return *valueTable_;
}

TForm3* ViewerContext::openViewer() {
    auto* w = new TForm3(*this);
    if (!w->start()) {
        delete w;
        return nullptr;
    }
    w->setAttribute(Qt::WA_DeleteOnClose);
    viewers_.emplace_back(w);
    // Where the display offers OpenGL, a new viewer starts in the colour view of the whole spectra.
    if (openGlAvailable()) w->colourViewOfAllCommand();
    w->show();
    w->raise();
    w->activateWindow();
    return w;
}

std::vector<TForm3*> ViewerContext::viewers() const {
    std::vector<TForm3*> open;
    for (const QPointer<TForm3>& w : viewers_)
        if (w) open.push_back(w.data());
    return open;
}

} // namespace korvo

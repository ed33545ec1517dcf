// Undo and Redo in the viewer window: every command that changes spectra (the analysis commands,
// the spike removal of measuring mode, "&Select") is one step of the window's UndoHistory; a load,
// a project load, an import and closing start the history anew from the data then in the window.
#include "viewer/measuring.h"
#include "viewer/ui/viewer_window.h"

#include <QAction>
#include <QKeySequence>
#include <QMenu>

namespace korvo {

namespace {

// `first` and then the platform's bindings of `standard`, each once.
QList<QKeySequence> shortcuts(const QKeySequence& first, QKeySequence::StandardKey standard) {
    QList<QKeySequence> keys{first};
    for (const QKeySequence& k : QKeySequence::keyBindings(standard))
        if (!keys.contains(k)) keys.push_back(k);
    return keys;
}

} // namespace

void TForm3::createUndoActions(QMenu* menu) {
    menu->addSeparator();
    undoAction_ = menu->addAction(QStringLiteral("&Undo"));
    undoAction_->setShortcuts(shortcuts(QKeySequence(Qt::CTRL | Qt::Key_Z), QKeySequence::Undo));
    connect(undoAction_, &QAction::triggered, this, &TForm3::undoCommand);
    // Ctrl+Y everywhere; the platform's own key too (Ctrl+Shift+Z on Linux).
    redoAction_ = menu->addAction(QStringLiteral("&Redo"));
    redoAction_->setShortcuts(shortcuts(QKeySequence(Qt::CTRL | Qt::Key_Y), QKeySequence::Redo));
    connect(redoAction_, &QAction::triggered, this, &TForm3::redoCommand);
    updateUndoActions();
}

void TForm3::recordStep(UndoHistory::Before before) {
    undo_.record(*ws_, std::move(before));
    updateUndoActions();
}

void TForm3::resetUndo() {
    undo_.reset();
    updateUndoActions();
}

void TForm3::undoCommand() {
    showRestored(undo_.undo(*ws_));
}

void TForm3::redoCommand() {
    showRestored(undo_.redo(*ws_));
}

void TForm3::showRestored(const UndoHistory::Restored& restored) {
    updateUndoActions();
    if (!restored.done) return;
    if (restored.shown) {
        rebuildSpectrumMenu();
        // As after "&Select": the marks go onto the active spectrum, unless the step set them.
        if (measuring_ && !restored.stretch) startMeasuring(*ws_);
    }
    // The display ranges are not part of a step: changed counts are shown at full scale, as the
    // commands that change them end.
    if (restored.counts) fullScale(*ws_, FullScale::All, binding());
    rangesChanged();
    refresh();
}

void TForm3::updateUndoActions() {
    if (!undoAction_) return;
    undoAction_->setEnabled(undo_.canUndo());
    redoAction_->setEnabled(undo_.canRedo());
}

} // namespace korvo

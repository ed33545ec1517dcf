#pragma once
// A viewer window's surroundings for the window tests: a context with recorded dialogs, three spectrum
// files in a temporary directory, the load dialog answered in place, and the plot's mouse.
#include "common/dialogs.h"
#include "common/event_pump.h"
#include "viewer/ui/load_dialog.h"
#include "viewer/ui/viewer_context.h"
#include "viewer/ui/viewer_window.h"
#include "viewer_ui/viewer_test_util.h"

#include "support/qt_app.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QListWidget>
#include <QMouseEvent>
#include <QPushButton>
#include <QTimer>

#include <algorithm>
#include <fstream>
#include <vector>

namespace korvo::testing {

inline QApplication& app() {
    return qtApp();
}

struct ViewerRig {
    ViewerRig() {
        app();
        ctx.startDirectory = dir.path.string();
        EXPECT_TRUE(writeSpectrum(dir.file("a.dat"), 80, 200, 90, "gold"));
        EXPECT_TRUE(writeSpectrum(dir.file("b.dat"), 85, 150, 95, "silver"));
        EXPECT_TRUE(writeSpectrum(dir.file("c.dat"), 70, 100, 75, "copper"));
        std::ofstream(dir.file("notes.txt")) << "not a spectrum";
    }

    // Opens a viewer; the load dialog that comes up selects `names` and presses "Load" (or "Abord"
    // when `names` is empty).
    TForm3* open(std::vector<QString> names) {
        answerLoadDialog(std::move(names));
        return ctx.openViewer();
    }
    // The next load dialog selects `names` and presses "Load" (or "Abord" when `names` is empty).
    void answerLoadDialog(std::vector<QString> names) {
        QTimer::singleShot(0, [this, names] {
            TForm5& d = ctx.loadDialog();
            for (int i = 0; i < d.fileList()->count(); ++i) {
                QListWidgetItem* item = d.fileList()->item(i);
                item->setSelected(std::find(names.begin(), names.end(), item->text()) != names.end());
            }
            (names.empty() ? d.abordButton() : d.loadButton())->click();
        });
    }

    TempDir dir;
    RecordingDialogs dialogs;
    NullPump pump;
    ViewerContext ctx{dialogs, pump};
};

inline void mouse(QWidget* w, QEvent::Type type, QPoint at, Qt::MouseButton button, Qt::MouseButtons buttons,
                  Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
    QMouseEvent e(type, QPointF(at), w->mapToGlobal(QPointF(at)), button, buttons, modifiers);
    QApplication::sendEvent(w, &e);
}

inline void drag(QWidget* w, QPoint from, QPoint to, Qt::MouseButton button = Qt::LeftButton) {
    mouse(w, QEvent::MouseButtonPress, from, button, button);
    mouse(w, QEvent::MouseMove, (from + to) / 2, Qt::NoButton, button);
    mouse(w, QEvent::MouseMove, to, Qt::NoButton, button);
    mouse(w, QEvent::MouseButtonRelease, to, button, Qt::NoButton);
}

inline void click(QWidget* w, QPoint at, Qt::MouseButton button, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
    mouse(w, QEvent::MouseButtonPress, at, button, button, modifiers);
    mouse(w, QEvent::MouseButtonRelease, at, button, Qt::NoButton, modifiers);
}

} // namespace korvo::testing

// "3D Mode" of the viewer window: the menu item, the refusals, and (where this display gives an
// OpenGL context) the surface in place of the plot, its keys, frames and key recorder.
#include "viewer/ui/surface_view.h"
#include "viewer/ui/load_dialog.h"
#include "viewer/ui/viewer_context.h"
#include "viewer/ui/viewer_window.h"
#include "viewer_ui/viewer_test_util.h"

#include "support/qt_app.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QKeyEvent>
#include <QLabel>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QSpinBox>
#include <QTimer>

#include <fstream>
#include <sstream>

namespace korvo {
namespace {

QApplication& app() {
    return testing::qtApp();
}

struct Rig {
    Rig() {
        app();
        ctx.startDirectory = dir.path.string();
        EXPECT_TRUE(testing::writeSpectrum(dir.file("a.dat"), 80, 200, 90, "gold"));
        EXPECT_TRUE(testing::writeSpectrum(dir.file("b.dat"), 85, 150, 95, "silver"));
        EXPECT_TRUE(testing::writeSpectrum(dir.file("d.dat"), 82, 200, 92, "gold again"));
        // F9 and F10 use the current directory.
        previousDir = QDir::currentPath();
        QDir::setCurrent(QString::fromStdString(dir.path.string()));
    }
    ~Rig() { QDir::setCurrent(previousDir); }

    TForm3* open(std::vector<QString> names) {
        QTimer::singleShot(0, [this, names] {
            TForm5& d = ctx.loadDialog();
            for (int i = 0; i < d.fileList()->count(); ++i) {
                QListWidgetItem* item = d.fileList()->item(i);
                item->setSelected(std::find(names.begin(), names.end(), item->text()) != names.end());
            }
            d.loadButton()->click();
        });
        TForm3* w = ctx.openViewer();
        if (w) w->resize(640, 480);
        return w;
    }

    testing::TempDir dir;
    RecordingDialogs dialogs;
    NullPump pump;
    ViewerContext ctx{dialogs, pump};
    QString previousDir;
};

QAction* threeD(TForm3& w) {
    return w.action(QStringLiteral("3D Mode"));
}

bool plotControlsVisible(TForm3& w) {
    return !w.plotBox()->isHidden() && !w.horizontalBar()->isHidden() && !w.verticalBar()->isHidden() &&
           !w.allSpectraButton()->isHidden() && !w.activeSpectraButton()->isHidden() && !w.readout()->isHidden();
}

void key(QWidget* to, int qtKey, bool autoRepeat = false) {
    QKeyEvent press(QEvent::KeyPress, qtKey, Qt::NoModifier, QString(), autoRepeat);
    QApplication::sendEvent(to, &press);
    QKeyEvent release(QEvent::KeyRelease, qtKey, Qt::NoModifier, QString(), autoRepeat);
    QApplication::sendEvent(to, &release);
}

// Lets the event loop run until `done` or the time is up.
template <typename F> bool waitFor(F done, int ms = 5000) {
    QElapsedTimer t;
    t.start();
    while (!done() && t.elapsed() < ms) QApplication::processEvents(QEventLoop::AllEvents, 20);
    return done();
}

TEST(SurfaceWindow, MenuItemSitsAfterColourModeAndKeysMapToRecorderCodes) {
    Rig rig;
    TForm3* w = rig.open({"a.dat"});
    ASSERT_NE(w, nullptr);
    QAction* item = threeD(*w);
    ASSERT_NE(item, nullptr);
    EXPECT_TRUE(item->isEnabled());
    EXPECT_TRUE(item->isCheckable());
    EXPECT_FALSE(item->isChecked());
    auto* menu = qobject_cast<QMenu*>(item->parent());
    ASSERT_NE(menu, nullptr);
    const QList<QAction*> experts = menu->actions();
    ASSERT_GE(experts.size(), 3);
    EXPECT_EQ(experts[0]->text(), "Color-Mode");
    EXPECT_EQ(experts[1], item);
    EXPECT_EQ(experts[2]->text(), "Slices-Sum");

    EXPECT_EQ(virtualKeyFromQt(Qt::Key_F9), 0x78);
    EXPECT_EQ(virtualKeyFromQt(Qt::Key_F10), 0x79);
    EXPECT_EQ(virtualKeyFromQt(Qt::Key_Z), 'Z');
    EXPECT_EQ(virtualKeyFromQt(Qt::Key_7), '7');
    EXPECT_EQ(virtualKeyFromQt(Qt::Key_Return), 0x0D);
    EXPECT_EQ(virtualKeyFromQt(Qt::Key_PageDown), 0x22);
    EXPECT_EQ(virtualKeyFromQt(Qt::Key_Left), 0x25);
    EXPECT_EQ(virtualKeyFromQt(Qt::Key_Down), 0x28);
    EXPECT_FALSE(virtualKeyFromQt(Qt::Key_Shift));
    w->close();
}

TEST(SurfaceWindow, UnequalPointCountsRefuseAndTheViewStaysOff) {
    Rig rig;
    TForm3* w = rig.open({"a.dat", "b.dat"});
    ASSERT_NE(w, nullptr);
    w->show();
    threeD(*w)->trigger();
    EXPECT_TRUE(rig.dialogs.saw("Anzahl der Meßpunkte stimmt nicht überein?\rFunktion geht nur bei gleicher Anzahl !"));
    EXPECT_FALSE(threeD(*w)->isChecked());
    EXPECT_FALSE(w->surface3d()->isOn());
    EXPECT_TRUE(plotControlsVisible(*w));
    EXPECT_EQ(w->surface3d()->widget(), nullptr);
    // Keys go nowhere while the view is off.
    EXPECT_FALSE(w->surface3d()->keyPressed(Qt::Key_Right));
    EXPECT_EQ(w->surface3d()->scene().params().paletteRow, 0);
    w->close();
}

TEST(SurfaceWindow, WithoutOpenGLTheItemRefusesHarmlessly) {
    if (openGlAvailable()) GTEST_SKIP() << "this display offers OpenGL; the refusal is for displays without it";
    Rig rig;
    TForm3* w = rig.open({"a.dat", "d.dat"});
    ASSERT_NE(w, nullptr);
    w->show();
    threeD(*w)->trigger();
    EXPECT_TRUE(rig.dialogs.saw("3D Mode needs OpenGL, and this display offers no OpenGL context."));
    EXPECT_FALSE(threeD(*w)->isChecked());
    EXPECT_FALSE(w->surface3d()->isOn());
    EXPECT_TRUE(plotControlsVisible(*w));
    // The plot goes on working: a right click zooms out.
    const double before = w->workspace().spectrum(1).XMax - w->workspace().spectrum(1).XMin;
    w->plotRelease(QPoint(100, 100), Qt::RightButton);
    EXPECT_NEAR(w->workspace().spectrum(1).XMax - w->workspace().spectrum(1).XMin, 2 * before, 1e-9);
    w->close();
}

class SurfaceWindowGl : public ::testing::Test {
protected:
    void SetUp() override {
        app();
        // The test run under Xvfb sets KORVO_REQUIRE_GL: there a missing OpenGL widget is a failure.
        if (!openGlAvailable() && qEnvironmentVariableIsSet("KORVO_REQUIRE_GL"))
            FAIL() << "KORVO_REQUIRE_GL is set, but this display gives no OpenGL widget";
        if (!openGlAvailable())
            GTEST_SKIP() << "no OpenGL widget on this display (the offscreen platform has none); run with "
                            "QT_QPA_PLATFORM=xcb under Xvfb to test the surface";
    }
};

TEST_F(SurfaceWindowGl, SurfaceReplacesThePlotKeysSteerItAndFramesStop) {
    Rig rig;
    TForm3* w = rig.open({"a.dat", "d.dat"});
    ASSERT_NE(w, nullptr);
    w->show();
    // With OpenGL, a new viewer starts in the colour view of the whole spectra with scale 2.
    EXPECT_TRUE(w->colourView());
    EXPECT_EQ(w->colourSelector()->value(), 2);
    EXPECT_EQ(w->workspace().SelStartPoint, 1);
    EXPECT_EQ(w->workspace().SelEndPoint, 200); // the points of a.dat
    EXPECT_TRUE(w->colourSelector()->isVisible());
    Surface3dMode& mode = *w->surface3d();
    threeD(*w)->trigger();
    ASSERT_TRUE(mode.isOn()) << (rig.dialogs.texts().empty() ? "" : rig.dialogs.texts().back());
    EXPECT_TRUE(threeD(*w)->isChecked());
    EXPECT_FALSE(w->plotBox()->isVisible());
    EXPECT_FALSE(w->horizontalBar()->isVisible());
    EXPECT_FALSE(w->verticalBar()->isVisible());
    EXPECT_FALSE(w->allSpectraButton()->isVisible());
    EXPECT_FALSE(w->readout()->isVisible());
    EXPECT_FALSE(w->colourSelector()->isVisible());
    SurfaceWidget* gl = mode.widget();
    ASSERT_NE(gl, nullptr);
    EXPECT_TRUE(gl->isVisible());
    EXPECT_EQ(gl->width(), w->centralWidget()->width());

    // The first repaint draws frames until the counter runs out; then nothing more runs.
    ASSERT_TRUE(waitFor([&] { return gl->framesDrawn() > 0 && mode.scene().params().frameCounter == 0; }));
    EXPECT_TRUE(gl->ready()) << gl->description();
    const int settled = gl->framesDrawn();
    QApplication::processEvents();
    QApplication::processEvents();
    EXPECT_EQ(gl->framesDrawn(), settled);

    // Keys into the window reach the view: three times Right, once "7" at slice -1.
    for (int i = 0; i < 3; ++i) key(gl, Qt::Key_Right);
    key(w, Qt::Key_7);
    EXPECT_EQ(mode.scene().params().paletteRow, 3);
    EXPECT_EQ(mode.scene().params().slice, -1);
    EXPECT_EQ(mode.scene().params().step, 1);
    // Held down (auto-repeat), the surface stays coarse until the real release.
    QKeyEvent held(QEvent::KeyPress, Qt::Key_Up, Qt::NoModifier, QString(), true);
    QApplication::sendEvent(gl, &held);
    QKeyEvent repeatRelease(QEvent::KeyRelease, Qt::Key_Up, Qt::NoModifier, QString(), true);
    QApplication::sendEvent(gl, &repeatRelease);
    EXPECT_EQ(mode.scene().params().step, 4);
    key(gl, Qt::Key_Up);
    EXPECT_EQ(mode.scene().params().step, 1);
    EXPECT_EQ(mode.scene().params().frameCounter, surface::kFramesAfterRelease);
    ASSERT_TRUE(waitFor([&] { return gl->framesDrawn() > settled && mode.scene().params().frameCounter == 0; }));

    // F9 writes the log into the current directory.
    key(gl, Qt::Key_F9);
    std::ifstream in(rig.dir.file("tasten.txt"), std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    EXPECT_EQ(text.str(), "6\r\n39\r\n39\r\n39\r\n55\r\n38\r\n38\r\n");

    // Switching off gives the plot back.
    threeD(*w)->trigger();
    EXPECT_FALSE(mode.isOn());
    EXPECT_FALSE(threeD(*w)->isChecked());
    EXPECT_FALSE(gl->isVisible());
    EXPECT_TRUE(plotControlsVisible(*w));
    EXPECT_TRUE(w->colourSelector()->isVisible()); // the colour view is still on
    EXPECT_FALSE(mode.keyPressed(Qt::Key_Right));

    // Switched on again: a fresh log, palette row 0, F10 replays the file.
    threeD(*w)->trigger();
    ASSERT_TRUE(mode.isOn());
    EXPECT_EQ(mode.scene().params().paletteRow, 0);
    EXPECT_TRUE(mode.scene().keyLog().empty());
    key(gl, Qt::Key_F10);
    EXPECT_EQ(mode.scene().params().paletteRow, 3);
    EXPECT_EQ(mode.scene().keyLog().size(), 6u);

    // Closing the window switches the view off first.
    rig.dialogs.defaultAnswer = DialogAnswer::Ok;
    w->close();
    EXPECT_FALSE(mode.isOn());
}

TEST_F(SurfaceWindowGl, DamagedKeyFileIsReportedAndNothingReplayed) {
    Rig rig;
    std::ofstream(rig.dir.file("tasten.txt"), std::ios::binary) << "4\r\n39\r\n39\r\n";
    TForm3* w = rig.open({"a.dat", "d.dat"});
    ASSERT_NE(w, nullptr);
    w->show();
    threeD(*w)->trigger();
    ASSERT_TRUE(w->surface3d()->isOn());
    key(w->surface3d()->widget(), Qt::Key_F10);
    ASSERT_FALSE(rig.dialogs.texts().empty());
    EXPECT_NE(rig.dialogs.texts().back().find("No keys were replayed."), std::string::npos);
    EXPECT_EQ(w->surface3d()->scene().params().paletteRow, 0);
    EXPECT_TRUE(w->surface3d()->scene().keyLog().empty());
    EXPECT_TRUE(w->surface3d()->isOn());
    w->close();
}

} // namespace
} // namespace korvo

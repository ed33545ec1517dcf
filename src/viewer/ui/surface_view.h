#pragma once
// "3D Mode" of the viewer window: an OpenGL surface of all shown spectra in place of the plot,
// steered from the keyboard. Surface3dMode owns the item of the "Experts" menu, the scene and the
// OpenGL widget; the window only creates it and switches it off when it closes.
//
// Frames are drawn on demand, never in a busy loop: each paint draws one frame and lowers the
// scene's frame counter, and while the counter is above 0 the next frame is asked for through the
// event queue, so keys, menu commands and closing act between frames. With the counter at 0 nothing
// runs until a key or a repaint asks again.
#include "viewer/surface/surface_renderer.h"
#include "viewer/surface/surface_scene.h"

#include <QObject>
#include <QOpenGLWidget>

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

class QAction;
class QMenu;

namespace korvo {

class Dialogs;
class TForm3;

// The key recorder's 16-bit code of a Qt key (see surface_keys.h); nullopt for keys it has none for.
std::optional<std::uint16_t> virtualKeyFromQt(int qtKey);

// Whether this display can show an OpenGL widget with the fixed-function calls the view uses
// (checked once per program run).
bool openGlAvailable();

class SurfaceWidget final : public QOpenGLWidget {
public:
    SurfaceWidget(surface::SurfaceScene& scene, QWidget* parent);

    // Keys reach the handler through these (the widget has the focus while the view is on).
    std::function<void(QKeyEvent*)> onKeyPress, onKeyRelease;

    // Asks for the next frame when one is due.
    void scheduleFrame();
    int framesDrawn() const { return framesDrawn_; }
    bool ready() const { return ready_; }
    const std::string& description() const { return description_; }

protected:
    void initializeGL() override;
    void resizeGL(int width, int height) override;
    void paintGL() override;
    void keyPressEvent(QKeyEvent* e) override;
    void keyReleaseEvent(QKeyEvent* e) override;

private:
    surface::SurfaceScene& scene_;
    surface::SurfaceRenderer renderer_;
    bool ready_ = false;
    bool pending_ = false;   // a frame is queued
    bool ownFrame_ = false;  // the paint under way is one the frame counter asked for
    int framesDrawn_ = 0;
    std::string description_;
};

class Surface3dMode final : public QObject {
public:
    // Adds the checkable "3D Mode" item to `menu` before `before` (at the end when null).
    Surface3dMode(TForm3& window, Dialogs& dialogs, QMenu* menu, QAction* before);

    QAction* action() const { return action_; }
    bool isOn() const { return scene_.running(); }
    // The menu item: switches the view on or off.
    void toggle();
    // Closing the window, or the view switched off from the menu.
    void switchOff();

    surface::SurfaceScene& scene() { return scene_; }
    SurfaceWidget* widget() const { return widget_; }

    // A key of the window while the view is on (true: taken).
    bool keyPressed(int qtKey);
    bool keyReleased(int qtKey, bool autoRepeat);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void switchOn();
    void showPlotControls(bool show);
    void placeWidget();
    void report(const std::vector<std::string>& messages);

    TForm3& window_;
    Dialogs& dialogs_;
    surface::SurfaceScene scene_;
    QAction* action_ = nullptr;
    SurfaceWidget* widget_ = nullptr;
    QWidget* client_ = nullptr; // the window's client area, which the surface fills
};

} // namespace korvo

#include "viewer/ui/surface_view.h"

#include "common/dialogs.h"
#include "viewer/ui/viewer_window.h"

#include <QAction>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QOffscreenSurface>
#include <QOpenGLContext>
#include <QOpenGLFunctions_1_1>
#include <QOpenGLVersionFunctionsFactory>
#include <QRadioButton>
#include <QScrollBar>
#include <QSpinBox>
#include <QTimer>

namespace korvo {

std::optional<std::uint16_t> virtualKeyFromQt(int qtKey) {
    namespace vk = surface::vk;
    if ((qtKey >= Qt::Key_A && qtKey <= Qt::Key_Z) || (qtKey >= Qt::Key_0 && qtKey <= Qt::Key_9))
        return std::uint16_t(qtKey); // Qt numbers letters and digits by their upper-case ASCII code
    switch (qtKey) {
    case Qt::Key_Space: return vk::Space;
    case Qt::Key_Return:
    case Qt::Key_Enter: return vk::Enter;
    case Qt::Key_PageUp: return vk::PageUp;
    case Qt::Key_PageDown: return vk::PageDown;
    case Qt::Key_Left: return vk::Left;
    case Qt::Key_Up: return vk::Up;
    case Qt::Key_Right: return vk::Right;
    case Qt::Key_Down: return vk::Down;
    case Qt::Key_F9: return vk::F9;
    case Qt::Key_F10: return vk::F10;
    default: return std::nullopt;
    }
}

bool openGlAvailable() {
    static const bool available = [] {
        // The offscreen and minimal platforms may give a context (offscreen does through GLX when an X
        // server is there) but cannot compose an OpenGL widget into a window: Qt refuses the widget and
        // its flush fails. Only a real windowing platform will do.
        const QString platform = QGuiApplication::platformName();
        if (platform == QLatin1String("offscreen") || platform == QLatin1String("minimal") ||
            platform == QLatin1String("vnc"))
            return false;
        QOpenGLContext context;
        if (!context.create()) return false;
        QOffscreenSurface surface;
        surface.setFormat(context.format());
        surface.create();
        if (!surface.isValid() || !context.makeCurrent(&surface)) return false;
        const bool fixedFunction = QOpenGLVersionFunctionsFactory::get<QOpenGLFunctions_1_1>(&context) != nullptr;
        context.doneCurrent();
        return fixedFunction;
    }();
    return available;
}

// ---- the widget

SurfaceWidget::SurfaceWidget(surface::SurfaceScene& scene, QWidget* parent) : QOpenGLWidget(parent), scene_(scene) {
    QSurfaceFormat format = QSurfaceFormat::defaultFormat();
    // Fixed-function drawing: a compatibility context, double-buffered, 8 bits per channel.
    format.setProfile(QSurfaceFormat::CompatibilityProfile);
    format.setSwapBehavior(QSurfaceFormat::DoubleBuffer);
    format.setRedBufferSize(8);
    format.setGreenBufferSize(8);
    format.setBlueBufferSize(8);
    format.setDepthBufferSize(24);
    setFormat(format);
    setFocusPolicy(Qt::StrongFocus);
}

void SurfaceWidget::initializeGL() {
    ready_ = renderer_.initialize();
    description_ = renderer_.description();
}

void SurfaceWidget::resizeGL(int width, int height) {
    const qreal ratio = devicePixelRatioF();
    renderer_.resize(int(width * ratio), int(height * ratio));
}

void SurfaceWidget::paintGL() {
    // A paint that the frame counter did not ask for is a repaint of the window.
    if (!ownFrame_) scene_.repainted();
    ownFrame_ = false;
    QElapsedTimer clock;
    clock.start();
    if (ready_) renderer_.draw(scene_);
    ++framesDrawn_;
    scene_.frameDrawn(double(clock.nsecsElapsed()) / 1e6);
    scheduleFrame();
}

void SurfaceWidget::scheduleFrame() {
    if (pending_ || !scene_.frameDue()) return;
    pending_ = true;
    QTimer::singleShot(0, this, [this] {
        pending_ = false;
        if (!scene_.frameDue() || !isVisible()) return;
        ownFrame_ = true;
        update();
    });
}

void SurfaceWidget::keyPressEvent(QKeyEvent* e) {
    if (onKeyPress) onKeyPress(e);
}

void SurfaceWidget::keyReleaseEvent(QKeyEvent* e) {
    if (onKeyRelease) onKeyRelease(e);
}

// ---- "3D Mode"

Surface3dMode::Surface3dMode(TForm3& window, Dialogs& dialogs, QMenu* menu, QAction* before)
    : QObject(&window), window_(window), dialogs_(dialogs), scene_(window.workspace()) {
    action_ = new QAction(QStringLiteral("3D Mode"), menu);
    action_->setCheckable(true);
    menu->insertAction(before, action_);
    connect(action_, &QAction::triggered, this, [this] { toggle(); });
    window_.installEventFilter(this);
}

void Surface3dMode::toggle() {
    if (isOn())
        switchOff();
    else
        switchOn();
    action_->setChecked(isOn());
}

void Surface3dMode::switchOn() {
    std::string message;
    if (!scene_.start(&message)) {
        if (!message.empty()) dialogs_.show(message);
        return;
    }
    if (!openGlAvailable()) {
        // Without OpenGL the plot stays as it is; every other command goes on working.
        scene_.stop();
        dialogs_.show("3D Mode needs OpenGL, and this display offers no OpenGL context.");
        return;
    }
    if (!widget_) {
        widget_ = new SurfaceWidget(scene_, window_.centralWidget());
        widget_->onKeyPress = [this](QKeyEvent* e) { e->setAccepted(keyPressed(e->key())); };
        widget_->onKeyRelease = [this](QKeyEvent* e) { e->setAccepted(keyReleased(e->key(), e->isAutoRepeat())); };
        client_ = window_.centralWidget();
        client_->installEventFilter(this);
    }
    showPlotControls(false);
    placeWidget();
    widget_->show();
    widget_->raise();
    widget_->setFocus();
    widget_->update();
}

void Surface3dMode::switchOff() {
    if (!isOn()) return;
    scene_.stop();
    if (widget_) widget_->hide();
    showPlotControls(true);
    action_->setChecked(false);
    window_.plotBox()->update();
}

void Surface3dMode::showPlotControls(bool show) {
    for (QWidget* w : {window_.plotBox(), static_cast<QWidget*>(window_.horizontalBar()),
                       static_cast<QWidget*>(window_.verticalBar()), static_cast<QWidget*>(window_.allSpectraButton()),
                       static_cast<QWidget*>(window_.activeSpectraButton()), static_cast<QWidget*>(window_.readout())})
        w->setVisible(show);
    window_.colourSelector()->setVisible(show && window_.colourView());
}

void Surface3dMode::placeWidget() {
    // The surface takes the plot, its bars and the radio row; the information panels stay below.
    if (widget_ && client_)
        widget_->setGeometry(0, 0, client_->width(), std::max(client_->height() - window_.infoPanels().height(), 1));
}

bool Surface3dMode::keyPressed(int qtKey) {
    if (!isOn()) return false;
    const std::optional<std::uint16_t> code = virtualKeyFromQt(qtKey);
    if (!code) return false;
    report(scene_.press(*code));
    if (widget_) widget_->scheduleFrame();
    return true;
}

bool Surface3dMode::keyReleased(int qtKey, bool autoRepeat) {
    if (!isOn() || !virtualKeyFromQt(qtKey)) return false;
    // A held key repeats as press and release pairs; the keys rest only at the real release.
    if (autoRepeat) return true;
    scene_.release();
    if (widget_) widget_->scheduleFrame();
    return true;
}

void Surface3dMode::report(const std::vector<std::string>& messages) {
    for (const std::string& text : messages) dialogs_.show(text);
}

bool Surface3dMode::eventFilter(QObject* watched, QEvent* event) {
    // Compared by address only: the filter also sees the events of the window's own destruction.
    if (watched == client_ && event->type() == QEvent::Resize) {
        placeWidget();
        return false;
    }
    if (watched == static_cast<QObject*>(&window_) && isOn()) {
        // Keys that another control of the window left unused come here.
        if (event->type() == QEvent::KeyPress) return keyPressed(static_cast<QKeyEvent*>(event)->key());
        if (event->type() == QEvent::KeyRelease) {
            auto* key = static_cast<QKeyEvent*>(event);
            return keyReleased(key->key(), key->isAutoRepeat());
        }
    }
    return false;
}

} // namespace korvo

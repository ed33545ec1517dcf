#pragma once
// The live plot of the main window: a canvas in each of the two plot boxes (single and
// multichanneltron), the "oben" scroll bar, the auto-scale, "Big Spots" and "View Multichannelt."
// boxes, and the three cursor labels. Pictures are drawn into an image per canvas; painting only
// blits it.
#include "app/live_plot_render.h"
#include "app/live_trace.h"

#include <QImage>
#include <QObject>
#include <QWidget>

#include <array>
#include <functional>

class QCheckBox;
class QLabel;
class QScrollBar;

namespace korvo {

class TForm1;
class RunEngine;

class LivePlotCanvas : public QWidget {
    Q_OBJECT
public:
    explicit LivePlotCanvas(QWidget* parent);
    QImage& image() { return image_; }
    // A full picture is owed (size changed while hidden, or data changed while hidden).
    bool stale = true;

signals:
    void resized();
    void pressed(int column, Qt::MouseButton button);
    void dragged(int column);
    void released();

protected:
    void paintEvent(QPaintEvent* e) override;
    void resizeEvent(QResizeEvent* e) override;
    void mousePressEvent(QMouseEvent* e) override;
    void mouseMoveEvent(QMouseEvent* e) override;
    void mouseReleaseEvent(QMouseEvent* e) override;
    void mouseDoubleClickEvent(QMouseEvent* e) override;

private:
    QImage image_;
};

class LiveDisplay : public QObject {
    Q_OBJECT
public:
    LiveDisplay(TForm1& window, RunEngine& engine);

    // A run begins: the cursor labels appear, the scroll bar goes to its minimum, the auto-scale box
    // is ticked and cursor mode is left.
    void runStarted();
    // Full redraw of the box on show (the other box catches up when it is shown).
    void redraw();
    // Record `record` was completed: only that point is drawn.
    void drawPoint(std::size_t record);

    // What the plot shows, for tests and the scroll bar.
    live::TraceSource source() const;
    LivePlotCanvas* singleCanvas() const { return canvases_[0]; }
    LivePlotCanvas* multiCanvas() const { return canvases_[1]; }
    QScrollBar* scrollBar() const { return oben_; }
    QCheckBox* multiViewBox() const { return multiView_; }
    std::array<QLabel*, 3> cursorLabels() const { return labels_; }
    int cursorMode() const { return cursorMode_; }

    // The "oben" scroll bar moved to `position`.
    void scrollTopChanged(int position);
    // "View Multichannelt." ticked or not.
    void showMultichanneltron(bool on);

private:
    int visibleIndex() const;
    live::RenderOptions options(int index) const;
    // `reportLater`: a point that cannot be drawn is reported once the current event is handled.
    void renderBox(int index, bool reportLater = false);
    void reportFailure(const std::optional<live::FailedPoint>& f, const LivePlotCanvas& canvas,
                       const live::TraceSource& s, bool later);
    void updateCursorLabels();
    void placeLabels();
    void mousePressed(LivePlotCanvas* canvas, int column, Qt::MouseButton button);
    void mouseDragged(LivePlotCanvas* canvas, int column);
    bool eventFilter(QObject* watched, QEvent* event) override;

    TForm1& window_;
    RunEngine& engine_;
    std::array<LivePlotCanvas*, 2> canvases_{};
    std::array<QLabel*, 3> labels_{};
    QScrollBar* oben_ = nullptr;
    QCheckBox* multiView_ = nullptr;
    QWidget* axisCaption_ = nullptr;
    bool chart_ = false;        // the plotted run is a c(t) chart
    bool failureShown_ = false; // the diagnostic was shown since the last full redraw
    int cursorMode_ = 0;        // 0 none, 1 moving cursor 1, 2 moving cursor 2
};

} // namespace korvo

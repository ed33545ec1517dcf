#include "app/live_display.h"

#include "acquisition/run/run_engine.h"
#include "app/main_window.h"
#include "common/number_text.h"

#include <QCheckBox>
#include <QEvent>
#include <QFrame>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <QSignalBlocker>
#include <QVBoxLayout>

namespace korvo {

// ---------------------------------------------------------------- canvas

LivePlotCanvas::LivePlotCanvas(QWidget* parent) : QWidget(parent) {
    setAttribute(Qt::WA_OpaquePaintEvent);
    setMouseTracking(false);
}

void LivePlotCanvas::paintEvent(QPaintEvent* e) {
    QPainter p(this);
    p.drawImage(e->rect(), image_, e->rect());
}

void LivePlotCanvas::resizeEvent(QResizeEvent*) {
    image_ = QImage(size(), QImage::Format_RGB32);
    stale = true;
    emit resized();
}

void LivePlotCanvas::mousePressEvent(QMouseEvent* e) {
    emit pressed(int(e->position().x()), e->button());
}

void LivePlotCanvas::mouseMoveEvent(QMouseEvent* e) {
    if (e->buttons() & (Qt::LeftButton | Qt::RightButton)) emit dragged(int(e->position().x()));
}

void LivePlotCanvas::mouseReleaseEvent(QMouseEvent*) {
    emit released();
}

void LivePlotCanvas::mouseDoubleClickEvent(QMouseEvent*) {
    emit released();
}

// ---------------------------------------------------------------- display

namespace {

// The canvas covers its plot box exactly: the box's own frame would steal a pixel on every side
// from the geometry the picture is made for.
LivePlotCanvas* installCanvas(QFrame* box) {
    box->setFrameShape(QFrame::NoFrame);
    auto* layout = new QVBoxLayout(box);
    layout->setContentsMargins(0, 0, 0, 0);
    auto* canvas = new LivePlotCanvas(box);
    layout->addWidget(canvas);
    canvas->resize(box->size());
    return canvas;
}

QLabel* cursorLabel(QWidget* parent, std::uint32_t bgr, const char* name) {
    auto* l = new QLabel(QStringLiteral("0.000"), parent);
    l->setObjectName(QString::fromLatin1(name));
    l->setAlignment(Qt::AlignCenter);
    const QColor c = TForm1::fromBgr(bgr);
    l->setStyleSheet(QStringLiteral("background: %1; color: white;").arg(c.name()));
    l->setFont(TForm1::smallFont(l->font()));
    l->hide(); // shown when the first run starts
    return l;
}

constexpr int kLabelWidth = 58;

} // namespace

LiveDisplay::LiveDisplay(TForm1& window, RunEngine& engine)
    : QObject(&window), window_(window), engine_(engine) {
    QWidget* panel = window.measurementPanel();
    canvases_[0] = installCanvas(window.plotBox());
    canvases_[1] = installCanvas(window.multiPlotBox());
    for (LivePlotCanvas* c : canvases_) {
        connect(c, &LivePlotCanvas::resized, this, [this, c] {
            // A resize arrives in the middle of a layout pass: a message box must wait until it is over.
            if (c == canvases_[std::size_t(visibleIndex())]) renderBox(c == canvases_[1] ? 1 : 0, true);
        });
        connect(c, &LivePlotCanvas::pressed, this,
                [this, c](int column, Qt::MouseButton b) { mousePressed(c, column, b); });
        connect(c, &LivePlotCanvas::dragged, this, [this, c](int column) { mouseDragged(c, column); });
        connect(c, &LivePlotCanvas::released, this, [this] { cursorMode_ = 0; });
    }

    labels_[0] = cursorLabel(panel, live::kCursor1Colour, "cursor1Label");
    labels_[1] = cursorLabel(panel, live::kCursor2Colour, "cursor2Label");
    labels_[2] = cursorLabel(panel, 0x808080, "cursorDistanceLabel");
    window.plotBox()->installEventFilter(this);

    oben_ = window.obenScrollBar();
    if (oben_) {
        QSignalBlocker block(oben_);
        oben_->setRange(plot::kScrollTopMin, plot::kScrollTopMax);
        oben_->setPageStep(500);
        oben_->setSingleStep(50);
        oben_->setValue(plot::kScrollTopMin);
        connect(oben_, &QScrollBar::valueChanged, this, &LiveDisplay::scrollTopChanged);
    }
    connect(window.autoScaleBox(), &QCheckBox::toggled, this,
            [this](bool on) { engine_.plot().autoScale = on; });
    engine_.plot().autoScale = window.autoScaleBox()->isChecked();
    connect(window.bigSpotsBox(), &QCheckBox::toggled, this, [this] { redraw(); });

    // The axis caption under the plot has room at its right end for the view switch.
    axisCaption_ = window.axisCaption();
    multiView_ = new QCheckBox(QStringLiteral("View Multichannelt."), axisCaption_ ? axisCaption_ : panel);
    multiView_->setObjectName(QStringLiteral("viewMultichanneltron"));
    multiView_->setFont(TForm1::smallFont(multiView_->font()));
    if (axisCaption_) axisCaption_->installEventFilter(this);
    connect(multiView_, &QCheckBox::toggled, this, &LiveDisplay::showMultichanneltron);
    // The Keithley mode has no channeltrons to show.
    connect(&window, &TForm1::machineModeChanged, this, [this](int mode) {
        const bool keithley = mode == ModeKeithley;
        if (keithley) multiView_->setChecked(false);
        multiView_->setEnabled(!keithley);
    });
    placeLabels();
}

int LiveDisplay::visibleIndex() const {
    return multiView_ && multiView_->isChecked() ? 1 : 0;
}

live::TraceSource LiveDisplay::source() const {
    live::TraceSource s;
    const RunState& st = engine_.measurement().state;
    s.data = &engine_.measurement().data;
    s.chart = chart_;
    s.scanNumber = st.ScanNumber;
    s.pointsMeasured = engine_.pointsMeasured();
    s.maxPositiveShift = st.MaxPositiveShift;
    s.maxNegativeShift = st.MaxNegativeShift;
    s.points = st.Points;
    s.activeChannels = engine_.activeChannels();
    s.channelEnabled = st.ChannelEnabled;
    return s;
}

live::RenderOptions LiveDisplay::options(int index) const {
    live::RenderOptions o;
    o.multi = index == 1;
    o.bigSpots = window_.bigSpotsBox()->isChecked();
    o.closing = window_.closing();
    o.drawEnabled = engine_.plot().drawEnabled;
    o.marginColour = std::uint32_t(window_.settings().store.plotColour);
    o.font = TForm1::smallFont(canvases_[0]->font());
    return o;
}

void LiveDisplay::runStarted() {
    chart_ = engine_.measurement().kindOfMeasure == 0;
    for (QLabel* l : labels_) l->show();
    placeLabels();
    if (oben_) {
        QSignalBlocker block(oben_);
        oben_->setValue(plot::kScrollTopMin);
    }
    {
        QSignalBlocker block(window_.autoScaleBox());
        window_.autoScaleBox()->setChecked(true);
    }
    engine_.plot().autoScale = true;
    cursorMode_ = 0;
}

void LiveDisplay::renderBox(int index, bool reportLater) {
    LivePlotCanvas* c = canvases_[std::size_t(index)];
    if (c->image().size() != c->size()) c->image() = QImage(c->size(), QImage::Format_RGB32);
    const live::TraceSource s = source();
    const auto failure = live::renderFull(c->image(), s, engine_.plot(), options(index));
    c->stale = false;
    c->update();
    failureShown_ = false;
    reportFailure(failure, *c, s, reportLater);
}

void LiveDisplay::reportFailure(const std::optional<live::FailedPoint>& f, const LivePlotCanvas& canvas,
                                const live::TraceSource& s, bool later) {
    if (!f || failureShown_) return;
    failureShown_ = true;
    std::string text = live::failureText(
        *f, live::liveScale(canvas.width(), canvas.height(), engine_.plot(), s.chart, s.points));
    if (!later) {
        window_.context().dialogs.show(text);
        return;
    }
    QMetaObject::invokeMethod(
        this, [this, text = std::move(text)] { window_.context().dialogs.show(text); }, Qt::QueuedConnection);
}

void LiveDisplay::redraw() {
    const int shown = visibleIndex();
    canvases_[std::size_t(1 - shown)]->stale = true;
    renderBox(shown);
    updateCursorLabels();
}

void LiveDisplay::drawPoint(std::size_t record) {
    const int shown = visibleIndex();
    canvases_[std::size_t(1 - shown)]->stale = true;
    LivePlotCanvas* c = canvases_[std::size_t(shown)];
    // The engine counts the point as measured only after this call, so a picture owed from before
    // does not hold it yet: the point goes on top as usual.
    if (c->stale) renderBox(shown);
    const live::TraceSource s = source();
    std::optional<live::FailedPoint> failure;
    const QRect dirty = live::renderPoint(c->image(), s, engine_.plot(), options(shown), record, &failure);
    if (!dirty.isEmpty()) c->update(dirty);
    reportFailure(failure, *c, s, false);
}

void LiveDisplay::updateCursorLabels() {
    const PlotScale& p = engine_.plot();
    labels_[0]->setText(QString::fromStdString(text::formatPattern(p.cursor1, "0.000")));
    labels_[1]->setText(QString::fromStdString(text::formatPattern(p.cursor2, "0.000")));
    labels_[2]->setText(QString::fromStdString(text::formatPattern(p.cursor2 - p.cursor1, "0.000")));
}

void LiveDisplay::placeLabels() {
    // Right-aligned over the plot, beside the measurements label.
    const int right = (visibleIndex() ? window_.multiPlotBox() : window_.plotBox())->geometry().right();
    for (int i = 0; i < 3; ++i)
        labels_[std::size_t(i)]->setGeometry(right + 1 - (3 - i) * (kLabelWidth + 2), 4, kLabelWidth, 17);
    if (axisCaption_) {
        const int w = multiView_->sizeHint().width();
        const int ringWidth = window_.ringCurrentLabel()->isVisible() ? 62 : 0;
        multiView_->setGeometry(axisCaption_->width() - w - 2 - ringWidth, 0, w, axisCaption_->height());
    }
}

bool LiveDisplay::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::Resize || event->type() == QEvent::Move) placeLabels();
    return QObject::eventFilter(watched, event);
}

void LiveDisplay::mousePressed(LivePlotCanvas* canvas, int column, Qt::MouseButton button) {
    if (window_.fields().kindOfMeasure == 0 || chart_) return;
    PlotScale& p = engine_.plot();
    const double x = plot::liveMouseX(column, plot::liveDataArea(canvas->width(), canvas->height()).width,
                                      p.xStart, p.xEnd);
    if (button == Qt::LeftButton) {
        cursorMode_ = 1;
        p.cursor1 = x;
    } else if (button == Qt::RightButton) {
        cursorMode_ = 2;
        p.cursor2 = x;
    } else {
        return;
    }
    redraw();
}

void LiveDisplay::mouseDragged(LivePlotCanvas* canvas, int column) {
    if (cursorMode_ == 0) return;
    PlotScale& p = engine_.plot();
    const double x = plot::liveMouseX(column, plot::liveDataArea(canvas->width(), canvas->height()).width,
                                      p.xStart, p.xEnd);
    (cursorMode_ == 1 ? p.cursor1 : p.cursor2) = x;
    redraw();
}

void LiveDisplay::scrollTopChanged(int position) {
    const live::TraceSource s = source();
    if (live::scrollIgnored(s)) return;
    {
        QSignalBlocker block(window_.autoScaleBox());
        window_.autoScaleBox()->setChecked(false);
    }
    PlotScale& p = engine_.plot();
    p.autoScale = false;
    if (auto range = plot::scrollTopRange(position, live::scrollSpan(s), p.yMax)) {
        p.yMin = range->yMin;
        p.yMax = range->yMax;
    }
    redraw();
}

void LiveDisplay::showMultichanneltron(bool on) {
    QFrame* single = window_.plotBox();
    QFrame* multi = window_.multiPlotBox();
    QFrame* shown = on ? multi : single;
    QFrame* hidden = on ? single : multi;
    const int left = std::max(hidden->x(), shown->x());
    shown->move(left, hidden->y());
    hidden->move(-2000, hidden->y());
    placeLabels();
    const int index = on ? 1 : 0;
    if (canvases_[std::size_t(index)]->stale) renderBox(index);
    updateCursorLabels();
}

} // namespace korvo

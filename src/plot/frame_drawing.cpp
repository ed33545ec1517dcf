#include "plot/frame_drawing.h"

#include <QFont>
#include <QFontInfo>
#include <QFontMetrics>
#include <QPainter>
#include <QString>
#include <QTransform>

#include <algorithm>

namespace korvo::plot {

namespace {

QPen framePen(const QColor& colour, bool dotted) {
    QPen pen(colour, 1);
    pen.setCapStyle(Qt::FlatCap);
    if (dotted) pen.setDashPattern({1.0, 1.0});
    return pen;
}

int sign(int v) {
    return (v > 0) - (v < 0);
}

// A segment covers its start pixel and stops one pixel short of its end, whichever way it runs.
// Qt's aliased flat-cap line covers the half-open span [min, max) of its device coordinates, so the
// covered pixels [lo, hi] are drawn as the span [lo, hi + 1), mirrored when y is negated.
void drawSegment(QPainter& p, const Segment& s, int ySign) {
    const int dx = sign(s.x2 - s.x1), dy = sign(s.y2 - s.y1);
    if ((dx == 0) == (dy == 0)) return; // empty, or not along an axis (the frame has none)
    if (dy == 0) {
        const int lo = std::min(s.x1, s.x2 - dx), hi = std::max(s.x1, s.x2 - dx);
        p.drawLine(QPoint(lo, ySign * s.y1), QPoint(hi + 1, ySign * s.y1));
        return;
    }
    const int lo = std::min(s.y1, s.y2 - dy), hi = std::max(s.y1, s.y2 - dy);
    if (ySign >= 0)
        p.drawLine(QPoint(s.x1, lo), QPoint(s.x1, hi + 1));
    else
        p.drawLine(QPoint(s.x1, -(hi + 1)), QPoint(s.x1, -lo));
}

// The counts labels end a few units left of the data area, however long they are. A label wider than
// the room between the canvas's left edge and its end would lose its first digits ("2.8E04" shown as
// ".8E04"), so the counts labels take smaller sizes of the font until the widest one fits, down to
// half the size. The data area, the mapping and the labels' places stay as they are.
QFont countsLabelFont(QPainter& p, const FrameLayout& f) {
    const QFont font = p.font();
    const auto fits = [&](const QFont& candidate) {
        const QFontMetrics fm(candidate, p.device());
        for (const FrameLabel& l : f.labels)
            if (l.anchor == LabelAnchor::RightMiddle &&
                fm.horizontalAdvance(QString::fromStdString(l.text)) > l.x - f.canvasLeft)
                return false;
        return true;
    };
    if (fits(font)) return font;
    const int size = p.fontInfo().pixelSize();
    QFont smaller = font;
    for (int pixels = size - 1; pixels >= std::max(size / 2, 1); --pixels) {
        smaller.setPixelSize(pixels);
        if (fits(smaller)) break;
    }
    return smaller;
}

void drawLabel(QPainter& p, const FrameLabel& l, int canvasLeft, int ySign) {
    const QString text = QString::fromStdString(l.text);
    const QFontMetrics fm = p.fontMetrics();
    QPoint baseline;
    if (l.anchor == LabelAnchor::CentreTop)
        baseline = QPoint(-fm.horizontalAdvance(text) / 2, fm.ascent());
    else // a label too long even at the smallest size starts at the canvas's edge rather than before it
        baseline = QPoint(std::max(-fm.horizontalAdvance(text), canvasLeft - l.x), fm.height() / 2);
    if (ySign >= 0) {
        p.drawText(QPoint(l.x, l.y) + baseline, text);
        return;
    }
    // On a page with y upwards the text is placed in a local frame flipped back to y downwards.
    p.save();
    p.translate(l.x, -l.y);
    p.scale(1.0, -1.0);
    p.drawText(baseline, text);
    p.restore();
}

} // namespace

void drawFrame(QPainter& p, const FrameLayout& f, const FrameDrawState& state, int ySign) {
    if (state.Closing) return;
    const bool black = state.BlackDrawing > 0;
    const QColor grey = black ? QColor(Qt::black) : kFrameGrey;
    const QColor light = black ? QColor(Qt::black) : state.light;
    const QPainter::RenderHints hints = p.renderHints();
    const QBrush background = p.background();
    const Qt::BGMode backgroundMode = p.backgroundMode();
    p.setRenderHint(QPainter::Antialiasing, false);
    p.setRenderHint(QPainter::TextAntialiasing, false);
    p.setCompositionMode(QPainter::CompositionMode_SourceOver);
    p.setBrush(Qt::NoBrush);
    // Labels are plain pixels, as on the monochrome layout bitmap.
    const QFont font = p.font();
    QFont plain = font;
    plain.setStyleStrategy(QFont::NoAntialias);
    p.setFont(plain);
    // Labels sit on white, and the gaps of dotted lines are white as well.
    p.setBackground(Qt::white);
    p.setBackgroundMode(Qt::OpaqueMode);

    p.setPen(framePen(light, true));
    for (const Segment& s : f.gridLines) drawSegment(p, s, ySign);
    p.setPen(framePen(light, false));
    for (const Segment& s : f.minorMarks) drawSegment(p, s, ySign);
    p.setPen(framePen(grey, false));
    const QFont countsFont = countsLabelFont(p, f);
    for (const FrameLabel& l : f.labels) {
        p.setFont(l.anchor == LabelAnchor::RightMiddle ? countsFont : plain);
        drawLabel(p, l, f.canvasLeft, ySign);
    }
    if (f.border) {
        const int l = f.left, t = f.top, r = f.left + f.width, b = f.top + f.height;
        drawSegment(p, {l, t, r, t}, ySign);
        drawSegment(p, {r, t, r, b}, ySign);
        drawSegment(p, {r, b, l, b}, ySign);
        drawSegment(p, {l, b, l, t}, ySign);
    }

    p.setPen(framePen(grey, true));
    p.setFont(font);
    p.setBackground(background);
    p.setBackgroundMode(backgroundMode);
    p.setRenderHints(hints, true);
    p.setRenderHints(~hints, false);
}

void DrawAxesScreen(QPainter& painter, double XMin, double XMax, double YMin, double YMax, double XPerPixel,
                    double YPerPixel, int plotWidth, int plotHeight, const FrameDrawState& state) {
    if (state.Closing) return;
    drawFrame(painter, screenFrameLayout(XMin, XMax, YMin, YMax, XPerPixel, YPerPixel, plotWidth, plotHeight),
              state, 1);
}

void DrawAxesPrinter(QPainter& painter, double XMin, double XMax, double YMin, double YMax, double xPerUnit,
                     double yPerUnit, int cellWidth, int cellHeight, int cellLeft, int cellTop,
                     const FrameDrawState& state) {
    if (state.Closing) return;
    drawFrame(
        painter,
        cellFrameLayout(XMin, XMax, YMin, YMax, xPerUnit, yPerUnit, cellWidth, cellHeight, cellLeft, cellTop),
        state, -1);
}

void DrawAxesBitmap(QPainter& painter, double XMin, double XMax, double YMin, double YMax, double xPerUnit,
                    double yPerUnit, int cellWidth, int cellHeight, const FrameDrawState& state) {
    if (state.Closing) return;
    drawFrame(painter,
              cellFrameLayout(XMin, XMax, YMin, YMax, xPerUnit, yPerUnit, cellWidth, cellHeight, 0, 0), state,
              1);
}

void applyPageUnits(QPainter& painter, double dotsPerInchX, double dotsPerInchY) {
    painter.setTransform(QTransform::fromScale(dotsPerInchX / 254.0, -dotsPerInchY / 254.0));
}

} // namespace korvo::plot

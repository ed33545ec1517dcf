#include "viewer/viewer_paint.h"

#include "plot/plot_mapping.h"
#include "viewer/colour_view.h"
#include "viewer/curves.h"

#include <QImage>
#include <QPaintDevice>
#include <QPaintEngine>
#include <QPainter>
#include <QPen>
#include <QPoint>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <optional>
#include <vector>

namespace korvo {

namespace {

QColor qColour(CurveColour c) {
    return QColor(c.r, c.g, c.b);
}

void drawCurve(QPainter& p, const Curve& curve, CurveColour colour, std::vector<QPoint>& scratch) {
    QPen pen(qColour(colour), 0);
    pen.setCosmetic(true);
    p.setPen(pen);
    for (const auto& piece : curve.pieces) {
        scratch.clear();
        for (const CurvePixel& px : piece) scratch.emplace_back(px.x, px.y);
        if (scratch.size() == 1)
            p.drawPoint(scratch.front());
        else
            p.drawPolyline(scratch.data(), int(scratch.size()));
    }
}

// Curves straight into a 32-bit image: a hundred spectra of a thousand points are a hundred thousand
// short lines, and QPainter's general line path costs several times what plain Bresenham does here.
// Used only where it gives what QPainter would: an opaque 32-bit image with no transform or clip of
// its own; the lines are cut to `area` as QPainter's clip would cut them.
class ImageLines {
public:
    static std::optional<ImageLines> of(QPainter& p, QRect area) {
        QPaintDevice* device = p.device();
        if (!device || device->devType() != QInternal::Image || p.paintEngine()->type() != QPaintEngine::Raster)
            return std::nullopt;
        auto* image = static_cast<QImage*>(device);
        const QImage::Format f = image->format();
        if (f != QImage::Format_RGB32 && f != QImage::Format_ARGB32 && f != QImage::Format_ARGB32_Premultiplied)
            return std::nullopt;
        if (!p.transform().isIdentity() || p.hasClipping() || image->devicePixelRatio() != 1.0) return std::nullopt;
        return ImageLines(*image, area);
    }

    void draw(const Curve& curve, CurveColour c) {
        const QRgb rgb = qRgb(c.r, c.g, c.b);
        for (const auto& piece : curve.pieces) {
            if (piece.size() == 1) plot(piece[0].x, piece[0].y, rgb);
            for (std::size_t i = 1; i < piece.size(); ++i)
                line(piece[i - 1].x, piece[i - 1].y, piece[i].x, piece[i].y, rgb);
        }
    }

private:
    ImageLines(QImage& image, QRect area)
        : bits_(image.bits()), stride_(image.bytesPerLine()), clip_(area.intersected(image.rect())) {}

    void plot(int x, int y, QRgb rgb) {
        if (clip_.contains(x, y)) reinterpret_cast<QRgb*>(bits_ + std::ptrdiff_t(y) * stride_)[x] = rgb;
    }

    // The segment cut to the clip rectangle first (a view zoomed far in puts the ends millions of
    // pixels away), then Bresenham with both ends drawn.
    void line(int x0, int y0, int x1, int y1, QRgb rgb) {
        double ax = x0, ay = y0, bx = x1, by = y1;
        if (!clip(ax, ay, bx, by)) return;
        int xa = int(std::lround(ax)), ya = int(std::lround(ay)), xb = int(std::lround(bx)), yb = int(std::lround(by));
        const int dx = std::abs(xb - xa), dy = -std::abs(yb - ya);
        const int sx = xa < xb ? 1 : -1, sy = ya < yb ? 1 : -1;
        int err = dx + dy;
        for (;;) {
            plot(xa, ya, rgb);
            if (xa == xb && ya == yb) break;
            const int e2 = 2 * err;
            if (e2 >= dy) err += dy, xa += sx;
            if (e2 <= dx) err += dx, ya += sy;
        }
    }

    // Liang-Barsky against the clip rectangle.
    bool clip(double& x0, double& y0, double& x1, double& y1) const {
        if (clip_.isEmpty()) return false;
        double t0 = 0, t1 = 1;
        const double dx = x1 - x0, dy = y1 - y0;
        const double p[4] = {-dx, dx, -dy, dy};
        const double q[4] = {x0 - clip_.left(), clip_.right() - x0, y0 - clip_.top(), clip_.bottom() - y0};
        for (int i = 0; i < 4; ++i) {
            if (p[i] == 0) {
                if (q[i] < 0) return false;
                continue;
            }
            const double t = q[i] / p[i];
            if (p[i] < 0)
                t0 = std::max(t0, t);
            else
                t1 = std::min(t1, t);
            if (t0 > t1) return false;
        }
        const double sx = x0, sy = y0;
        x0 = sx + t0 * dx, y0 = sy + t0 * dy;
        x1 = sx + t1 * dx, y1 = sy + t1 * dy;
        return true;
    }

    uchar* bits_;
    qsizetype stride_;
    QRect clip_;
};

// The data area with its border: curves, colour bands and marks are cut to it, so that a zoomed
// view shows nothing of its spectra above the frame or in the gutter right of it.
QRect dataArea(const tvar& ws) {
    const plot::DataArea area = plot::viewerDataArea(ws.PlotWidth, ws.PlotHeight);
    return QRect(plot::kPlotLeft, plot::kPlotTop, std::max(area.width + 1, 0), std::max(area.height + 1, 0));
}

void drawCurves(QPainter& painter, std::optional<ImageLines>& direct, const tvar& ws,
                const ViewerPaintOptions& options, ViewMessages& messages) {
    std::vector<QPoint> scratch;
    // The EPS export draws one picture per spectrum: the active one alone, in black.
    const bool exporting = options.frame.BlackDrawing > 0;
    std::vector<Curve> curves;
    if (!exporting)
        curves = viewerCurves(ws, messages);
    else if (ws.Active >= 1 && ws.Active <= kMaxSpectra && ws.ShownCount > 0)
        curves.push_back(spectrumCurve(ws, ws.Active, messages));
    for (const Curve& curve : curves) {
        const CurveColour colour = exporting ? kPlainColour : curve.colour;
        if (direct)
            direct->draw(curve, colour);
        else
            drawCurve(painter, curve, colour, scratch);
    }
}

void drawFit(QPainter& painter, std::optional<ImageLines>& direct, const tvar& ws, const FitOverlay& fit,
             bool exporting, ViewMessages& messages) {
    const int k = fit.spectrum;
    if (!overlayFits(ws, fit) || (exporting && k != ws.Active)) return;
    const ViewerSpectrum& s = ws.spectrum(k);
    std::vector<QPoint> scratch;
    for (const FitLine& line : fitLines(fit, s.YMin, s.YTop)) {
        const Curve curve = curveThrough(ws, k, line.points, messages);
        const CurveColour colour = exporting ? kPlainColour : fitLineColour(line);
        if (direct)
            direct->draw(curve, colour);
        else
            drawCurve(painter, curve, colour, scratch);
    }
}

} // namespace

CurveColour fitLineColour(const FitLine& line) {
    static constexpr CurveColour kComponents[] = {{230, 120, 0}, {200, 0, 200}, {0, 150, 150},
                                                  {130, 130, 0}, {110, 60, 180}, {150, 75, 0}};
    switch (line.kind) {
    case FitLineKind::Envelope: return {220, 0, 0};
    case FitLineKind::Background: return {128, 128, 128};
    case FitLineKind::Residual: return {0, 110, 160};
    case FitLineKind::ResidualZero: return {176, 176, 176};
    case FitLineKind::Component: break;
    }
    return kComponents[std::size_t(std::max(line.component, 0)) % std::size(kComponents)];
}

void paintViewer(QPainter& painter, tvar& ws, const ViewerPaintOptions& options, ViewMessages& messages) {
    painter.fillRect(QRect(0, 0, ws.PlotWidth, ws.PlotHeight), Qt::white);
    if (options.frame.Closing) return;
    updateScalesForPaint(ws, messages);
    const int a = ws.Active;
    const bool active = a >= 1 && a <= kMaxSpectra && ws.ShownCount > 0;
    painter.setRenderHint(QPainter::Antialiasing, false);
    if (active) {
        const ViewerSpectrum& s = ws.spectrum(a);
        const XAxisView x = xAxisView(s, options.binding ? &*options.binding : nullptr);
        plot::DrawAxesScreen(painter, x.left, x.right, s.YMin, s.YMax, x.perPixel, s.YPerPixel, s.PlotWidthPx,
                             s.PlotHeightPx, options.frame);
    }
    const QRect area = dataArea(ws);
    painter.save();
    std::optional<ImageLines> direct = ImageLines::of(painter, area);
    painter.setClipRect(area, Qt::IntersectClip);
    if (options.colourScale > 0) {
        for (const ColourBand& b : colourViewBands(ws, options.colourScale, messages))
            painter.fillRect(QRect(b.left, b.top, b.right - b.left, b.bottom - b.top),
                             QColor(b.colour.r, b.colour.g, b.colour.b));
    } else {
        drawCurves(painter, direct, ws, options, messages);
        if (options.fit) drawFit(painter, direct, ws, *options.fit, options.frame.BlackDrawing > 0, messages);
    }
    if (options.measuring && active) {
        // The marks sit on their points, wherever the last zoom or scroll has moved them.
        ws.SelStartPx = ws.column(a, ws.SelStartX);
        ws.SelEndPx = ws.column(a, ws.SelEndX);
        const int bottom = ws.spectrum(a).PlotHeightPx + 5;
        painter.setPen(QPen(Qt::blue, 1));
        for (int column : {ws.SelStartPx, ws.SelEndPx}) painter.drawLine(column, 5, column, bottom);
    }
    painter.restore();
    if (options.zoomRect) {
        QPen pen(Qt::blue, 1, Qt::DotLine);
        painter.setPen(pen);
        painter.setBrush(Qt::NoBrush);
        painter.drawRect(options.zoomRect->normalized());
    }
}

} // namespace korvo

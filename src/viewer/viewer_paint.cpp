#include "viewer/viewer_paint.h"

#include "viewer/curves.h"

#include <QPainter>
#include <QPen>
#include <QPoint>

#include <vector>

namespace korvo {

namespace {

QColor qColour(CurveColour c) {
    return QColor(c.r, c.g, c.b);
}

void drawCurve(QPainter& p, const Curve& curve, CurveColour colour, std::vector<QPoint>& scratch) {
    QPen pen(qColour(colour), 1);
    pen.setCapStyle(Qt::FlatCap);
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

} // namespace

void paintViewer(QPainter& painter, tvar& ws, const ViewerPaintOptions& options, ViewMessages& messages) {
    painter.fillRect(QRect(0, 0, ws.PlotWidth, ws.PlotHeight), Qt::white);
    if (options.frame.Closing) return;
    updateScalesForPaint(ws, messages);
    const int a = ws.Active;
    const bool active = a >= 1 && a <= kMaxSpectra && ws.ShownCount > 0;
    painter.setRenderHint(QPainter::Antialiasing, false);
    if (active) {
        const ViewerSpectrum& s = ws.spectrum(a);
        plot::DrawAxesScreen(painter, s.XMin, s.XMax, s.YMin, s.YMax, s.XPerPixel, s.YPerPixel, s.PlotWidthPx,
                             s.PlotHeightPx, options.frame);
    }
    std::vector<QPoint> scratch;
    for (const Curve& curve : viewerCurves(ws, messages)) {
        // The EPS export draws in black only.
        drawCurve(painter, curve, options.frame.BlackDrawing > 0 ? kPlainColour : curve.colour, scratch);
    }
    if (options.measuring && active) {
        // The marks sit on their points, wherever the last zoom or scroll has moved them.
        ws.SelStartPx = ws.column(a, ws.SelStartX);
        ws.SelEndPx = ws.column(a, ws.SelEndX);
        const int bottom = ws.spectrum(a).PlotHeightPx + 5;
        painter.setPen(QPen(Qt::blue, 1));
        for (int column : {ws.SelStartPx, ws.SelEndPx}) painter.drawLine(column, 5, column, bottom);
    }
    if (options.zoomRect) {
        QPen pen(Qt::blue, 1, Qt::DotLine);
        painter.setPen(pen);
        painter.setBrush(Qt::NoBrush);
        painter.drawRect(options.zoomRect->normalized());
    }
}

} // namespace korvo

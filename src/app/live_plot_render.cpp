#include "app/live_plot_render.h"

#include "acquisition/context.h"
#include "plot/frame_drawing.h"
#include "plot/frame_layout.h"

#include <QPainter>
#include <QPolygon>

#include <algorithm>
#include <cmath>

namespace korvo::live {

QRgb rgbOf(std::uint32_t bgr) {
    return qRgb(int(bgr & 0xFF), int((bgr >> 8) & 0xFF), int((bgr >> 16) & 0xFF));
}

QRgb channelRgb(int c) {
    const Rgb& k = kChannelColours[std::size_t(std::clamp(c, 0, 9))];
    return qRgb(k.r, k.g, k.b);
}

namespace {

// Direct pixel writes: a spot is a handful of pixels, and a painter per spot would cost more than
// the spot itself.
class PixelWriter {
public:
    explicit PixelWriter(QImage& image)
        : bits_(image.bits()), stride_(image.bytesPerLine()), w_(image.width()), h_(image.height()) {}
    void set(int x, int y, QRgb c) {
        if (x < 0 || y < 0 || x >= w_ || y >= h_) return;
        reinterpret_cast<QRgb*>(bits_ + std::ptrdiff_t(y) * stride_)[x] = c;
    }
    // The centre and its four neighbours.
    void cross(Pixel p, QRgb c) {
        set(p.x, p.y, c);
        set(p.x - 1, p.y, c);
        set(p.x + 1, p.y, c);
        set(p.x, p.y - 1, c);
        set(p.x, p.y + 1, c);
    }
    void square(Pixel p, QRgb c) {
        for (int dy = -2; dy <= 2; ++dy)
            for (int dx = -2; dx <= 2; ++dx) set(p.x + dx, p.y + dy, c);
    }

private:
    uchar* bits_;
    qsizetype stride_;
    int w_, h_;
};

void fillMargins(QImage& image, QRgb margin) {
    const int W = image.width(), H = image.height();
    image.fill(Qt::white);
    QPainter p(&image);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor::fromRgb(margin));
    // Left, top, bottom and right margins; the data area from (45, 5) to (W - 15, H - 30) stays
    // white, together with the one-pixel ring around it that the margins leave uncovered.
    p.drawRect(QRect(QPoint(0, 0), QPoint(43, H - 1)));
    p.drawRect(QRect(QPoint(44, 0), QPoint(W - 15, 3)));
    p.drawRect(QRect(QPoint(44, H - 29), QPoint(W - 15, H - 1)));
    p.drawRect(QRect(QPoint(W - 14, 0), QPoint(W - 1, H - 1)));
}

// The frame of the data area through the shared frame layout. A falling energy axis (start above
// end) runs from the left as the curves do, so its ticks are mirrored.
void drawFrame(QPainter& p, const LiveScale& k, const RenderOptions& o) {
    const bool yUsable = k.yMax > k.yMin;
    const double xLo = std::min(k.xStart, k.xEnd), xHi = std::max(k.xStart, k.xEnd);
    const double xUnit = std::fabs(k.xPerPixel);
    plot::FrameLayout f = plot::screenFrameLayout(xLo, xHi, yUsable ? k.yMin : 0, yUsable ? k.yMax : 0, xUnit,
                                                  yUsable ? k.yPerPixel : 0, k.plotWidth, k.plotHeight);
    if (k.xPerPixel < 0) {
        const int mirror = 2 * plot::kPlotLeft + k.plotWidth;
        auto flipVertical = [&](plot::Segment& s) {
            if (s.x1 == s.x2) s.x1 = s.x2 = mirror - s.x1;
        };
        for (auto& s : f.gridLines) flipVertical(s);
        for (auto& s : f.minorMarks) flipVertical(s);
        for (auto& l : f.labels)
            if (l.anchor == plot::LabelAnchor::CentreTop) l.x = mirror - l.x;
    }
    p.setFont(o.font);
    plot::drawFrame(p, f, plot::FrameDrawState{}, 1);
}

void drawCursor(QPainter& p, const LiveScale& k, double x, std::uint32_t colour) {
    const double col = (x - k.xStart) / k.xPerPixel + plot::kPlotLeft;
    if (!std::isfinite(col) || std::fabs(col) > plot::kPixelLimit) return;
    p.setPen(QPen(QColor::fromRgb(rgbOf(colour)), 1));
    const int c = plot::toPixel(col);
    p.drawLine(c, 7, c, k.boxHeight - 1);
}

void drawLine(QPainter& p, const std::vector<Pixel>& pts, const QPen& pen) {
    if (pts.empty()) return;
    p.setPen(pen);
    if (pts.size() == 1) {
        p.drawPoint(pts[0].x, pts[0].y);
        return;
    }
    QPolygon poly(int(pts.size()));
    for (int i = 0; i < int(pts.size()); ++i) poly.setPoint(i, pts[std::size_t(i)].x, pts[std::size_t(i)].y);
    p.drawPolyline(poly);
}

QPen averagePen() {
    QPen pen(QColor::fromRgb(rgbOf(kAverageLineColour)), 2);
    pen.setJoinStyle(Qt::RoundJoin);
    pen.setCapStyle(Qt::RoundCap);
    return pen;
}

void keepFirst(std::optional<FailedPoint>& into, const std::optional<FailedPoint>& f) {
    if (!into && f) into = f;
}

} // namespace

std::optional<FailedPoint> renderFull(QImage& image, const TraceSource& s, const PlotScale& plot,
                                      const RenderOptions& o) {
    std::optional<FailedPoint> failure;
    if (image.isNull()) return failure;
    fillMargins(image, rgbOf(o.marginColour));
    const LiveScale k = liveScale(image.width(), image.height(), plot, s.chart, s.points);
    if (o.closing || !o.drawEnabled || !k.hasArea()) return failure;

    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing, false);
    drawFrame(p, k, o);
    if (!s.chart) {
        drawCursor(p, k, plot.cursor1, kCursor1Colour);
        drawCursor(p, k, plot.cursor2, kCursor2Colour);
    }
    if (!s.data) return failure;

    PixelWriter px(image);
    if (o.multi) {
        if (hasAverages(s)) {
            for (int c = 1; c <= 9; ++c) {
                Curve line = averageLine(s, k, c);
                drawLine(p, line.points, QPen(QColor::fromRgb(channelRgb(c)), 1));
                keepFirst(failure, line.failure);
            }
        }
        p.end(); // the spots go straight into the pixels
        for (int c = 1; c <= 9; ++c) {
            Curve spots = currentSpots(s, k, c);
            const QRgb colour = channelRgb(c);
            for (const Pixel& q : spots.points) px.cross(q, colour);
            keepFirst(failure, spots.failure);
        }
        return failure;
    }
    if (hasAverages(s)) {
        Curve line = averageLine(s, k, 0);
        drawLine(p, line.points, averagePen());
        keepFirst(failure, line.failure);
        p.end();
        Curve spots = currentSpots(s, k, 0);
        const QRgb colour = rgbOf(plot.currentPointColour);
        for (const Pixel& q : spots.points) o.bigSpots ? px.square(q, colour) : px.cross(q, colour);
        keepFirst(failure, spots.failure);
    } else {
        Curve line = currentLine(s, k, 0);
        drawLine(p, line.points, averagePen());
        keepFirst(failure, line.failure);
    }
    return failure;
}

QRect renderPoint(QImage& image, const TraceSource& s, const PlotScale& plot, const RenderOptions& o,
                  std::size_t record, std::optional<FailedPoint>* failure) {
    QRect dirty;
    if (image.isNull() || o.closing || !o.drawEnabled || !s.data || record == 0 || record >= s.data->size())
        return dirty;
    const LiveScale k = liveScale(image.width(), image.height(), plot, s.chart, s.points);
    if (!k.hasArea()) return dirty;
    const MeasurementRecord& rec = (*s.data)[record];
    auto fail = [&](double x, double y) {
        if (failure && !*failure) *failure = FailedPoint{record, x, y};
    };
    auto touch = [&](Pixel q, int reach) {
        dirty |= QRect(q.x - reach, q.y - reach, 2 * reach + 1, 2 * reach + 1);
    };
    PixelWriter px(image);

    if (o.multi) {
        for (int c = 1; c <= 9; ++c) {
            const double y = currentValue(rec, c, s);
            if (auto q = mapPoint(k, rec.enScan, y)) {
                px.cross(*q, channelRgb(c));
                touch(*q, 1);
            } else {
                fail(rec.enScan, y);
            }
        }
        return dirty & image.rect();
    }

    const auto q = mapPoint(k, rec.enScan, rec.CoScan[0]);
    if (!q) {
        fail(rec.enScan, rec.CoScan[0]);
        return dirty;
    }
    if (hasAverages(s)) {
        const QRgb colour = rgbOf(plot.currentPointColour);
        o.bigSpots ? px.square(*q, colour) : px.cross(*q, colour);
        touch(*q, 2);
        return dirty & image.rect();
    }
    // First scan: a segment from the previous completed point of this scan.
    const std::size_t firstRecord = s.chart ? 1 : std::size_t(s.maxPositiveShift) + 1;
    std::optional<Pixel> from;
    if (record > firstRecord) {
        const MeasurementRecord& prev = (*s.data)[record - 1];
        from = mapPoint(k, prev.enScan, prev.CoScan[0]);
    }
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing, false);
    drawLine(p, from ? std::vector<Pixel>{*from, *q} : std::vector<Pixel>{*q}, averagePen());
    touch(*q, 2);
    if (from) touch(*from, 2);
    return dirty & image.rect();
}

} // namespace korvo::live

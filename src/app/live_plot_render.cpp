#include "app/live_plot_render.h"

#include "acquisition/context.h"
#include "plot/frame_drawing.h"

#include <QPainter>

#include <algorithm>
#include <cmath>

namespace korvo::live {

namespace {
QRgb qRgbOf(const Rgb& c) {
    return qRgb(c.r, c.g, c.b);
}
} // namespace

QRgb rgbOf(std::uint32_t bgr) {
    return qRgbOf(rgbFromColourNumber(bgr));
}

QRgb channelRgb(int c) {
    return qRgbOf(kChannelColours[std::size_t(std::clamp(c, 0, 9))]);
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
    // A straight line including both ends; `wide` doubles it across its run, as a two-pixel pen.
    // The part outside the image is cut off first, so far-off points cost nothing.
    void line(Pixel a, Pixel b, QRgb c, bool wide) {
        double x0 = a.x, y0 = a.y, x1 = b.x, y1 = b.y;
        if (!clip(x0, y0, x1, y1)) return;
        int xa = int(std::lrint(x0)), ya = int(std::lrint(y0));
        const int xb = int(std::lrint(x1)), yb = int(std::lrint(y1));
        const int dx = std::abs(xb - xa), dy = -std::abs(yb - ya);
        const int sx = xa < xb ? 1 : -1, sy = ya < yb ? 1 : -1;
        const bool xMajor = dx >= -dy;
        int err = dx + dy;
        for (;;) {
            set(xa, ya, c);
            if (wide) xMajor ? set(xa, ya + 1, c) : set(xa + 1, ya, c);
            if (xa == xb && ya == yb) break;
            const int e2 = 2 * err;
            if (e2 >= dy) {
                err += dy;
                xa += sx;
            }
            if (e2 <= dx) {
                err += dx;
                ya += sy;
            }
        }
    }
    // A thinned curve comes as runs of points in one column (first, lowest, highest, last): each run
    // is drawn as one vertical stroke over its extremes, which are exactly the pixels its segments
    // cover, and the runs are joined by ordinary segments.
    void polyline(const std::vector<Pixel>& pts, QRgb c, bool wide) {
        std::size_t i = 0;
        while (i < pts.size()) {
            std::size_t j = i;
            int lo = pts[i].y, hi = pts[i].y;
            while (j + 1 < pts.size() && pts[j + 1].x == pts[i].x) {
                ++j;
                lo = std::min(lo, pts[j].y);
                hi = std::max(hi, pts[j].y);
            }
            if (i > 0) line(pts[i - 1], pts[i], c, wide);
            if (j > i) {
                vline(pts[i].x, lo, hi, c);
                if (wide) vline(pts[i].x + 1, lo, hi, c);
            } else if (i == 0) {
                line(pts[i], pts[i], c, wide);
            }
            i = j + 1;
        }
    }
    void vline(int x, int y0, int y1, QRgb c) {
        if (x < 0 || x >= w_) return;
        y0 = std::max(y0, 0);
        y1 = std::min(y1, h_ - 1);
        uchar* row = bits_ + std::ptrdiff_t(y0) * stride_ + std::ptrdiff_t(x) * 4;
        for (int y = y0; y <= y1; ++y, row += stride_) *reinterpret_cast<QRgb*>(row) = c;
    }

private:
    // Liang-Barsky: the part of the segment inside the image grown by one pixel; false if none.
    bool clip(double& x0, double& y0, double& x1, double& y1) const {
        const double dx = x1 - x0, dy = y1 - y0;
        double t0 = 0, t1 = 1;
        const double p[4] = {-dx, dx, -dy, dy};
        const double q[4] = {x0 + 1, w_ - x0, y0 + 1, h_ - y0};
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
        const double ox = x0, oy = y0;
        x0 = ox + t0 * dx;
        y0 = oy + t0 * dy;
        x1 = ox + t1 * dx;
        y1 = oy + t1 * dy;
        return true;
    }

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
// end) has a negative unit per pixel, which the layout reads as "largest value on the left", as the
// curves run. The c(t) chart has no energy ramp and so no ticks along x.
void drawFrame(QPainter& p, const LiveScale& k, const RenderOptions& o, bool chart) {
    const bool yUsable = k.yMax > k.yMin;
    p.setFont(o.font);
    plot::DrawAxesScreen(p, k.xStart, chart ? k.xStart : k.xEnd, yUsable ? k.yMin : 0, yUsable ? k.yMax : 0,
                         k.xPerPixel, yUsable ? k.yPerPixel : 0, k.plotWidth, k.plotHeight);
}

void drawCursor(PixelWriter& px, const LiveScale& k, double x, std::uint32_t colour) {
    const double col = (x - k.xStart) / k.xPerPixel + plot::kPlotLeft;
    if (!(std::fabs(col) <= plot::kPixelLimit)) return;
    px.vline(int(std::lrint(col)), 7, k.boxHeight - 1, rgbOf(colour));
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

    {
        QPainter p(&image);
        p.setRenderHint(QPainter::Antialiasing, false);
        drawFrame(p, k, o, s.chart);
    }
    // Curves go straight into the pixels: tens of thousands of points per curve.
    PixelWriter px(image);
    if (!s.chart) {
        drawCursor(px, k, plot.cursor1, kCursor1Colour);
        drawCursor(px, k, plot.cursor2, kCursor2Colour);
    }
    if (!s.data) return failure;

    auto spots = [&](int channel, QRgb colour, bool big) {
        std::optional<Pixel> last;
        keepFirst(failure, forEachPoint(s, k, channel, false, [&](Pixel q) {
                      if (last == q) return;
                      last = q;
                      big ? px.square(q, colour) : px.cross(q, colour);
                  }));
    };
    auto line = [&](const Curve& c, QRgb colour, bool wide) {
        px.polyline(c.points, colour, wide);
        keepFirst(failure, c.failure);
    };
    const QRgb averageColour = rgbOf(kAverageLineColour);
    if (o.multi) {
        if (hasAverages(s))
            for (int c = 1; c <= 9; ++c) line(averageLine(s, k, c), channelRgb(c), false);
        for (int c = 1; c <= 9; ++c) spots(c, channelRgb(c), false);
    } else if (hasAverages(s)) {
        line(averageLine(s, k, 0), averageColour, true);
        spots(0, rgbOf(plot.currentPointColour), o.bigSpots);
    } else {
        line(currentLine(s, k, 0), averageColour, true);
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
    px.line(from ? *from : *q, *q, rgbOf(kAverageLineColour), true);
    touch(*q, 2);
    if (from) touch(*from, 2);
    return dirty & image.rect();
}

} // namespace korvo::live

#include "viewer/ui/clipping_drawing.h"

#include <QPainter>

#include <algorithm>
#include <cmath>

namespace korvo {

ClippingDrawing::ClippingDrawing(QSize size, std::function<void(const QImage&)> shown)
    : image_(size.expandedTo(QSize(1, 1)), QImage::Format_RGB32), shown_(std::move(shown)) {
    image_.fill(Qt::black);
}

void ClippingDrawing::beginSpectrum(int) {
    image_.fill(Qt::black);
}

void ClippingDrawing::curve(Curve kind, std::span<const double> values, double lo, double hi) {
    // A flat spectrum has no scale to draw on.
    if (!(hi > lo) || values.empty()) return;
    const double w = image_.width() - 1, h = image_.height() - 1;
    const double m = double(values.size());
    // The difference is drawn from the bottom edge, the others from the smallest count.
    const double base = kind == Curve::Difference ? 0 : lo;
    line_.clear();
    for (std::size_t i = 0; i < values.size(); ++i) {
        const double row = (1 - (values[i] - base) / (hi - lo)) * h;
        line_.emplace_back(int(w * double(i + 1) / m), int(std::clamp(row, -1e6, 1e6)));
    }
    QColor colour;
    switch (kind) {
    case Curve::Counts: colour = Qt::white; break;
    case Curve::Intermediate: colour = QColor(0x55, 0x55, 0xFF); break;
    case Curve::Background: colour = QColor(0xFF, 0x88, 0x00); break;
    case Curve::Difference: colour = QColor(0xFF, 0xFF, 0x00); break;
    }
    {
        QPainter p(&image_);
        p.setPen(QPen(colour, 0));
        p.drawPolyline(line_.data(), int(line_.size()));
    }
    if (shown_) shown_(image_);
}

} // namespace korvo

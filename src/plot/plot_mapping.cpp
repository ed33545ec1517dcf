#include "plot/plot_mapping.h"

#include <algorithm>
#include <cmath>

namespace korvo::plot {

int toPixel(double position) {
    if (std::isnan(position)) return -kPixelLimit;
    const double r = std::nearbyint(std::clamp(position, -double(kPixelLimit), double(kPixelLimit)));
    return static_cast<int>(r);
}

DataArea viewerDataArea(int boxWidth, int boxHeight) {
    return {boxWidth - 67, boxHeight - 40};
}

std::optional<double> unitsPerPixel(double lo, double hi, int pixels) {
    if (pixels <= 0) return std::nullopt;
    const double u = (hi - lo) / pixels;
    if (!std::isfinite(u) || !(u > 0.0)) return std::nullopt;
    return u;
}

int ViewerMapping::column(double x) const {
    return toPixel((x - XMin) / XPerPixel) + kPlotLeft;
}

int ViewerMapping::row(double y) const {
    return toPixel((YTop - y) / YPerPixel + kPlotTop);
}

double ViewerMapping::xAt(int column) const {
    return (column - kPlotLeft) * XPerPixel + XMin;
}

double ViewerMapping::yAt(int row) const {
    return YTop - (row - kPlotTop) * YPerPixel;
}

DataArea liveDataArea(int boxWidth, int boxHeight) {
    return {boxWidth - 60, boxHeight - 35};
}

int LiveMapping::column(double x) const {
    return toPixel((x - XStart) / xPerPixel + kPlotLeft);
}

int LiveMapping::row(double y) const {
    return toPixel((yMax - y) / yPerPixel + kPlotTop);
}

double liveMouseX(int column, int plotWidth, double XStart, double XEnd) {
    if (plotWidth <= 0) return XStart;
    return double(column - kPlotLeft) / plotWidth * (XEnd - XStart) + XStart;
}

void ScrollSpan::add(double v) {
    if (std::isnan(v)) return;
    hi = std::max(hi, v);
    lo = std::min(lo, v);
    seen = true;
}

std::optional<CountRange> scrollTopRange(int position, const ScrollSpan& span, double currentYMax) {
    // With no count seen the bar has nothing to scale: the 1E10 test below cannot catch that case
    // because the largest count starts at 0, and scaling would give y min 1E20 above y max.
    if (!span.seen) return std::nullopt;
    position = std::clamp(position, kScrollTopMin, kScrollTopMax);
    double lo = span.lo < 0.0 ? 0.0 : span.lo;
    double hi = span.hi > 1e10 ? currentYMax : span.hi;
    CountRange r;
    r.yMin = lo;
    r.yMax = (1.0 - position / 10000.0) * (hi - lo) + lo;
    if (!std::isfinite(r.yMin) || !std::isfinite(r.yMax) || !(r.yMax > r.yMin)) return std::nullopt;
    return r;
}

} // namespace korvo::plot

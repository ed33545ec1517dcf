#include "viewer/analysis/satellite.h"

#include <algorithm>

namespace korvo::analysis {
namespace {

// The image's count at energy x: between the image points around x, or the first image point's
// count below them. `a` only moves forwards (energies increase with the point number) and stops at
// the last point, whatever the energies do.
double imageAt(std::span<const SpectrumPoint> pts, double shift, double intensity, double x, std::size_t& a) {
    const std::size_t m = pts.size();
    while (a + 1 < m && pts[a].x + shift < x) ++a;
    if (a == 0) return intensity * pts[0].y;
    const double x0 = pts[a - 1].x + shift, x1 = pts[a].x + shift;
    const double y0 = intensity * pts[a - 1].y, y1 = intensity * pts[a].y;
    if (x1 == x0) return y1; // two points at one energy: no slope to interpolate along
    return (y1 - y0) * (x - x0) / (x1 - x0) + y0;
}

} // namespace

SatelliteLines satelliteLines(SatelliteSource source) {
    switch (source) {
    case SatelliteSource::HeI: return {1.872, 0.06, 2.528, 0.01};
    case SatelliteSource::HeII: return {7.56, 0.1, 0, 0};
    case SatelliteSource::AlKAlpha: return {9.7, 0.07, 11.7, 0.03};
    case SatelliteSource::MgKAlpha: return {8.5, 0.09, 10.1, 0.05};
    case SatelliteSource::User: break;
    }
    return {5, 0.3, 14, 0.01};
}

void removeSatellites(tvar& ws, const std::vector<int>& positions, const SatelliteLines& lines) {
    std::vector<SpectrumPoint> before;
    for (int position : positions) {
        if (position < 1 || position > ws.ShownCount) continue;
        const std::span<SpectrumPoint> pts = ws.points(ws.atPosition(position));
        if (pts.empty()) continue;
        before.assign(pts.begin(), pts.end()); // the images come from the counts before any change
        std::size_t a = 0, b = 0;
        for (SpectrumPoint& p : pts) {
            const double s1 = imageAt(before, lines.e1, lines.i1, p.x, a);
            const double s2 = imageAt(before, lines.e2, lines.i2, p.x, b);
            p.y = p.y - s1 - s2;
        }
    }
}

} // namespace korvo::analysis

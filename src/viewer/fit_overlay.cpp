#include "viewer/fit_overlay.h"

#include <algorithm>
#include <cmath>

namespace korvo {

bool overlayFits(const tvar& ws, const FitOverlay& overlay) {
    const int k = overlay.spectrum;
    if (k < 1 || k > ws.spectrumCount() || overlay.fitted.empty()) return false;
    bool shown = false;
    for (int i = 1; i <= std::min(ws.ShownCount, kMaxSpectra) && !shown; ++i) shown = ws.atPosition(i) == k;
    if (!shown) return false;
    const double lo = overlay.fitted.front().x, hi = overlay.fitted.back().x;
    std::vector<SpectrumPoint> region;
    for (const SpectrumPoint& p : ws.points(k))
        if (p.x >= lo && p.x <= hi) region.push_back(p);
    if (region.size() != overlay.fitted.size()) return false;
    std::stable_sort(region.begin(), region.end(),
                     [](const SpectrumPoint& a, const SpectrumPoint& b) { return a.x < b.x; });
    for (std::size_t i = 0; i < region.size(); ++i)
        if (region[i].x != overlay.fitted[i].x || region[i].y != overlay.fitted[i].y) return false;
    return true;
}

std::vector<FitLine> fitLines(const FitOverlay& o, double yBottom, double yTop) {
    std::vector<FitLine> lines;
    const std::size_t n = o.fitted.size();
    if (n == 0 || o.envelope.size() != n || o.background.size() != n || o.residual.size() != n) return lines;
    const auto line = [&](FitLineKind kind, int component, auto&& y) {
        FitLine l{kind, component, {}};
        l.points.reserve(n);
        for (std::size_t i = 0; i < n; ++i) l.points.push_back({o.fitted[i].x, y(i)});
        lines.push_back(std::move(l));
    };
    line(FitLineKind::Background, -1, [&](std::size_t i) { return o.background[i]; });
    for (std::size_t c = 0; c < o.components.size(); ++c)
        if (o.components[c].size() == n)
            line(FitLineKind::Component, int(c), [&](std::size_t i) { return o.background[i] + o.components[c][i]; });
    line(FitLineKind::Envelope, -1, [&](std::size_t i) { return o.envelope[i]; });

    const double half = kResidualBand / 2 * (yTop - yBottom);
    const double zero = yBottom + half;
    double largest = 0;
    for (double r : o.residual)
        if (std::isfinite(r)) largest = std::max(largest, std::abs(r));
    const double scale = largest > 0 ? half / largest : 0;
    lines.push_back({FitLineKind::ResidualZero, -1, {{o.fitted.front().x, zero}, {o.fitted.back().x, zero}}});
    line(FitLineKind::Residual, -1, [&](std::size_t i) { return zero + scale * o.residual[i]; });
    return lines;
}

} // namespace korvo

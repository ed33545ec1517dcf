#include "viewer/analysis/backgrounds.h"

#include <cmath>
#include <vector>

namespace korvo::analysis {
namespace {


// The stretch s < e of spectrum k, both inside its points, or false.
bool stretchOf(const tvar& ws, int k, int& s, int& e) {
    s = ws.SelStartPoint;
    e = ws.SelEndPoint;
    const int m = int(ws.points(k).size());
    return s >= 1 && e <= m && s < e;
}

// Checks every spectrum before any is changed: all or nothing.
std::string checkStretch(const tvar& ws) {
    for (int k = 1; k <= ws.ShownCount; ++k) {
        int s = 0, e = 0;
        if (stretchOf(ws, k, s, e)) continue;
        if (s >= e || s < 1)
            return "Place the two marks first (\"Measure dist.\"): the background lies between them.";
        return "The marks (points " + std::to_string(s) + " to " + std::to_string(e) + ") lie beyond the " +
               std::to_string(ws.points(k).size()) + " points of " + ws.spectrum(k).ShortName +
               "; the backgrounds treat spectra of at least that many points.";
    }
    return {};
}

} // namespace

void shirleyBackgroundOf(std::span<const SpectrumPoint> pts, std::vector<double>& bg) {
    const int n = int(pts.size());
    bg.clear();
    if (n < 2) return;
    auto x = [&](int i) { return pts[std::size_t(i)].x; };
    auto y = [&](int i) { return pts[std::size_t(i)].y; };
    const double ya = y(0), yb = y(n - 1);
    bg.assign(std::size_t(n), yb);
    std::vector<double> area(std::size_t(n), 0.0);
    const double tolerance = 1e-6 * std::max(std::abs(ya - yb), 1e-300);
    for (int iteration = 0; iteration < 100; ++iteration) {
        // A(i): trapezoids of (y - B) from point i to the end.
        area[std::size_t(n - 1)] = 0;
        for (int i = n - 2; i >= 0; --i)
            area[std::size_t(i)] = area[std::size_t(i + 1)] +
                                   0.5 * ((y(i) - bg[std::size_t(i)]) + (y(i + 1) - bg[std::size_t(i + 1)])) * (x(i + 1) - x(i));
        const double total = area[0];
        double change = 0;
        for (int i = 0; i < n; ++i) {
            const double next = total != 0 ? yb + (ya - yb) * area[std::size_t(i)] / total : yb + (ya - yb) * (n - 1 - i) / double(n - 1);
            change = std::max(change, std::abs(next - bg[std::size_t(i)]));
            bg[std::size_t(i)] = next;
        }
        if (change < tolerance) break;
    }
}

void tougaardBackgroundOf(std::span<const SpectrumPoint> pts, double b, std::vector<double>& bg) {
    const std::size_t n = pts.size();
    bg.clear();
    if (n == 0) return;
    const double yb = pts[n - 1].y;
    bg.assign(n, yb);
    for (std::size_t j = 0; j + 1 < n; ++j) {
        const double xj = pts[j].x;
        double sum = 0;
        for (std::size_t i = j + 1; i < n; ++i) {
            const double t = pts[i].x - xj;
            const double k2 = kTougaardC + t * t;
            const double dx = pts[i].x - pts[i - 1].x;
            sum += b * t / (k2 * k2) * (pts[i].y - yb) * dx;
        }
        bg[j] = yb + sum;
    }
}

Outcome shirleyBackground(tvar& ws) {
    if (std::string m = checkStretch(ws); !m.empty()) return Outcome{std::move(m), Redraw::None};
    std::vector<double> bg;
    for (int k = 1; k <= ws.ShownCount; ++k) {
        int s = 0, e = 0;
        stretchOf(ws, k, s, e);
        const std::span<SpectrumPoint> pts = ws.points(k);
        shirleyBackgroundOf(pts.subspan(std::size_t(s - 1), std::size_t(e - s + 1)), bg);
        for (int i = 0; i <= e - s; ++i) pts[std::size_t(s - 1 + i)].y -= bg[std::size_t(i)];
    }
    return Outcome{{}, Redraw::FullScale};
}

Outcome tougaardBackground(tvar& ws, double b) {
    if (std::string m = checkStretch(ws); !m.empty()) return Outcome{std::move(m), Redraw::None};
    if (!std::isfinite(b) || b <= 0) return Outcome{"The Tougaard B is a positive number of eV^2.", Redraw::None};
    std::vector<double> bg;
    for (int k = 1; k <= ws.ShownCount; ++k) {
        int s = 0, e = 0;
        stretchOf(ws, k, s, e);
        const std::span<SpectrumPoint> pts = ws.points(k);
        tougaardBackgroundOf(pts.subspan(std::size_t(s - 1), std::size_t(e - s + 1)), b, bg);
        for (int j = s; j <= e; ++j) pts[std::size_t(j - 1)].y -= bg[std::size_t(j - s)];
    }
    return Outcome{{}, Redraw::FullScale};
}

} // namespace korvo::analysis

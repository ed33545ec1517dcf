#include "viewer/analysis/clipping_fit.h"

#include <algorithm>
#include <cmath>
#include <vector>

namespace korvo::analysis {
namespace {

// B[-1 .. m+2] stored from index 0.
class Background {
public:
    explicit Background(int m) : m_(m), b_(std::size_t(m) + 4) {}
    // Indices outside -1 .. m+2 (only very short spectra ask for them) read the nearest end.
    double& operator[](int i) { return b_[std::size_t(std::clamp(i, -1, m_ + 2) + 1)]; }

private:
    int m_;
    std::vector<double> b_;
};

double smallestOf(Background& b, int from, int to) {
    double v = b[from];
    for (int i = from + 1; i <= to; ++i) v = std::min(v, b[i]);
    return v;
}

void fitSpectrum(std::span<SpectrumPoint> pts, ClippingFit kind, ClippingView* view, int k) {
    const int m = int(pts.size());
    std::vector<double> counts(pts.size());
    double lo = 1.7e308, hi = -1.7e308;
    for (int j = 0; j < m; ++j) {
        counts[std::size_t(j)] = pts[std::size_t(j)].y;
        lo = std::min(lo, counts[std::size_t(j)]);
        hi = std::max(hi, counts[std::size_t(j)]);
    }
    Background b(m);
    for (int j = 1; j <= m; ++j) b[j] = counts[std::size_t(j - 1)];
    b[-1] = b[0] = counts.front();
    b[m + 1] = b[m + 2] = counts.back();
    if (view) {
        view->beginSpectrum(k);
        view->curve(ClippingView::Curve::Counts, counts, lo, hi);
    }

    // The ends of the background.
    const int lowEnd = std::max(1, m - 5);
    if (kind == ClippingFit::Q) b[1] = smallestOf(b, 1, std::min(5, m));
    b[m] = smallestOf(b, lowEnd, m);
    const double start = (3 * b[1] + 2 * b[2] + b[3] + b[4]) / 7;
    if (kind == ClippingFit::Q) {
        b[1] = start;
    } else {
        b[1] = 0.6 * start;
        b[0] = b[1];
    }
    b[m] = (3 * b[m] + 2 * b[m - 1] + b[m - 2] + b[m - 3]) / 7;

    const int passes = clippingPasses(m);
    const int drawEvery = passes / 10;
    std::vector<int> clipped(std::size_t(m) + 1, 0);
    std::vector<double> shown(view ? std::size_t(m) : 0);
    auto show = [&](ClippingView::Curve curve) {
        for (int j = 1; j <= m; ++j) shown[std::size_t(j - 1)] = b[j];
        view->curve(curve, shown, lo, hi);
    };
    for (int it = 1; it <= passes; ++it) {
        for (int j = 1; j <= m; ++j) {
            const double d = (b[j - 1] + b[j + 1]) / 2 - b[j];
            const double t = (b[j - 2] + b[j + 2]) / 2;
            if (t < b[j]) {
                ++clipped[std::size_t(j)];
                b[j] = b[j] + d * (double(clipped[std::size_t(j)]) / passes + 0.9);
            }
        }
        if (view && drawEvery > 0 && it % drawEvery == 0) show(ClippingView::Curve::Intermediate);
    }
    if (view) {
        view->curve(ClippingView::Curve::Counts, counts, lo, hi);
        show(ClippingView::Curve::Background);
        for (int j = 1; j <= m; ++j) shown[std::size_t(j - 1)] = counts[std::size_t(j - 1)] - b[j];
        view->curve(ClippingView::Curve::Difference, shown, lo, hi);
    }
    for (int j = 1; j <= m; ++j) pts[std::size_t(j - 1)].y = counts[std::size_t(j - 1)] - b[j];
}

} // namespace

int clippingPasses(int m) {
    return int(std::trunc(m + 0.02 * double(m) * double(m)));
}

void clippingFit(tvar& ws, ClippingFit kind, ClippingView* view) {
    for (int k = 1; k <= ws.ShownCount; ++k) {
        const std::span<SpectrumPoint> pts = ws.points(k);
        if (!pts.empty()) fitSpectrum(pts, kind, view, k);
    }
}

} // namespace korvo::analysis

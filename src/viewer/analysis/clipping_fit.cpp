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

// One clipping step at point j: where B[j] stands above the chord over B[j - 2] and B[j + 2], it moves
// towards the mean of its neighbours by C[j] / it_max + 0.9 of the distance (factor[C[j]]).
inline void clipPoint(double* b, int* c, const double* factor, int j) {
    const double t = (b[j - 2] + b[j + 2]) / 2;
    const bool clip = t < b[j];
    const int count = c[j] + int(clip);
    c[j] = count;
    const double d = (b[j - 1] + b[j + 1]) / 2 - b[j];
    const double moved = b[j] + d * factor[count];
    b[j] = clip ? moved : b[j];
}

// `count` consecutive passes (at most kLanes) in one sweep: each pass runs three points behind the one
// before it, so every pass reads exactly the values it would read if the passes ran one after another
// (its left neighbours already moved by itself, its right neighbours by the pass before), while the
// processor overlaps the passes' otherwise serial chains of arithmetic.
constexpr int kLanes = 8;
void clipPasses(double* b, int* c, const double* factor, int m, int count) {
    const int lag = 3 * (count - 1);
    auto partial = [&](int s) {
        for (int q = 0; q < count; ++q) {
            const int j = s - 3 * q;
            if (j >= 1 && j <= m) clipPoint(b, c, factor, j);
        }
    };
    int s = 1;
    if (count == kLanes && m > lag) {
        for (; s <= lag; ++s) partial(s);
        for (; s <= m; ++s) // every lane inside the spectrum
#pragma GCC unroll 8
            for (int q = 0; q < kLanes; ++q) clipPoint(b, c, factor, s - 3 * q);
    }
    for (; s <= m + lag; ++s) partial(s);
}

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
    // Within the passes j - 2 .. j + 2 stay inside -1 .. m + 2: plain indexing, nothing allocated.
    double* const bp = &b[0];
    int* const cp = clipped.data();
    std::vector<double> factor(std::size_t(passes) + 1);
    for (int c = 0; c <= passes; ++c) factor[std::size_t(c)] = double(c) / passes + 0.9;
    for (int it = 1; it <= passes;) {
        int last = std::min(passes, it + kLanes - 1);
        if (drawEvery > 0) last = std::min(last, (it + drawEvery - 1) / drawEvery * drawEvery); // stop at a drawing
        clipPasses(bp, cp, factor.data(), m, last - it + 1);
        it = last + 1;
        if (view && drawEvery > 0 && last % drawEvery == 0) show(ClippingView::Curve::Intermediate);
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

#include "viewer/analysis/minmax_fits.h"

#include "viewer/analysis/arithmetic.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <deque>
#include <vector>

namespace korvo::analysis {
namespace {

// The counts with `copies` mirrored copies at each end: index i of the spectrum's point i (1 .. n)
// is defined for 1 - copies * n .. (copies + 1) * n. One copy mirrors (E[0] = y[1], E[n + 1] = y[n]);
// the second repeats the counts unmirrored beyond it (E[j - 2n] = E[2n + j] = y[j]).
class Extended {
public:
    Extended(std::span<const SpectrumPoint> pts, int n, int copies) : n_(n), first_(1 - copies * n) {
        values_.resize(std::size_t((2 * copies + 1) * n));
        for (int i = first_; i <= last(); ++i) values_[std::size_t(i - first_)] = source(pts, i);
    }
    int first() const { return first_; }
    int last() const { return first_ + int(values_.size()) - 1; }
    double operator[](int i) const { return values_[std::size_t(i - first_)]; }

private:
    double source(std::span<const SpectrumPoint> pts, int i) const {
        if (i >= 1 && i <= n_) return pts[std::size_t(i - 1)].y;
        if (i <= 0 && i >= 1 - n_) return pts[std::size_t(-i)].y;                  // E[1 - j] = y[j]
        if (i > n_ && i <= 2 * n_) return pts[std::size_t(2 * n_ - i)].y;           // E[2n + 1 - j] = y[j]
        if (i <= -n_) return pts[std::size_t(i + 2 * n_ - 1)].y;                    // E[j - 2n] = y[j]
        return pts[std::size_t(i - 2 * n_ - 1)].y;                                  // E[2n + j] = y[j]
    }
    int n_;
    int first_;
    std::vector<double> values_;
};

// Minimum and maximum of E over the windows i - h .. i + h for i = from .. to, each window cut to the
// defined indices, in one pass (the cut windows move monotonically).
void windowExtremes(const Extended& e, int h, int from, int to, std::vector<double>& lo, std::vector<double>& hi) {
    lo.assign(std::size_t(to - from + 1), 0);
    hi.assign(std::size_t(to - from + 1), 0);
    std::deque<int> mins, maxs;
    int next = std::max(e.first(), from - h);
    for (int i = from; i <= to; ++i) {
        const int wStart = std::max(e.first(), i - h), wEnd = std::min(e.last(), i + h);
        for (; next <= wEnd; ++next) {
            while (!mins.empty() && e[mins.back()] >= e[next]) mins.pop_back();
            mins.push_back(next);
            while (!maxs.empty() && e[maxs.back()] <= e[next]) maxs.pop_back();
            maxs.push_back(next);
        }
        while (mins.front() < wStart) mins.pop_front();
        while (maxs.front() < wStart) maxs.pop_front();
        lo[std::size_t(i - from)] = e[mins.front()];
        hi[std::size_t(i - from)] = e[maxs.front()];
    }
}

double scaled(double value, double lo, double hi) {
    return hi > lo ? (value - lo) / (hi - lo) * 1000 : 0;
}

void plainFit(std::span<SpectrumPoint> pts, int n, int h) {
    const Extended e(pts, n, 1);
    std::vector<double> lo, hi;
    windowExtremes(e, h, 1, n, lo, hi);
    for (int j = 1; j <= n; ++j) pts[std::size_t(j - 1)].y = scaled(e[j], lo[std::size_t(j - 1)], hi[std::size_t(j - 1)]);
}

void rangeFloorFit(std::span<SpectrumPoint> pts, int n, int h) {
    const Extended e(pts, n, 1);
    std::vector<double> lo, hi;
    windowExtremes(e, h, 1, n, lo, hi);
    double floor = 1e20;
    for (int j = 0; j < n; ++j) floor = std::min(floor, hi[std::size_t(j)] - lo[std::size_t(j)]);
    floor *= 10;
    for (int j = 1; j <= n; ++j) {
        const double l = lo[std::size_t(j - 1)];
        double u = hi[std::size_t(j - 1)];
        if (u - l < floor) u = l + floor;
        pts[std::size_t(j - 1)].y = scaled(e[j], l, u);
    }
}

void dampedFit(std::span<SpectrumPoint> pts, int n, int h) {
    const Extended e(pts, n, 2);
    // R[i] for i = -n .. 2n.
    std::vector<double> lo, hi;
    windowExtremes(e, h, -n, 2 * n, lo, hi);
    std::vector<double> r(std::size_t(3 * n + 1));
    for (int i = -n; i <= 2 * n; ++i) {
        const std::size_t at = std::size_t(i + n);
        r[at] = scaled(e[i], lo[at], hi[at]);
    }
    // Local variation V[j] = sum of |R[m] - R[m + 1]| over m = j - h .. j + h, for j = 1 .. n; the sum
    // is cut to the computed R. Prefix sums of the steps make each window one subtraction.
    std::vector<double> steps(std::size_t(3 * n + 1), 0.0); // steps[m + n] = sum of |R[t] - R[t+1]| for t < m
    for (int m = -n; m < 2 * n; ++m)
        steps[std::size_t(m + n + 1)] = steps[std::size_t(m + n)] + std::abs(r[std::size_t(m + n)] - r[std::size_t(m + n + 1)]);
    auto stepSum = [&](int from, int to) { // sum over m = from .. to of |R[m] - R[m + 1]|
        from = std::max(from, -n);
        to = std::min(to, 2 * n - 1);
        return to < from ? 0.0 : steps[std::size_t(to + n + 1)] - steps[std::size_t(from + n)];
    };
    std::vector<double> v(std::size_t(n) + 1), t(std::size_t(n) + 1);
    for (int j = 1; j <= n; ++j) v[std::size_t(j)] = stepSum(j - h, j + h);
    for (int repeat = 0; repeat < 2 * n - h; ++repeat) {
        for (int j = 2; j <= n - 1; ++j) t[std::size_t(j)] = (v[std::size_t(j - 1)] + v[std::size_t(j)] + v[std::size_t(j + 1)]) / 3;
        for (int j = 2; j <= n - 1; ++j) v[std::size_t(j)] = t[std::size_t(j)];
    }
    double vlo = 1e20, vhi = -1e20;
    for (int j = 1; j <= n; ++j) {
        vlo = std::min(vlo, v[std::size_t(j)]);
        vhi = std::max(vhi, v[std::size_t(j)]);
    }
    for (int j = 1; j <= n; ++j) {
        double w = vhi > vlo ? 1 - (v[std::size_t(j)] - vlo) / (vhi - vlo) : 1;
        if (w < 0) w = 0;
        pts[std::size_t(j - 1)].y = r[std::size_t(j + n)] * w;
    }
}

} // namespace

int minMaxHalfWidth(const tvar& ws) {
    return std::abs(ws.SelEndPoint - ws.SelStartPoint) / 2 + 1;
}

void minMaxFit(tvar& ws, MinMaxFit kind) {
    const int n = commonPointCount(ws);
    if (n < 1) return;
    const int h = minMaxHalfWidth(ws);
    for (int k = 1; k <= ws.ShownCount; ++k) {
        const std::span<SpectrumPoint> all = ws.points(k);
        if (all.size() < std::size_t(n)) continue;
        const std::span<SpectrumPoint> pts = all.first(std::size_t(n));
        switch (kind) {
        case MinMaxFit::Plain: plainFit(pts, n, h); break;
        case MinMaxFit::VariationDamped: dampedFit(pts, n, h); break;
        case MinMaxFit::RangeFloor: rangeFloorFit(pts, n, h); break;
        }
    }
}

} // namespace korvo::analysis

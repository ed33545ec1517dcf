#include "viewer/analysis/clipping_fit.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <cmath>
#include <cstdint>
#include <thread>
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
// processor overlaps the passes' otherwise serial chains of arithmetic. A sweep takes m + lag steps;
// step s treats point s of its first pass, s - 3 of the second, and so on.
constexpr int kLanes = 8;

struct Sweep {
    int count = 0; // passes
    int lag() const { return 3 * (count - 1); }
    int steps(int m) const { return m + lag(); }
};

// Steps `from` .. `to` (1-based, inclusive) of a sweep.
void sweepSteps(double* b, int* c, const double* factor, int m, Sweep sweep, int from, int to) {
    const int count = sweep.count, lag = sweep.lag();
    auto partial = [&](int s) {
        for (int q = 0; q < count; ++q) {
            const int j = s - 3 * q;
            if (j >= 1 && j <= m) clipPoint(b, c, factor, j);
        }
    };
    int s = from;
    if (count == kLanes) {
        for (; s <= std::min(to, lag); ++s) partial(s);
        const int full = std::min(to, m); // every lane inside the spectrum
        for (; s <= full; ++s)
#pragma GCC unroll 8
            for (int q = 0; q < kLanes; ++q) clipPoint(b, c, factor, s - 3 * q);
    }
    for (; s <= to; ++s) partial(s);
}

// The sweeps one after another on the calling thread.
void runSweeps(double* b, int* c, const double* factor, int m, std::span<const Sweep> sweeps) {
    for (const Sweep& sweep : sweeps) sweepSteps(b, c, factor, m, sweep, 1, sweep.steps(m));
}

// The same sweeps on two threads, with bit for bit the same result: the calling thread takes sweeps
// 0, 2, 4, ..., a second thread 1, 3, 5, .... Step s of sweep k reads points up to s + 2, which sweep
// k - 1 has finished once it has done step s + 2 + its lag; it must also have read point s for the
// last time by then, which it has. Each thread publishes (sweep, steps done) as one number after every
// block of steps and waits, when it catches up, for the other's number to grow.
class WavefrontSweeps {
public:
    WavefrontSweeps(double* b, int* c, const double* factor, int m, std::span<const Sweep> sweeps)
        : b_(b), c_(c), factor_(factor), m_(m), sweeps_(sweeps), stride_(std::int64_t(m) + 3 * kLanes + 1) {}

    void run() {
        std::thread second([this] { work(1); });
        work(0);
        second.join();
    }

private:
    static constexpr int kBlock = 32; // steps between two publications
    // Points kept between the two threads beyond what the data need: while they worked on the same
    // few cache lines, passing them back and forth made two threads slower than one.
    static constexpr int kDistance = 128;

    std::int64_t position(std::size_t sweep, int done) const { return std::int64_t(sweep) * stride_ + done; }

    void work(int thread) {
        std::atomic<std::int64_t>& mine = done_[thread];
        const std::atomic<std::int64_t>& other = done_[1 - thread];
        for (std::size_t k = std::size_t(thread); k < sweeps_.size(); k += 2) {
            const Sweep sweep = sweeps_[k];
            const int steps = sweep.steps(m_);
            for (int s = 1; s <= steps;) {
                int to = std::min(steps, s + kBlock - 1);
                if (k > 0) {
                    // How far sweep k - 1 lets this one go.
                    const Sweep before = sweeps_[k - 1];
                    const int beforeSteps = before.steps(m_);
                    auto allowed = [&] {
                        const std::int64_t p = other.load(std::memory_order_acquire);
                        if (p >= position(k - 1, beforeSteps)) return steps; // finished
                        return int(p - position(k - 1, 0)) - 2 - before.lag() - kDistance;
                    };
                    int limit = allowed();
                    for (int spins = 0; limit < s; limit = allowed()) {
                        if (++spins < 64)
                            pause();
                        else
                            std::this_thread::yield();
                    }
                    to = std::min(to, limit);
                }
                sweepSteps(b_, c_, factor_, m_, sweep, s, to);
                s = to + 1;
                mine.store(position(k, to), std::memory_order_release);
            }
        }
    }

    static void pause() {
#if defined(__x86_64__) || defined(__i386__)
        __builtin_ia32_pause();
#endif
    }

    double* b_;
    int* c_;
    const double* factor_;
    int m_;
    std::span<const Sweep> sweeps_;
    std::int64_t stride_;
    std::array<std::atomic<std::int64_t>, 2> done_{};
};

// Below these the second thread costs more than it saves.
constexpr int kParallelPoints = 200;
constexpr std::size_t kParallelSweeps = 16;

void sweep(double* b, int* c, const double* factor, int m, std::span<const Sweep> sweeps, int threads) {
    if (threads >= 2 && m >= kParallelPoints && sweeps.size() >= kParallelSweeps)
        WavefrontSweeps(b, c, factor, m, sweeps).run();
    else
        runSweeps(b, c, factor, m, sweeps);
}

double smallestOf(Background& b, int from, int to) {
    double v = b[from];
    for (int i = from + 1; i <= to; ++i) v = std::min(v, b[i]);
    return v;
}

void fitSpectrum(std::span<SpectrumPoint> pts, ClippingFit kind, ClippingView* view, int k, int threads) {
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
    // The passes in sweeps of up to kLanes, run together up to each drawing.
    std::vector<Sweep> sweeps;
    for (int it = 1; it <= passes;) {
        int last = std::min(passes, it + kLanes - 1);
        if (drawEvery > 0) last = std::min(last, (it + drawEvery - 1) / drawEvery * drawEvery); // stop at a drawing
        sweeps.push_back({last - it + 1});
        it = last + 1;
        if (last == passes || (view && drawEvery > 0 && last % drawEvery == 0)) {
            sweep(bp, cp, factor.data(), m, sweeps, threads);
            sweeps.clear();
            if (view && drawEvery > 0 && last % drawEvery == 0) show(ClippingView::Curve::Intermediate);
        }
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

void clippingFit(tvar& ws, ClippingFit kind, ClippingView* view, int threads) {
    if (threads <= 0) threads = std::thread::hardware_concurrency() >= 2 ? 2 : 1;
    for (int k = 1; k <= ws.ShownCount; ++k) {
        const std::span<SpectrumPoint> pts = ws.points(k);
        if (!pts.empty()) fitSpectrum(pts, kind, view, k, threads);
    }
}

} // namespace korvo::analysis

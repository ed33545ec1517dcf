#include "viewer/workspace.h"

#include <algorithm>

namespace korvo {

tvar::tvar() : spectra(static_cast<std::size_t>(kMaxSpectra) + 1) {}

SpectrumPoint& tvar::point(int k, int j) {
    return pool.at(static_cast<std::size_t>(spectrum(k).PoolStart) + static_cast<std::size_t>(j));
}

const SpectrumPoint& tvar::point(int k, int j) const {
    return pool.at(static_cast<std::size_t>(spectrum(k).PoolStart) + static_cast<std::size_t>(j));
}

namespace {

// Points 1 .. NumPoints of a spectrum as a range of the pool, or nothing when the pool does not hold
// them all: a spectrum that lies beyond the chaining must not lead a reader outside the pool.
template <typename Pool> auto pointRange(Pool& pool, const ViewerSpectrum& s) {
    using Span = decltype(std::span(pool.data(), std::size_t(0)));
    if (s.PoolStart < 0 || s.NumPoints <= 0) return Span{};
    const std::size_t first = static_cast<std::size_t>(s.PoolStart) + 1;
    const std::size_t n = static_cast<std::size_t>(s.NumPoints);
    if (first > pool.size() || n > pool.size() - first) return Span{};
    return Span(pool.data() + first, n);
}

} // namespace

std::span<SpectrumPoint> tvar::points(int k) {
    return pointRange(pool, spectrum(k));
}

std::span<const SpectrumPoint> tvar::points(int k) const {
    return pointRange(pool, spectrum(k));
}

void tvar::recomputePoolStarts(int upTo) {
    upTo = std::min(upTo, kMaxSpectra);
    if (upTo < 1) return;
    spectra[1].PoolStart = 0;
    for (int k = 2; k <= upTo; ++k) {
        const ViewerSpectrum& before = spectra[static_cast<std::size_t>(k - 1)];
        spectra[static_cast<std::size_t>(k)].PoolStart = before.PoolStart + std::max(before.NumPoints, 0);
    }
}

void tvar::recomputeScale(int k) {
    ViewerSpectrum& s = spectrum(k);
    const plot::DataArea area = plot::viewerDataArea(PlotWidth, PlotHeight);
    s.PlotWidthPx = area.width;
    s.PlotHeightPx = area.height;
    s.XRange = s.XMax - s.XMin;
    s.YRange = s.YMax - s.YMin;
    // A box too small for a data area has no scale; the paint code reports that and draws nothing.
    s.XPerPixel = s.PlotWidthPx > 0 ? s.XRange / s.PlotWidthPx : 0;
    s.YPerPixel = s.PlotHeightPx > 0 ? s.YRange / s.PlotHeightPx : 0;
}

plot::ViewerMapping tvar::mapping(int k) const {
    const ViewerSpectrum& s = spectrum(k);
    return {s.XMin, s.YTop, s.XPerPixel, s.YPerPixel};
}

void tvar::release() {
    pool.clear();
    pool.shrink_to_fit();
    Closed = 1;
}

} // namespace korvo

#pragma once
// The workspace the viewer benchmarks work on: `spectra` spectra of `points` points, a Gaussian peak
// on a sloping background with noise, the peak moving by `drift` eV from one spectrum to the next;
// all shown in number order, spectrum 1 active.
#include "viewer/workspace.h"

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <random>

namespace korvo::bench {

inline tvar peakSeries(int spectra, int points, double drift = -0.02) {
    tvar ws;
    std::mt19937 rng(11);
    std::normal_distribution<double> noise(0, 15);
    ws.pool.assign(1, SpectrumPoint{});
    ws.pool.reserve(std::size_t(spectra) * std::size_t(points) + 1);
    for (int k = 1; k <= spectra; ++k) {
        ws.spectrum(k).NumPoints = points;
        for (int j = 0; j < points; ++j) {
            const double x = 280 + 0.02 * j;
            const double d = (x - 280 - 0.01 * points - drift * k) / 0.8;
            ws.pool.push_back({x, 500 - 0.1 * j + 4000 * std::exp(-d * d) + noise(rng)});
        }
        ws.Order[std::size_t(k)] = static_cast<std::uint16_t>(k);
    }
    ws.recomputePoolStarts(spectra);
    ws.ShownCount = spectra;
    ws.Active = 1;
    return ws;
}

} // namespace korvo::bench

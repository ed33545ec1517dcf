#pragma once
// Background by iterative peak clipping ("Q-Fit", "q-Fit 50"): for each spectrum a background
// estimate is pulled down wherever it stands above the chord over its four neighbours, then
// subtracted. The window watches it converge through a ClippingView.
#include "viewer/workspace.h"

#include <span>

namespace korvo::analysis {

enum class ClippingFit { Q, Q50 };

// What the fit shows while it runs, per spectrum: the measured counts, the background after every
// tenth of the passes, then counts, final background and difference. Values are indexed by point
// (0 .. m-1); `lo` and `hi` are the smallest and largest measured count, the scale of every curve.
class ClippingView {
public:
    virtual ~ClippingView() = default;
    enum class Curve { Counts, Intermediate, Background, Difference };
    virtual void beginSpectrum(int k) = 0;
    virtual void curve(Curve kind, std::span<const double> values, double lo, double hi) = 0;
};

// Number of clipping passes for m points: trunc(m + 0.02 m^2).
int clippingPasses(int m);

// Runs the fit on spectra 1 .. ShownCount, each with its own point count; `view` may be null.
// `threads`: 0 uses a second thread for long spectra where the machine has two cores, 1 keeps to
// the calling thread; the result is the same bit for bit.
void clippingFit(tvar& ws, ClippingFit kind, ClippingView* view = nullptr, int threads = 0);

} // namespace korvo::analysis

#pragma once
// A peak fit drawn over its spectrum: the envelope, each component standing on the background, the
// background, and the residuals in a band along the bottom of the view. The fit window makes one of
// a fit (viewer/fit/fit_workspace.h); the window's paint, printing, the EPS export and korvo-cli plot
// draw it through the same lines. Plain C++, in the spectrum's own units (kinetic energy, counts).
#include "viewer/workspace.h"

#include <vector>

namespace korvo {

struct FitOverlay {
    int spectrum = 0; // the spectrum fitted
    // The region's points as they were fitted, in ascending kinetic energy; the curves are at their x.
    std::vector<SpectrumPoint> fitted;
    std::vector<double> envelope, background, residual;
    std::vector<std::vector<double>> components; // each component alone
};

// Whether the overlay belongs to ws as it is now: its spectrum is shown and holds exactly the points
// that were fitted. A fit of counts changed since (an analysis command, a load) is not drawn; undoing
// the change brings it back.
bool overlayFits(const tvar& ws, const FitOverlay& overlay);

enum class FitLineKind { Envelope, Component, Background, Residual, ResidualZero };

struct FitLine {
    FitLineKind kind = FitLineKind::Envelope;
    int component = -1; // for FitLineKind::Component
    std::vector<SpectrumPoint> points;
};

// The residual band: the lowest fifth of the view's counts, its zero line in the middle and the
// largest residual reaching its edge.
inline constexpr double kResidualBand = 0.2;

// The lines to draw for a view of counts from yBottom to yTop, in drawing order: background, the
// components (each on the background), the envelope, the residuals' zero line and the residuals.
std::vector<FitLine> fitLines(const FitOverlay& overlay, double yBottom, double yTop);

} // namespace korvo

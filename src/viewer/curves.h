#pragma once
// The curves of a viewer picture as pixel polylines: which spectra, in which colour, through which
// pixels, with the part below the lower edge of the view cut off. Plain C++, so the window's paint,
// korvo-cli plot and the tests draw exactly the same lines.
#include "viewer/view_scale.h"
#include "viewer/workspace.h"

#include <cstdint>
#include <span>
#include <vector>

namespace korvo {

struct CurvePixel {
    int x = 0;
    int y = 0;
};

// Navy for the active spectrum, green for a marked one, black otherwise (RGB).
struct CurveColour {
    std::uint8_t r = 0, g = 0, b = 0;
    bool operator==(const CurveColour&) const = default;
};
inline constexpr CurveColour kActiveColour{0, 0, 128};
inline constexpr CurveColour kMarkedColour{0, 128, 0};
inline constexpr CurveColour kPlainColour{0, 0, 0};
CurveColour curveColour(const tvar& ws, int k);

// One spectrum's curve: unbroken pieces of line, each a list of pixels joined by straight lines.
struct Curve {
    int spectrum = 0;
    CurveColour colour;
    std::vector<std::vector<CurvePixel>> pieces;
};

// The curve of spectrum k with its current scale. The points left of XMin before the first one at
// or right of it are skipped (no point there: no curve); where the curve crosses the lower edge
// YMin the crossing is interpolated and the part below is left out. A spectrum without a per-pixel
// factor has no curve and reports "skalierungspfusch2".
Curve spectrumCurve(const tvar& ws, int k, ViewMessages& messages);
// The same for other points in spectrum k's units and scale (the lines of a fit over it), in
// ascending x.
Curve curveThrough(const tvar& ws, int k, std::span<const SpectrumPoint> points, ViewMessages& messages);

// The curves of all shown spectra in display order.
std::vector<Curve> viewerCurves(const tvar& ws, ViewMessages& messages);

} // namespace korvo

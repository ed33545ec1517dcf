#pragma once
// Local min-max fits ("MM-Fit", "MM2-Fit", "MM-3-Fit"): every point rescaled to 0 .. 1000 against the
// minimum and maximum of the 2h + 1 points around it, the counts mirrored at the ends of the
// spectrum. They treat spectra 1 .. ShownCount with n = NumPoints of spectrum 1, make no checks and
// show no messages; a window whose values are all equal gives 0.
#include "viewer/workspace.h"

namespace korvo::analysis {

enum class MinMaxFit { Plain, VariationDamped, RangeFloor };

// h = |SelEndPoint - SelStartPoint| div 2 + 1.
int minMaxHalfWidth(const tvar& ws);

// Runs the fit with the half width of the selected stretch. Spectra that hold fewer than n points are
// left as they are.
void minMaxFit(tvar& ws, MinMaxFit kind);

} // namespace korvo::analysis

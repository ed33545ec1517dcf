#pragma once
// The colour view of a series: every shown spectrum drawn as a horizontal band whose colour follows
// its count along the energy axis, one colour scale for all bands. Position 1 is the lowest band.
// Plain C++: the window's paint and korvo-cli plot fill the same rectangles.
#include "viewer/colour_scales.h"
#include "viewer/view_scale.h"
#include "viewer/workspace.h"

#include <vector>

namespace korvo {

// Selector values 1 .. kColourScaleRows; row selector - 1 of the colour-scale picture is used.
inline constexpr int kColourSelectorMin = 1;
inline constexpr int kColourSelectorMax = kColourScaleRows;

// A filled rectangle covering columns left .. right - 1 and rows top .. bottom - 1.
struct ColourBand {
    int left = 0, right = 0, top = 0, bottom = 0;
    ScaleColour colour;
};

// The rectangles of the colour view with the scales of the last recomputation: for each point drawn
// (the curves' range rules: points left of XMin skipped), the band from the previous point's column
// to its own in the colour of its count, lo .. hi over all points of all shown spectra mapped onto
// columns 0 .. 254 of the scale. Nothing when lo = hi. Columns are kept within the paint box.
std::vector<ColourBand> colourViewBands(const tvar& ws, int selector, ViewMessages& messages);

} // namespace korvo

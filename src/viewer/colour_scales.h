#pragma once
// The viewer's colour scales: 44 rows of 255 colours each. Row r is one scale, column c the colour of
// the relative intensity c / 254. The colour view of a series uses the row its selector names
// (selector value - 1); the 3D view loads its colour table from a row as well.
//
// Rows 0 .. 10 are eleven base scales, rows 11 .. 21 the same scales reversed, rows 22 .. 32 with the
// low end stretched (gamma 0.5, faint peaks visible) and rows 33 .. 43 with the high end stretched
// (gamma 2). Row 0 is grey from black to white, row 1 the blue-cyan-yellow-red scale that a new
// viewer's colour view starts with.
#include <array>
#include <cstdint>

namespace korvo {

inline constexpr int kColourScaleRows = 44;
inline constexpr int kColourScaleColumns = 255;

struct ScaleColour {
    std::uint8_t r = 0, g = 0, b = 0;
    bool operator==(const ScaleColour&) const = default;
};

using ColourScaleTable = std::array<std::array<ScaleColour, kColourScaleColumns>, kColourScaleRows>;

// The whole picture, computed once.
const ColourScaleTable& colourScales();

// Pixel (column, row); both clamped into the picture.
ScaleColour colourScalePixel(int column, int row);

} // namespace korvo

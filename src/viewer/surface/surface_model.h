#pragma once
// What the 3D view draws, computed once and kept between frames: the height grid of the shown
// spectra, one normal per inner grid point and the colour table. A frame only issues vertices from
// these arrays.
//
// Grid point (c, r): c = 0 .. 256 along the energy axis, r = 0 .. 256 along the spectrum axis (r = 0
// is the last shown spectrum, r = 256 the first, so the series runs away from the viewer).
#include "viewer/workspace.h"

#include <array>
#include <cstddef>
#include <string>
#include <vector>

namespace korvo::surface {

inline constexpr int kGridPoints = 257;  // per axis
inline constexpr int kNormalPoints = 255; // inner grid points per axis (1 .. 255)
inline constexpr int kColourEntries = 257;
inline constexpr int kPaletteRows = 44;

// Refusal of the 3D view when the shown spectra differ in their number of points.
extern const char* const kUnequalPointsMessage;

class HeightGrid {
public:
    HeightGrid() : h_(std::size_t(kGridPoints) * kGridPoints, 0.0) {}
    double& at(int c, int r) { return h_[index(c, r)]; }
    double at(int c, int r) const { return h_[index(c, r)]; }
    bool operator==(const HeightGrid&) const = default;

private:
    static std::size_t index(int c, int r) { return std::size_t(c) * kGridPoints + std::size_t(r); }
    std::vector<double> h_;
};

// Whether the shown spectra can be drawn as a surface: at least one shown, spectra 1 .. ShownCount
// (by number, not display position) all with the point count of spectrum 1. Empty when they can,
// else the message to show (empty too for nothing shown, which is refused without a word).
bool canBuildHeightGrid(const tvar& ws, std::string* message = nullptr);

// The grid from the shown spectra: row r takes spectrum number round(r (ShownCount - 1) / 256 + 1),
// column c its point round(c / 256 (n - 1) + 1), both rounded halves to even; then the heights are
// scaled to 0 .. 255. A flat series (all heights equal) gives
// all heights 0 rather than a division by zero. false (grid untouched) when canBuildHeightGrid
// refuses.
bool buildHeightGrid(const tvar& ws, HeightGrid& grid, std::string* message = nullptr);

// Three-point mean along the energy axis (Space) or the spectrum axis (Enter), from the old
// heights; the edge points keep theirs.
void smoothAlongEnergy(HeightGrid& grid);
void smoothAlongSpectra(HeightGrid& grid);

struct Normal {
    float x = 0, y = 1, z = 0;
};

// Normals of the inner grid points (1 .. 255 on both axes); edge points use the nearest inner one.
class NormalGrid {
public:
    NormalGrid() : n_(std::size_t(kNormalPoints) * kNormalPoints) {}
    // The normal of grid point (c, r), 0 .. 256 each.
    const Normal& atGrid(int c, int r) const { return n_[index(clampInner(c), clampInner(r))]; }
    Normal& atGrid(int c, int r) { return n_[index(clampInner(c), clampInner(r))]; }

private:
    static int clampInner(int v) { return v < 1 ? 1 : (v > kNormalPoints ? kNormalPoints : v); }
    static std::size_t index(int c, int r) { return std::size_t(c - 1) * kNormalPoints + std::size_t(r - 1); }
    std::vector<Normal> n_;
};

// Normals from the heights: x = -(sum of the three heights at c + 1 - the three at c - 1), z likewise
// across r, y = `vertical` (larger: softer shading); unit length. The grid column c == slice gets
// (-1, 0, 1) before normalising, so that this energy line stands out; slice -1 (or any value
// outside 1 .. 255) marks no column.
void computeNormals(const HeightGrid& grid, double vertical, int slice, NormalGrid& normals);

// The 3D colour table: red, green and blue in 0 .. 1 by rounded height 0 .. 256.
struct ColourTable3d {
    std::array<double, kColourEntries> R{}, G{}, B{};
    bool operator==(const ColourTable3d&) const = default;
};

// The table from row `row` (clamped to 0 .. 43) of the colour-scale picture.
ColourTable3d colourTableFromRow(int row);
// "F": new red = old green, new green = old blue, new blue = old red.
void rotateChannels(ColourTable3d& table);

} // namespace korvo::surface

#include "viewer/surface/surface_model.h"

#include "common/number_text.h"
#include "viewer/colour_scales.h"

#include <algorithm>
#include <cmath>

namespace korvo::surface {

// Lines joined with a carriage return, as every message box of the viewer has them.
const char* const kUnequalPointsMessage =
    "Anzahl der Meßpunkte stimmt nicht überein?\rFunktion geht nur bei gleicher Anzahl !";

// Like the commands that treat all spectra point by point, the surface takes spectra 1 .. ShownCount
// by number, not in display order.
bool canBuildHeightGrid(const tvar& ws, std::string* message) {
    if (ws.ShownCount <= 0) return false;
    const auto count = [&ws](int k) {
        return ws.points(k).size() == std::size_t(std::max(ws.spectrum(k).NumPoints, 0)) ? ws.spectrum(k).NumPoints
                                                                                        : -1;
    };
    const int n = count(1);
    bool equal = n > 0;
    for (int k = 2; k <= ws.ShownCount && equal; ++k) equal = count(k) == n;
    if (!equal && message) *message = kUnequalPointsMessage;
    return equal;
}

bool buildHeightGrid(const tvar& ws, HeightGrid& grid, std::string* message) {
    if (!canBuildHeightGrid(ws, message)) return false;
    const int shown = ws.ShownCount;
    const int n = ws.spectrum(1).NumPoints;
    const int last = kGridPoints - 1;
    // The point index of each column is the same for every row.
    std::array<std::size_t, kGridPoints> column{};
    for (int c = 0; c <= last; ++c) {
        const auto j = text::roundHalfEven(double(c) / last * (n - 1) + 1);
        column[std::size_t(c)] = std::size_t(std::clamp<std::int64_t>(j, 1, n) - 1);
    }
    double lo = 0, hi = 0;
    for (int r = 0; r <= last; ++r) {
        const auto k =
            std::clamp<std::int64_t>(text::roundHalfEven(double(r) * (shown - 1) / last + 1), 1, shown);
        const std::span<const SpectrumPoint> points = ws.points(int(k));
        for (int c = 0; c <= last; ++c) {
            const double y = points[column[std::size_t(c)]].y;
            grid.at(c, last - r) = y;
            if ((r == 0 && c == 0) || y < lo) lo = y;
            if ((r == 0 && c == 0) || y > hi) hi = y;
        }
    }
    // A flat series has no height to show: everything lies at 0 instead of dividing by zero.
    const double range = hi - lo;
    for (int c = 0; c <= last; ++c)
        for (int r = 0; r <= last; ++r) grid.at(c, r) = range > 0 ? (grid.at(c, r) - lo) * 255.0 / range : 0.0;
    return true;
}

void smoothAlongEnergy(HeightGrid& grid) {
    const HeightGrid old = grid;
    for (int c = 1; c < kGridPoints - 1; ++c)
        for (int r = 0; r < kGridPoints; ++r) grid.at(c, r) = (old.at(c - 1, r) + old.at(c, r) + old.at(c + 1, r)) / 3;
}

void smoothAlongSpectra(HeightGrid& grid) {
    const HeightGrid old = grid;
    for (int c = 0; c < kGridPoints; ++c)
        for (int r = 1; r < kGridPoints - 1; ++r) grid.at(c, r) = (old.at(c, r - 1) + old.at(c, r) + old.at(c, r + 1)) / 3;
}

void computeNormals(const HeightGrid& grid, double vertical, int slice, NormalGrid& normals) {
    for (int c = 1; c <= kNormalPoints; ++c)
        for (int r = 1; r <= kNormalPoints; ++r) {
            double x = -1, y = 0, z = 1;
            if (c != slice) {
                x = -((grid.at(c + 1, r - 1) + grid.at(c + 1, r) + grid.at(c + 1, r + 1)) -
                      (grid.at(c - 1, r - 1) + grid.at(c - 1, r) + grid.at(c - 1, r + 1)));
                z = -((grid.at(c - 1, r + 1) + grid.at(c, r + 1) + grid.at(c + 1, r + 1)) -
                      (grid.at(c - 1, r - 1) + grid.at(c, r - 1) + grid.at(c + 1, r - 1)));
                y = vertical;
            }
            const double len = std::sqrt(x * x + y * y + z * z);
            Normal& n = normals.atGrid(c, r);
            if (len > 0 && std::isfinite(len))
                n = Normal{float(x / len), float(y / len), float(z / len)};
            else
                n = Normal{}; // a zero vertical component on flat ground: straight up
        }
}

ColourTable3d colourTableFromRow(int row) {
    // The picture has 255 columns (0 .. 254); the two entries above them, 255 and 256, repeat the
    // last colour so that a rounded height of 255 or 256 still finds one.
    ColourTable3d t;
    for (int c = 0; c < kColourEntries; ++c) {
        const ScaleColour p = colourScalePixel(std::min(c, kColourScaleColumns - 1), std::clamp(row, 0, kPaletteRows - 1));
        t.R[std::size_t(c)] = p.r / 255.0;
        t.G[std::size_t(c)] = p.g / 255.0;
        t.B[std::size_t(c)] = p.b / 255.0;
    }
    return t;
}

void rotateChannels(ColourTable3d& table) {
    const auto oldR = table.R;
    table.R = table.G;
    table.G = table.B;
    table.B = oldR;
}

} // namespace korvo::surface

#include "viewer/colour_scales.h"

#include <algorithm>
#include <cmath>
#include <initializer_list>
#include <vector>

namespace korvo {

namespace {

struct Stop {
    double at;
    double r, g, b; // 0 .. 1
};

// The eleven base scales as colour stops along 0 .. 1.
const std::vector<std::vector<Stop>>& baseScales() {
    static const std::vector<std::vector<Stop>> scales = {
        {{0, 0, 0, 0}, {1, 1, 1, 1}},                                                          // grey
        {{0, 0, 0, 0.5}, {0.15, 0, 0, 1}, {0.4, 0, 1, 1}, {0.65, 1, 1, 0}, {0.9, 1, 0, 0}, {1, 0.5, 0, 0}}, // spectral
        {{0, 0, 0, 0}, {0.4, 1, 0, 0}, {0.8, 1, 1, 0}, {1, 1, 1, 1}},                           // heat
        {{0, 0, 1, 1}, {1, 1, 0, 1}},                                                          // cyan-magenta
        {{0, 0.27, 0.0, 0.33}, {0.25, 0.23, 0.32, 0.55}, {0.5, 0.13, 0.57, 0.55}, {0.75, 0.37, 0.79, 0.38},
         {1, 0.99, 0.91, 0.14}},                                                               // violet-green-yellow
        {{0, 0, 0, 0.1}, {0.5, 0, 0.45, 0.7}, {1, 0.85, 1, 1}},                                 // ocean
        {{0, 0.2, 0.2, 0.6}, {0.2, 0, 0.6, 1}, {0.25, 0, 0.8, 0.4}, {0.5, 1, 1, 0.6}, {0.75, 0.5, 0.36, 0.33},
         {1, 1, 1, 1}},                                                                        // terrain
        {{0, 0, 0, 0}, {1, 1, 0, 0}},                                                          // red
        {{0, 0, 0, 0}, {1, 0, 1, 0}},                                                          // green
        {{0, 0, 0, 0}, {1, 0, 0, 1}},                                                          // blue
        {{0, 0, 0, 0}, {0.8, 1, 0.62, 0.4}, {1, 1, 0.78, 0.5}},                                 // copper
    };
    return scales;
}

ScaleColour at(const std::vector<Stop>& stops, double t) {
    t = std::clamp(t, 0.0, 1.0);
    auto hi = std::find_if(stops.begin(), stops.end(), [t](const Stop& s) { return s.at >= t; });
    if (hi == stops.begin()) hi = std::next(hi);
    const Stop& a = *std::prev(hi);
    const Stop& b = *hi;
    const double f = b.at > a.at ? (t - a.at) / (b.at - a.at) : 0;
    auto mix = [f](double u, double v) { return std::uint8_t(std::lround(255 * (u + (v - u) * f))); };
    return {mix(a.r, b.r), mix(a.g, b.g), mix(a.b, b.b)};
}

ColourScaleTable build() {
    ColourScaleTable table{};
    const auto& scales = baseScales();
    const int bases = int(scales.size());
    for (int row = 0; row < kColourScaleRows; ++row) {
        const auto& stops = scales[std::size_t(row % bases)];
        const int variant = row / bases;
        for (int c = 0; c < kColourScaleColumns; ++c) {
            double t = c / double(kColourScaleColumns - 1);
            if (variant == 1) t = 1 - t;
            if (variant == 2) t = std::sqrt(t);
            if (variant == 3) t = t * t;
            table[std::size_t(row)][std::size_t(c)] = at(stops, t);
        }
    }
    return table;
}

} // namespace

const ColourScaleTable& colourScales() {
    static const ColourScaleTable table = build();
    return table;
}

ScaleColour colourScalePixel(int column, int row) {
    column = std::clamp(column, 0, kColourScaleColumns - 1);
    row = std::clamp(row, 0, kColourScaleRows - 1);
    return colourScales()[std::size_t(row)][std::size_t(column)];
}

} // namespace korvo

#include "viewer/colour_view.h"

#include <algorithm>
#include <cmath>

namespace korvo {

std::vector<ColourBand> colourViewBands(const tvar& ws, int selector, ViewMessages& messages) {
    std::vector<ColourBand> bands;
    const std::vector<int> shown = shownSpectra(ws);
    if (shown.empty()) return bands;
    double lo = 0, hi = 0;
    bool any = false;
    for (int k : shown)
        for (const SpectrumPoint& p : ws.points(k)) {
            lo = any ? std::min(lo, p.y) : p.y;
            hi = any ? std::max(hi, p.y) : p.y;
            any = true;
        }
    if (!any || !(hi > lo)) return bands;
    const int row = std::clamp(selector, kColourSelectorMin, kColourSelectorMax) - 1;
    const int count = int(shown.size());
    const double t = double(ws.PlotHeight - 52) / count;
    const double toColumn = (kColourScaleColumns - 1) / (hi - lo);
    for (int i = 1; i <= count; ++i) {
        const int k = shown[std::size_t(i - 1)];
        const ViewerSpectrum& s = ws.spectrum(k);
        const auto points = ws.points(k);
        std::size_t first = 0;
        while (first < points.size() && points[first].x < s.XMin) ++first;
        if (first == points.size()) continue;
        if (s.XPerPixel == 0 || s.YPerPixel == 0) {
            messages.add(kSkalierungspfusch2);
            continue;
        }
        const int top = 9 + int(std::lround(t * (count - i)));
        const int bottom = 9 + int(std::lround(t * (count - i + 1)));
        const auto inBox = [&](double x) {
            // The viewer's column mapping, kept near the box: a view zoomed far in puts columns
            // millions of pixels away.
            const double c = std::round((x - s.XMin) / s.XPerPixel) + 45;
            return int(std::clamp(c, -1.0, double(ws.PlotWidth) + 1));
        };
        int previous = inBox(points[first].x);
        for (std::size_t j = first; j < points.size(); ++j) {
            const int column = inBox(points[j].x);
            const int c = std::clamp(int(std::lround((points[j].y - lo) * toColumn)), 0, kColourScaleColumns - 1);
            if (column != previous)
                bands.push_back({std::min(previous, column), std::max(previous, column), top, bottom,
                                 colourScalePixel(c, row)});
            previous = column;
        }
    }
    return bands;
}

} // namespace korvo

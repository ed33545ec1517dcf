#include "viewer/view_scale.h"

#include "plot/plot_mapping.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace korvo {

void ViewMessages::add(std::string_view text) {
    if (std::find(texts.begin(), texts.end(), text) == texts.end()) texts.emplace_back(text);
}

std::vector<int> shownSpectra(const tvar& ws) {
    std::vector<int> numbers;
    const int shown = std::clamp(ws.ShownCount, 0, kMaxSpectra);
    numbers.reserve(static_cast<std::size_t>(shown));
    for (int i = 1; i <= shown; ++i) {
        const int k = ws.atPosition(i);
        if (k >= 1 && k <= kMaxSpectra) numbers.push_back(k);
    }
    return numbers;
}

std::vector<int> spectraInScope(const tvar& ws, RangeScope scope) {
    std::vector<int> numbers = shownSpectra(ws);
    if (scope == RangeScope::Marked)
        std::erase_if(numbers, [&](int k) { return ws.spectrum(k).Marked == 0; });
    return numbers;
}

ViewerLayout viewerLayout(int clientWidth, int clientHeight, int verticalScrollBarWidth, int infoPanelsHeight) {
    ViewerLayout l;
    l.plotHeight = std::max(clientHeight - 34 - infoPanelsHeight, 0);
    l.plotWidth = std::max(clientWidth - verticalScrollBarWidth, 0);
    l.scrollBarTop = l.plotHeight;
    l.radioRowTop = l.plotHeight + kInfoPanelHeight;
    l.firstPanelTop = l.plotHeight + 2 * kInfoPanelHeight;
    return l;
}

namespace {

// A per-pixel factor from a range, or nothing when the range is not a positive finite number.
bool perPixel(double range, int pixels, double& factor) {
    const double f = range / pixels;
    if (!(range > 0) || !std::isfinite(f) || !(f > 0)) return false;
    factor = f;
    return true;
}

void afterRangeChange(tvar& ws, const std::vector<int>& spectra, std::string_view xMessage,
                      std::string_view yMessage, ViewMessages& messages) {
    for (int k : spectra) {
        updateScale(ws, k, xMessage, yMessage, messages);
        ViewerSpectrum& s = ws.spectrum(k);
        s.YTop = s.YMax;
    }
}

} // namespace

void updateScale(tvar& ws, int k, std::string_view xMessage, std::string_view yMessage, ViewMessages& messages) {
    ViewerSpectrum& s = ws.spectrum(k);
    const plot::DataArea area = plot::viewerDataArea(ws.PlotWidth, ws.PlotHeight);
    s.PlotWidthPx = area.width;
    s.PlotHeightPx = area.height;
    s.XRange = s.XMax - s.XMin;
    s.YRange = s.YMax - s.YMin;
    if (area.width > 0 && !perPixel(s.XRange, area.width, s.XPerPixel)) messages.add(xMessage);
    if (area.height > 0 && !perPixel(s.YRange, area.height, s.YPerPixel)) messages.add(yMessage);
}

void updateScalesForPaint(tvar& ws, ViewMessages& messages) {
    for (int k : shownSpectra(ws)) updateScale(ws, k, kPfuschEnergie, kPfuschCounts, messages);
}

bool zoomIn(tvar& ws, RangeScope scope, int col0, int row0, int col1, int row1, ViewMessages& messages) {
    const int c1 = std::min(col0, col1), c2 = std::max(col0, col1);
    const int r1 = std::min(row0, row1), r2 = std::max(row0, row1);
    if (c2 - c1 < kMinZoomPixels || r2 - r1 < kMinZoomPixels) return false;
    const std::vector<int> spectra = spectraInScope(ws, scope);
    for (int k : spectra) {
        ViewerSpectrum& s = ws.spectrum(k);
        s.XMax = (c2 - plot::kPlotLeft) * s.XPerPixel + s.XMin;
        s.XMin = (c1 - plot::kPlotLeft) * s.XPerPixel + s.XMin;
        s.YMin = s.YMax - (r2 - plot::kPlotTop) * s.YPerPixel;
        s.YMax = s.YMax - (r1 - plot::kPlotTop) * s.YPerPixel;
    }
    afterRangeChange(ws, spectra, kEnergiepfusch11, kCountspfusch11, messages);
    return true;
}

void zoomOut(tvar& ws, RangeScope scope, ViewMessages& messages) {
    const std::vector<int> spectra = spectraInScope(ws, scope);
    for (int k : spectra) {
        ViewerSpectrum& s = ws.spectrum(k);
        const double dx = (s.XMax - s.XMin) / 2, dy = (s.YMax - s.YMin) / 2;
        s.XMin -= dx;
        s.XMax += dx;
        s.YMin -= dy;
        s.YMax += dy;
    }
    afterRangeChange(ws, spectra, kEnergiepfusch10, kCountspfusch10, messages);
}

namespace {

struct AxisView {
    double lo, hi, loOrig, hiOrig, perPixel;
};

AxisView axisView(const ViewerSpectrum& s, ScrollAxis axis) {
    if (axis == ScrollAxis::Energy) return {s.XMin, s.XMax, s.XMinOrig, s.XMaxOrig, s.XPerPixel};
    return {s.YMin, s.YMax, s.YMinOrig, s.YMaxOrig, s.YPerPixel};
}

// Trunc(pixels / (hi - lo) * perPixel * 1000 + 0.99), kept inside what a scroll bar can hold.
int barUnits(double pixels, const AxisView& v) {
    const double units = pixels / (v.hi - v.lo) * v.perPixel * 1000 + 0.99;
    if (!std::isfinite(units) || units <= 0) return 0;
    return static_cast<int>(std::min(units, double(std::numeric_limits<int>::max() / 4)));
}

} // namespace

ScrollBarSetup setupScrollBar(const tvar& ws, RangeScope scope, ScrollAxis axis) {
    ScrollBarSetup bar;
    double toHigh = 0, toLow = 0; // pixels between the view and the ends of the loaded range
    int maxUnits = 0, minUnits = 0;
    for (int k : spectraInScope(ws, scope)) {
        const AxisView v = axisView(ws.spectrum(k), axis);
        if (!(v.perPixel > 0) || !(v.hi > v.lo)) continue;
        const double high = (v.hiOrig - v.hi) / v.perPixel, low = (v.lo - v.loOrig) / v.perPixel;
        if (std::isfinite(high) && high > toHigh) {
            toHigh = high;
            maxUnits = barUnits(high, v);
        }
        if (std::isfinite(low) && low > toLow) {
            toLow = low;
            minUnits = barUnits(low, v);
        }
    }
    bar.max = maxUnits;
    bar.min = -minUnits;
    if (bar.max > bar.min) bar.unitPixels = (toHigh + toLow) / (bar.max - bar.min);
    return bar;
}

void scrollTo(tvar& ws, RangeScope scope, ScrollAxis axis, ScrollBarSetup& bar, int position) {
    const double units = double(position) - double(bar.position);
    bar.position = position;
    if (units == 0 || bar.unitPixels == 0) return;
    for (int k : spectraInScope(ws, scope)) {
        ViewerSpectrum& s = ws.spectrum(k);
        if (axis == ScrollAxis::Energy) {
            const double shift = units * bar.unitPixels * s.XPerPixel;
            s.XMin += shift;
            s.XMax += shift;
        } else {
            const double shift = units * bar.unitPixels * s.YPerPixel;
            s.YMin += shift;
            s.YMax += shift;
            s.YTop = s.YMax;
        }
    }
}

void fullScale(tvar& ws, FullScale command, const BindingAxis* binding) {
    const std::vector<int> shown = shownSpectra(ws);
    // Kinetic energy x of spectrum k is binding energy offset[k] - x; 0 with the x values as they are.
    std::vector<double> offset(shown.size(), 0.0);
    bool converted = binding != nullptr;
    for (std::size_t i = 0; converted && i < shown.size(); ++i) {
        const std::optional<double> hv = photonEnergyOf(ws.spectrum(shown[i]), *binding);
        converted = hv.has_value();
        if (hv) offset[i] = bindingEnergy(*hv, 0.0, binding->workFunction);
    }
    double xLo = 1e300, xHi = -1e300, yLo = 1e300, yHi = -1e300;
    bool any = false;
    for (std::size_t i = 0; i < shown.size(); ++i) {
        for (const SpectrumPoint& p : ws.points(shown[i])) {
            const double x = converted ? offset[i] - p.x : p.x;
            xLo = std::min(xLo, x);
            xHi = std::max(xHi, x);
            yLo = std::min(yLo, p.y);
            yHi = std::max(yHi, p.y);
            any = true;
        }
    }
    if (!any) return;
    if (command == FullScale::Special) {
        const double top = yHi + (yHi - yLo) * 0.05;
        yLo = yLo - (top - yLo) * 0.06;
        yHi = top;
    }
    const bool x = command != FullScale::Y, y = command != FullScale::X;
    for (std::size_t i = 0; i < shown.size(); ++i) {
        ViewerSpectrum& s = ws.spectrum(shown[i]);
        if (x) {
            s.XMin = converted ? offset[i] - xHi : xLo;
            s.XMax = converted ? offset[i] - xLo : xHi;
        }
        if (y) {
            s.YMin = yLo;
            s.YMax = yHi;
            s.YTop = yHi;
        }
    }
}

} // namespace korvo

#include "plot/frame_layout.h"

#include "plot/plot_mapping.h"

#include <algorithm>
#include <cmath>

namespace korvo::plot {

namespace {

// The parts in which the screen and the cell frames differ.
struct FrameGeometry {
    int left, top, width, height;
    int energyLabelGap; // from the energy axis down to the top of its labels
    int countsLabelX;   // right end of the counts labels
    // Minor marks. The screen has short marks just inside the energy axis and below the top edge and
    // one mark right of the counts axis; a cell has marks of 10 units on both edges of both axes.
    int bottomMarkFrom, bottomMarkTo; // offsets from the energy axis
    int topMarkLength, leftMarkLength, rightMarkLength;
    int canvasLeft; // the canvas's left edge, left of which no label may start
};

bool usableUnit(double u) {
    return std::isfinite(u) && u != 0.0;
}

void addEnergyAxis(FrameLayout& f, const FrameGeometry& g, double XMin, double XMax, double xPerUnit) {
    const double lo = std::min(XMin, XMax), hi = std::max(XMin, XMax);
    const int bottom = g.top + g.height;
    const TickSpacing spacing = AxisTicksRounded(lo, hi);
    // A negative unit means values fall from left to right (a caller mapping from an XMin above
    // XMax): the largest value then sits on the left edge. Measuring from the smaller limit with
    // such a unit would put every tick left of the data area, over the counts labels.
    const double origin = xPerUnit < 0.0 ? hi : lo;
    f.energyAxis = true;
    for (const TickValue& t : walkTicks(lo, hi, spacing, AxisKind::Energy)) {
        const int x = g.left + toPixel((t.value - origin) / xPerUnit);
        Tick tick{t.value, x, t.major, {}};
        if (t.major) {
            tick.label = energyLabel(t.value, spacing.decimals);
            f.gridLines.push_back({x, g.top, x, bottom});
            f.labels.push_back({x, bottom + g.energyLabelGap, LabelAnchor::CentreTop, tick.label});
        } else {
            f.minorMarks.push_back({x, bottom + g.bottomMarkFrom, x, bottom + g.bottomMarkTo});
            f.minorMarks.push_back({x, g.top, x, g.top + g.topMarkLength});
        }
        f.energyTicks.push_back(std::move(tick));
    }
}

void addCountsAxis(FrameLayout& f, const FrameGeometry& g, double YMin, double YMax, double yPerUnit) {
    const TickSpacing spacing = AxisTicksTruncated(YMin, YMax);
    const int right = g.left + g.width;
    f.countsAxis = true;
    for (const TickValue& t : walkTicks(YMin, YMax, spacing, AxisKind::Counts)) {
        const int y = g.top + toPixel((YMax - t.value) / yPerUnit);
        Tick tick{t.value, y, t.major, {}};
        if (t.major) {
            tick.label = countsLabel(t.value);
            f.gridLines.push_back({g.left, y, right, y});
            f.labels.push_back({g.countsLabelX, y, LabelAnchor::RightMiddle, tick.label});
        } else {
            f.minorMarks.push_back({g.left, y, g.left + g.leftMarkLength, y});
            if (g.rightMarkLength > 0) f.minorMarks.push_back({right, y, right - g.rightMarkLength, y});
        }
        f.countsTicks.push_back(std::move(tick));
    }
}

FrameLayout layoutWith(const FrameGeometry& g, double XMin, double XMax, double YMin, double YMax,
                       double xPerUnit, double yPerUnit) {
    FrameLayout f;
    f.left = g.left;
    f.top = g.top;
    f.width = g.width;
    f.height = g.height;
    f.canvasLeft = g.canvasLeft;
    if (g.width <= 0 || g.height <= 0) return f;
    if (std::fabs(XMax - XMin) > 0.0 && usableUnit(xPerUnit)) addEnergyAxis(f, g, XMin, XMax, xPerUnit);
    if (std::fabs(YMax - YMin) > 0.0 && usableUnit(yPerUnit)) addCountsAxis(f, g, YMin, YMax, yPerUnit);
    f.border = usableUnit(xPerUnit) && usableUnit(yPerUnit);
    return f;
}

} // namespace

FrameLayout screenFrameLayout(double XMin, double XMax, double YMin, double YMax, double XPerPixel,
                              double YPerPixel, int plotWidth, int plotHeight) {
    plotWidth = std::min(plotWidth, kPixelLimit);
    plotHeight = std::min(plotHeight, kPixelLimit);
    // Labels start 3 pixels below the energy axis and end at column 40.
    const FrameGeometry g{kPlotLeft, kPlotTop, plotWidth, plotHeight, 3, 40, -1, -6, 6, 7, 0, 0};
    return layoutWith(g, XMin, XMax, YMin, YMax, XPerPixel, YPerPixel);
}

FrameLayout cellFrameLayout(double XMin, double XMax, double YMin, double YMax, double xPerUnit,
                            double yPerUnit, int cellWidth, int cellHeight, int cellLeft, int cellTop) {
    cellWidth = std::min(cellWidth, kPixelLimit);
    cellHeight = std::min(cellHeight, kPixelLimit);
    cellLeft = std::clamp(cellLeft, -kPixelLimit, kPixelLimit);
    cellTop = std::clamp(cellTop, -kPixelLimit, kPixelLimit);
    const int left = cellLeft + cellWidth / 9;
    const FrameGeometry g{left,
                          cellTop + cellHeight / 50,
                          cellWidth - cellWidth / 6,
                          cellHeight - cellHeight / 4,
                          cellHeight / 100,
                          left - cellWidth / 100,
                          0,
                          -10,
                          10,
                          10,
                          10,
                          cellLeft};
    return layoutWith(g, XMin, XMax, YMin, YMax, xPerUnit, yPerUnit);
}

} // namespace korvo::plot

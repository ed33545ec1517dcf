#pragma once
// Value <-> pixel arithmetic of the viewer's paint box and of the main window's live plot, and the
// live plot's "oben" scroll bar. Plain C++ so that window classes only copy numbers in and out.
#include <optional>

namespace korvo::plot {

// Every plot keeps its data area 45 pixels from the left and 5 from the top of its box.
inline constexpr int kPlotLeft = 45;
inline constexpr int kPlotTop = 5;

// Pixel positions are clamped to this magnitude (NaN goes to the negative end), so that absurd
// scales end up far off any canvas instead of overflowing an int.
inline constexpr int kPixelLimit = 1 << 22;

// Nearest integer with halves to even, clamped as above.
int toPixel(double position);

struct DataArea {
    int width = 0;
    int height = 0;
};

// Viewer: the data area is the paint box less 67 pixels across and 40 down.
DataArea viewerDataArea(int boxWidth, int boxHeight);

// Data units per pixel, (hi - lo) / pixels, or nothing when that is not a positive finite number
// (the viewer then reports its "Pfusch" message and does not draw).
std::optional<double> unitsPerPixel(double lo, double hi, int pixels);

// The viewer's mapping of one spectrum: x from XMin to the right, counts from YTop downwards.
struct ViewerMapping {
    double XMin = 0.0;
    double YTop = 0.0;
    double XPerPixel = 1.0;
    double YPerPixel = 1.0;

    int column(double x) const; // round((x - XMin) / XPerPixel) + 45
    int row(double y) const;    // round((YTop - y) / YPerPixel + 5)
    double xAt(int column) const;
    double yAt(int row) const;
};

// Live plot: the data area is the box less 60 across and 35 down.
DataArea liveDataArea(int boxWidth, int boxHeight);

// The live plot's mapping: column = round((x - XStart) / xPerPixel + 45),
// row = round((yMax - y) / yPerPixel + 5).
struct LiveMapping {
    double XStart = 0.0;
    double xPerPixel = 1.0;
    double yMax = 0.0;
    double yPerPixel = 1.0;

    int column(double x) const;
    int row(double y) const;
};

// x value under mouse column m of the live plot: column 45 is XStart, 45 + plot width is XEnd.
// A plot without width answers XStart.
double liveMouseX(int column, int plotWidth, double XStart, double XEnd);

// Data seen by the "oben" scroll bar: the largest and smallest per-scan count.
struct ScrollSpan {
    double hi = 0.0;
    double lo = 1e20;
    bool seen = false;
    void add(double v);
};

struct CountRange {
    double yMin = 0.0;
    double yMax = 0.0;
};

// The "oben" scroll bar runs from -1000 (110 % of the data span) to 9000 (10 %).
inline constexpr int kScrollTopMin = -1000;
inline constexpr int kScrollTopMax = 9000;

// New count range for scroll position `position` (clamped to the bar's range): y min is the smallest
// count (not below 0), y max lies (1 - position / 10000) of the span above it; a largest count above
// 1E10 is replaced by currentYMax. Nothing (keep the current range) when no count was seen or the
// result is not a positive span, since a zero or inverted range has no pixel scale.
std::optional<CountRange> scrollTopRange(int position, const ScrollSpan& span, double currentYMax);

} // namespace korvo::plot

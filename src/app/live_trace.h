#pragma once
// Arithmetic of the live measurement plot, free of Qt: which records of the data block are drawn,
// which value each curve takes, where it lands on the plot box, and how a curve of tens of thousands
// of points is thinned to what the pixels can show. The renderer and the tests both stand on it.
#include "acquisition/run/run_display.h"
#include "acquisition/run_state.h"
#include "plot/plot_mapping.h"

#include <array>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace korvo::live {

// Box geometry: the data area starts 45 pixels from the left and 5 from the top, and ends 15 before
// the right and 30 before the bottom edge.
inline constexpr int kRightMargin = 15;
inline constexpr int kBottomMargin = 30;

// Colours (0x00BBGGRR numbers, as the window design keeps them).
inline constexpr std::uint32_t kAverageLineColour = 0x888844;
inline constexpr std::uint32_t kCursor1Colour = 0x808000;
inline constexpr std::uint32_t kCursor2Colour = 0x008000;

// How far the run has got, as the plot needs it.
struct TraceSource {
    const DataBlock* data = nullptr;
    bool chart = false; // c(t): x is the point index, no averages, no cursors
    int scanNumber = 1;
    std::int64_t pointsMeasured = 0;
    int maxPositiveShift = 0;
    int maxNegativeShift = 0;
    int points = 0;
    int activeChannels = 9;
    std::array<std::int32_t, 10> channelEnabled{0, 1, 1, 1, 1, 1, 1, 1, 1, 1};
};

// Records first..last inclusive; empty when last < first.
struct RecordRange {
    std::size_t first = 1;
    std::size_t last = 0;
    bool empty() const { return last < first; }
    bool contains(std::size_t r) const { return r >= first && r <= last; }
};

// Completed points of the current scan: records MaxPositiveShift + 1 up to the points measured less
// MaxNegativeShift (c(t): 1 up to the points measured), within the data block.
RecordRange completedRecords(const TraceSource& s);
// The scan window of the accumulated spectrum: records MaxPositiveShift + 1 to MaxPositiveShift +
// Points, within the data block.
RecordRange scanWindow(const TraceSource& s);
// Completed scans exist from the second scan on (never in the c(t) chart).
bool hasAverages(const TraceSource& s);

// Curve values. Channel 0 is the single plot's total; channels 1..9 are the multichanneltron curves,
// scaled by the active channel count so that they sit at the height of the total (a disabled channel
// stays at 0).
inline double averageValue(const MeasurementRecord& r, int channel, const TraceSource& s) {
    const double scans = s.scanNumber - 1;
    if (channel <= 0) return r.Co[0] / scans;
    if (channel > 9 || !s.channelEnabled[std::size_t(channel)]) return 0.0;
    return r.Co[std::size_t(channel)] / scans * s.activeChannels;
}
inline double currentValue(const MeasurementRecord& r, int channel, const TraceSource& s) {
    if (channel <= 0) return r.CoScan[0];
    if (channel > 9 || !s.channelEnabled[std::size_t(channel)]) return 0.0;
    return r.CoScan[std::size_t(channel)] * s.activeChannels;
}

// Scale of one plot box for the current plot state.
struct LiveScale {
    int boxWidth = 0, boxHeight = 0;
    int plotWidth = 0, plotHeight = 0; // box - 60 across, box - 35 down
    double xStart = 0, xEnd = 0, yMin = 0, yMax = 0;
    double xPerPixel = 0, yPerPixel = 0;
    // Without a data area (a box shrunk below its margins) nothing but the margins is drawn.
    bool hasArea() const { return plotWidth > 0 && plotHeight > 0; }
    plot::LiveMapping mapping() const { return {xStart, xPerPixel, yMax, yPerPixel}; }
};

// x per pixel is the energy range over the plot width; the c(t) chart spreads Points over it.
LiveScale liveScale(int boxWidth, int boxHeight, const PlotScale& plot, bool chart, int points);

struct Pixel {
    int x = 0, y = 0;
    bool operator==(const Pixel&) const = default;
};

// Pixel of (x, y), or nothing when a value is not finite or the position leaves the pixel range
// (a zero range or an absurd scale): such a point cannot be drawn.
inline std::optional<Pixel> mapPoint(const LiveScale& scale, double x, double y) {
    const double col = (x - scale.xStart) / scale.xPerPixel + plot::kPlotLeft;
    const double row = (scale.yMax - y) / scale.yPerPixel + plot::kPlotTop;
    constexpr double limit = plot::kPixelLimit;
    // The comparisons are false for NaN, so NaN fails too.
    if (!(std::fabs(col) <= limit) || !(std::fabs(row) <= limit)) return std::nullopt;
    // Nearest integer with halves to even, as every pixel position of the plots is rounded: adding
    // and taking away 1.5 * 2^52 leaves no fraction bits (exact for |v| < 2^51; here |v| <= 2^22),
    // and unlike lrint it needs no library call in the inner loop of a 20,000-point curve.
    constexpr double magic = 6755399441055744.0;
    return Pixel{int((col + magic) - magic), int((row + magic) - magic)};
}

// A point that could not be drawn, for the diagnostic message.
struct FailedPoint {
    std::size_t record = 0;
    double x = 0, y = 0;
};

// " Bitte an den Hersteller wenden (ShowMeas- Rampe > 0):\ri: " with the point index (record - 1)
// and y max, the count, y per pixel, x end, the x value and x per pixel.
std::string failureText(const FailedPoint& f, const LiveScale& scale);

// Thins a polyline whose points come in x order (either direction): of every run of points in one
// column only the first, the lowest, the highest and the last are kept, so the drawn line covers the
// same pixels, peaks included, with at most four vertices per column.
class ColumnDecimator {
public:
    explicit ColumnDecimator(std::vector<Pixel>& out) : out_(out) {}
    ~ColumnDecimator() { finish(); }
    void add(Pixel p);
    void finish();

private:
    void push(Pixel p);
    std::vector<Pixel>& out_;
    bool open_ = false;
    Pixel first_, last_, low_, high_; // low_/high_: smallest and largest row
};

// Calls sink(Pixel) for every drawable point of `channel`, in record order: the averages over the
// scan window (x = Energy) or the current scan's completed values (x = enScan). Returns the first
// point that could not be mapped.
template <typename Sink>
std::optional<FailedPoint> forEachPoint(const TraceSource& s, const LiveScale& scale, int channel,
                                        bool averages, Sink&& sink) {
    std::optional<FailedPoint> failure;
    const RecordRange range = averages ? scanWindow(s) : completedRecords(s);
    if (range.empty() || !scale.hasArea()) return failure;
    const DataBlock& data = *s.data;
    for (std::size_t r = range.first; r <= range.last; ++r) {
        const MeasurementRecord& rec = data[r];
        const double x = averages ? rec.Energy : rec.enScan;
        const double y = averages ? averageValue(rec, channel, s) : currentValue(rec, channel, s);
        if (auto p = mapPoint(scale, x, y))
            sink(*p);
        else if (!failure)
            failure = FailedPoint{r, x, y};
    }
    return failure;
}

// One curve of the plot, as pixels, with the first point that failed.
struct Curve {
    std::vector<Pixel> points;
    std::optional<FailedPoint> failure;
};

// Line through the averages of `channel` over the scan window (x = Energy), decimated.
Curve averageLine(const TraceSource& s, const LiveScale& scale, int channel);
// Line through the current scan's completed values of `channel` (x = enScan), decimated.
Curve currentLine(const TraceSource& s, const LiveScale& scale, int channel);
// The current scan's completed values of `channel` as single spots; repeated pixels are dropped.
Curve currentSpots(const TraceSource& s, const LiveScale& scale, int channel);

// The "oben" scroll bar's view of the data: per-scan averages of the completed scans over the scan
// window and the current scan's completed totals.
plot::ScrollSpan scrollSpan(const TraceSource& s);
// The scroll bar does nothing while the first scan has not yet measured its extra points.
bool scrollIgnored(const TraceSource& s);

} // namespace korvo::live

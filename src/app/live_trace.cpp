#include "app/live_trace.h"

#include "common/number_text.h"

#include <algorithm>
#include <cmath>

namespace korvo::live {

namespace {

std::size_t lastRecord(const TraceSource& s) {
    return s.data && !s.data->empty() ? s.data->size() - 1 : 0;
}

RecordRange clampedRange(const TraceSource& s, std::int64_t first, std::int64_t last) {
    RecordRange r;
    first = std::max<std::int64_t>(first, 1);
    last = std::min<std::int64_t>(last, std::int64_t(lastRecord(s)));
    if (last < first) return r; // empty
    r.first = std::size_t(first);
    r.last = std::size_t(last);
    return r;
}

} // namespace

RecordRange completedRecords(const TraceSource& s) {
    if (s.chart) return clampedRange(s, 1, s.pointsMeasured);
    return clampedRange(s, std::int64_t(s.maxPositiveShift) + 1, s.pointsMeasured - s.maxNegativeShift);
}

RecordRange scanWindow(const TraceSource& s) {
    const std::int64_t first = std::int64_t(s.maxPositiveShift) + 1;
    return clampedRange(s, first, first + s.points - 1);
}

bool hasAverages(const TraceSource& s) {
    return !s.chart && s.scanNumber >= 2;
}

LiveScale liveScale(int boxWidth, int boxHeight, const PlotScale& plot, bool chart, int points) {
    LiveScale k;
    k.boxWidth = boxWidth;
    k.boxHeight = boxHeight;
    const plot::DataArea area = plot::liveDataArea(boxWidth, boxHeight);
    k.plotWidth = area.width;
    k.plotHeight = area.height;
    k.xStart = plot.xStart;
    k.xEnd = plot.xEnd;
    k.yMin = plot.yMin;
    k.yMax = plot.yMax;
    if (k.hasArea()) {
        k.xPerPixel = chart ? double(points) / k.plotWidth : (k.xEnd - k.xStart) / k.plotWidth;
        k.yPerPixel = (k.yMax - k.yMin) / k.plotHeight;
    }
    return k;
}

std::string failureText(const FailedPoint& f, const LiveScale& scale) {
    using text::formatGeneral;
    return " Bitte an den Hersteller wenden (ShowMeas- Rampe > 0):\ri: " + std::to_string(f.record - 1) +
           "CountsMax: " + formatGeneral(scale.yMax) + "Data^[i+1].CoScan: " + formatGeneral(f.y) +
           "ScalCo: " + formatGeneral(scale.yPerPixel) + "\r" + "CountsMax: " + formatGeneral(scale.xEnd) +
           "Data^[i+1].enScan: " + formatGeneral(f.x) + "Scalen: " + formatGeneral(scale.xPerPixel);
}

void ColumnDecimator::push(Pixel p) {
    if (out_.empty() || !(out_.back() == p)) out_.push_back(p);
}

void ColumnDecimator::add(Pixel p) {
    if (open_ && p.x == first_.x) {
        last_ = p;
        if (p.y < low_.y) low_ = p;
        if (p.y > high_.y) high_ = p;
        return;
    }
    finish();
    open_ = true;
    first_ = last_ = low_ = high_ = p;
}

void ColumnDecimator::finish() {
    if (!open_) return;
    open_ = false;
    push(first_);
    // Visit the extremes in the direction the column is entered, so the line does not double back.
    if (first_.y <= last_.y) {
        push(low_);
        push(high_);
    } else {
        push(high_);
        push(low_);
    }
    push(last_);
}

Curve averageLine(const TraceSource& s, const LiveScale& scale, int channel) {
    Curve c;
    if (!hasAverages(s)) return c;
    ColumnDecimator d(c.points);
    c.failure = forEachPoint(s, scale, channel, true, [&](Pixel p) { d.add(p); });
    d.finish();
    return c;
}

Curve currentLine(const TraceSource& s, const LiveScale& scale, int channel) {
    Curve c;
    ColumnDecimator d(c.points);
    c.failure = forEachPoint(s, scale, channel, false, [&](Pixel p) { d.add(p); });
    d.finish();
    return c;
}

Curve currentSpots(const TraceSource& s, const LiveScale& scale, int channel) {
    Curve c;
    c.failure = forEachPoint(s, scale, channel, false, [&](Pixel p) {
        if (c.points.empty() || !(c.points.back() == p)) c.points.push_back(p);
    });
    return c;
}

plot::ScrollSpan scrollSpan(const TraceSource& s) {
    plot::ScrollSpan span;
    if (!s.data) return span;
    if (hasAverages(s)) {
        const RecordRange w = scanWindow(s);
        for (std::size_t r = w.first; !w.empty() && r <= w.last; ++r)
            span.add(averageValue((*s.data)[r], 0, s));
    }
    const RecordRange c = completedRecords(s);
    for (std::size_t r = c.first; !c.empty() && r <= c.last; ++r) span.add((*s.data)[r].CoScan[0]);
    return span;
}

bool scrollIgnored(const TraceSource& s) {
    return s.scanNumber == 1 && s.pointsMeasured < std::int64_t(s.maxPositiveShift) + s.maxNegativeShift;
}

} // namespace korvo::live

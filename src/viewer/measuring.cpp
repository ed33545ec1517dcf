#include "viewer/measuring.h"

#include "common/number_text.h"

#include <algorithm>
#include <cmath>

namespace korvo {

namespace {

bool hasActive(const tvar& ws) {
    return ws.Active >= 1 && ws.Active <= kMaxSpectra && !ws.points(ws.Active).empty();
}

void setMark(tvar& ws, MeasureMark mark, int j) {
    const int k = ws.Active;
    const double x = ws.point(k, j).x;
    const int column = ws.column(k, x);
    if (mark == MeasureMark::Start) {
        ws.SelStartPoint = j;
        ws.SelStartX = x;
        ws.SelStartPx = column;
    } else {
        ws.SelEndPoint = j;
        ws.SelEndX = x;
        ws.SelEndPx = column;
    }
}

std::string fixed2(double v) {
    return text::formatFixedPrecision(v, 5, 2);
}

} // namespace

std::optional<int> nearestPoint(const tvar& ws, int k, double energy) {
    if (k < 1 || k > kMaxSpectra || std::isnan(energy)) return std::nullopt;
    const ViewerSpectrum& s = ws.spectrum(k);
    const auto points = ws.points(k);
    if (points.empty()) return std::nullopt;
    energy = std::clamp(energy, std::min(s.XMin, s.XMax), std::max(s.XMin, s.XMax));
    if (energy < s.XMinOrig || energy > s.XMaxOrig) return std::nullopt;
    std::size_t i = 0;
    while (i < points.size() && points[i].x < energy) ++i;
    if (i == points.size()) return static_cast<int>(points.size());
    if (i > 0 && std::fabs(points[i - 1].x - energy) < std::fabs(points[i].x - energy)) --i;
    return static_cast<int>(i) + 1;
}

bool startMeasuring(tvar& ws) {
    if (!hasActive(ws)) return false;
    const ViewerSpectrum& s = ws.spectrum(ws.Active);
    const auto start = nearestPoint(ws, ws.Active, s.XMin);
    const auto end = nearestPoint(ws, ws.Active, s.XMax);
    // A view wholly outside the loaded range: the marks go to the ends of the spectrum.
    setMark(ws, MeasureMark::Start, start.value_or(1));
    setMark(ws, MeasureMark::End, end.value_or(s.NumPoints));
    return true;
}

bool moveMark(tvar& ws, MeasureMark mark, int column) {
    if (!hasActive(ws)) return false;
    const auto j = nearestPoint(ws, ws.Active, ws.xAtColumn(ws.Active, column));
    if (!j) return false;
    setMark(ws, mark, *j);
    return true;
}

bool removeSpike(tvar& ws, int column) {
    if (!hasActive(ws)) return false;
    const int k = ws.Active;
    const int n = static_cast<int>(ws.points(k).size());
    const auto j = nearestPoint(ws, k, ws.xAtColumn(k, column));
    if (!j || n < 2) return false;
    const double before = ws.point(k, *j > 1 ? *j - 1 : *j + 1).y;
    const double after = ws.point(k, *j < n ? *j + 1 : *j - 1).y;
    ws.point(k, *j).y = (before + after) / 2;
    return true;
}

std::string measuringCaption(const tvar& ws, const BindingAxis* binding) {
    double start = ws.SelStartX, end = ws.SelEndX;
    if (binding && ws.Active >= 1 && ws.Active <= kMaxSpectra) {
        start = shownX(ws.spectrum(ws.Active), start, binding);
        end = shownX(ws.spectrum(ws.Active), end, binding);
    }
    return fixed2(start) + "  " + fixed2(end) + "  " + fixed2(end - start);
}

} // namespace korvo

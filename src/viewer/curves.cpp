#include "viewer/curves.h"

#include <cstddef>

namespace korvo {

CurveColour curveColour(const tvar& ws, int k) {
    if (k == ws.Active) return kActiveColour;
    if (ws.spectrum(k).Marked) return kMarkedColour;
    return kPlainColour;
}

Curve spectrumCurve(const tvar& ws, int k, ViewMessages& messages) {
    return curveThrough(ws, k, ws.points(k), messages);
}

Curve curveThrough(const tvar& ws, int k, std::span<const SpectrumPoint> points, ViewMessages& messages) {
    Curve curve;
    curve.spectrum = k;
    curve.colour = curveColour(ws, k);
    const ViewerSpectrum& s = ws.spectrum(k);
    std::size_t first = 0;
    while (first < points.size() && points[first].x < s.XMin) ++first;
    if (first == points.size()) return curve;
    if (s.XPerPixel == 0 || s.YPerPixel == 0) {
        messages.add(kSkalierungspfusch2);
        return curve;
    }
    const plot::ViewerMapping m = ws.mapping(k);
    const auto pixel = [&](double x, double y) { return CurvePixel{m.column(x), m.row(y)}; };
    const double edge = s.YMin;
    std::vector<CurvePixel>* piece = nullptr;
    const auto startPiece = [&](CurvePixel p) {
        piece = &curve.pieces.emplace_back();
        piece->push_back(p);
    };
    const SpectrumPoint* prev = &points[first];
    if (prev->y >= edge) startPiece(pixel(prev->x, prev->y));
    for (std::size_t i = first + 1; i < points.size(); ++i) {
        const SpectrumPoint& p = points[i];
        const bool wasAbove = prev->y >= edge, isAbove = p.y >= edge;
        if (wasAbove && isAbove) {
            piece->push_back(pixel(p.x, p.y));
        } else if (wasAbove != isAbove) {
            // The crossing of the lower edge, on the straight line between the two points.
            const double t = (edge - prev->y) / (p.y - prev->y);
            const CurvePixel crossing = pixel(prev->x + t * (p.x - prev->x), edge);
            if (wasAbove) {
                piece->push_back(crossing);
                piece = nullptr;
            } else {
                startPiece(crossing);
                piece->push_back(pixel(p.x, p.y));
            }
        }
        prev = &p;
    }
    return curve;
}

std::vector<Curve> viewerCurves(const tvar& ws, ViewMessages& messages) {
    std::vector<Curve> curves;
    for (int k : shownSpectra(ws)) curves.push_back(spectrumCurve(ws, k, messages));
    return curves;
}

} // namespace korvo

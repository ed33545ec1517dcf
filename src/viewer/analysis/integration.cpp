#include "viewer/analysis/integration.h"

#include "common/number_text.h"

namespace korvo::analysis {

Integration integrate(const tvar& ws) {
    Integration r;
    if (ws.Active < 1 || ws.Active > ws.spectrumCount()) {
        r.message = "There is no active spectrum to integrate.";
        return r;
    }
    const std::span<const SpectrumPoint> pts = ws.points(ws.Active);
    const int s = ws.SelStartPoint, e = ws.SelEndPoint;
    const int n = int(pts.size());
    if (s < 1 || s > n || e < 1 || e > n) {
        r.message = "The marks lie outside the active spectrum: switch on \"Measure dist.\" and place them.";
        return r;
    }
    // The loop would not run and report an area of 0 for whatever lies between the marks.
    if (e < s) {
        r.message = "The start mark (point " + std::to_string(s) + ") lies after the end mark (point " +
                    std::to_string(e) + "): the start mark must lie before the end mark.";
        return r;
    }
    auto x = [&](int j) { return pts[std::size_t(j - 1)].x; };
    auto y = [&](int j) { return pts[std::size_t(j - 1)].y; };
    const double xa = x(s), ya = y(s), xb = x(e), yb = y(e);
    if (e > s && xa == xb) {
        r.message = "Both marks lie at the same energy: the background line has no slope.";
        return r;
    }
    double area = 0;
    for (int j = s + 1; j <= e; ++j) {
        const double xm = (x(j) + x(j - 1)) / 2, ym = (y(j) + y(j - 1)) / 2;
        const double bg = (yb - ya) / (xb - xa) * (xm - xa) + ya;
        area += (ym - bg) * (x(j) - x(j - 1));
    }
    r.startPoint = s;
    r.endPoint = e;
    r.startX = xa;
    r.endX = xb;
    r.area = area;
    r.memo = {"Start energy : " + text::formatGeneral(xa), "End energy   : " + text::formatGeneral(xb),
              "Start point  : " + std::to_string(s), "End   point  : " + std::to_string(e)};
    r.areaText = text::formatGeneral(area);
    return r;
}

} // namespace korvo::analysis

#include "viewer/fit/fit_workspace.h"

#include "viewer/fit/fit_solver.h"
#include "viewer/fit/line_shapes.h"
#include "viewer/header_values.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <functional>

namespace korvo::fit {

SpectrumInput inputOf(const tvar& ws, int k, const BindingAxis& axis) {
    const ViewerSpectrum& s = ws.spectrum(k);
    return {ws.points(k), photonEnergyOf(s, axis), axis.workFunction, s.PathName};
}

Prepared prepareSpectrum(const FitModel& model, const tvar& ws, int k, const BindingAxis& axis) {
    if (model.axis == Axis::Binding && abscissaOf(ws.spectrum(k)) != Abscissa::KineticEnergy)
        return {std::nullopt,
                "\"axis\": this scan of the photon energy has photon energies for x, no binding energies."};
    Prepared p = prepareFit(model, inputOf(ws, k, axis));
    if (!p.problem) return p;
    if (std::string why = singularAtStart(*p.problem); !why.empty()) return {std::nullopt, why};
    return p;
}

FitOverlay overlayOf(const FitProblem& problem, const FitCurves& curves, int k) {
    FitOverlay o;
    o.spectrum = k;
    for (std::size_t i = 0; i < problem.points(); ++i) o.fitted.push_back({problem.kineticX[i], problem.y[i]});
    o.envelope = curves.envelope;
    o.background = curves.background;
    o.residual = curves.residual;
    o.components = curves.components;
    return o;
}

std::string nextComponentName(const FitModel& model) {
    for (std::size_t n = model.components.size() + 1;; ++n) {
        std::string name = "C" + std::to_string(n);
        if (!model.find(name)) return name;
    }
}

namespace {

struct PeakShape {
    double height = 0, fwhm = 0;
};

// Where the counts fall to half the height above `base` on either side of point i0 (interpolated
// between points); twice the one side where the other runs into the end of the spectrum.
PeakShape peakAbove(const std::vector<SpectrumPoint>& pts, std::size_t i0, double base) {
    const double height = pts[i0].y - base, half = base + height / 2;
    const auto crossing = [&](std::size_t a, std::size_t b) {
        const double t = (pts[a].y - half) / (pts[a].y - pts[b].y);
        return pts[a].x + t * (pts[b].x - pts[a].x);
    };
    std::optional<double> left, right;
    for (std::size_t j = i0; j > 0; --j)
        if (pts[j - 1].y <= half) {
            left = pts[i0].x - crossing(j, j - 1);
            break;
        }
    for (std::size_t j = i0; j + 1 < pts.size(); ++j)
        if (pts[j + 1].y <= half) {
            right = crossing(j, j + 1) - pts[i0].x;
            break;
        }
    double fwhm = 0;
    if (left && right)
        fwhm = *left + *right;
    else if (left || right)
        fwhm = 2 * left.value_or(right.value_or(0));
    else
        fwhm = (pts.back().x - pts.front().x) / 10;
    return {height, fwhm};
}

// The counts less the components of the model that describe a line already (every width above
// zero, links followed), so that a shoulder is measured on what its neighbours leave of it.
void subtractComponents(std::vector<SpectrumPoint>& pts, const FitModel& model, double tailSign,
                        const std::function<double(double)>& onAxis) {
    const ResolvedLinks links = resolveLinks(model);
    if (!links.error.empty()) return;
    for (std::size_t c = 0; c < model.components.size(); ++c) {
        const Component& comp = model.components[c];
        const auto& names = parameterNames(comp.shape);
        std::array<double, kMaxShapeParameters> p{};
        bool line = true;
        for (std::size_t j = 0; j < names.size(); ++j) {
            const LinkRoot& r = links.roots[c][j];
            p[j] = r.scale * model.components[std::size_t(r.component)].parameters[std::size_t(r.slot)].value + r.offset;
            if (parameterKind(names[j]) == ParameterKind::Width && !(p[j] > 0)) line = false;
            if (!std::isfinite(p[j])) line = false;
        }
        if (!line) continue;
        for (SpectrumPoint& pt : pts) pt.y -= shapeValue(comp.shape, onAxis(pt.x), p.data(), tailSign);
    }
}

double lowestWithin(const std::vector<SpectrumPoint>& pts, double lo, double hi) {
    double low = std::numeric_limits<double>::infinity();
    for (const SpectrumPoint& p : pts)
        if (p.x >= lo && p.x <= hi) low = std::min(low, p.y);
    return low;
}

} // namespace

ComponentGuess componentAt(const FitModel& model, const SpectrumInput& spectrum, double x, Shape shape) {
    std::vector<SpectrumPoint> pts;
    for (const SpectrumPoint& p : spectrum.points)
        if (std::isfinite(p.x) && std::isfinite(p.y)) pts.push_back(p);
    std::stable_sort(pts.begin(), pts.end(), [](const SpectrumPoint& a, const SpectrumPoint& b) { return a.x < b.x; });
    if (pts.size() < 3 || !(x >= pts.front().x && x <= pts.back().x))
        return {std::nullopt, "The click lies beside the spectrum; click on the peak of the new component."};
    const bool binding = model.axis == Axis::Binding;
    if (binding && !spectrum.photonEnergy)
        return {std::nullopt, "\"axis\": binding energies need the photon energy, and " + spectrum.name +
                                  " has no photon energy in its header; give one."};
    const auto onAxis = [&](double ke) {
        return binding ? bindingEnergy(*spectrum.photonEnergy, ke, spectrum.workFunction) : ke;
    };
    subtractComponents(pts, model, binding ? -1 : 1, onAxis);
    std::size_t i0 = std::size_t(std::lower_bound(pts.begin(), pts.end(), x,
                                                  [](const SpectrumPoint& p, double v) { return p.x < v; }) -
                                 pts.begin());
    if (i0 == pts.size() || (i0 > 0 && x - pts[i0 - 1].x < pts[i0].x - x)) --i0;
    // The lowest counts of the region first, then those within two widths of the peak, so that a
    // peak on a sloping background is measured from the background beside it.
    double lo = pts.front().x, hi = pts.back().x;
    if (model.region) {
        const double a = binding ? onAxis(model.region->from) : model.region->from;
        const double b = binding ? onAxis(model.region->to) : model.region->to;
        lo = std::min(a, b), hi = std::max(a, b);
    }
    double base = lowestWithin(pts, lo, hi);
    if (!std::isfinite(base)) base = lowestWithin(pts, pts.front().x, pts.back().x);
    PeakShape peak = peakAbove(pts, i0, base);
    if (peak.height > 0) {
        const double near = lowestWithin(pts, pts[i0].x - 2 * peak.fwhm, pts[i0].x + 2 * peak.fwhm);
        if (near > base && near < pts[i0].y) peak = peakAbove(pts, i0, base = near);
    }
    if (!(peak.height > 0))
        return {std::nullopt, "The counts there stand on nothing above the lowest counts around them; "
                              "click on the top of a peak."};
    const double step = (pts.back().x - pts.front().x) / double(pts.size() - 1);
    const double fwhm = std::max(peak.fwhm, 2 * step);

    Component c;
    c.name = nextComponentName(model);
    c.shape = shape;
    const auto set = [&](std::string_view name, double value) {
        const int j = parameterIndex(shape, name);
        if (j >= 0) c.parameters[std::size_t(j)].value = value;
    };
    // Start values as a user would type them: energies and widths to the meV.
    const auto meV = [](double v) { return std::round(v * 1000) / 1000; };
    set("position", meV(onAxis(pts[i0].x)));
    set("fwhm", meV(fwhm));
    set("eta", 0.3);
    set("fwhm_g", meV(0.8 * fwhm));
    set("fwhm_l", meV(0.3 * fwhm));
    set("gamma", meV(fwhm / 2));
    set("alpha", 0.1);
    // The amount that gives the measured height: the shape's height per unit amount, scaled.
    const std::string_view amount = shape == Shape::DoniachSunjic ? "height" : "area";
    set(amount, 1);
    std::array<double, kMaxShapeParameters> p{};
    for (std::size_t j = 0; j < parameterNames(shape).size(); ++j) p[j] = c.parameters[j].value;
    const double unit = shapeHeight(shape, std::span(p.data(), parameterNames(shape).size()), binding ? -1 : 1);
    const double value = unit > 0 ? peak.height / unit : peak.height * fwhm;
    // Four digits are all a start value needs.
    char digits[32];
    std::snprintf(digits, sizeof digits, "%.4g", value);
    set(amount, std::strtod(digits, nullptr));
    c.parameter(amount).min = 0;
    return {std::move(c), {}};
}

} // namespace korvo::fit

#include "viewer/fit/fit_problem.h"

#include "common/number_text.h"
#include "viewer/analysis/backgrounds.h"
#include "viewer/fit/line_shapes.h"

#include <algorithm>
#include <cmath>
#include <numeric>
#include <type_traits>

namespace korvo::fit {
namespace {

using Jet = ceres::Jet<double, kMaxShapeParameters>;

// Adds component c's values at the points to f and, with a Jacobian, its derivatives: plain numbers
// for values only, dual numbers carrying the derivatives by the component's own parameters otherwise.
template <typename T, Shape S>
void addComponent(const FitProblem& pb, std::size_t c, const double* p, double* f, double* jacobian) {
    const auto& affine = pb.components[c];
    constexpr std::size_t count = S == Shape::Gaussian || S == Shape::Lorentzian ? 3 : 4;
    const std::size_t n = pb.points(), m = pb.free.size();
    const double sign = pb.tailSign;
    T q[kMaxShapeParameters] = {};
    for (std::size_t j = 0; j < count; ++j) {
        if constexpr (std::is_same_v<T, double>)
            q[j] = affine[j].at(p);
        else
            q[j] = T(affine[j].at(p), int(j));
    }
    const auto line = makeLine<S>(static_cast<const T*>(q), sign);
    if constexpr (std::is_same_v<T, double>) {
        for (std::size_t i = 0; i < n; ++i) f[i] += line(pb.x[i]);
    } else {
        // Only the slots that move with a free parameter reach the Jacobian.
        int slot[kMaxShapeParameters];
        std::size_t column[kMaxShapeParameters];
        double scale[kMaxShapeParameters];
        std::size_t active = 0;
        for (std::size_t j = 0; j < count; ++j)
            if (affine[j].free >= 0) {
                slot[active] = int(j);
                column[active] = std::size_t(affine[j].free);
                scale[active++] = affine[j].scale;
            }
        for (std::size_t i = 0; i < n; ++i) {
            const T v = line(pb.x[i]);
            f[i] += v.a;
            double* row = jacobian + i * m;
            for (std::size_t j = 0; j < active; ++j) row[column[j]] += scale[j] * v.v[slot[j]];
        }
    }
}

template <typename T>
void addComponentOf(const FitProblem& pb, std::size_t c, const double* p, double* f, double* jacobian) {
    // The shape is chosen once per component, so that the loop over the points holds one shape only.
    switch (pb.model.components[c].shape) {
    case Shape::Gaussian:
        return addComponent<T, Shape::Gaussian>(pb, c, p, f, jacobian);
    case Shape::Lorentzian:
        return addComponent<T, Shape::Lorentzian>(pb, c, p, f, jacobian);
    case Shape::PseudoVoigt:
        return addComponent<T, Shape::PseudoVoigt>(pb, c, p, f, jacobian);
    case Shape::Voigt:
        return addComponent<T, Shape::Voigt>(pb, c, p, f, jacobian);
    case Shape::DoniachSunjic:
        return addComponent<T, Shape::DoniachSunjic>(pb, c, p, f, jacobian);
    }
}

void addComponents(const FitProblem& pb, const double* p, double* f, double* jacobian) {
    for (std::size_t c = 0; c < pb.components.size(); ++c) {
        if (jacobian)
            addComponentOf<Jet>(pb, c, p, f, jacobian);
        else
            addComponentOf<double>(pb, c, p, f, jacobian);
    }
}

Parameter estimatedBackground(double value) {
    Parameter p;
    p.value = value;
    return p;
}

// Free parameters in model order; fixed and linked ones through them. Why the start values do not
// fit the bounds that links add, or empty.
std::string mapParameters(FitProblem& pb) {
    const ResolvedLinks links = resolveLinks(pb.model);
    std::vector<std::array<int, kMaxShapeParameters>> freeOf(pb.model.components.size());
    for (std::size_t c = 0; c < pb.model.components.size(); ++c) {
        const Component& comp = pb.model.components[c];
        const auto& names = parameterNames(comp.shape);
        for (std::size_t j = 0; j < names.size(); ++j) {
            const Parameter& p = comp.parameters[j];
            freeOf[c][j] = -1;
            if (p.linked() || p.fixed || p.min == p.max) continue;
            const Limits nat = naturalLimits(parameterKind(names[j]));
            freeOf[c][j] = int(pb.free.size());
            pb.free.push_back({comp.name + "." + std::string(names[j]), p.value, std::max(p.min, nat.lower),
                               std::min(p.max, nat.upper)});
        }
    }
    pb.components.resize(pb.model.components.size());
    for (std::size_t c = 0; c < pb.model.components.size(); ++c) {
        const auto& names = parameterNames(pb.model.components[c].shape);
        for (std::size_t j = 0; j < names.size(); ++j) {
            const LinkRoot& r = links.roots[c][j];
            const Parameter& root =
                pb.model.components[std::size_t(r.component)].parameters[std::size_t(r.slot)];
            const int k = freeOf[std::size_t(r.component)][std::size_t(r.slot)];
            pb.components[c][j] =
                k >= 0 ? Affine{k, r.scale, r.offset} : Affine{-1, 1, r.scale * root.value + r.offset};
            // A linked parameter's natural limits bound its root: "C1 - 0.5" as a width keeps C1 above 0.5.
            const Limits nat = naturalLimits(parameterKind(names[j]));
            if (k < 0 || r.scale == 0 || !pb.model.components[c].parameters[j].linked()) continue;
            FreeParameter& f = pb.free[std::size_t(k)];
            const double a = (nat.lower - r.offset) / r.scale, b = (nat.upper - r.offset) / r.scale;
            f.lower = std::max(f.lower, r.scale > 0 ? a : b);
            f.upper = std::min(f.upper, r.scale > 0 ? b : a);
        }
    }
    for (const FreeParameter& f : pb.free)
        if (!(f.lower <= f.start && f.start <= f.upper)) {
            const std::size_t dot = f.label.rfind('.');
            return parameterPlace(f.label.substr(0, dot), f.label.substr(dot + 1)) + ": the start value " +
                   text::plainNumber(f.start) + " lies outside " + text::plainNumber(f.lower) + " to " +
                   text::plainNumber(f.upper) +
                   ", the range that its bounds and the parameters linked to it allow.";
        }
    return {};
}

// Constant and linear backgrounds: fitted with the components, starting from the counts at the ends
// of the region unless given.
void addBackgroundTerm(FitProblem& pb) {
    pb.backgroundTerm = true;
    const auto [lo, hi] = std::minmax_element(pb.x.begin(), pb.x.end());
    const double yLow = pb.y[std::size_t(lo - pb.x.begin())], yHigh = pb.y[std::size_t(hi - pb.x.begin())];
    const bool linear = pb.model.background.type == BackgroundType::Linear;
    const Parameter c0 =
        pb.model.background.c0.value_or(estimatedBackground(linear ? yLow : std::min(yLow, yHigh)));
    const Parameter c1 =
        pb.model.background.c1.value_or(estimatedBackground(*hi > *lo ? (yHigh - yLow) / (*hi - *lo) : 0.0));
    const auto add = [&](const Parameter& p, const char* label) {
        if (p.fixed || p.min == p.max) return Affine{-1, 1, p.value};
        pb.free.push_back({std::string("background.") + label, p.value, p.min, p.max});
        return Affine{int(pb.free.size()) - 1, 1, 0};
    };
    pb.background[0] = add(c0, "c0");
    pb.background[1] = linear ? add(c1, "c1") : Affine{-1, 1, 0};
}

} // namespace

std::vector<double> FitProblem::startValues() const {
    std::vector<double> p;
    for (const FreeParameter& f : free) p.push_back(f.start);
    return p;
}

Prepared prepareFit(const FitModel& model, const SpectrumInput& spectrum) {
    const auto refuse = [](std::string why) { return Prepared{std::nullopt, std::move(why)}; };
    if (std::string why = checkModel(model, true); !why.empty()) return refuse(why);
    const bool binding = model.axis == Axis::Binding;
    const std::string& name = spectrum.name;
    if (binding &&
        !(spectrum.photonEnergy && std::isfinite(*spectrum.photonEnergy) && *spectrum.photonEnergy > 0))
        return refuse("\"axis\": binding energies need the photon energy, and " + name +
                      " has no photon energy in its header; give one.");
    if (binding && !std::isfinite(spectrum.workFunction))
        return refuse("\"axis\": the work function is no finite number.");
    const auto onAxis = [&](double ke) {
        return binding ? bindingEnergy(*spectrum.photonEnergy, ke, spectrum.workFunction) : ke;
    };

    const std::span<const SpectrumPoint> all = spectrum.points;
    if (all.size() < 2) return refuse(name + " has fewer than two points; there is nothing to fit.");
    double xmin = std::numeric_limits<double>::infinity(), xmax = -xmin;
    for (const SpectrumPoint& pt : all) {
        if (!std::isfinite(pt.x) || !std::isfinite(pt.y))
            return refuse(name + ": the counts at " + text::plainNumber(pt.x) +
                          " eV are not a finite number; nothing was fitted.");
        xmin = std::min(xmin, onAxis(pt.x));
        xmax = std::max(xmax, onAxis(pt.x));
    }
    FitProblem pb;
    pb.model = model;
    pb.photonEnergy = spectrum.photonEnergy;
    pb.workFunction = spectrum.workFunction;
    pb.tailSign = binding ? -1 : 1;
    pb.low = xmin;
    pb.high = xmax;
    if (model.region) {
        pb.low = std::min(model.region->from, model.region->to);
        pb.high = std::max(model.region->from, model.region->to);
        // Half a point's step of slack: a region typed to the first or last energy is inside.
        const double slack =
            0.5 * (xmax - xmin) / double(all.size() - 1) + 1e-9 * std::max(1.0, std::abs(xmax));
        if (pb.low < xmin - slack || pb.high > xmax + slack)
            return refuse("\"region\": " + text::plainNumber(pb.low) + " to " + text::plainNumber(pb.high) +
                          " eV lies outside " + name + " (" + text::plainNumber(xmin) + " to " +
                          text::plainNumber(xmax) + " eV " + std::string(binding ? "binding" : "kinetic") +
                          " energy).");
    }
    const double eps = 1e-9 * std::max(1.0, std::max(std::abs(pb.low), std::abs(pb.high)));
    std::vector<SpectrumPoint> region;
    for (const SpectrumPoint& pt : all)
        if (onAxis(pt.x) >= pb.low - eps && onAxis(pt.x) <= pb.high + eps) region.push_back(pt);
    std::stable_sort(region.begin(), region.end(),
                     [](const SpectrumPoint& a, const SpectrumPoint& b) { return a.x < b.x; });
    if (region.size() < 2)
        return refuse("\"region\": " + text::plainNumber(pb.low) + " to " + text::plainNumber(pb.high) +
                      " eV holds " + std::to_string(region.size()) + " point(s) of " + name +
                      "; a fit needs more.");
    for (const SpectrumPoint& pt : region) {
        pb.kineticX.push_back(pt.x);
        pb.x.push_back(onAxis(pt.x));
        pb.y.push_back(pt.y);
        pb.sqrtWeight.push_back(model.weights == Weights::Poisson ? 1 / std::sqrt(std::max(pt.y, 1.0)) : 1.0);
    }
    const BackgroundType bgType = model.background.type;
    if (bgType == BackgroundType::Shirley || bgType == BackgroundType::ActiveShirley)
        analysis::shirleyBackgroundOf(region, pb.fixedBackground);
    else if (bgType == BackgroundType::Tougaard)
        analysis::tougaardBackgroundOf(region, model.background.tougaardB, pb.fixedBackground);
    else
        pb.fixedBackground.assign(region.size(), 0.0);

    if (std::string why = mapParameters(pb); !why.empty()) return refuse(why);
    if (bgType == BackgroundType::Constant || bgType == BackgroundType::Linear) addBackgroundTerm(pb);
    if (pb.free.size() >= pb.points())
        return refuse("\"region\": " + std::to_string(pb.free.size()) + " free parameters for the " +
                      std::to_string(pb.points()) + " points of " + name +
                      " in the region; a fit needs more points than free parameters.");
    return Prepared{std::move(pb), {}};
}

void modelValues(const FitProblem& pb, const double* p, std::span<const double> background, double* f,
                 double* jacobian) {
    const std::size_t n = pb.points(), m = pb.free.size();
    if (jacobian) std::fill(jacobian, jacobian + n * m, 0.0);
    for (std::size_t i = 0; i < n; ++i) f[i] = background[i];
    if (pb.backgroundTerm) {
        const Affine& c0 = pb.background[0];
        const Affine& c1 = pb.background[1];
        const double a = c0.at(p), b = c1.at(p);
        for (std::size_t i = 0; i < n; ++i) {
            const double dx = pb.x[i] - pb.low;
            f[i] += a + b * dx;
            if (!jacobian) continue;
            if (c0.free >= 0) jacobian[i * m + std::size_t(c0.free)] += c0.scale;
            if (c1.free >= 0) jacobian[i * m + std::size_t(c1.free)] += c1.scale * dx;
        }
    }
    addComponents(pb, p, f, jacobian);
}

void addComponentValues(const FitProblem& pb, std::size_t c, const double* p, double* f) {
    addComponentOf<double>(pb, c, p, f, nullptr);
}

std::array<double, kMaxShapeParameters> componentValues(const FitProblem& pb, std::size_t c,
                                                        const double* p) {
    std::array<double, kMaxShapeParameters> q{};
    const std::size_t count = parameterNames(pb.model.components[c].shape).size();
    for (std::size_t j = 0; j < count; ++j) q[j] = pb.components[c][j].at(p);
    return q;
}

std::vector<double> activeShirleyOf(const FitProblem& pb, const double* p) {
    const std::size_t n = pb.points();
    std::vector<double> peaks(n, 0.0), bg(n, 0.0);
    addComponents(pb, p, peaks.data(), nullptr);
    std::vector<double> area(n, 0.0);
    for (std::size_t i = n - 1; i-- > 0;)
        area[i] = area[i + 1] + 0.5 * (peaks[i] + peaks[i + 1]) * (pb.kineticX[i + 1] - pb.kineticX[i]);
    const double ya = pb.y.front(), yb = pb.y.back();
    for (std::size_t i = 0; i < n; ++i)
        bg[i] = area[0] != 0 ? yb + (ya - yb) * area[i] / area[0]
                             : yb + (ya - yb) * double(n - 1 - i) / double(n - 1);
    return bg;
}

} // namespace korvo::fit

#include "viewer/fit/fit_result.h"

#include "viewer/fit/fit_problem.h"
#include "viewer/fit/line_shapes.h"

#include <Eigen/Dense>

#include <algorithm>
#include <cmath>
#include <functional>

namespace korvo::fit {
namespace {

using Matrix = Eigen::MatrixXd;
using Vector = Eigen::VectorXd;
using RowMajor = Eigen::Matrix<double, Eigen::Dynamic, Eigen::Dynamic, Eigen::RowMajor>;

// The smallest eigenvalue of the correlation form of J^T W J below which two or more parameters
// count as indistinguishable.
constexpr double kSingular = 1e-10;

// The inverse of J^T W J through its correlation form, or an empty matrix with the parameters that
// cannot be told apart named in `why`.
Matrix inverseOrWhy(const Matrix& a, const std::vector<FreeParameter>& free, std::string& why) {
    const Eigen::Index m = a.rows();
    Vector scale(m);
    for (Eigen::Index k = 0; k < m; ++k) {
        if (!(a(k, k) > 0) || !std::isfinite(a(k, k))) {
            why = "The fit is singular: " + free[std::size_t(k)].label +
                  " has no effect on the curve (fix it, or move the component into the region); no errors "
                  "are given.";
            return {};
        }
        scale(k) = 1 / std::sqrt(a(k, k));
    }
    const Matrix n = scale.asDiagonal() * a * scale.asDiagonal();
    const Eigen::SelfAdjointEigenSolver<Matrix> eig(n);
    const Vector& lambda = eig.eigenvalues();
    if (!(lambda(0) > kSingular)) {
        // The eigenvector of the smallest eigenvalue says which parameters move together unseen.
        const Vector v = eig.eigenvectors().col(0);
        std::vector<Eigen::Index> order(static_cast<std::size_t>(m));
        for (Eigen::Index k = 0; k < m; ++k) order[std::size_t(k)] = k;
        std::sort(order.begin(), order.end(),
                  [&](auto i, auto j) { return std::abs(v(i)) > std::abs(v(j)); });
        std::string names;
        for (Eigen::Index k : order)
            if (std::abs(v(k)) > 0.1) names += (names.empty() ? "" : ", ") + free[std::size_t(k)].label;
        why = "The fit is singular: the data cannot tell " + names +
              " apart (fix, link or remove one of the components); no errors are given.";
        return {};
    }
    const Matrix inv =
        eig.eigenvectors() * lambda.cwiseInverse().asDiagonal() * eig.eigenvectors().transpose();
    return scale.asDiagonal() * inv * scale.asDiagonal();
}

double spread(const Vector& g, const Matrix& cov) {
    if (cov.size() == 0) return 0;
    return std::sqrt(std::max(0.0, g.dot(cov * g)));
}

// The gradient over the free parameters of a quantity of component c, by central differences over
// the component's own parameters and the chain rule through their links.
Vector gradientOf(const FitProblem& pb, std::size_t c, const double* p,
                  const std::function<double(std::span<const double>)>& quantity) {
    Vector g = Vector::Zero(Eigen::Index(pb.free.size()));
    std::array<double, kMaxShapeParameters> q = componentValues(pb, c, p);
    const std::size_t count = parameterNames(pb.model.components[c].shape).size();
    for (std::size_t j = 0; j < count; ++j) {
        const Affine& a = pb.components[c][j];
        if (a.free < 0 || a.scale == 0) continue;
        const double v = q[j];
        const double h = 1e-6 * std::max(std::abs(v), 1e-3);
        q[j] = v + h;
        const double up = quantity(q);
        q[j] = v - h;
        const double down = quantity(q);
        q[j] = v;
        g(a.free) += a.scale * (up - down) / (2 * h);
    }
    return g;
}

ParameterResult parameterResult(std::string name, const Parameter& given, const Affine& a, const double* p,
                                const Matrix& cov) {
    ParameterResult r;
    r.name = std::move(name);
    r.estimate.value = a.at(p);
    r.source = given.linked() ? ParameterSource::Linked
               : a.free >= 0  ? ParameterSource::Free
                              : ParameterSource::Fixed;
    if (given.linked()) r.link = linkText(given);
    if (a.free >= 0 && cov.size() > 0)
        r.estimate.error = std::abs(a.scale) * std::sqrt(std::max(0.0, cov(a.free, a.free)));
    return r;
}

// Shares in percent of a sum, with errors: 100 v_i / sum v, gradient by the quotient rule.
std::vector<Estimate> shares(const std::vector<double>& v, const std::vector<Vector>& g, const Matrix& cov,
                             Eigen::Index m) {
    double total = 0;
    Vector totalGrad = Vector::Zero(m);
    for (std::size_t i = 0; i < v.size(); ++i) {
        total += v[i];
        totalGrad += g[i];
    }
    std::vector<Estimate> out(v.size());
    if (total == 0) return out;
    for (std::size_t i = 0; i < v.size(); ++i) {
        out[i].value = 100 * v[i] / total;
        out[i].error = spread(100 * (g[i] * total - v[i] * totalGrad) / (total * total), cov);
    }
    return out;
}

// chi-square at p and the inverse of J^T W J there (empty, with the reason, when it has none).
struct Curvature {
    double chi2 = 0;
    Matrix inverse;
    std::string why;
};

Curvature curvatureAt(const FitProblem& pb, const double* p, std::span<const double> fixedBackground) {
    Curvature out;
    const std::size_t n = pb.points(), m = pb.free.size();
    std::vector<double> f(n), jacobian(n * m);
    modelValues(pb, p, fixedBackground, f.data(), jacobian.data());
    Eigen::Map<RowMajor> j(jacobian.data(), Eigen::Index(n), Eigen::Index(m));
    for (std::size_t i = 0; i < n; ++i) {
        const double res = pb.sqrtWeight[i] * (pb.y[i] - f[i]);
        out.chi2 += res * res;
        j.row(Eigen::Index(i)) *= pb.sqrtWeight[i];
    }
    if (m == 0) return out;
    Matrix a = Matrix::Zero(Eigen::Index(m), Eigen::Index(m));
    a.selfadjointView<Eigen::Lower>().rankUpdate(j.transpose());
    a = a.selfadjointView<Eigen::Lower>();
    out.inverse = inverseOrWhy(a, pb.free, out.why);
    return out;
}

} // namespace

std::string singularityAt(const FitProblem& problem, const std::vector<double>& p,
                          std::span<const double> fixedBackground) {
    return curvatureAt(problem, p.data(), fixedBackground).why;
}

FitResult resultAt(const FitProblem& pb, const std::vector<double>& pv, std::vector<double> fixedBackground) {
    FitResult r;
    const std::size_t n = pb.points(), m = pb.free.size();
    const double* p = pv.data();
    Curvature curvature = curvatureAt(pb, p, fixedBackground);
    r.chi2 = curvature.chi2;
    r.axis = pb.model.axis;
    r.points = int(n);
    r.dof = int(n - m);
    r.reducedChi2 = r.chi2 / r.dof;
    r.freeValues = pv;
    r.fixedBackground = std::move(fixedBackground);
    r.status = FitStatus::Converged;
    r.errorsKnown = true;
    Matrix cov = std::move(curvature.inverse);
    if (!curvature.why.empty()) {
        r.status = FitStatus::Singular;
        r.message = curvature.why;
        r.errorsKnown = false;
    } else {
        cov *= r.reducedChi2;
    }
    for (std::size_t k = 0; k < m && cov.size() > 0; ++k)
        for (std::size_t l = k + 1; l < m; ++l) {
            const double c =
                cov(Eigen::Index(k), Eigen::Index(l)) /
                std::sqrt(cov(Eigen::Index(k), Eigen::Index(k)) * cov(Eigen::Index(l), Eigen::Index(l)));
            if (std::abs(c) > kStrongCorrelation)
                r.correlations.push_back({pb.free[k].label, pb.free[l].label, c});
        }

    const Eigen::Index mi = Eigen::Index(m);
    std::vector<double> areas;
    std::vector<Vector> areaGrads;
    for (std::size_t c = 0; c < pb.components.size(); ++c) {
        const Component& given = pb.model.components[c];
        ComponentResult cr;
        cr.name = given.name;
        cr.shape = given.shape;
        cr.element = given.element;
        const auto& names = parameterNames(given.shape);
        for (std::size_t k = 0; k < names.size(); ++k)
            cr.parameters.push_back(
                parameterResult(std::string(names[k]), given.parameters[k], pb.components[c][k], p, cov));
        const auto q = componentValues(pb, c, p);
        const Shape shape = given.shape;
        const double sign = pb.tailSign, lo = pb.low, hi = pb.high;
        const auto derived = [&](const std::function<double(std::span<const double>)>& fn) {
            return Estimate{fn(q), spread(gradientOf(pb, c, p, fn), cov)};
        };
        cr.height = derived([&](std::span<const double> v) { return shapeHeight(shape, v, sign); });
        cr.fwhm = derived([&](std::span<const double> v) { return shapeFwhm(shape, v, sign); });
        const auto area = [&](std::span<const double> v) { return shapeArea(shape, v, sign, lo, hi); };
        cr.area = Estimate{area(q), 0};
        areaGrads.push_back(gradientOf(pb, c, p, area));
        cr.area.error = spread(areaGrads.back(), cov);
        areas.push_back(cr.area.value);
        r.components.push_back(std::move(cr));
    }
    const std::vector<Estimate> percent = shares(areas, areaGrads, cov, mi);
    for (std::size_t c = 0; c < r.components.size(); ++c) r.components[c].areaPercent = percent[c];

    // Atomic percent: each element's sum of area / sensitivity over the sum for all elements.
    std::vector<std::string> elements;
    std::vector<double> amounts;
    std::vector<Vector> amountGrads;
    for (std::size_t c = 0; c < pb.components.size(); ++c) {
        const Component& given = pb.model.components[c];
        if (given.element.empty() || !given.sensitivity) continue;
        auto it = std::find(elements.begin(), elements.end(), given.element);
        if (it == elements.end()) {
            elements.push_back(given.element);
            amounts.push_back(0);
            amountGrads.push_back(Vector::Zero(mi));
            it = elements.end() - 1;
        }
        const std::size_t e = std::size_t(it - elements.begin());
        amounts[e] += areas[c] / *given.sensitivity;
        amountGrads[e] += areaGrads[c] / *given.sensitivity;
    }
    const std::vector<Estimate> atomic = shares(amounts, amountGrads, cov, mi);
    for (std::size_t e = 0; e < elements.size(); ++e) r.elements.push_back({elements[e], atomic[e]});

    r.background.type = pb.model.background.type;
    r.background.tougaardB = pb.model.background.tougaardB;
    if (pb.backgroundTerm) {
        const Parameter none;
        r.background.parameters.push_back(parameterResult("c0", none, pb.background[0], p, cov));
        if (pb.model.background.type == BackgroundType::Linear)
            r.background.parameters.push_back(parameterResult("c1", none, pb.background[1], p, cov));
    }
    if (!r.errorsKnown) {
        for (ComponentResult& c : r.components) {
            for (ParameterResult& pr : c.parameters) pr.estimate.error = 0;
            c.height.error = c.area.error = c.fwhm.error = c.areaPercent.error = 0;
        }
        for (ParameterResult& pr : r.background.parameters) pr.estimate.error = 0;
    }
    return r;
}

FitCurves curvesOf(const FitProblem& pb, std::span<const double> free,
                   std::span<const double> fixedBackground) {
    FitCurves out;
    const std::size_t n = pb.points();
    const double* p = free.data();
    out.x = pb.x;
    out.y = pb.y;
    out.background.assign(fixedBackground.begin(), fixedBackground.end());
    out.background.resize(n, 0.0);
    if (pb.backgroundTerm) {
        const double c0 = pb.background[0].at(p), c1 = pb.background[1].at(p);
        for (std::size_t i = 0; i < n; ++i) out.background[i] += c0 + c1 * (pb.x[i] - pb.low);
    }
    out.envelope = out.background;
    for (std::size_t c = 0; c < pb.components.size(); ++c) {
        std::vector<double> curve(n, 0.0);
        addComponentValues(pb, c, p, curve.data());
        for (std::size_t i = 0; i < n; ++i) out.envelope[i] += curve[i];
        out.components.push_back(std::move(curve));
    }
    out.residual.resize(n);
    for (std::size_t i = 0; i < n; ++i) out.residual[i] = out.y[i] - out.envelope[i];
    return out;
}

FitCurves curvesOf(const FitProblem& pb, const FitResult& result) {
    return curvesOf(pb, result.freeValues, result.fixedBackground);
}

FitModel modelWithResult(const FitModel& model, const FitResult& result) {
    FitModel next = model;
    const auto take = [](Parameter& p, double value, ParameterKind kind) {
        const Limits nat = naturalLimits(kind);
        p.value = std::clamp(value, std::max(p.min, nat.lower), std::min(p.max, nat.upper));
    };
    for (std::size_t c = 0; c < next.components.size() && c < result.components.size(); ++c) {
        Component& comp = next.components[c];
        const auto& names = parameterNames(comp.shape);
        for (std::size_t j = 0; j < names.size(); ++j) {
            Parameter& p = comp.parameters[j];
            if (!p.linked() && !p.fixed)
                take(p, result.components[c].parameters[j].estimate.value, parameterKind(names[j]));
        }
    }
    for (const ParameterResult& pr : result.background.parameters) {
        std::optional<Parameter>& p = pr.name == "c0" ? next.background.c0 : next.background.c1;
        if (!p) p = Parameter{};
        if (!p->fixed) take(*p, pr.estimate.value, ParameterKind::Background);
    }
    return next;
}

} // namespace korvo::fit

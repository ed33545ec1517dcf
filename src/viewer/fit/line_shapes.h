#pragma once
// The line shapes, written once for plain numbers and for the solver's dual numbers (ceres::Jet), so
// that the Jacobian comes from the same expressions as the values. Every shape but Doniach-Sunjic is
// normalised: `area` is its integral over all x.
#include "viewer/fit/fit_model.h"

#include <ceres/jet.h>

#include <cmath>
#include <numbers>
#include <span>

namespace korvo::fit {

inline constexpr double kLn2 = std::numbers::ln2;
// Height of a unit-area gaussian times its FWHM: sqrt(4 ln2 / pi).
inline const double kGaussNorm = std::sqrt(4 * kLn2 / std::numbers::pi);
// sigma of a gaussian per unit FWHM: 1 / (2 sqrt(2 ln2)).
inline const double kSigmaPerFwhm = 1 / (2 * std::sqrt(2 * kLn2));

// The unit-area Voigt profile of a gaussian of standard deviation sigma and a lorentzian of half
// width gamma: Re w(z) / (sigma sqrt(2 pi)), z = (u + i gamma) / (sigma sqrt 2), w from libcerf.
// With sigma = 0 it is the lorentzian. The second form also gives the partial derivatives.
double voigtUnit(double u, double sigma, double gamma);
double voigtUnit(double u, double sigma, double gamma, double& dU, double& dSigma, double& dGamma);

template <int N>
ceres::Jet<double, N> voigtUnit(const ceres::Jet<double, N>& u, const ceres::Jet<double, N>& sigma,
                                const ceres::Jet<double, N>& gamma) {
    double dU = 0, dSigma = 0, dGamma = 0;
    const double v = voigtUnit(u.a, sigma.a, gamma.a, dU, dSigma, dGamma);
    return ceres::Jet<double, N>(v, dU * u.v + dSigma * sigma.v + dGamma * gamma.v);
}

// Beyond this exponent a gaussian is below 1e-43 of its height: the solver's sums cannot see it, and
// skipping its exp() halves the work far from the line.
inline constexpr double kNegligibleExponent = 100;

inline double plainValue(double v) {
    return v;
}
template <int N> double plainValue(const ceres::Jet<double, N>& v) {
    return v.a;
}

// exp(-4 ln2 t2), the gaussian of t2 = ((x - position) / fwhm)^2, zero where it is negligible.
template <typename T> T gaussianOf(const T& t2) {
    using std::exp;
    if (plainValue(t2) * (4 * kLn2) > kNegligibleExponent) return T(0.0);
    return exp(-4 * kLn2 * t2);
}

// Each shape as an object made once from its parameters (in the order of parameterNames) that keeps
// what does not depend on x, then evaluated at every point.
template <typename T> struct GaussianLine {
    T position, inverseWidth, height;
    explicit GaussianLine(const T* p)
        : position(p[0]), inverseWidth(1.0 / p[1]), height(kGaussNorm * p[2] * inverseWidth) {}
    T operator()(double x) const {
        const T t = (x - position) * inverseWidth;
        return height * gaussianOf(T(t * t));
    }
};

template <typename T> struct LorentzianLine {
    T position, inverseWidth, height;
    explicit LorentzianLine(const T* p)
        : position(p[0]), inverseWidth(1.0 / p[1]), height((2 / std::numbers::pi) * p[2] * inverseWidth) {}
    T operator()(double x) const {
        const T t = (x - position) * inverseWidth;
        return height / (1.0 + 4.0 * (t * t));
    }
};

// (1 - eta) gaussian + eta lorentzian of the same position, FWHM and area.
template <typename T> struct PseudoVoigtLine {
    T position, inverseWidth, scale, eta;
    explicit PseudoVoigtLine(const T* p)
        : position(p[0]), inverseWidth(1.0 / p[1]), scale(p[2] * inverseWidth), eta(p[3]) {}
    T operator()(double x) const {
        const T t = (x - position) * inverseWidth;
        const T t2 = t * t;
        const T g = kGaussNorm * gaussianOf(t2);
        const T l = (2 / std::numbers::pi) / (1.0 + 4.0 * t2);
        return scale * (g + eta * (l - g));
    }
};

// Parameters position, area, fwhm_g, fwhm_l.
template <typename T> struct VoigtLine {
    T position, area, sigma, gamma;
    explicit VoigtLine(const T* p)
        : position(p[0]), area(p[1]), sigma(p[2] * kSigmaPerFwhm), gamma(p[3] * 0.5) {}
    T operator()(double x) const { return area * voigtUnit(T(x - position), sigma, gamma); }
};

// height cos(pi alpha / 2 + (1 - alpha) atan(e)) / (1 + e^2)^((1 - alpha) / 2), e = (x - position) /
// gamma. Its tail lies at negative e; `tailSign` -1 turns e on the binding axis, so that the tail
// always lies towards lower kinetic energy.
template <typename T> struct DoniachSunjicLine {
    T position, height, inverseGamma, k, phase;
    double tailSign;
    DoniachSunjicLine(const T* p, double sign)
        : position(p[0]), height(p[1]), inverseGamma(1.0 / p[2]), k(1.0 - p[3]),
          phase(std::numbers::pi / 2 * p[3]), tailSign(sign) {}
    T operator()(double x) const {
        using std::atan;
        using std::cos;
        using std::exp;
        using std::log;
        const T e = tailSign * (x - position) * inverseGamma;
        return height * cos(phase + k * atan(e)) * exp(-0.5 * k * log(1.0 + e * e));
    }
};

template <Shape S, typename T> auto makeLine(const T* p, double tailSign) {
    if constexpr (S == Shape::Gaussian)
        return GaussianLine<T>(p);
    else if constexpr (S == Shape::Lorentzian)
        return LorentzianLine<T>(p);
    else if constexpr (S == Shape::PseudoVoigt)
        return PseudoVoigtLine<T>(p);
    else if constexpr (S == Shape::Voigt)
        return VoigtLine<T>(p);
    else
        return DoniachSunjicLine<T>(p, tailSign);
}

// One value of a shape at x, its parameters p in the order of parameterNames(shape).
template <typename T> T shapeValue(Shape shape, double x, const T* p, double tailSign) {
    switch (shape) {
    case Shape::Gaussian:
        return makeLine<Shape::Gaussian>(p, tailSign)(x);
    case Shape::Lorentzian:
        return makeLine<Shape::Lorentzian>(p, tailSign)(x);
    case Shape::PseudoVoigt:
        return makeLine<Shape::PseudoVoigt>(p, tailSign)(x);
    case Shape::Voigt:
        return makeLine<Shape::Voigt>(p, tailSign)(x);
    case Shape::DoniachSunjic:
        return makeLine<Shape::DoniachSunjic>(p, tailSign)(x);
    }
    return T(0.0);
}

// What the results report besides the parameters, from the parameters of one component:
// the height of the line, its total FWHM and its area (Doniach-Sunjic: over [low, high], since its
// integral over all x diverges).
double shapeHeight(Shape shape, std::span<const double> p, double tailSign);
double shapeFwhm(Shape shape, std::span<const double> p, double tailSign);
double shapeArea(Shape shape, std::span<const double> p, double tailSign, double low, double high);

} // namespace korvo::fit

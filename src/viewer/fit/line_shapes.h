#pragma once
// The line shapes as functions of u = x - position, written once for plain numbers and for the
// solver's dual numbers (ceres::Jet), so that the Jacobian comes from the same expressions as the
// values. Every shape but Doniach-Sunjic is normalised: `area` is its integral over all x.
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

template <typename T> T gaussianShape(const T& u, const T& fwhm, const T& area) {
    using std::exp;
    const T t = u / fwhm;
    return area * kGaussNorm / fwhm * exp(-4 * kLn2 * t * t);
}

template <typename T> T lorentzianShape(const T& u, const T& fwhm, const T& area) {
    const T t = u / fwhm;
    return area * (2 / std::numbers::pi) / (fwhm * (1.0 + 4.0 * t * t));
}

template <typename T> T pseudoVoigtShape(const T& u, const T& fwhm, const T& area, const T& eta) {
    using std::exp;
    const T t = u / fwhm;
    const T g = kGaussNorm * exp(-4 * kLn2 * t * t);
    const T l = (2 / std::numbers::pi) / (1.0 + 4.0 * t * t);
    return area / fwhm * ((1.0 - eta) * g + eta * l);
}

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

template <typename T> T voigtShape(const T& u, const T& area, const T& fwhmG, const T& fwhmL) {
    return area * voigtUnit(u, fwhmG * kSigmaPerFwhm, fwhmL * 0.5);
}

// height cos(pi alpha / 2 + (1 - alpha) atan(e)) / (1 + e^2)^((1 - alpha) / 2), e = u / gamma. Its tail
// lies at negative u: the caller passes u in kinetic-energy direction on either axis.
template <typename T> T doniachSunjicShape(const T& u, const T& height, const T& gamma, const T& alpha) {
    using std::atan;
    using std::cos;
    using std::exp;
    using std::log;
    const T e = u / gamma;
    const T k = 1.0 - alpha;
    return height * cos(std::numbers::pi / 2 * alpha + k * atan(e)) * exp(-0.5 * k * log(1.0 + e * e));
}

// The value of a shape at x with its parameters p in the order of parameterNames(shape). `tailSign`
// is +1 on the kinetic axis and -1 on the binding axis, so that the Doniach-Sunjic tail always
// lies towards lower kinetic energy.
template <typename T> T shapeValue(Shape shape, double x, const T* p, double tailSign) {
    const T u = x - p[0];
    switch (shape) {
    case Shape::Gaussian: return gaussianShape(u, p[1], p[2]);
    case Shape::Lorentzian: return lorentzianShape(u, p[1], p[2]);
    case Shape::PseudoVoigt: return pseudoVoigtShape(u, p[1], p[2], p[3]);
    case Shape::Voigt: return voigtShape(u, p[1], p[2], p[3]);
    case Shape::DoniachSunjic: return doniachSunjicShape(T(tailSign * u), p[1], p[2], p[3]);
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

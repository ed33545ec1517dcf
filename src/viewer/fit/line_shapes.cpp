#include "viewer/fit/line_shapes.h"

#include <cerf.h>

#include <algorithm>
#include <functional>

namespace korvo::fit {
namespace {

constexpr double kSqrt2 = std::numbers::sqrt2;
const double kSqrt2Pi = std::sqrt(2 * std::numbers::pi);
const double kTwoOverSqrtPi = 2 / std::sqrt(std::numbers::pi);

// Faddeeva's w(x + iy) from libcerf, whose interface speaks C99 complex numbers.
void faddeeva(double x, double y, double& re, double& im) {
    __complex__ double z;
    __real__ z = x;
    __imag__ z = y;
    const __complex__ double w = w_of_z(z);
    re = __real__ w;
    im = __imag__ w;
}

double lorentzUnit(double u, double gamma, double& dU, double& dGamma) {
    const double d = u * u + gamma * gamma;
    const double v = gamma / (std::numbers::pi * d);
    dU = -2 * u * v / d;
    dGamma = (1 / (std::numbers::pi * d)) - 2 * gamma * v / d;
    return v;
}

// Where f, falling from its maximum at u0, reaches half of it, searched from u0 in direction dir.
double halfMaximumAt(const std::function<double(double)>& f, double u0, double dir, double scale) {
    const double half = f(u0) / 2;
    double inside = u0, step = scale;
    double outside = u0 + dir * step;
    // Widen until the curve has fallen below half; a tail that never does so gives infinity.
    for (int i = 0; f(outside) > half; ++i) {
        if (i > 200) return dir * std::numeric_limits<double>::infinity();
        inside = outside;
        step *= 2;
        outside = u0 + dir * step;
    }
    for (int i = 0; i < 200 && std::abs(outside - inside) > 1e-15 * (std::abs(inside) + scale); ++i) {
        const double mid = 0.5 * (inside + outside);
        (f(mid) > half ? inside : outside) = mid;
    }
    return 0.5 * (inside + outside);
}

double widthAround(const std::function<double(double)>& f, double u0, double scale) {
    return halfMaximumAt(f, u0, 1, scale) - halfMaximumAt(f, u0, -1, scale);
}

// The maximum of the Doniach-Sunjic line lies at e = -tan(pi alpha / (4 - 2 alpha)).
double doniachSunjicPeak(double gamma, double alpha) {
    return -gamma * std::tan(std::numbers::pi * alpha / (4 - 2 * alpha));
}

} // namespace

double voigtUnit(double u, double sigma, double gamma) {
    double dU = 0, dS = 0, dG = 0;
    return voigtUnit(u, sigma, gamma, dU, dS, dG);
}

double voigtUnit(double u, double sigma, double gamma, double& dU, double& dSigma, double& dGamma) {
    if (!(sigma > 0)) {
        dSigma = 0;
        return lorentzUnit(u, gamma, dU, dGamma);
    }
    const double s2 = sigma * kSqrt2;
    const double zr = u / s2, zi = gamma / s2;
    double re = 0, im = 0;
    faddeeva(zr, zi, re, im);
    const double c = 1 / (sigma * kSqrt2Pi);
    const double v = c * re;
    // w'(z) = -2 z w(z) + 2i / sqrt(pi); z moves with u and gamma by 1/(sigma sqrt 2) (real and
    // imaginary), and with sigma by -z / sigma.
    const double dwr = -2 * (zr * re - zi * im);
    const double dwi = -2 * (zr * im + zi * re) + kTwoOverSqrtPi;
    dU = c * dwr / s2;
    dGamma = -c * dwi / s2;
    dSigma = -c * (dwr * zr - dwi * zi) / sigma - v / sigma;
    return v;
}

double shapeHeight(Shape shape, std::span<const double> p, double tailSign) {
    switch (shape) {
    case Shape::Gaussian:
        return p[2] * kGaussNorm / p[1];
    case Shape::Lorentzian:
        return p[2] * 2 / (std::numbers::pi * p[1]);
    case Shape::PseudoVoigt:
        return p[2] / p[1] * ((1 - p[3]) * kGaussNorm + p[3] * 2 / std::numbers::pi);
    case Shape::Voigt:
        return p[1] * voigtUnit(0, p[2] * kSigmaPerFwhm, p[3] / 2);
    case Shape::DoniachSunjic:
        return p[1];
    }
    return 0;
}

double shapeFwhm(Shape shape, std::span<const double> p, double tailSign) {
    switch (shape) {
    case Shape::Voigt: {
        const double sigma = p[2] * kSigmaPerFwhm, gamma = p[3] / 2;
        return widthAround([&](double u) { return voigtUnit(u, sigma, gamma); }, 0, std::max(p[2], p[3]) / 2);
    }
    case Shape::DoniachSunjic: {
        const double unit[] = {0, 1, p[2], p[3]};
        const DoniachSunjicLine<double> line(unit, 1);
        return widthAround(line, doniachSunjicPeak(p[2], p[3]), p[2]);
    }
    default:
        return p[1];
    }
}

double shapeArea(Shape shape, std::span<const double> p, double tailSign, double low, double high) {
    switch (shape) {
    case Shape::Voigt:
        return p[1];
    case Shape::DoniachSunjic: {
        // Simpson's rule, fine enough for the line's width inside the region.
        const double width = std::abs(high - low);
        const long n = 2 * std::clamp(long(std::ceil(20 * width / std::abs(p[2]))), 200L, 100000L);
        const double h = (high - low) / double(n);
        const DoniachSunjicLine<double> line(p.data(), tailSign);
        double sum = 0;
        for (long i = 0; i <= n; ++i) {
            const double x = low + h * double(i);
            const double w = (i == 0 || i == n) ? 1 : (i % 2 == 1 ? 4 : 2);
            sum += w * line(x);
        }
        return sum * h / 3;
    }
    default:
        return p[2];
    }
}

} // namespace korvo::fit

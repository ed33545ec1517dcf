#pragma once
// Synthetic spectra for the fit tests, written from the line shapes' textbook formulas (the Voigt
// by numerical convolution), independently of the fit's own code.
#include "files/spectrum_file.h"
#include "viewer/fit/fit_solver.h"
#include "viewer/fit/model_file.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <numbers>
#include <string>
#include <vector>

namespace korvo::testing {

inline constexpr double kPi = std::numbers::pi;
inline constexpr double kLog2 = std::numbers::ln2;

inline double gaussian(double x, double pos, double fwhm, double area) {
    return area * std::sqrt(4 * kLog2 / kPi) / fwhm *
           std::exp(-4 * kLog2 * (x - pos) * (x - pos) / (fwhm * fwhm));
}
inline double lorentzian(double x, double pos, double fwhm, double area) {
    return area * (2 / (kPi * fwhm)) / (1 + 4 * (x - pos) * (x - pos) / (fwhm * fwhm));
}
// The convolution of the two, by Simpson's rule over the gaussian's support.
inline double voigtByConvolution(double x, double pos, double area, double fwhmG, double fwhmL) {
    const int n = 4000;
    const double a = -6 * fwhmG, h = 12 * fwhmG / n;
    double sum = 0;
    for (int i = 0; i <= n; ++i) {
        const double t = a + i * h;
        const double w = (i == 0 || i == n) ? 1 : (i % 2 ? 4 : 2);
        sum += w * gaussian(t, 0, fwhmG, 1) * lorentzian(x - t, pos, fwhmL, area);
    }
    return sum * h / 3;
}
inline double doniachSunjic(double x, double pos, double height, double gamma, double alpha) {
    const double e = (x - pos) / gamma;
    return height * std::cos(kPi * alpha / 2 + (1 - alpha) * std::atan(e)) /
           std::pow(1 + e * e, (1 - alpha) / 2);
}

// Points x0, x0 + step, ... with counts f(x).
inline std::vector<SpectrumPoint> sampled(double x0, double step, int n,
                                          const std::function<double(double)>& f) {
    std::vector<SpectrumPoint> pts;
    for (int i = 0; i < n; ++i) pts.push_back({x0 + step * i, f(x0 + step * i)});
    return pts;
}

inline fit::FitModel modelFrom(const std::string& json) {
    fit::ModelRead r = fit::readModelJson(json);
    EXPECT_TRUE(r.model) << r.error;
    return r.model.value_or(fit::FitModel{});
}

inline fit::FitProblem problemFor(const fit::FitModel& model, const std::vector<SpectrumPoint>& pts,
                                  std::optional<double> photon = std::nullopt) {
    fit::Prepared p = fit::prepareFit(model, {pts, photon, kDefaultWorkFunction, "test"});
    EXPECT_TRUE(p.problem) << p.error;
    return p.problem ? std::move(*p.problem) : fit::FitProblem{};
}

// The message of a refused model or problem, empty when it was taken.
inline std::string refusal(const std::string& json, const std::vector<SpectrumPoint>& pts) {
    const fit::ModelRead r = fit::readModelJson(json);
    if (!r.model) return r.error;
    return fit::prepareFit(*r.model, {pts, std::nullopt, kDefaultWorkFunction, "test"}).error;
}

inline const fit::ParameterResult& param(const fit::FitResult& r, std::size_t c, const std::string& name) {
    for (const fit::ParameterResult& p : r.components.at(c).parameters)
        if (p.name == name) return p;
    ADD_FAILURE() << "no parameter " << name;
    static fit::ParameterResult none;
    return none;
}

} // namespace korvo::testing

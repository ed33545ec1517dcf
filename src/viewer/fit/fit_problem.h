#pragma once
// A model checked against one spectrum and made ready for the solver: the points of the region on
// the model's axis, their weights, the fixed background, and every parameter of the model expressed
// through the free ones (value = scale * free + offset, or a constant).
#include "files/spectrum_file.h"
#include "viewer/binding_energy.h"
#include "viewer/fit/fit_model.h"

#include <optional>
#include <span>
#include <string>
#include <vector>

namespace korvo::fit {

// What the fit needs of a spectrum: its points in kinetic energy as stored and, for the binding
// axis, the photon energy (binding_axis.h: photonEnergyOf; none for a photon-energy scan) and the
// work function.
struct SpectrumInput {
    std::span<const SpectrumPoint> points;
    std::optional<double> photonEnergy; // eV
    double workFunction = kDefaultWorkFunction;
    std::string name; // for messages
};

// A parameter through the free ones: scale * p[free] + offset, or the constant offset (free < 0).
struct Affine {
    int free = -1;
    double scale = 1, offset = 0;
    double at(const double* p) const { return free >= 0 ? scale * p[free] + offset : offset; }
};

struct FreeParameter {
    std::string label; // "C1.position", "background.c0"
    double start = 0;
    double lower = -std::numeric_limits<double>::infinity();
    double upper = std::numeric_limits<double>::infinity();
};

struct FitProblem {
    FitModel model;
    // The region's points in ascending kinetic energy: x on the model's axis (descending on the
    // binding axis), the counts, sqrt of the weights, and the fixed background under them.
    std::vector<double> x, y, sqrtWeight, fixedBackground;
    std::vector<double> kineticX;
    double low = 0, high = 0;    // the region on the model's axis, low < high
    double tailSign = 1;         // see shapeValue
    bool backgroundTerm = false; // constant or linear: c0 + c1 (x - low) is fitted
    std::vector<std::array<Affine, kMaxShapeParameters>> components;
    std::array<Affine, 2> background; // c0, c1
    std::vector<FreeParameter> free;
    // What the binding axis was computed with (kept to store the fit with its spectrum).
    std::optional<double> photonEnergy;
    double workFunction = kDefaultWorkFunction;

    std::size_t points() const { return x.size(); }
    std::vector<double> startValues() const;
};

struct Prepared {
    std::optional<FitProblem> problem;
    std::string error; // one message naming the field, component and parameter
};

// Checks the model (checkModel with sensitivities) and its fit to this spectrum: the region inside
// the spectrum, finite counts, a photon energy for the binding axis, fewer free parameters than
// points. Nothing is changed on refusal.
Prepared prepareFit(const FitModel& model, const SpectrumInput& spectrum);

// The model curve at the problem's points: f[i] = fixed background + fitted background + components.
// With `jacobian` (points x free, row-major) also df[i]/dp[k]. Reentrant: no state of its own.
void modelValues(const FitProblem& problem, const double* p, std::span<const double> background, double* f,
                 double* jacobian);
// Adds component c alone at the points to f.
void addComponentValues(const FitProblem& problem, std::size_t c, const double* p, double* f);
// The values of component c's parameters for free values p.
std::array<double, kMaxShapeParameters> componentValues(const FitProblem& problem, std::size_t c,
                                                        const double* p);

// Active Shirley: the background of the fitted components, y(e) + (y(s) - y(e)) A(x) / A(s) with A(x)
// their area from x to the high kinetic-energy end of the region.
std::vector<double> activeShirleyOf(const FitProblem& problem, const double* p);

} // namespace korvo::fit

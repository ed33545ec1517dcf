#pragma once
// What a fit gives: every parameter with its standard error, the height, area and total FWHM of each
// component, its share of the total area, chi-square and its reduced form, the strong correlations,
// and the atomic percentages of the elements.
//
// Standard errors are the square roots of the diagonal of (J^T W J)^-1 times the reduced chi-square,
// as the common fitting programs report them; derived values carry the error propagated through the
// same covariance. A linked parameter carries the error of what it is linked to, a fixed one 0.
#include "viewer/fit/fit_model.h"

#include <span>
#include <string>
#include <vector>

namespace korvo::fit {

struct FitProblem;

struct Estimate {
    double value = 0;
    double error = 0;
};

enum class ParameterSource { Free, Fixed, Linked };

struct ParameterResult {
    std::string name; // "position", "c0"
    Estimate estimate;
    ParameterSource source = ParameterSource::Free;
    std::string link; // the link's text for a linked parameter
};

struct ComponentResult {
    std::string name;
    Shape shape = Shape::Gaussian;
    std::string element;
    std::vector<ParameterResult> parameters; // in the order of parameterNames(shape)
    Estimate height, area, fwhm;             // a shape's own parameter where it has one
    Estimate areaPercent;                    // of the sum of all components' areas
};

struct BackgroundResult {
    BackgroundType type = BackgroundType::None;
    std::vector<ParameterResult> parameters; // c0 (constant), c0 and c1 (linear)
    double tougaardB = 0;
    int rounds = 0; // active Shirley: how often the background was recomputed
};

struct ElementResult {
    std::string element;
    Estimate atomicPercent;
};

struct Correlation {
    std::string first, second; // "C1.position"
    double r = 0;
};

enum class FitStatus {
    Converged,
    NotConverged, // the iteration limit was reached or the solver gave up
    Singular,     // parameters that the data cannot tell apart: no errors
    Cancelled,
};

inline constexpr double kStrongCorrelation = 0.9;

struct FitResult {
    FitStatus status = FitStatus::NotConverged;
    std::string message; // why it did not converge, what is singular
    Axis axis = Axis::Kinetic;
    int iterations = 0;
    double chi2 = 0, reducedChi2 = 0;
    int dof = 0;
    int points = 0;
    bool errorsKnown = false; // false: the errors are not reported (singular, cancelled)
    std::vector<ComponentResult> components;
    BackgroundResult background;
    std::vector<ElementResult> elements;
    std::vector<Correlation> correlations;
    // The free parameters' final values and the background that was held fixed (zeros for a
    // fitted constant or linear one), for curvesOf and for the next fit of a series.
    std::vector<double> freeValues;
    std::vector<double> fixedBackground;

    bool converged() const { return status == FitStatus::Converged; }
};

// Results at free values p with the background held fixed; the covariance comes from the weighted
// Jacobian at p. status Singular (with the parameters named in message) when J^T W J has no inverse.
FitResult resultAt(const FitProblem& problem, const std::vector<double>& p,
                   std::vector<double> fixedBackground);

// Why J^T W J has no inverse at free values p (the parameters named), or empty.
std::string singularityAt(const FitProblem& problem, const std::vector<double>& p,
                          std::span<const double> fixedBackground);

// The curves to draw on the problem's points (x on the model's axis, ascending kinetic energy): of
// a result, or of the values a fit under way reports (FitProgress).
struct FitCurves {
    std::vector<double> x, y, background, envelope, residual;
    std::vector<std::vector<double>> components; // each component alone
};
FitCurves curvesOf(const FitProblem& problem, const FitResult& result);
FitCurves curvesOf(const FitProblem& problem, std::span<const double> free,
                   std::span<const double> fixedBackground);

// The model with the fitted values as start values (clamped into the bounds), for the next fit of a
// series and for saving a fitted model; fixed values and links stay.
FitModel modelWithResult(const FitModel& model, const FitResult& result);

} // namespace korvo::fit

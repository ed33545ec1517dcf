#pragma once
// Levenberg-Marquardt with bounds over Ceres Solver for a prepared problem. Reentrant: every call
// keeps its state to itself, so fits may run on several threads at once, and a window may run one
// off its event loop, watch its progress and cancel it.
#include "viewer/fit/fit_problem.h"
#include "viewer/fit/fit_result.h"

#include <atomic>
#include <functional>
#include <span>

namespace korvo::fit {

struct FitProgress {
    int iteration = 0;            // counted over all rounds of an active Shirley background
    double chi2 = 0;              // weighted, with the background of the current round
    std::span<const double> free; // the current free values (the order of FitProblem::free)
    std::span<const double> fixedBackground;
};

struct FitOptions {
    int maxIterations = 200; // per round
    // Called on the solving thread after every iteration; returning false cancels the fit.
    std::function<bool(const FitProgress&)> progress;
    // Set from any thread to cancel; the fit ends after the iteration under way.
    const std::atomic<bool>* cancel = nullptr;
};

// Fits from the problem's start values, or from `start` (free values) when given.
FitResult solveFit(const FitProblem& problem, const FitOptions& options = {});
FitResult solveFit(const FitProblem& problem, std::span<const double> start, const FitOptions& options);

// Before a fit: whether the model is singular at its start values (two identical free components,
// a parameter without effect); the message names the parameters, or is empty.
std::string singularAtStart(const FitProblem& problem);

} // namespace korvo::fit

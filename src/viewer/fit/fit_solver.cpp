#include "viewer/fit/fit_solver.h"

#include "common/number_text.h"

#include <ceres/ceres.h>

#include <algorithm>
#include <cmath>

namespace korvo::fit {
namespace {

// Rounds of an active Shirley background before it counts as not settling.
constexpr int kMaxShirleyRounds = 50;

// The weighted residuals sqrt(w) (y - f) and their Jacobian, both from modelValues.
class ResidualCost final : public ceres::CostFunction {
public:
    ResidualCost(const FitProblem& pb, const std::vector<double>& background)
        : pb_(pb), background_(background) {
        set_num_residuals(int(pb.points()));
        mutable_parameter_block_sizes()->push_back(int(pb.free.size()));
    }

    bool Evaluate(double const* const* parameters, double* residuals, double** jacobians) const override {
        double* jacobian = jacobians ? jacobians[0] : nullptr;
        modelValues(pb_, parameters[0], background_, residuals, jacobian);
        const std::size_t n = pb_.points(), m = pb_.free.size();
        bool finite = true;
        for (std::size_t i = 0; i < n; ++i) {
            const double w = pb_.sqrtWeight[i];
            residuals[i] = w * (pb_.y[i] - residuals[i]);
            finite = finite && std::isfinite(residuals[i]);
            if (jacobian)
                for (double* d = jacobian + i * m; d != jacobian + (i + 1) * m; ++d) {
                    *d *= -w;
                    finite = finite && std::isfinite(*d);
                }
        }
        // A step into values where the curve or its slopes are not finite is refused; the solver then
        // tries a shorter one.
        return finite;
    }

private:
    const FitProblem& pb_;
    const std::vector<double>& background_;
};

class Watcher final : public ceres::IterationCallback {
public:
    Watcher(const FitOptions& options, const std::vector<double>& values,
            const std::vector<double>& background, int offset)
        : options_(options), values_(values), background_(background), offset_(offset) {}

    ceres::CallbackReturnType operator()(const ceres::IterationSummary& s) override {
        if (options_.cancel && options_.cancel->load()) return abort();
        if (options_.progress &&
            !options_.progress(FitProgress{offset_ + s.iteration, 2 * s.cost, values_, background_}))
            return abort();
        return ceres::SOLVER_CONTINUE;
    }
    bool cancelled = false;

private:
    ceres::CallbackReturnType abort() {
        cancelled = true;
        return ceres::SOLVER_ABORT;
    }
    const FitOptions& options_;
    const std::vector<double>& values_;
    const std::vector<double>& background_;
    int offset_;
};

struct Round {
    FitStatus status = FitStatus::Converged;
    std::string message;
    int iterations = 0;
};

Round solveRound(const FitProblem& pb, const std::vector<double>& background, std::vector<double>& p,
                 const FitOptions& options, int iterationOffset) {
    Round out;
    if (p.empty()) return out;
    ResidualCost cost(pb, background);
    ceres::Problem::Options po;
    po.cost_function_ownership = ceres::DO_NOT_TAKE_OWNERSHIP;
    ceres::Problem problem(po);
    problem.AddResidualBlock(&cost, nullptr, p.data());
    for (std::size_t k = 0; k < p.size(); ++k) {
        if (std::isfinite(pb.free[k].lower))
            problem.SetParameterLowerBound(p.data(), int(k), pb.free[k].lower);
        if (std::isfinite(pb.free[k].upper))
            problem.SetParameterUpperBound(p.data(), int(k), pb.free[k].upper);
    }
    ceres::Solver::Options so;
    so.trust_region_strategy_type = ceres::LEVENBERG_MARQUARDT;
    so.linear_solver_type = ceres::DENSE_NORMAL_CHOLESKY;
    so.max_num_iterations = options.maxIterations;
    // Tight enough that two fitting programs agree on the optimum to well below its standard errors.
    so.function_tolerance = 1e-12;
    so.parameter_tolerance = 1e-10;
    so.gradient_tolerance = 1e-12;
    so.logging_type = ceres::SILENT;
    so.minimizer_progress_to_stdout = false;
    so.num_threads = 1;
    // Steps are projected onto the bounds; the line search along the projected path that Ceres would
    // add costs a Jacobian per iteration and is not needed with Levenberg-Marquardt.
    so.max_num_line_search_step_size_iterations = 0;
    Watcher watcher(options, p, background, iterationOffset);
    if (options.progress || options.cancel) {
        so.callbacks.push_back(&watcher);
        so.update_state_every_iteration = bool(options.progress);
    }
    ceres::Solver::Summary summary;
    ceres::Solve(so, &problem, &summary);
    out.iterations = summary.num_successful_steps + summary.num_unsuccessful_steps;
    if (watcher.cancelled) {
        out.status = FitStatus::Cancelled;
        out.message = "The fit was cancelled.";
    } else if (summary.termination_type == ceres::NO_CONVERGENCE) {
        out.status = FitStatus::NotConverged;
        out.message =
            "The fit did not converge within " + std::to_string(options.maxIterations) + " iterations.";
    } else if (summary.termination_type != ceres::CONVERGENCE) {
        out.status = FitStatus::NotConverged;
        out.message = "The fit failed: " + summary.message;
    }
    return out;
}

} // namespace

FitResult solveFit(const FitProblem& problem, const FitOptions& options) {
    const std::vector<double> start = problem.startValues();
    return solveFit(problem, start, options);
}

FitResult solveFit(const FitProblem& pb, std::span<const double> start, const FitOptions& options) {
    std::vector<double> p(start.begin(), start.end());
    for (std::size_t k = 0; k < p.size() && k < pb.free.size(); ++k)
        p[k] = std::clamp(p[k], pb.free[k].lower, pb.free[k].upper);
    p.resize(pb.free.size());
    std::vector<double> background = pb.fixedBackground;
    const bool active = pb.model.background.type == BackgroundType::ActiveShirley;
    const double tolerance = 1e-6 * std::max(std::abs(pb.y.front() - pb.y.back()), 1e-300);
    Round round;
    int iterations = 0, rounds = 0;
    while (true) {
        round = solveRound(pb, background, p, options, iterations);
        iterations += round.iterations;
        ++rounds;
        if (!active || round.status == FitStatus::Cancelled) break;
        std::vector<double> next = activeShirleyOf(pb, p.data());
        double change = 0;
        for (std::size_t i = 0; i < next.size(); ++i)
            change = std::max(change, std::abs(next[i] - background[i]));
        if (!(change > tolerance)) break;
        if (rounds == kMaxShirleyRounds) {
            round.status = FitStatus::NotConverged;
            round.message = "The active Shirley background still changed by " + text::plainNumber(change) +
                            " after " + std::to_string(kMaxShirleyRounds) + " rounds.";
            break;
        }
        if (options.cancel && options.cancel->load()) {
            round.status = FitStatus::Cancelled;
            round.message = "The fit was cancelled.";
            break;
        }
        background = std::move(next);
    }
    FitResult r = resultAt(pb, p, std::move(background));
    r.iterations = iterations;
    r.background.rounds = active ? rounds : 0;
    if (r.status == FitStatus::Singular) {
        if (round.status == FitStatus::Cancelled) {
            r.status = FitStatus::Cancelled;
            r.message = round.message;
        }
        return r;
    }
    r.status = round.status;
    r.message = round.message;
    if (round.status == FitStatus::Cancelled) r.errorsKnown = false;
    return r;
}

std::string singularAtStart(const FitProblem& problem) {
    return singularityAt(problem, problem.startValues(), problem.fixedBackground);
}

} // namespace korvo::fit

#include "viewer/fit/fit_job.h"

namespace korvo::fit {

FitJob::FitJob(std::vector<FitTask> tasks, bool series, int maxIterations)
    : tasks_(std::move(tasks)), series_(series), maxIterations_(maxIterations) {}

FitJob::~FitJob() {
    cancel_ = true;
    if (thread_.joinable()) thread_.join();
}

void FitJob::start(Watch watch) {
    if (thread_.joinable() || done_) return;
    thread_ = std::thread([this, watch = std::move(watch)] { run(watch); });
}

void FitJob::run(const Watch& watch) {
    std::vector<double> start;
    for (std::size_t t = 0; t < tasks_.size() && !cancel_; ++t) {
        FitOptions options;
        options.maxIterations = maxIterations_;
        options.cancel = &cancel_;
        options.progress = [&](const FitProgress& p) {
            FitJobProgress now;
            now.task = t;
            now.iteration = p.iteration;
            now.chi2 = p.chi2;
            now.free.assign(p.free.begin(), p.free.end());
            now.fixedBackground.assign(p.fixedBackground.begin(), p.fixedBackground.end());
            if (watch) watch(*this, now);
            const std::lock_guard lock(mutex_);
            now.serial = progress_.serial + 1;
            progress_ = std::move(now);
            return true;
        };
        const FitProblem& problem = tasks_[t].problem;
        FitResult r = start.empty() ? solveFit(problem, options) : solveFit(problem, start, options);
        if (series_ && r.converged()) start = r.freeValues;
        results_.push_back(std::move(r));
    }
    done_ = true;
}

std::optional<FitJobProgress> FitJob::progressAfter(std::uint64_t serial) const {
    const std::lock_guard lock(mutex_);
    if (progress_.serial <= serial) return std::nullopt;
    return progress_;
}

std::vector<FitResult> FitJob::takeResults() {
    if (thread_.joinable()) thread_.join();
    return std::move(results_);
}

} // namespace korvo::fit

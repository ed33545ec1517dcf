#pragma once
// Fits that run on a thread of their own while a window goes on answering: one spectrum, or every
// shown spectrum in turn. The job owns copies of its problems, so nothing it reads can change or go
// away under it; the window watches it by polling (progress, done) and never waits for it, except
// when it is dropped: the destructor cancels the fit and joins the thread.
#include "viewer/fit/fit_solver.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace korvo::fit {

struct FitTask {
    int spectrum = 0; // the workspace's spectrum number
    std::string name; // for the reports
    FitProblem problem;
    std::string entry; // the NeXus entry when the spectrum's file holds several, for the reports
};

// The last iteration reported, with a serial number that grows with every report.
struct FitJobProgress {
    std::uint64_t serial = 0;
    std::size_t task = 0;
    int iteration = 0;
    double chi2 = 0;
    std::vector<double> free, fixedBackground;
};

class FitJob {
public:
    // `series`: each task after the first starts from the last result that converged before it
    // (a depth profile), else every task from its own start values.
    FitJob(std::vector<FitTask> tasks, bool series, int maxIterations);
    ~FitJob();
    FitJob(const FitJob&) = delete;
    FitJob& operator=(const FitJob&) = delete;

    // Starts the thread. `watch`, when given, is told of every iteration on that thread before the
    // job records it (tests hold a fit there).
    using Watch = std::function<void(const FitJob&, const FitJobProgress&)>;
    void start(Watch watch = {});
    // From any thread: the fit under way ends after its iteration, the tasks after it are not begun.
    void cancel() { cancel_ = true; }
    bool cancelled() const { return cancel_; }
    bool done() const { return done_; }

    // The last iteration reported, when newer than `serial`.
    std::optional<FitJobProgress> progressAfter(std::uint64_t serial) const;

    const std::vector<FitTask>& tasks() const { return tasks_; }
    // Once done(): the results of the tasks begun, in task order (a cancelled job ends with the
    // cancelled fit). Joins the thread.
    std::vector<FitResult> takeResults();

private:
    void run(const Watch& watch);

    const std::vector<FitTask> tasks_;
    const bool series_;
    const int maxIterations_;
    std::atomic<bool> cancel_{false};
    std::atomic<bool> done_{false};
    mutable std::mutex mutex_;
    FitJobProgress progress_; // under mutex_
    std::vector<FitResult> results_; // written by the thread until done_
    std::thread thread_;
};

} // namespace korvo::fit

#include "cli/fit_command.h"
#include "cli/binding_options.h"

#include "cli/number_options.h"
#include "cli/output_guard.h"
#include "cli/staged_outputs.h"
#include "cli/workspace_load.h"
#include "common/file_util.h"
#include "common/number_text.h"
#include "files/spectrum_info.h"
#include "viewer/binding_axis.h"
#include "viewer/fit/fit_nexus.h"
#include "viewer/fit/fit_report.h"
#include "viewer/fit/fit_solver.h"
#include "viewer/fit/fit_workspace.h"
#include "viewer/fit/model_file.h"
#include "viewer/fit/sensitivity_table.h"
#include "viewer/nexus_export.h"

#include <atomic>
#include <condition_variable>
#include <filesystem>
#include <iostream>
#include <memory>
#include <mutex>
#include <thread>

namespace korvo {
namespace {

struct FitCommandOptions {
    std::string model;
    bool json = false;
    std::optional<std::string> csv;
    std::optional<std::string> nexus;
    bool series = false;
    int jobs = 1;
    int maxIterations = 200;
    std::optional<std::string> sensitivities;
    std::optional<std::string> photonEnergy;
    std::optional<std::string> workFunction;
    CliLoadOptions load;
};

// The fits of all spectra, each printed as soon as it and every one before it are done.
class FitRun {
public:
    FitRun(const tvar& ws, const fit::FitModel& model, const BindingAxis& axis, bool json, int maxIterations)
        : ws_(ws), model_(model), axis_(axis), json_(json), results_(std::size_t(ws.spectrumCount())),
          done_(results_.size(), false) {
        options_.maxIterations = maxIterations;
    }

    // Every spectrum checked before anything is fitted: one refusal stops the whole command.
    bool check() const {
        for (int k = 1; k <= ws_.spectrumCount(); ++k) {
            const fit::Prepared p = fit::prepareSpectrum(model_, ws_, k, axis_);
            if (p.problem) continue;
            std::cerr << escapeForTerminal(ws_.spectrum(k).PathName) << ": " << escapeForTerminal(p.error)
                      << "\nNothing was fitted.\n";
            return false;
        }
        return true;
    }

    void runInOrder(bool series) {
        std::vector<double> start;
        for (std::size_t i = 0; i < results_.size(); ++i) {
            results_[i] = fitOne(i, start);
            // A series goes on from the last fit that converged, never from a failed one.
            if (series && results_[i].converged()) start = results_[i].freeValues;
            print(i);
        }
    }

    void runOnThreads(int jobs) {
        std::atomic<std::size_t> next{0};
        const auto work = [&] {
            for (std::size_t i; (i = next++) < results_.size();) {
                fit::FitResult r = fitOne(i, {});
                const std::lock_guard lock(mutex_);
                results_[i] = std::move(r);
                done_[i] = true;
                ready_.notify_one();
            }
        };
        std::vector<std::thread> threads;
        for (int t = 0; t < jobs; ++t) threads.emplace_back(work);
        for (std::size_t i = 0; i < results_.size(); ++i) {
            std::unique_lock lock(mutex_);
            ready_.wait(lock, [&] { return bool(done_[i]); });
            lock.unlock();
            print(i);
        }
        for (std::thread& t : threads) t.join();
    }

    bool allConverged() const {
        for (const fit::FitResult& r : results_)
            if (!r.converged()) return false;
        return true;
    }

    std::string csv() const {
        std::string text = fit::csvHeader();
        for (std::size_t i = 0; i < results_.size(); ++i) text += fit::resultCsv(results_[i], nameOf(i), entryOf(i));
        return text;
    }

    // Every spectrum as "Save NeXus" writes it, each with its fit as a second entry.
    std::vector<NexusSpectrum> nexusSpectra() const {
        std::vector<NexusSpectrum> spectra;
        for (std::size_t i = 0; i < results_.size(); ++i) {
            const int k = int(i) + 1;
            spectra.push_back(nexusSpectrumOf(ws_.spectrum(k), ws_.points(k)));
            const fit::Prepared p = fit::prepareFit(model_, fit::inputOf(ws_, k, axis_));
            spectra.back().additions.push_back(fit::fitNexusEntry(*p.problem, results_[i], spectra.back().name));
        }
        return spectra;
    }

private:
    const std::string& nameOf(std::size_t i) const { return ws_.spectrum(int(i) + 1).PathName; }
    const std::string& entryOf(std::size_t i) const { return ws_.spectrum(int(i) + 1).NexusEntry; }

    fit::FitResult fitOne(std::size_t i, const std::vector<double>& start) const {
        const fit::Prepared p = fit::prepareFit(model_, fit::inputOf(ws_, int(i) + 1, axis_));
        return start.empty() ? fit::solveFit(*p.problem, options_)
                             : fit::solveFit(*p.problem, start, options_);
    }

    void print(std::size_t i) const {
        const fit::FitResult& r = results_[i];
        if (!r.converged())
            std::cerr << escapeForTerminal(nameOf(i)) << ": " << escapeForTerminal(r.message) << "\n";
        if (json_)
            std::cout << fit::resultJson(r, nameOf(i), entryOf(i)) << "\n";
        else
            std::cout << fit::resultText(r, nameOf(i), entryOf(i));
        std::cout.flush();
    }

    const tvar& ws_;
    const fit::FitModel& model_;
    BindingAxis axis_;
    bool json_;
    fit::FitOptions options_;
    std::vector<fit::FitResult> results_;
    std::vector<char> done_;
    std::mutex mutex_;
    std::condition_variable ready_;
};

void runFit(FitCommandOptions& o, int& exitStatus) {
    const auto refuse = [&](const std::string& why) {
        std::cerr << escapeForTerminal(why) << "\n";
        exitStatus = 2;
    };
    if (o.series && o.jobs > 1)
        return refuse(
            "--series fits one spectrum after the other, each from the result before; it takes no --jobs.");
    BindingAxis axis;
    if (!readBindingOptions("fit", o.workFunction.value_or(""), o.photonEnergy.value_or(""), axis, std::cerr)) {
        exitStatus = 2;
        return;
    }
    fit::ModelRead read = fit::readModelFile(o.model);
    if (!read.model) return refuse(read.error);
    fit::FitModel model = std::move(*read.model);
    CommandInputs inputs(o.load.inputPaths());
    inputs.add(o.model);
    if (o.sensitivities) {
        const fit::SensitivityRead table = fit::readSensitivityFile(*o.sensitivities);
        if (!table.table) return refuse(table.error);
        fit::applySensitivities(model, *table.table);
        inputs.add(*o.sensitivities);
    }
    if (std::string why = fit::checkModel(model, true); !why.empty())
        return refuse("The model " + o.model + ": " + why);
    // Every output is checked before anything is loaded or fitted: a refusal leaves nothing written.
    for (const std::optional<std::string>* out : {&o.csv, &o.nexus})
        if (*out)
            if (std::string why = outputProblem(inputs, **out); !why.empty())
                return refuse(why + ". Nothing was fitted.");
    const auto same = [](const std::string& a, const std::string& b) {
        return std::filesystem::absolute(a).lexically_normal() == std::filesystem::absolute(b).lexically_normal();
    };
    if (o.csv && o.nexus && same(*o.csv, *o.nexus))
        return refuse("--csv and --nexus name the same file. Nothing was fitted.");
    const std::unique_ptr<tvar> ws = loadForCli(o.load, std::cerr);
    if (!ws) {
        exitStatus = 2;
        return;
    }
    if (ws->spectrumCount() == 0) return refuse("The files hold no spectra; nothing was fitted.");
    FitRun run(*ws, model, axis, o.json, o.maxIterations);
    if (!run.check()) {
        exitStatus = 2;
        return;
    }
    if (o.jobs > 1)
        run.runOnThreads(o.jobs);
    else
        run.runInOrder(o.series);
    exitStatus = run.allConverged() ? 0 : 3;
    // Both outputs or neither: each is made whole beside its target and only then put in place.
    StagedOutputs outputs(inputs);
    std::string error;
    std::optional<NexusFileImage> nexusBytes;
    if (o.nexus && !(nexusBytes = nexusFileBytes(run.nexusSpectra(), &error)))
        error = "cannot write \"" + *o.nexus + "\": " + error;
    const bool written = error.empty() && (!o.csv || outputs.add(*o.csv, run.csv(), error)) &&
                         (!o.nexus || outputs.add(*o.nexus, nexusBytes->bytes(), error)) && outputs.commit(error, false);
    if (!written) {
        std::cerr << escapeForTerminal(error) << "; no output was written.\n";
        exitStatus = 2;
    }
    if (!std::cout) {
        std::cerr << "Cannot write the output; it is incomplete.\n";
        exitStatus = 2;
    }
}

} // namespace

void addFitCommand(CLI::App& app, int& exitStatus) {
    auto o = std::make_shared<FitCommandOptions>();
    CLI::App* verb =
        app.add_subcommand("fit", "Fit a peak model to every loaded spectrum and print the results");
    verb->add_option("--model", o->model, "The fit model, a JSON file (see the README)")->required();
    verb->add_flag("--json", o->json, "Print one JSON object per spectrum, one per line");
    verb->add_option("--csv", o->csv,
                     "Also write the results into this CSV file (file,kind,name,quantity,value,error)");
    verb->add_option("--nexus", o->nexus,
                     "Also write every spectrum with its fit into this NeXus file: beside each spectrum's "
                     "entry an entry of its fit (NXfit: model, parameters with errors, curves)");
    verb->add_flag(
        "--series", o->series,
        "Start each spectrum's fit from the result of the one before (a depth profile, a time series)");
    verb->add_option("--jobs", o->jobs,
                     "Fit independent spectra on this many threads; results stay in load order")
        ->transform(decimalInteger())
        ->check(CLI::Range(1, 64));
    verb->add_option("--max-iterations", o->maxIterations,
                     "Iterations a fit may take before it counts as not converged (default 200)")
        ->transform(decimalInteger())
        ->check(CLI::Range(1, 100000));
    verb->add_option("--sensitivities", o->sensitivities,
                     "A table of relative sensitivity factors, lines \"element, level, factor\"");
    verb->add_option(
        "--photon-energy", o->photonEnergy,
        "Photon energy (eV) for a model on the binding-energy axis, for files without a PhotEn line");
    verb->add_option("--work-function", o->workFunction,
                     "Work function (eV, 0 to 20) for the binding-energy axis (default 4.5)");
    addLoadOptions(*verb, o->load);
    verb->callback([o, &exitStatus] { runFit(*o, exitStatus); });
}

} // namespace korvo

#pragma once
// A spectrum's peak fit in a NeXus file: a second NXentry beside the spectrum's own ("entry1_fit",
// tied to "entry1" by files/nexus_file.h's additions) holding an NXfit (an NXprocess): the model file
// as it was fitted, chi-square and its reduced form, every parameter with its error and how it was
// given (free, fixed, linked), each component as an NXpeak with its function and its curve, the
// background as an NXfit_background, and the counts, envelope and residuals over the fitted points
// in an NXdata. Other programs read these groups; Korvo reads the model and the fitted values back
// and computes the rest again on the spectrum, so that a loaded fit is the fit that was saved.
#include "files/nexus_file.h"
#include "viewer/fit/fit_problem.h"
#include "viewer/fit/fit_result.h"

#include <optional>
#include <span>
#include <string>
#include <vector>

namespace korvo::fit {

// The addition's name: the entry is written as "<spectrum's entry>_fit".
inline constexpr const char* kFitEntryName = "fit";

// The fit entry of a fit of `problem` on the spectrum named `spectrumName`.
NexusGroupData fitNexusEntry(const FitProblem& problem, const FitResult& result, const std::string& spectrumName);

// What the entry keeps to make the fit again.
struct StoredFit {
    FitModel model;
    std::optional<double> photonEnergy;
    double workFunction = 0;
    FitStatus status = FitStatus::NotConverged;
    std::string message;
    int iterations = 0;
    int rounds = 0;
    std::vector<double> freeValues, fixedBackground;
    std::vector<double> counts; // the fitted points' counts, to tell the fit's own spectrum
};

// The fit entry among a spectrum's additions, or nullptr.
const NexusGroupData* fitEntryOf(const NexusSpectrum& spectrum);

// The stored fit of an entry, or nullopt with the reason (naming the field) in *error.
std::optional<StoredFit> storedFitOf(const NexusGroupData& entry, std::string* error = nullptr);

// The fit again on the spectrum's points: the problem prepared from the stored model and the result
// at the stored values, with the stored status, message and iteration count. Refused (error) when
// the model does not fit these points, they are not the counts that were fitted, or the stored values
// do not fit the model.
struct RestoredFit {
    std::optional<FitProblem> problem;
    FitResult result;
    std::string error;
};
RestoredFit restoreFit(const StoredFit& stored, std::span<const SpectrumPoint> points, const std::string& name);

} // namespace korvo::fit

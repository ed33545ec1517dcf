#pragma once
// Fits on the spectra of a viewer workspace: what a fit takes of a spectrum, the checks before
// anything is fitted, the fit's curves for drawing over the spectrum, and a component's start values
// read off the counts where the user clicked its peak. The fit window and korvo-cli fit share them.
#include "viewer/binding_axis.h"
#include "viewer/fit/fit_problem.h"
#include "viewer/fit/fit_result.h"
#include "viewer/fit_overlay.h"
#include "viewer/workspace.h"

#include <optional>
#include <string>

namespace korvo::fit {

// Spectrum k's points, name (its path) and, for the binding axis, its photon energy and the work
// function of `axis`.
SpectrumInput inputOf(const tvar& ws, int k, const BindingAxis& axis);

// The model made ready for spectrum k, or why it cannot be fitted (without the spectrum's name in
// front): whatever prepareFit refuses, a scan of the photon energy on the binding axis, and a model
// that is singular at its start values.
Prepared prepareSpectrum(const FitModel& model, const tvar& ws, int k, const BindingAxis& axis);

// The curves of a fit (or of one under way) over spectrum k.
FitOverlay overlayOf(const FitProblem& problem, const FitCurves& curves, int k);

// "C" and the first number from components + 1 on that no component is named yet.
std::string nextComponentName(const FitModel& model);

// A new component of `shape` whose peak lies at kinetic energy `x` of the spectrum: its position on
// the model's axis, its height above the lowest counts around it, and its width where the counts fall
// to half that height on either side (twice the one side at an end of the spectrum); the area (or the
// Doniach-Sunjic height) follows from these, bounded below by 0. The model's components with
// positive widths are taken off the counts first, so that a shoulder beside a line placed before is
// measured alone. Refused when x lies beside the spectrum or the counts there stand on nothing.
struct ComponentGuess {
    std::optional<Component> component;
    std::string error;
};
ComponentGuess componentAt(const FitModel& model, const SpectrumInput& spectrum, double x, Shape shape);

} // namespace korvo::fit

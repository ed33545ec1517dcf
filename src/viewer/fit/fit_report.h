#pragma once
// A fit's results as the reports write them: one JSON object per spectrum, CSV rows, and readable
// lines for a terminal. `korvo-cli fit` and the fit window's "Save report" both write these.
#include "viewer/fit/fit_result.h"

#include <string>
#include <string_view>

namespace korvo::fit {

// {"file", "axis", "converged", "status", ["message"], "iterations", "chi2", "reduced_chi2", "dof",
//  "points", "background": {"type", "c0": {"value", "error"}, ...}, "components": [{"name", "shape",
//  "position": {"value", "error"}, "fwhm", "area", "height", the shape's other parameters,
//  "area_percent", ["area_percent_error", "element"]}], "elements": [{"element", "atomic_percent",
//  "error"}], "correlations": [{"first", "second", "r"}]}, on one line. A fixed parameter says
// "fixed": true, a linked one "link": "C1 + 0.6"; errors are null when they are not known.
// `spectrum` (the entry's name when the file holds several spectra) follows "file" when it is given.
std::string resultJson(const FitResult& result, std::string_view file, std::string_view spectrum = {});

// Long CSV rows "file,spectrum,kind,name,quantity,value,error" (kind: fit, background, component,
// element; spectrum empty unless the file holds several), every text quoted where CSV needs it.
std::string csvHeader();
std::string resultCsv(const FitResult& result, std::string_view file, std::string_view spectrum = {});

// A few lines for a terminal; texts from files escaped.
std::string resultText(const FitResult& result, std::string_view file, std::string_view spectrum = {});

std::string_view statusName(FitStatus status); // "converged", "not_converged", "singular", "cancelled"

} // namespace korvo::fit

#pragma once
// The fit model as a JSON file, read and written here only:
//
//   {"region": {"from": 280, "to": 295}, "axis": "kinetic", "background": {"type": "linear"},
//    "weights": "poisson",
//    "components": [{"name": "C1", "shape": "pseudo_voigt", "position": 285, "fwhm": 1.2, "area": 5000,
//                    "eta": {"value": 0.3, "fixed": true}, "element": "C", "sensitivity": 1}]}
//
// A parameter is a number (free, its start value), an object {"value", "min", "max", "fixed"}, or a
// link "C1", "C1 + 0.6", "C1 - 0.6", "C1 * 0.5". Every field is checked: an unknown one, a wrong type
// or a model that checkModel refuses gives one message naming the component and parameter.
#include "viewer/fit/fit_model.h"

#include <optional>
#include <string>
#include <string_view>

namespace korvo::fit {

struct ModelRead {
    std::optional<FitModel> model;
    std::string error;
};

inline constexpr std::size_t kMaxModelFileBytes = 1 << 20;

ModelRead readModelJson(std::string_view text);
ModelRead readModelFile(const std::string& path);

// The model as the reader takes it back (two-space indentation, a newline at the end).
std::string modelJson(const FitModel& model);
// Replaces the file atomically; false with a reason in *error.
bool writeModelFile(const std::string& path, const FitModel& model, std::string* error = nullptr);

// A link text parsed strictly: NAME, or NAME followed by "+", "-" or "*" and a number, blanks around
// the operator allowed. nullopt with a reason when it is none.
std::optional<Parameter> parseLink(std::string_view text, std::string& error);

} // namespace korvo::fit

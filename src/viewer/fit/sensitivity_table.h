#pragma once
// Relative sensitivity factors for the quantification, as a plain text table: one "element, level,
// factor" line per core level ("C, 1s, 0.296"), blanks around the fields ignored, "#" starting a
// comment line, blank lines skipped. An element and level appear once.
#include "viewer/fit/fit_model.h"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace korvo::fit {

struct SensitivityEntry {
    std::string element;
    std::string level;
    double factor = 1;
};

struct SensitivityTable {
    std::vector<SensitivityEntry> entries;
    // The factor of element and level; with an empty level, that of the element's only entry.
    std::optional<double> factor(std::string_view element, std::string_view level) const;
};

struct SensitivityRead {
    std::optional<SensitivityTable> table;
    std::string error; // names the line
};

inline constexpr std::size_t kMaxSensitivityFileBytes = 1 << 20;

SensitivityRead readSensitivityTable(std::string_view text);
SensitivityRead readSensitivityFile(const std::string& path);

// Gives every component with an element and no sensitivity of its own the table's factor.
// Components that the table does not cover keep none (checkModel with needSensitivities names them).
void applySensitivities(FitModel& model, const SensitivityTable& table);

} // namespace korvo::fit

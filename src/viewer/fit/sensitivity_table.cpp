#include "viewer/fit/sensitivity_table.h"

#include "common/file_util.h"
#include "common/number_text.h"

#include <cmath>

namespace korvo::fit {
namespace {

std::string_view trimmed(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r')) s.remove_suffix(1);
    return s;
}

} // namespace

std::optional<double> SensitivityTable::factor(std::string_view element, std::string_view level) const {
    const SensitivityEntry* found = nullptr;
    int count = 0;
    for (const SensitivityEntry& e : entries) {
        if (e.element != element) continue;
        if (!level.empty() && e.level == level) return e.factor;
        found = &e;
        ++count;
    }
    if (level.empty() && count == 1) return found->factor;
    return std::nullopt;
}

SensitivityRead readSensitivityTable(std::string_view text) {
    SensitivityTable table;
    int lineNumber = 0;
    while (!text.empty()) {
        const std::size_t end = text.find('\n');
        const std::string_view line = trimmed(text.substr(0, end));
        text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
        ++lineNumber;
        if (line.empty() || line.front() == '#') continue;
        const auto fail = [&](const std::string& why) {
            return SensitivityRead{std::nullopt, "Line " + std::to_string(lineNumber) +
                                                     " of the sensitivity table: " + why};
        };
        const std::size_t a = line.find(',');
        const std::size_t b = a == std::string_view::npos ? a : line.find(',', a + 1);
        if (b == std::string_view::npos || line.find(',', b + 1) != std::string_view::npos)
            return fail("\"element, level, factor\" is three fields separated by commas.");
        SensitivityEntry e{std::string(trimmed(line.substr(0, a))),
                           std::string(trimmed(line.substr(a + 1, b - a - 1))), 0};
        if (!isPlainLabel(e.element) || !isPlainLabel(e.level))
            return fail("the element and the level are short names without blanks, commas or quotes.");
        const text::Parsed<double> f = text::parseDouble(line.substr(b + 1));
        if (!f || !(*f > 0)) return fail("the factor is a positive number.");
        e.factor = *f;
        for (const SensitivityEntry& other : table.entries)
            if (other.element == e.element && other.level == e.level)
                return fail(e.element + " " + e.level + " is listed twice.");
        table.entries.push_back(std::move(e));
    }
    return SensitivityRead{std::move(table), {}};
}

SensitivityRead readSensitivityFile(const std::string& path) {
    std::string error;
    const std::optional<std::string> text = readFile(path, &error, kMaxSensitivityFileBytes);
    if (!text)
        return SensitivityRead{std::nullopt, "Cannot read the sensitivity table " + path + ": " + error};
    return readSensitivityTable(*text);
}

void applySensitivities(FitModel& model, const SensitivityTable& table) {
    for (Component& c : model.components)
        if (!c.element.empty() && !c.sensitivity) c.sensitivity = table.factor(c.element, c.level);
}

} // namespace korvo::fit

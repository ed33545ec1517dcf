// Fit models and sensitivity tables come from users' editors and other programs. The readers refuse
// with a reason or give a model that checkModel accepts; a model written out reads back as the same
// text; and preparing it on a small spectrum either refuses with a message or gives a problem whose
// parameters stay inside their bounds.
#include "viewer/fit/fit_problem.h"
#include "viewer/fit/model_file.h"
#include "viewer/fit/sensitivity_table.h"

#include <cstdint>
#include <cstdlib>
#include <string_view>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    const korvo::fit::SensitivityRead table = korvo::fit::readSensitivityTable(bytes);
    if (bool(table.table) == !table.error.empty()) std::abort();

    const korvo::fit::ModelRead r = korvo::fit::readModelJson(bytes);
    if (bool(r.model) == !r.error.empty()) std::abort();
    if (!r.model) return 0;
    if (!korvo::fit::checkModel(*r.model).empty()) std::abort();
    const std::string text = korvo::fit::modelJson(*r.model);
    const korvo::fit::ModelRead again = korvo::fit::readModelJson(text);
    if (!again.model || korvo::fit::modelJson(*again.model) != text) std::abort();

    std::vector<korvo::SpectrumPoint> points;
    for (int i = 0; i < 64; ++i) points.push_back({280 + 0.25 * i, 100.0 + (i % 7) * 10});
    const korvo::fit::Prepared p = korvo::fit::prepareFit(*r.model, {points, 1486.6, 4.5, "fuzz"});
    if (bool(p.problem) == !p.error.empty()) std::abort();
    if (p.problem)
        for (const korvo::fit::FreeParameter& f : p.problem->free)
            if (!(f.lower <= f.start && f.start <= f.upper)) std::abort();
    return 0;
}

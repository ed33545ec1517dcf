// Multichanneltron files for the correlation come from disk and from hand edits. The reader must
// refuse with a reason or give nine equally long count columns within its bounds; a small read file
// then correlates to finite figures or is refused with a reason, never reading past a curve.
#include "tools/correlation.h"

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    const korvo::ChanneltronSpectrumRead r = korvo::readChanneltronSpectrumText(bytes, "fuzz.000");
    if (static_cast<bool>(r) == !r.error.empty()) std::abort();
    if (!r) return 0;
    const korvo::ChanneltronSpectrum& s = r.spectrum;
    if (s.rows() < 1 || s.rows() > korvo::kCorrelationMaxRows || s.points < 1 || !(s.passEnergy > 0))
        std::abort();
    for (const auto& column : s.counts)
        if (column.size() != s.rows()) std::abort();
    // The correlation grows with the square of the rows: only short files are worth it here.
    if (s.rows() > 64) return 0;

    korvo::CorrelationOptions options;
    for (int c = 0; c < korvo::kChanneltrons; ++c) options.ticked[c] = (size >> c & 1) != 0;
    options.derivative = size % 3 == 0;
    const korvo::CorrelationResult c = korvo::correlateChanneltrons(s, options);
    if (static_cast<bool>(c) == !c.error.empty()) std::abort();
    if (!c) return 0;
    if (!std::isfinite(c.delta) || !std::isfinite(c.correlationError)) std::abort();
    // Every ticked channeltron has its offset; an unticked one has it when its curve correlates.
    for (int i = 0; i < korvo::kChanneltrons; ++i) {
        if (options.ticked[i] && !c.offsets[i]) std::abort();
        if (c.offsets[i] && !std::isfinite(*c.offsets[i])) std::abort();
    }
    if (c.summary.size() != 12 || c.offsetLines.size() != korvo::kChanneltrons || c.testDat.empty() ||
        c.ausgabeDat.empty() || c.lineDat.empty())
        std::abort();
    return 0;
}

// Number texts come from fields, spectrum files and instrument replies.
#include "common/number_text.h"

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

using namespace korvo::text;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);

    const auto d = parseDouble(text);
    if (d) {
        if (!std::isfinite(*d)) std::abort();
        const auto back = parseDouble(formatGeneral(*d, 17));
        if (!back || *back != *d) std::abort();
        formatPattern(*d, "000.00");
        formatFixedPrecision(*d, 7, 3);
    } else if (d.error.empty()) {
        std::abort(); // a rejection always says why
    }
    const auto i = parseInt(text);
    if (i && *parseInt(std::to_string(*i)) != *i) std::abort();
    if (i && (!d || *d != *i)) std::abort(); // every integer text is also a number
    HexTextToInt(text);

    // The same bytes as a binary double: every formatter must cope with any value.
    if (size >= 8) {
        double v;
        std::memcpy(&v, data, 8);
        const std::string s23 = formatScientific23(v);
        if (std::isfinite(v) && s23.size() != 23) std::abort();
        const std::string g = formatGeneral(v, 17);
        if (std::isfinite(v) && *parseDouble(g) != (v == 0 ? 0.0 : v)) std::abort();
        formatPattern(v, "0.00000000");
        formatFixed(v, static_cast<int>(data[0] % 20));
        formatGeneral(v, 1 + data[1] % 15, data[2] % 3);
        formatExponent(v, 1 + data[3] % 17, 1 + data[4] % 4);
        roundHalfEven(v);
        IntToBinText(
            static_cast<std::int64_t>(std::llround(std::isfinite(v) && std::fabs(v) < 9e18 ? v : 0)));
    }
    return 0;
}

// Scienta files are binary and come from another program: every header number, the marker and the
// byte order are untrusted. The reader must refuse with a reason or give exactly the values the
// header promises, all finite, from within the file.
#include "files/scienta_file.h"

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    const korvo::ScientaReadResult r = korvo::readScientaBytes(bytes, "fuzz.pxt");
    if (static_cast<bool>(r) == !r.error.empty()) std::abort(); // a failure always says why
    if (!r) {
        if (!r.data.values.empty()) std::abort();
        return 0;
    }
    const korvo::ScientaHeader& h = r.data.header;
    if (h.points < 1 || h.slices < 1) std::abort();
    const auto count = static_cast<std::uint64_t>(h.points) * static_cast<std::uint64_t>(h.slices);
    if (count > korvo::kScientaMaxValues || r.data.values.size() != count) std::abort();
    if (h.dataOffset + 8 * count > size) std::abort(); // every value came from the file
    if (bytes.substr(h.dataOffset - korvo::kScientaDataOffset, korvo::kScientaMarker.size()) != korvo::kScientaMarker)
        std::abort();
    for (const double v : r.data.values)
        if (!std::isfinite(v)) std::abort();
    // Every energy of the axis is a number (the last is the largest).
    if (!std::isfinite(h.lowEnergy + double(h.points - 1) * h.energyStep)) std::abort();
    // The slice files have one line per point.
    for (int s : {1, h.slices}) {
        const std::string text = korvo::scientaSliceText(r.data, s);
        std::size_t lines = 0;
        for (char c : text) lines += c == '\n';
        if (lines != static_cast<std::size_t>(h.points)) std::abort();
    }
    return 0;
}

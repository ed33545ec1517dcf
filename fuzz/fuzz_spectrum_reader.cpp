// Spectrum files come from other programs, hand edits, truncated copies and damaged disks. Inputs
// that start with '#' instead become the comment and sample of a written file, which must read back.
#include "files/spectrum_info.h"
#include "files/spectrum_reader.h"
#include "files/spectrum_writer.h"

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

namespace {

void readAnything(std::string_view bytes) {
    const korvo::SpectrumReadResult r = korvo::readSpectrumText(bytes, "fuzz.dat");
    if (static_cast<bool>(r) == !r.error.empty()) std::abort(); // a failure always says why
    if (!r) return;
    if (r.data.points.size() > bytes.size()) std::abort(); // at most one point per line
    for (const korvo::SpectrumPoint& p : r.data.points)
        if (!std::isfinite(p.x) || !std::isfinite(p.y)) std::abort();
    if (r.data.commentText.size() > 400 || r.data.scansText.size() > 80) std::abort(); // cut fields
    (void)korvo::spectrumInfoJson("fuzz.dat", r.data)
        .dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

void writeAndReadBack(std::string_view text) {
    korvo::SpectrumHeader h;
    h.machineMode = static_cast<std::uint8_t>(text.empty() ? 2 : 1 + static_cast<unsigned char>(text[0]) % 5);
    h.comment = std::string(text);
    h.sample = std::string(text.substr(text.size() / 2));
    h.startFieldText = "10"; // a number: the run refuses to start otherwise
    h.points = 3;
    h.ramp = 1;
    h.userName = "fuzz";
    h.writtenAt = 0;
    korvo::DataBlock block(4);
    for (std::size_t i = 1; i < block.size(); ++i) {
        block[i].Energy = static_cast<double>(i);
        block[i].Co[0] = static_cast<double>(10 * i);
        block[i].Co[1] = 0.5;
    }
    const auto r = korvo::readSpectrumText(korvo::spectrumFileBytes(h, {}, block), "w.dat");
    if (!r || r.data.points.size() != 3) std::abort();
    for (std::size_t i = 0; i < 3; ++i)
        if (r.data.points[i].x != static_cast<double>(i + 1) || r.data.points[i].y != 10.0 * (i + 1))
            std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    if (!bytes.empty() && bytes[0] == '#')
        writeAndReadBack(bytes.substr(1));
    else
        readAnything(bytes);
    return 0;
}

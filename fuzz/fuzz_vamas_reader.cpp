// VAMAS files come from every analysis program and from hand edits. The reader must refuse with a
// reason naming where, or give blocks whose points are finite and within its limits; the same bytes
// in small pieces read the same; and what it read, written again, reads back to the same points.
#include "files/vamas_file.h"
#include "piece_source.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <string_view>
#include <vector>

namespace {

bool samePoints(const korvo::VamasReadResult& a, const korvo::VamasReadResult& b) {
    if (a.blocks.size() != b.blocks.size()) return false;
    for (std::size_t i = 0; i < a.blocks.size(); ++i) {
        const auto& p = a.blocks[i].points;
        const auto& q = b.blocks[i].points;
        if (p.size() != q.size()) return false;
        for (std::size_t j = 0; j < p.size(); ++j)
            if (p[j].x != q[j].x || p[j].y != q[j].y) return false;
    }
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    korvo::VamasReadLimits limits;
    limits.maxBlocks = 16;
    limits.maxPoints = 1u << 16;
    const korvo::VamasReadResult r = korvo::readVamasText(bytes, "fuzz.vms", limits);
    if (static_cast<bool>(r) == !r.error.empty()) std::abort();

    korvo::fuzz::PieceSource source(bytes, 1 + size % 5 + size / 64);
    const korvo::VamasReadResult p = korvo::readVamasSource(source, "fuzz.vms", limits);
    if (p.error != r.error || p.errorLine != r.errorLine || !samePoints(p, r)) std::abort();
    if (!r) {
        if (r.error.find("VAMAS") == std::string::npos || !r.blocks.empty()) std::abort();
        return 0;
    }
    std::size_t points = 0;
    if (r.blocks.empty() || r.blocks.size() > limits.maxBlocks) std::abort();
    for (const korvo::VamasBlock& b : r.blocks) {
        if (b.points.empty()) std::abort();
        points += b.points.size();
        for (const korvo::SpectrumPoint& q : b.points)
            if (!std::isfinite(q.x) || !std::isfinite(q.y)) std::abort();
    }
    if (points > limits.maxPoints) std::abort();

    // Written again, the blocks read back with the same points (an IRREGULAR block as a REGULAR one
    // with Korvo's list of energies).
    for (const korvo::VamasBlock& b : r.blocks)
        if (!korvo::vamasBlockProblem(b).empty()) return 0;
    const std::string again = korvo::vamasFileText(r.experiment, r.blocks);
    const korvo::VamasReadResult back = korvo::readVamasText(again, "again.vms", limits);
    if (!back || !samePoints(back, r)) std::abort();
    return 0;
}

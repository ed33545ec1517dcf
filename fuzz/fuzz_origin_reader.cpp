// Origin tables come from Origin, scripts and hand edits. The reader must refuse with a reason and
// leave the caller's points as they were, or give columns x rows points inside the one range it
// reports; the same bytes in small pieces read the same.
#include "files/origin_file.h"
#include "piece_source.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <string_view>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    korvo::OriginReadLimits limits;
    limits.maxColumns = 64;
    limits.maxValues = 1u << 16;
    std::vector<korvo::SpectrumPoint> points = {{7, 7}};
    const korvo::OriginReadResult r = korvo::readOriginText(bytes, "fuzz.dat", points, limits);
    if (static_cast<bool>(r) == !r.error.empty()) std::abort();

    std::vector<korvo::SpectrumPoint> pieces = {{7, 7}};
    korvo::fuzz::PieceSource source(bytes, 1 + size % 5 + size / 64);
    const korvo::OriginReadResult p = korvo::readOriginSource(source, "fuzz.dat", pieces, limits);
    if (p.error != r.error || p.errorLine != r.errorLine || pieces.size() != points.size()) std::abort();
    for (std::size_t i = 0; i < points.size(); ++i)
        if (points[i].x != pieces[i].x || points[i].y != pieces[i].y) std::abort();

    if (!r) {
        if (points.size() != 1) std::abort(); // a refused table leaves nothing behind
        return 0;
    }
    const korvo::OriginTable& t = r.table;
    if (t.columns < 1 || t.rows < 2 || t.columns > limits.maxColumns) std::abort();
    if (points.size() != 1 + t.columns * t.rows) std::abort();
    for (std::size_t i = 1; i < points.size(); ++i) {
        const korvo::SpectrumPoint& q = points[i];
        if (!std::isfinite(q.x) || !std::isfinite(q.y)) std::abort();
        if (q.x < t.xMin || q.x > t.xMax || q.y < t.yMin || q.y > t.yMax) std::abort();
        // Column c holds the rows in order: its x agree with those of column 0.
        if (q.x != points[1 + (i - 1) % t.rows].x) std::abort();
    }
    return 0;
}

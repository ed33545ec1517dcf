#include "viewer/analysis/slices.h"

#include "common/number_text.h"

#include <algorithm>
#include <vector>

namespace korvo::analysis {
namespace {

// The shown series shortened to `count` spectra; the rest joins the hidden ones, first among them.
void keepShown(tvar& ws, int count) {
    const int dropped = ws.ShownCount - count;
    ws.ShownCount = count;
    ws.HiddenCount = static_cast<std::uint16_t>(ws.HiddenCount + dropped);
    bool activeShown = false;
    for (int i = 1; i <= count; ++i) activeShown = activeShown || ws.atPosition(i) == ws.Active;
    if (!activeShown) ws.Active = count > 0 ? ws.atPosition(1) : 0;
}

} // namespace

Outcome slicesSum(tvar& ws, int groupSize) {
    if (std::string m = checkSpectraReachPointCount(ws); !m.empty()) return Outcome{std::move(m)};
    if (groupSize < 1) return Outcome{"The group size must be at least 1."};
    // Without one complete group nothing would be left to show.
    if (ws.ShownCount < groupSize)
        return Outcome{"Slices-Sum sums groups of " + std::to_string(groupSize) + " spectra: at least " +
                       std::to_string(groupSize) + " must be shown."};
    const int n = commonPointCount(ws);
    std::vector<double> sum(static_cast<std::size_t>(n));
    int g = 1;
    for (int k = 1; k <= ws.ShownCount; ++k) {
        if (k % groupSize == 1 || groupSize == 1) std::fill(sum.begin(), sum.end(), 0.0);
        const auto pts = ws.points(k);
        for (int j = 0; j < n; ++j) sum[std::size_t(j)] += pts[std::size_t(j)].y;
        if (k % groupSize == 0) {
            const auto target = ws.points(g++);
            for (int j = 0; j < n; ++j) target[std::size_t(j)].y = sum[std::size_t(j)];
        }
    }
    keepShown(ws, g - 1);
    return Outcome{{}, Redraw::Repaint};
}

Outcome sliceMix(tvar& ws, int slices, int overlap) {
    if (slices < 1 || overlap < 0 || overlap > slices)
        return Outcome{"Slices must be at least 1 and the overlap between 0 and the number of slices."};
    if (std::string m = checkSpectraReachPointCount(ws); !m.empty()) return Outcome{std::move(m)};
    // A series no longer than one block has nothing to join.
    if (ws.ShownCount <= slices) return Outcome{{}, Redraw::Repaint};
    const int n = commonPointCount(ws);
    const double parts = overlap + 1;
    int t = slices + 1, w = 1;
    for (int k = slices + 1; k <= ws.ShownCount; ++k) {
        if (k % slices == 1 || slices == 1) {
            t -= overlap;
            w = 1;
        }
        const auto source = ws.points(k);
        const auto target = ws.points(t);
        for (int j = 0; j < n; ++j) {
            double& y = target[std::size_t(j)].y;
            y = (w * source[std::size_t(j)].y + (parts - w) * y) / parts;
        }
        w = std::min(w + 1, overlap + 1);
        ++t;
    }
    keepShown(ws, t - 1);
    return Outcome{{}, Redraw::Repaint};
}

std::optional<std::pair<int, int>> parseSliceMix(const std::string& slices, const std::string& overlap,
                                                 std::string& error) {
    const auto s = text::parseInt(slices);
    if (!s) {
        error = "'" + slices + "' is not a valid integer value";
        return std::nullopt;
    }
    const auto o = text::parseInt(overlap);
    if (!o) {
        error = "'" + overlap + "' is not a valid integer value";
        return std::nullopt;
    }
    return std::pair{*s, *o};
}

} // namespace korvo::analysis

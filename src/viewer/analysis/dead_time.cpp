#include "viewer/analysis/dead_time.h"

#include "common/number_text.h"
#include "viewer/header_values.h"
#include "viewer/view_scale.h"

#include <algorithm>
#include <cmath>
#include <vector>

namespace korvo::analysis {

std::optional<double> nonParalysable(double counts, double liveTime, double deadTime) {
    const double lost = counts * deadTime / liveTime; // the share of the live time the counter was dead
    if (!(lost < 1) || !std::isfinite(lost)) return std::nullopt;
    const double n = counts / (1 - lost);
    return std::isfinite(n) ? std::optional(n) : std::nullopt;
}

std::array<double, kChanneltrons> channelShares(const ViewerSpectrum& s) {
    std::array<double, kChanneltrons> shares;
    shares.fill(1.0 / kChanneltrons);
    if (!s.ChannelTotals) return shares;
    double all = 0;
    for (double t : *s.ChannelTotals) all += t;
    if (!(all > 0) || !std::isfinite(all)) return shares;
    for (int c = 0; c < kChanneltrons; ++c) shares[std::size_t(c)] = (*s.ChannelTotals)[std::size_t(c)] / all;
    return shares;
}

std::optional<double> correctedCounts(double counts, std::span<const double> shares, double liveTime,
                                      double deadTime) {
    double sum = 0;
    for (double share : shares) {
        if (share <= 0) continue;
        const std::optional<double> part = nonParalysable(counts * share, liveTime, deadTime);
        if (!part) return std::nullopt;
        sum += *part;
    }
    return sum;
}

std::optional<double> headerDwellTime(const ViewerSpectrum& s) {
    const std::optional<double> ms = numberAfterColon(s.MeasTimeText);
    if (ms && std::isfinite(*ms) && *ms > 0) return ms;
    return std::nullopt;
}

namespace {

std::string general(double v) {
    return text::formatGeneral(v, 6);
}

} // namespace

Outcome deadTimeCorrection(tvar& ws, double deadTimeNs) {
    if (!(deadTimeNs > 0) || !std::isfinite(deadTimeNs))
        return {"The dead time is a positive number of nanoseconds, not " + general(deadTimeNs) + ".", Redraw::None};
    const double tau = deadTimeNs * 1e-9;
    const std::vector<int> shown = shownSpectra(ws);
    // Every point is checked and corrected into a copy first: a refusal anywhere changes nothing.
    std::vector<std::vector<double>> corrected;
    corrected.reserve(shown.size());
    for (int k : shown) {
        const ViewerSpectrum& s = ws.spectrum(k);
        const std::optional<double> dwellMs = headerDwellTime(s);
        if (!dwellMs)
            return {s.ShortName + " has no measuring time per point (MeasTime) in its header: its counts cannot be "
                                  "corrected for dead time. Nothing was corrected.",
                    Redraw::None};
        const double liveTime = std::max(s.Scans, 1) * *dwellMs / 1000;
        const std::array<double, kChanneltrons> shares = channelShares(s);
        const double largestShare = *std::max_element(shares.begin(), shares.end());
        std::vector<double>& out = corrected.emplace_back();
        for (const SpectrumPoint& p : ws.points(k)) {
            if (p.y < 0 || !std::isfinite(p.y))
                return {s.ShortName + " has the count " + general(p.y) + " at x = " + general(p.x) +
                            ": only counts as the counters counted them can be corrected for dead time, before a "
                            "background or another spectrum is subtracted. Nothing was corrected.",
                        Redraw::None};
            const std::optional<double> n = correctedCounts(p.y, shares, liveTime, tau);
            if (!n)
                return {s.ShortName + " at x = " + general(p.x) + ": " + general(p.y) + " counts in " +
                            general(liveTime) + " s give a channeltron " + general(p.y * largestShare / liveTime) +
                            " counts per second, at or above the " + general(1 / tau) +
                            " per second that a counter of " + general(deadTimeNs) +
                            " ns dead time can count. Nothing was corrected.",
                        Redraw::None};
            out.push_back(*n);
        }
    }
    for (std::size_t i = 0; i < shown.size(); ++i) {
        std::span<SpectrumPoint> pts = ws.points(shown[i]);
        for (std::size_t j = 0; j < pts.size(); ++j) pts[j].y = corrected[i][j];
    }
    return {{}, Redraw::FullScale};
}

} // namespace korvo::analysis

#include "viewer/analysis/arithmetic.h"

#include "common/file_util.h"
#include "files/line_reader.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <vector>

namespace korvo::analysis {
namespace {

Outcome refused(std::string message) {
    return Outcome{std::move(message), Redraw::None};
}

Outcome done(Redraw redraw) {
    return Outcome{{}, redraw};
}

// Every shown spectrum holds at least n points (the store commands use the first n of each).
bool allHoldPoints(const tvar& ws, int n) {
    for (int k = 1; k <= ws.ShownCount; ++k)
        if (ws.points(k).size() < static_cast<std::size_t>(n)) return false;
    return true;
}

double& y(tvar& ws, int k, int j) {
    return ws.point(k, j).y;
}

const char* const kTooFewSpectra = "Anzahl der Spektren muß > 1 sein !!!!";
const char* const kPointCounts = "Anzahl der Meßpunkte stimmt nicht überein?\rFunktion geht nur bei gleicher Anzahl !";

} // namespace

int commonPointCount(const tvar& ws) {
    return ws.ShownCount > 0 ? ws.spectrum(1).NumPoints : 0;
}

std::string checkSpectra(const tvar& ws) {
    if (ws.ShownCount == 1) return kTooFewSpectra;
    const int n = commonPointCount(ws);
    for (int k = 1; k <= ws.ShownCount; ++k)
        if (ws.spectrum(k).NumPoints != n) return kPointCounts;
    // A spectrum whose points the pool does not hold is refused like a differing count.
    if (!allHoldPoints(ws, n)) return kPointCounts;
    return {};
}

std::string checkSpectraReachPointCount(const tvar& ws) {
    if (ws.ShownCount == 1) return kTooFewSpectra;
    return allHoldPoints(ws, commonPointCount(ws)) ? std::string() : kPointCounts;
}

Outcome smooth(tvar& ws) {
    std::vector<double> work;
    for (int k = 1; k <= ws.ShownCount; ++k) {
        const std::span<SpectrumPoint> pts = ws.points(k);
        const std::size_t m = pts.size();
        if (m == 0) continue;
        work.resize(m + 2);
        for (std::size_t j = 0; j < m; ++j) work[j + 1] = pts[j].y;
        work[0] = work[1];
        work[m + 1] = work[m];
        for (std::size_t j = 1; j <= m; ++j) pts[j - 1].y = (work[j - 1] + work[j] + work[j + 1]) / 3;
    }
    return done(Redraw::Repaint);
}

Outcome normaliseArea(tvar& ws) {
    if (std::string m = checkSpectra(ws); !m.empty()) return refused(std::move(m));
    const int n = commonPointCount(ws);
    // Points a + 1 .. b, kept inside 1 .. n.
    const int first = std::max(ws.SelStartPoint + 1, 1);
    const int last = std::min(ws.SelEndPoint, n);
    // Without a point in the stretch every spectrum after the first would get the area 0, all its
    // counts lost; that is never what the marks were placed for.
    if (ws.ShownCount >= 2 && first > last)
        return refused("No point between the marks: the start mark (point " +
                       std::to_string(ws.SelStartPoint) + ") must lie before the end mark (point " +
                       std::to_string(ws.SelEndPoint) + ").");
    for (int k = 2; k <= ws.ShownCount; ++k) {
        double a = 0, b = 0;
        for (int j = first; j <= last; ++j) {
            a += y(ws, k - 1, j);
            b += y(ws, k, j);
        }
        if (b == 0) b = 1;
        const double factor = a / b;
        for (int j = 1; j <= n; ++j) y(ws, k, j) *= factor;
    }
    return done(Redraw::FullScale);
}

Outcome subtractMean(tvar& ws, int share) {
    if (std::string m = checkSpectra(ws); !m.empty()) return refused(std::move(m));
    if (share == 0 || ws.ShownCount == 0) return done(Redraw::FullScale);
    const int n = commonPointCount(ws);
    std::vector<double> sum(static_cast<std::size_t>(n) + 1, 0.0);
    for (int k = 1; k <= ws.ShownCount; ++k)
        for (int j = 1; j <= n; ++j) sum[std::size_t(j)] += y(ws, k, j);
    for (int k = 1; k <= ws.ShownCount; ++k)
        for (int j = 1; j <= n; ++j) y(ws, k, j) -= 0.01 * sum[std::size_t(j)] * share / ws.ShownCount;
    return done(Redraw::FullScale);
}

Outcome subtractMinimum(tvar& ws) {
    if (std::string m = checkSpectra(ws); !m.empty()) return refused(std::move(m));
    const int n = commonPointCount(ws);
    std::vector<double> low(static_cast<std::size_t>(n) + 1, 1e20);
    for (int k = 1; k <= ws.ShownCount; ++k)
        for (int j = 1; j <= n; ++j) low[std::size_t(j)] = std::min(low[std::size_t(j)], y(ws, k, j));
    for (int k = 1; k <= ws.ShownCount; ++k)
        for (int j = 1; j <= n; ++j) y(ws, k, j) -= low[std::size_t(j)];
    return done(Redraw::FullScale);
}

Outcome flattenSelection(tvar& ws) {
    if (std::string m = checkSpectra(ws); !m.empty()) return refused(std::move(m));
    const int n = commonPointCount(ws);
    const int end = ws.SelEndPoint;
    // A stretch that does not end on a point of the spectra has no value to spread.
    if (ws.ShownCount == 0 || end < 1 || end > n) return done(Redraw::FullScale);
    const int first = std::max(ws.SelStartPoint, 1);
    for (int k = 1; k <= ws.ShownCount; ++k) {
        const double value = y(ws, k, end);
        for (int j = first; j <= end; ++j) y(ws, k, j) = value;
    }
    return done(Redraw::FullScale);
}

Outcome stack(tvar& ws) {
    if (ws.ShownCount < 2) return done(Redraw::FullScale);
    const int n = commonPointCount(ws);
    if (!allHoldPoints(ws, n)) return refused(kPointCounts);
    for (int k = 2; k <= ws.ShownCount; ++k) {
        double lift = 0;
        for (int j = 1; j <= n; ++j) lift = std::max(lift, y(ws, k - 1, j) - y(ws, k, j));
        for (int j = 1; j <= n; ++j) y(ws, k, j) += lift;
    }
    return done(Redraw::FullScale);
}

Outcome storeValues(const tvar& ws, const std::string& path) {
    const int n = commonPointCount(ws);
    if (!allHoldPoints(ws, n)) return refused(kPointCounts);
    std::string text;
    text.reserve(std::size_t(ws.ShownCount) * std::size_t(n) * 12);
    char buffer[32];
    for (int k = 1; k <= ws.ShownCount; ++k)
        for (int j = 1; j <= n; ++j) {
            const auto r = std::to_chars(buffer, buffer + sizeof buffer, ws.point(k, j).y);
            text.append(buffer, r.ptr);
            text += '\n';
        }
    std::string error;
    if (!writeFileAtomic(path, text, &error)) return refused("The store file could not be written: " + error);
    return done(Redraw::None);
}

Outcome applyStore(tvar& ws, const std::string& path, int sign) {
    const int n = commonPointCount(ws);
    if (!allHoldPoints(ws, n)) return refused(kPointCounts);
    std::string error;
    const std::optional<std::string> bytes = readFile(path, &error);
    if (!bytes) return refused("The store file could not be read: " + error);
    const std::size_t wanted = std::size_t(ws.ShownCount) * std::size_t(n);
    std::vector<double> values;
    values.reserve(wanted);
    MemoryByteSource source(*bytes);
    LineReader lines(source, bytes->size(), false);
    std::string_view line;
    while (values.size() < wanted && lines.next(line) == LineReader::Status::Line) {
        while (!line.empty() && (line.back() == ' ' || line.back() == '\t')) line.remove_suffix(1);
        while (!line.empty() && (line.front() == ' ' || line.front() == '\t')) line.remove_prefix(1);
        double v = 0;
        const auto r = std::from_chars(line.data(), line.data() + line.size(), v);
        // from_chars takes "nan" and "inf"; the store holds counts, and they are finite.
        if (line.empty() || r.ec != std::errc() || r.ptr != line.data() + line.size() || !std::isfinite(v))
            return refused("The store file " + path + " holds no number in line " +
                           std::to_string(lines.lineNumber()) + ".");
        values.push_back(v);
    }
    if (values.size() < wanted)
        return refused("The store file " + path + " holds " + std::to_string(values.size()) + " values, " +
                       std::to_string(wanted) + " are needed.");
    // The sums first: one beyond the number range refuses the command before a count changes.
    std::size_t i = 0;
    for (int k = 1; k <= ws.ShownCount; ++k)
        for (int j = 1; j <= n; ++j, ++i) {
            values[i] = y(ws, k, j) + sign * values[i];
            if (!std::isfinite(values[i]))
                return refused(
                    "Spectrum " + std::to_string(k) + ", point " + std::to_string(j) +
                    ": the sum with the store file is beyond the number range. Nothing was changed.");
        }
    i = 0;
    for (int k = 1; k <= ws.ShownCount; ++k)
        for (int j = 1; j <= n; ++j) y(ws, k, j) = values[i++];
    return done(Redraw::Repaint);
}

Outcome storeCommand(tvar& ws, const std::string& path, int sign) {
    // The normalisation's checks come first: a command it would refuse changes nothing.
    if (std::string m = checkSpectra(ws); !m.empty()) return refused(std::move(m));
    const int n = commonPointCount(ws);
    std::vector<double> before;
    before.reserve(std::size_t(ws.ShownCount) * std::size_t(n));
    for (int k = 1; k <= ws.ShownCount; ++k)
        for (int j = 1; j <= n; ++j) before.push_back(y(ws, k, j));
    Outcome applied = applyStore(ws, path, sign);
    if (!applied.ok()) return applied;
    const int selStart = ws.SelStartPoint, selEnd = ws.SelEndPoint;
    ws.SelStartPoint = 1;
    ws.SelEndPoint = n;
    Outcome normalised = normaliseArea(ws);
    bool finite = normalised.ok();
    for (int k = 1; k <= ws.ShownCount && finite; ++k)
        for (int j = 1; j <= n && finite; ++j) finite = std::isfinite(y(ws, k, j));
    if (!finite) {
        // An area beyond the number range: everything back as it was.
        std::size_t i = 0;
        for (int k = 1; k <= ws.ShownCount; ++k)
            for (int j = 1; j <= n; ++j) y(ws, k, j) = before[i++];
        ws.SelStartPoint = selStart;
        ws.SelEndPoint = selEnd;
        return refused(normalised.ok()
                           ? "The normalisation gives numbers beyond the number range. Nothing was changed."
                           : normalised.message);
    }
    normalised.redraw = Redraw::FullScale;
    normalised.toggleColourView = true;
    return normalised;
}

} // namespace korvo::analysis

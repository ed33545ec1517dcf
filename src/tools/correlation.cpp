#include "tools/correlation.h"

#include "common/file_util.h"
#include "common/number_text.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <sys/stat.h>
#include <utility>

namespace korvo {
namespace {

// The fit takes the maximum and 8 shifts on either side of it; x = 0.1 * t keeps the powers up to
// x^8 of the normal equations within a few orders of magnitude of each other.
constexpr int kFitHalfWidth = 8;
constexpr int kFitDegree = 4;
constexpr double kFitStep = 0.1;
constexpr int kEdgeMeanCount = 15;
constexpr int kReference = 5;

std::string lineEnd(std::string text) {
    text += "\r\n";
    return text;
}

// "+" before a value that does not read as negative, a blank before one that does.
std::string signedValue(double v) {
    const std::string t = text::formatPattern(v, "0.000000");
    return (t.empty() || t[0] != '-' ? "+" : " ") + t;
}

std::string offsetLine(int channeltron, double value) {
    return std::to_string(channeltron) + " : " + signedValue(value);
}

// The derivative of the fitted polynomial at x.
double slope(const std::array<double, kFitDegree + 1>& a, double x) {
    double v = 0;
    for (int k = kFitDegree; k >= 1; --k) v = v * x + k * a[static_cast<std::size_t>(k)];
    return v;
}

double value(const std::array<double, kFitDegree + 1>& a, double x) {
    double v = 0;
    for (int k = kFitDegree; k >= 0; --k) v = v * x + a[static_cast<std::size_t>(k)];
    return v;
}

// Four partial sums let the compiler keep several products in flight: a full-length spectrum takes
// 45 correlations of 13333 shifts by 6666 products each.
double dot(const double* a, const double* b, int n) {
    double s0 = 0, s1 = 0, s2 = 0, s3 = 0;
    int k = 0;
    for (; k + 4 <= n; k += 4) {
        s0 += a[k] * b[k];
        s1 += a[k + 1] * b[k + 1];
        s2 += a[k + 2] * b[k + 2];
        s3 += a[k + 3] * b[k + 3];
    }
    for (; k < n; ++k) s0 += a[k] * b[k];
    return (s0 + s1) + (s2 + s3);
}

} // namespace

bool SolveLinear(LinearMatrix a, LinearVector b, int n, LinearVector& x) {
    if (n < 1 || n > kMaxLinearSize) return false;
    for (int col = 0; col < n; ++col) {
        int pivot = col;
        for (int r = col + 1; r < n; ++r)
            if (std::fabs(a[r][col]) > std::fabs(a[pivot][col])) pivot = r;
        if (a[pivot][col] == 0) return false;
        std::swap(a[pivot], a[col]);
        std::swap(b[pivot], b[col]);
        for (int r = col + 1; r < n; ++r) {
            const double f = a[r][col] / a[col][col];
            for (int c = col; c < n; ++c) a[r][c] -= f * a[col][c];
            b[r] -= f * b[col];
        }
    }
    for (int r = n - 1; r >= 0; --r) {
        double s = b[r];
        for (int c = r + 1; c < n; ++c) s -= a[r][c] * x[c];
        x[r] = s / a[r][r];
    }
    return true;
}

std::optional<ChanneltronCurves> ChanneltronCurves::build(const ChanneltronSpectrum& s, bool derivative,
                                                          std::string& error) {
    const std::size_t rows = s.rows();
    const std::size_t n = derivative && rows > 0 ? rows - 1 : rows;
    if (rows > kCorrelationMaxRows) {
        error = "The spectrum has " + std::to_string(rows) + " rows; the correlation holds at most " +
                std::to_string(kCorrelationMaxRows) + ".";
        return std::nullopt;
    }
    if (n < static_cast<std::size_t>(kEdgeMeanCount)) {
        error = "The spectrum has only " + std::to_string(rows) + " rows between AnaSta and AnaEnd" +
                (derivative ? " (one less with \"Ableiten\")" : "") + "; the correlation needs at least " +
                std::to_string(kEdgeMeanCount + (derivative ? 1 : 0)) + ".";
        return std::nullopt;
    }
    ChanneltronCurves out;
    out.n_ = static_cast<int>(n);
    const int N = out.n_;
    for (int c = 0; c < kChanneltrons; ++c) {
        const auto& counts = s.counts[static_cast<std::size_t>(c)];
        if (counts.size() != rows) {
            error = "The channeltrons have different numbers of counts.";
            return std::nullopt;
        }
        std::vector<double>& v = out.curves_[static_cast<std::size_t>(c)];
        v.assign(3 * n + 2, 0.0);
        for (int k = 1; k <= N; ++k) {
            const auto i = static_cast<std::size_t>(k - 1);
            v[static_cast<std::size_t>(k + N)] =
                derivative ? static_cast<double>(counts[i + 1] - counts[i]) : static_cast<double>(counts[i]);
        }
        double first = 0, last = 0;
        for (int k = 1; k <= kEdgeMeanCount; ++k) {
            first += v[static_cast<std::size_t>(k + N)];
            last += v[static_cast<std::size_t>(N - kEdgeMeanCount + k + N)];
        }
        const auto firstMean = static_cast<double>(text::roundHalfEven(first / kEdgeMeanCount));
        const auto lastMean = static_cast<double>(text::roundHalfEven(last / kEdgeMeanCount));
        for (int k = -N; k <= 0; ++k) v[static_cast<std::size_t>(k + N)] = firstMean;
        for (int k = N + 1; k <= 2 * N + 1; ++k) v[static_cast<std::size_t>(k + N)] = lastMean;
    }
    return out;
}

ShiftResult CorrelationShift(const ChanneltronCurves& curves, int a, int b) {
    ShiftResult r;
    const int N = curves.size();
    if (a < 1 || a > kChanneltrons || b < 1 || b > kChanneltrons || N < 1) {
        r.error = "there is no such pair of curves";
        return r;
    }
    std::vector<double> c(static_cast<std::size_t>(2 * N + 1));
    int best = 0;
    double cmax = 0;
    // The sums run over the entries 1..N of a and 1+s..N+s of b, all inside the extended curves.
    const double* const ca = curves.from(a, 1);
    for (int s = -N; s <= N; ++s) {
        const double* const cb = curves.from(b, 1 + s);
        const double sum = dot(ca, cb, N);
        c[static_cast<std::size_t>(s + N)] = sum;
        if (s == -N || sum > cmax) {
            cmax = sum;
            best = s;
        }
    }
    if (!(cmax > 0)) {
        r.error = "the curves have no positive correlation (no counts?)";
        return r;
    }
    const auto normalised = [&](int s) {
        return (1 - c[static_cast<std::size_t>(s + N)] / cmax) * 10000 + 1;
    };
    r.normalised.reserve(c.size());
    for (int s = -N; s <= N; ++s) r.normalised.push_back(normalised(s));
    if (best - kFitHalfWidth < -N || best + kFitHalfWidth > N) {
        r.error = "the correlation maximum lies at shift " + std::to_string(best) + ", fewer than " +
                  std::to_string(kFitHalfWidth) + " shifts from the end of the range " + std::to_string(-N) +
                  " to " + std::to_string(N) + ", so the fit around it has no room";
        return r;
    }

    std::array<double, 2 * kFitDegree + 1> sx{};
    std::array<double, kFitDegree + 1> sxy{};
    for (int t = -kFitHalfWidth; t <= kFitHalfWidth; ++t) {
        const double x = kFitStep * t, y = normalised(best + t);
        double p = 1;
        for (std::size_t k = 0; k < sx.size(); ++k, p *= x) {
            sx[k] += p;
            if (k < sxy.size()) sxy[k] += p * y;
        }
    }
    LinearMatrix m{};
    LinearVector rhs{}, solution{};
    for (std::size_t i = 0; i <= kFitDegree; ++i) {
        for (std::size_t j = 0; j <= kFitDegree; ++j) m[i][j] = sx[i + j];
        rhs[i] = sxy[i];
    }
    if (!SolveLinear(m, rhs, kFitDegree + 1, solution)) {
        r.error = kMatrixSingular;
        return r;
    }
    std::array<double, kFitDegree + 1> poly{};
    for (std::size_t k = 0; k <= kFitDegree; ++k) poly[k] = solution[k];
    for (int t = -kFitHalfWidth; t <= kFitHalfWidth; ++t)
        r.ausgabeDat +=
            lineEnd(std::to_string(best + t) + " " + text::formatPattern(normalised(best + t), "0.000000") +
                    " " + text::formatPattern(value(poly, kFitStep * t), "0.000000"));

    // The minimum of the normalised curve: where the fitted slope turns from falling to rising.
    double lo = -kFitHalfWidth * kFitStep, hi = kFitHalfWidth * kFitStep;
    while (hi - lo >= 1e-8) {
        const double mid = (lo + hi) / 2;
        (slope(poly, mid) <= 0 ? lo : hi) = mid;
    }
    r.shift = best + lo / kFitStep;
    return r;
}

std::string correlationText(const ShiftResult& shift) {
    std::string out;
    const int n = static_cast<int>(shift.normalised.size() / 2);
    out.reserve(shift.normalised.size() * 20);
    for (int s = -n; s <= n; ++s)
        out += lineEnd(std::to_string(s) + " " +
                       text::formatPattern(shift.normalised[static_cast<std::size_t>(s + n)], "0.000000"));
    return out;
}

double energyShift(const ChanneltronSpectrum& spectrum, double shift) {
    return ((spectrum.anaEnd - spectrum.anaStart) * shift / spectrum.points) / spectrum.passEnergy;
}

std::string progressText(int done, int total, int points) {
    if (total <= 0) return "00 %";
    const double percent = 100.0 * done / total;
    return std::to_string(points) + " Punkte " + text::formatPattern(percent, "00") + " %";
}

CorrelationResult correlateChanneltrons(const ChanneltronSpectrum& spectrum,
                                        const CorrelationOptions& options,
                                        const CorrelationProgress& progress) {
    CorrelationResult r;
    std::vector<int> ticked;
    for (int c = 1; c <= kChanneltrons; ++c)
        if (options.ticked[static_cast<std::size_t>(c - 1)]) ticked.push_back(c);
    if (ticked.size() < 2) {
        r.error = "Tick at least two channeltrons: Delta comes from the shifts between pairs of them.";
        return r;
    }
    if (spectrum.points <= 0 || !(spectrum.passEnergy > 0)) {
        r.error = "The points per scan and the pass energy of the spectrum must be positive.";
        return r;
    }
    std::string error;
    const auto curves = ChanneltronCurves::build(spectrum, options.derivative, error);
    if (!curves) {
        r.error = error;
        return r;
    }
    r.points = curves->size();
    r.passEnergy = spectrum.passEnergy;

    const int pairs = static_cast<int>(ticked.size() * (ticked.size() - 1) / 2);
    const int total = pairs + kChanneltrons;
    int done = 0;
    ShiftResult last;
    // Each correlation overwrote "test.dat" and "ausgabe.dat"; the last one that succeeded stays.
    std::string why; // of the last correlation that failed
    const auto correlate = [&](int a, int b) -> std::optional<double> {
        ShiftResult s = CorrelationShift(*curves, a, b);
        ++done;
        if (progress) progress(done, total, r.points);
        if (!s) {
            why = s.error;
            r.error =
                "Channeltrons " + std::to_string(a) + " and " + std::to_string(b) + ": " + s.error + ".";
            return std::nullopt;
        }
        const double energy = energyShift(spectrum, s.shift);
        last = std::move(s);
        return energy;
    };

    double sum = 0;
    int steps = 0;
    for (std::size_t i = 0; i < ticked.size(); ++i)
        for (std::size_t j = i + 1; j < ticked.size(); ++j) {
            const std::optional<double> energy = correlate(ticked[i], ticked[j]);
            if (!energy) return r;
            sum += *energy;
            steps += ticked[j] - ticked[i];
        }
    r.delta = -sum / steps;

    // Each channeltron against the reference, taken the way round that matches the linear model:
    // on an evenly spaced detector the offset of channeltron i is Delta * (i - 5). Every channeltron
    // gets its line, for its counts are in the file whatever the boxes say; only the ticked ones
    // enter the correlation error, and only their failure ends the run. An unticked one is often
    // unticked because it is dead: its line then says why it has no offset.
    double squares = 0;
    for (int c = 1; c <= kChanneltrons; ++c) {
        const bool isTicked = options.ticked[static_cast<std::size_t>(c - 1)];
        const std::optional<double> energy = correlate(c, kReference);
        if (!energy) {
            if (isTicked) return r;
            r.error.clear();
            r.offsetLines.push_back(std::to_string(c) + " : not correlated: " + why);
        } else {
            r.offsets[static_cast<std::size_t>(c - 1)] = *energy;
            if (isTicked) {
                const double deviation = *energy - r.delta * (c - kReference);
                squares += deviation * deviation;
            }
            r.offsetLines.push_back(offsetLine(c, *energy));
        }
        r.lineDat += lineEnd(r.offsetLines.back());
    }
    r.testDat = correlationText(last);
    r.ausgabeDat = std::move(last.ausgabeDat);
    r.correlationError = std::sqrt(squares / static_cast<double>(ticked.size()));

    r.summary.push_back("PassEn: " + text::formatPattern(r.passEnergy, "0.00"));
    r.summary.push_back("Delta: " + text::formatPattern(r.delta, "0.000000"));
    for (int k = -4; k <= 4; ++k) r.summary.push_back(offsetLine(kReference + k, r.delta * k));
    r.summary.push_back("Korrelationsfehler: " + text::formatPattern(r.correlationError, "0.00000000"));
    return r;
}

bool writeCorrelationFiles(const CorrelationResult& result, const std::string& directory,
                           std::string& error) {
    const std::pair<const char*, const std::string*> files[] = {
        {kCorrelationFiles[0], &result.testDat},
        {kCorrelationFiles[1], &result.ausgabeDat},
        {kCorrelationFiles[2], &result.lineDat}};
    // The three belong together: each is written completely under a hidden name first, and only when
    // all three are there do they replace the old ones, so a full disk leaves the old set whole.
    std::vector<std::pair<std::string, std::string>> staged; // hidden name, target
    const auto discard = [&] {
        for (const auto& [hidden, target] : staged) std::remove(hidden.c_str());
    };
    for (const auto& [name, bytes] : files) {
        const std::string path = directory + "/" + name;
        struct stat st {};
        if (::lstat(path.c_str(), &st) == 0 && !S_ISREG(st.st_mode) && !S_ISLNK(st.st_mode)) {
            discard();
            error = "Cannot write " + path + ": it is not a regular file";
            return false;
        }
        const std::string hidden = directory + "/." + name + ".korvo-new";
        std::string why;
        if (!writeFileAtomic(hidden, *bytes, &why)) {
            discard();
            error = "Cannot write " + path + ": " + why;
            return false;
        }
        staged.emplace_back(hidden, path);
    }
    for (const auto& [hidden, target] : staged)
        if (std::rename(hidden.c_str(), target.c_str()) != 0) {
            error = "Cannot write " + target + ": " + std::strerror(errno);
            discard();
            return false;
        }
    return true;
}

} // namespace korvo

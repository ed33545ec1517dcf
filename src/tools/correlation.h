#pragma once
// The channeltron correlation: every channeltron of the multichanneltron records the same spectrum,
// shifted along the energy axis by its position behind the exit slit. Cross-correlating the count
// curves pair by pair and locating each maximum to a fraction of a point gives the shifts; in units
// of the pass energy they are the offsets the channel-shift table holds.
//
// Nothing here touches a file until everything is computed: a refused run leaves "test.dat",
// "ausgabe.dat" and "line.dat" as they were.
#include "tools/correlation_file.h"

#include <array>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace korvo {

inline constexpr const char* kMatrixSingular = "ERROR: Matrix is singular";
inline constexpr int kMaxLinearSize = 8;

using LinearMatrix = std::array<std::array<double, kMaxLinearSize>, kMaxLinearSize>;
using LinearVector = std::array<double, kMaxLinearSize>;

// Solves a·x = b for the first n rows and columns (1 <= n <= 8) by Gaussian elimination with partial
// pivoting. Returns false (x unusable) when a pivot is 0 or n is out of range.
bool SolveLinear(LinearMatrix a, LinearVector b, int n, LinearVector& x);

// The count curves of a run, each with its edge extension: entries -N..0 hold the rounded mean of
// the first 15 counts and entries N+1..2N+1 the rounded mean of the last 15, so that every product
// of a shifted pair stays defined.
class ChanneltronCurves {
public:
    // At least 15 rows (the edge means) and at most kCorrelationMaxRows. With `derivative` each curve
    // becomes its first differences, entry k - 1 := entry k - entry k - 1 for k = 2..N, before the
    // extension: N - 1 entries.
    static std::optional<ChanneltronCurves> build(const ChanneltronSpectrum& s, bool derivative,
                                                  std::string& error);

    int size() const { return n_; } // N
    // Channeltron c (1..9), index -N..2N+1.
    double at(int c, int k) const { return curves_[c - 1][static_cast<std::size_t>(k + n_)]; }
    // The entries of channeltron c from index k on (k >= -N); 2N + 2 - k entries follow.
    const double* from(int c, int k) const { return curves_[c - 1].data() + (k + n_); }

private:
    int n_ = 0;
    std::array<std::vector<double>, kChanneltrons> curves_;
};

struct ShiftResult {
    double shift = 0;               // of b against a, in points
    std::string error;              // why there is none
    std::vector<double> normalised; // the normalised correlation of the shifts -N..N
    std::string ausgabeDat;         // the 17 points around the maximum, measured and fitted
    explicit operator bool() const { return error.empty(); }
};

// "test.dat" of a pair: one line per shift with the shift and its normalised correlation.
std::string correlationText(const ShiftResult& shift);

// The shift of channeltron b against channeltron a (1..9): the correlation maximum, refined with a
// polynomial of degree 4 through the 17 shifts around it. Refused when fewer than 8 shifts lie on
// either side of the maximum, or when the curves have no positive correlation.
ShiftResult CorrelationShift(const ChanneltronCurves& curves, int a, int b);

struct CorrelationOptions {
    std::array<bool, kChanneltrons> ticked{true, true, true, true, true, true, true, true, true};
    bool derivative = false; // "Ableiten"
};

struct CorrelationResult {
    std::string error; // empty on success
    int points = 0;    // rows correlated (N)
    double passEnergy = 0;
    double delta = 0; // offset per channeltron step, in units of the pass energy
    double correlationError = 0;
    // Relative to channeltron 5, of every channeltron whose curve correlates with it (ticked or not).
    std::array<std::optional<double>, kChanneltrons> offsets;
    std::vector<std::string> summary;     // the first result box, line by line
    std::vector<std::string> offsetLines; // the second result box and "line.dat": channeltrons 1 .. 9
    std::string testDat, ausgabeDat, lineDat;                 // bytes of the three files
    explicit operator bool() const { return error.empty(); }
};

// Called after each correlation with the number done, the number to do and N; the window shows it
// and pumps its events.
using CorrelationProgress = std::function<void(int done, int total, int points)>;

CorrelationResult correlateChanneltrons(const ChanneltronSpectrum& spectrum,
                                        const CorrelationOptions& options,
                                        const CorrelationProgress& progress = {});

// The energy shift of `shift` points: ((AnaEnd - AnaSta) * shift / points) / pass energy.
double energyShift(const ChanneltronSpectrum& spectrum, double shift);

// The progress label: "00 %" before a run, then N, " Punkte ", the percentage and " %".
std::string progressText(int done, int total, int points);

// The three files a run writes, in this order.
inline constexpr std::array<const char*, 3> kCorrelationFiles = {"test.dat", "ausgabe.dat", "line.dat"};

// Writes the three files of a successful run into `directory`, each replaced atomically.
bool writeCorrelationFiles(const CorrelationResult& result, const std::string& directory, std::string& error);

} // namespace korvo

#pragma once
// The analysis commands by name, as `korvo-cli analyse --op` takes them, and the one-letter commands
// "a" and "b" that chain several of them. Running an operation ends as the window's command does:
// the commands that redraw at full scale set the common range of the shown spectra ("&All").
#include "viewer/analysis/arithmetic.h"
#include "viewer/analysis/clipping_fit.h"
#include "viewer/analysis/integration.h"
#include "viewer/analysis/satellite.h"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace korvo::analysis {

struct Operation {
    enum class Kind {
        Smooth, Normalise, MeanFit, MinimumFit, SetR, Stack, Store, AddStore, SubStore, LetterA, LetterB,
        QFit, QFit50, MMFit, MM2Fit, MM3Fit, Integrate, Satellite, Shirley, Tougaard, SlicesSum, SliceMix,
        DeadTime
    };
    Operation() = default;
    Operation(Kind k, int percent = 0) : kind(k), share(percent) {}
    Kind kind = Kind::Smooth;
    int share = 0; // MeanFit: 0, 25, 50, 75 or 100
    SatelliteLines lines;       // Satellite: the source's lines
    double tougaardB = 2866;    // Tougaard: B in eV^2
    std::vector<int> positions; // Satellite: display positions treated; empty: every shown spectrum
    int slices = 1, overlap = 1; // SliceMix: "Slices:" and "Overlap:"
    double deadTimeNs = 0;       // DeadTime: each counter's dead time in ns
};

// The names korvo-cli accepts, for its help text.
std::vector<std::string> operationNames();

// "smooth", "ifit:25", "satellite:MgKa", "satellite:user:5:0.3:14:0.01", "slice-mix:4:1", "deadtime:100", ...;
// nullopt with a reason
// for anything else.
std::optional<Operation> parseOperation(std::string_view text, std::string& error);

struct OperationResult {
    Outcome outcome;
    std::optional<Integration> integration; // the Integrate operation's result
};

// Runs one operation; the store file is `storePath`. The clipping fits show their progress on
// `clippingView` when one is given.
OperationResult runOperation(tvar& ws, const Operation& op, const std::string& storePath,
                             ClippingView* clippingView = nullptr);

// "a": MM-Fit over the stretch 0 .. 40 (h = 21), area normalisation over 1 .. n, "Store".
// "b": the same fit and normalisation, the stored values added, "Store", normalisation again.
// Both end with the colour view toggled (Outcome::toggleColourView) and a full-scale redraw. A
// refused normalisation is skipped with its message while the rest goes on.
Outcome letterCommand(tvar& ws, char letter, const std::string& storePath);

} // namespace korvo::analysis

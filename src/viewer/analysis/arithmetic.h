#pragma once
// Commands that change the count values of the shown spectra in place: smoothing, area
// normalisation, the mean and minimum subtractions, flattening of the selected stretch, stacking and
// the one-slot store file. None of them changes energies, point counts or the number of spectra.
//
// They address spectra by number, 1 .. ShownCount (not through Order), and take n = NumPoints of
// spectrum 1 as the point count of every spectrum, except smoothing, which uses each spectrum's own.
#include "viewer/workspace.h"

#include <string>

namespace korvo::analysis {

// What the window does after a command.
enum class Redraw { None, Repaint, FullScale };

// A command's outcome: `message` is empty when it ran; otherwise it holds the text of the check or
// file error that stopped it, and the data are unchanged.
struct Outcome {
    std::string message;
    Redraw redraw = Redraw::None;
    bool toggleColourView = false; // the store commands end with the "Color-Mode" command
    bool ok() const { return message.empty(); }
};

inline constexpr const char* kStoreFileName = "tempo123.dat";

// n: NumPoints of spectrum 1, the point count the commands take for every spectrum (0 without spectra).
int commonPointCount(const tvar& ws);

// The two checks of the commands that treat all spectra point by point: more than one spectrum, and
// every one with the point count of spectrum 1. Empty when both pass.
std::string checkSpectra(const tvar& ws);

// The same for commands that take the first n points of every spectrum: more than one spectrum, and
// none with fewer points than spectrum 1 (longer ones are fine).
std::string checkSpectraReachPointCount(const tvar& ws);

// Three-point moving average of every spectrum, its end points repeated beyond its ends.
Outcome smooth(tvar& ws);

// "Normierung": spectra 2 .. ShownCount in turn scaled to the area of their predecessor over points
// SelStartPoint + 1 .. SelEndPoint, so all end with the area of spectrum 1 there. A stretch without
// points (the start mark on or after the end mark) is refused.
Outcome normaliseArea(tvar& ws);

// "I - Fit": `share` percent (0, 25, 50, 75, 100) of the mean spectrum subtracted from every spectrum;
// share 0 changes nothing.
Outcome subtractMean(tvar& ws, int share);

// "M - Fit - 100%": the point-wise minimum over all spectra subtracted from every spectrum.
Outcome subtractMinimum(tvar& ws);

// "Set_R": points SelStartPoint .. SelEndPoint of every spectrum set to its value at SelEndPoint.
Outcome flattenSelection(tvar& ws);

// "c": every spectrum lifted so that it nowhere lies below its predecessor.
Outcome stack(tvar& ws);

// "Store": all count values (spectrum by spectrum, point by point) written to the store file, one
// per line, in a form that reads back exactly.
Outcome storeValues(const tvar& ws, const std::string& path);

// The store file's values added to (sign +1) or subtracted from (sign -1) the counts. The file is
// read whole first: a missing, short or damaged file, a value that is not a finite number, or a sum
// beyond the number range changes nothing. No normalisation here; the "Add Store" and "Sub Store"
// commands follow it with one (see storeCommand).
Outcome applyStore(tvar& ws, const std::string& path, int sign);

// "Add Store" (+1) / "Sub Store" (-1): applyStore, then the stretch set to 1 .. n and the area
// normalisation. What the normalisation would refuse (one spectrum, differing point counts) is
// refused first, and a result beyond the number range is undone: a refused command changes nothing.
Outcome storeCommand(tvar& ws, const std::string& path, int sign);

} // namespace korvo::analysis

#pragma once
// Series measured slice by slice: Slices-Sum adds groups of consecutive spectra, the slice mix joins
// blocks of slices whose last ones overlap the next block. Both work by spectrum number with
// n = NumPoints of spectrum 1 (a longer spectrum gives its first n points, a shorter one is
// refused), write their results into the first n points of the first spectra and shorten the shown
// series; the spectra that drop out of it are kept as hidden ones ("&Select" shows them again), so
// no loaded spectrum is lost and the numbering of later loads stays right.
#include "viewer/analysis/arithmetic.h"

namespace korvo::analysis {

inline constexpr int kSliceGroup = 30;

// Spectra 1 .. S summed into spectrum 1, S + 1 .. 2S into spectrum 2, ...; a last group of fewer
// than S spectra is not written. ShownCount becomes the number of complete groups.
Outcome slicesSum(tvar& ws, int groupSize = kSliceGroup);

// The slice mix of "Scienta-Mix": blocks of `slices` spectra whose last `overlap` spectra were
// measured again as the first ones of the next block. The overlapping spectra are blended with
// linearly rising weights, the rest of each block is moved down behind them.
Outcome sliceMix(tvar& ws, int slices, int overlap);

// The dialog's "Slices:" and "Overlap:" texts as integers, or nothing with `error` set.
std::optional<std::pair<int, int>> parseSliceMix(const std::string& slices, const std::string& overlap,
                                                 std::string& error);

} // namespace korvo::analysis

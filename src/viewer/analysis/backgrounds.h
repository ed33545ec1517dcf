#pragma once
// Inelastic backgrounds under photoemission peaks, subtracted between the two marks (SelStartPoint ..
// SelEndPoint) of spectra 1 .. ShownCount; points outside the stretch keep their counts.
//
// The energy axis is the analyser's kinetic energy: electrons that lost energy on their way out appear
// at lower kinetic energy than their peak, so the background at a point comes from the counts at
// higher energies (to the right, points with larger x).
#include "viewer/analysis/arithmetic.h"

#include <span>
#include <vector>

namespace korvo::analysis {

// Shirley (iterative): B(x) = y(e) + (y(s) - y(e)) * A(x) / A(s), A(x) the area of (y - B) from x to the
// end mark, repeated until B changes by less than 1e-6 of the step (at most 100 times).
Outcome shirleyBackground(tvar& ws);

// Tougaard with the universal cross-section K(T) = B T / (C + T^2)^2, C = 1643 eV^2: B(x) = y(e) +
// sum over the points x' above x up to the end mark of K(x' - x) (y(x') - y(e)) dx'.
inline constexpr double kTougaardB = 2866;  // eV^2
inline constexpr double kTougaardC = 1643;  // eV^2
Outcome tougaardBackground(tvar& ws, double b = kTougaardB);

// The two backgrounds of one stretch of points in ascending energy (its first and last point are the
// marks), bg[i] for points[i]; the commands above and the peak fit both take them from here.
void shirleyBackgroundOf(std::span<const SpectrumPoint> points, std::vector<double>& bg);
void tougaardBackgroundOf(std::span<const SpectrumPoint> points, double b, std::vector<double>& bg);

} // namespace korvo::analysis

#pragma once
// The viewer's binding-energy axis, a view setting: the spectra keep their kinetic energies and
// their display ranges in kinetic energy; only what the x axis says changes. With one photon energy
// the binding energy falls as the kinetic energy rises, so the picture stays as it is and the axis
// reads from high binding energy on the left to low on the right.
//
// Spectra of different photon energies are each converted with their own photon energy: a point
// sits where its own binding energy is, the labels come from the active spectrum, and the full-scale
// commands give every spectrum the common range of the converted spectra (see fullScale), so that
// one binding energy lies in one column for all of them.
#include "common/ini_file.h"
#include "viewer/binding_energy.h"
#include "viewer/workspace.h"

#include <optional>
#include <string>
#include <vector>

namespace korvo {

struct BindingAxis {
    double workFunction = kDefaultWorkFunction; // eV
    // Typed by the user for the spectra whose header has no photon energy.
    std::optional<double> typedPhotonEnergy;
};

// The photon energy of the header's "PhotEn" line, when it holds a positive number.
std::optional<double> headerPhotonEnergy(const ViewerSpectrum& s);
// The photon energy the axis converts spectrum s with: its header's, else the typed one.
std::optional<double> photonEnergyOf(const ViewerSpectrum& s, const BindingAxis& axis);

// Why the shown spectra cannot be shown over binding energy with `axis`, naming the first spectrum
// that cannot: a scan of the photon energy (its x values are photon energies, whatever is typed),
// or else a spectrum without a photon energy while none is typed. Empty when they all can.
std::string photonScanRefusal(const tvar& ws);
std::string bindingAxisRefusal(const tvar& ws, const BindingAxis& axis);
// Some shown spectrum has no photon energy of its own (the window asks for one).
bool needsTypedPhotonEnergy(const tvar& ws);
// The shown spectra are converted with more than one photon energy: the same kinetic range is
// another binding range for each of them.
bool photonEnergiesDiffer(const tvar& ws, const BindingAxis& axis);

// What the x axis of spectrum s shows at the left and right edge of the data area, and per pixel
// (negative on the binding axis: the values fall to the right). The kinetic axis without `axis`, or
// for a spectrum the axis cannot convert.
struct XAxisView {
    double left = 0, right = 0, perPixel = 0;
};
XAxisView xAxisView(const ViewerSpectrum& s, const BindingAxis* axis);
// The value the axis shows for the kinetic energy `x` of spectrum s.
double shownX(const ViewerSpectrum& s, double x, const BindingAxis* axis);

// The settings file's "[viewer] work_function" (eV, 0 to 20); a value that is not such a number
// gives the default and names the key in `unusable`.
inline constexpr const char* kViewerSection = "viewer";
inline constexpr const char* kWorkFunctionKey = "work_function";
double workFunctionSetting(const IniFile& ini, std::vector<std::string>& unusable);

} // namespace korvo

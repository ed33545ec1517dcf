#include "viewer/binding_axis.h"

#include "common/number_text.h"
#include "viewer/header_values.h"

#include <algorithm>
#include <cmath>

namespace korvo {

namespace {

const char* scanName(Abscissa a) {
    switch (a) {
    case Abscissa::PhotonCfs: return "constant final state";
    case Abscissa::PhotonCis: return "constant initial state";
    case Abscissa::PhotonKeithley: return "electrometer";
    case Abscissa::KineticEnergy: break;
    }
    return "";
}

std::vector<int> shownNumbers(const tvar& ws) {
    std::vector<int> numbers;
    for (int i = 1; i <= std::clamp(ws.ShownCount, 0, kMaxSpectra); ++i)
        if (const int k = ws.atPosition(i); k >= 1 && k <= kMaxSpectra) numbers.push_back(k);
    return numbers;
}

} // namespace

std::optional<double> headerPhotonEnergy(const ViewerSpectrum& s) {
    const std::optional<double> v = numberAfterColon(s.PhotEnText);
    if (v && std::isfinite(*v) && *v > 0) return v;
    return std::nullopt;
}

std::optional<double> photonEnergyOf(const ViewerSpectrum& s, const BindingAxis& axis) {
    if (abscissaOf(s) != Abscissa::KineticEnergy) return std::nullopt;
    if (const auto own = headerPhotonEnergy(s)) return own;
    return axis.typedPhotonEnergy;
}

std::string photonScanRefusal(const tvar& ws) {
    for (int k : shownNumbers(ws)) {
        const ViewerSpectrum& s = ws.spectrum(k);
        if (const Abscissa a = abscissaOf(s); a != Abscissa::KineticEnergy)
            return s.ShortName + " is a " + scanName(a) +
                   " scan: its x values are photon energies, which have no binding-energy axis.";
    }
    return {};
}

std::string bindingAxisRefusal(const tvar& ws, const BindingAxis& axis) {
    if (std::string why = photonScanRefusal(ws); !why.empty()) return why;
    for (int k : shownNumbers(ws)) {
        const ViewerSpectrum& s = ws.spectrum(k);
        if (!photonEnergyOf(s, axis))
            return s.ShortName + " has no photon energy in its header, and none was given for it.";
    }
    return {};
}

bool needsTypedPhotonEnergy(const tvar& ws) {
    for (int k : shownNumbers(ws))
        if (!headerPhotonEnergy(ws.spectrum(k))) return true;
    return false;
}

bool photonEnergiesDiffer(const tvar& ws, const BindingAxis& axis) {
    std::optional<double> first;
    for (int k : shownNumbers(ws)) {
        const std::optional<double> hv = photonEnergyOf(ws.spectrum(k), axis);
        if (!hv) continue;
        if (first && *hv != *first) return true;
        first = hv;
    }
    return false;
}

XAxisView xAxisView(const ViewerSpectrum& s, const BindingAxis* axis) {
    const std::optional<double> hv = axis ? photonEnergyOf(s, *axis) : std::nullopt;
    if (!hv) return {s.XMin, s.XMax, s.XPerPixel};
    return {bindingEnergy(*hv, s.XMin, axis->workFunction), bindingEnergy(*hv, s.XMax, axis->workFunction),
            -s.XPerPixel};
}

double shownX(const ViewerSpectrum& s, double x, const BindingAxis* axis) {
    const std::optional<double> hv = axis ? photonEnergyOf(s, *axis) : std::nullopt;
    return hv ? bindingEnergy(*hv, x, axis->workFunction) : x;
}

double workFunctionSetting(const IniFile& ini, std::vector<std::string>& unusable) {
    const std::optional<std::string> text = ini.value(kViewerSection, kWorkFunctionKey);
    if (!text) return kDefaultWorkFunction;
    const auto v = text::parseDouble(*text).value;
    if (v && std::isfinite(*v) && *v >= 0 && *v <= 20) return *v;
    unusable.push_back(std::string("[") + kViewerSection + "] " + kWorkFunctionKey);
    return kDefaultWorkFunction;
}

} // namespace korvo

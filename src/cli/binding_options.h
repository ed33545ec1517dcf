#pragma once
// --work-function and --photon-energy, as every verb with a binding-energy axis reads them.
#include "common/number_text.h"
#include "files/spectrum_info.h"
#include "viewer/binding_axis.h"

#include <ostream>
#include <string>
#include <string_view>

namespace korvo {

// The two options' texts ("" where not given) on top of `axis`; false with the reason on `err`.
inline bool readBindingOptions(std::string_view verb, const std::string& workFunction,
                               const std::string& photonEnergy, BindingAxis& axis, std::ostream& err) {
    if (!workFunction.empty()) {
        const auto w = text::parseDouble(workFunction).value;
        if (!w || *w < 0 || *w > 20) {
            err << "korvo-cli " << verb << ": --work-function wants a number of eV from 0 to 20, not \""
                << escapeForTerminal(workFunction) << "\"\n";
            return false;
        }
        axis.workFunction = *w;
    }
    if (!photonEnergy.empty()) {
        const auto hv = text::parseDouble(photonEnergy).value;
        if (!hv || !(*hv > 0)) {
            err << "korvo-cli " << verb << ": --photon-energy wants a positive number of eV, not \""
                << escapeForTerminal(photonEnergy) << "\"\n";
            return false;
        }
        axis.typedPhotonEnergy = *hv;
    }
    return true;
}

} // namespace korvo

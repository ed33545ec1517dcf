#pragma once
// Binding energy of a photoelectron: what the photon brought in, less the kinetic energy the analyser
// measured, less the work function of the spectrometer (the analyser's, since sample and analyser
// share the Fermi level). All in eV. The relation is its own inverse: the kinetic energy of a binding
// energy is bindingEnergy(photonEnergy, bindingEnergy, workFunction).

namespace korvo {

inline constexpr double kDefaultWorkFunction = 4.5; // eV

constexpr double bindingEnergy(double photonEnergy, double kineticEnergy, double workFunction) {
    return photonEnergy - kineticEnergy - workFunction;
}

} // namespace korvo

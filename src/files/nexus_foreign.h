#pragma once
// Another program's NeXus entry as a spectrum: its energies and signal, and header lines made from
// what it says about itself (title, sample, start time, photon and pass energy), as a spectrum file of
// the same measurement would carry them.
#include "files/nexus_file.h"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace korvo::nexus {

// What the reader found in a foreign entry.
struct ForeignEntry {
    std::string fileName, entryName; // of the file and the entry, for the spectrum's name
    std::string title, startTime, sample;
    std::optional<double> photonEnergy, passEnergy, workFunction; // eV
    std::string signalName, axisName, axisUnits, axisType;
    std::vector<double> x, y; // as read: x in axisUnits
};

// The factor that takes a value in `units` to eV ("keV" 1000, "meV" 0.001, "J" 1/e); nothing for a
// unit that is no energy.
std::optional<double> energyFactor(std::string_view units);
// An axis named like an energy ("energy", "kinetic_energy", "BE") or in an energy unit.
bool isEnergyAxis(std::string_view name, std::string_view units);

// The spectrum of `f`: x in eV (binding energies turned into kinetic ones when the photon energy is
// known), its header lines, its name "<file>_<entry>".
void foreignSpectrum(ForeignEntry f, NexusSpectrum& s);

} // namespace korvo::nexus

#pragma once
// Where the writer puts the columns of a spectrum file in its NeXus entry and where the reader finds
// them again: one place for both, so that they cannot drift apart.
#include "files/nexus_file.h"
#include "files/spectrum_table.h"

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace korvo::nexus {

// The collection that keeps what NXmpes has no place for, and the attribute that ties an addition
// entry to its spectrum's entry.
inline constexpr const char* kKorvoGroup = "korvo";
inline constexpr const char* kBelongsTo = "korvo_spectrum";

// Photon energies below this are UV photoemission, from it on X-ray photoemission.
inline constexpr double kUpsBelowPhotonEnergy = 100;

// The column roles as the file names them ("energy", "counts", "channel", ...), and back.
const char* roleName(ColumnRole role);
std::optional<ColumnRole> roleNamed(std::string_view name);

struct Layout {
    bool photonAxis = false;                 // the x values are photon energies (data/photon_energy)
    std::optional<std::size_t> signal;       // the column of data/data
    const char* signalUnits = "counts";
    std::vector<std::size_t> channels;       // the nine channeltrons' columns: detector/raw_data/raw
    std::vector<std::size_t> extras;         // the others but x: korvo/extra_columns
};
// The summed counts (or the electrometer reading, or the first plain value) become the signal; the
// channels go to the detector; everything else to the Korvo collection.
Layout layoutOf(const std::vector<ColumnRole>& roles, bool photonAxis);
Layout layoutOf(std::uint8_t machineMode, const std::vector<ColumnRole>& roles);

// Why a spectrum cannot be written (no points, columns of different lengths, a value that is not a
// finite number), or an empty text.
std::string tableProblem(const NexusSpectrum& s);
// Why an addition cannot be written (a name that is no plain name, a shape its values do not fill,
// groups nested too deep), or an empty text.
std::string additionProblem(const NexusGroupData& g);

// Names and nesting an addition may have.
inline constexpr int kMaxAdditionDepth = 8;
bool isPlainName(std::string_view name);

} // namespace korvo::nexus

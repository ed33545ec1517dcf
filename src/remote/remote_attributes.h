#pragma once
// The device's attributes over the station: the parameter fields the window edits, read and
// written as numbers and texts (a write puts the text into the field as typing would; the start
// checks judge it), and what the run and its data block say.
#include "acquisition/station.h"
#include "remote/remote_host.h"
#include "remote/remote_types.h"

#include <cstdint>
#include <string_view>
#include <vector>

namespace korvo {

const std::vector<RemoteAttribute>& remoteAttributes();

// The value of attribute `name`; a refusal when the field behind it does not hold a number or the
// name is unknown.
RemoteAnswer readStationAttribute(const Station& station, std::string_view name);

// Puts `value` into the field behind attribute `name` (the caller refuses writes while a run goes
// on) and tells the host's window. A value of the wrong type or outside what the field can take is
// refused and nothing changes.
RemoteAnswer writeStationAttribute(Station& station, std::string_view name, const RemoteValue& value,
                                   const RemoteHost& host);

// "OFF", "CLAM", "CFS", "CIS", "KEITHLEY".
std::string remoteModeName(std::uint8_t machineMode);

// While a run goes on: the scan being measured; afterwards the scans it completed.
std::int32_t remoteScanNumber(const Station& station);
// The run's progress, 0 to 100 %: scans and analyser steps done of all it is to measure.
double remoteProgress(const Station& station);
// The energies and the summed counts of the scan window (the points a file would hold).
std::vector<double> remoteEnergies(const Station& station);
std::vector<double> remoteCounts(const Station& station);

} // namespace korvo

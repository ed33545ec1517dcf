#pragma once
// The device's properties: what the server opens and reads at its start. A Tango database or a
// property file (-file=) gives them; without either every one keeps its default.
#include "acquisition/station_start.h"

#include <cstdint>
#include <string>

namespace korvo {

struct TangoProperties {
    std::string card = "port"; // analyser back end: port (the real card), sim or test
    std::uint64_t seed = 1;    // noise seed of the simulated card
    std::string simModel;      // two-column spectrum the simulated card sees
    std::string iniFile;       // settings file read at the start (never written)
    std::string mode = "CLAM"; // machine mode at the start
    bool virtualTime = false;  // a virtual clock: a run completes at once (tests, benches)
    InstrumentPorts ports;     // monochromator, drive, electrometers, ring current
};

} // namespace korvo

#pragma once
// What a front end without windows does to make its station ready, as the desktop program's start
// and its options window would do it: the settings file read for one machine mode, and the
// instruments on serial devices connected and opened. korvo-cli's measuring verbs and the Tango
// server share it.
#include "acquisition/beamline.h"
#include "acquisition/station.h"

#include <optional>
#include <string>

namespace korvo {

// The general keys as at program start and the parameters from the section of the station's mode
// (set MachineMode first). The file is never written. Empty when it was read, else why not.
std::string readStationSettings(const std::string& path, Station& station);

// Instruments on serial devices (a real port or a korvo-sim pseudo-terminal), and the ring current.
struct InstrumentPorts {
    std::string mono, drive, keithley1, keithley2;
    std::string ringUrl;
    int ringEvery = 30;              // seconds between ring-current readings
    std::optional<int> timeout;      // seconds every exchange may wait (the pages' time-outs)
    std::optional<double> monoSpeed; // nm/s the monochromator drives at its slowest (bounds a move)
    bool any() const {
        return !mono.empty() || !drive.empty() || !keithley1.empty() || !keithley2.empty() || !ringUrl.empty();
    }
};

// Connects the instruments named, as the options window's "Connect COM" (and the monochromator's
// and drive's "Open_con") would. Empty when all of them answered, else why not.
std::string connectInstruments(const InstrumentPorts& ports, Beamline& b, Station& station);

// Leaves a connected monochromator ready for the next program, as "Close_con" would.
void closeInstruments(Beamline& b, Station& station);

// Lets go of every link connectInstruments made and stops reading the ring current, so that they
// can be connected again, on the same devices or others.
void disconnectInstruments(Beamline& b, Station& station);

} // namespace korvo

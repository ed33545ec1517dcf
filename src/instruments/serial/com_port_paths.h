#pragma once
// The device paths behind the port names COM1..COM4, kept in the settings file so that a beamline
// can say which adapter each instrument hangs on. Defaults /dev/ttyS0 .. /dev/ttyS3.
#include "instruments/serial/line_settings.h"

#include <array>
#include <string>

namespace korvo {

class IniFile;

struct ComPortPaths {
    std::array<std::string, 4> paths{"/dev/ttyS0", "/dev/ttyS1", "/dev/ttyS2", "/dev/ttyS3"};
    const std::string& of(TComPortNumber port) const { return paths[std::size_t(port) & 3]; }
    // Reads [ports] COM1 .. COM4; a missing or empty key keeps the default.
    void load(const IniFile& ini);
};

// "COM1" .. "COM4" for a port number.
std::string comPortName(TComPortNumber port);

} // namespace korvo

#pragma once
// What only the front end that serves the station knows. The desktop program passes its main
// window's handlers, so that a remote write shows in the window's controls and a remote Start is a
// press of the window's Start button; a server without windows leaves them empty, and the station
// is then driven directly.
#include <cstdint>
#include <functional>
#include <string>

namespace korvo {

struct RemoteHost {
    // The main window's mode switch (it reads the mode's settings into the fields). Without it the
    // station's mode is set alone.
    std::function<void(std::uint8_t mode)> switchMode;
    // The fields changed: show them in the controls.
    std::function<void()> showFields;
    // The pass-energy change handler (extra points, channel list); without it the start checks
    // derive what the run needs.
    std::function<void()> passEnergyChanged;
    // The Start button while no run goes on; it returns when the run has ended. Without it the
    // station's run engine is started directly.
    std::function<void()> pressStart;
    // A message the program would have shown in a box while a remote client drove it (the server
    // prints it; it is part of the answer or the status as well).
    std::function<void(const std::string& text)> messageShown;
};

} // namespace korvo

#pragma once
// The "Monochr." page of the options window as plain data: the boxes as typed, the terminal boxes and
// what the page shows and enables. The link reads and writes it; the window shows it and calls
// `changed`'s owner back on button presses. Names are those the page has always used.
#include "instruments/terminal_memo.h"

#include <functional>
#include <string>

namespace korvo {

// The page's buttons whose enabled state the link decides. The seven exchange buttons are enabled
// while the port is connected and disabled while a reply is awaited, so that nobody starts a second
// exchange; the stop button stays usable throughout.
struct MonochromatorButtons {
    bool connect = true; // "Connect COM"
    bool disconnect = false;
    bool open = false;         // "Open_con"
    bool close = false;        // "Close_con"
    bool getPosition = false;  // "Get Position"
    bool goWavelength = false; // "Go Wavelength"
    bool goEnergy = false;     // "Go Energy"
    bool getStatus = false;    // "Get Status"
    bool stop = false;         // "Stop Monocromator"
};

struct MonochromatorPage {
    // ---- inputs, as typed
    std::string wellenlaenge1 = "1.0"; // wavelength in nm
    std::string energy1 = "1.0";       // photon energy in eV
    std::string Edit1 = "10";          // "Zero Order :", the energy used for a photon energy of 0
    std::string timeout_max_1 = "30";  // seconds to wait for the reply to "OPN"
    std::string timeout_norm_1 = "3";  // seconds to wait for every other reply
    // How fast the monochromator drives, in nm of wavelength a second, at its slowest: a move may
    // take twice as long as its distance needs at this speed, plus two reply time-outs to settle.
    std::string moveSpeed = "0.1";
    bool simulation_on_1 = false;      // "Simulation on  (Only for tests ! Do not use !)"
    bool enableTests = false;          // "Enable all tests !  (Only for tests ! Do not use !)"

    // ---- terminal boxes
    TerminalMemo output_1;  // commands typed by hand
    TerminalMemo input_1;   // lines received; the last one is the line still arriving
    TerminalMemo Sim_out_1; // what the built-in simulator was asked and answered

    // ---- outputs
    bool motionPanelVisible = false; // wavelength, energy, go and stop; shown after a successful open
    // What went wrong in the last operation (empty when it went well), for the page's status bar: a
    // connected port alone does not say that the monochromator answers.
    std::string fault;
    MonochromatorButtons buttons;

    // The communication group (time-outs, terminal, simulator) is shown with the test switch.
    bool testGroupVisible() const { return enableTests; }

    // Set by the options window; called whenever anything above was changed by the link.
    std::function<void()> changed;
};

} // namespace korvo

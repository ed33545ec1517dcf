#pragma once
#include <CLI/CLI.hpp>

namespace korvo {

// `korvo-cli measure [options]`: one measurement with the parameters of the main window, on the
// simulated card, the test mode or the real card; the spectrum is saved as the program saves it.
// Messages go to stderr; exit status 2 when the run is refused or the spectrum cannot be saved.
void addMeasureCommand(CLI::App& app, int& exitStatus);

} // namespace korvo

#pragma once
#include <CLI/CLI.hpp>

namespace korvo {

// `korvo-cli project --out FILE.k98 FILE...`: loads the files as `info` does and saves the loaded
// spectra as a project, under the name the viewer's project save gives the chosen one.
void addProjectCommand(CLI::App& app, int& exitStatus);

} // namespace korvo

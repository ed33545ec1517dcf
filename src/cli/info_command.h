#pragma once
#include <CLI/CLI.hpp>

namespace korvo {

// `korvo-cli info [--json] [--overview OUT] FILE...`: loads the files as one load into a fresh
// workspace, as the viewer does (a ".k98" file through the project load), and prints the workspace:
// counts, order and every spectrum with its fields and points, as text or as one JSON object.
// Messages go to stderr; a load that fails or output that cannot be written exits with status 2.
void addInfoCommand(CLI::App& app, int& exitStatus);

} // namespace korvo

#pragma once
#include <CLI/CLI.hpp>

namespace korvo {

// `korvo-cli info [--json] FILE...`: the header fields and points of spectrum files as the viewer
// reads them. Exit status 2 when a file cannot be read.
void addInfoCommand(CLI::App& app, int& exitStatus);

} // namespace korvo

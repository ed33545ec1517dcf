#pragma once
#include <CLI/CLI.hpp>

namespace korvo {

// `korvo-cli info [--json] FILE...`: the header fields and points of spectrum files as the viewer
// reads them, file after file. Exit status 2 when a file cannot be read (also a directory, FIFO or
// device, refused at once) or the output cannot be written.
void addInfoCommand(CLI::App& app, int& exitStatus);

} // namespace korvo

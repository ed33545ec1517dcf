#pragma once
#include <CLI/CLI.hpp>

namespace korvo {

// `korvo-cli convert --multi FILE... [--out-dir DIR] [--meas-time MS] [--scan-counter N]`: each
// multichanneltron spectrum file becomes a ".k98" project, as the load dialog's
// "Single Multi -> project" makes it.
// `korvo-cli convert --scienta FILE... --out-dir DIR`: each slice of each Scienta file becomes the
// spectrum file the "Load Scienta" import makes of it (NAME_0001.dat, ...).
// All or nothing: a file that cannot be converted ends the command with exit status 2, its reason on
// stderr and no output written. The written files are listed on stdout.
void addConvertCommand(CLI::App& app, int& exitStatus);

} // namespace korvo

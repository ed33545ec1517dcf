#pragma once
#include <CLI/CLI.hpp>

namespace korvo {

// `korvo-cli correlate [--channels 123456789] [--derivative] FILE`: the channeltron correlation of the
// "Korrelation" window. Prints the pass energy, Delta, the linear model, the correlation error and
// the offsets relative to channeltron 5, and writes "test.dat", "ausgabe.dat" and "line.dat" into
// the current directory. A refused file or channel choice writes nothing and exits with status 2.
void addCorrelateCommand(CLI::App& app, int& exitStatus);

} // namespace korvo

#pragma once
#include <CLI/CLI.hpp>

namespace korvo {

// `korvo-cli ring-current [--url URL] [--start MARKER] [--end MARKER]`: reads the storage ring's
// current once from its status page, as "Read Single Value" does, and prints it ("250.3 mA").
// Exit status 2, with the reason on stderr, when the page gives no value.
void addRingCurrentCommand(CLI::App& app, int& exitStatus);

} // namespace korvo

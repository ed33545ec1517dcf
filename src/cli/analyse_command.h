#pragma once
#include <CLI/CLI.hpp>

namespace korvo {

// `korvo-cli analyse [--sel START:END] --op OP [--op OP ...] [--json] [--out-dir DIR] FILE...`: loads
// the files as `info` does, applies the operations in order as the viewer's commands do, and prints
// the workspace as `info` does, or writes each shown spectrum into DIR as a two-column file. A refused
// operation prints its message to stderr, leaves the data as they were, and the verb goes on with the
// remaining operations and then exits with status 2.
void addAnalyseCommand(CLI::App& app, int& exitStatus);

} // namespace korvo

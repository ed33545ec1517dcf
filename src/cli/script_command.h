#pragma once
#include <CLI/CLI.hpp>

namespace korvo {

// `korvo-cli script FILE [station options]`: runs a script table file headless with the engine the
// script window uses: each used line applied and measured, its spectrum saved under the proposed
// name in SaveDir (the working directory unless the settings file says otherwise), one summary line
// per script line on stdout, messages on stderr and in the summary. Exit status 2 when a line was
// not measured and saved, the script was stopped, or the file is refused.
void addScriptCommand(CLI::App& app, int& exitStatus);

} // namespace korvo

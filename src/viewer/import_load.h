#pragma once
// The foreign formats as korvo-cli loads them after its spectrum files and projects: each Scienta
// file as the load dialog's "Load Scienta" followed by the load procedure, then each Origin file as
// "&ORIGIN Dat-file", so that a command-line run gives the spectra a viewer window would get.
#include "viewer/load.h"
#include "viewer/workspace.h"

#include <string>
#include <vector>

namespace korvo {

// Each step is all or nothing; the first that fails ends the rest and its outcome is returned (an
// earlier step stays in the workspace, which korvo-cli then throws away). Unlike the dialog, a Scienta
// file that would be skipped with a message fails the load here: a command-line run must not show a
// partial workspace as if it were complete. The temporary files are gone whatever the outcome.
// With nothing to import the outcome is Loaded with no spectra added.
LoadOutcome loadImports(tvar& ws, const std::vector<std::string>& scienta, const std::vector<std::string>& origin,
                        const LoadOptions& options = {});

} // namespace korvo

#pragma once
// The load that `korvo-cli info` and `korvo-cli project` share: the files as one load into a fresh
// workspace, exactly as the viewer loads them, with a progress line on stderr when stderr is a
// terminal and Ctrl+C cancelling the load.
#include "viewer/workspace.h"

#include <CLI/CLI.hpp>

#include <memory>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

namespace korvo {

struct CliLoadOptions {
    std::vector<std::string> files;   // spectrum files and ".k98" projects, in load order
    std::vector<std::string> origin;  // --origin FILE
    std::vector<std::string> scienta; // --scienta FILE
    std::vector<std::string> vamas;   // --vamas FILE
    std::optional<std::string> overview;
};

// Adds the files and the options above to a verb. A verb whose own --origin and --vamas mean
// something else (export's output forms) takes them as --origin-file and --vamas-file.
enum class ImportFlags { Plain, FileSuffix };
void addLoadOptions(CLI::App& verb, CliLoadOptions& options, ImportFlags flags = ImportFlags::Plain);

// The loaded workspace, or nullptr after the reason went to `err`.
std::unique_ptr<tvar> loadForCli(const CliLoadOptions& options, std::ostream& err);

} // namespace korvo

#pragma once
// The load that the verbs reading spectra share (info, project, analyse, export, plot): the files as one load into a fresh
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
    std::vector<std::string> files;   // spectrum files, ".k98" projects and NeXus files, in load order
    std::vector<std::string> origin;  // --origin FILE
    std::vector<std::string> scienta; // --scienta FILE
    std::vector<std::string> vamas;   // --vamas FILE
    std::optional<std::string> overview;

    // Every file the load reads, in load order.
    std::vector<std::string> inputPaths() const;
};

// Adds the files and the options above to a verb. A verb whose own --origin and --vamas mean
// something else (export's output forms) takes them as --origin-file and --vamas-file.
enum class ImportFlags { Plain, FileSuffix };
void addLoadOptions(CLI::App& verb, CliLoadOptions& options, ImportFlags flags = ImportFlags::Plain);

// The loaded workspace, or nullptr after the reason went to `err`. What a load that went through has
// to say (the project load's "N spectra opened !", the Origin import's ranges) goes to `err` too. The
// load is refused before anything is read when a path is empty, when the files are too large for one
// load together, and when the overview file is one of them.
std::unique_ptr<tvar> loadForCli(const CliLoadOptions& options, std::ostream& err);

} // namespace korvo

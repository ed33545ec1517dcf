#include "cli/project_command.h"

#include "cli/output_guard.h"
#include "cli/workspace_load.h"
#include "files/spectrum_info.h"
#include "viewer/workspace_project.h"

#include <iostream>
#include <memory>

namespace korvo {

void addProjectCommand(CLI::App& app, int& exitStatus) {
    struct Options {
        std::string out;
        CliLoadOptions load;
    };
    auto options = std::make_shared<Options>();
    CLI::App* project = app.add_subcommand("project", "Load files as the viewer does and save them as a .k98 project");
    project->add_option("--out", options->out, "The project file; its extension becomes .k98")->required();
    addLoadOptions(*project, options->load);
    project->callback([options, &exitStatus] {
        if (options->out.empty()) {
            std::cerr << "An empty text names no file. Nothing was written.\n";
            exitStatus = 2;
            return;
        }
        const CommandInputs inputs(options->load.inputPaths());
        const std::unique_ptr<tvar> ws = loadForCli(options->load, std::cerr);
        if (!ws) {
            exitStatus = 2;
            return;
        }
        const std::string path = projectSavePath(options->out);
        std::string error = inputs.refusal(path);
        if (!error.empty()) {
            std::cerr << escapeForTerminal(error) << "; nothing was written\n";
            exitStatus = 2;
            return;
        }
        if (!saveProjectFile(*ws, path, &error)) {
            std::cerr << escapeForTerminal(error) << "\n";
            exitStatus = 2;
            return;
        }
        std::cerr << ws->ShownCount << " spectra saved in " << escapeForTerminal(path) << "\n";
    });
}

} // namespace korvo

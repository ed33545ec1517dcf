#include "cli/info_command.h"

#include "cli/workspace_load.h"
#include "viewer/workspace_output.h"

#include <iostream>
#include <memory>

namespace korvo {

void addInfoCommand(CLI::App& app, int& exitStatus) {
    struct Options {
        bool json = false;
        CliLoadOptions load;
    };
    auto options = std::make_shared<Options>();
    CLI::App* info = app.add_subcommand("info", "Load files into a workspace as the viewer does and show it");
    info->add_flag("--json", options->json, "Write one JSON object instead of text");
    addLoadOptions(*info, options->load);
    info->callback([options, &exitStatus] {
        const std::unique_ptr<tvar> ws = loadForCli(options->load, std::cerr);
        if (!ws) {
            exitStatus = 2;
            return;
        }
        const bool written = options->json ? writeWorkspaceJson(std::cout, *ws) : writeWorkspaceText(std::cout, *ws);
        if (!written) {
            std::cerr << "Cannot write the output; it is incomplete.\n";
            exitStatus = 2;
        }
    });
}

} // namespace korvo

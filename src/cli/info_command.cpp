#include "cli/info_command.h"

#include "files/spectrum_info.h"

#include <iostream>
#include <memory>

namespace korvo {

void addInfoCommand(CLI::App& app, int& exitStatus) {
    struct Options {
        bool json = false;
        std::vector<std::string> files;
    };
    auto options = std::make_shared<Options>();
    CLI::App* info = app.add_subcommand("info", "Show the header fields and points of spectrum files");
    info->add_flag("--json", options->json, "Write one JSON array instead of text blocks");
    info->add_option("files", options->files, "Spectrum files")->required();
    info->callback([options, &exitStatus] {
        exitStatus = runSpectrumInfo(options->files, options->json, std::cout, std::cerr);
    });
}

} // namespace korvo

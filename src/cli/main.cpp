// korvo-cli: the acquisition and file engine of Korvo without windows, for headless and batch work.
#include "cli/convert_command.h"
#include "cli/correlate_command.h"
#include "cli/export_command.h"
#include "cli/fit_command.h"
#include "cli/analyse_command.h"
#include "cli/info_command.h"
#include "cli/mail_command.h"
#include "cli/measure_command.h"
#include "cli/script_command.h"
#include "cli/plot_command.h"
#include "cli/print_command.h"
#include "cli/project_command.h"
#include "cli/ring_current_command.h"
#include "common/heap_pages.h"
#include "files/spectrum_info.h"

#include <CLI/CLI.hpp>

#include <iostream>

int main(int argc, char** argv) {
    if (korvo::bytesOfNamedFiles(argc, argv) >= (std::uint64_t(16) << 20)) korvo::restartWithHugePageHeap(argv);
    CLI::App app{"korvo-cli: Korvo's measurement and spectrum-file engine for headless and batch work"};
    app.set_version_flag("--version", std::string("korvo-cli ") + KORVO_VERSION);
    app.require_subcommand(0, 1);
    // Each verb sets the exit status from its callback.
    int exitStatus = 0;
    korvo::addInfoCommand(app, exitStatus);
    korvo::addAnalyseCommand(app, exitStatus);
    korvo::addProjectCommand(app, exitStatus);
    korvo::addConvertCommand(app, exitStatus);
    korvo::addMeasureCommand(app, exitStatus);
    korvo::addScriptCommand(app, exitStatus);
    korvo::addRingCurrentCommand(app, exitStatus);
    korvo::addMailCommand(app, exitStatus);
    korvo::addPlotCommand(app, exitStatus);
    korvo::addPrintCommand(app, exitStatus);
    korvo::addCorrelateCommand(app, exitStatus);
    korvo::addExportCommand(app, exitStatus);
    korvo::addFitCommand(app, exitStatus);
    // The first word that is no option names the verb. CLI11 would take an unknown one for an extra
    // argument and still answer --help after it with the general help and status 0.
    for (int i = 1; i < argc; ++i) {
        const std::string word = argv[i];
        if (word.empty() || word[0] != '-') {
            try {
                app.get_subcommand(word);
            } catch (const CLI::OptionNotFound&) {
                std::cerr << "korvo-cli: \"" << korvo::escapeForTerminal(word)
                          << "\" is no command; korvo-cli --help lists them.\n";
                return 2;
            }
            break;
        }
    }
    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        // --help and --version end here too, with 0; every refused command line exits 2.
        return app.exit(e) == 0 ? 0 : 2;
    }
    if (app.get_subcommands().empty()) {
        std::cout << app.help();
    }
    return exitStatus;
}

#include "cli/correlate_command.h"

#include "cli/output_guard.h"
#include "files/spectrum_info.h"
#include "tools/correlation.h"

#include <filesystem>
#include <iostream>
#include <memory>

namespace korvo {
namespace {

struct CorrelateOptions {
    std::string channels = "123456789";
    bool derivative = false;
    std::string file;
};

// The digits 1 to 9 of the ticked channeltrons, each at most once.
bool parseChannels(const std::string& text, CorrelationOptions& options, std::string& error) {
    options.ticked.fill(false);
    for (char c : text) {
        if (c < '1' || c > '9') {
            error =
                "--channels takes the digits 1 to 9 of the channeltrons to correlate, not \"" + text + "\".";
            return false;
        }
        bool& ticked = options.ticked[static_cast<std::size_t>(c - '1')];
        if (ticked) {
            error = "--channels names channeltron " + std::string(1, c) + " twice.";
            return false;
        }
        ticked = true;
    }
    return true;
}

int correlate(const CorrelateOptions& o) {
    CorrelationOptions options;
    options.derivative = o.derivative;
    std::string error;
    if (!parseChannels(o.channels, options, error)) {
        std::cerr << error << "\n";
        return 2;
    }
    const std::filesystem::path here = std::filesystem::current_path();
    const CommandInputs inputs({o.file});
    for (const char* name : kCorrelationFiles)
        if (const std::string why = inputs.refusal((here / name).string()); !why.empty()) {
            std::cerr << escapeForTerminal(why) << "\nNothing was written.\n";
            return 2;
        }
    const ChanneltronSpectrumRead read = readChanneltronSpectrumFile(o.file);
    if (!read) {
        std::cerr << escapeForTerminal(read.error) << "\nNothing was written.\n";
        return 2;
    }
    const CorrelationResult result = correlateChanneltrons(read.spectrum, options);
    if (!result) {
        std::cerr << escapeForTerminal(result.error) << "\nNothing was written.\n";
        return 2;
    }
    if (!writeCorrelationFiles(result, here.string(), error)) {
        std::cerr << escapeForTerminal(error) << "\n";
        return 2;
    }
    for (const std::string& line : result.summary) std::cout << line << "\n";
    for (const std::string& line : result.offsetLines) std::cout << line << "\n";
    std::cout.flush();
    return std::cout ? 0 : 2;
}

} // namespace

void addCorrelateCommand(CLI::App& app, int& exitStatus) {
    auto o = std::make_shared<CorrelateOptions>();
    CLI::App* cmd = app.add_subcommand(
        "correlate", "Correlate the channeltrons of a multichanneltron spectrum file: Delta and the offsets");
    cmd->add_option("--channels", o->channels,
                    "The channeltrons that take part, as digits (default 123456789)");
    cmd->add_flag("--derivative", o->derivative,
                  "Correlate the first differences of the counts (\"Ableiten\")");
    cmd->add_option("file", o->file, "The multichanneltron spectrum file (saved with its raw data)")
        ->required();
    cmd->callback([o, &exitStatus] { exitStatus = correlate(*o); });
}

} // namespace korvo

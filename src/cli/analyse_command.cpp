#include "cli/analyse_command.h"

#include "cli/number_options.h"
#include "cli/staged_outputs.h"
#include "cli/workspace_load.h"
#include "files/spectrum_info.h"
#include "viewer/analysis/operations.h"
#include "viewer/workspace_output.h"

#include <filesystem>
#include <iostream>
#include <memory>
#include <nlohmann/json.hpp>

namespace korvo {
namespace {

struct AnalyseOptions {
    std::optional<std::string> sel;
    std::vector<int> select;
    std::vector<std::string> ops;
    bool json = false;
    std::optional<std::string> outDir;
    CliLoadOptions load;
};

// "START:END" as two integers.
bool parseStretch(const std::string& text, int& start, int& end) {
    const std::size_t colon = text.find(':');
    if (colon == std::string::npos) return false;
    try {
        std::size_t used = 0;
        const std::string a = text.substr(0, colon), b = text.substr(colon + 1);
        start = std::stoi(a, &used);
        if (used != a.size()) return false;
        end = std::stoi(b, &used);
        return used == b.size();
    } catch (const std::exception&) {
        return false;
    }
}

// Each shown spectrum as "x y" lines, named by its ShortName (made a plain file name) in DIR; all or
// nothing, and never over one of the files the command read.
bool writeColumns(const tvar& ws, const std::string& dir, const CommandInputs& inputs) {
    StagedOutputs outputs(inputs);
    std::string error;
    for (int i = 1; i <= ws.ShownCount; ++i) {
        const int k = ws.atPosition(i);
        std::string text;
        for (const SpectrumPoint& p : ws.points(k)) {
            appendShortest(text, p.x, false);
            text += ' ';
            appendShortest(text, p.y, false);
            text += "\r\n";
        }
        const std::string target =
            (std::filesystem::path(dir) / outputNameFor(ws.spectrum(k).ShortName, std::cerr)).string();
        if (!outputs.add(target, text, error)) break;
    }
    if (error.empty() && outputs.commit(error)) return true;
    std::cerr << escapeForTerminal(error) << "\nNothing was written.\n";
    return false;
}

std::string operationHelp() {
    std::string help = "Operation, in the order given: ";
    const std::vector<std::string> names = analysis::operationNames();
    for (std::size_t i = 0; i < names.size(); ++i) help += (i ? ", " : "") + names[i];
    return help;
}

} // namespace

void addAnalyseCommand(CLI::App& app, int& exitStatus) {
    auto o = std::make_shared<AnalyseOptions>();
    CLI::App* verb = app.add_subcommand("analyse", "Load files as the viewer does, apply analysis commands, show or write the result");
    verb->add_option("--sel", o->sel, "Selected stretch SelStartPoint:SelEndPoint (point numbers)");
    verb->add_option("--select", o->select, "Display positions a satellite removal treats (default: all shown)")
        ->delimiter(',')
        ->allow_extra_args(false)
        ->transform(decimalInteger())
        ->check(CLI::PositiveNumber);
    verb->add_option("--op", o->ops, operationHelp())->required()->allow_extra_args(false);
    verb->add_flag("--json", o->json, "Write one JSON object as info --json does");
    verb->add_option("--out-dir", o->outDir, "Write each shown spectrum into this directory as a two-column file")
        ->check(CLI::ExistingDirectory);
    addLoadOptions(*verb, o->load);
    verb->callback([o, &exitStatus] {
        std::vector<analysis::Operation> ops;
        for (const std::string& text : o->ops) {
            std::string error;
            const auto op = analysis::parseOperation(text, error);
            if (!op) {
                std::cerr << escapeForTerminal(error) << "\n";
                exitStatus = 2;
                return;
            }
            ops.push_back(*op);
            ops.back().positions = o->select;
        }
        int selStart = 0, selEnd = 0;
        if (o->sel && !parseStretch(*o->sel, selStart, selEnd)) {
            std::cerr << "--sel takes START:END, two point numbers, not \"" << escapeForTerminal(*o->sel) << "\".\n";
            exitStatus = 2;
            return;
        }
        const CommandInputs inputs(o->load.inputPaths());
        const std::unique_ptr<tvar> ws = loadForCli(o->load, std::cerr);
        if (!ws) {
            exitStatus = 2;
            return;
        }
        if (o->sel) {
            ws->SelStartPoint = selStart;
            ws->SelEndPoint = selEnd;
        }
        // The store file lies in the working directory, as for the window.
        const std::string store = analysis::kStoreFileName;
        nlohmann::json integrations = nlohmann::json::array();
        for (const analysis::Operation& op : ops) {
            const analysis::OperationResult r = analysis::runOperation(*ws, op, store);
            if (!r.outcome.ok()) {
                std::cerr << escapeForTerminal(r.outcome.message) << "\n";
                exitStatus = 2;
            }
            if (r.integration && r.integration->ok()) {
                const analysis::Integration& in = *r.integration;
                if (o->json)
                    integrations.push_back({{"memo", in.memo}, {"Area", in.area}});
                else
                    std::cout << in.memo[0] << "\n" << in.memo[1] << "\n" << in.memo[2] << "\n" << in.memo[3]
                              << "\nArea : " << in.areaText << "\n";
            }
        }
        bool written = true;
        if (o->outDir)
            written = writeColumns(*ws, *o->outDir, inputs);
        else if (o->json)
            written = writeWorkspaceJson(std::cout, *ws,
                                         integrations.empty() ? std::string() : "\"Integrations\": " + integrations.dump());
        else
            written = writeWorkspaceText(std::cout, *ws);
        if (!written) {
            if (!o->outDir) std::cerr << "Cannot write the output; it is incomplete.\n";
            exitStatus = 2;
        }
    });
}

} // namespace korvo

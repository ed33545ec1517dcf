#include "cli/export_command.h"

#include "cli/gui_application.h"
#include "cli/output_guard.h"
#include "cli/workspace_load.h"
#include "common/file_util.h"
#include "files/spectrum_info.h"
#include "viewer/eps_export.h"
#include "viewer/exports.h"
#include "viewer/vamas_export.h"
#include "viewer/view_scale.h"

#include <filesystem>
#include <iostream>
#include <memory>
#include <optional>
#include <string>

namespace korvo {

namespace {

enum class ExportForm { Origin, Raw, Surfer, Eps, Vamas };

struct ExportRequest {
    bool origin = false, raw = false, surfer = false, eps = false, vamas = false;
    bool all = false;
    std::string size;
    std::string out;
    CliLoadOptions load;

    std::optional<ExportForm> form() const {
        if (int(origin) + int(raw) + int(surfer) + int(eps) + int(vamas) != 1) return std::nullopt;
        return origin ? ExportForm::Origin
               : raw  ? ExportForm::Raw
               : surfer ? ExportForm::Surfer
               : eps    ? ExportForm::Eps
                        : ExportForm::Vamas;
    }
};

constexpr const char* kVerb = "korvo-cli export: ";

// Why `paths` must not be written (one is an input of the command), after telling `err`.
bool refusedOutputs(const std::vector<std::string>& paths, const CommandInputs& inputs, std::ostream& err) {
    for (const std::string& path : paths)
        if (const std::string why = inputs.refusal(path); !why.empty()) {
            err << kVerb << escapeForTerminal(why) << "; nothing was written\n";
            return true;
        }
    return false;
}

bool writeOut(const std::string& path, const std::string& bytes, std::ostream& err) {
    std::string error;
    if (!writeFileAtomic(path, bytes, &error, LinkPolicy::FollowOwn)) {
        err << kVerb << path << ": " << error << '\n';
        return false;
    }
    std::cout << path << '\n';
    return true;
}

int writeEps(tvar& ws, const std::string& directory, const CommandInputs& inputs, std::ostream& err) {
    std::error_code ec;
    if (!std::filesystem::is_directory(directory, ec)) {
        err << kVerb << directory << ": --eps writes into a directory, and this is none\n";
        return 2;
    }
    const auto app = guiApplication();
    const EpsExport result = epsExport(ws);
    const std::filesystem::path dir(directory);
    std::vector<std::string> targets{(dir / "test.bmp").string(), (dir / "fit.tex").string()};
    for (const ExportFile& f : result.pictures) targets.push_back((dir / f.name).string());
    if (refusedOutputs(targets, inputs, err)) return 2;
    // The pictures first and "fit.tex" last: a failed export never leaves a document that names
    // pictures which are not there. What was written stays.
    for (const ExportFile& f : result.pictures)
        if (!writeOut((dir / f.name).string(), f.bytes, err)) return 2;
    if (!result.lastBmp.empty() && !writeOut((dir / "test.bmp").string(), result.lastBmp, err)) return 2;
    return writeOut((dir / "fit.tex").string(), result.fitTex, err) ? 0 : 2;
}

int runExport(const ExportRequest& request, std::ostream& err) {
    const std::optional<ExportForm> form = request.form();
    if (!form) {
        err << kVerb << "give exactly one of --origin, --raw, --surfer, --eps, --vamas\n";
        return 2;
    }
    int width = kEpsWidth, height = kEpsHeight;
    if (!request.size.empty()) {
        const auto wh = parseSize(request.size);
        if (!wh || wh->first < 120 || wh->second < 120 || wh->first > 10000 || wh->second > 10000) {
            err << kVerb << "--size wants WIDTHxHEIGHT between 120 and 10000 pixels, e.g. 512x320\n";
            return 2;
        }
        std::tie(width, height) = *wh;
    }
    const CommandInputs inputs(request.load.inputPaths());
    const std::unique_ptr<tvar> ws = loadForCli(request.load, err);
    if (!ws) return 2;
    if (ws->ShownCount < 1) {
        err << kVerb << "no spectrum was loaded\n";
        return 2;
    }
    ws->PlotWidth = width;
    ws->PlotHeight = height;
    // The values as displayed follow the scale of a plot area of this size.
    ViewMessages unscaled;
    updateScalesForPaint(*ws, unscaled);

    if (*form != ExportForm::Eps && refusedOutputs({request.out}, inputs, err)) return 2;
    // Every loaded spectrum, as the viewer after a load has "AllSpectra" chosen.
    constexpr bool allSpectra = true;
    switch (*form) {
    case ExportForm::Origin:
    case ExportForm::Raw: {
        std::string refusal;
        const std::string text = columnFileText(
            *ws, allSpectra, *form == ExportForm::Origin ? ColumnValues::Displayed : ColumnValues::Stored,
            &refusal);
        if (text.empty()) {
            err << kVerb << refusal << '\n';
            return 2;
        }
        return writeOut(request.out, text, err) ? 0 : 2;
    }
    case ExportForm::Surfer: {
        std::string message;
        const std::optional<std::string> text = surferGridText(*ws, &message);
        if (!text) {
            err << kVerb << message << '\n';
            return 2;
        }
        return writeOut(request.out, *text, err) ? 0 : 2;
    }
    case ExportForm::Eps:
        return writeEps(*ws, request.out, inputs, err);
    case ExportForm::Vamas: {
        std::string refusal;
        const std::string text = vamasText(*ws, allSpectra, &refusal);
        if (text.empty()) {
            err << kVerb << refusal << '\n';
            return 2;
        }
        return writeOut(request.out, text, err) ? 0 : 2;
    }
    }
    return 2;
}

} // namespace

void addExportCommand(CLI::App& app, int& exitStatus) {
    auto request = std::make_shared<ExportRequest>();
    CLI::App* verb = app.add_subcommand("export", "Write spectrum files in one of the viewer's export forms");
    verb->add_flag("--origin", request->origin, "Column file for Origin, values as displayed (\"as dat-file for ORIGIN\")");
    verb->add_flag("--raw", request->raw, "Column file with the values as stored (\"Save RAW\")");
    verb->add_flag("--surfer", request->surfer, "Grid file for a surface plotter (\"Export Surfer\")");
    verb->add_flag("--eps", request->eps, "One EPS picture per spectrum, test.bmp and fit.tex, into the directory --out");
    verb->add_flag("--vamas", request->vamas, "One VAMAS (ISO 14976) file, a block per spectrum (\"Save VAMAS\")");
    verb->add_flag("--all", request->all,
                   "Column and VAMAS files: every loaded spectrum (the viewer's \"AllSpectra\"), which is also the "
                   "default; kept for older command lines");
    verb->add_option("--size", request->size,
                     "Plot area WxH in pixels whose scale the values as displayed follow (default 512x320)");
    verb->add_option("--out", request->out, "Output file, or the output directory for --eps")->required();
    addLoadOptions(*verb, request->load, ImportFlags::FileSuffix);
    verb->callback([request, &exitStatus] { exitStatus = runExport(*request, std::cerr); });
}

} // namespace korvo

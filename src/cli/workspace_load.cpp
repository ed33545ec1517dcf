#include "cli/workspace_load.h"

#include "cli/output_guard.h"
#include "files/spectrum_info.h"
#include "viewer/import_load.h"
#include "viewer/load.h"
#include "viewer/vamas_import.h"

#include <atomic>
#include <chrono>
#include <csignal>
#include <filesystem>
#include <unistd.h>

namespace korvo {
namespace {

std::atomic<bool> gLoadInterrupted{false};

extern "C" void onLoadInterrupt(int) {
    gLoadInterrupted = true;
}

// One line on a terminal, rewritten in place at most ten times a second and only once a load has
// taken a moment, so that quick loads print nothing.
class ProgressLine {
public:
    explicit ProgressLine(std::ostream& err) : err_(err), start_(Clock::now()) {}
    ~ProgressLine() {
        if (shown_) err_ << "\r\x1b[K" << std::flush;
    }
    void show(const LoadProgress& p) {
        const auto now = Clock::now();
        if (now - start_ < std::chrono::milliseconds(200) || now - last_ < std::chrono::milliseconds(100)) return;
        last_ = now;
        shown_ = true;
        err_ << "\r\x1b[KLoading " << (p.filesDone + 1) << " of " << p.filesTotal << ": "
             << escapeForTerminal(std::filesystem::path(std::string(p.path)).filename().string());
        if (p.bytesTotal > 0) err_ << " (" << (100 * p.bytesDone / p.bytesTotal) << " %)";
        err_ << std::flush;
    }

private:
    using Clock = std::chrono::steady_clock;
    std::ostream& err_;
    Clock::time_point start_, last_{};
    bool shown_ = false;
};

} // namespace

void addLoadOptions(CLI::App& verb, CliLoadOptions& options, ImportFlags flags) {
    const std::string suffix = flags == ImportFlags::FileSuffix ? "-file" : "";
    verb.add_option("files", options.files, "Spectrum files, .k98 projects and NeXus files (.nxs), loaded as one load");
    verb.add_option("--origin" + suffix, options.origin,
                    "An Origin data file (.dat) to import as the viewer's \"&ORIGIN Dat-file\", after the files");
    verb.add_option("--scienta", options.scienta,
                    "A Scienta analyser file to import as the load dialog's \"Load Scienta\", after the files");
    verb.add_option("--vamas" + suffix, options.vamas,
                    "A VAMAS (ISO 14976) file to load as the load dialog's \"Load VAMAS\", one spectrum per block, "
                    "after the imports");
    verb.add_option("--overview", options.overview,
                    "Append one line per loaded spectrum file to this overview file (made when missing)");
}

std::vector<std::string> CliLoadOptions::inputPaths() const {
    std::vector<std::string> all = files;
    for (const auto* more : {&scienta, &origin, &vamas}) all.insert(all.end(), more->begin(), more->end());
    return all;
}

std::unique_ptr<tvar> loadForCli(const CliLoadOptions& options, std::ostream& err) {
    const std::vector<std::string> inputs = options.inputPaths();
    if (inputs.empty()) {
        err << "No files to load.\n";
        return nullptr;
    }
    for (const std::string& path : inputs)
        if (path.empty()) {
            err << "An empty text names no file. Nothing was loaded.\n";
            return nullptr;
        }
    if (options.overview)
        if (const std::string why = CommandInputs(inputs).refusal(*options.overview); !why.empty()) {
            err << escapeForTerminal(why) << ". Nothing was loaded.\n";
            return nullptr;
        }
    if (const std::string why = checkLoadSize(inputs); !why.empty()) {
        err << why << "\n";
        return nullptr;
    }
    // The workspace keeps full paths, as the load dialog hands them over.
    const auto absolute = [](const std::vector<std::string>& files) {
        std::vector<std::string> paths;
        for (const std::string& f : files) paths.push_back(std::filesystem::absolute(f).lexically_normal().string());
        return paths;
    };
    const std::vector<std::string> paths = absolute(options.files);

    auto ws = std::make_unique<tvar>();
    LoadOptions load;
    load.overviewPath = options.overview;
    std::optional<ProgressLine> line;
    if (::isatty(STDERR_FILENO)) line.emplace(err);
    gLoadInterrupted = false;
    load.progress = [&line](const LoadProgress& p) {
        if (line) line->show(p);
        return !gLoadInterrupted.load();
    };
    auto previous = std::signal(SIGINT, onLoadInterrupt);
    std::vector<std::string> said; // by the steps that went through
    const auto keep = [&said](const LoadOutcome& step) {
        if (step && !step.message.empty()) said.push_back(step.message);
        return step;
    };
    LoadOutcome outcome = keep(loadFiles(*ws, paths, load));
    // Scienta and Origin files follow the others, each imported as the viewer imports it.
    if (paths.empty() || outcome)
        outcome = keep(loadImports(*ws, absolute(options.scienta), absolute(options.origin), load));
    if (outcome && !options.vamas.empty()) outcome = keep(loadVamasFiles(*ws, absolute(options.vamas), load));
    std::signal(SIGINT, previous);
    line.reset();
    if (!outcome) {
        if (!outcome.failedPath.empty()) err << escapeForTerminal(outcome.failedPath) << ": ";
        err << escapeForTerminal(outcome.message);
        // Project, Origin and VAMAS messages name their line already.
        if (outcome.failedLine > 0 && outcome.message.find("line " + std::to_string(outcome.failedLine)) == std::string::npos)
            err << " (line " << outcome.failedLine << ")";
        err << "\n";
        return nullptr;
    }
    for (const std::string& text : said) {
        std::size_t start = 0;
        for (std::size_t end; (end = text.find('\n', start)) != std::string::npos; start = end + 1)
            err << escapeForTerminal(text.substr(start, end - start)) << "\n";
        err << escapeForTerminal(text.substr(start)) << "\n";
    }
    return ws;
}

} // namespace korvo

#include "cli/convert_command.h"

#include "cli/number_options.h"
#include "cli/staged_outputs.h"

#include "common/file_util.h"
#include "common/number_text.h"
#include "files/multichanneltron.h"
#include "files/nexus_file.h"
#include "files/scienta_file.h"
#include "files/spectrum_info.h"
#include "files/spectrum_table.h"
#include "viewer/nexus_import.h"

#include <filesystem>
#include <functional>
#include <iostream>
#include <memory>
#include <set>
#include <unistd.h>

namespace korvo {
namespace {

struct ConvertOptions {
    bool multi = false;
    bool scienta = false;
    std::optional<std::string> nexus; // the NeXus file to write
    bool text = false;                // NeXus files back to spectrum files
    std::vector<std::string> files;
    std::optional<std::string> outDir;
    MultichanneltronWindowValues window;
};

std::string absolute(const std::string& path) {
    return std::filesystem::absolute(path).lexically_normal().string();
}

void report(const std::string& path, const std::string& message) {
    std::cerr << escapeForTerminal(path) << ": " << escapeForTerminal(message) << "\n";
}

// Stages the outputs of each file in turn (`stage` returns why a file cannot be converted, empty when
// it was staged) and puts them in place once every file is done: all or nothing.
int convertAll(const std::vector<std::string>& files,
               const std::function<std::string(const std::string&, StagedOutputs&)>& stage) {
    for (const std::string& file : files)
        if (file.empty()) {
            std::cerr << "An empty text names no file. Nothing was written.\n";
            return 2;
        }
    const CommandInputs inputs(files);
    StagedOutputs outputs(inputs);
    for (const std::string& file : files)
        if (const std::string error = stage(file, outputs); !error.empty()) {
            report(file, error);
            std::cerr << "Nothing was written.\n";
            return 2;
        }
    std::string error;
    if (!outputs.commit(error)) {
        std::cerr << escapeForTerminal(error) << "\nNothing was written.\n";
        return 2;
    }
    return 0;
}

// As "Single Multi -> project" converts them, file after file; but a command-line run is all or
// nothing: the first file that cannot be converted ends the command and no project is written.
int convertMulti(const ConvertOptions& o) {
    const std::optional<std::string> outDir = o.outDir ? std::optional(absolute(*o.outDir)) : std::nullopt;
    return convertAll(o.files, [&](const std::string& file, StagedOutputs& outputs) {
        const MultichanneltronProject p = prepareMultichanneltronProject(absolute(file), o.window, outDir);
        if (!p) return p.read.error;
        std::string error;
        return outputs.add(p.target, p.bytes, error) ? std::string() : "Cannot convert: " + error + ".";
    });
}

// The name of slice s of `path` in the output directory: "run7.pxt" gives "run7_0001.dat".
std::string sliceName(const std::string& path, int slice) {
    std::string stem = std::filesystem::path(path).filename().string();
    if (const std::size_t dot = stem.find_last_of('.'); dot != std::string::npos && dot > 0) stem.resize(dot);
    return stem + "_" + text::formatPattern(slice, "0000") + ".dat";
}

// Every slice as the spectrum file the import makes of it, closed by the "END" line a spectrum file
// ends with (the import's temporary files, read once and deleted, do without). All or nothing, as
// for --multi.
int convertScienta(const ConvertOptions& o) {
    if (!o.outDir) {
        std::cerr << "convert --scienta needs --out-dir DIR: a file gives one spectrum file per slice.\n";
        return 2;
    }
    return convertAll(o.files, [&](const std::string& file, StagedOutputs& outputs) {
        const ScientaReadResult r = readScientaFile(file);
        if (!r) return r.error;
        std::string error;
        for (int s = 1; s <= r.data.header.slices; ++s)
            if (!outputs.add(absolute(*o.outDir + "/" + sliceName(file, s)), scientaSliceText(r.data, s) + "END\r\n",
                             error))
                return "Cannot convert: " + error + ".";
        return std::string();
    });
}

// The spectra of one input: a NeXus file's (with what belongs to them), or a spectrum file whole.
std::string spectraOf(const std::string& file, std::vector<NexusSpectrum>& out) {
    if (isNexusPath(file)) {
        NexusReadResult r = readNexusFile(file);
        if (!r) return r.error;
        for (NexusSpectrum& s : r.spectra) out.push_back(std::move(s));
        return {};
    }
    SpectrumTableResult r = readSpectrumTableFile(file);
    if (!r) return r.read.error;
    NexusSpectrum s;
    s.name = std::filesystem::path(file).filename().string();
    s.table = std::move(r.table);
    out.push_back(std::move(s));
    return {};
}

// Every spectrum of the files as one NeXus file, an entry each in the order given.
int convertToNexus(const ConvertOptions& o) {
    std::vector<NexusSpectrum> spectra;
    std::size_t read = 0;
    return convertAll(o.files, [&](const std::string& file, StagedOutputs& outputs) {
        if (std::string why = spectraOf(file, spectra); !why.empty()) return why;
        if (++read < o.files.size()) return std::string();
        std::string error;
        const std::optional<NexusFileImage> image = nexusFileBytes(spectra, &error);
        if (!image) return error;
        return outputs.add(absolute(*o.nexus), image->bytes(), error) ? std::string() : "Cannot convert: " + error + ".";
    });
}

// Each spectrum of the NeXus files as the spectrum file it stands for, named as it was measured.
int convertToText(const ConvertOptions& o) {
    if (!o.outDir) {
        std::cerr << "convert --text needs --out-dir DIR: a NeXus file may hold many spectra.\n";
        return 2;
    }
    return convertAll(o.files, [&](const std::string& file, StagedOutputs& outputs) {
        NexusReadResult r = readNexusFile(file);
        if (!r) return r.error;
        std::string error;
        for (const NexusSpectrum& s : r.spectra) {
            const std::string name = outputNameFor(s.name, std::cerr);
            if (!outputs.add(absolute(*o.outDir + "/" + name), spectrumTableText(s.table), error))
                return "Cannot convert: " + error + ".";
        }
        return std::string();
    });
}

} // namespace

void addConvertCommand(CLI::App& app, int& exitStatus) {
    auto o = std::make_shared<ConvertOptions>();
    CLI::App* convert = app.add_subcommand(
        "convert", "Convert multichanneltron files to .k98 projects, Scienta files to spectrum files, spectrum files "
                   "to a NeXus file and NeXus files back to spectrum files");
    auto* multi = convert->add_flag("--multi", o->multi,
                                    "Multichanneltron spectrum files: one .k98 project of ten spectra per file, "
                                    "named FILE.k98 (beside the file or in --out-dir)");
    auto* scienta = convert->add_flag("--scienta", o->scienta,
                                      "Scienta analyser files: one spectrum file per slice, NAME_0001.dat ... "
                                      "in --out-dir");
    auto* nexus = convert->add_option("--nexus", o->nexus,
                                      "Spectrum files (and NeXus files): every spectrum an NXmpes entry of this one "
                                      "NeXus file, in the order given; nothing of a spectrum file is lost");
    auto* text = convert->add_flag("--text", o->text,
                                   "NeXus files: each spectrum as the spectrum file it stands for, in --out-dir, "
                                   "under the name it was measured under");
    multi->excludes(scienta);
    for (auto* one : {multi, scienta, text}) one->excludes(nexus);
    multi->excludes(text);
    scienta->excludes(text);
    convert->add_option("files", o->files, "The files to convert, in order")->required();
    convert->add_option("--out-dir", o->outDir, "Directory for the converted files")->check(CLI::ExistingDirectory);
    convert->add_option("--meas-time", o->window.measTime,
                        "--multi: the measuring time per point (ms) the project keeps, as the main window's field "
                        "(default 500)")
        ->transform(decimalInteger());
    convert->add_option("--scan-counter", o->window.scanCounter,
                        "--multi: the scan counter the project keeps, as the main window's (default 1)")
        ->transform(decimalInteger());
    convert->callback([o, &exitStatus] {
        if (!o->multi && !o->scienta && !o->nexus && !o->text) {
            std::cerr << "convert: say what the files are, --multi, --scienta, --nexus OUT.nxs or --text.\n";
            exitStatus = 2;
            return;
        }
        exitStatus = o->multi     ? convertMulti(*o)
                     : o->scienta ? convertScienta(*o)
                     : o->nexus   ? convertToNexus(*o)
                                  : convertToText(*o);
    });
}

} // namespace korvo

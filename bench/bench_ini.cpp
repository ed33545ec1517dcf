// Reading the settings at start: the INI file, then the channel shifts of the fourteen pass energies
// from it. Installations keep thousands of sections (one per sample, run or calibration), so both
// must stay linear in the size of the file; a file of 80,000 sections once took 84 s to start.
#include "acquisition/channel_shift_table.h"
#include "common/file_util.h"
#include "common/ini_file.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <unistd.h>

namespace {

using namespace korvo;

constexpr const char* kPassEnergies[] = {"0.1 eV", "0.25 eV", "0.5 eV", "1.0 eV", "2.5 eV",
                                         "5.0 eV", "10.0 eV", "2 eV",   "5 eV",   "10 eV",
                                         "20 eV",  "50 eV",   "100 eV", "200 eV"};

// About `bytes` of settings: many small sections of earlier samples, a name now and then repeated in
// other letter case, and the channel shifts last, where a scanning look-up finds them latest.
std::string settingsText(std::size_t bytes) {
    std::string text = "[general]\r\nmachine=CLAM\r\ncolor=$E0E0E0\r\n\r\n";
    for (int i = 0; text.size() < bytes; ++i) {
        text += (i % 10 == 0 ? "[SAMPLE " : "[sample ") + std::to_string(i % 10 == 0 ? i / 2 : i) + "]\r\n";
        text += "start=" + std::to_string(i % 1500) + "\r\n";
    }
    for (const char* pe : kPassEnergies) {
        text += std::string("[") + pe + "]\r\n";
        for (int c = 1; c <= 9; ++c) text += "C" + std::to_string(c) + "=0.0" + std::to_string(c) + "\r\n";
    }
    return text;
}

struct SettingsFile {
    std::string path;
    std::size_t sections = 0;
    explicit SettingsFile(std::size_t bytes) {
        path = (std::filesystem::temp_directory_path() /
                ("korvo_bench_ini_" + std::to_string(::getpid()) + "_" + std::to_string(bytes) + ".ini"))
                   .string();
        const std::string text = settingsText(bytes);
        for (const char c : text) sections += c == '[';
        writeFileAtomic(path, text);
    }
    ~SettingsFile() { std::remove(path.c_str()); }
};

void BM_IniLoad(benchmark::State& state) {
    const SettingsFile file(static_cast<std::size_t>(state.range(0)));
    for (auto _ : state) {
        IniFile ini(file.path);
        if (!ini.load()) state.SkipWithError("load failed");
        benchmark::DoNotOptimize(ini);
    }
    state.counters["sections"] = static_cast<double>(file.sections);
    state.SetBytesProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_IniLoad)->Arg(256 << 10)->Arg(1 << 20)->Arg(4 << 20)->Unit(benchmark::kMillisecond);

// What the program does at start: load the file, then read the channel-shift table from it.
void BM_IniLoadAndChannelShifts(benchmark::State& state) {
    const SettingsFile file(static_cast<std::size_t>(state.range(0)));
    for (auto _ : state) {
        IniFile ini(file.path);
        if (!ini.load()) state.SkipWithError("load failed");
        ChannelShiftTable table;
        table.load(ini);
        if (table.cell(1, 1) != "0.01") state.SkipWithError("channel shifts not read");
        benchmark::DoNotOptimize(table);
    }
    state.counters["sections"] = static_cast<double>(file.sections);
    state.SetBytesProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_IniLoadAndChannelShifts)
    ->Arg(256 << 10)
    ->Arg(1 << 20)
    ->Arg(4 << 20)
    ->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();

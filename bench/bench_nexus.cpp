// NeXus files at the size of a long series: 1000 spectra of 1000 points each into one NeXus file and
// back, against the same spectra as 1000 spectrum files; the argument is the spectra's columns, 2 for
// energy and counts, 11 as a multichanneltron run writes them with the nine channeltrons' counts.
// Goal: at most one second each way.
// bench/nexus_vs_h5py.py times h5py reading such a file.
#include "common/file_util.h"
#include "files/nexus_file.h"
#include "files/spectrum_table.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <filesystem>
#include <random>
#include <string>
#include <unistd.h>
#include <vector>

using namespace korvo;

namespace {

constexpr int kSpectra = 1000;
constexpr int kPoints = 1000;

// The spectrum files, made once per run in a directory of their own and removed at the end, and
// their tables as read.
class Samples {
public:
    explicit Samples(bool channels) {
        char name[] = "/tmp/korvo_bench_nexus_XXXXXX";
        if (!::mkdtemp(name)) return;
        dir_ = name;
        std::mt19937 random(5);
        char line[160];
        for (int f = 0; f < kSpectra; ++f) {
            std::string text =
                "USER_ID: lab\r\nComment: bench\r\nProbe: Cu(111)\r\nFileName: /data/b.000\r\nFileform: CLAM\r\n"
                "Date:  05.12.2002 10:11:12\r\nProgram: KORVO 02\r\nMeasTime: 100\r\nMeasTyp: CAE\r\n"
                "Scans: 3\r\nPoints:1000\r\nPassEn:20.000\r\nAnaSta:270.000\r\nAnaEnd:279.990\r\nPhotEn: 380.000\r\n";
            if (channels)
                for (int c = 1; c <= 9; ++c) text += "Energy Channeltron_" + std::to_string(c) + "...+0.0000 eV\r\n";
            text += "BEGIN:\r\n";
            for (int i = 0; i < kPoints; ++i) {
                unsigned ch[9], sum = 0;
                for (unsigned& c : ch) sum += (c = static_cast<unsigned>(random() % 10000));
                const int n = channels ? std::snprintf(line, sizeof line, "%.3f %u %u %u %u %u %u %u %u %u %u\r\n",
                                                       270 + 0.01 * i, sum, ch[0], ch[1], ch[2], ch[3], ch[4], ch[5],
                                                       ch[6], ch[7], ch[8])
                                       : std::snprintf(line, sizeof line, "%.3f %u\r\n", 270 + 0.01 * i, sum);
                text.append(line, static_cast<std::size_t>(n));
            }
            text += "END\r\n";
            const std::string path = dir_ + "/b" + std::to_string(f) + ".dat";
            if (!writeFileAtomic(path, text)) return;
            SpectrumTableResult t = readSpectrumTableFile(path);
            if (!t) return;
            paths_.push_back(path);
            NexusSpectrum s;
            s.name = "b" + std::to_string(f) + ".dat";
            s.table = std::move(t.table);
            spectra_.push_back(std::move(s));
        }
        std::string error;
        if (!saveNexusFile(nexusPath(), spectra_, &error)) paths_.clear();
    }
    ~Samples() {
        if (!dir_.empty()) std::filesystem::remove_all(dir_);
    }
    bool ok() const { return paths_.size() == kSpectra; }
    const std::vector<std::string>& paths() const { return paths_; }
    const std::vector<NexusSpectrum>& spectra() const { return spectra_; }
    std::string nexusPath() const { return dir_ + "/all.nxs"; }
    std::string outPath(int i) const { return dir_ + "/out" + std::to_string(i) + ".dat"; }

private:
    std::string dir_;
    std::vector<std::string> paths_;
    std::vector<NexusSpectrum> spectra_;
};

const Samples* current = nullptr;
const Samples& samples() {
    return *current;
}

// The samples of the benchmark's column count (2 or 11), made on first use.
bool ready(benchmark::State& st) {
    static const Samples plain(false), channels(true);
    current = st.range(0) == 11 ? &channels : &plain;
    if (samples().ok()) return true;
    st.SkipWithError("the sample files could not be written");
    return false;
}

void count(benchmark::State& st) {
    st.SetItemsProcessed(st.iterations() * kSpectra * kPoints);
}

// 1000 spectra into one NeXus file, written as every measured file is (temporary file, rename).
void BM_NexusWrite1000(benchmark::State& st) {
    if (!ready(st)) return;
    const std::string path = samples().nexusPath() + ".out";
    for (auto _ : st) {
        std::string error;
        if (!saveNexusFile(path, samples().spectra(), &error)) st.SkipWithError(error.c_str());
    }
    count(st);
}
BENCHMARK(BM_NexusWrite1000)->Arg(2)->Arg(11)->Unit(benchmark::kMillisecond)->MinTime(2.0);

// The file read back as Korvo's programs read it: in a child process, every spectrum checked.
void BM_NexusRead1000(benchmark::State& st) {
    if (!ready(st)) return;
    for (auto _ : st) {
        const NexusReadResult r = readNexusFile(samples().nexusPath());
        if (!r || r.spectra.size() != kSpectra || r.spectra.back().table.rows() != kPoints)
            st.SkipWithError(r.error.empty() ? "the file did not read back as written" : r.error.c_str());
    }
    count(st);
}
BENCHMARK(BM_NexusRead1000)->Arg(2)->Arg(11)->Unit(benchmark::kMillisecond)->MinTime(2.0);

// As the viewer, info, analyse and fit load it: energies, counts and the channeltrons' totals.
void BM_NexusReadForViewer1000(benchmark::State& st) {
    if (!ready(st)) return;
    NexusReadLimits limits;
    limits.allColumns = false;
    for (auto _ : st) {
        const NexusReadResult r = readNexusFile(samples().nexusPath(), limits);
        if (!r || r.spectra.size() != kSpectra || r.spectra.back().table.columns.size() != 2)
            st.SkipWithError(r.error.empty() ? "the file did not read back as written" : r.error.c_str());
    }
    count(st);
}
BENCHMARK(BM_NexusReadForViewer1000)->Arg(2)->Arg(11)->Unit(benchmark::kMillisecond)->MinTime(2.0);

// The same without the child process: what the HDF5 library and the checks cost.
void BM_NexusReadInProcess1000(benchmark::State& st) {
    if (!ready(st)) return;
    const std::optional<std::string> bytes = readFile(samples().nexusPath());
    for (auto _ : st) {
        const NexusReadResult r = readNexusBytes(*bytes, "all.nxs");
        if (!r || r.spectra.size() != kSpectra) st.SkipWithError("the file did not read back as written");
    }
    count(st);
}
BENCHMARK(BM_NexusReadInProcess1000)->Arg(2)->Arg(11)->Unit(benchmark::kMillisecond)->MinTime(2.0);

// The same spectra as 1000 spectrum files, written and read whole.
void BM_TextWrite1000(benchmark::State& st) {
    if (!ready(st)) return;
    for (auto _ : st)
        for (int i = 0; i < kSpectra; ++i)
            if (!writeFileAtomic(samples().outPath(i), spectrumTableText(samples().spectra()[std::size_t(i)].table)))
                st.SkipWithError("a spectrum file could not be written");
    count(st);
}
BENCHMARK(BM_TextWrite1000)->Arg(2)->Arg(11)->Unit(benchmark::kMillisecond)->MinTime(2.0);

void BM_TextRead1000(benchmark::State& st) {
    if (!ready(st)) return;
    for (auto _ : st)
        for (const std::string& path : samples().paths()) {
            const SpectrumTableResult r = readSpectrumTableFile(path);
            if (!r || r.table.rows() != kPoints) st.SkipWithError("a spectrum file did not read back");
            benchmark::DoNotOptimize(r.table.columns.data());
        }
    count(st);
}
BENCHMARK(BM_TextRead1000)->Arg(2)->Arg(11)->Unit(benchmark::kMillisecond)->MinTime(2.0);

} // namespace

BENCHMARK_MAIN();

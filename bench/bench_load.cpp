// The viewer's load at its limit: 2000 spectrum files of 1000 points each, as measurements write
// them, loaded as one load into one fresh workspace. Goal: at most half a second for the whole load.
#include "viewer/load.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <filesystem>
#include <random>
#include <string>
#include <unistd.h>
#include <vector>

using namespace korvo;

namespace {

constexpr int kFiles = 2000;
constexpr int kPoints = 1000;

// The files, made once per run in a directory of their own and removed at the end.
class SampleFiles {
public:
    SampleFiles() {
        char name[] = "/tmp/korvo_bench_load_XXXXXX";
        if (!::mkdtemp(name)) return;
        dir_ = name;
        std::mt19937 random(11);
        std::string text;
        char line[64];
        for (int f = 0; f < kFiles; ++f) {
            text = "USER_ID: lab\r\nComment: bench\r\nProbe: Cu(111)\r\nFileName: /data/b.000\r\nFileform: CLAM\r\n"
                   "Date:  05.12.2002 10:11:12\r\nProgram: KORVO 02\r\nMeasTime: 100\r\nMeasTyp: CAE\r\n"
                   "Scans: 3\r\nPoints:1000\r\nPassEn:20.000\r\nAnaSta:270.000\r\nAnaEnd:280.000\r\n"
                   "PhotEn: 21.220\r\n";
            for (int c = 1; c <= 9; ++c) text += "Energy Channeltron_" + std::to_string(c) + "...+0.0000 eV\r\n";
            text += "BEGIN:\r\n";
            for (int i = 0; i < kPoints; ++i) {
                const int n = std::snprintf(line, sizeof line, "%.3f %u\r\n", 270 + 0.01 * i,
                                            static_cast<unsigned>(random() % 100000));
                text.append(line, static_cast<std::size_t>(n));
            }
            text += "END\r\n";
            const std::string path = dir_ + "/b" + std::to_string(f) + ".dat";
            std::FILE* out = std::fopen(path.c_str(), "wb");
            if (!out) return;
            std::fwrite(text.data(), 1, text.size(), out);
            std::fclose(out);
            paths_.push_back(path);
            bytes_ += static_cast<std::int64_t>(text.size());
        }
    }
    ~SampleFiles() {
        if (!dir_.empty()) std::filesystem::remove_all(dir_);
    }
    const std::vector<std::string>& paths() const { return paths_; }
    std::int64_t bytes() const { return bytes_; }

private:
    std::string dir_;
    std::vector<std::string> paths_;
    std::int64_t bytes_ = 0;
};

const SampleFiles& samples() {
    static const SampleFiles files;
    return files;
}

void BM_Load2000Files(benchmark::State& st) {
    if (samples().paths().size() != kFiles) {
        st.SkipWithError("the sample files could not be written");
        return;
    }
    for (auto _ : st) {
        tvar ws;
        LoadList list;
        list.paths = samples().paths();
        const LoadOutcome out = loadSpectrumFiles(ws, list);
        if (!out || ws.ShownCount != kFiles || ws.spectrum(kFiles).NumPoints != kPoints)
            st.SkipWithError(out.message.empty() ? "the files did not load as expected" : out.message.c_str());
        benchmark::DoNotOptimize(ws.pool.data());
    }
    st.SetItemsProcessed(st.iterations() * kFiles * kPoints);
    st.SetBytesProcessed(st.iterations() * samples().bytes());
}
BENCHMARK(BM_Load2000Files)->Unit(benchmark::kMillisecond)->MinTime(2.0);

} // namespace

BENCHMARK_MAIN();

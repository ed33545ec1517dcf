// `korvo-cli info` on a large spectrum file: reading it, and loading it into a workspace that is then
// written as text and as JSON. The reading alone shows the line reader and the number parsing; the
// other two add the load and the output formats.
#include "files/spectrum_reader.h"
#include "viewer/load.h"
#include "viewer/workspace_output.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <filesystem>
#include <ostream>
#include <random>
#include <sstream>
#include <string>

using namespace korvo;

namespace {

constexpr std::int64_t kPoints = 1'000'000;

// A file as a measurement writes it (energy with 4 decimals, counts), made once per run.
class SampleFile {
public:
    SampleFile() : path_((std::filesystem::temp_directory_path() / "korvo_bench_info.dat").string()) {
        std::mt19937 random(7);
        std::string text =
            "USER_ID: lab\r\nComment: bench\r\nScans: 2\r\nPoints:1000000\r\nPassEn:20.000\r\nBEGIN:\r\n";
        char line[64];
        for (std::int64_t i = 0; i < kPoints; ++i) {
            const int n =
                std::snprintf(line, sizeof line, "%.4f %u\r\n", 100 + 0.0001 * static_cast<double>(i),
                              static_cast<unsigned>(random() % 100000));
            text.append(line, static_cast<std::size_t>(n));
        }
        text += "END\r\n";
        std::FILE* f = std::fopen(path_.c_str(), "wb");
        if (f) {
            std::fwrite(text.data(), 1, text.size(), f);
            std::fclose(f);
        }
        bytes_ = static_cast<std::int64_t>(text.size());
    }
    ~SampleFile() { std::remove(path_.c_str()); }
    const std::string& path() const { return path_; }
    std::int64_t bytes() const { return bytes_; }

private:
    std::string path_;
    std::int64_t bytes_ = 0;
};

const SampleFile& sample() {
    static const SampleFile file;
    return file;
}

// Swallows the output, as /dev/null does.
class NullBuf : public std::streambuf {
protected:
    std::streamsize xsputn(const char*, std::streamsize n) override { return n; }
    int_type overflow(int_type c) override { return traits_type::not_eof(c); }
};

void count(benchmark::State& st) {
    st.SetItemsProcessed(st.iterations() * kPoints);
    st.SetBytesProcessed(st.iterations() * sample().bytes());
}

void BM_ReadSpectrumFile(benchmark::State& st) {
    sample();
    for (auto _ : st) {
        const SpectrumReadResult r = readSpectrumFile(sample().path());
        if (!r || r.data.points.size() != kPoints) st.SkipWithError("the sample file did not read back");
        benchmark::DoNotOptimize(r.data.points.data());
    }
    count(st);
}
BENCHMARK(BM_ReadSpectrumFile)->Unit(benchmark::kMillisecond);

void BM_InfoText(benchmark::State& st, bool json) {
    sample();
    NullBuf buf;
    std::ostream out(&buf);
    for (auto _ : st) {
        tvar ws;
        const LoadOutcome loaded = loadFiles(ws, {sample().path()});
        if (!loaded) st.SkipWithError(loaded.message.c_str());
        if (!(json ? writeWorkspaceJson(out, ws) : writeWorkspaceText(out, ws))) st.SkipWithError("output failed");
    }
    count(st);
}
BENCHMARK_CAPTURE(BM_InfoText, text, false)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_InfoText, json, true)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();

// Stand-in for libFuzzer where it is not available: feeds the seed corpus, damaged variants of each
// seed and a fixed set of generated inputs to the target, so that every build exercises the readers
// with hostile input. A fault shows up as a crash or a sanitizer report; the program only counts.
//
// Usage: <target> [file or directory ...]   (default: the target's own seed corpus)
//
// The generated inputs run up to KORVO_FUZZ_MAX_LEN bytes (the -max_len a target is fuzzed with, set
// per target in fuzz/CMakeLists.txt): a reader that is slow only on large inputs is never caught by
// small ones.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

#ifndef KORVO_FUZZ_MAX_LEN
#define KORVO_FUZZ_MAX_LEN 4096 // libFuzzer's own default
#endif

namespace {

namespace fs = std::filesystem;

std::size_t runs = 0;
constexpr std::size_t kMaxLen = KORVO_FUZZ_MAX_LEN;

void feed(const std::string& bytes) {
    // A copy in a buffer of its own size, so that the address sanitizer sees every read past the end.
    std::vector<std::uint8_t> buf(bytes.begin(), bytes.end());
    LLVMFuzzerTestOneInput(buf.empty() ? nullptr : buf.data(), buf.size());
    ++runs;
}

bool readAll(const fs::path& p, std::string& out) {
    std::ifstream in(p, std::ios::binary);
    if (!in) return false;
    out.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return true;
}

// The kinds of damage real files suffer: cut off, bytes flipped, a line doubled, NUL bytes.
// A large seed is there for its size; fewer variants of it keep the replay short.
void feedDamaged(const std::string& seed, std::mt19937& rng) {
    const bool large = seed.size() > (1 << 16);
    for (std::size_t cut = 0; cut < seed.size(); cut += 1 + seed.size() / (large ? 4 : 16))
        feed(seed.substr(0, cut));
    for (int i = 0; i < (large ? 8 : 32) && !seed.empty(); ++i) {
        std::string s = seed;
        const int flips = 1 + static_cast<int>(rng() % 4);
        for (int f = 0; f < flips && !s.empty(); ++f) {
            const std::size_t at = rng() % s.size();
            switch (rng() % 4) {
            case 0:
                s[at] = static_cast<char>(s[at] ^ (1u << (rng() % 8)));
                break;
            case 1:
                s[at] = '\0';
                break;
            case 2:
                s.insert(at, s.substr(at, rng() % 64));
                break;
            default:
                s.erase(at, rng() % 16);
                break;
            }
        }
        feed(s);
    }
}

void feedGenerated(std::mt19937& rng) {
    feed("");
    for (int b = 0; b < 256; ++b) feed(std::string(1, static_cast<char>(b)));
    const std::string alphabet = "0123456789.+-eE$xX []=;\"'\r\n\t ,abcINFNAN\xEF\xBB\xBF\xFF";
    for (int i = 0; i < 2000; ++i) {
        std::string s(rng() % 96, '\0');
        for (char& c : s) c = rng() % 4 == 0 ? static_cast<char>(rng()) : alphabet[rng() % alphabet.size()];
        feed(s);
    }
    const std::size_t big = std::max<std::size_t>(kMaxLen, 1 << 16);
    feed(std::string(big, '9'));
    feed(std::string(big, '\n'));
    feed("[" + std::string(big - 1, 'a'));
    // Text files of many short lines, as large as the target takes: thousands of sections, keys and
    // records, names repeated in other cases, every kind of line end.
    const char* const tokens[] = {"[",   "]",   "=",       " ",   "\t",   ";",           "\"",
                                  "s1",  "S1",  "sec",     "Key", "key",  "0.5",         "-1e3",
                                  "$FF", "END", "10.0 eV", "C1",  "\xE4", "\xEF\xBB\xBF"};
    const char* const ends[] = {"\r\n", "\n", "\r"};
    for (int i = 0; i < 4; ++i) {
        std::string s;
        while (s.size() < kMaxLen) {
            for (int t = 1 + static_cast<int>(rng() % 4); t > 0; --t) s += tokens[rng() % std::size(tokens)];
            if (rng() % 8 == 0) s += std::to_string(rng() % 1000);
            s += ends[rng() % 16 == 0 ? 1 + rng() % 2 : 0];
        }
        s.resize(kMaxLen);
        feed(s);
    }
}

} // namespace

int main(int argc, char** argv) {
    std::vector<fs::path> inputs;
    for (int i = 1; i < argc; ++i) inputs.emplace_back(argv[i]);
#ifdef KORVO_FUZZ_CORPUS
    if (inputs.empty()) inputs.emplace_back(KORVO_FUZZ_CORPUS);
#endif
    std::mt19937 rng(12345);
    std::size_t seeds = 0;
    for (const fs::path& in : inputs) {
        std::error_code ec;
        std::vector<fs::path> files;
        if (fs::is_directory(in, ec)) {
            for (const auto& e : fs::directory_iterator(in, ec))
                if (e.is_regular_file()) files.push_back(e.path());
        } else {
            files.push_back(in);
        }
        if (files.empty()) {
            std::fprintf(stderr, "no inputs in %s\n", in.string().c_str());
            return 1;
        }
        for (const fs::path& f : files) {
            std::string bytes;
            if (!readAll(f, bytes)) {
                std::fprintf(stderr, "cannot read %s\n", f.string().c_str());
                return 1;
            }
            feed(bytes);
            feedDamaged(bytes, rng);
            ++seeds;
        }
    }
    feedGenerated(rng);
    std::printf("%zu seeds, %zu inputs replayed\n", seeds, runs);
    return 0;
}

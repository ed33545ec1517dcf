#pragma once
// A file's bytes as a test writes and reads them: exactly, without any line-end translation.
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

namespace korvo::testing {

inline void write(const std::filesystem::path& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
}

// The whole of a file, as far as it has been written ("" when it cannot be opened).
inline std::string slurp(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

} // namespace korvo::testing

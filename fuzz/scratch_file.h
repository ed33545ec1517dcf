#pragma once
// For the targets that read their input through a file, as the viewer's load does: one scratch file
// per run, rewritten with each input and removed when the run ends.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <unistd.h>

namespace korvo::fuzz {

// `bytes` written to the run's scratch file, whose name ends with `suffix` (the same for every
// call); its path.
inline const std::string& writeScratchFile(std::string_view bytes, const char* suffix) {
    struct ScratchFile {
        std::string path;
        explicit ScratchFile(const char* suffix) {
            std::string name = std::string("/tmp/korvo-fuzz-XXXXXX") + suffix;
            const int fd = ::mkstemps(name.data(), static_cast<int>(std::strlen(suffix)));
            if (fd < 0) std::abort();
            ::close(fd);
            path = name;
        }
        ~ScratchFile() { ::unlink(path.c_str()); }
    };
    static const ScratchFile scratch(suffix);
    std::FILE* f = std::fopen(scratch.path.c_str(), "wb");
    if (!f || (!bytes.empty() && std::fwrite(bytes.data(), 1, bytes.size(), f) != bytes.size()) || std::fclose(f) != 0)
        std::abort();
    return scratch.path;
}

} // namespace korvo::fuzz

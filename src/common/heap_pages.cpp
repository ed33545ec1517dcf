#include "common/heap_pages.h"

#include "common/address_sanitizer.h"

#include <cstdlib>
#include <fstream>
#include <iterator>

#include <sys/stat.h>
#include <unistd.h>

namespace korvo {

std::optional<std::string> hugePageTunables(const char* current, std::string_view thpMode) {
    // The kernel marks the mode in force with brackets: "always [madvise] never".
    if (thpMode.find("[madvise]") == std::string_view::npos) return std::nullopt;
    const std::string_view now = current ? current : "";
    if (now.find("glibc.malloc.hugetlb") != std::string_view::npos) return std::nullopt;
    std::string value(now);
    if (!value.empty()) value += ':';
    value += "glibc.malloc.hugetlb=1";
    return value;
}

void restartWithHugePageHeap(char** argv) {
#ifndef KORVO_ADDRESS_SANITIZER
    if (!argv || !argv[0]) return;
    std::ifstream in("/sys/kernel/mm/transparent_hugepage/enabled");
    const std::string mode{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    const char* before = std::getenv("GLIBC_TUNABLES");
    const std::optional<std::string> tunables = hugePageTunables(before, mode);
    if (!tunables) return;
    const std::optional<std::string> saved = before ? std::optional<std::string>(before) : std::nullopt;
    if (::setenv("GLIBC_TUNABLES", tunables->c_str(), 1) != 0) return;
    ::execv("/proc/self/exe", argv);
    // Not restarted (no /proc, say): go on as started, with the environment as it was.
    if (saved)
        ::setenv("GLIBC_TUNABLES", saved->c_str(), 1);
    else
        ::unsetenv("GLIBC_TUNABLES");
#else
    (void)argv;
#endif
}

std::uint64_t bytesOfNamedFiles(int argc, char** argv) {
    std::uint64_t sum = 0;
    for (int i = 1; i < argc && argv[i]; ++i) {
        struct stat st {};
        if (::stat(argv[i], &st) == 0 && S_ISREG(st.st_mode)) sum += std::uint64_t(st.st_size);
    }
    return sum;
}

} // namespace korvo

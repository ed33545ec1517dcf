#pragma once
// The heap of a program that reads, fits and writes series of a thousand spectra makes and frees
// hundreds of megabytes. Where transparent huge pages are given only on request (the kernel's
// "madvise" mode), every 4 KB page of it is a fault on first touch, which on a virtual machine
// costs more than the work done with the page: a thousand-spectrum NeXus file took 2.3 s to read
// with small pages and 1.0 s with huge ones. glibc asks for huge pages for its heap only when its
// tunable glibc.malloc.hugetlb is set at program start, so a program that wants them starts itself
// once more with the tunable added.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace korvo {

// The GLIBC_TUNABLES value to restart with: `current` (the variable, or null when unset) with
// glibc.malloc.hugetlb=1 added, given the kernel's setting `thpMode` (the text of
// /sys/kernel/mm/transparent_hugepage/enabled). Nothing when a restart would change nothing: the
// kernel gives huge pages always or never, or the tunable is already set (by us or by the user).
std::optional<std::string> hugePageTunables(const char* current, std::string_view thpMode);

// Restarts the running program (same arguments and environment, plus the tunable) when
// hugePageTunables() says so; returns when it does not or the restart fails. Call first thing in
// main(), before any thread or file is opened. Does nothing in a build with the address sanitizer,
// whose allocator is its own.
void restartWithHugePageHeap(char** argv);

// The sizes of the arguments argv[1..argc-1] that name regular files, added up: a restart costs a
// start-up of the program (about 50 ms), which korvo-cli pays from 16 MB of input on.
std::uint64_t bytesOfNamedFiles(int argc, char** argv);

} // namespace korvo

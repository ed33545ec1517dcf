// Reading a NeXus file in child processes. The HDF5 library is not hardened against crafted or
// damaged files: a few flipped bytes make version 1.10 read past its buffers, ask for terabytes or
// run in circles inside its own metadata parsing, before any check of ours can look. A child reads
// the file (a large one: several side by side, each a slice of its entries) and leaves its part in an
// anonymous memory file (a hundred megabytes pass no pipe); its pipe's end tells that it is gone. A
// crash, an exhausted memory limit or a hang there ends the children, and Korvo refuses the file
// with a message.
#include "files/nexus_file.h"
#include "files/nexus_part.h"
#include "files/nexus_wire.h"

#include "common/address_sanitizer.h"
#include "common/file_util.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <malloc.h>
#include <poll.h>
#include <sys/mman.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace korvo {
namespace {

// The child's address space: what it has at the fork plus room for the file, its values and the
// library. A file that makes the library ask for more gets a failed allocation, not the whole machine.
void limitChild(std::size_t fileBytes, const NexusReadLimits& limits, int seconds) {
#ifndef KORVO_ADDRESS_SANITIZER // the address sanitizer reserves terabytes of address space for itself
    long pages = 0;
    if (std::FILE* f = std::fopen("/proc/self/statm", "r")) {
        if (std::fscanf(f, "%ld", &pages) != 1) pages = 0;
        std::fclose(f);
    }
    const std::uint64_t now = std::uint64_t(pages) * std::uint64_t(::sysconf(_SC_PAGESIZE));
    const std::uint64_t room =
        now + std::uint64_t(4) * fileBytes + 16 * limits.maxTotalValues + (std::uint64_t(2) << 30);
    const rlimit as{room, room};
    ::setrlimit(RLIMIT_AS, &as);
#else
    (void)fileBytes;
    (void)limits;
#endif
    const rlimit cpu{rlim_t(seconds + 5), rlim_t(seconds + 5)};
    ::setrlimit(RLIMIT_CPU, &cpu);
}

[[noreturn]] void childRead(int out, std::string_view bytes, std::string_view shortName,
                            const NexusReadLimits& limits, int seconds, std::size_t part, std::size_t parts) {
    // `out` is the memory file the result goes into.
    if (!std::getenv("KORVO_NEXUS_CHILD_STDERR")) {
        const int null = ::open("/dev/null", O_WRONLY | O_CLOEXEC);
        if (null >= 0) ::dup2(null, STDERR_FILENO);
    }
    limitChild(bytes.size(), limits, seconds);
    // The heap's free pages are still the parent's: given back now, the reading gets fresh pages
    // instead of a copy of each on its first write.
    ::malloc_trim(0);
    const nexus::ReadPart r = nexus::readPart(bytes, shortName, limits, part, parts);
    // Encoded straight into the memory file, its pages made at once rather than one fault at a time.
    const std::size_t size = nexus::encodedSize(r);
    if (::ftruncate(out, static_cast<off_t>(size)) != 0) ::_exit(3);
    void* mapped = ::mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_SHARED | MAP_POPULATE, out, 0);
    if (mapped == MAP_FAILED) ::_exit(3);
    nexus::encodeInto(r, static_cast<char*>(mapped));
    ::_exit(0);
}

// How many processes read a file side by side: one per core for a large file (each its share of the
// entries), one for a small one, where another process costs more than it saves.
std::size_t readersFor(std::size_t bytes, const NexusReadLimits& limits) {
    if (limits.readers > 0) return std::min<std::size_t>(limits.readers, 16);
    if (bytes < (std::size_t(16) << 20)) return 1;
    const long cores = ::sysconf(_SC_NPROCESSORS_ONLN);
    return static_cast<std::size_t>(std::clamp(cores, 1L, 4L));
}

// One reading process: its pid, the pipe whose end says it is gone, the memory file of its result.
struct ReadingProcess {
    pid_t pid = -1;
    int pipe = -1;
    int result = -1;
    int status = 0;
};

std::string signalName(int sig) {
    const char* name = sigabbrev_np(sig);
    return "signal " + std::to_string(sig) + (name ? std::string(" (SIG") + name + ")" : std::string());
}

// What the child gave back holds to what every reading promises (a corrupted library could still
// have written something).
bool sound(const NexusReadResult& r, const NexusReadLimits& limits) {
    if (!r.error.empty()) return r.spectra.empty();
    if (r.spectra.empty() || r.spectra.size() > limits.maxSpectra) return false;
    for (const NexusSpectrum& s : r.spectra) {
        const SpectrumTable& t = s.table;
        if (t.columns.empty() || t.rows() == 0 || t.rows() > limits.maxPoints) return false;
        for (const auto& column : t.columns) {
            if (column.size() != t.rows()) return false;
            for (double v : column)
                if (!std::isfinite(v)) return false;
        }
    }
    return true;
}

// The reading in a child process of bytes that carry the HDF5 signature. They may be a mapped file,
// which this process never touches: a file cut short meanwhile ends the child, not Korvo.
NexusReadResult readInChild(std::string_view bytes, std::string_view shortName, const NexusReadLimits& limits,
                            const std::function<bool()>& keepGoing) {
    NexusReadResult r;
    // A large file takes its time; a small one that takes long has sent the library round in circles.
    const int seconds = 20 + static_cast<int>(bytes.size() >> 22);
    std::vector<ReadingProcess> readers(readersFor(bytes.size(), limits));
    const auto closeAll = [&readers] {
        for (ReadingProcess& c : readers) {
            if (c.pipe >= 0) ::close(c.pipe);
            if (c.result >= 0) ::close(c.result);
            c.pipe = c.result = -1;
        }
    };
    const auto endAll = [&readers](bool kill) {
        for (ReadingProcess& c : readers) {
            if (c.pid <= 0) continue;
            if (kill) ::kill(c.pid, SIGKILL);
            while (::waitpid(c.pid, &c.status, 0) < 0 && errno == EINTR) {
            }
        }
    };
    std::fflush(nullptr);
    for (std::size_t part = 0; part < readers.size(); ++part) {
        ReadingProcess& c = readers[part];
        int pipeFds[2] = {-1, -1};
        c.result = ::memfd_create("korvo-nexus-result", MFD_CLOEXEC);
        if (c.result >= 0 && ::pipe2(pipeFds, O_CLOEXEC) == 0) c.pid = ::fork();
        if (c.pid < 0) {
            r.error = nexus::refusal(shortName, std::string("no process can be started to read it (") +
                                                    std::strerror(errno) + ")");
            if (pipeFds[0] >= 0) ::close(pipeFds[0]), ::close(pipeFds[1]);
            closeAll();
            endAll(true);
            return r;
        }
        if (c.pid == 0) {
            ::close(pipeFds[0]);
            childRead(c.result, bytes, shortName, limits, seconds, part, readers.size());
        }
        ::close(pipeFds[1]);
        c.pipe = pipeFds[0];
    }

    // Everything the children can rightly send: the values a file may hold, their texts and a margin.
    const std::uint64_t most = 16 * limits.maxTotalValues + bytes.size() + (std::uint64_t(64) << 20);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    std::string problem;
    bool cancelled = false;
    for (std::size_t open = readers.size(); open > 0;) {
        if (std::chrono::steady_clock::now() > deadline) {
            problem = "the HDF5 library did not finish reading it within " + std::to_string(seconds) +
                      " s; the file may be damaged";
            break;
        }
        if (keepGoing && !keepGoing()) {
            cancelled = true;
            break;
        }
        std::vector<pollfd> waiting;
        for (const ReadingProcess& c : readers)
            if (c.pipe >= 0) waiting.push_back({c.pipe, POLLIN, 0});
        const int ready = ::poll(waiting.data(), waiting.size(), 100);
        if (ready <= 0) continue; // a time-out, or a signal (EINTR): look at the clock and ask again
        for (const pollfd& p : waiting) {
            if (p.revents == 0) continue;
            char buffer[256];
            const ssize_t n = ::read(p.fd, buffer, sizeof buffer);
            if (n < 0 && errno == EINTR) continue;
            if (n > 0) continue; // a reader writes nothing here
            for (ReadingProcess& c : readers) // the reader is done (or gone)
                if (c.pipe == p.fd) {
                    ::close(c.pipe);
                    c.pipe = -1;
                    --open;
                }
        }
    }
    endAll(!problem.empty() || cancelled);
    if (cancelled) {
        closeAll();
        r.cancelled = true;
        r.error = "Loading was cancelled; nothing was loaded.";
        return r;
    }
    std::vector<nexus::ReadPart> parts;
    for (ReadingProcess& c : readers) {
        if (!problem.empty()) break;
        const int status = c.status;
        if (WIFSIGNALED(status)) {
            problem = "the HDF5 library failed on it (its reading process ended with " +
                      signalName(WTERMSIG(status)) +
                      "); the file is damaged or holds structures the library cannot read safely";
            break;
        }
        if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
            problem = "the HDF5 library failed on it (its reading process ended with status " +
                      std::to_string(WIFEXITED(status) ? WEXITSTATUS(status) : -1) +
                      "); the file is damaged or holds structures the library cannot read safely";
            break;
        }
        struct stat st {};
        std::optional<nexus::ReadPart> decoded;
        if (::fstat(c.result, &st) == 0 && st.st_size > 0 && std::uint64_t(st.st_size) <= most) {
            const std::size_t size = static_cast<std::size_t>(st.st_size);
            void* mapped = ::mmap(nullptr, size, PROT_READ, MAP_PRIVATE | MAP_POPULATE, c.result, 0);
            if (mapped != MAP_FAILED) {
                decoded = nexus::decodePart(std::string_view(static_cast<const char*>(mapped), size));
                ::munmap(mapped, size);
            }
        }
        ::close(c.result);
        c.result = -1;
        if (!decoded) {
            problem = "the reading process gave back no sound result; the file is damaged";
            break;
        }
        parts.push_back(std::move(*decoded));
        if (!parts.back().result) break; // the first refusal in the file's order is the file's
    }
    closeAll();
    if (problem.empty()) {
        NexusReadResult joined = nexus::joinParts(std::move(parts), shortName, limits);
        if (sound(joined, limits)) return joined;
        problem = "the reading process gave back no sound result; the file is damaged";
    }
    r.error = nexus::refusal(shortName, problem);
    return r;
}

// A file from this size on is mapped rather than read: the child reads it from the page cache, and
// this process copies none of its hundred megabytes.
constexpr std::uint64_t kMapFrom = std::uint64_t(1) << 20;

class MappedFile {
public:
    ~MappedFile() {
        if (data_) ::munmap(data_, size_);
    }
    // The file open as `fd`, of `size` bytes; false when it cannot be mapped.
    bool map(int fd, std::size_t size) {
        void* p = ::mmap(nullptr, size, PROT_READ, MAP_PRIVATE, fd, 0);
        if (p == MAP_FAILED) return false;
        ::madvise(p, size, MADV_WILLNEED);
        data_ = p;
        size_ = size;
        return true;
    }
    std::string_view bytes() const { return {static_cast<const char*>(data_), size_}; }

private:
    void* data_ = nullptr;
    std::size_t size_ = 0;
};

// Whether the file carries the HDF5 signature, read with pread (the mapping is the child's to touch).
bool fileHasSignature(int fd, std::uint64_t size) {
    char start[8];
    for (std::uint64_t at : hdf5SignatureOffsets(size))
        if (::pread(fd, start, sizeof start, static_cast<off_t>(at)) == static_cast<ssize_t>(sizeof start) &&
            hasHdf5Signature(std::string_view(start, sizeof start)))
            return true;
    return false;
}

} // namespace

NexusReadResult readNexusIsolated(std::string_view bytes, std::string_view shortName, const NexusReadLimits& limits,
                                  const std::function<bool()>& keepGoing) {
    // Without the signature (or beyond the size) the file is refused before the library sees it.
    if (bytes.size() > limits.maxFileBytes || !hasHdf5Signature(bytes)) return readNexusBytes(bytes, shortName, limits);
    return readInChild(bytes, shortName, limits, keepGoing);
}

NexusReadResult readNexusFile(const std::string& path, const NexusReadLimits& limits,
                              const std::function<bool()>& keepGoing) {
    NexusReadResult r;
    const std::string shortName = fileNameWithoutDirectory(path);
    // O_NONBLOCK: a named pipe does not block the open; it is refused as no regular file.
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    struct stat st {};
    if (fd >= 0 && ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && std::uint64_t(st.st_size) >= kMapFrom &&
        std::uint64_t(st.st_size) <= limits.maxFileBytes) {
        const std::size_t size = static_cast<std::size_t>(st.st_size);
        MappedFile mapped;
        if (fileHasSignature(fd, size) && mapped.map(fd, size)) {
            ::close(fd);
            return readInChild(mapped.bytes(), shortName, limits, keepGoing);
        }
    }
    if (fd >= 0) ::close(fd);
    if (fd >= 0 && S_ISREG(st.st_mode) && std::uint64_t(st.st_size) > limits.maxFileBytes) {
        r.error = "Cannot read \"" + path + "\": the file is too large";
        return r;
    }
    // Small files, and what is refused (not there, no regular file, no signature), as read.
    const std::optional<std::string> bytes = readFile(path, &r.error, limits.maxFileBytes);
    if (!bytes) return r;
    return readNexusIsolated(*bytes, shortName, limits, keepGoing);
}

} // namespace korvo

#include "viewer/scienta_import.h"

#include "common/file_util.h"
#include "common/number_text.h"
#include "files/scienta_file.h"
#include "viewer/load_staging.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>

namespace korvo {
namespace {

constexpr std::string_view kDirectoryPrefix = "korvo-scienta-";

// The process number in "korvo-scienta-PID-XXXXXX", or 0 for any other name.
long directoryOwner(std::string_view name) {
    if (name.substr(0, kDirectoryPrefix.size()) != kDirectoryPrefix) return 0;
    name.remove_prefix(kDirectoryPrefix.size());
    const std::size_t dash = name.find('-');
    if (dash == 0 || dash > 18 || name.size() != dash + 7 ||
        name.substr(0, dash).find_first_not_of("0123456789") != std::string_view::npos)
        return 0;
    return std::stol(std::string(name.substr(0, dash)));
}

// The directories that imports of programs since killed left in `base`, with their files: ours only,
// and never one whose program still runs.
void removeStaleDirectories(const std::string& base) {
    DIR* dir = ::opendir(base.c_str());
    if (!dir) return;
    const int baseFd = ::dirfd(dir);
    const uid_t me = ::geteuid();
    while (const dirent* e = ::readdir(dir)) {
        const long pid = directoryOwner(e->d_name);
        if (pid == 0 || processRunning(pid)) continue;
        const int fd = ::openat(baseFd, e->d_name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        if (fd < 0) continue;
        struct stat st {};
        DIR* inner = ::fstat(fd, &st) == 0 && st.st_uid == me ? ::fdopendir(fd) : nullptr;
        if (!inner) {
            ::close(fd);
            continue;
        }
        while (const dirent* f = ::readdir(inner))
            if (std::strcmp(f->d_name, ".") != 0 && std::strcmp(f->d_name, "..") != 0) ::unlinkat(fd, f->d_name, 0);
        ::closedir(inner);
        ::unlinkat(baseFd, e->d_name, AT_REMOVEDIR);
    }
    ::closedir(dir);
}

bool makePrivateDirectory(std::string& dir, std::string& error) {
    std::error_code ec;
    std::filesystem::path base = std::filesystem::temp_directory_path(ec);
    if (ec) base = "/tmp";
    // An import killed before it removed its files leaves them; the next one clears them away.
    removeStaleDirectories(base.string());
    std::string pattern = (base / (std::string(kDirectoryPrefix) + std::to_string(::getpid()) + "-XXXXXX")).string();
    // mkdtemp makes the directory with mode 0700 under a name nobody could have planted.
    if (!::mkdtemp(pattern.data())) {
        error = "Cannot make a temporary directory in \"" + base.string() + "\": " + std::strerror(errno);
        return false;
    }
    dir = std::move(pattern);
    return true;
}

// A new file in the private directory; O_EXCL and O_NOFOLLOW refuse anything already there.
bool writeNewFile(const std::string& path, std::string_view bytes, std::string& error) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd < 0) {
        error = "Cannot create \"" + path + "\": " + std::strerror(errno);
        return false;
    }
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            error = "Cannot write \"" + path + "\": " + std::strerror(n < 0 ? errno : ENOSPC);
            ::close(fd);
            return false;
        }
        done += static_cast<std::size_t>(n);
    }
    if (::close(fd) != 0) {
        error = "Cannot write \"" + path + "\": " + std::strerror(errno);
        return false;
    }
    return true;
}

bool inDirectory(const std::string& path, const std::string& dir) {
    return !dir.empty() && path.size() > dir.size() + 1 && path.compare(0, dir.size(), dir) == 0 &&
           path[dir.size()] == '/';
}

} // namespace

void discardScientaFiles(LoadList& list) {
    if (!list.ScientaTempFlag && list.tempDirectory.empty()) return;
    for (const std::string& path : list.paths)
        if (list.ScientaTempFlag || inDirectory(path, list.tempDirectory)) ::unlink(path.c_str());
    if (!list.tempDirectory.empty()) ::rmdir(list.tempDirectory.c_str());
    list.paths.clear();
    list.tempDirectory.clear();
    list.ScientaTempFlag = false;
}

ScientaImportOutcome importScientaFiles(const std::vector<std::string>& paths, LoadList& list) {
    // Temporary files of an earlier import that were never loaded would stay behind for good.
    discardScientaFiles(list);
    list.paths.clear();
    ScientaImportOutcome out;
    const auto end = [&](const std::string& path, std::string text) {
        discardScientaFiles(list);
        out.messages.push_back({path, std::move(text)});
        out.ended = true;
        out.filesImported = 0;
        return out;
    };
    if (paths.empty()) return out;
    std::string error;
    if (!makePrivateDirectory(list.tempDirectory, error)) return end("", error);

    for (const std::string& path : paths) {
        const ScientaReadResult r = readScientaFile(path);
        if (r.fault == ScientaFault::ReadError) return end(path, r.error);
        if (!r) {
            out.messages.push_back({path, r.error});
            continue;
        }
        const auto slices = static_cast<std::size_t>(r.data.header.slices);
        if (list.paths.size() + slices > static_cast<std::size_t>(kMaxLoadFiles)) {
            out.messages.push_back(
                {path, "Cannot import the Scienta file " + fileNameWithoutDirectory(pathText(path)) + ": its " +
                           std::to_string(slices) + " slices would make more than " + std::to_string(kMaxLoadFiles) +
                           " files for one load (" + std::to_string(list.paths.size()) + " are listed already)."});
            continue;
        }
        for (std::size_t s = 1; s <= slices; ++s) {
            const std::string name =
                "_temp_" + text::formatPattern(static_cast<double>(list.paths.size() + 1), "0000") + ".tmp";
            const std::string temp = list.tempDirectory + "/" + name;
            // Listed before it is written, so that a failed write is cleaned up with the others.
            list.paths.push_back(temp);
            if (!writeNewFile(temp, scientaSliceText(r.data, static_cast<int>(s)), error)) return end(path, error);
        }
        ++out.filesImported;
    }
    if (list.paths.empty()) {
        discardScientaFiles(list);
        return out;
    }
    list.ScientaTempFlag = true;
    return out;
}

} // namespace korvo

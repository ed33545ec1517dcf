#include "cli/staged_outputs.h"

#include "common/file_util.h"
#include "files/spectrum_info.h"

#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <filesystem>
#include <iostream>
#include <optional>
#include <sys/stat.h>
#include <unistd.h>

namespace korvo {
namespace {

constexpr std::string_view kMark = ".convert-";
constexpr std::string_view kBackupSuffix = ".old";

// A hidden file of a staged write: ".NAME.convert-PID-N", its backup (".old" appended) or the
// temporary file of its own atomic write (".tmp" and six characters appended).
struct StagedName {
    std::string target;
    long pid = 0;
    bool backup = false;
};

bool allDigits(std::string_view s) {
    return !s.empty() && s.size() <= 18 && s.find_first_not_of("0123456789") == std::string_view::npos;
}

std::optional<StagedName> parseStagedName(std::string_view name) {
    const std::size_t mark = name.rfind(kMark);
    if (name.size() < 2 || name[0] != '.' || mark == std::string_view::npos || mark < 2) return std::nullopt;
    std::string_view rest = name.substr(mark + kMark.size());
    StagedName out;
    out.target = std::string(name.substr(1, mark - 1));
    const std::size_t dash = rest.find('-');
    if (dash == std::string_view::npos || !allDigits(rest.substr(0, dash))) return std::nullopt;
    out.pid = std::stol(std::string(rest.substr(0, dash)));
    rest.remove_prefix(dash + 1);
    const std::size_t end = rest.find_first_not_of("0123456789");
    if (end == 0) return std::nullopt;
    const std::string_view suffix = end == std::string_view::npos ? std::string_view() : rest.substr(end);
    if (suffix == kBackupSuffix)
        out.backup = true;
    else if (!suffix.empty() && !(suffix.size() == 10 && suffix.substr(0, 4) == ".tmp"))
        return std::nullopt;
    return out;
}

bool existsNoFollow(const std::string& path) {
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0;
}

std::string kindOf(mode_t mode) {
    if (S_ISDIR(mode)) return "a directory";
    if (S_ISFIFO(mode)) return "a named pipe";
    if (S_ISCHR(mode) || S_ISBLK(mode)) return "a device";
    return "not a regular file";
}

std::string notRegular(const std::string& target, mode_t mode) {
    return "cannot write \"" + target + "\": it is " + kindOf(mode) + ", not a regular file";
}

// The directory an output goes into: "." for a bare file name.
std::string directoryOf(const std::filesystem::path& target) {
    return target.parent_path().empty() ? std::string(".") : target.parent_path().string();
}

} // namespace

void removeStaleStagedFiles(const std::string& directory) {
    DIR* dir = ::opendir(directory.c_str());
    if (!dir) return;
    const int dfd = ::dirfd(dir);
    const uid_t me = ::geteuid();
    while (const dirent* e = ::readdir(dir)) {
        const auto staged = parseStagedName(e->d_name);
        if (!staged || processRunning(staged->pid)) continue;
        struct stat st {};
        if (::fstatat(dfd, e->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0 || st.st_uid != me ||
            !(S_ISREG(st.st_mode) || S_ISLNK(st.st_mode)))
            continue;
        struct stat target {};
        if (staged->backup && ::fstatat(dfd, staged->target.c_str(), &target, AT_SYMLINK_NOFOLLOW) != 0 &&
            errno == ENOENT) {
            ::renameat(dfd, e->d_name, dfd, staged->target.c_str());
            continue;
        }
        ::unlinkat(dfd, e->d_name, 0);
    }
    ::closedir(dir);
}

std::string outputProblem(const CommandInputs& inputs, const std::string& target) {
    if (target.empty()) return "an output needs a file name";
    if (std::string why = inputs.refusal(target); !why.empty()) return why;
    struct stat st {};
    if (::stat(target.c_str(), &st) == 0 && !S_ISREG(st.st_mode)) return notRegular(target, st.st_mode);
    const std::string dir = directoryOf(target);
    if (::stat(dir.c_str(), &st) != 0 || !S_ISDIR(st.st_mode))
        return "cannot write \"" + target + "\": there is no directory \"" + dir + "\"";
    if (::access(dir.c_str(), W_OK | X_OK) != 0)
        return "cannot write \"" + target + "\": the directory \"" + dir + "\" is not writable";
    return {};
}

StagedOutputs::~StagedOutputs() {
    for (const auto& o : outputs_) ::unlink(o.staged.c_str());
}

bool StagedOutputs::add(const std::string& target, std::string_view bytes, std::string& error) {
    const std::filesystem::path t(target);
    std::error_code ec;
    const std::string normal = std::filesystem::absolute(t, ec).lexically_normal().string();
    if (!targets_.insert(ec ? target : normal).second) {
        error = "two of the files would both be written as \"" + target + "\"";
        return false;
    }
    if (std::string why = inputs_.refusal(target); !why.empty()) {
        error = why;
        return false;
    }
    struct stat st {};
    if (::lstat(target.c_str(), &st) == 0 && !S_ISREG(st.st_mode) && !S_ISLNK(st.st_mode)) {
        error = notRegular(target, st.st_mode);
        return false;
    }
    const std::string dir = directoryOf(t);
    if (directories_.insert(dir).second) removeStaleStagedFiles(dir);
    // Built up in place: "." + text reads to GCC 12 as an overlapping copy (-Wrestrict).
    std::string name(1, '.');
    name += t.filename().string();
    name += std::string(kMark) + std::to_string(::getpid()) + "-" + std::to_string(outputs_.size());
    const std::string staged = (t.parent_path() / name).string();
    outputs_.push_back({target, staged, {}});
    if (!writeFileAtomic(staged, bytes, &error)) {
        error = "cannot write \"" + target + "\": " + error;
        return false;
    }
    return true;
}

void StagedOutputs::rollBack(std::size_t upTo) {
    for (std::size_t j = upTo + 1; j-- > 0;) {
        Output& o = outputs_[j];
        if (!o.backup.empty())
            ::rename(o.backup.c_str(), o.target.c_str());
        else if (!existsNoFollow(o.staged))
            ::unlink(o.target.c_str()); // it was new: the staged file is in its place
    }
}

bool StagedOutputs::commit(std::string& error, bool list) {
    for (std::size_t i = 0; i < outputs_.size(); ++i) {
        Output& o = outputs_[i];
        const auto fail = [&](const std::string& why) {
            error = "cannot write \"" + o.target + "\": " + why;
            rollBack(i);
            return false;
        };
        struct stat st {};
        if (::lstat(o.target.c_str(), &st) == 0) {
            if (!S_ISREG(st.st_mode) && !S_ISLNK(st.st_mode))
                return fail("it is " + kindOf(st.st_mode) + ", not a regular file");
            // The old file stays reachable until the whole set is in place: a second name where the
            // file system has hard links, else the file itself moved aside.
            const std::string backup = o.staged + std::string(kBackupSuffix);
            if (::link(o.target.c_str(), backup.c_str()) != 0 &&
                ::rename(o.target.c_str(), backup.c_str()) != 0)
                return fail(std::strerror(errno));
            o.backup = backup;
        }
        if (::rename(o.staged.c_str(), o.target.c_str()) != 0) return fail(std::strerror(errno));
    }
    for (const auto& o : outputs_)
        if (!o.backup.empty()) ::unlink(o.backup.c_str());
    if (list)
        for (const auto& o : outputs_) std::cout << escapeForTerminal(o.target) << "\n";
    outputs_.clear();
    return true;
}

} // namespace korvo

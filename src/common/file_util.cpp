#include "common/file_util.h"

#include <algorithm>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <string>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace korvo {

namespace {

void setError(std::string* error, const std::string& what, const std::string& path, int err) {
    if (error) *error = what + " \"" + path + "\": " + std::strerror(err);
}

std::string baseNameOf(const std::string& path) {
    const auto slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

const char* kindOf(mode_t mode) {
    if (S_ISDIR(mode)) return "a directory";
    if (S_ISCHR(mode)) return "a character device";
    if (S_ISBLK(mode)) return "a block device";
    if (S_ISFIFO(mode)) return "a named pipe";
    if (S_ISSOCK(mode)) return "a socket";
    return "something else";
}

bool refuseKind(std::string* error, const std::string& path, mode_t mode) {
    if (error) *error = "Cannot write \"" + path + "\": it is " + kindOf(mode) + ", not a regular file";
    return false;
}

bool sameFile(const struct stat& a, const struct stat& b) {
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

// fsync of the directory makes the rename itself durable; not every file system supports it, so a
// failure here is not an error of the write.
void syncDirectory(const std::string& dir) {
    const int fd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return;
    ::fsync(fd);
    ::close(fd);
}

// The regular file a chain of symbolic links at `link` leads to, when every link on the way and the
// file itself belong to the effective user. Someone else's link could be turned at any time to one
// of the user's own files (~/.bashrc) and have it overwritten with settings.
std::optional<std::string> ownLinkTarget(const std::string& link, struct stat& file) {
    const uid_t me = ::geteuid();
    std::string at = link;
    for (int hop = 0; hop < 40; ++hop) { // the kernel's own limit for a chain of links
        struct stat st {};
        if (::lstat(at.c_str(), &st) != 0 || st.st_uid != me) return std::nullopt;
        if (S_ISREG(st.st_mode)) {
            char* real = ::realpath(at.c_str(), nullptr);
            if (!real) return std::nullopt;
            std::string path = real;
            std::free(real);
            if (::lstat(path.c_str(), &file) != 0 || !sameFile(file, st)) return std::nullopt;
            return path;
        }
        if (!S_ISLNK(st.st_mode)) return std::nullopt;
        std::string next(static_cast<std::size_t>(st.st_size > 0 ? st.st_size : 4096) + 1, '\0');
        const ssize_t n = ::readlink(at.c_str(), next.data(), next.size());
        if (n <= 0 || static_cast<std::size_t>(n) >= next.size()) return std::nullopt;
        next.resize(static_cast<std::size_t>(n));
        at = next.front() == '/' ? next : directoryOf(at) + "/" + next;
    }
    return std::nullopt;
}

// Temporary files of writes to `path` that were killed before their rename: "<name>.tmp" and the
// six characters mkstemp adds, regular files of ours. A writer holds a lock on its temporary file
// until the rename, so one that can be locked belongs to nobody any more.
void removeStaleTemporaries(const std::string& path) {
    const std::string prefix = baseNameOf(path) + ".tmp";
    DIR* dir = ::opendir(directoryOf(path).c_str());
    if (!dir) return;
    const int dfd = ::dirfd(dir);
    const uid_t me = ::geteuid();
    while (const dirent* e = ::readdir(dir)) {
        const std::string_view name(e->d_name);
        if (name.size() != prefix.size() + 6 || name.substr(0, prefix.size()) != prefix) continue;
        struct stat st {};
        // Checked before the open: opening a device can have effects of its own.
        if (::fstatat(dfd, e->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISREG(st.st_mode) ||
            st.st_uid != me)
            continue;
        const int fd = ::openat(dfd, e->d_name, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
        if (fd < 0) continue;
        struct stat opened {
        }, now{};
        if (::fstat(fd, &opened) == 0 && sameFile(opened, st) && ::flock(fd, LOCK_EX | LOCK_NB) == 0 &&
            ::fstatat(dfd, e->d_name, &now, AT_SYMLINK_NOFOLLOW) == 0 && sameFile(now, opened))
            ::unlinkat(dfd, e->d_name, 0);
        ::close(fd);
    }
    ::closedir(dir);
}

// A new temporary file beside `path`, locked for as long as the returned descriptor is open, so that
// removeStaleTemporaries() of another writer leaves it alone. -1 with errno on failure.
int createLockedTemporary(const std::string& path, std::string& name) {
    for (int attempt = 0; attempt < 8; ++attempt) {
        name = path + ".tmpXXXXXX";
        const int fd = ::mkstemp(name.data());
        if (fd < 0) return -1;
        // Between mkstemp and flock another writer's cleanup may have taken the file for a leftover
        // and removed it; then the name is no longer ours and another one is tried.
        struct stat opened {
        }, named{};
        if (::flock(fd, LOCK_EX | LOCK_NB) == 0 && ::fstat(fd, &opened) == 0 &&
            ::lstat(name.c_str(), &named) == 0 && sameFile(opened, named))
            return fd;
        ::close(fd);
    }
    errno = EEXIST;
    return -1;
}

} // namespace

std::string safeFileName(std::string_view name) {
    // NAME_MAX is 255 bytes; room is left for the hidden names a staged write adds around it.
    constexpr std::size_t kMaxBytes = 200;
    std::string out;
    for (const char c : name) {
        const auto u = static_cast<unsigned char>(c);
        out += (c == '/' || u < 0x20 || u == 0x7F) ? '_' : c;
    }
    if (out.size() > kMaxBytes) {
        std::size_t cut = kMaxBytes;
        while (cut > 0 && (static_cast<unsigned char>(out[cut]) & 0xC0) == 0x80) --cut;
        out.resize(cut);
    }
    // Neither "." nor ".." nor a hidden file that nobody would see written.
    if (out.empty())
        out = "_";
    else if (out[0] == '.')
        out[0] = '_';
    return out;
}

bool processRunning(long pid) {
    if (pid <= 0 || pid != static_cast<long>(static_cast<pid_t>(pid))) return false;
    return ::kill(static_cast<pid_t>(pid), 0) == 0 || errno == EPERM;
}

std::string directoryOf(const std::string& path) {
    const auto slash = path.find_last_of('/');
    if (slash == std::string::npos) return ".";
    if (slash == 0) return "/";
    return path.substr(0, slash);
}

bool writeFileAtomic(const std::string& target, std::string_view bytes, std::string* error,
                     LinkPolicy links) {
    if (target.empty() || target.back() == '/') {
        if (error) *error = "Cannot write \"" + target + "\": not a file name";
        return false;
    }
    // Where the new file goes, and the file it replaces (whose mode it keeps).
    std::string path = target;
    struct stat old {};
    bool replacesFile = false;
    if (::lstat(target.c_str(), &old) == 0) {
        if (S_ISREG(old.st_mode)) {
            replacesFile = true;
        } else if (S_ISLNK(old.st_mode)) {
            struct stat file {};
            const auto followed = links == LinkPolicy::FollowOwn ? ownLinkTarget(target, file) : std::nullopt;
            if (followed) {
                path = *followed;
                old = file;
                replacesFile = true;
            }
        } else {
            return refuseKind(error, target, old.st_mode);
        }
    } else if (errno != ENOENT) {
        setError(error, "Cannot write", target, errno);
        return false;
    }

    removeStaleTemporaries(path);
    std::string tmpl;
    int fd = createLockedTemporary(path, tmpl);
    if (fd < 0) {
        setError(error, "Cannot create a file in the directory of", path, errno);
        return false;
    }
    // mkstemp creates the file with mode 0600; a settings or spectrum file should be as readable
    // as any other file the user creates, and a replaced file keeps its mode. A replaced link tells
    // nothing about the mode the user wants.
    mode_t mode = 0666;
    if (replacesFile) {
        mode = old.st_mode & 07777;
    } else {
        const mode_t mask = ::umask(0);
        ::umask(mask);
        mode &= ~mask;
    }
    ::fchmod(fd, mode);

    int lockFd = -1;
    auto fail = [&](const char* what, int err) {
        if (fd >= 0) ::close(fd);
        ::unlink(tmpl.c_str());
        if (lockFd >= 0) ::close(lockFd);
        setError(error, what, path, err);
        return false;
    };
    const char* p = bytes.data();
    std::size_t left = bytes.size();
    while (left > 0) {
        const ssize_t n = ::write(fd, p, left);
        if (n < 0) {
            if (errno == EINTR) continue;
            return fail("Cannot write", errno);
        }
        p += n;
        left -= static_cast<std::size_t>(n);
    }
    if (::fsync(fd) != 0 && errno != EINVAL && errno != EROFS) return fail("Cannot flush", errno);
    // The duplicate shares the lock, which has to last until the rename; the close of the
    // original still reports a late write error of file systems that only flush on close.
    lockFd = ::dup(fd);
    if (lockFd < 0) return fail("Cannot write", errno);
    const int closed = ::close(fd);
    const int closeErr = errno;
    fd = -1;
    if (closed != 0) return fail("Cannot write", closeErr);
    // The target may have changed since it was checked; a device or pipe put there meanwhile is
    // still not replaced.
    struct stat now {};
    if (::lstat(path.c_str(), &now) == 0 && !S_ISREG(now.st_mode) && !S_ISLNK(now.st_mode)) {
        ::unlink(tmpl.c_str());
        ::close(lockFd);
        return refuseKind(error, path, now.st_mode);
    }
    if (::rename(tmpl.c_str(), path.c_str()) != 0) return fail("Cannot replace", errno);
    ::close(lockFd);
    syncDirectory(directoryOf(path));
    return true;
}

std::optional<std::string> readFile(const std::string& path, std::string* error, std::size_t maxBytes) {
    // O_NONBLOCK keeps a named pipe from blocking the open until a writer appears; it does not
    // change how a regular file is read.
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        setError(error, "Cannot open", path, errno);
        return std::nullopt;
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        if (error) *error = "Cannot read \"" + path + "\": not a regular file";
        return std::nullopt;
    }
    // Read straight into the text, which has the file's size (within the limit) from the start: a
    // file of a hundred megabytes is neither copied nor moved to a larger buffer on the way. Each
    // read asks for no more than the room left, so the last one, which finds the end, does not make
    // the text grow either; only a file that grew since fstat() gets a larger buffer.
    std::string out;
    if (st.st_size > 0) out.reserve(std::min<std::size_t>(static_cast<std::size_t>(st.st_size), maxBytes) + 1);
    constexpr std::size_t kChunk = std::size_t(1) << 20;
    for (;;) {
        const std::size_t have = out.size();
        const std::size_t chunk = out.capacity() > have ? std::min(kChunk, out.capacity() - have) : kChunk;
        out.resize(have + chunk);
        const ssize_t n = ::read(fd, out.data() + have, chunk);
        out.resize(have + static_cast<std::size_t>(std::max<ssize_t>(n, 0)));
        if (n < 0) {
            if (errno == EINTR) continue;
            const int err = errno;
            ::close(fd);
            setError(error, "Cannot read", path, err);
            return std::nullopt;
        }
        if (n == 0) break;
        if (out.size() > maxBytes) {
            ::close(fd);
            if (error) *error = "Cannot read \"" + path + "\": the file is too large";
            return std::nullopt;
        }
    }
    ::close(fd);
    return out;
}

} // namespace korvo

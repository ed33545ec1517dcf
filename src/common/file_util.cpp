#include "common/file_util.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace korvo {

namespace {

void setError(std::string* error, const std::string& what, const std::string& path, int err) {
    if (error) *error = what + " \"" + path + "\": " + std::strerror(err);
}

// fsync of the directory makes the rename itself durable; not every file system supports it, so a
// failure here is not an error of the write.
void syncDirectory(const std::string& dir) {
    const int fd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return;
    ::fsync(fd);
    ::close(fd);
}

} // namespace

std::string directoryOf(const std::string& path) {
    const auto slash = path.find_last_of('/');
    if (slash == std::string::npos) return ".";
    if (slash == 0) return "/";
    return path.substr(0, slash);
}

bool writeFileAtomic(const std::string& target, std::string_view bytes, std::string* error) {
    if (target.empty() || target.back() == '/') {
        if (error) *error = "Cannot write \"" + target + "\": not a file name";
        return false;
    }
    // A symbolic link (a settings file kept elsewhere) stays a link: the file it points to is
    // replaced, not the link itself.
    std::string path = target;
    struct stat link {};
    if (::lstat(target.c_str(), &link) == 0 && S_ISLNK(link.st_mode)) {
        if (char* real = ::realpath(target.c_str(), nullptr)) {
            path = real;
            std::free(real);
        }
    }
    std::string tmpl = path + ".tmpXXXXXX";
    const int fd = ::mkstemp(tmpl.data());
    if (fd < 0) {
        setError(error, "Cannot create a file in the directory of", path, errno);
        return false;
    }
    // mkstemp creates the file with mode 0600; a settings or spectrum file should be as readable
    // as any other file the user creates, and a replaced file keeps its mode.
    struct stat old {};
    mode_t mode = 0666;
    if (::stat(path.c_str(), &old) == 0) {
        mode = old.st_mode & 07777;
    } else {
        const mode_t mask = ::umask(0);
        ::umask(mask);
        mode &= ~mask;
    }
    ::fchmod(fd, mode);

    auto fail = [&](const char* what, int err) {
        ::close(fd);
        ::unlink(tmpl.c_str());
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
    if (::close(fd) != 0) {
        const int err = errno;
        ::unlink(tmpl.c_str());
        setError(error, "Cannot write", path, err);
        return false;
    }
    if (::rename(tmpl.c_str(), path.c_str()) != 0) {
        const int err = errno;
        ::unlink(tmpl.c_str());
        setError(error, "Cannot replace", path, err);
        return false;
    }
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
    std::string out;
    char buf[65536];
    for (;;) {
        const ssize_t n = ::read(fd, buf, sizeof buf);
        if (n < 0) {
            if (errno == EINTR) continue;
            const int err = errno;
            ::close(fd);
            setError(error, "Cannot read", path, err);
            return std::nullopt;
        }
        if (n == 0) break;
        if (out.size() + static_cast<std::size_t>(n) > maxBytes) {
            ::close(fd);
            if (error) *error = "Cannot read \"" + path + "\": the file is too large";
            return std::nullopt;
        }
        out.append(buf, static_cast<std::size_t>(n));
    }
    ::close(fd);
    return out;
}

} // namespace korvo

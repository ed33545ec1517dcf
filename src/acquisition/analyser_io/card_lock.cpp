#include "acquisition/analyser_io/card_lock.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace korvo {

std::string cardLockPath() {
    const char* own = std::getenv("KORVO_CARD_LOCK");
    return own && *own ? own : "/run/lock/korvo-analyser-card.lock";
}

namespace {

// The process number the holder wrote, or empty.
std::string holderOf(int fd) {
    char buf[32] = {};
    const ssize_t n = pread(fd, buf, sizeof buf - 1, 0);
    if (n <= 0) return {};
    std::string s(buf, std::size_t(n));
    while (!s.empty() && (s.back() == '\n' || s.back() == ' ')) s.pop_back();
    return s.find_first_not_of("0123456789") == std::string::npos ? s : std::string();
}

} // namespace

std::unique_ptr<CardLock> CardLock::acquire(const std::string& path, std::string* error) {
    // Read-write when we may, read-only for a file another user created: flock() needs neither. No
    // link is followed and no device opened: a planted link or FIFO must not be written through.
    int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK, 0644);
    if (fd < 0 && errno == EACCES) fd = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        if (error) *error = "The analyser card's lock " + path + " cannot be opened: " + std::strerror(errno);
        return nullptr;
    }
    struct stat st {};
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        if (error) *error = "The analyser card's lock " + path + " is not a regular file.";
        return nullptr;
    }
    if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
        const std::string holder = holderOf(fd);
        ::close(fd);
        if (error)
            *error = "The analyser card is in use by another program" +
                     (holder.empty() ? std::string() : " (process " + holder + ")") + ": it holds the lock " +
                     path + ".";
        return nullptr;
    }
    const std::string pid = std::to_string(getpid()) + "\n";
    if (ftruncate(fd, 0) == 0 && pwrite(fd, pid.data(), pid.size(), 0) < 0) {
        // A lock file we may not write still locks; the refused program just cannot name us.
    }
    return std::unique_ptr<CardLock>(new CardLock(fd));
}

CardLock::~CardLock() {
    ::close(fd_);
}

} // namespace korvo

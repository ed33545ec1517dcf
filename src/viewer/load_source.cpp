#include "viewer/load_source.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace korvo {
namespace {

std::string errnoText(const char* what, const std::string& path, int err) {
    return std::string(what) + " \"" + path + "\": " + std::strerror(err);
}

const char* fileKind(mode_t mode) {
    if (S_ISDIR(mode)) return "a directory";
    if (S_ISFIFO(mode)) return "a named pipe";
    if (S_ISCHR(mode)) return "a character device";
    if (S_ISBLK(mode)) return "a block device";
    if (S_ISSOCK(mode)) return "a socket";
    return "a special file";
}

std::string megabytes(std::uint64_t bytes) {
    return std::to_string((bytes + (std::uint64_t(1) << 20) - 1) >> 20) + " MB";
}

} // namespace

char* LoadBuffer::data() {
    // Not zeroed: every byte handed out has just been read into it.
    if (!bytes_) bytes_ = std::make_unique_for_overwrite<char[]>(kPieceBytes);
    return bytes_.get();
}

std::unique_ptr<LoadFileSource> LoadFileSource::open(const std::string& path, std::uint64_t maxBytes,
                                                     LoadBuffer& buffer, std::string& error) {
    // O_NONBLOCK keeps a named pipe from blocking the open until a writer appears.
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (fd < 0) {
        error = errnoText("Cannot open", path, errno);
        return nullptr;
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0) {
        error = errnoText("Cannot read", path, errno);
        ::close(fd);
        return nullptr;
    }
    if (!S_ISREG(st.st_mode)) {
        error = "Cannot read \"" + path + "\": " + fileKind(st.st_mode) + ", not a spectrum file";
        ::close(fd);
        return nullptr;
    }
    const auto size = static_cast<std::uint64_t>(st.st_size);
    if (size > maxBytes) {
        error = "Cannot read \"" + path + "\": the file is too large (" + megabytes(size) + ", at most " +
                megabytes(maxBytes) + ")";
        ::close(fd);
        return nullptr;
    }
    return std::unique_ptr<LoadFileSource>(new LoadFileSource(fd, path, size, maxBytes, buffer));
}

LoadFileSource::LoadFileSource(int fd, std::string path, std::uint64_t size, std::uint64_t maxBytes,
                               LoadBuffer& buffer)
    : fd_(fd), path_(std::move(path)), size_(size), maxBytes_(maxBytes), buffer_(buffer) {}

LoadFileSource::~LoadFileSource() {
    ::close(fd_);
}

void LoadFileSource::setProgress(const LoadProgressHook* hook, LoadProgress where) {
    hook_ = hook && *hook ? hook : nullptr;
    where_ = where;
}

bool LoadFileSource::next(std::string_view& piece, std::string& error) {
    if (started_ && hook_) {
        where_.bytesDone = read_;
        where_.bytesTotal = size_;
        if (!(*hook_)(where_)) {
            cancelled_ = true;
            error = "Loading was cancelled.";
            return false;
        }
    }
    started_ = true;
    for (;;) {
        const ssize_t n = ::read(fd_, buffer_.data(), LoadBuffer::kPieceBytes);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            error = errnoText("Cannot read", path_, errno);
            return false;
        }
        // A file that grows while it is read is held to the same bound as one that is large from
        // the start.
        read_ += static_cast<std::uint64_t>(n);
        if (read_ > maxBytes_) {
            error = "Cannot read \"" + path_ + "\": the file is too large (more than " + megabytes(maxBytes_) + ")";
            return false;
        }
        piece = std::string_view(buffer_.data(), static_cast<std::size_t>(n));
        return true;
    }
}

bool LoadFileSource::rewind(std::string& error) {
    if (::lseek(fd_, 0, SEEK_SET) != 0) {
        error = errnoText("Cannot read", path_, errno);
        return false;
    }
    read_ = 0;
    return true;
}

} // namespace korvo

#include "common/run_log.h"

#include "common/file_util.h"
#include "common/platform_info.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>

namespace korvo {

namespace {

// A detail longer than this is cut: one event never fills the log.
constexpr std::size_t kMaxDetailBytes = 4000;

void appendHex(std::string& out, const char* prefix, unsigned value, int digits) {
    char buffer[16];
    std::snprintf(buffer, sizeof buffer, "%s%0*X", prefix, digits, value);
    out += buffer;
}

// Length of the UTF-8 sequence at `i` and its code point; 0 when the bytes there are no valid
// sequence (overlong forms and surrogates included).
std::size_t utf8Sequence(std::string_view s, std::size_t i, char32_t& cp) {
    const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(s[k]); };
    const unsigned char b = byte(i);
    std::size_t n = 0;
    char32_t min = 0;
    if (b >= 0xC2 && b <= 0xDF) n = 2, cp = b & 0x1F, min = 0x80;
    else if (b >= 0xE0 && b <= 0xEF) n = 3, cp = b & 0x0F, min = 0x800;
    else if (b >= 0xF0 && b <= 0xF4) n = 4, cp = b & 0x07, min = 0x10000;
    else return 0;
    if (i + n > s.size()) return 0;
    for (std::size_t k = 1; k < n; ++k) {
        if ((byte(i + k) & 0xC0) != 0x80) return 0;
        cp = (cp << 6) | (byte(i + k) & 0x3F);
    }
    if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return 0;
    return n;
}

// mkdir -p, private as the XDG base directories ask of what they create; what exists stays as it is.
void makePrivateDirectories(const std::string& dir) {
    for (std::size_t pos = 1; pos <= dir.size(); ++pos)
        if (pos == dir.size() || dir[pos] == '/') ::mkdir(dir.substr(0, pos).c_str(), 0700);
}

std::string systemError(int e) {
    return std::strerror(e);
}

bool sameDirectory(const std::string& a, const std::string& b) {
    namespace fs = std::filesystem;
    if (fs::path(a).lexically_normal() == fs::path(b).lexically_normal()) return true;
    std::error_code ec;
    return fs::equivalent(a, b, ec) && !ec;
}

// Escapes `text` onto `out` until it would grow beyond `limit` bytes; false when it was cut there.
bool escapeInto(std::string& out, std::string_view text, std::size_t limit) {
    std::string piece;
    for (std::size_t i = 0; i < text.size();) {
        piece.clear();
        const auto c = static_cast<unsigned char>(text[i]);
        std::size_t n = 1;
        char32_t cp = 0;
        if (c < 0x80) {
            if (c == '\\') piece = "\\\\";
            else if (c == '\r') piece = "\\r";
            else if (c == '\n') piece = "\\n";
            else if (c == '\t') piece = "\\t";
            else if (c < 0x20 || c == 0x7F) appendHex(piece, "\\x", c, 2);
            else piece = char(c);
        } else if ((n = utf8Sequence(text, i, cp)) == 0) {
            n = 1;
            appendHex(piece, "\\x", c, 2);
        } else if ((cp >= 0x80 && cp <= 0x9F) || cp == 0x2028 || cp == 0x2029) {
            // C1 controls (NEL among them) and the Unicode separators break lines in some readers.
            appendHex(piece, "\\u", unsigned(cp), 4);
        } else {
            piece = text.substr(i, n);
        }
        if (out.size() + piece.size() > limit) return false;
        out += piece;
        i += n;
    }
    return true;
}

} // namespace

std::vector<std::string> MemoryRunLog::details(std::string_view event) const {
    std::vector<std::string> out;
    for (const Entry& e : entries)
        if (e.event == event) out.push_back(e.detail);
    return out;
}

std::string escapeLogText(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    escapeInto(out, text, std::string::npos);
    return out;
}

std::string isoLocalTime(std::time_t t) {
    std::tm tm{};
    if (!::localtime_r(&t, &tm)) tm = std::tm{};
    char stamp[32];
    const std::size_t len = std::strftime(stamp, sizeof stamp, "%Y-%m-%dT%H:%M:%S", &tm);
    std::string text(stamp, len);
    const long offset = tm.tm_gmtoff;
    const long minutes = (offset < 0 ? -offset : offset) / 60;
    char zone[48];
    std::snprintf(zone, sizeof zone, "%c%02ld:%02ld", offset < 0 ? '-' : '+', minutes / 60, minutes % 60);
    return text + zone;
}

std::string runLogLine(std::time_t t, std::string_view program, std::string_view event, std::string_view detail) {
    std::string line = isoLocalTime(t);
    line += ' ';
    line += escapeLogText(program);
    line += ' ';
    line += escapeLogText(event);
    if (!detail.empty()) {
        line += ' ';
        if (!escapeInto(line, detail, line.size() + kMaxDetailBytes)) line += " [...]";
    }
    line += '\n';
    return line;
}

std::string runLogPath(const std::string& iniPath) {
    const std::string dir = directoryOf(iniPath);
    if (sameDirectory(dir, userBaseDirectory("XDG_CONFIG_HOME", ".config") + "/korvo"))
        return userBaseDirectory("XDG_STATE_HOME", ".local/state") + "/korvo/korvo.log";
    return (dir == "/" ? "" : dir) + "/korvo.log";
}

FileRunLog::FileRunLog(std::string path, std::string program, std::function<void(const std::string&)> reportFailure,
                       std::uintmax_t limitBytes)
    : path_(std::move(path)), program_(std::move(program)), reportFailure_(std::move(reportFailure)),
      limit_(limitBytes) {}

void FileRunLog::record(std::string_view event, std::string_view detail) {
    std::string error;
    if (append(runLogLine(now(), program_, event, detail), error)) {
        failing_ = false;
        return;
    }
    if (failing_) return;
    failing_ = true;
    if (reportFailure_) reportFailure_("The run log " + path_ + " cannot be written (" + error + "); the runs go on without it.");
}

bool FileRunLog::append(const std::string& line, std::string& error) {
    makePrivateDirectories(directoryOf(path_));
    struct stat st {};
    if (::lstat(path_.c_str(), &st) == 0) {
        // Never through a link, into a FIFO or a device.
        if (!S_ISREG(st.st_mode)) {
            error = "it is not a regular file";
            return false;
        }
        if (std::uintmax_t(st.st_size) + line.size() > limit_ &&
            ::rename(path_.c_str(), (path_ + ".1").c_str()) != 0) {
            // A log that cannot be moved aside is not written on: it stays bounded.
            error = "it is full and cannot be moved to " + path_ + ".1: " + systemError(errno);
            return false;
        }
    }
    const int fd = ::open(path_.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0644);
    if (fd < 0) {
        error = systemError(errno);
        return false;
    }
    bool ok = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
    if (!ok) error = "it is not a regular file";
    for (std::size_t done = 0; ok && done < line.size();) {
        const ssize_t n = ::write(fd, line.data() + done, line.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            error = systemError(n < 0 ? errno : EIO);
            ok = false;
        } else {
            done += std::size_t(n);
        }
    }
    if (::close(fd) != 0 && ok) {
        error = systemError(errno);
        ok = false;
    }
    return ok;
}

} // namespace korvo

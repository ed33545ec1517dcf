#include "common/platform_info.h"

#include "common/file_util.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace korvo {

namespace {

std::string env(const char* name) {
    const char* v = std::getenv(name);
    return v ? std::string(v) : std::string();
}

std::tm localTime(std::time_t t) {
    std::tm tm{};
    if (!::localtime_r(&t, &tm)) tm = std::tm{};
    return tm;
}

// The account of the effective user id; null when the system has none.
const passwd* ownAccount(passwd& pw, std::vector<char>& buf) {
    const long size = ::sysconf(_SC_GETPW_R_SIZE_MAX);
    buf.assign(static_cast<std::size_t>(size > 0 ? size : 16384), '\0');
    passwd* found = nullptr;
    if (::getpwuid_r(::geteuid(), &pw, buf.data(), buf.size(), &found) != 0) return nullptr;
    return found;
}

// mkdir -p; an existing directory is fine.
void makeDirectories(const std::string& dir) {
    for (std::size_t pos = 1; pos <= dir.size(); ++pos) {
        if (pos == dir.size() || dir[pos] == '/') ::mkdir(dir.substr(0, pos).c_str(), 0755);
    }
}

// access(W_OK) says yes to root even where no file can be created (read-only mounts, /proc), so
// the directory is asked the real question: can a file be created in it?
bool directoryWritable(const std::string& dir) {
    std::string probe = dir + "/.korvo-probe-XXXXXX";
    const int fd = ::mkstemp(probe.data());
    if (fd < 0) return false;
    ::close(fd);
    ::unlink(probe.c_str());
    return true;
}

// An installed program lives in a "bin" directory (/usr/bin, /usr/local/bin, /opt/korvo/bin); a
// build directory never has that name. Settings beside an installed program would be shared by
// every user, and root, who may write there, would leave a file that no package knows of.
bool installedProgramDirectory(const std::string& dir) {
    const std::size_t slash = dir.find_last_of('/');
    return dir.substr(slash == std::string::npos ? 0 : slash + 1) == "bin";
}

} // namespace

std::string loggedOnUserName() {
    passwd pw{};
    std::vector<char> buf;
    const passwd* account = ownAccount(pw, buf);
    if (account && account->pw_name && account->pw_name[0] != '\0') return account->pw_name;
    const std::string user = env("USER");
    return user.empty() ? "Username unknown" : user;
}

std::string formatDate(std::time_t t) {
    const std::tm tm = localTime(t);
    char buf[32];
    std::snprintf(buf, sizeof buf, "%02d.%02d.%04d", tm.tm_mday, tm.tm_mon + 1, tm.tm_year + 1900);
    return buf;
}

std::string formatTime(std::time_t t) {
    const std::tm tm = localTime(t);
    char buf[32];
    std::snprintf(buf, sizeof buf, "%02d:%02d:%02d", tm.tm_hour, tm.tm_min, tm.tm_sec);
    return buf;
}

std::string userBaseDirectory(const char* variable, const char* underHome) {
    std::string base = env(variable);
    // Only an absolute path counts; a relative one is to be ignored.
    if (!base.empty() && base[0] == '/') return base;
    std::string home = env("HOME");
    if (home.empty()) {
        passwd pw{};
        std::vector<char> buf;
        const passwd* account = ownAccount(pw, buf);
        if (account && account->pw_dir) home = account->pw_dir;
    }
    return (home.empty() ? std::string("/tmp") : home) + "/" + underHome;
}

std::string iniFilePath(const std::string& exePath) {
    const std::string exeDir = directoryOf(exePath);
    if (!installedProgramDirectory(exeDir)) {
        const std::string beside = (exeDir == "/" ? "" : exeDir) + "/korvo.ini";
        struct stat st {};
        if (::stat(beside.c_str(), &st) == 0 && S_ISREG(st.st_mode)) return beside;
        if (directoryWritable(exeDir)) return beside;
    }

    const std::string base = userBaseDirectory("XDG_CONFIG_HOME", ".config");
    const std::string dir = base + "/korvo";
    makeDirectories(dir);
    return dir + "/korvo.ini";
}

std::string executablePath() {
    std::string buf(4096, '\0');
    const ssize_t n = ::readlink("/proc/self/exe", buf.data(), buf.size());
    if (n <= 0 || static_cast<std::size_t>(n) >= buf.size()) return {};
    buf.resize(static_cast<std::size_t>(n));
    return buf;
}

std::string iniFilePath() {
    const std::string exe = executablePath();
    // Without a known executable, the working directory stands in for its directory.
    return iniFilePath(exe.empty() ? std::string("./korvo") : exe);
}

} // namespace korvo

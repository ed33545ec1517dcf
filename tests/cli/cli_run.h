#pragma once
// Runs the built korvo-cli in a working directory and keeps its exit status and output.
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <sys/wait.h>

namespace korvo::testing {

struct CliResult {
    int status = -1;
    std::string out, err;
};

// `args` is pasted into a shell command line as it is: quote what needs quoting.
inline CliResult runCli(const std::filesystem::path& workDir, const std::string& args) {
    const auto outFile = workDir / ".cli-out", errFile = workDir / ".cli-err";
    const std::string cmd = "cd '" + workDir.string() + "' && exec '" KORVO_CLI_PATH "' " + args + " >'" +
                            outFile.string() + "' 2>'" + errFile.string() + "' </dev/null";
    const int raw = std::system(cmd.c_str());
    CliResult r;
    r.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    auto slurp = [](const std::filesystem::path& p) {
        std::ifstream in(p, std::ios::binary);
        std::ostringstream s;
        s << in.rdbuf();
        return s.str();
    };
    r.out = slurp(outFile);
    r.err = slurp(errFile);
    std::filesystem::remove(outFile);
    std::filesystem::remove(errFile);
    return r;
}

inline std::size_t countOf(const std::string& text, const std::string& what) {
    std::size_t n = 0;
    for (auto p = text.find(what); p != std::string::npos; p = text.find(what, p + 1)) ++n;
    return n;
}

} // namespace korvo::testing

#include "cli/output_guard.h"

#include "common/file_util.h"
#include "files/spectrum_info.h"

#include <sys/stat.h>

namespace korvo {

CommandInputs::CommandInputs(const std::vector<std::string>& paths) {
    for (const std::string& p : paths) add(p);
}

void CommandInputs::add(const std::string& path) {
    struct stat st {};
    if (!path.empty() && ::stat(path.c_str(), &st) == 0) inputs_.push_back({st.st_dev, st.st_ino, path});
}

std::string CommandInputs::refusal(const std::string& output) const {
    struct stat st {};
    if (output.empty() || ::stat(output.c_str(), &st) != 0) return {};
    for (const Input& in : inputs_)
        if (in.device == st.st_dev && in.inode == st.st_ino)
            return "cannot write \"" + output + "\": it is the input \"" + in.path +
                   "\" of this command, and an output never replaces an input";
    return {};
}

std::string outputNameFor(const std::string& name, std::ostream& err) {
    std::string safe = safeFileName(name);
    if (safe != name)
        err << "The name \"" << escapeForTerminal(name) << "\" is not a plain file name; it is written as \""
            << escapeForTerminal(safe) << "\".\n";
    return safe;
}

} // namespace korvo

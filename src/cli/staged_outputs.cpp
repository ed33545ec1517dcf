#include "cli/staged_outputs.h"

#include "common/file_util.h"
#include "files/spectrum_info.h"

#include <filesystem>
#include <iostream>
#include <unistd.h>

namespace korvo {

StagedOutputs::~StagedOutputs() {
    std::error_code ec;
    for (const auto& o : outputs_) std::filesystem::remove(o.staged, ec);
}

bool StagedOutputs::add(const std::string& target, std::string_view bytes, std::string& error) {
    if (!targets_.insert(target).second) {
        error = "two of the files would both be written as \"" + target + "\"";
        return false;
    }
    const std::filesystem::path t(target);
    // Built up in place: "." + text reads to GCC 12 as an overlapping copy (-Wrestrict).
    std::string name(1, '.');
    name += t.filename().string();
    name += ".convert-" + std::to_string(::getpid()) + "-" + std::to_string(outputs_.size());
    const std::string staged = (t.parent_path() / name).string();
    outputs_.push_back({target, staged});
    if (!writeFileAtomic(staged, bytes, &error)) {
        error = "cannot write \"" + target + "\": " + error;
        return false;
    }
    return true;
}

bool StagedOutputs::commit(std::string& error) {
    for (std::size_t i = 0; i < outputs_.size(); ++i) {
        std::error_code ec;
        std::filesystem::rename(outputs_[i].staged, outputs_[i].target, ec);
        if (ec) {
            error = "cannot write \"" + outputs_[i].target + "\": " + ec.message();
            // Those already in place are removed again: the command leaves all or nothing.
            for (std::size_t j = 0; j < i; ++j) std::filesystem::remove(outputs_[j].target, ec);
            return false;
        }
    }
    for (const auto& o : outputs_) std::cout << escapeForTerminal(o.target) << "\n";
    outputs_.clear();
    return true;
}

} // namespace korvo

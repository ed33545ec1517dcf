#pragma once
// Files that a korvo-cli verb writes, all or nothing.
#include <set>
#include <string>
#include <string_view>
#include <vector>

namespace korvo {

// The outputs of one command, all or nothing: each is written completely under a hidden name beside
// its target, and only when every one has been written are they renamed into place. Anything not
// committed is removed, so a failed conversion leaves neither a partial file nor a partial set.
class StagedOutputs {
public:
    StagedOutputs() = default;
    StagedOutputs(const StagedOutputs&) = delete;
    StagedOutputs& operator=(const StagedOutputs&) = delete;
    ~StagedOutputs();

    // false with a reason when the bytes cannot be written or two outputs would have the same name.
    bool add(const std::string& target, std::string_view bytes, std::string& error);

    // Renames every output into place and lists it on stdout.
    bool commit(std::string& error);

private:
    struct Output {
        std::string target, staged;
    };
    std::vector<Output> outputs_;
    std::set<std::string> targets_;
};

} // namespace korvo

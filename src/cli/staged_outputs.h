#pragma once
// Files that a korvo-cli verb writes, all or nothing.
#include "cli/output_guard.h"

#include <set>
#include <string>
#include <string_view>
#include <vector>

namespace korvo {

// The outputs of one command, all or nothing: each is written completely under a hidden name beside
// its target (".NAME.convert-PID-N"), and only when every one has been written are they renamed into
// place. A target that is an input of the command, or that exists and is not a regular file (a
// directory, a named pipe, a device), is refused before anything is written there. Anything not
// committed is removed, and a commit that fails half-way puts back what the targets held before, so
// a failed command leaves neither a partial file nor a partial set nor a lost old file. Hidden files
// that a killed command left behind are removed when a later one writes into the same directory.
class StagedOutputs {
public:
    explicit StagedOutputs(const CommandInputs& inputs) : inputs_(inputs) {}
    StagedOutputs(const StagedOutputs&) = delete;
    StagedOutputs& operator=(const StagedOutputs&) = delete;
    ~StagedOutputs();

    // false with a reason when the target is refused, two outputs would have the same name or the
    // bytes cannot be written.
    bool add(const std::string& target, std::string_view bytes, std::string& error);

    // Renames every output into place and, with `list`, names each on stdout.
    bool commit(std::string& error, bool list = true);

private:
    struct Output {
        std::string target, staged, backup;
    };
    void rollBack(std::size_t upTo);

    const CommandInputs& inputs_;
    std::vector<Output> outputs_;
    std::set<std::string> targets_;     // normalised, to find two spellings of one name
    std::set<std::string> directories_; // cleaned of leftovers already
};

// Why `target` cannot be an output of a command that reads `inputs`, or an empty text: it is one of
// the inputs, it exists and is not a regular file (a directory, a named pipe, a device), or the
// directory it would go into does not exist. A command asks before it does any work, so that a refusal
// leaves nothing half done.
std::string outputProblem(const CommandInputs& inputs, const std::string& target);

// Removes from `directory` the hidden files of staged writes whose process no longer runs. A backup
// whose target is missing (the command was killed between the two renames of a commit) is put back
// in its place instead.
void removeStaleStagedFiles(const std::string& directory);

} // namespace korvo

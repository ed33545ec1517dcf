#pragma once
// What a korvo-cli verb checks before it writes: that no output is one of the files the same command
// reads, and that a name taken from a file stays a plain name inside the output directory.
#include <optional>
#include <ostream>
#include <string>
#include <sys/types.h>
#include <vector>

namespace korvo {

// The files a command reads, known by device and inode, so that an output is recognised as one of
// them under any spelling of its path and through symbolic and hard links. Taken before the command
// reads them; paths that do not exist are left out (their load fails anyway).
class CommandInputs {
public:
    CommandInputs() = default;
    explicit CommandInputs(const std::vector<std::string>& paths);
    void add(const std::string& path);

    // Why `output` must not be written (it is one of the inputs), or an empty text. Not escaped yet.
    std::string refusal(const std::string& output) const;

private:
    struct Input {
        dev_t device;
        ino_t inode;
        std::string path;
    };
    std::vector<Input> inputs_;
};

// `name` (read from a file) as the plain file name it is written under; when that differs, a line on
// `err` names both.
std::string outputNameFor(const std::string& name, std::ostream& err);

} // namespace korvo

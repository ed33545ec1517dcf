#pragma once
// Whole-file reads and crash-safe writes. Files that hold measured data or settings are never
// rewritten in place: a crash or a full disk in the middle of a write must leave the old file intact.
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace korvo {

// The directory part of a path: "." for a bare name, "/" for a name in the root directory.
std::string directoryOf(const std::string& path);

// A name read from a file (a block identifier, a spectrum's ShortName) made into a plain file name
// that stays in the directory it is joined to: "/", control characters and a leading "." become "_"
// (so no "..", no hidden file), an empty name becomes "_", and a long name is cut at a character
// boundary well below the system's limit. A safe name comes back unchanged.
std::string safeFileName(std::string_view name);

// Whether a process of this number runs (or exists under another user); for telling the leftovers
// of a killed program from the files of one that still works.
bool processRunning(long pid);

// What a write does with a symbolic link at the target.
enum class LinkPolicy {
    // The link itself is replaced by the new file; whatever it pointed to stays untouched. For
    // measured data: a planted link must never make a run overwrite some other file.
    Replace,
    // The file the link leads to is replaced and the link stays, but only when every link on the way
    // and that regular file belong to the effective user; otherwise as Replace. For a settings file
    // the user keeps elsewhere.
    FollowOwn,
};

// Writes `bytes` to a temporary file in the directory of `path`, flushes it to the disk and renames
// it over `path`. A target that exists and is not a regular file (or a symbolic link, see
// LinkPolicy) is refused. Temporary files that killed writes to the same target left behind are
// removed; one that a live writer still holds is not. On failure the old file (if any) is untouched,
// the temporary file is removed and *error (if given) says why.
bool writeFileAtomic(const std::string& path, std::string_view bytes, std::string* error = nullptr,
                     LinkPolicy links = LinkPolicy::Replace);

// The whole content of a regular file. nullopt with a reason when it cannot be opened or read, when
// it is a directory, pipe or device (which could block or never end), or when it
// is larger than `maxBytes` (a guard against reading a device or a huge unrelated file by mistake).
std::optional<std::string> readFile(const std::string& path, std::string* error = nullptr,
                                    std::size_t maxBytes = std::size_t(256) << 20);

} // namespace korvo

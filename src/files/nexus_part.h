#pragma once
// A NeXus file read in parts, side by side: each reading process takes a slice of the root's entries,
// and the parts are joined into the file's reading. One part is the whole file. Only files/nexus_*.cpp
// use this.
#include "files/nexus_file.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace korvo::nexus {

// What one part found: its spectra (or the refusal, in result.error), the additions of its slice with
// the entry each belongs to (attached when the parts are joined: a spectrum may be in another part),
// and what the whole is judged by.
struct ReadPart {
    NexusReadResult result;
    std::vector<std::pair<std::string, NexusGroupData>> additions;
    std::uint64_t entries = 0;          // NXentry groups in the slice
    std::uint64_t values = 0;           // numbers read
    std::vector<std::string> rootNames; // the root's first few link names, for a message
};

// The message of a file that is refused: "The NeXus file NAME cannot be loaded: WHY."
std::string refusal(std::string_view shortName, const std::string& why);

// Part `part` of `parts` of the file in `bytes`.
ReadPart readPart(std::string_view bytes, std::string_view shortName, const NexusReadLimits& limits,
                  std::size_t part, std::size_t parts);
// The file's reading from all its parts, in order: the first part's refusal is the file's.
NexusReadResult joinParts(std::vector<ReadPart> parts, std::string_view shortName, const NexusReadLimits& limits);

} // namespace korvo::nexus

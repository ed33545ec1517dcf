#pragma once
// A part of a NeXus reading as bytes and back: how the child process that reads a file hands its
// result to Korvo. The decoder trusts nothing: every count and length is checked against what is
// left of the bytes.
#include "files/nexus_part.h"

#include <optional>
#include <string>
#include <string_view>

namespace korvo::nexus {

// The encoding's size, then the bytes into `to`, which holds encodedSize(part) bytes (a memory file's
// pages, say).
std::size_t encodedSize(const ReadPart& part);
void encodeInto(const ReadPart& part, char* to);
// Nothing when the bytes are not a complete encoding.
std::optional<ReadPart> decodePart(std::string_view bytes);

} // namespace korvo::nexus

#pragma once
// A NeXus reading's result as bytes and back: how the child process that reads a file hands its
// result to Korvo. The decoder trusts nothing: every count and length is checked against what is
// left of the bytes.
#include "files/nexus_file.h"

#include <optional>
#include <string>
#include <string_view>

namespace korvo::nexus {

// The encoding's size, then the bytes into `to`, which holds encodedSize(r) bytes (a memory file's
// pages, say).
std::size_t encodedSize(const NexusReadResult& r);
void encodeResultInto(const NexusReadResult& r, char* to);
// Nothing when the bytes are not a complete encoding.
std::optional<NexusReadResult> decodeResult(std::string_view bytes);

} // namespace korvo::nexus

#pragma once
// A NeXus reading's result as bytes and back: how the child process that reads a file hands its
// result to Korvo. The decoder trusts nothing: every count and length is checked against what is
// left of the bytes.
#include "files/nexus_file.h"

#include <optional>
#include <string>
#include <string_view>

namespace korvo::nexus {

std::string encodeResult(const NexusReadResult& r);
// Nothing when the bytes are not a complete encoding.
std::optional<NexusReadResult> decodeResult(std::string_view bytes);

} // namespace korvo::nexus

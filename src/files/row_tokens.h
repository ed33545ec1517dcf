#pragma once
// The pieces of a data row, for the readers of column files: numbers separated by blanks or tabs.
#include "common/text_codec.h"

#include <cstddef>
#include <string>
#include <string_view>

namespace korvo {

inline bool isRowBlank(char c) {
    return c == ' ' || c == '\t';
}

// The next token of `line` from `pos` on (empty at the end of the line); `pos` moves past it.
inline std::string_view nextRowToken(std::string_view line, std::size_t& pos) {
    while (pos < line.size() && isRowBlank(line[pos])) ++pos;
    const std::size_t start = pos;
    while (pos < line.size() && !isRowBlank(line[pos])) ++pos;
    return line.substr(start, pos - start);
}

// A token from a file as a message may quote it: at most 40 characters, control characters as "?",
// valid UTF-8 (other bytes read as Windows-1252), in double quotes.
inline std::string quotedToken(std::string_view token) {
    std::string out;
    for (char c : token.substr(0, 40)) out += (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) ? '?' : c;
    if (token.size() > 40) out += "...";
    // Built up in place: "\"" + text reads to GCC 12 as an overlapping copy (-Wrestrict).
    std::string quoted(1, '"');
    quoted += isValidUtf8(out) ? out : windows1252ToUtf8(out);
    quoted += '"';
    return quoted;
}

} // namespace korvo

#pragma once
// Texts from spectrum files made safe for a terminal, for korvo-cli's readable output.
#include <string>
#include <string_view>

namespace korvo {

// A text made safe for a terminal: control characters (C0, DEL and the C1 range) and bytes that are
// not UTF-8 become visible escapes ("\x1b", "\u009b"), a backslash becomes "\\". Header texts come
// from arbitrary files, and an escape sequence from a file must not reach the terminal.
std::string escapeForTerminal(std::string_view text);

} // namespace korvo

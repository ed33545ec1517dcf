#include "files/spectrum_info.h"

#include "common/text_codec.h"

namespace korvo {
namespace {

void appendHex(std::string& out, const char* prefix, unsigned value, int digits) {
    static constexpr char kHex[] = "0123456789abcdef";
    out += prefix;
    for (int shift = 4 * (digits - 1); shift >= 0; shift -= 4) out += kHex[(value >> shift) & 15];
}

// Length of the UTF-8 sequence that starts at s[i], 0 when it is none.
std::size_t utf8Length(std::string_view s, std::size_t i) {
    const auto b = static_cast<unsigned char>(s[i]);
    const std::size_t n = b >= 0xF0 ? 4 : b >= 0xE0 ? 3 : b >= 0xC0 ? 2 : 0;
    return n && i + n <= s.size() && isValidUtf8(s.substr(i, n)) ? n : 0;
}

} // namespace

std::string escapeForTerminal(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size();) {
        const auto b = static_cast<unsigned char>(text[i]);
        if (b == '\\') {
            out += "\\\\";
            ++i;
        } else if (b < 0x20 || b == 0x7F) {
            appendHex(out, "\\x", b, 2);
            ++i;
        } else if (b < 0x80) {
            out += static_cast<char>(b);
            ++i;
        } else if (const std::size_t n = utf8Length(text, i); n == 0) {
            appendHex(out, "\\x", b, 2);
            ++i;
        } else if (n == 2 && b == 0xC2 && static_cast<unsigned char>(text[i + 1]) < 0xA0) {
            // C1 controls (U+0080..U+009F): U+009B alone starts an escape sequence on many terminals.
            appendHex(out, "\\u", static_cast<unsigned char>(text[i + 1]), 4);
            i += 2;
        } else {
            out.append(text.substr(i, n));
            i += n;
        }
    }
    return out;
}

} // namespace korvo

#include "instruments/mail/mail_message.h"

#include "common/text_codec.h"

#include <algorithm>
#include <array>
#include <cstdio>

namespace korvo {

namespace {

bool isPrintableAscii(unsigned char c) {
    return c >= 0x20 && c < 0x7F;
}

std::string base64(std::string_view bytes) {
    static constexpr char kDigits[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    out.reserve((bytes.size() + 2) / 3 * 4);
    std::size_t i = 0;
    for (; i + 2 < bytes.size(); i += 3) {
        const unsigned v = unsigned(static_cast<unsigned char>(bytes[i])) << 16 |
                           unsigned(static_cast<unsigned char>(bytes[i + 1])) << 8 |
                           unsigned(static_cast<unsigned char>(bytes[i + 2]));
        out += kDigits[v >> 18 & 63], out += kDigits[v >> 12 & 63];
        out += kDigits[v >> 6 & 63], out += kDigits[v & 63];
    }
    if (i < bytes.size()) {
        unsigned v = unsigned(static_cast<unsigned char>(bytes[i])) << 16;
        if (i + 1 < bytes.size()) v |= unsigned(static_cast<unsigned char>(bytes[i + 1])) << 8;
        out += kDigits[v >> 18 & 63], out += kDigits[v >> 12 & 63];
        out += i + 1 < bytes.size() ? kDigits[v >> 6 & 63] : '=';
        out += '=';
    }
    return out;
}

// An encoded word may be 75 characters long; 45 bytes of text make 60 of base64 plus the frame.
constexpr std::size_t kWordBytes = 45;
// Plain header text longer than this is encoded too, so that it is folded below the line limit.
constexpr std::size_t kMaxPlainHeader = 900;

std::string encodedWords(std::string_view text) {
    std::string out;
    while (!text.empty()) {
        std::size_t n = std::min(kWordBytes, text.size());
        // Never split a UTF-8 sequence between two words: back up to the start of the sequence.
        while (n < text.size() && n > 1 && (static_cast<unsigned char>(text[n]) & 0xC0) == 0x80) --n;
        if (!out.empty()) out += "\r\n ";
        out += "=?UTF-8?B?" + base64(text.substr(0, n)) + "?=";
        text.remove_prefix(n);
    }
    return out;
}

// Characters an RFC 2231 value may carry as they are; everything else is written as %XX.
bool isAttributeChar(unsigned char c) {
    return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') ||
           std::string_view("!#$&+-.^_`|~").find(static_cast<char>(c)) != std::string_view::npos;
}

// Percent-encoded pieces of at most `width` characters, a %XX never split between two.
std::vector<std::string> percentPieces(std::string_view bytes, std::size_t width) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::vector<std::string> pieces(1);
    for (const char ch : bytes) {
        const auto c = static_cast<unsigned char>(ch);
        std::string one = isAttributeChar(c) ? std::string(1, ch) : std::string{'%', kHex[c >> 4], kHex[c & 15]};
        if (pieces.back().size() + one.size() > width) pieces.emplace_back();
        pieces.back() += one;
    }
    return pieces;
}

} // namespace

std::string mailAttachmentDisposition(std::string_view fileName) {
    std::string name = isValidUtf8(fileName) ? std::string(fileName) : windows1252ToUtf8(fileName);
    bool ascii = true;
    for (char& ch : name) {
        const auto c = static_cast<unsigned char>(ch);
        if (c < 0x20 || c == 0x7F) ch = ' ';
        ascii = ascii && c < 0x80;
    }
    std::string quoted = "\"";
    for (const char ch : name) {
        const auto c = static_cast<unsigned char>(ch);
        if (c >= 0x80) {
            if ((c & 0xC0) != 0x80) quoted += '_'; // one for each character, not each byte
            continue;
        }
        if (ch == '"' || ch == '\\') quoted += '\\';
        quoted += ch;
    }
    quoted += '"';
    std::string line = "Content-Disposition: attachment; filename=" + quoted;
    if (ascii) return line;
    // Folded lines stay well below the 78 characters a header line should keep to.
    const std::vector<std::string> pieces = percentPieces(name, 50);
    if (pieces.size() == 1) return line + ";\r\n filename*=UTF-8''" + pieces[0];
    for (std::size_t i = 0; i < pieces.size(); ++i)
        line += ";\r\n filename*" + std::to_string(i) + "*=" + (i == 0 ? "UTF-8''" : "") + pieces[i];
    return line;
}

bool isPlainMailAddress(std::string_view address) {
    if (address.empty() || address.size() > 254) return false;
    for (const char ch : address) {
        const auto c = static_cast<unsigned char>(ch);
        if (!isPrintableAscii(c) || c == ' ') return false;
        if (std::string_view("<>()[]\",;\\").find(ch) != std::string_view::npos) return false;
    }
    return true;
}

std::string mailHeaderText(std::string_view text) {
    bool plain = text.size() <= kMaxPlainHeader;
    for (const char ch : text) {
        const auto c = static_cast<unsigned char>(ch);
        if (c >= 0x80) plain = false;
    }
    std::string cleaned(text);
    for (char& ch : cleaned)
        if (static_cast<unsigned char>(ch) < 0x20 || ch == 0x7F) ch = ' ';
    return plain ? cleaned : encodedWords(cleaned);
}

std::string mailbox(std::string_view name, std::string_view address) {
    if (name.empty() || name == address) return std::string(address);
    bool ascii = true;
    for (const char ch : name) ascii = ascii && static_cast<unsigned char>(ch) < 0x80;
    std::string shown;
    if (ascii && name.size() <= kMaxPlainHeader) {
        shown = "\"";
        for (const char ch : name) {
            const auto c = static_cast<unsigned char>(ch);
            if (c == '"' || c == '\\') shown += '\\';
            shown += c < 0x20 || c == 0x7F ? ' ' : ch;
        }
        shown += '"';
    } else {
        shown = mailHeaderText(name); // encoded words, never a bare text that could hold "<"
    }
    return shown + " <" + std::string(address) + ">";
}

std::string mailDate(std::time_t t) {
    static constexpr std::array<const char*, 7> kDays = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
    static constexpr std::array<const char*, 12> kMonths = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                                            "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    std::tm tm{};
    gmtime_r(&t, &tm);
    char buf[64];
    std::snprintf(buf, sizeof buf, "%s, %02d %s %04d %02d:%02d:%02d +0000", kDays[std::size_t(tm.tm_wday) % 7],
                  tm.tm_mday, kMonths[std::size_t(tm.tm_mon) % 12], tm.tm_year + 1900, tm.tm_hour, tm.tm_min,
                  tm.tm_sec);
    return buf;
}

std::vector<std::string> mailHeaderLines(const MailHeaderFields& f) {
    std::vector<std::string> lines;
    lines.push_back("Date: " + mailDate(f.date));
    if (!f.fromAddress.empty()) lines.push_back("From: " + mailbox(f.fromName, f.fromAddress));
    if (!f.toAddress.empty()) lines.push_back("To: " + mailbox(f.toName, f.toAddress));
    if (!f.subject.empty()) lines.push_back("Subject: " + mailHeaderText(f.subject));
    return lines;
}

} // namespace korvo

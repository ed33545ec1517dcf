#include "files/spectrum_info.h"

#include "common/number_text.h"
#include "common/text_codec.h"
#include "files/spectrum_reader.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <cfloat>
#include <charconv>
#include <cmath>
#include <ostream>

namespace korvo {
namespace {

// Output gathered in a buffer of bounded size and handed to the stream piece by piece.
class Writer {
public:
    explicit Writer(std::ostream& out) : out_(out) { buffer_.reserve(kFlushAt + 4096); }
    ~Writer() { flush(); }
    std::string& text() { return buffer_; }
    // Called after each point: the buffer never grows beyond about kFlushAt bytes. false once the
    // stream has failed, so that the rest of the points is not formatted for nothing.
    bool maybeFlush() {
        if (buffer_.size() >= kFlushAt) flush();
        return out_.good();
    }
    void flush() {
        out_.write(buffer_.data(), static_cast<std::streamsize>(buffer_.size()));
        buffer_.clear();
    }

private:
    static constexpr std::size_t kFlushAt = 64 * 1024;
    std::ostream& out_;
    std::string buffer_;
};

// text::plainNumber's text, on a quick route for the usual values. A normal double resolves finer
// than its 15th significant digit, so when its shortest round-trip text has at most 15 digits, that
// text is exactly the value rounded to 15 digits; every other value takes plainNumber's exact path.
void appendPlainNumber(std::string& out, double v) {
    const double a = std::fabs(v);
    if (v == 0 || !std::isfinite(v) || a < DBL_MIN) {
        out += text::plainNumber(v);
        return;
    }
    char buf[40];
    const char* end = std::to_chars(buf, buf + sizeof buf, a, std::chars_format::scientific).ptr;
    const char* e = std::find(static_cast<const char*>(buf), end, 'e');
    char digits[24];
    int n = 0;
    for (const char* p = buf; p < e; ++p)
        if (*p != '.') digits[n++] = *p;
    int exp = 0;
    std::from_chars(e + (e[1] == '+' ? 2 : 1), end, exp); // from_chars reads a '-' but no '+'
    if (n > 15) {
        out += text::plainNumber(v);
        return;
    }
    if (v < 0) out += '-';
    if (exp < -5 || exp >= 15) {
        out += digits[0];
        if (n > 1) {
            out += '.';
            out.append(digits + 1, static_cast<std::size_t>(n - 1));
        }
        out += 'E';
        char eb[8];
        out.append(eb, std::to_chars(eb, eb + sizeof eb, exp).ptr);
    } else if (exp < 0) {
        out += "0.";
        out.append(static_cast<std::size_t>(-exp - 1), '0');
        out.append(digits, static_cast<std::size_t>(n));
    } else if (n <= exp + 1) {
        out.append(digits, static_cast<std::size_t>(n));
        out.append(static_cast<std::size_t>(exp + 1 - n), '0');
    } else {
        out.append(digits, static_cast<std::size_t>(exp + 1));
        out += '.';
        out.append(digits + exp + 1, static_cast<std::size_t>(n - exp - 1));
    }
}

// A number as the JSON library writes it: its own shortest-digits routine, so that a streamed
// document carries the same digits as one the library builds and dumps.
void appendJsonNumber(std::string& out, double v) {
    if (!std::isfinite(v)) {
        out += "null";
        return;
    }
    char buf[64];
    out.append(buf, nlohmann::detail::to_chars(buf, buf + sizeof buf, v));
}

std::string jsonText(const nlohmann::json& value) {
    // Header texts come from arbitrary files; a stray invalid sequence must not abort the output.
    return value.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

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

void writeSpectrumInfoText(std::ostream& out, const std::string& path, const SpectrumFileData& d) {
    Writer w(out);
    std::string& s = w.text();
    s += escapeForTerminal(path) + "\n";
    const auto field = [&s](const char* label, const std::string& value) {
        s += "  ";
        s += label;
        if (!value.empty()) {
            s.append(16 - std::min<std::size_t>(16, std::char_traits<char>::length(label)), ' ');
            s += escapeForTerminal(value);
        }
        s += '\n';
    };
    field("file name", d.fileName);
    field("comment", d.commentText);
    field("sample", d.sampleText);
    field("date", d.dateText);
    field("scans", d.scansText + " (" + std::to_string(d.scans) + ")");
    field("meas time", d.measTimeText + " (" + text::plainNumber(d.measTime) + ")");
    field("points", d.pointsText);
    field("pass energy", d.passEnText);
    field("analyser start", d.anaStaText);
    field("analyser end", d.anaEndText);
    field("header lines", std::to_string(d.headerLines));
    field("end marker", d.endFound ? "yes" : "no");
    field("points read", std::to_string(d.points.size()));
    for (const SpectrumPoint& p : d.points) {
        s += "  ";
        appendPlainNumber(s, p.x);
        s += ' ';
        appendPlainNumber(s, p.y);
        s += '\n';
        if (!w.maybeFlush()) return;
    }
}

void writeSpectrumInfoJson(std::ostream& out, const std::string& path, const SpectrumFileData& d) {
    // The header fields go through the library, which also decides their order; only the points
    // are written here.
    const nlohmann::json header = {
        {"path", path},
        {"fileName", d.fileName},
        {"comment", d.commentText},
        {"sample", d.sampleText},
        {"date", d.dateText},
        {"scansText", d.scansText},
        {"scans", d.scans},
        {"measTimeText", d.measTimeText},
        {"measTime", d.measTime},
        {"pointsText", d.pointsText},
        {"passEnText", d.passEnText},
        {"anaStaText", d.anaStaText},
        {"anaEndText", d.anaEndText},
        {"headerLines", d.headerLines},
        {"endFound", d.endFound},
        {"points", nullptr},
    };
    Writer w(out);
    std::string& s = w.text();
    s += "  {\n";
    bool firstKey = true;
    for (auto it = header.begin(); it != header.end(); ++it) {
        if (!firstKey) s += ",\n";
        firstKey = false;
        s += "    " + jsonText(it.key()) + ": ";
        if (it.key() != "points") {
            s += jsonText(it.value());
            continue;
        }
        if (d.points.empty()) {
            s += "[]";
            continue;
        }
        s += "[\n";
        for (std::size_t i = 0; i < d.points.size(); ++i) {
            s += i == 0 ? "      [\n        " : ",\n      [\n        ";
            appendJsonNumber(s, d.points[i].x);
            s += ",\n        ";
            appendJsonNumber(s, d.points[i].y);
            s += "\n      ]";
            if (!w.maybeFlush()) return;
        }
        s += "\n    ]";
    }
    s += "\n  }";
}

int runSpectrumInfo(const std::vector<std::string>& paths, bool json, std::ostream& out, std::ostream& err) {
    int status = 0;
    bool firstBlock = true;
    // One file at a time: its points are freed before the next file is read.
    for (const std::string& path : paths) {
        const SpectrumReadResult r = readSpectrumFile(path);
        if (!r) {
            err << escapeForTerminal(path) << ": " << escapeForTerminal(r.error);
            if (r.errorLine > 0) err << " (line " << r.errorLine << ")";
            err << "\n";
            status = 2;
            continue;
        }
        if (json) {
            out << (firstBlock ? "[\n" : ",\n");
            writeSpectrumInfoJson(out, path, r.data);
        } else {
            if (!firstBlock) out << "\n";
            writeSpectrumInfoText(out, path, r.data);
        }
        firstBlock = false;
        if (!out) break; // a closed pipe or a full disk: the rest would be lost as well
    }
    if (json && out) out << (firstBlock ? "[]\n" : "\n]\n");
    out.flush();
    if (!out) {
        err << "Cannot write the output; it is incomplete.\n";
        return 2;
    }
    return status;
}

} // namespace korvo

#include "common/ini_file.h"

#include "common/file_util.h"
#include "common/text_codec.h"

#include <cerrno>
#include <cstring>
#include <sys/stat.h>

namespace korvo {

namespace {

bool isBlank(char c) {
    return c == ' ' || c == '\t';
}

std::string trim(std::string_view s) {
    while (!s.empty() && isBlank(s.front())) s.remove_prefix(1);
    while (!s.empty() && isBlank(s.back())) s.remove_suffix(1);
    return std::string(s);
}

bool sameName(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        auto x = static_cast<unsigned char>(a[i]), y = static_cast<unsigned char>(b[i]);
        if (x >= 'A' && x <= 'Z') x = static_cast<unsigned char>(x - 'A' + 'a');
        if (y >= 'A' && y <= 'Z') y = static_cast<unsigned char>(y - 'A' + 'a');
        if (x != y) return false;
    }
    return true;
}

// The profile functions drop one pair of matching quotes around a value.
std::string unquote(std::string v) {
    if (v.size() >= 2 && (v.front() == '"' || v.front() == '\'') && v.back() == v.front())
        return v.substr(1, v.size() - 2);
    return v;
}

// A line break inside a name or value would split the line on the next read.
std::string oneLine(std::string s) {
    for (char& c : s)
        if (c == '\r' || c == '\n' || c == '\0') c = ' ';
    return s;
}

// Values with blanks at either end, or with quotes that the reader would strip, are written in
// quotes so that they read back exactly; a reader with the plain profile semantics sees the same.
std::string encodeValue(const std::string& v) {
    if (v.empty()) return v;
    const bool edgeBlank = isBlank(v.front()) || isBlank(v.back());
    const bool looksQuoted =
        v.size() >= 2 && (v.front() == '"' || v.front() == '\'') && v.back() == v.front();
    return edgeBlank || looksQuoted ? "\"" + v + "\"" : v;
}

// Decimal with optional sign, or hexadecimal as "$1F" or "0x1F"; blanks around it are ignored.
// Hexadecimal values above 0x7FFFFFFF wrap to negative numbers as in a 32-bit register.
std::optional<std::int32_t> parseIniInteger(std::string_view s) {
    while (!s.empty() && isBlank(s.front())) s.remove_prefix(1);
    while (!s.empty() && isBlank(s.back())) s.remove_suffix(1);
    bool negative = false;
    if (!s.empty() && (s.front() == '+' || s.front() == '-')) {
        negative = s.front() == '-';
        s.remove_prefix(1);
    }
    int base = 10;
    if (!s.empty() && s.front() == '$') {
        base = 16;
        s.remove_prefix(1);
    } else if (s.size() >= 2 && s[0] == '0' && (s[1] == 'x' || s[1] == 'X')) {
        base = 16;
        s.remove_prefix(2);
    }
    if (s.empty()) return std::nullopt;
    std::uint64_t v = 0;
    for (const char c : s) {
        int d;
        if (c >= '0' && c <= '9')
            d = c - '0';
        else if (base == 16 && c >= 'a' && c <= 'f')
            d = c - 'a' + 10;
        else if (base == 16 && c >= 'A' && c <= 'F')
            d = c - 'A' + 10;
        else
            return std::nullopt;
        v = v * static_cast<unsigned>(base) + static_cast<unsigned>(d);
        if (v > 0xFFFFFFFFull) return std::nullopt;
    }
    std::int64_t r;
    if (base == 16) {
        r = static_cast<std::int32_t>(static_cast<std::uint32_t>(v));
    } else {
        if (v > (negative ? 2147483648ull : 2147483647ull)) return std::nullopt;
        r = static_cast<std::int64_t>(v);
    }
    if (negative) r = -r;
    if (r < INT32_MIN || r > INT32_MAX) return std::nullopt;
    return static_cast<std::int32_t>(r);
}

} // namespace

void IniFile::parse(const std::string& content) {
    sections_.clear();
    sections_.push_back(Section{});
    std::string_view text(content);
    // One byte-order mark is expected; more would otherwise be lost one by one on each rewrite.
    while (text.substr(0, 3) == "\xEF\xBB\xBF") text.remove_prefix(3);
    while (!text.empty()) {
        const auto nl = text.find('\n');
        std::string_view raw = text.substr(0, nl);
        text.remove_prefix(nl == std::string_view::npos ? text.size() : nl + 1);
        if (!raw.empty() && raw.back() == '\r') raw.remove_suffix(1);

        const std::string t = trim(raw);
        if (!t.empty() && t.front() == '[') {
            const auto close = t.find(']');
            if (close != std::string::npos) {
                Section s;
                s.name = trim(std::string_view(t).substr(1, close - 1));
                s.header = std::string(raw);
                sections_.push_back(std::move(s));
                continue;
            }
        }
        Line line;
        line.raw = std::string(raw);
        const auto eq = t.find('=');
        if (!t.empty() && t.front() != ';' && eq != std::string::npos && eq > 0) {
            line.key = trim(std::string_view(t).substr(0, eq));
            line.value = unquote(trim(std::string_view(t).substr(eq + 1)));
        }
        sections_.back().lines.push_back(std::move(line));
    }
}

std::string IniFile::serialize() const {
    std::string out;
    for (const Section& s : sections_) {
        if (&s != &sections_.front()) out += (s.header.empty() ? "[" + s.name + "]" : s.header) + "\r\n";
        for (const Line& l : s.lines) out += l.raw + "\r\n";
    }
    return out;
}

bool IniFile::load(std::string* error) {
    sections_.clear();
    struct stat st {};
    if (::stat(path_.c_str(), &st) != 0 && errno == ENOENT) return true;
    std::string why;
    const auto bytes = readFile(path_, &why, std::size_t(16) << 20);
    if (!bytes) {
        if (error) *error = why;
        return false;
    }
    parse(fileTextToUtf8(*bytes));
    return true;
}

bool IniFile::save(std::string* error) const {
    return writeFileAtomic(path_, utf8ToWindows1252(serialize()), error);
}

IniFile::Section* IniFile::findSection(const std::string& name) {
    // The unnamed lines before the first header are not a section anyone can ask for.
    for (std::size_t i = 1; i < sections_.size(); ++i)
        if (sameName(sections_[i].name, name)) return &sections_[i];
    return nullptr;
}

const IniFile::Section* IniFile::findSection(const std::string& name) const {
    return const_cast<IniFile*>(this)->findSection(name);
}

std::optional<std::string> IniFile::value(const std::string& section, const std::string& key) const {
    const Section* s = findSection(trim(section));
    if (!s) return std::nullopt;
    const std::string k = trim(key);
    for (const Line& l : s->lines)
        if (!l.key.empty() && sameName(l.key, k)) return l.value;
    return std::nullopt;
}

bool IniFile::hasKey(const std::string& section, const std::string& key) const {
    return value(section, key).has_value();
}

std::string IniFile::readString(const std::string& section, const std::string& key,
                                const std::string& def) const {
    auto v = value(section, key);
    return v ? *v : def;
}

std::int32_t IniFile::readInteger(const std::string& section, const std::string& key, std::int32_t def,
                                  bool* bad) const {
    const auto v = value(section, key);
    if (!v) return def;
    const auto n = parseIniInteger(*v);
    if (!n) {
        if (bad) *bad = true;
        return def;
    }
    return *n;
}

void IniFile::writeString(const std::string& section, const std::string& key, const std::string& value) {
    const std::string sname = trim(oneLine(section));
    const std::string k = trim(oneLine(key));
    const std::string v = oneLine(value);
    if (k.empty()) return;
    if (sections_.empty()) sections_.push_back(Section{});
    Section* s = findSection(sname);
    if (!s) {
        Section fresh;
        fresh.name = sname;
        sections_.push_back(std::move(fresh));
        s = &sections_.back();
    }
    for (Line& l : s->lines) {
        if (!l.key.empty() && sameName(l.key, k)) {
            l.raw = l.key + "=" + encodeValue(v);
            l.value = v;
            return;
        }
    }
    // After the last non-blank line, so that a blank line separating sections stays where it is.
    auto pos = s->lines.end();
    while (pos != s->lines.begin() && trim((pos - 1)->raw).empty()) --pos;
    s->lines.insert(pos, Line{k + "=" + encodeValue(v), k, v});
}

void IniFile::writeInteger(const std::string& section, const std::string& key, std::int64_t value) {
    writeString(section, key, std::to_string(value));
}

std::vector<std::string> IniFile::sections() const {
    std::vector<std::string> out;
    for (std::size_t i = 1; i < sections_.size(); ++i) {
        bool seen = false;
        for (const auto& n : out) seen = seen || sameName(n, sections_[i].name);
        if (!seen) out.push_back(sections_[i].name);
    }
    return out;
}

std::vector<std::string> IniFile::keys(const std::string& section) const {
    std::vector<std::string> out;
    const Section* s = findSection(trim(section));
    if (!s) return out;
    for (const Line& l : s->lines) {
        if (l.key.empty()) continue;
        bool seen = false;
        for (const auto& n : out) seen = seen || sameName(n, l.key);
        if (!seen) out.push_back(l.key);
    }
    return out;
}

} // namespace korvo

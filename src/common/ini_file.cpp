#include "common/ini_file.h"

#include "common/file_util.h"
#include "common/text_codec.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <sys/stat.h>

namespace korvo {

namespace {

bool isBlank(char c) {
    return c == ' ' || c == '\t';
}

constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";

std::string_view trimmed(std::string_view s) {
    while (!s.empty() && isBlank(s.front())) s.remove_prefix(1);
    while (!s.empty() && isBlank(s.back())) s.remove_suffix(1);
    return s;
}

std::string trim(std::string_view s) {
    return std::string(trimmed(s));
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

std::size_t mixed(std::uint64_t h) {
    h ^= h >> 32;
    h *= 0xD6E8FEB86659FD93ull;
    h ^= h >> 32;
    return static_cast<std::size_t>(h);
}

// Names that compare equal (see sameName) hash equal: FNV-1a over the case-folded bytes.
std::uint64_t foldedHash(std::string_view name) {
    std::uint64_t h = 14695981039346656037ull;
    for (const char c : name) {
        auto x = static_cast<unsigned char>(c);
        if (x >= 'A' && x <= 'Z') x = static_cast<unsigned char>(x - 'A' + 'a');
        h = (h ^ x) * 1099511628211ull;
    }
    return h;
}

std::size_t sectionHash(std::string_view name) {
    return mixed(foldedHash(name));
}

// One table holds the keys of every section; the section is part of the hash.
std::size_t keyHash(std::size_t section, std::string_view key) {
    return mixed(foldedHash(key) + section * 0x9E3779B97F4A7C15ull);
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

template <class Same>
const IniFile::NameIndex::Slot* IniFile::NameIndex::find(std::size_t hash, Same same) const {
    if (table.empty()) return nullptr;
    const std::size_t mask = table.size() - 1;
    for (std::size_t i = hash & mask;; i = (i + 1) & mask) {
        const Slot& s = table[i];
        if (s.section == 0) return nullptr;
        if (s.hash == hash && same(s)) return &s;
    }
}

void IniFile::NameIndex::place(const Slot& slot) {
    const std::size_t mask = table.size() - 1;
    std::size_t i = slot.hash & mask;
    while (table[i].section != 0) i = (i + 1) & mask;
    table[i] = slot;
}

template <class Same>
void IniFile::NameIndex::insert(std::size_t hash, std::size_t section, std::size_t line, Same same) {
    if (find(hash, same)) return;
    if ((count + 1) * 2 > table.size()) {
        std::vector<Slot> old = std::move(table);
        table.assign(std::max<std::size_t>(16, old.size() * 2), Slot{});
        for (const Slot& s : old)
            if (s.section != 0) place(s);
    }
    place({hash, static_cast<std::uint32_t>(section), static_cast<std::uint32_t>(line)});
    ++count;
}

void IniFile::addSection(Section s) {
    const std::size_t at = sections_.size();
    sections_.push_back(std::move(s));
    const std::string& name = sections_[at].name;
    sectionIndex_.insert(sectionHash(name), at, 0,
                         [&](const NameIndex::Slot& e) { return sameName(sections_[e.section].name, name); });
}

void IniFile::addKey(std::size_t section, std::size_t line) {
    if (section == 0) return; // never looked up
    const std::string& key = sections_[section].lines[line].key;
    keyIndex_.insert(keyHash(section, key), section, line, [&](const NameIndex::Slot& e) {
        return e.section == section && sameName(sections_[section].lines[e.line].key, key);
    });
}

void IniFile::parse(std::string_view text) {
    sections_.clear();
    sectionIndex_.clear();
    keyIndex_.clear();
    sections_.push_back(Section{});
    // One byte-order mark is expected; more would otherwise be lost one by one on each rewrite.
    while (text.substr(0, 3) == kByteOrderMark) text.remove_prefix(3);
    while (!text.empty()) {
        // CR LF, LF, or CR alone: a file from an old Mac or one edited there is still lines, and a
        // stray CR never stays inside a line, where it would end up in a value or split the line
        // differently for the next reader.
        const auto end = text.find_first_of("\r\n");
        const std::string_view raw = text.substr(0, end);
        std::size_t next = end == std::string_view::npos ? text.size() : end + 1;
        if (end != std::string_view::npos && text[end] == '\r' && next < text.size() && text[next] == '\n')
            ++next;
        text.remove_prefix(next);

        const std::string_view t = trimmed(raw);
        if (!t.empty() && t.front() == '[') {
            const auto close = t.find(']');
            if (close != std::string_view::npos) {
                Section s;
                s.name = std::string(trimmed(t.substr(1, close - 1)));
                s.header = std::string(raw);
                addSection(std::move(s));
                continue;
            }
        }
        std::vector<Line>& lines = sections_.back().lines;
        Line& line = lines.emplace_back();
        line.raw = std::string(raw);
        const auto eq = t.find('=');
        if (!t.empty() && t.front() != ';' && eq != std::string_view::npos && eq > 0) {
            line.key = std::string(trimmed(t.substr(0, eq)));
            line.value = unquote(std::string(trimmed(t.substr(eq + 1))));
            addKey(sections_.size() - 1, lines.size() - 1);
        }
    }
}

void IniFile::parseFileBytes(std::string_view bytes) {
    // The mark is dropped before the code page is chosen: a marked file with Windows-1252 text
    // would otherwise keep the mark, decoded, in front of its first section header.
    while (bytes.substr(0, 3) == kByteOrderMark) bytes.remove_prefix(3);
    parse(fileTextToUtf8(bytes));
}

std::string IniFile::serialize() const {
    std::size_t size = 0;
    for (const Section& s : sections_) {
        size += s.header.size() + s.name.size() + 4;
        for (const Line& l : s.lines) size += l.raw.size() + 2;
    }
    std::string out;
    out.reserve(size);
    for (const Section& s : sections_) {
        if (&s != &sections_.front()) {
            if (s.header.empty())
                out.append("[").append(s.name).append("]");
            else
                out += s.header;
            out += "\r\n";
        }
        for (const Line& l : s.lines) out.append(l.raw).append("\r\n");
    }
    return out;
}

std::string IniFile::fileBytes() const {
    std::string bytes = utf8ToWindows1252(serialize());
    if (std::string_view(bytes).substr(0, 3) == kByteOrderMark || isValidUtf8(bytes)) {
        std::string utf8 = windows1252ToUtf8(bytes);
        if (utf8 != bytes) return utf8; // ASCII is the same either way
    }
    return bytes;
}

bool IniFile::load(std::string* error) {
    sections_.clear();
    sectionIndex_.clear();
    keyIndex_.clear();
    struct stat st {};
    if (::stat(path_.c_str(), &st) != 0 && errno == ENOENT) return true;
    std::string why;
    const auto bytes = readFile(path_, &why, kMaxFileBytes);
    if (!bytes) {
        if (error) *error = why;
        return false;
    }
    parseFileBytes(*bytes);
    return true;
}

bool IniFile::save(std::string* error) const {
    const std::string bytes = fileBytes();
    if (bytes.size() > kMaxFileBytes) {
        if (error)
            *error = "Cannot write \"" + path_ + "\": the file would be too large (" +
                     std::to_string(bytes.size()) + " bytes; at most " + std::to_string(kMaxFileBytes) +
                     " are read back)";
        return false;
    }
    return writeFileAtomic(path_, bytes, error, LinkPolicy::FollowOwn);
}

IniFile::Section* IniFile::findSection(std::string_view name) {
    const NameIndex::Slot* e = sectionIndex_.find(sectionHash(name), [&](const NameIndex::Slot& e) {
        return sameName(sections_[e.section].name, name);
    });
    return e ? &sections_[e->section] : nullptr;
}

const IniFile::Section* IniFile::findSection(std::string_view name) const {
    return const_cast<IniFile*>(this)->findSection(name);
}

const IniFile::Line* IniFile::findKey(const Section* section, std::string_view key) const {
    if (!section) return nullptr;
    const auto index = static_cast<std::size_t>(section - sections_.data());
    const NameIndex::Slot* e = keyIndex_.find(keyHash(index, key), [&](const NameIndex::Slot& e) {
        return e.section == index && sameName(section->lines[e.line].key, key);
    });
    return e ? &section->lines[e->line] : nullptr;
}

bool IniFile::hasSection(const std::string& section) const {
    return findSection(trimmed(section)) != nullptr;
}

std::optional<std::string> IniFile::value(const std::string& section, const std::string& key) const {
    const Line* l = findKey(findSection(trimmed(section)), trimmed(key));
    if (!l) return std::nullopt;
    return l->value;
}

bool IniFile::hasKey(const std::string& section, const std::string& key) const {
    return findKey(findSection(trimmed(section)), trimmed(key)) != nullptr;
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
        addSection(std::move(fresh));
        s = &sections_.back();
    }
    const auto index = static_cast<std::size_t>(s - sections_.data());
    if (const Line* found = findKey(s, k)) {
        Line& line = s->lines[static_cast<std::size_t>(found - s->lines.data())];
        line.raw = line.key + "=" + encodeValue(v);
        line.value = v;
        return;
    }
    // After the last non-blank line, so that a blank line separating sections stays where it is.
    // Only blank lines move down, and they hold no key: every line the index points to stays put.
    std::vector<Line>& lines = s->lines;
    auto pos = lines.end();
    while (pos != lines.begin() && trimmed((pos - 1)->raw).empty()) --pos;
    const auto at = static_cast<std::size_t>(pos - lines.begin());
    lines.insert(pos, Line{k + "=" + encodeValue(v), k, v});
    addKey(index, at);
}

void IniFile::writeInteger(const std::string& section, const std::string& key, std::int64_t value) {
    writeString(section, key, std::to_string(value));
}

std::vector<std::string> IniFile::sections() const {
    std::vector<std::string> out;
    for (std::size_t i = 1; i < sections_.size(); ++i)
        if (findSection(sections_[i].name) == &sections_[i]) out.push_back(sections_[i].name);
    return out;
}

std::vector<std::string> IniFile::keys(const std::string& section) const {
    std::vector<std::string> out;
    const Section* s = findSection(trimmed(section));
    if (!s) return out;
    for (const Line& l : s->lines)
        if (!l.key.empty() && findKey(s, l.key) == &l) out.push_back(l.key);
    return out;
}

} // namespace korvo

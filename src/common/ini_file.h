#pragma once
// INI file with the semantics of the Windows profile functions, so that files of older installations
// load unchanged: case-insensitive section and key names, "key=value" lines, blanks around names and
// values ignored, defaults for missing keys. Writing keeps every other section, key and comment line
// in place, writes CR LF line ends and replaces the file atomically.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace korvo {

class IniFile {
public:
    IniFile() = default;
    explicit IniFile(std::string path) : path_(std::move(path)) {}

    // Reads the file (UTF-8 when it is valid UTF-8, else Windows-1252; save() writes Windows-1252). A missing
    // file is an empty INI (returns true). An unreadable file returns false with a reason; the content stays
    // empty. Binary garbage and truncated lines never fail: what cannot be understood as a section or key
    // line is kept as it is and ignored.
    bool load(std::string* error = nullptr);
    // Writes to a temporary file beside the target, then renames it over the target.
    bool save(std::string* error = nullptr) const;

    const std::string& path() const { return path_; }
    void setPath(std::string path) { path_ = std::move(path); }

    bool hasKey(const std::string& section, const std::string& key) const;
    std::optional<std::string> value(const std::string& section, const std::string& key) const;
    std::string readString(const std::string& section, const std::string& key, const std::string& def) const;
    // The key's value as a 32-bit integer; the default when missing. Decimal with optional sign, or
    // hexadecimal written "$E0E0E0" or "0xE0E0E0" as older installations stored colours (hexadecimal
    // above 0x7FFFFFFF wraps to negative). When present but not such a number (also "12abc", "1.0",
    // an empty value or one beyond 32 bits) the default is returned and *bad (if given) is set to true.
    std::int32_t readInteger(const std::string& section, const std::string& key, std::int32_t def,
                             bool* bad = nullptr) const;
    // An existing key is rewritten in its line, a new key goes to the end of its section, a new
    // section to the end of the file. Values that reading would alter (blanks at either end, a pair
    // of quotes around them) are written in quotes so that they read back unchanged; line breaks in
    // names and values become blanks.
    void writeString(const std::string& section, const std::string& key, const std::string& value);
    void writeInteger(const std::string& section, const std::string& key, std::int64_t value);

    std::vector<std::string> sections() const;
    std::vector<std::string> keys(const std::string& section) const;

    // Text of the file as save() would write it.
    std::string serialize() const;
    void parse(const std::string& content);

private:
    struct Line {
        std::string raw; // the line as read (comments, blanks, unparsable lines)
        std::string key; // empty for non-key lines
        std::string value;
    };
    struct Section {
        std::string name;   // empty name: lines before the first section header
        std::string header; // header line as read
        std::vector<Line> lines;
    };
    Section* findSection(const std::string& name);
    const Section* findSection(const std::string& name) const;

    std::string path_;
    std::vector<Section> sections_;
};

} // namespace korvo

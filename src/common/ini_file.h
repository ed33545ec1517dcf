#pragma once
// INI file with the semantics of the Windows profile functions, so that files of older installations
// load unchanged: case-insensitive section and key names, "key=value" lines, blanks around names and
// values ignored, defaults for missing keys. Writing keeps every other section, key and comment line
// in place, writes CR LF line ends and replaces the file atomically. Reading and look-ups are linear
// in the size of the file, whatever the number of sections: installations keep thousands of them.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace korvo {

class IniFile {
public:
    // load() reads no larger file, and save() writes none: a file the program cannot read back would
    // end every later save of the settings.
    static constexpr std::size_t kMaxFileBytes = std::size_t(16) << 20;

    IniFile() = default;
    explicit IniFile(std::string path) : path_(std::move(path)) {}

    // Reads the file (see parseFileBytes). A missing file is an empty INI (returns true). An unreadable
    // file, or one larger than kMaxFileBytes, returns false with a reason; the content stays empty.
    bool load(std::string* error = nullptr);
    // Writes fileBytes() to a temporary file beside the target, then renames it over the target. A
    // symbolic link of the user's own to a file of the user's own is kept (the settings may live
    // elsewhere), any other link is replaced. More than kMaxFileBytes is refused; the old file stays.
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

    bool hasSection(const std::string& section) const;
    // Names of the sections and of the keys in a section as written, each name once (the first
    // spelling), in file order.
    std::vector<std::string> sections() const;
    std::vector<std::string> keys(const std::string& section) const;

    // Text of the file as save() would write it, in UTF-8: every line ends with CR LF.
    std::string serialize() const;
    // Lines end with CR LF, LF or CR alone (old Mac files); leading byte-order marks are dropped.
    // Binary garbage and truncated lines never fail: what cannot be understood as a section or key
    // line is kept as it is and ignored.
    void parse(std::string_view content);
    // The bytes of a file: UTF-8 when they are valid UTF-8, else Windows-1252, after any byte-order
    // marks.
    void parseFileBytes(std::string_view bytes);
    // serialize() in Windows-1252, as older installations wrote it; in UTF-8 only where the code
    // page's bytes would read back as other text (they happen to form valid UTF-8, or start with
    // what reads as a byte-order mark). What is written reads back as the same text, and writing
    // that again gives the same bytes.
    std::string fileBytes() const;

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
    // Positions (section, line) by the hash of a name that compares without regard to ASCII case.
    // The names are read where the positions point, so an entry costs no allocation of its own:
    // files with tens of thousands of sections load in one pass. Only the first section of a name,
    // and the first line of a key in its section, are entered: those are the ones read and written.
    struct NameIndex {
        struct Slot {
            std::size_t hash = 0;
            std::uint32_t section = 0; // 0: empty (the lines before the first header are never looked up)
            std::uint32_t line = 0;
        };
        std::vector<Slot> table; // open addressing, a power of two long, at most half full
        std::size_t count = 0;
        void clear() { table.clear(), count = 0; }
        template <class Same> const Slot* find(std::size_t hash, Same same) const;
        // Nothing happens when `same` finds the name entered already.
        template <class Same> void insert(std::size_t hash, std::size_t section, std::size_t line, Same same);
        void place(const Slot& slot);
    };
    Section* findSection(std::string_view name);
    const Section* findSection(std::string_view name) const;
    const Line* findKey(const Section* section, std::string_view key) const; // nullptr: none
    void addSection(Section s);
    void addKey(std::size_t section, std::size_t line);

    std::string path_;
    std::vector<Section> sections_; // [0] holds the lines before the first header
    NameIndex sectionIndex_;
    NameIndex keyIndex_;
};

} // namespace korvo

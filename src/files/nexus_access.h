#pragma once
// Reading an HDF5 file that may be hostile, one checked step at a time. The file is opened from bytes
// in memory, so HDF5 never opens anything on the disk; every step goes through one link of one group,
// refuses external and user-defined links and follows soft links only inside the file and only so
// far; every data set and attribute is checked for its kind, rank, size, type, layout and filters
// before a value is read. Every message names the path inside the file. Only files/nexus_*.cpp use it.
#include "files/nexus_hdf5.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace korvo::h5 {

// Longest text (one value of a field or attribute) and most texts of one field that are read.
inline constexpr std::size_t kMaxTextBytes = std::size_t(8) << 20;
inline constexpr std::size_t kMaxAttributeBytes = 64 << 10;
// Soft links followed one after the other before a chain counts as a circle.
inline constexpr int kMaxSoftLinks = 8;

struct Object {
    Id id;
    std::string path; // inside the file, "/entry1/data"
    bool group = false;
};

struct Shape {
    std::vector<std::uint64_t> dims; // empty for a single value
    std::uint64_t points = 1;        // product of dims, held at UINT64_MAX
    H5T_class_t typeClass = H5T_NO_CLASS;
    bool variableText = false;
    std::size_t typeSize = 0;
    std::string text() const; // "101 x 200", "one value"
};

class FileReader {
public:
    // The bytes as an HDF5 file; nullptr with the reason otherwise.
    static std::unique_ptr<FileReader> open(std::string_view bytes, std::string& error);

    Object root();

    // The object behind link `name` of `parent`. Absent: nullopt with `error` empty. Refused (external
    // or user-defined link, a chain of soft links that goes round or too far, a dangling link, an
    // object HDF5 cannot open): nullopt with `error` set.
    std::optional<Object> child(const Object& parent, std::string_view name, std::string& error);
    // A group's link names in natural order ("entry2" before "entry10"); false when it has more than `max`.
    bool linkNames(const Object& group, std::size_t max, std::vector<std::string>& names, std::string& error);
    // A group's attribute names, at most `max`.
    bool attributeNames(const Object& object, std::size_t max, std::vector<std::string>& names, std::string& error);

    // Attributes. Absent: nullopt, error empty. A text attribute may be one text or a list of texts.
    std::optional<std::vector<std::string>> textsAttribute(const Object& object, const std::string& name,
                                                           std::string& error);
    std::optional<std::string> textAttribute(const Object& object, const std::string& name, std::string& error);
    std::optional<std::vector<double>> numbersAttribute(const Object& object, const std::string& name,
                                                        std::size_t max, std::string& error);

    // A data set's shape and type; false with the reason for a layout or filter Korvo does not read
    // (virtual data sets, external storage, filter plug-ins, absurd chunks).
    bool shape(const Object& dataset, Shape& s, std::string& error);
    // Numbers (integers or floats of any width, as doubles), at most `maxPoints`; rank as it comes.
    bool numbers(const Object& dataset, std::uint64_t maxPoints, std::vector<double>& out, Shape& s,
                 std::string& error);
    // Texts, at most `maxCount`, each at most kMaxTextBytes.
    bool texts(const Object& dataset, std::size_t maxCount, std::vector<std::string>& out, Shape& s,
               std::string& error);

private:
    explicit FileReader(Id file) : file_(std::move(file)), transfer_(smallTransfer()) {}
    std::optional<Object> follow(const Object& parent, std::string_view name, int& softLinks, std::string& error);
    std::optional<Object> resolve(const Object& from, const std::string& target, int& softLinks, std::string& error);
    std::shared_ptr<void> image_; // what the library's image callbacks were given; goes after file_
    Id file_;
    Id transfer_;
    std::size_t visits_ = 0;
};

// "entry2" before "entry10": digits compare as numbers.
bool naturalLess(std::string_view a, std::string_view b);

// For the reader's own sources: "path: what (the library's reason)", the form of every refusal, and a
// text of the file as valid UTF-8 (one that is not is taken as Windows-1252).
std::string failure(const std::string& path, const std::string& what);
std::string utf8Of(std::string s);

} // namespace korvo::h5

#pragma once
// The HDF5 C library as the NeXus code uses it: identifiers that close themselves, the library's
// error stack as a text, and the writing of groups, fields and attributes. Only files/nexus_*.cpp
// include this; nothing outside files/ sees HDF5.
#include <hdf5.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

namespace korvo::h5 {

// An HDF5 identifier, closed by the function of its kind when it goes.
class Id {
public:
    Id() = default;
    explicit Id(hid_t id) : id_(id) {}
    Id(Id&& other) noexcept : id_(std::exchange(other.id_, H5I_INVALID_HID)) {}
    Id& operator=(Id&& other) noexcept {
        if (this != &other) {
            close();
            id_ = std::exchange(other.id_, H5I_INVALID_HID);
        }
        return *this;
    }
    Id(const Id&) = delete;
    Id& operator=(const Id&) = delete;
    ~Id() { close(); }

    hid_t get() const { return id_; }
    explicit operator bool() const { return id_ >= 0; }
    void close();
    // The identifier, no longer closed by this object.
    hid_t release() { return std::exchange(id_, H5I_INVALID_HID); }

private:
    hid_t id_ = H5I_INVALID_HID;
};

// Once per process: HDF5 prints nothing on its own (its errors become our messages) and never loads
// filter plug-ins, which a file could otherwise name to make it load code.
void quietLibrary();

// The messages of HDF5's current error stack, innermost last, for a message of ours; empty when the
// stack holds none. The stack is cleared.
std::string errorText();

// Writes groups, fields and attributes; the first failure is kept and every later call does nothing,
// so that a writer checks once at the end.
class Writer {
public:
    Writer();
    bool ok() const { return error_.empty(); }
    const std::string& error() const { return error_; }

    // A group with its NX_class attribute.
    Id group(hid_t parent, const char* name, const char* nxClass);
    void text(hid_t parent, const char* name, std::string_view value);
    void texts(hid_t parent, const char* name, const std::vector<std::string>& values);
    // Numbers stored as 64-bit floats, or as 64-bit integers with `integers`; `units` may be null.
    void number(hid_t parent, const char* name, double value, const char* units, bool integers = false);
    // `count` numbers in one row, or with `columns` > 0 in rows of that many (row after row).
    void numbers(hid_t parent, const char* name, const double* values, std::size_t count, const char* units,
                 std::size_t columns = 0, bool integers = false);
    void attribute(hid_t object, const char* name, std::string_view value);
    void attribute(hid_t object, const char* name, const std::vector<std::string>& values);
    void attribute(hid_t object, const char* name, double value, bool integer = false);
    // A second name for the object at `targetPath` of the file (a hard link: both are the same data).
    void link(hid_t parent, const char* name, hid_t file, const std::string& targetPath);
    // Fields that hold the same in every entry are written once: when a field of `key` (its place and
    // value) was written before, `name` becomes a hard link to it and the call gives true; otherwise it
    // gives false, and the field the caller then writes at `path` is the one later calls link to.
    bool reuse(hid_t parent, const char* name, hid_t file, const std::string& key, const std::string& path);

private:
    bool fail(const std::string& what, const char* name);
    Id dataset(hid_t parent, const char* name, hid_t type, hid_t space, bool compact);
    void units(hid_t dataset, const char* units);

    std::string error_;
    Id scalar_, compact_, contiguous_, groups_, transfer_;
    std::unordered_map<std::string, std::string> written_; // key -> the path of the field written for it
};

// A transfer property list whose conversion buffer is small: the library's default takes (and clears)
// a megabyte for every read or write that converts, which costs more than the values themselves.
Id smallTransfer();

} // namespace korvo::h5

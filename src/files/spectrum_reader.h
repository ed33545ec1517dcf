#pragma once
// Reads a spectrum text file the way the viewer loads it. The rules are loose on purpose: files
// without any header (bare columns of numbers), headers in any order and extra columns are read too.
//
// Header lines (up to the first line containing "BEGIN") are matched by key anywhere in the line;
// the data lines follow up to the first line containing "END" or the end of the file. A file in which
// nothing follows the header is read as data from its first line. Each data line gives one point:
// its first number is x, its second (if any) y; further columns are ignored; an empty line gives the
// point (0, 0).
//
// The file is read piece by piece and line by line: only the current line, the header fields and the
// points are held, never the whole text.
#include "files/spectrum_file.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace korvo {

enum class SpectrumReadFault {
    None,
    CannotOpen,   // the file cannot be read (missing, not a regular file, too large, read error)
    Empty,        // the file holds no bytes at all
    FirstNumber,  // the first number of a data line is unreadable (usually a decimal comma)
    SecondNumber, // the second number of a data line is unreadable
    TooManyPoints,
    LineTooLong,
    Columns, // a row whose numbers differ from the first row's (only where every column is kept)
};

struct SpectrumReadResult {
    SpectrumReadFault fault = SpectrumReadFault::None;
    std::string error; // message for the user; empty on success
    int errorLine = 0; // 1-based line of the file that failed, 0 if none
    SpectrumFileData data;
    explicit operator bool() const { return fault == SpectrumReadFault::None; }
};

// Bounds that keep a hostile file from exhausting memory. A written line is at most a few hundred
// bytes (a long comment a few thousand); 8 MB leaves room for any hand-made file while a file of one
// endless line is refused after a bounded read.
inline constexpr std::size_t kMaxSpectrumFileBytes = std::size_t(256) << 20;
inline constexpr std::size_t kMaxSpectrumPoints = 10'000'000;
inline constexpr std::size_t kMaxSpectrumLineBytes = std::size_t(8) << 20;

// Where the reader's bytes come from, piece by piece.
class SpectrumByteSource {
public:
    virtual ~SpectrumByteSource() = default;
    // The next piece of the bytes, empty at their end; valid until the next call. false with a
    // reason when the bytes cannot be read.
    virtual bool next(std::string_view& piece, std::string& error) = 0;
    // Back to the first byte: a file that is all header is read a second time, as data.
    virtual bool rewind(std::string& error) = 0;
    // The number of bytes, when known (0 otherwise): lets the reader size its point table once.
    virtual std::uint64_t sizeHint() const { return 0; }
};

// Bytes in memory, handed out as one piece.
class MemoryByteSource final : public SpectrumByteSource {
public:
    explicit MemoryByteSource(std::string_view bytes) : bytes_(bytes) {}
    bool next(std::string_view& piece, std::string&) override {
        piece = done_ ? std::string_view{} : bytes_;
        done_ = true;
        return true;
    }
    bool rewind(std::string&) override {
        done_ = false;
        return true;
    }

private:
    std::string_view bytes_;
    bool done_ = false;
};

// Reads the bytes of a file; `shortName` is its name without directory, used in messages and as the
// caption when the file carries no "FileName" line. All three read through the same line reader.
SpectrumReadResult readSpectrumText(std::string_view bytes, std::string_view shortName);
SpectrumReadResult readSpectrumSource(SpectrumByteSource& source, std::string_view shortName);
// As above; with `table` every header line and every number of the rows is kept as well
// (files/spectrum_table.h).
struct SpectrumTable;
SpectrumReadResult readSpectrumSource(SpectrumByteSource& source, std::string_view shortName, SpectrumTable* table);

// The header fields of `lines` (UTF-8, without line ends) as the reader takes them from a header.
void matchSpectrumHeader(const std::vector<std::string>& lines, SpectrumFileData& d);
// Regular files only, and no larger than kMaxSpectrumFileBytes: the size is checked before a byte is
// read, and a device, FIFO or directory is refused at once instead of blocking or never ending.
SpectrumReadResult readSpectrumFile(const std::string& path);
SpectrumReadResult readSpectrumFile(const std::string& path, SpectrumTable* table);

// The last component of a path ("/data/c_021205.001" -> "c_021205.001").
std::string fileNameWithoutDirectory(std::string_view path);

} // namespace korvo

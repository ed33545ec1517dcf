#pragma once
// The binary file of a Scienta analyser: one energy axis and several slices of counts.
//
//   bytes 0, 1        3 0: the 8-byte reals are little-endian; 0 1: big-endian; anything else is not
//                     such a file;
//   data marker       "eV", NUL, NUL, "deg", NUL, NUL somewhere in the first 60000 bytes; the reals
//                     start 168 bytes after its first byte, Points x Slices of them, slice after slice;
//   text block        near the end (the last 700 bytes are searched): "key=value" lines ended by CR,
//                     from "Instrument" on; the keys read are "Low Energy", "High Energy",
//                     "Energy Step" and "Number of Slices".
//
// Points = round((High Energy - Low Energy) / Energy Step + 1). The files come from another
// program, other installations and damaged disks, so every number of the header is checked before it
// is used as a size or an offset: the reader never reads outside the file and never takes more
// memory than the values it is allowed to hold.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace korvo {

inline constexpr std::size_t kScientaMaxValues = 1'000'000;   // Points x Slices of one file
inline constexpr std::uint64_t kScientaMarkerWindow = 60000;  // the marker lies within these first bytes
inline constexpr std::uint64_t kScientaDataOffset = 168;      // from the marker's first byte to the data
inline constexpr std::uint64_t kScientaTextTail = 700;        // the text block lies in these last bytes
inline constexpr std::string_view kScientaMarker{"eV\0\0deg\0\0", 9};
inline constexpr std::string_view kNotScientaFormat = "Not Scienta-Format?";

struct ScientaHeader {
    double lowEnergy = 0;
    double highEnergy = 0;
    double energyStep = 0;
    std::int32_t slices = 0;
    std::int32_t points = 0;
    bool bigEndian = false;
    std::uint64_t dataOffset = 0; // first byte of the reals
};

struct ScientaData {
    ScientaHeader header;
    std::vector<double> values; // points x slices, slice 1 first
};

enum class ScientaFault {
    None,
    NotScienta, // the first two bytes are not a byte-order mark: kNotScientaFormat
    Header,     // a key is missing, or its value is not a number or absurd
    TooLarge,   // more than kScientaMaxValues values
    NoMarker,   // no data marker in the first kScientaMarkerWindow bytes
    Truncated,  // the header promises more values than the file holds after the marker
    BadValue,   // a value that is not a finite number
    ReadError,  // the file cannot be opened or read
};

struct ScientaReadResult {
    ScientaFault fault = ScientaFault::None;
    std::string error; // for the user; empty on success
    ScientaData data;
    explicit operator bool() const { return fault == ScientaFault::None; }
};

// Where the reader's bytes come from: only the pieces it needs are read, so a large file costs no
// more than its header, its marker window and the values.
class ScientaByteSource {
public:
    virtual ~ScientaByteSource() = default;
    virtual std::uint64_t size() const = 0;
    // Exactly `n` bytes from `offset` into `out` (the caller keeps offset + n within size()). false
    // with a reason when they cannot be read.
    virtual bool read(std::uint64_t offset, std::size_t n, std::string& out, std::string& error) = 0;
};

// `name` is the file's name in messages.
ScientaReadResult readScientaSource(ScientaByteSource& source, std::string_view name);
ScientaReadResult readScientaBytes(std::string_view bytes, std::string_view name);
// Regular files only: a directory, pipe or device is refused at once.
ScientaReadResult readScientaFile(const std::string& path);

// Slice `slice` (1 .. slices) as a spectrum file without header: one line per point, the energy
// Low Energy + (j - 1) x Energy Step with seven decimals, one blank, the value in the general
// format; CR LF line ends and no "END" line, as the import has always written them.
std::string scientaSliceText(const ScientaData& data, int slice);

} // namespace korvo

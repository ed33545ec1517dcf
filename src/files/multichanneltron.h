#pragma once
// The load dialog's "Single Multi -> project": a spectrum file measured with the multichanneltron
// and saved with its raw channel data (x and ten count columns: the sum and channeltrons 1 to 9)
// becomes a project of ten spectra, one per column, named "Ch : 0" to "Ch : 9", written as
// `path + ".k98"` (the full name of the measured file, extension included).
//
// The header is read key by key, each key searched from the line after the previous one: "Comment:",
// "Probe:", "Date:", "Scans:", "Points:", "PassEn:", "AnaSta:", "AnaEnd:", "BEGIN:"; the value is the
// rest of the line after as many characters as the key has. The points are the rows whose x lies
// between AnaSta and AnaEnd (the extra points outside are passed over); the data end after the first
// row at or above AnaEnd, at "END" or at the end of the file.
#include "files/project_file.h"

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace korvo {

inline constexpr std::size_t kMultichanneltronMaxPoints = 5000;
inline constexpr std::size_t kMultichanneltronColumns = 10;
inline constexpr std::string_view kNoChanneltrons = "No channeltrons in the file ?";
inline constexpr std::size_t kMaxMultichanneltronFileBytes = std::size_t(64) << 20;

struct MultichanneltronFile {
    std::string comment, sample, date; // the rests of their lines, UTF-8
    std::int32_t scans = 0;
    std::int32_t points = 0; // as the header states it; the project counts the rows it took
    double passEnergy = 0;
    double lower = 0, upper = 0; // AnaSta, AnaEnd
    std::vector<double> x;
    std::array<std::vector<std::int64_t>, kMultichanneltronColumns> counts;
    std::array<std::int64_t, kMultichanneltronColumns> minimum{}, maximum{};
};

enum class MultichanneltronFault {
    None,
    NoChanneltrons, // no "Energy Channeltron_9" line: kNoChanneltrons, and the command ends
    Header,         // a key is missing or its number unreadable
    Data,           // a row that cannot be read, or no row between AnaSta and AnaEnd
    TooManyPoints,  // more than kMultichanneltronMaxPoints rows between AnaSta and AnaEnd
    ReadError,      // the file cannot be read or written
};

struct MultichanneltronReadResult {
    MultichanneltronFault fault = MultichanneltronFault::None;
    std::string error; // for the user; empty on success
    int errorLine = 0;
    MultichanneltronFile file;
    explicit operator bool() const { return fault == MultichanneltronFault::None; }
};

MultichanneltronReadResult readMultichanneltronText(std::string_view bytes, std::string_view name);

// What the main window shows when the conversion runs; the project keeps them.
struct MultichanneltronWindowValues {
    std::int32_t measTime = 500;   // the time-per-point field, ms
    std::int32_t scanCounter = 1;  // the scan counter
};

// The project of a read file. `path` is the converted file's full name (UTF-8), kept in every block.
std::string multichanneltronProjectBytes(const MultichanneltronFile& file, const std::string& path,
                                         const MultichanneltronWindowValues& window);

struct MultichanneltronConversion {
    std::string target;   // the project written (or that would have been)
    MultichanneltronReadResult read;
    std::string error;    // why nothing was written; empty on success
    explicit operator bool() const { return error.empty(); }
};

// One file read and turned into the bytes of its project, nothing written yet. `target` is
// `path + ".k98"`, or the file's name + ".k98" in `outDirectory`.
struct MultichanneltronProject {
    std::string target;
    std::string bytes; // empty when the file could not be converted
    MultichanneltronReadResult read;
    explicit operator bool() const { return static_cast<bool>(read); }
};
MultichanneltronProject prepareMultichanneltronProject(const std::string& path,
                                                       const MultichanneltronWindowValues& window,
                                                       const std::optional<std::string>& outDirectory = {});

// Converts one file: reads it (a regular file of at most kMaxMultichanneltronFileBytes) and writes the
// project atomically as `path + ".k98"`, or into `outDirectory` under the file's name + ".k98".
MultichanneltronConversion convertMultichanneltronFile(const std::string& path,
                                                       const MultichanneltronWindowValues& window,
                                                       const std::optional<std::string>& outDirectory = {});

} // namespace korvo

#pragma once
// A spectrum file kept whole: every header line as written and every number of every data row. The
// viewer's reading keeps (x, y) and a few header texts; the conversions that must give the file back
// (NeXus and back to text) keep this.
#include "files/spectrum_reader.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace korvo {

// Numbers one table may hold (rows times columns): a spectrum of the reader's largest size with two
// columns, or a million points with all twelve.
inline constexpr std::size_t kMaxTableValues = 20'000'000;

struct SpectrumTable {
    std::vector<std::string> headerLines; // the lines before the data, UTF-8, without line ends
    std::optional<std::string> beginLine; // the line that opened the data ("BEGIN:"); none for a bare table
    std::optional<std::string> endLine;   // the line that closed it ("END"); none when the file ends without
    bool utf8 = false;                    // the header was UTF-8 in the file (Korvo writes Windows-1252)
    // columns[0] the x values, then the columns of the rows in their order; all of one length.
    std::vector<std::vector<double>> columns;
    // Decimals of the x values as written (the energy format); -1 when they have none fixed.
    int xDecimals = -1;

    std::size_t rows() const { return columns.empty() ? 0 : columns.front().size(); }
};

// What a column of the data rows holds. The machine mode that wrote the file decides: counting modes
// write the summed counts, with the raw data the nine channeltrons' counts after them; the Keithley
// mode writes the electrometer reading and the time since the run began (ms); electrometer add-on
// readings follow in every mode. Columns of a file without a known mode are plain values.
enum class ColumnRole : std::uint8_t { Energy, Counts, Channel, Reading, ElapsedTime, AddOn, Value };

// The machine mode named by the "Fileform:" line of the header; 0 when there is none or it names none.
std::uint8_t headerMachineMode(const std::vector<std::string>& headerLines);

// The role of each of `columns` columns (the x column included) of a file of `machineMode` (0: unknown).
std::vector<ColumnRole> columnRoles(std::uint8_t machineMode, std::size_t columns);

// The file's text again: header lines, the data rows in the formats Korvo writes (x with xDecimals
// decimals, counts as whole numbers, everything else in the general format), the end line; every
// line ended by CR LF, the header in the encoding it had. A file that Korvo wrote comes back byte for
// byte.
std::string spectrumTableText(const SpectrumTable& table);

// Reads a spectrum file whole. The viewer's reading rules hold (header up to the line containing
// "BEGIN", data up to the line containing "END", a file of bare columns read from its first line, an
// empty data line is a row of zeros); in addition every row must have the numbers of the first one.
struct SpectrumTableResult {
    SpectrumReadResult read; // the viewer's reading, with its error when the file cannot be read
    SpectrumTable table;
    explicit operator bool() const { return static_cast<bool>(read); }
};
SpectrumTableResult readSpectrumTableSource(SpectrumByteSource& source, std::string_view shortName);
SpectrumTableResult readSpectrumTableFile(const std::string& path);

// The nine channeltrons' summed counts of a table with their columns (the third to the eleventh), as
// the viewer's reading takes them: none when a column holds a count that is no number of at least 0.
std::optional<std::array<double, 9>> channelTotalsOf(const SpectrumTable& table);

// The viewer's reading of a table (the header texts matched by key, the points (x, y), the channel
// totals when the table has the nine channel columns), as if its text had been read.
SpectrumFileData spectrumFileDataOf(const SpectrumTable& table, std::string_view shortName);

} // namespace korvo

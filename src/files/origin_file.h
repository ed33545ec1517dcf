#pragma once
// A data file for the Origin plotting program: columns of numbers, the first the energy, every
// further one the counts of one spectrum. The viewer writes such files (as "as dat-file for
// &ORIGIN": no header, every row "x  y1  y2  ...  ") and reads them back, also when Origin or a
// colleague's script added header lines of words above the numbers.
//
// The rules the viewer has always read them by:
//   header   the lines before the first line whose first three characters hold a digit;
//   columns  counted on the line after that one: the number of values after its first;
//   rows     every line from the first one with a digit to the end of the file; each row is x and
//            then one value per column.
// Blank lines among the rows are passed over: they carry no point. A row with fewer or more values
// than columns (the first row too), or with a value that is not a number, is refused with its line
// number: a value left out would be lost without a word.
#include "files/spectrum_file.h"
#include "files/spectrum_reader.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace korvo {

struct OriginTable {
    std::size_t headerLines = 0; // lines before the first row
    std::size_t columns = 0;     // spectra
    std::size_t rows = 0;        // points of each
    // One range over all columns: x of every row, and every value.
    double xMin = 0, xMax = 0, yMin = 0, yMax = 0;
};

struct OriginReadLimits {
    std::size_t maxColumns = 2000;                  // more columns are refused before a row is read
    std::uint64_t maxValues = kMaxSpectrumPoints;   // columns x rows
};

struct OriginReadResult {
    std::string error; // for the user; empty on success
    int errorLine = 0; // 1-based line that failed, 0 when none
    OriginTable table;
    explicit operator bool() const { return error.empty(); }
};

// Reads an Origin file. The points (x, value) are appended to `points`, column after column and
// within a column row after row, so that column c (0-based) is points[old size + c * rows ...]. On
// failure `points` is back at its old size. `name` names the file in messages. The source is read
// twice: once to count the rows, once to read them into memory taken only then.
OriginReadResult readOriginSource(SpectrumByteSource& source, std::string_view name,
                                  std::vector<SpectrumPoint>& points, const OriginReadLimits& limits = {});
OriginReadResult readOriginText(std::string_view bytes, std::string_view name, std::vector<SpectrumPoint>& points,
                                const OriginReadLimits& limits = {});

} // namespace korvo

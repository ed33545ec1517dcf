#pragma once
// The arithmetic of printing, without a painter: where a cell goes on a page, how large page, cell
// and bitmaps are, the print schemes, the choice of files for a batch print and the reading of one
// batch file. The print routines (print_cells), the print windows and korvo-cli print share it.
#include "files/spectrum_file.h"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace korvo::print {

// The cell grid of the preview and of "&Autoselect", chosen in the main window's "Print-&Scheme".
enum class Scheme { OneByOne, TwoByOne, ThreeByTwo, FourByTwo };

struct SchemeInfo {
    Scheme scheme;
    const char* caption;
    int columns;   // SchemeColumns
    int rows;      // SchemeRows
    bool landscape;
    int windowHeight, windowWidth;   // the preview window
    int pictureHeight, pictureWidth; // the preview's picture
};

const std::vector<SchemeInfo>& schemes(); // in menu order
const SchemeInfo& schemeInfo(Scheme scheme);
std::optional<Scheme> schemeByCaption(std::string_view caption);

// A page or cell size in device units (0.1 mm on the printer, pixels on a bitmap).
struct Size {
    int width = 0;
    int height = 0;
    bool operator==(const Size&) const = default;
};

// Where the i-th cell (i from 1) of a grid goes: column (i + 1) mod perRow, row ((i - 1) div perRow)
// mod perColumn, on page (i - 1) div (perRow x perColumn), counted from 0. The column rule puts the
// first cell of a row of three into the last column; the layout of the printouts has always been so.
struct CellPlace {
    int column = 0;
    int row = 0;
    int page = 0;
    bool operator==(const CellPlace&) const = default;
};
CellPlace cellPlace(int i, int perRow, int perColumn);

// The cell of a page: trunc(page x factor / 100) div the cells across (down). Percent factors; a
// factor or count that leaves no room gives an empty size.
Size cellSize(Size page, double factorX, double factorY, int across, int down);
// Font height of a printed cell: min(W, H) div 35.
int cellFontHeight(Size cell);

// The bitmaps of a scheme: PageBitmap is half the printer page (pixels); CellBitmap and
// BlankCellBitmap (page bitmap width div columns) - 3 by (page bitmap height div rows) - 3.
Size pageBitmapSize(Size printerPagePixels);
Size cellBitmapSize(Size pageBitmap, int columns, int rows);
// Top-left corner of preview cell (column, row), both counted from 1, on the page bitmap.
Size previewCellCorner(Size pageBitmap, int columns, int rows, int column, int row);
// The preview cell (counted from 1) under a point of the picture, which shows the page bitmap
// stretched to `picture`; nullopt outside the picture.
struct PreviewCell {
    int column = 0;
    int row = 0;
    bool operator==(const PreviewCell&) const = default;
};
std::optional<PreviewCell> previewCellAt(Size picture, int columns, int rows, int x, int y);

// The text lines under a cell's plot: sample, comment, date, file name, and the scans, pass-energy,
// points and measure-time texts on one line, six blanks apart.
struct CellTexts {
    std::string sample, comment, date, fileName, scans, passEn, points, measTime;
    std::vector<std::string> lines() const;
};

// ---- the batch print (TForm17, korvo-cli print)

inline constexpr int kMaxBatchFiles = 50;
inline constexpr int kMaxBatchPoints = 6000;

// The first 50 of the selected files, and the messages to show on the way: "You can only print 50
// files at once !" when more were selected, then the count + " files selected.".
struct BatchSelection {
    std::vector<std::string> files;
    std::vector<std::string> messages;
};
BatchSelection selectBatchFiles(const std::vector<std::string>& selected);

// What the batch window's fields say, as typed.
struct BatchFieldTexts {
    std::string xFactor = "100";
    std::string yFactor = "100";
    std::string perRow = "2";    // "Row :"
    std::string perColumn = "4"; // "Column :"
    bool landscape = false;      // "Paper Orientation :" "Horizontal"
};

struct BatchLayout {
    double xFactor = 100;
    double yFactor = 100;
    int perRow = 2;
    int perColumn = 4;
    bool landscape = false;
};

// The fields checked: "Row :" and "Column :" must be whole numbers from 1 to 255 (0 would leave no
// cell size), the factors positive numbers. `error` says what is wrong.
struct BatchLayoutCheck {
    std::optional<BatchLayout> layout;
    std::string error;
};
BatchLayoutCheck checkBatchLayout(const BatchFieldTexts& fields);

// One file of a batch print: its texts and points, and the ranges its cell is drawn with.
struct BatchSpectrum {
    CellTexts texts;
    std::vector<SpectrumPoint> points;
    double XMin = 0, XMax = 0, YMin = 0, YMax = 0;
};

// A file is read with the spectrum file rules (header keys, data up to "END"). More than 6000 points,
// or a file that cannot be read, gives a message and no spectrum: the batch goes on without it.
struct BatchRead {
    std::optional<BatchSpectrum> spectrum;
    std::string message;
};
BatchRead readBatchFile(const std::string& path);
// The ranges of a batch cell from the points: x from the smallest to the largest value, y from 0 (or
// a smaller value) to the largest value rounded by roundUpTwoDigits.
void batchRanges(BatchSpectrum& spectrum);
// A largest y of 100 and more, rounded up to two significant digits: divided by 10 while at least
// 100, rounded to an integer after adding 0.5, and multiplied back. Smaller values stay.
double roundUpTwoDigits(double y);

} // namespace korvo::print

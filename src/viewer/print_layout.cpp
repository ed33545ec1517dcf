#include "viewer/print_layout.h"

#include "common/number_text.h"
#include "files/spectrum_reader.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

namespace korvo::print {

const std::vector<SchemeInfo>& schemes() {
    static const std::vector<SchemeInfo> all = {
        {Scheme::OneByOne, "1 X 1 (vert)", 1, 1, true, 220, 256, 150, 250},
        {Scheme::TwoByOne, "2 X 1", 1, 2, false, 320, 206, 250, 200},
        {Scheme::ThreeByTwo, "3 X 2", 2, 3, false, 320, 206, 250, 200},
        {Scheme::FourByTwo, "4 X 2", 2, 4, false, 320, 206, 250, 200},
    };
    return all;
}

const SchemeInfo& schemeInfo(Scheme scheme) {
    return schemes().at(static_cast<std::size_t>(scheme));
}

std::optional<Scheme> schemeByCaption(std::string_view caption) {
    for (const SchemeInfo& s : schemes())
        if (caption == s.caption) return s.scheme;
    return std::nullopt;
}

CellPlace cellPlace(int i, int perRow, int perColumn) {
    if (i < 1 || perRow < 1 || perColumn < 1) return {};
    return {(i + 1) % perRow, ((i - 1) / perRow) % perColumn, (i - 1) / (perRow * perColumn)};
}

Size cellSize(Size page, double factorX, double factorY, int across, int down) {
    if (across < 1 || down < 1 || !(factorX > 0) || !(factorY > 0)) return {};
    // A factor is a percentage typed by the user; the product is kept within int range.
    const double w = std::min(std::trunc(page.width * factorX / 100.0), 1e9);
    const double h = std::min(std::trunc(page.height * factorY / 100.0), 1e9);
    return {std::max(0, int(w) / across), std::max(0, int(h) / down)};
}

int cellFontHeight(Size cell) {
    return std::min(cell.width, cell.height) / 35;
}

Size pageBitmapSize(Size printerPagePixels) {
    return {printerPagePixels.width / 2, printerPagePixels.height / 2};
}

Size cellBitmapSize(Size pageBitmap, int columns, int rows) {
    if (columns < 1 || rows < 1) return {};
    return {std::max(0, pageBitmap.width / columns - 3), std::max(0, pageBitmap.height / rows - 3)};
}

Size previewCellCorner(Size pageBitmap, int columns, int rows, int column, int row) {
    if (columns < 1 || rows < 1) return {};
    return {pageBitmap.width / columns * (column - 1) + 1, pageBitmap.height / rows * (row - 1) + 1};
}

std::optional<PreviewCell> previewCellAt(Size picture, int columns, int rows, int x, int y) {
    if (columns < 1 || rows < 1 || x < 0 || y < 0 || x >= picture.width || y >= picture.height)
        return std::nullopt;
    return PreviewCell{int(std::int64_t(x) * columns / picture.width) + 1,
                       int(std::int64_t(y) * rows / picture.height) + 1};
}

std::vector<std::string> CellTexts::lines() const {
    const std::string gap(6, ' ');
    return {sample, comment, date, fileName, scans + gap + passEn + gap + points + gap + measTime};
}

BatchSelection selectBatchFiles(const std::vector<std::string>& selected) {
    BatchSelection s;
    const std::size_t n = std::min<std::size_t>(selected.size(), kMaxBatchFiles);
    s.files.assign(selected.begin(), selected.begin() + std::ptrdiff_t(n));
    if (selected.size() > kMaxBatchFiles) s.messages.emplace_back("You can only print 50 files at once !");
    s.messages.push_back(std::to_string(n) + " files selected.");
    return s;
}

namespace {

std::optional<int> gridCount(const std::string& text) {
    const auto v = text::parseInt(text);
    if (!v || *v < 1 || *v > 255) return std::nullopt;
    return *v;
}

std::optional<double> factor(const std::string& text) {
    const auto v = text::parseDouble(text);
    if (!v || !(*v > 0) || *v > 10000) return std::nullopt;
    return *v;
}

} // namespace

BatchLayoutCheck checkBatchLayout(const BatchFieldTexts& fields) {
    BatchLayoutCheck check;
    const auto perRow = gridCount(fields.perRow);
    const auto perColumn = gridCount(fields.perColumn);
    if (!perRow || !perColumn) {
        check.error = "\"Row :\" and \"Column :\" need a whole number of spectra from 1 to 255.";
        return check;
    }
    const auto x = factor(fields.xFactor);
    const auto y = factor(fields.yFactor);
    if (!x || !y) {
        check.error = "\"X - factor :\" and \"Y - factor :\" need a percentage above 0 and up to 10000.";
        return check;
    }
    check.layout = BatchLayout{*x, *y, *perRow, *perColumn, fields.landscape};
    return check;
}

double roundUpTwoDigits(double y) {
    if (!(y >= 100) || !std::isfinite(y)) return y;
    double m = 1;
    while (y >= 100) {
        y /= 10;
        m *= 10;
    }
    // The program's Round: halves to even.
    return double(text::roundHalfEven(y + 0.5)) * m;
}

void batchRanges(BatchSpectrum& s) {
    s.XMin = s.XMax = s.YMin = s.YMax = 0;
    if (s.points.empty()) return;
    const auto [xlo, xhi] = std::minmax_element(s.points.begin(), s.points.end(),
                                                [](const SpectrumPoint& a, const SpectrumPoint& b) { return a.x < b.x; });
    const auto [ylo, yhi] = std::minmax_element(s.points.begin(), s.points.end(),
                                                [](const SpectrumPoint& a, const SpectrumPoint& b) { return a.y < b.y; });
    s.XMin = xlo->x;
    s.XMax = xhi->x;
    s.YMin = std::min(0.0, ylo->y);
    s.YMax = roundUpTwoDigits(yhi->y);
}

BatchRead readBatchFile(const std::string& path) {
    BatchRead read;
    SpectrumReadResult r = readSpectrumFile(path);
    if (!r) {
        read.message = r.error.empty() ? path + ": the file cannot be read." : r.error;
        return read;
    }
    // The batch print keeps a buffer of 6000 points per file; a longer file is left out.
    if (r.data.points.size() > std::size_t(kMaxBatchPoints)) {
        read.message = path + " enthält zu viele Datenpunkte " + std::to_string(r.data.points.size()) + "> 6000 !!";
        return read;
    }
    BatchSpectrum s;
    s.texts = {r.data.sampleText, r.data.commentText, r.data.dateText, r.data.fileName,
               r.data.scansText,  r.data.passEnText,  r.data.pointsText, r.data.measTimeText};
    s.points = std::move(r.data.points);
    batchRanges(s);
    read.spectrum = std::move(s);
    return read;
}

} // namespace korvo::print

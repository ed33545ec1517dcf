#include "viewer/print_settings.h"

#include <QPagedPaintDevice>
#include <QPainter>

#include <algorithm>
#include <cmath>

namespace korvo {

namespace {

QImage monoImage(print::Size size) {
    QImage image(std::max(1, size.width), std::max(1, size.height), QImage::Format_Mono);
    image.setColorTable({qRgb(255, 255, 255), qRgb(0, 0, 0)});
    image.fill(0);
    return image;
}

// QPainter cannot draw on a monochrome image: draw in colour, then turn every pixel that is not
// white black, as a monochrome device would.
QImage toMono(const QImage& rgb) {
    QImage mono = monoImage({rgb.width(), rgb.height()});
    for (int y = 0; y < rgb.height(); ++y) {
        const QRgb* line = reinterpret_cast<const QRgb*>(rgb.constScanLine(y));
        for (int x = 0; x < rgb.width(); ++x)
            if ((line[x] & 0xFFFFFF) != 0xFFFFFF) mono.setPixel(x, y, 1);
    }
    return mono;
}

} // namespace

PrintSettings::PrintSettings() {
    chooseScheme(print::Scheme::FourByTwo, {2480, 3508});
}

bool PrintSettings::chooseScheme(print::Scheme scheme, print::Size printerPagePixels) {
    const print::SchemeInfo& info = print::schemeInfo(scheme);
    scheme_ = scheme;
    SchemeColumns = info.columns;
    SchemeRows = info.rows;
    // The page bitmap is as the printer's page lies in the scheme's orientation.
    print::Size page = printerPagePixels;
    if (info.landscape != (page.width > page.height)) std::swap(page.width, page.height);
    const print::Size pageSize = print::pageBitmapSize(page);
    const print::Size cell = print::cellBitmapSize(pageSize, SchemeColumns, SchemeRows);
    CellBitmap = monoImage(cell);
    BlankCellBitmap = monoImage(cell);
    QImage rgb(std::max(1, pageSize.width), std::max(1, pageSize.height), QImage::Format_RGB32);
    rgb.fill(Qt::white);
    {
        QPainter p(&rgb);
        p.setPen(QPen(Qt::black, 2));
        p.drawRect(QRect(0, 0, pageSize.width - 1, pageSize.height - 1));
        for (int c = 1; c < SchemeColumns; ++c) {
            const int x = pageSize.width / SchemeColumns * c;
            p.drawLine(x, 0, x, pageSize.height);
        }
        for (int r = 1; r < SchemeRows; ++r) {
            const int y = pageSize.height / SchemeRows * r;
            p.drawLine(0, y, pageSize.width, y);
        }
    }
    PageBitmap = toMono(rgb);
    return info.landscape;
}

void PrintSettings::drawCellBitmap(const tvar& ws, int k, bool allSpectra, const BindingAxis* binding,
                                   const FitOverlay* fit) {
    const print::Size size{CellBitmap.width(), CellBitmap.height()};
    QImage rgb(size.width, size.height, QImage::Format_RGB32);
    rgb.fill(Qt::white);
    if (k >= 1 && k <= kMaxSpectra && ws.ShownCount > 0) {
        QPainter p(&rgb);
        QFont font(QStringLiteral("Arial"));
        font.setPixelSize(std::max(1, size.height / 35));
        font.setStyleStrategy(QFont::NoAntialias);
        p.setFont(font);
        print::drawBitmapCell(p, print::workspaceCell(ws, k, std::nullopt, allSpectra, binding, fit), size,
                              {incLineType, frame});
    }
    CellBitmap = toMono(rgb);
}

void PrintSettings::placeBitmap(const QImage& cell, int column, int row) {
    if (column < 1 || row < 1 || column > SchemeColumns || row > SchemeRows) return;
    const print::Size at = print::previewCellCorner(pageBitmapSize(), SchemeColumns, SchemeRows, column, row);
    // Copied bit by bit: a monochrome image takes no painter.
    for (int y = 0; y < cell.height(); ++y) {
        const int py = at.height + y;
        if (py < 0 || py >= PageBitmap.height()) break;
        for (int x = 0; x < cell.width(); ++x) {
            const int px = at.width + x;
            if (px < 0 || px >= PageBitmap.width()) break;
            PageBitmap.setPixel(px, py, cell.pixelIndex(x, y));
        }
    }
}

void PrintSettings::fillPreviewCell(int column, int row) {
    placeBitmap(CellBitmap, column, row);
}

void PrintSettings::clearPreviewCell(int column, int row) {
    placeBitmap(BlankCellBitmap, column, row);
}

print::ViewerPrintSettings PrintSettings::viewerPrint() const {
    return {PrintRatioX, PrintRatioY, PrintLandscape == 1, SchemeColumns, SchemeRows, {incLineType, frame}, {}};
}

bool PrintSettings::printPage(QPagedPaintDevice& device, std::string& error) const {
    QPainter p;
    if (!p.begin(&device)) {
        error = "The printer could not start the document.";
        return false;
    }
    const int w = int(std::trunc(PageBitmap.width() * PrintRatioX / 100.0));
    const int h = int(std::trunc(PageBitmap.height() * PrintRatioY / 100.0));
    // The page bitmap is half the printer's page: printer pixels, twice its size.
    p.drawImage(QRect(0, 0, 2 * w, 2 * h), PageBitmap);
    if (!p.end()) {
        error = "The printer could not finish the document.";
        return false;
    }
    return true;
}

} // namespace korvo

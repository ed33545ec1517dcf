#pragma once
// The print settings of a program run, shared by the main window and every viewer: page ratios and
// orientation ("TForm4"), the print scheme, "&Inc line-type", and the three monochrome bitmaps of the
// print preview: PageBitmap (the composed page), CellBitmap (the active viewer spectrum) and
// BlankCellBitmap (a cell never drawn on, to clear one). The desktop program keeps one; tests make
// their own.
#include "viewer/print_cells.h"

#include <QImage>

#include <cstdint>
#include <string>

namespace korvo {

class PrintSettings {
public:
    // The 4 X 2 scheme on a page bitmap of an A4 page at 300 dpi until the program sets its printer.
    PrintSettings();

    int PrintRatioX = 100; // percent of the page width used
    int PrintRatioY = 100;
    std::uint8_t PrintLandscape = 1; // 1 "Horizontal", 0 "Vertical"
    int SchemeColumns = 2;
    int SchemeRows = 4;
    bool incLineType = false; // the main window's "&Inc line-type"
    plot::FrameDrawState frame; // the main window's closing flag is read from here

    print::Scheme scheme() const { return scheme_; }
    // Chooses a scheme for a printer page of the given size in pixels: grid, bitmap sizes, a blank page
    // bitmap with its frame and cell dividing lines. Returns whether the printer should turn to
    // landscape.
    bool chooseScheme(print::Scheme scheme, print::Size printerPagePixels);

    const QImage& pageBitmap() const { return PageBitmap; }
    const QImage& cellBitmap() const { return CellBitmap; }
    const QImage& blankCellBitmap() const { return BlankCellBitmap; }
    print::Size pageBitmapSize() const { return {PageBitmap.width(), PageBitmap.height()}; }

    // Draws CellBitmap anew: the frame of spectrum k with the marked (or all shown) spectra, labelled
    // in binding energy with `binding`.
    void drawCellBitmap(const tvar& ws, int k, bool allSpectra, const BindingAxis* binding = nullptr,
                        const FitOverlay* fit = nullptr);
    // The preview's left click and right press: CellBitmap or BlankCellBitmap into cell (column,
    // row), both counted from 1.
    void fillPreviewCell(int column, int row);
    void clearPreviewCell(int column, int row);

    // The viewer's print settings from these.
    print::ViewerPrintSettings viewerPrint() const;
    // The preview's "Print": PageBitmap stretched over (2 x trunc(width x PrintRatioX / 100), 2 x
    // trunc(height x PrintRatioY / 100)) printer pixels.
    bool printPage(QPagedPaintDevice& device, std::string& error) const;

private:
    void placeBitmap(const QImage& cell, int column, int row);

    print::Scheme scheme_ = print::Scheme::FourByTwo;
    QImage PageBitmap, CellBitmap, BlankCellBitmap;
};

} // namespace korvo

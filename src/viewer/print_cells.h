#pragma once
// A spectrum cell on paper or on a monochrome layout bitmap, and the print jobs that lay cells out on
// pages: the viewer's single print and autoselect, and the batch print of files. QtGui only, so that
// the viewer window, the print windows and korvo-cli print draw the same pages.
//
// A job paints on any QPagedPaintDevice (a QPrinter of the system, or a PDF writer) in page units
// of 0.1 mm with y upwards.
#include "plot/frame_drawing.h"
#include "viewer/binding_axis.h"
#include "viewer/fit_overlay.h"
#include "viewer/print_layout.h"
#include "viewer/workspace.h"

#include <functional>
#include <optional>
#include <span>
#include <string>
#include <vector>

class QPainter;
class QPagedPaintDevice;

namespace korvo::print {

// What one cell shows: the frame of one spectrum, its text lines and one or more curves.
struct CellContent {
    double XMin = 0, XMax = 0, YMin = 0, YMax = 0;
    double YTop = 0; // count value at the top edge of the data area: curves are drawn from it
    CellTexts texts;
    // What the energy axis says at the left and right edge of the data area (the binding energies
    // there); unset: XMin and XMax.
    std::optional<std::pair<double, double>> axisLabels;
    struct Curve {
        std::span<const SpectrumPoint> points;
        double XMin = 0;   // the curve starts at its first point with x at least this
        double xShift = 0; // added to every x before it is placed (another photon energy than the frame's)
    };
    std::vector<Curve> curves;
    // A peak fit over its spectrum's curve (fitLines for the frame's counts), moved as that curve.
    struct FitCurve {
        FitLine line;
        double xShift = 0;
    };
    std::vector<FitCurve> fit;
};

struct CellStyle {
    bool incLineType = false; // "&Inc line-type": solid, dashed, dotted, dash-dotted, ... by drawing order
    plot::FrameDrawState frame;
};

// Spectrum k of a workspace as the frame of a cell; with `position` only the spectrum at that display
// position is drawn, otherwise every shown marked spectrum (every shown one with `allSpectra`). With
// `binding` the axis is labelled in binding energy and each curve placed by its own. A `fit` whose
// spectrum is drawn and still fits it (overlayFits) is drawn over its curve.
CellContent workspaceCell(const tvar& ws, int k, std::optional<int> position, bool allSpectra,
                          const BindingAxis* binding = nullptr, const FitOverlay* fit = nullptr);
CellContent batchCell(const BatchSpectrum& spectrum);

// A cell of W x H page units at (column x W, row x H) from the page's top-left corner. The painter
// carries the page transform (plot::applyPageUnits) and the cell's font.
void drawPrinterCell(QPainter& painter, const CellContent& cell, Size size, int column, int row,
                     const CellStyle& style);
// The same cell at (0, 0) of a bitmap (y downwards, pixels).
void drawBitmapCell(QPainter& painter, const CellContent& cell, Size size, const CellStyle& style);

// Page size of a paged device in 0.1 mm (its printable width and height in mm x 10).
Size pageSizeTenthMm(const QPagedPaintDevice& device);

// ---- print jobs. Each sets the device's orientation, paints every page and ends the document.
// false when painting could not begin (the device refused), with a reason in `error`.

struct ViewerPrintSettings {
    int ratioX = 100; // PrintRatioX, percent
    int ratioY = 100; // PrintRatioY
    bool landscape = true;
    int columns = 2; // SchemeColumns
    int rows = 4;    // SchemeRows
    CellStyle style;
    std::optional<BindingAxis> binding; // the window shows binding energies
    const FitOverlay* fit = nullptr;     // the fit the window shows
};

// "&Single": the active spectrum's frame with all marked (or all shown) spectra on one page. The
// device's orientation is restored afterwards.
bool printSingle(QPagedPaintDevice& device, const tvar& ws, bool allSpectra, const ViewerPrintSettings& settings,
                 std::string& error);
// "&Autoselect": the spectra at the given display positions, one per cell of the scheme's grid.
bool printCells(QPagedPaintDevice& device, const tvar& ws, const std::vector<int>& positions,
                const ViewerPrintSettings& settings, std::string& error);

// "Print selected spectra": the files in cells of layout.perRow x layout.perColumn. Files that cannot
// be printed are skipped after their message (through `report`); they take no cell.
struct BatchOutcome {
    bool begun = false; // the document was started (false: nothing was printed)
    int printed = 0;    // files drawn
    int pages = 0;
    std::string error;
};
BatchOutcome printBatch(QPagedPaintDevice& device, const std::vector<std::string>& files, const BatchLayout& layout,
                        const CellStyle& style, const std::function<void(const std::string&)>& report);

} // namespace korvo::print

#include "viewer/print_cells.h"

#include <QFont>
#include <QFontMetrics>
#include <QPageLayout>
#include <QPagedPaintDevice>
#include <QPainter>
#include <QPainterPath>
#include <QPen>

#include <algorithm>
#include <cmath>
#include <limits>

namespace korvo::print {

namespace {

constexpr Qt::PenStyle kLineTypes[4] = {Qt::SolidLine, Qt::DashLine, Qt::DotLine, Qt::DashDotLine};

// A cell's geometry: top-left corner and size in device units, and the sign of vertical positions
// (-1 on a page whose y runs upwards).
struct CellFrame {
    int x0, y0, w, h, ySign;
    int left() const { return x0 + w / 9; }
    int top() const { return y0 + h / 50; }
    int dataWidth() const { return w - w / 6; }
    int dataHeight() const { return h - h / 4; }
};

void drawTexts(QPainter& p, const CellTexts& texts, const CellFrame& f) {
    const int fontHeight = p.fontMetrics().height();
    const int x = f.left();
    const std::vector<std::string> lines = texts.lines();
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const int below = f.h - f.h / 4 + f.h / 25 + int(i + 1) * fontHeight; // distance of the line's top
        const QString text = QString::fromStdString(lines[i]);
        const int top = f.y0 + below;
        if (f.ySign >= 0) {
            p.drawText(QPoint(x, top + p.fontMetrics().ascent()), text);
            continue;
        }
        // On a page with y upwards each line is written in a local frame flipped back to y downwards.
        p.save();
        p.translate(x, -top);
        p.scale(1.0, -1.0);
        p.drawText(QPoint(0, p.fontMetrics().ascent()), text);
        p.restore();
    }
}

// One line through `points` in the cell's units, from its first point with x at least `xMin` on.
void drawPoints(QPainter& p, const CellContent& cell, const CellFrame& f, double xPer, double yPer,
                std::span<const SpectrumPoint> points, double xMin, double xShift) {
    QPainterPath path;
    bool started = false;
    for (const SpectrumPoint& pt : points) {
        if (!started && !(pt.x >= xMin)) continue;
        const double x = f.left() + (pt.x + xShift - cell.XMin) / xPer;
        const double y = f.ySign * (f.top() + (cell.YTop - pt.y) / yPer);
        if (!std::isfinite(x) || !std::isfinite(y)) continue;
        // Far outside points are pulled in so that the clip has sane numbers to cut.
        const QPointF at(std::clamp(x, -1e7, 1e7), std::clamp(y, -1e7, 1e7));
        if (!started)
            path.moveTo(at);
        else
            path.lineTo(at);
        started = true;
    }
    if (started) p.drawPath(path);
}

// A fit on paper: all black, told apart by the line: the envelope as the curves, components dashed,
// background and the residuals' zero line dotted, residuals thin.
QPen fitPen(FitLineKind kind) {
    switch (kind) {
    case FitLineKind::Envelope: return QPen(Qt::black, 2);
    case FitLineKind::Component: return QPen(Qt::black, 1, Qt::DashLine);
    case FitLineKind::Background:
    case FitLineKind::ResidualZero: return QPen(Qt::black, 1, Qt::DotLine);
    case FitLineKind::Residual: break;
    }
    return QPen(Qt::black, 1);
}

void drawCurves(QPainter& p, const CellContent& cell, const CellFrame& f, double xPer, double yPer,
                const CellStyle& style) {
    if (xPer == 0 || yPer == 0 || !std::isfinite(xPer) || !std::isfinite(yPer)) return;
    p.save();
    // Curves stay inside the data area: a zoomed view cuts them at its edges.
    const int top = f.ySign >= 0 ? f.top() : -(f.top() + f.dataHeight());
    p.setClipRect(QRect(f.left(), top, f.dataWidth() + 1, f.dataHeight() + 1), Qt::IntersectClip);
    p.setRenderHint(QPainter::Antialiasing, false);
    int order = 0;
    for (const CellContent::Curve& curve : cell.curves) {
        QPen pen(Qt::black, 2);
        pen.setStyle(style.incLineType ? kLineTypes[order % 4] : Qt::SolidLine);
        ++order;
        p.setPen(pen);
        drawPoints(p, cell, f, xPer, yPer, curve.points, curve.XMin, curve.xShift);
    }
    for (const CellContent::FitCurve& curve : cell.fit) {
        p.setPen(fitPen(curve.line.kind));
        drawPoints(p, cell, f, xPer, yPer, curve.line.points, -std::numeric_limits<double>::infinity(),
                   curve.xShift);
    }
    p.restore();
}

void drawCell(QPainter& p, const CellContent& cell, const CellFrame& f, const CellStyle& style) {
    if (style.frame.Closing || f.w <= 0 || f.h <= 0) return;
    const int dw = f.dataWidth(), dh = f.dataHeight();
    const double xPer = dw > 0 ? (cell.XMax - cell.XMin) / dw : 0;
    const double yPer = dh > 0 ? (cell.YMax - cell.YMin) / dh : 0;
    const auto [left, right] = cell.axisLabels.value_or(std::pair(cell.XMin, cell.XMax));
    const double axisPer = dw > 0 ? (right - left) / dw : 0;
    p.setPen(QPen(QColor(128, 128, 128), 1, Qt::SolidLine));
    if (f.ySign < 0)
        plot::DrawAxesPrinter(p, left, right, cell.YMin, cell.YMax, axisPer, yPer, f.w, f.h, f.x0, f.y0, style.frame);
    else
        plot::DrawAxesBitmap(p, left, right, cell.YMin, cell.YMax, axisPer, yPer, f.w, f.h, style.frame);
    p.setPen(Qt::black);
    p.setBackgroundMode(Qt::TransparentMode);
    drawTexts(p, cell.texts, f);
    drawCurves(p, cell, f, xPer, yPer, style);
}

QFont cellFont(Size cell) {
    QFont font(QStringLiteral("Arial"));
    font.setPixelSize(std::max(1, cellFontHeight(cell)));
    return font;
}

// Begins a document on the device in page units; false with a reason when the device refuses.
bool beginPage(QPainter& p, QPagedPaintDevice& device, std::string& error) {
    if (!p.begin(&device)) {
        error = "The printer could not start the document.";
        return false;
    }
    plot::applyPageUnits(p, device.logicalDpiX(), device.logicalDpiY());
    return true;
}

// Cells 0 .. count - 1 in a grid of `across` x `down` cells per page on a begun document, a new page
// where a page is full; draw(j, cell, place) draws cell j. Returns the pages used.
int layOutCells(QPainter& p, QPagedPaintDevice& device, int count, double factorX, double factorY, int across,
                int down, const std::function<void(int, Size, CellPlace)>& draw) {
    const Size cell = cellSize(pageSizeTenthMm(device), factorX, factorY, across, down);
    p.setFont(cellFont(cell));
    int pages = 1;
    for (int j = 0; j < count; ++j) {
        const CellPlace place = cellPlace(j + 1, across, down);
        if (place.page + 1 > pages) {
            device.newPage();
            plot::applyPageUnits(p, device.logicalDpiX(), device.logicalDpiY());
            pages = place.page + 1;
        }
        draw(j, cell, place);
    }
    return pages;
}

} // namespace

CellContent workspaceCell(const tvar& ws, int k, std::optional<int> position, bool allSpectra,
                          const BindingAxis* binding, const FitOverlay* fit) {
    CellContent c;
    if (k < 1 || k > kMaxSpectra) return c;
    const ViewerSpectrum& s = ws.spectrum(k);
    c.XMin = s.XMin, c.XMax = s.XMax, c.YMin = s.YMin, c.YMax = s.YMax, c.YTop = s.YTop;
    c.texts = {s.SampleText, s.CommentText, s.DateText, s.FileName, s.ScansText, s.PassEnText, s.PointsText,
               s.MeasTimeText};
    // The frame is spectrum k's kinetic range; a curve of another photon energy moves by the difference,
    // so that each point lies at its own binding energy.
    const std::optional<double> frameHv = binding ? photonEnergyOf(s, *binding) : std::nullopt;
    if (frameHv)
        c.axisLabels = std::pair(shownX(s, s.XMin, binding), shownX(s, s.XMax, binding));
    auto add = [&](int n) {
        if (n < 1 || n > kMaxSpectra) return;
        const ViewerSpectrum& curve = ws.spectrum(n);
        const std::optional<double> hv = frameHv ? photonEnergyOf(curve, *binding) : std::nullopt;
        const double shift = hv ? *frameHv - *hv : 0.0;
        c.curves.push_back({ws.points(n), curve.XMin, shift});
        if (fit && fit->spectrum == n && overlayFits(ws, *fit))
            for (FitLine& line : fitLines(*fit, c.YMin, c.YTop)) c.fit.push_back({std::move(line), shift});
    };
    if (position) {
        if (*position >= 1 && *position <= ws.ShownCount) add(ws.atPosition(*position));
        return c;
    }
    for (int i = 1; i <= ws.ShownCount; ++i) {
        const int n = ws.atPosition(i);
        if (allSpectra || (n >= 1 && n <= kMaxSpectra && ws.spectrum(n).Marked)) add(n);
    }
    return c;
}

CellContent batchCell(const BatchSpectrum& s) {
    CellContent c;
    c.XMin = s.XMin, c.XMax = s.XMax, c.YMin = s.YMin, c.YMax = s.YMax, c.YTop = s.YMax;
    c.texts = s.texts;
    c.curves.push_back({s.points, s.XMin});
    return c;
}

void drawPrinterCell(QPainter& painter, const CellContent& cell, Size size, int column, int row,
                     const CellStyle& style) {
    painter.save();
    drawCell(painter, cell, {column * size.width, row * size.height, size.width, size.height, -1}, style);
    painter.restore();
}

void drawBitmapCell(QPainter& painter, const CellContent& cell, Size size, const CellStyle& style) {
    painter.save();
    drawCell(painter, cell, {0, 0, size.width, size.height, 1}, style);
    painter.restore();
}

Size pageSizeTenthMm(const QPagedPaintDevice& device) {
    const QRectF mm = device.pageLayout().paintRect(QPageLayout::Millimeter);
    return {int(mm.width()) * 10, int(mm.height()) * 10};
}

bool printSingle(QPagedPaintDevice& device, const tvar& ws, bool allSpectra, const ViewerPrintSettings& settings,
                 std::string& error) {
    if (settings.style.frame.Closing) return true;
    const QPageLayout::Orientation before = device.pageLayout().orientation();
    device.setPageOrientation(settings.landscape ? QPageLayout::Landscape : QPageLayout::Portrait);
    QPainter p;
    bool ok = beginPage(p, device, error);
    if (ok) {
        const Size page = pageSizeTenthMm(device);
        const Size cell = cellSize(page, settings.ratioX, settings.ratioY, 1, 1);
        p.setFont(cellFont(cell));
        const BindingAxis* binding = settings.binding ? &*settings.binding : nullptr;
        drawPrinterCell(p, workspaceCell(ws, ws.Active, std::nullopt, allSpectra, binding, settings.fit), cell,
                        0, 0, settings.style);
        ok = p.end();
        if (!ok) error = "The printer could not finish the document.";
    }
    device.setPageOrientation(before);
    return ok;
}

bool printCells(QPagedPaintDevice& device, const tvar& ws, const std::vector<int>& positions,
                const ViewerPrintSettings& settings, std::string& error) {
    if (positions.empty() || settings.style.frame.Closing) return true;
    // The orientation the scheme set stays with the printer.
    QPainter p;
    if (!beginPage(p, device, error)) return false;
    layOutCells(p, device, int(positions.size()), settings.ratioX, settings.ratioY, settings.columns, settings.rows,
                [&](int j, Size cell, CellPlace place) {
                    const int position = positions[std::size_t(j)];
                    if (position < 1 || position > ws.ShownCount) return;
                    drawPrinterCell(p,
                                    workspaceCell(ws, ws.atPosition(position), position, false,
                                                  settings.binding ? &*settings.binding : nullptr, settings.fit),
                                    cell, place.column, place.row, settings.style);
                });
    if (!p.end()) {
        error = "The printer could not finish the document.";
        return false;
    }
    return true;
}

BatchOutcome printBatch(QPagedPaintDevice& device, const std::vector<std::string>& files, const BatchLayout& layout,
                        const CellStyle& style, const std::function<void(const std::string&)>& report) {
    BatchOutcome out;
    // Every file is read before the document begins: a batch of unreadable files prints nothing.
    std::vector<BatchSpectrum> spectra;
    for (const std::string& path : files) {
        BatchRead read = readBatchFile(path);
        if (!read.spectrum) {
            if (report) report(read.message);
            continue;
        }
        spectra.push_back(std::move(*read.spectrum));
    }
    if (spectra.empty()) {
        out.error = "None of the selected files could be printed.";
        return out;
    }
    device.setPageOrientation(layout.landscape ? QPageLayout::Landscape : QPageLayout::Portrait);
    QPainter p;
    if (!beginPage(p, device, out.error)) return out;
    out.begun = true;
    out.pages = layOutCells(p, device, int(spectra.size()), layout.xFactor, layout.yFactor, layout.perRow,
                            layout.perColumn, [&](int j, Size cell, CellPlace place) {
                                drawPrinterCell(p, batchCell(spectra[std::size_t(j)]), cell, place.column, place.row,
                                                style);
                                ++out.printed;
                            });
    if (!p.end()) {
        out.error = "The printer could not finish the document.";
        out.printed = 0;
    }
    return out;
}

} // namespace korvo::print

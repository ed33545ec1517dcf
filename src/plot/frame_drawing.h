#pragma once
// The plot frame on any QPaintDevice: border, dotted grid at major ticks, short marks at minor ticks,
// energy labels under the data area and counts labels left of it. The curves are the caller's.
// The routines take the painter as the caller prepared it (font, and for the printer the page
// transform) and leave its pen dotted and grey.
#include "plot/frame_layout.h"

#include <QColor>

class QPainter;

namespace korvo::plot {

// The process-wide switches the frame reads. The program keeps one instance; the EPS export raises
// BlackDrawing while it draws, and the main window sets Closing when it is being closed.
struct FrameDrawState {
    int BlackDrawing = 0;        // above 0: every line and text of the frame is black
    bool Closing = false;        // nothing is drawn while the main window closes
    QColor light{227, 227, 227}; // tick and grid colour (the classic 3D-light system colour)
};

inline const QColor kFrameGrey{128, 128, 128};

// Viewer paint box: data area plotWidth x plotHeight pixels at (45, 5).
void DrawAxesScreen(QPainter& painter, double XMin, double XMax, double YMin, double YMax, double XPerPixel,
                    double YPerPixel, int plotWidth, int plotHeight, const FrameDrawState& state = {});

// One cell of a printed page. The painter must carry page units of 0.1 mm with y upwards
// (applyPageUnits); the cell's vertical positions are drawn negated, as on a metric page.
void DrawAxesPrinter(QPainter& painter, double XMin, double XMax, double YMin, double YMax, double xPerUnit,
                     double yPerUnit, int cellWidth, int cellHeight, int cellLeft, int cellTop,
                     const FrameDrawState& state = {});

// The main window's layout bitmap: a cell at (0, 0) with y downwards. QPainter cannot draw on a
// monochrome QImage; draw on an RGB image and convert.
void DrawAxesBitmap(QPainter& painter, double XMin, double XMax, double YMin, double YMax, double xPerUnit,
                    double yPerUnit, int cellWidth, int cellHeight, const FrameDrawState& state = {});

// Draws a computed layout; ySign -1 negates every vertical position (text stays upright).
void drawFrame(QPainter& painter, const FrameLayout& layout, const FrameDrawState& state, int ySign = 1);

// Page transform for printing: 0.1 mm units, origin at the top left, y upwards (visible points
// have negative y), for a device with the given resolution.
void applyPageUnits(QPainter& painter, double dotsPerInchX, double dotsPerInchY);

} // namespace korvo::plot

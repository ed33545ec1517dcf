#pragma once
// Geometry of a plot frame as plain data: where the grid lines, tick marks, labels and border go.
// Positions are device units with y running downwards from the top of the canvas; the printer
// variant negates y only when it draws. Keeping the layout free of Qt lets the viewer, the printout,
// the layout bitmap and the tests agree on one computation.
#include "plot/axis_ticks.h"

#include <string>
#include <vector>

namespace korvo::plot {

// A line from (x1, y1) towards (x2, y2); the end point itself is not drawn, so consecutive lines
// share their joints without overdrawing.
struct Segment {
    int x1 = 0, y1 = 0, x2 = 0, y2 = 0;
};

enum class LabelAnchor {
    CentreTop,  // centred on x, top of the text at y
    RightMiddle // right end at x, baseline half a text height below y
};

struct FrameLabel {
    int x = 0;
    int y = 0;
    LabelAnchor anchor = LabelAnchor::CentreTop;
    std::string text;
};

// One tick with its place on the axis (column for the energy axis, row for the counts axis).
struct Tick {
    double value = 0.0;
    int pixel = 0;
    bool major = false;
    std::string label; // empty for minor ticks
};

struct FrameLayout {
    // Data area.
    int left = 0, top = 0, width = 0, height = 0;
    // The left edge of the canvas (0 on the screen, the cell's left on a page): a counts label that
    // started left of it would lose its first characters.
    int canvasLeft = 0;
    bool energyAxis = false; // ticks were walked for the energy axis
    bool countsAxis = false;
    bool border = false;
    std::vector<Tick> energyTicks;
    std::vector<Tick> countsTicks;
    std::vector<Segment> gridLines;  // dotted
    std::vector<Segment> minorMarks; // solid
    std::vector<FrameLabel> labels;
};

// The viewer's frame: data area plotWidth x plotHeight pixels at (45, 5). An axis gets ticks when its
// range is non-zero and its units per pixel non-zero; the border needs both units non-zero.
// Non-finite scales and a data area without size give an empty layout. Energy ticks run from the
// smaller limit at the left edge, or, with a negative unit, from the larger one.
FrameLayout screenFrameLayout(double XMin, double XMax, double YMin, double YMax, double XPerPixel,
                              double YPerPixel, int plotWidth, int plotHeight);

// The frame of a W x H cell at (X0, Y0): margins and sizes as fractions of the cell, minor marks of
// 10 device units on both edges of each axis.
FrameLayout cellFrameLayout(double XMin, double XMax, double YMin, double YMax, double xPerUnit,
                            double yPerUnit, int cellWidth, int cellHeight, int cellLeft, int cellTop);

} // namespace korvo::plot

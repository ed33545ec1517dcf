#pragma once
// The viewer's picture on any QPainter: white box, the frame of the active spectrum, the curves of
// the shown spectra (or, in the colour view, their colour bands), a peak fit over its spectrum and, in
// measuring mode, the two marks. The window's paint, korvo-cli plot and
// the paint benchmark all draw through here, so the picture in a report is the one on screen.
#include "plot/frame_drawing.h"
#include "viewer/binding_axis.h"
#include "viewer/curves.h"
#include "viewer/fit_overlay.h"
#include "viewer/view_scale.h"
#include "viewer/workspace.h"

#include <QRect>

#include <optional>

class QPainter;

namespace korvo {

struct ViewerPaintOptions {
    plot::FrameDrawState frame; // BlackDrawing and the main window's closing flag
    bool measuring = false;     // draw the selection marks (SelStartPx, SelEndPx)
    std::optional<QRect> zoomRect; // a zoom drag under way
    int colourScale = 0;           // 0: curves; 1 .. 44: the colour view with that colour-scale selector
    // The x axis labelled in binding energy, high on the left (the curves stay where they are).
    std::optional<BindingAxis> binding;
    // A peak fit over its spectrum, drawn while overlayFits (in the EPS export on that spectrum's
    // picture only).
    const FitOverlay* fit = nullptr;
};

// The colour of a fit's line on screen (the EPS export draws everything black).
CurveColour fitLineColour(const FitLine& line);

// Paints a box of ws.PlotWidth x ws.PlotHeight pixels at the painter's origin. Recomputes the scale
// of every shown spectrum first; what could not be scaled or drawn is added to `messages`. Curves,
// colour bands and marks are cut to the data area and its border.
void paintViewer(QPainter& painter, tvar& ws, const ViewerPaintOptions& options, ViewMessages& messages);

} // namespace korvo

#pragma once
// Drawing of one live plot box into an image: the full picture (margins, frame, cursors, curves) and
// the addition of one completed point. The widget only blits the image, so a point drawn during a
// run costs a few pixel writes, not a repaint of the whole spectrum.
#include "app/live_trace.h"

#include <QFont>
#include <QImage>
#include <QRect>

#include <array>
#include <optional>

namespace korvo::live {

struct RenderOptions {
    bool multi = false; // the multichanneltron box: nine channel curves instead of the total
    bool bigSpots = false;
    bool closing = false;                  // the window is being closed: empty frames only
    bool drawEnabled = false;              // set once a run has started
    std::uint32_t marginColour = 0xE0E0E0; // plot background colour (0x00BBGGRR)
    QFont font;
};

// Image pixel colour of a 0x00BBGGRR colour number.
QRgb rgbOf(std::uint32_t bgr);
// Colour of channeltron c (1..9) in the multichanneltron box.
QRgb channelRgb(int c);

// Draws the whole box into `image` (its size is the box size). Returns the first point that could
// not be drawn; the others are drawn regardless.
std::optional<FailedPoint> renderFull(QImage& image, const TraceSource& s, const PlotScale& plot,
                                      const RenderOptions& o);

// Draws the just completed record `record` on top of the picture: in the first scan the line
// segment from the previous point, later a spot in the current-scan colour; in the multichanneltron
// box a cross per channel. Returns the rectangle that changed; a point that could not be drawn is
// reported through `failure`.
QRect renderPoint(QImage& image, const TraceSource& s, const PlotScale& plot, const RenderOptions& o,
                  std::size_t record, std::optional<FailedPoint>* failure);

} // namespace korvo::live

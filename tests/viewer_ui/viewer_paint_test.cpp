// The viewer's picture painted into images, as the window, korvo-cli plot and the EPS export paint
// it: curves where QPainter draws them, nothing of the data outside the frame, the colour view.
#include "viewer/colour_scales.h"
#include "viewer/viewer_paint.h"
#include "viewer_ui/viewer_test_util.h"

#include "support/qt_app.h"

#include <gtest/gtest.h>

#include <cmath>

#include <QImage>
#include <QPainter>

namespace korvo {
namespace {

QApplication& app() {
    return testing::qtApp();
}

// Into a plain image the curves are drawn without QPainter's line path; they must lie where
// QPainter would draw them (a clip forces QPainter's path), also when a deep zoom puts the ends of
// the lines millions of pixels away.
int navyPixels(const QImage& image) {
    int n = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) n += image.pixel(x, y) == qRgb(0, 0, 128);
    return n;
}

TEST(ViewerPaint, CurvesInImagesLieWhereQPainterDrawsThem) {
    app();
    tvar ws = testing::makeWorkspace({testing::sampled(
        700, 0, 0.1, [](double x) { return 1000 + 800 * std::sin(x) + 50 * std::sin(37 * x); })});
    const auto paint = [&](bool viaQPainter) {
        QImage image(ws.PlotWidth, ws.PlotHeight, QImage::Format_RGB32);
        QPainter p(&image);
        if (viaQPainter) p.setClipRect(QRect(0, 0, ws.PlotWidth, ws.PlotHeight));
        ViewMessages m;
        paintViewer(p, ws, {}, m);
        return image;
    };
    const QImage direct = paint(false), reference = paint(true);
    const int n = navyPixels(direct), ref = navyPixels(reference);
    ASSERT_GT(ref, 500);
    EXPECT_NEAR(n, ref, ref / 10);
    int near = 0;
    for (int y = 1; y + 1 < direct.height(); ++y)
        for (int x = 1; x + 1 < direct.width(); ++x) {
            if (direct.pixel(x, y) != qRgb(0, 0, 128)) continue;
            bool found = false;
            for (int dy = -1; dy <= 1 && !found; ++dy)
                for (int dx = -1; dx <= 1 && !found; ++dx)
                    found = reference.pixel(x + dx, y + dy) == qRgb(0, 0, 128);
            near += found;
        }
    EXPECT_GT(near, n * 98 / 100);

    // Zoomed in a million times: two points of the curve lie far outside the image.
    ws.spectrum(1).XMin = 35.0;
    ws.spectrum(1).XMax = 35.0 + 4e-5;
    const QImage deep = paint(false);
    EXPECT_GT(navyPixels(deep), 0);
}

TEST(ViewerPaint, ColourViewFillsTheBandsWithTheChosenScale) {
    app();
    tvar ws = testing::makeWorkspace({testing::sampled(50, 0, 1, [](double x) { return x; }),
                                      testing::sampled(50, 0, 1, [](double x) { return 49 - x; })});
    QImage image(ws.PlotWidth, ws.PlotHeight, QImage::Format_RGB32);
    ViewMessages m;
    ViewerPaintOptions options;
    options.colourScale = 5;
    {
        QPainter p(&image);
        paintViewer(p, ws, options, m);
    }
    const auto colourAt = [&](int column) {
        const ScaleColour c = colourScalePixel(column, 4);
        return qRgb(c.r, c.g, c.b);
    };
    // Position 1 (the rising ramp) is the lower band, position 2 the falling one above it; the
    // right end of the data area holds the highest count of the lower band, the lowest of the upper.
    const int right = 45 + 400 - 2, lowerRow = 9 + 3 * 194 / 2, upperRow = 9 + 194 / 2;
    EXPECT_EQ(image.pixel(right, lowerRow), colourAt(254));
    EXPECT_EQ(image.pixel(right, upperRow), colourAt(0));
    EXPECT_EQ(image.pixel(47, lowerRow), colourAt(5));
    // No curve is drawn in the colour view.
    EXPECT_EQ(navyPixels(image), 0);
}

// Pixels that are not white in the part of the box right of the counts labels and above the energy
// labels, but outside the data area and its border (columns 45 .. 45 + width, rows 5 .. 5 + height):
// the scroll bar's gutter on the right and the strip above the frame.
int inkOutsideTheFrame(const QImage& image, const ViewerSpectrum& s) {
    const QRect frame(45, 5, s.PlotWidthPx + 1, s.PlotHeightPx + 1);
    int n = 0;
    for (int y = 0; y <= frame.bottom(); ++y)
        for (int x = 41; x < image.width(); ++x)
            n += !frame.contains(x, y) && image.pixel(x, y) != qRgb(255, 255, 255);
    return n;
}

TEST(ViewerPaint, AfterAZoomCurvesMarksAndBandsStayInsideTheFrame) {
    app();
    // A peak of 26000 counts on a rising background. Zoomed into the middle of the peak's lower
    // half, the curve leaves the view through its top and runs on right of it inside its count range.
    tvar ws = testing::makeWorkspace({testing::sampled(400, 100, 0.05, [](double x) {
        const double d = x - 105;
        return 2000 + 100 * (x - 100) + 26000 * std::exp(-d * d);
    })});
    ViewMessages m;
    ASSERT_TRUE(zoomIn(ws, RangeScope::AllSpectra, 105, 200, 225, 395, m));
    const ViewerSpectrum& s = ws.spectrum(1);
    bool aboveTop = false, rightOfView = false;
    for (const SpectrumPoint& p : ws.points(1)) {
        aboveTop = aboveTop || (p.x > s.XMin && p.x < s.XMax && p.y > s.YMax);
        rightOfView = rightOfView || (p.x > s.XMax && p.y > s.YMin && p.y < s.YMax);
    }
    ASSERT_TRUE(aboveTop && rightOfView);
    // In measuring mode the end mark sits on a point right of the view.
    ws.SelStartX = s.XMin + 1;
    ws.SelEndX = s.XMax + 10 * s.XPerPixel;

    const auto paint = [&](bool viaQPainter, int colourScale) {
        QImage image(ws.PlotWidth, ws.PlotHeight, QImage::Format_RGB32);
        QPainter p(&image);
        if (viaQPainter) p.setClipRect(image.rect());
        ViewerPaintOptions options;
        options.measuring = true;
        options.colourScale = colourScale;
        ViewMessages messages;
        paintViewer(p, ws, options, messages);
        return image;
    };
    for (bool viaQPainter : {false, true}) {
        SCOPED_TRACE(viaQPainter);
        const QImage curves = paint(viaQPainter, 0);
        EXPECT_GT(navyPixels(curves), 200);
        EXPECT_EQ(inkOutsideTheFrame(curves, s), 0);
        // The colour view's bands follow the same points.
        const QImage bands = paint(viaQPainter, 2);
        EXPECT_NE(bands.pixel(45 + s.PlotWidthPx - 1, 100), qRgb(255, 255, 255));
        EXPECT_EQ(inkOutsideTheFrame(bands, s), 0);
    }
}

} // namespace
} // namespace korvo

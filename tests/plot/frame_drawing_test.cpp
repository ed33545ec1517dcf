#include "plot/frame_drawing.h"
#include "plot/plot_mapping.h"

#include <QFont>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace korvo::plot {
namespace {

QImage blank(int w, int h) {
    static int argc = 1;
    static char name[] = "test_plot_frame", *argv[] = {name, nullptr};
    static QGuiApplication app(argc, argv); // fonts for the labels
    QImage img(w, h, QImage::Format_RGB32);
    img.fill(Qt::white);
    return img;
}
const auto at = [](const QImage& img, int x, int y) { return img.pixelColor(x, y); };
const QColor kWhite(Qt::white), kLight = FrameDrawState{}.light;

// Pixels of the rectangle that have colour c (or, without c, that are not white).
int count(const QImage& img, QRect r, const QColor& c = QColor()) {
    int n = 0;
    for (int y = r.top(); y <= r.bottom(); ++y)
        for (int x = r.left(); x <= r.right(); ++x)
            n += c.isValid() ? at(img, x, y) == c : at(img, x, y) != kWhite;
    return n;
}
const auto column = [](int x, int y1, int y2) { return QRect(QPoint(x, y1), QPoint(x, y2)); };

// The viewer's 700 x 500 paint box with a spectrum from 280 to 1514.5 eV and 12 to 40012 counts.
struct ScreenFrame {
    double xMin = 280.0, xMax = 1514.5, yMin = 12.0, yMax = 40012.0;
    DataArea area = viewerDataArea(700, 500);
    double xpp = (xMax - xMin) / area.width, ypp = (yMax - yMin) / area.height;

    QImage draw(const FrameDrawState& state = {}) const { return draw(xMin, xMax, yMin, yMax, xpp, state); }
    QImage draw(double x0, double x1, double y0, double y1, double xu,
                const FrameDrawState& state = {}) const {
        QImage img = blank(700, 500);
        QPainter p(&img);
        p.setFont(QFont("Sans", 8));
        DrawAxesScreen(p, x0, x1, y0, y1, xu, ypp, area.width, area.height, state);
        return img;
    }
    FrameLayout layout(double x0, double x1, double xu) const {
        return screenFrameLayout(x0, x1, yMin, yMax, xu, ypp, area.width, area.height);
    }
};

TEST(FrameDrawing, ScreenFrameHasBorderGridTicksAndLabelsWhereTheMappingPutsThem) {
    const ScreenFrame f;
    const QImage img = f.draw();
    const int left = kPlotLeft, top = kPlotTop, right = left + f.area.width, bottom = top + f.area.height;
    const int midX = left + f.area.width / 2 + 1, midY = top + f.area.height / 2 + 1;
    // Border on all four sides, in grey.
    for (QPoint p : {QPoint(left, midY), QPoint(right, midY), QPoint(midX, top), QPoint(midX, bottom)})
        EXPECT_EQ(at(img, p.x(), p.y()), kFrameGrey) << p.x() << "," << p.y();
    EXPECT_EQ(at(img, left - 1, midY), kWhite);

    // A major energy tick: a dotted grid line across the data area at the value's column, its label
    // below the area.
    const ViewerMapping m{f.xMin, f.yMax, f.xpp, f.ypp};
    const FrameLayout layout = f.layout(f.xMin, f.xMax, f.xpp);
    auto first = [](const std::vector<Tick>& ticks, bool major) { // NaN maps off the picture
        const auto t = std::ranges::find(ticks, major, &Tick::major);
        return t == ticks.end() ? std::nan("") : t->value;
    };
    const int gridColumn = m.column(first(layout.energyTicks, true));
    const int dots = count(img, column(gridColumn, top + 1, bottom - 1), kLight);
    EXPECT_GT(dots, f.area.height / 3);
    EXPECT_LT(dots, f.area.height);
    EXPECT_GT(count(img, QRect(gridColumn - 15, bottom + 3, 31, 20)), 10);

    // A minor energy tick: solid marks inside the top and bottom edges; between them only the dots
    // of the counts grid lines cross the column.
    const int markColumn = m.column(first(layout.energyTicks, false));
    EXPECT_EQ(count(img, column(markColumn, bottom - 5, bottom - 1), kLight), 5);
    EXPECT_EQ(count(img, column(markColumn, top + 1, top + 5), kLight), 5);
    EXPECT_LE(count(img, column(markColumn, top + 12, bottom - 7), kLight),
              std::ranges::count(layout.countsTicks, true, &Tick::major));

    // A major counts tick: a dotted grid line across at the value's row, a label left of the axis.
    const int gridRow = m.row(first(layout.countsTicks, true));
    EXPECT_GT(count(img, QRect(left + 1, gridRow, right - left - 1, 1), kLight), f.area.width / 3);
    EXPECT_GT(count(img, QRect(0, gridRow - 8, left - 4, 17)), 10);
    EXPECT_EQ(count(img, QRect(41, gridRow - 8, 3, 17)), 0); // labels end at column 40
}

TEST(FrameDrawing, CountsLabelsStayWholeLeftOfColumn40WhateverTheFont) {
    // Counts of 12 .. 40012 give labels such as "3.5E04", wider than the 40 columns left of their
    // right end in a large font.
    const ScreenFrame f;
    const FrameLayout layout = f.layout(f.xMin, f.xMax, f.xpp);
    for (int pixels : {11, 16, 24}) {
        SCOPED_TRACE(pixels);
        QImage img = blank(700, 500);
        QPainter p(&img);
        QFont font("Sans");
        font.setPixelSize(pixels);
        p.setFont(font);
        DrawAxesScreen(p, f.xMin, f.xMax, f.yMin, f.yMax, f.xpp, f.ypp, f.area.width, f.area.height);
        p.end();
        int labels = 0;
        for (const Tick& t : layout.countsTicks) {
            if (!t.major || t.pixel < 20 || t.pixel > 480) continue;
            ++labels;
            // The ink of the label on this grid line, and only of this one: half way to its neighbours.
            const QRect band(0, t.pixel - 10, 44, 21);
            int first = -1, last = -1;
            for (int x = band.left(); x <= band.right(); ++x)
                if (count(img, column(x, band.top(), band.bottom())) > 0) {
                    if (first < 0) first = x;
                    last = x;
                }
            EXPECT_GT(first, 0) << t.label << ": cut off at the left edge";
            EXPECT_LE(last, 40) << t.label;
            EXPECT_GE(last, 36) << t.label << ": still right-aligned at column 40";
            // Still a text to read: at least 3 columns per character.
            EXPECT_GE(last - first + 1, 3 * int(t.label.size())) << t.label;
        }
        EXPECT_GE(labels, 5);
    }
}

TEST(FrameDrawing, BlackDrawingLeavesOnlyBlackAndWhiteAndNothingIsDrawnWhileClosing) {
    const ScreenFrame f;
    FrameDrawState state;
    state.BlackDrawing = 3;
    QImage img = f.draw(state);
    const int black = count(img, img.rect(), Qt::black);
    EXPECT_GT(black, 2 * (f.area.width + f.area.height));
    EXPECT_EQ(count(img, img.rect()), black); // nothing else but white
    state.Closing = true;
    img = f.draw(state);
    EXPECT_EQ(count(img, img.rect()), 0);
}

TEST(FrameDrawing, AxesWithoutScaleOrWithBrokenLimitsDrawNoEnergyAxis) {
    const ScreenFrame f;
    const QRect below(0, kPlotTop + f.area.height + 1, 700, 34);
    // No x scale: no energy ticks and no border, but the counts axis still gets its grid.
    const QImage img = f.draw(f.xMin, f.xMax, f.yMin, f.yMax, 0.0);
    EXPECT_EQ(at(img, kPlotLeft, kPlotTop + f.area.height / 2 + 1), kWhite);
    EXPECT_EQ(count(img, below), 0);
    EXPECT_GT(count(img, QRect(kPlotLeft + 1, kPlotTop + 1, f.area.width - 1, f.area.height - 1)), 0);
    // A zero energy range or non-finite limits do not crash and draw no energy axis.
    EXPECT_EQ(count(f.draw(500.0, 500.0, f.yMin, f.yMax, f.xpp), below), 0);
    EXPECT_EQ(count(f.draw(0.0, std::numeric_limits<double>::infinity(), std::nan(""), 1.0, f.xpp), below),
              0);
}

TEST(FrameDrawing, FallingEnergyAxisKeepsItsTicksOnTheDataWhereTheMappingPutsThem) {
    // XMin above XMax with a negative unit: the data run from XMin at the left edge to XMax at the
    // right, and every tick must sit over the data, not in the margin left of it.
    const ScreenFrame f;
    const FrameLayout falling = f.layout(f.xMax, f.xMin, -f.xpp);
    const ViewerMapping m{f.xMax, f.yMax, -f.xpp, f.ypp};
    ASSERT_GT(falling.energyTicks.size(), 10u);
    for (const Tick& t : falling.energyTicks) {
        EXPECT_EQ(t.pixel, m.column(t.value));
        EXPECT_TRUE(t.pixel >= kPlotLeft && t.pixel <= kPlotLeft + f.area.width) << t.pixel;
    }
    // The same limits with a positive unit give the rising axis.
    const FrameLayout rising = f.layout(f.xMax, f.xMin, f.xpp), ordered = f.layout(f.xMin, f.xMax, f.xpp);
    ASSERT_EQ(rising.energyTicks.size(), ordered.energyTicks.size());
    for (std::size_t i = 0; i < rising.energyTicks.size(); ++i)
        EXPECT_EQ(rising.energyTicks[i].pixel, ordered.energyTicks[i].pixel);
}

TEST(FrameDrawing, PrinterCellMatchesTheBitmapCellMovedToItsPlace) {
    // At 254 dots per inch one page unit (0.1 mm) is one pixel, so the printed cell must look like
    // the bitmap cell moved to (X0, Y0), text upright.
    const int w = 600, h = 400, x0 = 150, y0 = 90;
    const double xu = 1234.5 / (w - w / 6), yu = 350.0 / (h - h / 4);
    QFont font("Sans");
    font.setPixelSize(h / 35);
    QImage bitmap = blank(w, h), page = blank(w + x0 + 20, h + y0 + 20);
    QPainter pb(&bitmap), pp(&page);
    pb.setFont(font);
    DrawAxesBitmap(pb, 0.0, 1234.5, 0.0, 350.0, xu, yu, w, h);
    applyPageUnits(pp, 254.0, 254.0);
    pp.setFont(font);
    DrawAxesPrinter(pp, 0.0, 1234.5, 0.0, 350.0, xu, yu, w, h, x0, y0);
    pb.end();
    pp.end();
    // The border corners computed from the cell fractions.
    EXPECT_EQ(at(bitmap, w / 9, h / 50), kFrameGrey);
    EXPECT_EQ(at(bitmap, w / 9 + w - w / 6, h / 50 + h - h / 4), kFrameGrey);
    int differing = 0, drawn = 0;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const QColor b = at(bitmap, x, y), p = at(page, x + x0, y + y0);
            drawn += b != kWhite;
            // Dotted lines drawn in the opposite direction may start their dots one pixel apart.
            differing += b != p && b != kLight && p != kLight;
        }
    EXPECT_GT(drawn, w + h);
    EXPECT_EQ(differing, 0);
    EXPECT_EQ(count(page, QRect(0, 0, page.width(), y0)), 0); // nothing above the cell
}

} // namespace
} // namespace korvo::plot

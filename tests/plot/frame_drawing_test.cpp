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

QGuiApplication& app() {
    static int argc = 1;
    static char name[] = "test_plot_frame";
    static char* argv[] = {name, nullptr};
    static auto* a = new QGuiApplication(argc, argv);
    return *a;
}

QImage blank(int w, int h) {
    QImage img(w, h, QImage::Format_RGB32);
    img.fill(Qt::white);
    return img;
}

QColor at(const QImage& img, int x, int y) {
    return img.pixelColor(x, y);
}

// Pixels of the rectangle that have colour c (or, without c, that are not white).
int count(const QImage& img, QRect r, const QColor& c = QColor()) {
    int n = 0;
    for (int y = r.top(); y <= r.bottom(); ++y)
        for (int x = r.left(); x <= r.right(); ++x)
            n += c.isValid() ? at(img, x, y) == c : at(img, x, y) != QColor(Qt::white);
    return n;
}
QRect column(int x, int y1, int y2) {
    return QRect(QPoint(x, y1), QPoint(x, y2));
}

// The viewer's 700 x 500 paint box with a spectrum from 280 to 1514.5 eV and 12 to 40012 counts.
struct ScreenFrame {
    double xMin = 280.0, xMax = 1514.5, yMin = 12.0, yMax = 40012.0;
    DataArea area = viewerDataArea(700, 500);
    double xpp = (xMax - xMin) / area.width;
    double ypp = (yMax - yMin) / area.height;

    QImage draw(const FrameDrawState& state = {}) const {
        QImage img = blank(700, 500);
        QPainter p(&img);
        p.setFont(QFont("Sans", 8));
        DrawAxesScreen(p, xMin, xMax, yMin, yMax, xpp, ypp, area.width, area.height, state);
        return img;
    }
    FrameLayout layout() const {
        return screenFrameLayout(xMin, xMax, yMin, yMax, xpp, ypp, area.width, area.height);
    }
};

const Tick* firstTick(const std::vector<Tick>& ticks, bool major) {
    for (const Tick& t : ticks)
        if (t.major == major) return &t;
    return nullptr;
}

class FrameDrawing : public ::testing::Test {
protected:
    void SetUp() override { app(); }
};

TEST_F(FrameDrawing, ScreenFrameHasBorderGridTicksAndLabelsWhereTheMappingPutsThem) {
    const ScreenFrame f;
    const QImage img = f.draw();
    const FrameDrawState normal;
    const int left = kPlotLeft, top = kPlotTop;
    const int right = left + f.area.width, bottom = top + f.area.height;
    const int midX = left + f.area.width / 2 + 1, midY = top + f.area.height / 2 + 1;

    // Border on all four sides, in grey.
    EXPECT_EQ(at(img, left, midY), kFrameGrey);
    EXPECT_EQ(at(img, right, midY), kFrameGrey);
    EXPECT_EQ(at(img, midX, top), kFrameGrey);
    EXPECT_EQ(at(img, midX, bottom), kFrameGrey);
    EXPECT_EQ(at(img, left - 1, midY), QColor(Qt::white));

    // A major energy tick: a dotted grid line across the data area at the value's column.
    const ViewerMapping m{f.xMin, f.yMax, f.xpp, f.ypp};
    const FrameLayout layout = f.layout();
    const Tick* major = firstTick(layout.energyTicks, true);
    ASSERT_NE(major, nullptr);
    const int gridColumn = m.column(major->value);
    const int dots = count(img, column(gridColumn, top + 1, bottom - 1), normal.light);
    EXPECT_GT(dots, f.area.height / 3);
    EXPECT_LT(dots, f.area.height);
    EXPECT_EQ(count(img, column(gridColumn + 1, top + 12, bottom - 6), normal.light), 0);
    // Its label below the area, around the same column.
    EXPECT_GT(count(img, QRect(gridColumn - 15, bottom + 3, 31, 20)), 10);

    // A minor energy tick: solid marks inside the top and bottom edges only.
    const Tick* minor = firstTick(layout.energyTicks, false);
    ASSERT_NE(minor, nullptr);
    const int markColumn = m.column(minor->value);
    EXPECT_EQ(count(img, column(markColumn, bottom - 5, bottom - 1), normal.light), 5);
    EXPECT_EQ(count(img, column(markColumn, top + 1, top + 5), normal.light), 5);
    // Between the marks only the dots of the counts grid lines cross the column.
    int countsMajors = 0;
    for (const Tick& t : layout.countsTicks) countsMajors += t.major;
    EXPECT_LE(count(img, column(markColumn, top + 12, bottom - 7), normal.light), countsMajors);

    // A major counts tick: a dotted grid line across at the value's row, a label left of the axis.
    const Tick* countsMajor = firstTick(layout.countsTicks, true);
    ASSERT_NE(countsMajor, nullptr);
    const int gridRow = m.row(countsMajor->value);
    EXPECT_GT(count(img, QRect(left + 1, gridRow, right - left - 1, 1), normal.light), f.area.width / 3);
    EXPECT_GT(count(img, QRect(0, gridRow - 8, left - 4, 17)), 10);
    EXPECT_EQ(count(img, QRect(41, gridRow - 8, 3, 17)), 0); // labels end at column 40
}

TEST_F(FrameDrawing, BlackDrawingLeavesOnlyBlackAndWhite) {
    const ScreenFrame f;
    FrameDrawState eps;
    eps.BlackDrawing = 3;
    const QImage img = f.draw(eps);
    const int black = count(img, img.rect(), Qt::black);
    EXPECT_GT(black, 2 * (f.area.width + f.area.height));
    EXPECT_EQ(count(img, img.rect()), black); // nothing else but white
}

TEST_F(FrameDrawing, NothingIsDrawnWhileClosingOrForAnAxisWithoutScale) {
    const ScreenFrame f;
    FrameDrawState closing;
    closing.Closing = true;
    const QImage none = f.draw(closing);
    EXPECT_EQ(count(none, none.rect()), 0);

    // No x scale: no energy ticks and no border, but the counts axis still gets its grid.
    QImage img = blank(700, 500);
    {
        QPainter p(&img);
        DrawAxesScreen(p, f.xMin, f.xMax, f.yMin, f.yMax, 0.0, f.ypp, f.area.width, f.area.height);
    }
    const int midY = kPlotTop + f.area.height / 2 + 1;
    EXPECT_EQ(at(img, kPlotLeft, midY), QColor(Qt::white));
    EXPECT_EQ(count(img, QRect(0, kPlotTop + f.area.height + 1, 700, 34)), 0);
    EXPECT_GT(count(img, QRect(kPlotLeft + 1, kPlotTop + 1, f.area.width - 1, f.area.height - 1)), 0);

    // A zero energy range or non-finite limits do not crash and draw no energy axis.
    QImage flat = blank(700, 500);
    {
        QPainter p(&flat);
        DrawAxesScreen(p, 500.0, 500.0, f.yMin, f.yMax, f.xpp, f.ypp, f.area.width, f.area.height);
        DrawAxesScreen(p, 0.0, std::numeric_limits<double>::infinity(), std::nan(""), 1.0, f.xpp, f.ypp,
                       f.area.width, f.area.height);
    }
    EXPECT_EQ(count(flat, QRect(0, kPlotTop + f.area.height + 1, 700, 34)), 0);
}

TEST_F(FrameDrawing, FallingEnergyAxisKeepsItsTicksOnTheDataWhereTheMappingPutsThem) {
    // XMin above XMax with a negative unit: the data run from XMin at the left edge to XMax at the
    // right, and every tick must sit over the data, not in the margin left of it.
    const ScreenFrame f;
    const double xpp = (f.xMin - f.xMax) / f.area.width;
    const FrameLayout falling =
        screenFrameLayout(f.xMax, f.xMin, f.yMin, f.yMax, xpp, f.ypp, f.area.width, f.area.height);
    const ViewerMapping m{f.xMax, f.yMax, xpp, f.ypp};
    ASSERT_GT(falling.energyTicks.size(), 10u);
    for (const Tick& t : falling.energyTicks) {
        EXPECT_EQ(t.pixel, m.column(t.value));
        EXPECT_GE(t.pixel, kPlotLeft);
        EXPECT_LE(t.pixel, kPlotLeft + f.area.width);
    }
    // The same limits with a positive unit give the rising axis.
    const FrameLayout rising =
        screenFrameLayout(f.xMax, f.xMin, f.yMin, f.yMax, -xpp, f.ypp, f.area.width, f.area.height);
    const FrameLayout ordered = f.layout();
    ASSERT_EQ(rising.energyTicks.size(), ordered.energyTicks.size());
    for (std::size_t i = 0; i < rising.energyTicks.size(); ++i)
        EXPECT_EQ(rising.energyTicks[i].pixel, ordered.energyTicks[i].pixel);
}

TEST_F(FrameDrawing, PrinterCellMatchesTheBitmapCellMovedToItsPlace) {
    // At 254 dots per inch one page unit (0.1 mm) is one pixel, so the printed cell must look like
    // the bitmap cell moved to (X0, Y0), text upright.
    const int w = 600, h = 400, x0 = 150, y0 = 90;
    const double xMin = 0.0, xMax = 1234.5, yMin = 0.0, yMax = 350.0;
    const double xu = (xMax - xMin) / (w - w / 6), yu = (yMax - yMin) / (h - h / 4);
    QFont font("Sans");
    font.setPixelSize(h / 35);

    QImage bitmap = blank(w, h);
    {
        QPainter p(&bitmap);
        p.setFont(font);
        DrawAxesBitmap(p, xMin, xMax, yMin, yMax, xu, yu, w, h);
    }
    QImage page = blank(w + x0 + 20, h + y0 + 20);
    {
        QPainter p(&page);
        applyPageUnits(p, 254.0, 254.0);
        p.setFont(font);
        DrawAxesPrinter(p, xMin, xMax, yMin, yMax, xu, yu, w, h, x0, y0);
    }
    // The border corners computed from the cell fractions.
    const int left = w / 9, top = h / 50, right = left + (w - w / 6), bottom = top + (h - h / 4);
    for (const QPoint& c :
         {QPoint(left, top), QPoint(right, top), QPoint(left, bottom), QPoint(right, bottom)}) {
        EXPECT_EQ(at(bitmap, c.x(), c.y()), kFrameGrey);
        EXPECT_EQ(at(page, c.x() + x0, c.y() + y0), kFrameGrey);
    }
    int differing = 0, drawn = 0;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const QColor b = at(bitmap, x, y);
            drawn += b != QColor(Qt::white);
            // Dotted lines drawn in the opposite direction may start their dots one pixel apart.
            if (b != at(page, x + x0, y + y0) && b != FrameDrawState{}.light &&
                at(page, x + x0, y + y0) != FrameDrawState{}.light)
                ++differing;
        }
    EXPECT_GT(drawn, 2 * (w + h) / 2);
    EXPECT_EQ(differing, 0);
    EXPECT_EQ(count(page, QRect(0, 0, page.width(), y0)), 0); // nothing above the cell
}

} // namespace
} // namespace korvo::plot

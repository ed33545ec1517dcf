// The live plot: record selection and thinning, the picture of a box, and whole runs driven through
// the main window on a virtual clock.
#include "acquisition/analyser_io/port_backend.h"
#include "app/live_display.h"
#include "app/live_plot_render.h"
#include "app/live_trace.h"
#include "app/run_connection.h"
#include "app_test_support.h"
#include "plot/frame_drawing.h"
#include "plot/frame_layout.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMouseEvent>
#include <QPushButton>
#include <QScrollBar>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <map>
#include <random>
#include <set>

namespace korvo {
namespace {

using live::Pixel;

// A block of `points` records plus shifts, energies 10 + record; scan `scan` with `measured` steps done.
struct Block {
    DataBlock data;
    live::TraceSource src;
    Block(int points, int maxPos, int maxNeg, int scan, std::int64_t measured)
        : data(std::size_t(points + maxPos + maxNeg + 1)) {
        src = {&data, false, scan, measured, maxPos, maxNeg, points};
        for (std::size_t r = 1; r < data.size(); ++r) data[r].Energy = data[r].enScan = 10.0 + double(r);
    }
};

// Cursors on the limits, spots in 0x800000.
PlotScale scaleFor(double x0, double x1, double y0, double y1) {
    return {x0, x1, y0, y1, true, x0, x1, 0x800000, true};
}

live::RenderOptions drawing() {
    live::RenderOptions o;
    o.drawEnabled = true;
    return o;
}

// The full picture of a box; every point of the block must be drawable.
QImage picture(int w, int h, const Block& b, const PlotScale& plot,
               const live::RenderOptions& o = drawing()) {
    testing::app(); // fonts for the labels
    QImage img(w, h, QImage::Format_RGB32);
    EXPECT_FALSE(live::renderFull(img, b.src, plot, o));
    return img;
}

const auto at = [](const QImage& img, Pixel p) -> QRgb { return img.pixel(p.x, p.y) & 0xFFFFFF; };
const auto rgb = [](std::uint32_t bgr) -> QRgb { return live::rgbOf(bgr) & 0xFFFFFF; };
const auto grey = [] { return plot::kFrameGrey.rgb() & 0xFFFFFF; };
using Records = std::pair<std::size_t, std::size_t>;
const auto records = [](live::RecordRange r) { return Records(r.first, r.last); };

void mouse(QWidget* w, QEvent::Type type, Qt::MouseButton button, QPoint at, Qt::MouseButtons held) {
    QMouseEvent e(type, QPointF(at), w->mapToGlobal(QPointF(at)), button, held, {});
    QApplication::sendEvent(w, &e);
}

// ------------------------------------------------------------------ arithmetic

TEST(LiveTrace, RecordsValuesAndScrollSpanFollowTheShiftedScanWindow) {
    Block b(10, 2, 3, 3, 9); // 15 steps, 9 done: records 3..6 complete
    b.src.activeChannels = 8;
    b.src.channelEnabled[4] = 0;
    for (std::size_t r = 1; r < b.data.size(); ++r) {
        b.data[r].Co[0] = 2.0 * (100 + double(r)); // two completed scans
        b.data[r].Co[3] = 2.0 * double(r);
        b.data[r].Co[4] = 50;
        b.data[r].CoScan[0] = 1000 + double(r);
    }
    EXPECT_EQ(records(live::completedRecords(b.src)), Records(3, 6));
    EXPECT_EQ(records(live::scanWindow(b.src)), Records(3, 12));
    EXPECT_DOUBLE_EQ(live::averageValue(b.data[5], 0, b.src), 105.0);
    EXPECT_DOUBLE_EQ(live::averageValue(b.data[5], 3, b.src), 5.0 * 8);
    EXPECT_DOUBLE_EQ(live::averageValue(b.data[5], 4, b.src), 0.0); // disabled channel
    // Averages over the window, current totals of records 3..6 only.
    const plot::ScrollSpan span = live::scrollSpan(b.src);
    EXPECT_EQ(std::pair(span.lo, span.hi), std::pair(103.0, 1006.0));

    // A block shorter than the state claims (parameters changed after the run) is never overrun.
    b.src.points = 500;
    b.src.pointsMeasured = 900;
    EXPECT_EQ(records(live::scanWindow(b.src)), Records(3, b.data.size() - 1));
    EXPECT_EQ(live::completedRecords(b.src).last, b.data.size() - 1);

    // The scroll bar waits for the extra points of the first scan.
    b.src.scanNumber = 1;
    b.src.pointsMeasured = 4;
    EXPECT_TRUE(live::scrollIgnored(b.src));
    b.src.pointsMeasured = 5;
    EXPECT_FALSE(live::scrollIgnored(b.src));
}

TEST(LiveTrace, DecimatedLineKeepsEveryColumnsExtremesAndEnds) {
    std::mt19937 rng(7);
    std::uniform_int_distribution<int> row(0, 400);
    std::vector<Pixel> input, out;
    for (int i = 0; i < 20000; ++i) input.push_back({i / 37, row(rng)}); // ~37 points per column
    {
        live::ColumnDecimator d(out);
        for (const Pixel& p : input) d.add(p);
    }
    auto columns = [](const std::vector<Pixel>& v) { // column -> (min, max, points)
        std::map<int, std::array<int, 3>> m;
        for (const Pixel& p : v) {
            auto [it, fresh] = m.try_emplace(p.x, std::array{p.y, p.y, 0});
            it->second = {std::min(it->second[0], p.y), std::max(it->second[1], p.y), it->second[2] + 1};
        }
        return m;
    };
    const auto want = columns(input), got = columns(out);
    ASSERT_EQ(got.size(), want.size());
    for (const auto& [col, g] : got) {
        EXPECT_EQ(std::pair(g[0], g[1]), std::pair(want.at(col)[0], want.at(col)[1])) << col;
        EXPECT_LE(g[2], 4) << col;
    }
    EXPECT_EQ(out.front(), input.front());
    EXPECT_EQ(out.back(), input.back());
    EXPECT_TRUE(std::ranges::is_sorted(out, {}, &Pixel::x));
}

TEST(LiveTrace, PointsThatCannotBeMappedAreReportedOnceWithTheirIndex) {
    Block b(5, 0, 0, 1, 5);
    for (std::size_t r = 1; r < b.data.size(); ++r) b.data[r].CoScan[0] = 10;
    b.data[3].CoScan[0] = std::nan("");
    b.data[4].CoScan[0] = 1e300; // far beyond any pixel
    const live::LiveScale k = live::liveScale(300, 200, scaleFor(11, 15, 0, 20), false, 5);
    const live::Curve c = live::currentLine(b.src, k, 0);
    ASSERT_TRUE(c.failure);
    EXPECT_EQ(c.failure->record, 3u);
    EXPECT_EQ(c.points.size(), 3u); // the drawable ones
    const std::string t = live::failureText(*c.failure, k);
    EXPECT_EQ(t.rfind(" Bitte an den Hersteller wenden (ShowMeas- Rampe > 0):\ri: 2CountsMax: 20", 0), 0u);
    EXPECT_NE(t.find("\rCountsMax: 15Data^[i+1].enScan: 13Scalen: "), std::string::npos);
}

// ------------------------------------------------------------------ pictures

TEST(LivePicture, FrameGridFirstScanLineAndChartSitWhereTheMappingPutsThem) {
    Block b(40, 0, 0, 1, 40);
    for (std::size_t r = 1; r < b.data.size(); ++r) b.data[r].CoScan[0] = 50 + 40 * std::sin(double(r) / 6);
    const PlotScale plot = scaleFor(11, 50, 0, 100);
    live::RenderOptions o = drawing();
    o.marginColour = 0x30A0F0;
    QImage img = picture(420, 300, b, plot, o);
    for (Pixel p : {Pixel{10, 150}, Pixel{200, 2}, Pixel{200, 290}, Pixel{412, 150}})
        EXPECT_EQ(at(img, p), rgb(o.marginColour));
    EXPECT_EQ(at(img, {200, 5}), grey()); // top border
    // A dotted grid line alternates light and white down its column: in the empty upper part of the
    // area it shows its light colour somewhere.
    const live::LiveScale k = live::liveScale(420, 300, plot, false, 40);
    const auto ticks =
        plot::screenFrameLayout(11, 50, 0, 100, k.xPerPixel, k.yPerPixel, k.plotWidth, k.plotHeight)
            .energyTicks;
    const auto major = std::find_if(ticks.begin() + 1, ticks.end(), [](auto& t) { return t.major; });
    ASSERT_NE(major, ticks.end());
    int light = 0;
    for (int y = 6; y < 40; ++y)
        light += at(img, {major->pixel, y}) == (plot::FrameDrawState{}.light.rgb() & 0xFFFFFF);
    EXPECT_GT(light, 5);
    // First scan: the line passes through every measured point.
    for (std::size_t r : {5u, 20u, 33u})
        EXPECT_EQ(at(img, live::mapPoint(k, b.data[r].enScan, b.data[r].CoScan[0]).value()),
                  rgb(live::kAverageLineColour))
            << r;
    // Cursor 2 sits on the right edge of the area, from row 7 down to the bottom of the box.
    EXPECT_EQ(at(img, {k.plotWidth + 45, 295}), rgb(live::kCursor2Colour));

    // While the window closes only the empty frame is drawn.
    o.closing = true;
    live::renderFull(img, b.src, plot, o);
    EXPECT_EQ(at(img, {k.plotWidth + 45, 150}), 0xFFFFFFu);
    EXPECT_EQ(at(img, {10, 150}), rgb(o.marginColour));

    // The c(t) chart: counts labels left of the area, border, but nothing along the point index.
    b.src.chart = true;
    img = picture(420, 300, b, scaleFor(0, 39, 0, 100));
    auto notMargin = [&](QRect r) {
        int other = 0;
        for (int y = r.top(); y <= r.bottom(); ++y)
            for (int x = r.left(); x <= r.right(); ++x)
                other += at(img, {x, y}) != rgb(drawing().marginColour);
        return other;
    };
    EXPECT_EQ(notMargin(QRect(46, 300 - 28, 420 - 62, 27)), 0);
    EXPECT_GT(notMargin(QRect(0, 6, 42, 300 - 40)), 20);
    EXPECT_EQ(at(img, {200, 300 - 30}), grey());
}

TEST(LivePicture, LaterScansShowAveragesAndSpotsAndPointsDrawnOneByOneMatchTheFullPicture) {
    Block b(30, 0, 0, 3, 0);
    for (std::size_t r = 1; r < b.data.size(); ++r) {
        b.data[r].Co[0] = 2 * (20 + double(r));
        b.data[r].CoScan[0] = 80 - double(r);
    }
    const PlotScale plot = scaleFor(11, 40, 0, 100);
    live::RenderOptions o = drawing();
    QImage byPoint = picture(400, 260, b, plot);
    for (std::size_t r = 1; r <= 30; ++r) {
        live::renderPoint(byPoint, b.src, plot, o, r, nullptr);
        b.src.pointsMeasured = std::int64_t(r);
    }
    QImage full = picture(400, 260, b, plot);
    EXPECT_EQ(byPoint, full);

    const live::LiveScale k = live::liveScale(400, 260, plot, false, 30);
    const Pixel spot = live::mapPoint(k, b.data[12].enScan, b.data[12].CoScan[0]).value();
    EXPECT_EQ(at(full, live::mapPoint(k, b.data[12].Energy, 32.0).value()), rgb(live::kAverageLineColour));
    EXPECT_EQ(at(full, spot), rgb(0x800000));
    EXPECT_EQ(at(full, {spot.x, spot.y - 1}), rgb(0x800000)); // a cross
    EXPECT_NE(at(full, {spot.x + 2, spot.y + 2}), rgb(0x800000));
    o.bigSpots = true;
    live::renderFull(full, b.src, plot, o);
    EXPECT_EQ(at(full, {spot.x + 2, spot.y + 2}), rgb(0x800000)); // a 5 x 5 square
}

TEST(LivePicture, MultichanneltronBoxDrawsEachChannelInItsColour) {
    Block b(20, 0, 0, 2, 20);
    for (std::size_t r = 1; r < b.data.size(); ++r)
        for (std::size_t c = 1; c <= 9; ++c) {
            b.data[r].Co[c] = 10.0 * double(c);         // average line of channel c at 90 c
            b.data[r].CoScan[c] = 10.0 * double(c) + 5; // spots at 90 c + 45
        }
    const PlotScale plot = scaleFor(11, 30, 0, 1000);
    live::RenderOptions o = drawing();
    o.multi = true;
    const QImage img = picture(500, 400, b, plot, o);
    const live::LiveScale k = live::liveScale(500, 400, plot, false, 20);
    std::set<QRgb> colours;
    for (int c = 1; c <= 9; ++c) {
        const QRgb want = live::channelRgb(c) & 0xFFFFFF;
        EXPECT_EQ(at(img, live::mapPoint(k, 15.5, 90.0 * c).value()), want) << c;
        EXPECT_EQ(at(img, live::mapPoint(k, b.data[8].enScan, 90.0 * c + 45).value()), want) << c;
        colours.insert(want);
    }
    EXPECT_EQ(colours.size(), 9u);
}

// ------------------------------------------------------------------ the window

// A CLAM window after "Measure" with a three-scan energy run typed in; the run's live display.
struct RunRig : testing::WindowRig {
    RunRig() : WindowRig("[general]\r\nmachine=CLAM\r\ntime=0\r\n") {
        conn = &window->run();
        window->show();
        window->MeasureClick();
        auto& store = window->settings().store;
        store.startDir = store.saveDir = dir.path().toStdString();
        MeasurementFields& f = window->fields();
        f.kindOfMeasure = 1;
        f.start = "10";
        f.second = "20";
        f.rampView = f.pointsView = true;
        f.third = "51";
        f.scans = "3";
        f.timePerPoint = "20";
        f.passEnergyIndex = passEnergyIndexOf(f.passEnergyText = "10.0");
        window->fieldsToControls();
        QApplication::processEvents();
    }
    LiveDisplay& live() { return conn->live(); }
    RunConnection* conn = nullptr;
};

TEST(LiveWindow, TestModeRunStoppedInScanTwoCanBeSavedAndRefusesClosingWhileRunning) {
    RunRig rig;
    ASSERT_TRUE(rig.ctx.options.testWithoutAnalyser); // nothing answered on the empty bus
    TForm1& w = *rig.window;
    QString captionDuringRun, labelDuringRun;
    bool closed = true, shiftControlsEnabled = true;
    std::int64_t pointsBeforeExit = 0, pointsAfterExit = 0;
    const RunState& run = rig.station.measurement.state;
    rig.pump.once([&] { return run.ScanNumber == 2 && rig.station.engine.pointsMeasured() > 20; },
                  [&] {
                      captionDuringRun = w.startButton()->text();
                      labelDuringRun = w.measurementsLabel()->text();
                      shiftControlsEnabled = w.passEnergyCombo()->isEnabled() || w.channelList()->isEnabled();
                      // Exit is refused like the close and leaves the run's point count alone.
                      auto* third = w.measurementPanel()->findChild<QLineEdit*>(QStringLiteral("third"));
                      const QString typed = third->text();
                      pointsBeforeExit = run.Points;
                      third->setText(QStringLiteral("7"));
                      w.ExitClick();
                      pointsAfterExit = run.Points;
                      third->setText(typed);
                      w.close();
                      w.startButton()->click(); // Stop
                      w.close();                // stopped but not yet returned: still refused
                      closed = !w.isVisible();
                  });
    w.startButton()->click();

    EXPECT_EQ(captionDuringRun, QStringLiteral("Stop"));
    EXPECT_TRUE(labelDuringRun.startsWith(QStringLiteral("Scan : 2    Time left : ")));
    EXPECT_FALSE(closed || shiftControlsEnabled);
    EXPECT_EQ(pointsAfterExit, pointsBeforeExit);
    EXPECT_EQ(std::ranges::count(rig.dialogs.texts(), "Please stop the measurements first!"), 3);
    EXPECT_EQ(w.startButton()->text(), QStringLiteral("Start"));
    EXPECT_TRUE(w.saveButton()->isEnabled() && w.machineMenu()->menuAction()->isEnabled());
    EXPECT_FALSE(w.skipScanButton()->isEnabled() || w.runActive());
    EXPECT_TRUE(w.passEnergyCombo()->isEnabled() && w.channelList()->isEnabled());

    const std::string out = (std::filesystem::path(rig.dir.path().toStdString()) / "stopped.dat").string();
    rig.dialogs.files.push_back(out);
    w.saveButton()->click();
    EXPECT_TRUE(std::filesystem::exists(out));
    EXPECT_EQ(w.settings().store.saveDir, rig.dir.path().toStdString());
}

TEST(LiveWindow, RunResizedInScanTwoThenCursorsScrollBarViewSwitchAndARefusedStartOnItsPicture) {
    RunRig rig;
    TForm1& w = *rig.window;
    RunEngine& engine = rig.station.engine;
    w.fields().scans = "2";
    w.fieldsToControls();
    const RunState& run = rig.station.measurement.state;
    rig.pump.once([&] { return run.ScanNumber == 2 && engine.pointsMeasured() > 5; },
                  [&] { w.resize(900, 720); });
    w.startButton()->click(); // a complete run; the final save is cancelled
    ASSERT_EQ(engine.lastEnd(), RunEnd::Normal);
    QApplication::processEvents();

    // The box was redrawn at its new size.
    LivePlotCanvas* canvas = rig.live().singleCanvas();
    EXPECT_EQ(canvas->width(), w.measurementPanel()->width() - 180);
    EXPECT_EQ(canvas->image().size(), canvas->size());
    const live::TraceSource s = rig.live().source();
    const live::RecordRange window = live::scanWindow(s);
    const live::LiveScale k =
        live::liveScale(canvas->width(), canvas->height(), engine.plot(), false, s.points);
    DataBlock& data = rig.station.measurement.data;
    const MeasurementRecord& mid = data[(window.first + window.last) / 2];
    EXPECT_EQ(at(canvas->image(), mapPoint(k, mid.Energy, live::averageValue(mid, 0, s)).value()),
              rgb(live::kAverageLineColour));

    // Mouse columns 45 and 45 + plot width put the cursors on the run's limits.
    const int right = 45 + canvas->width() - 60;
    const PlotScale& plot = engine.plot();
    mouse(canvas, QEvent::MouseButtonPress, Qt::RightButton, {right, 50}, Qt::RightButton);
    mouse(canvas, QEvent::MouseButtonRelease, Qt::RightButton, {right, 50}, Qt::NoButton);
    mouse(canvas, QEvent::MouseButtonPress, Qt::LeftButton, {200, 50}, Qt::LeftButton);
    mouse(canvas, QEvent::MouseMove, Qt::NoButton, {45, 60}, Qt::LeftButton);
    EXPECT_EQ(rig.live().cursorMode(), 1);
    mouse(canvas, QEvent::MouseButtonRelease, Qt::LeftButton, {45, 60}, Qt::NoButton);
    EXPECT_EQ(rig.live().cursorMode(), 0);
    EXPECT_EQ(std::pair(plot.cursor1, plot.cursor2), std::pair(run.XStart, run.XEnd));
    const QString labels[] = {"10.000", "30.000", "20.000"}; // cursor 1, cursor 2, their distance
    for (int i = 0; i < 3; ++i) {
        EXPECT_TRUE(rig.live().cursorLabels()[i]->isVisible()) << i;
        EXPECT_EQ(rig.live().cursorLabels()[i]->text(), labels[i]);
    }

    // Channel 9 is drawn last, so on top where it passes.
    rig.live().multiViewBox()->setChecked(true);
    EXPECT_EQ(std::pair(w.plotBox()->x(), w.multiPlotBox()->x()), std::pair(-2000, 8));
    EXPECT_EQ(
        at(rig.live().multiCanvas()->image(), mapPoint(k, mid.Energy, live::averageValue(mid, 9, s)).value()),
        live::channelRgb(9) & 0xFFFFFF);
    rig.live().multiViewBox()->setChecked(false);

    // Data between 100 and 300 counts per scan: at -1000 the range is 100 to 320.
    for (std::size_t r = window.first; r <= window.last; ++r)
        data[r].Co[0] = (100 + 200.0 * double(r - window.first) / double(window.last - window.first)) * 2;
    QScrollBar* oben = rig.live().scrollBar();
    EXPECT_EQ(oben->value(), -1000);
    oben->setValue(-500);
    EXPECT_FALSE(w.autoScaleBox()->isChecked());
    oben->setValue(-1000);
    EXPECT_EQ(std::pair(plot.yMin, plot.yMax), std::pair(100.0, 320.0));
    oben->setValue(9000);
    EXPECT_DOUBLE_EQ(plot.yMax, 120);

    // A start that is refused leaves the picture and the scale as they were.
    QApplication::processEvents();
    const QImage before = canvas->image().copy();
    const double yMaxBefore = plot.yMax;
    const int scrollBefore = oben->value();
    w.fields().start = "3000";
    w.fields().second = "300";
    w.fields().third = "7";
    w.fieldsToControls();
    w.startButton()->click();
    QApplication::processEvents();
    ASSERT_EQ(engine.lastEnd(), RunEnd::Refused);
    EXPECT_TRUE(canvas->image() == before);
    EXPECT_EQ(oben->value(), scrollBefore);
    EXPECT_EQ(plot.yMax, yMaxBefore);
    EXPECT_TRUE(w.saveButton()->isEnabled());

    // A point that cannot be drawn is reported once per redraw; the rest is drawn.
    data[window.first + 1].Co[0] = data[window.first + 2].Co[0] = std::nan("");
    rig.dialogs.shown.clear();
    rig.conn->redraw();
    ASSERT_EQ(rig.dialogs.shown.size(), 1u);
    EXPECT_EQ(rig.dialogs.shown[0].text.rfind(" Bitte an den Hersteller wenden", 0), 0u);
    EXPECT_NE(rig.dialogs.shown[0].text.find("i: " + std::to_string(window.first)), std::string::npos);

    // The Keithley mode has no channeltrons: its switch brings the single plot back.
    rig.live().multiViewBox()->setChecked(true);
    w.switchMode(ModeKeithley);
    EXPECT_FALSE(rig.live().multiViewBox()->isChecked() || rig.live().multiViewBox()->isEnabled());
    EXPECT_EQ(std::pair(w.plotBox()->x(), w.multiPlotBox()->x()), std::pair(8, -2000));
}

TEST(LiveWindow, ZufallRunsARandomMeasurement) {
    RunRig rig;
    TForm1& w = *rig.window;
    rig.ctx.options.enableTests = true;
    w.switchMode(ModeClam);
    ASSERT_TRUE(w.zufallButton()->isVisible());

    w.zufallButton()->click();
    // A random energy run went through the history and ended; the window is idle again in one of
    // the analyser modes with a low-set pass energy selected.
    EXPECT_EQ(rig.ctx.history.count(), 1);
    EXPECT_EQ(w.startButton()->text(), QStringLiteral("Start"));
    EXPECT_FALSE(w.runActive());
    EXPECT_TRUE(w.state().MachineMode >= ModeClam && w.state().MachineMode <= ModeCis);
    const int passEnergy = w.passEnergyCombo()->currentIndex();
    EXPECT_TRUE(passEnergy >= 0 && passEnergy <= 6) << passEnergy;
}

} // namespace
} // namespace korvo

// The live plot: record selection and thinning, the picture of a box, and whole runs driven through
// the main window on a virtual clock.
#include "acquisition/analyser_io/port_backend.h"
#include "app/live_display.h"
#include "app/live_plot_render.h"
#include "app/live_trace.h"
#include "app/run_connection.h"
#include "app_test_support.h"
#include "common/number_text.h"
#include "plot/frame_drawing.h"
#include "plot/frame_layout.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMouseEvent>
#include <QPushButton>
#include <QScrollBar>
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <map>
#include <random>
#include <set>

namespace korvo {
namespace {

using live::Pixel;

// A block of `points` records plus shifts, values from `f(record, channel)`; scan `scan` with
// `measured` steps of it done.
struct Block {
    DataBlock data;
    live::TraceSource src;
    Block(int points, int maxPos, int maxNeg, int scan, std::int64_t measured) {
        data.resize(std::size_t(points + maxPos + maxNeg + 1));
        src.data = &data;
        src.points = points;
        src.maxPositiveShift = maxPos;
        src.maxNegativeShift = maxNeg;
        src.scanNumber = scan;
        src.pointsMeasured = measured;
        for (std::size_t r = 1; r < data.size(); ++r) data[r].Energy = data[r].enScan = 10.0 + double(r);
    }
};

PlotScale scaleFor(double x0, double x1, double y0, double y1) {
    PlotScale p;
    p.xStart = x0;
    p.xEnd = x1;
    p.yMin = y0;
    p.yMax = y1;
    p.cursor1 = x0;
    p.cursor2 = x1;
    p.drawEnabled = true;
    p.currentPointColour = 0x800000;
    return p;
}

QRgb at(const QImage& img, Pixel p) {
    return img.pixel(p.x, p.y) & 0xFFFFFF;
}

void mouse(QWidget* w, QEvent::Type type, Qt::MouseButton button, QPoint at, Qt::MouseButtons held) {
    QMouseEvent e(type, QPointF(at), w->mapToGlobal(QPointF(at)), button, held, {});
    QApplication::sendEvent(w, &e);
}

QRgb rgb(std::uint32_t bgr) {
    return live::rgbOf(bgr) & 0xFFFFFF;
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
    const live::RecordRange done = live::completedRecords(b.src);
    EXPECT_EQ(done.first, 3u);
    EXPECT_EQ(done.last, 6u);
    const live::RecordRange window = live::scanWindow(b.src);
    EXPECT_EQ(window.first, 3u);
    EXPECT_EQ(window.last, 12u);
    EXPECT_DOUBLE_EQ(live::averageValue(b.data[5], 0, b.src), 105.0);
    EXPECT_DOUBLE_EQ(live::averageValue(b.data[5], 3, b.src), 5.0 * 8);
    EXPECT_DOUBLE_EQ(live::averageValue(b.data[5], 4, b.src), 0.0); // disabled channel
    const plot::ScrollSpan span = live::scrollSpan(b.src);
    EXPECT_DOUBLE_EQ(span.lo, 103.0);  // averages over the window
    EXPECT_DOUBLE_EQ(span.hi, 1006.0); // current totals of records 3..6 only

    // A block shorter than the state claims (parameters changed after the run) is never overrun.
    b.src.points = 500;
    b.src.pointsMeasured = 900;
    EXPECT_EQ(live::scanWindow(b.src).last, b.data.size() - 1);
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
    std::vector<Pixel> input;
    for (int i = 0; i < 20000; ++i) input.push_back({i / 37, row(rng)}); // ~37 points per column
    std::vector<Pixel> out;
    {
        live::ColumnDecimator d(out);
        for (const Pixel& p : input) d.add(p);
    }
    std::map<int, std::pair<int, int>> want, got; // column -> (min, max)
    std::map<int, int> count;
    for (const Pixel& p : input) {
        auto [it, fresh] = want.try_emplace(p.x, p.y, p.y);
        it->second = {std::min(it->second.first, p.y), std::max(it->second.second, p.y)};
    }
    for (const Pixel& p : out) {
        auto [it, fresh] = got.try_emplace(p.x, p.y, p.y);
        it->second = {std::min(it->second.first, p.y), std::max(it->second.second, p.y)};
        ++count[p.x];
    }
    EXPECT_EQ(got, want);
    for (auto [col, n] : count) EXPECT_LE(n, 4) << col;
    EXPECT_EQ(out.front(), input.front());
    EXPECT_EQ(out.back(), input.back());
    for (std::size_t i = 1; i < out.size(); ++i) EXPECT_LE(out[i - 1].x, out[i].x); // still in x order
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

TEST(LivePicture, FrameMarginsGridAndFirstScanLineSitWhereTheMappingPutsThem) {
    testing::app(); // fonts for the labels
    QImage img(420, 300, QImage::Format_RGB32);
    Block b(40, 0, 0, 1, 40);
    for (std::size_t r = 1; r < b.data.size(); ++r) b.data[r].CoScan[0] = 50 + 40 * std::sin(double(r) / 6);
    const PlotScale plot = scaleFor(11, 50, 0, 100);
    live::RenderOptions o;
    o.drawEnabled = true;
    o.marginColour = 0x30A0F0;
    ASSERT_FALSE(live::renderFull(img, b.src, plot, o));

    const QRgb margin = rgb(0x30A0F0);
    for (Pixel p : {Pixel{10, 150}, Pixel{200, 2}, Pixel{200, 290}, Pixel{412, 150}})
        EXPECT_EQ(at(img, p), margin);
    const live::LiveScale k = live::liveScale(420, 300, plot, false, 40);
    EXPECT_EQ(k.plotWidth, 360);
    // Border on the left edge of the data area, away from grid lines and the cursor.
    const plot::FrameLayout f =
        plot::screenFrameLayout(11, 50, 0, 100, k.xPerPixel, k.yPerPixel, k.plotWidth, k.plotHeight);
    ASSERT_FALSE(f.energyTicks.empty());
    const auto major =
        std::find_if(f.energyTicks.begin() + 1, f.energyTicks.end(), [](auto& t) { return t.major; });
    ASSERT_NE(major, f.energyTicks.end());
    // A dotted grid line alternates light and white down its column; in the empty upper part of the
    // area it must show its light colour somewhere.
    int light = 0;
    for (int y = 6; y < 40; ++y)
        light += at(img, {major->pixel, y}) == (plot::FrameDrawState{}.light.rgb() & 0xFFFFFF);
    EXPECT_GT(light, 5);
    EXPECT_EQ(at(img, {200, 5}), plot::kFrameGrey.rgb() & 0xFFFFFF); // top border
    // First scan: the line passes through every measured point.
    for (std::size_t r : {5u, 20u, 33u}) {
        const auto p = live::mapPoint(k, b.data[r].enScan, b.data[r].CoScan[0]);
        ASSERT_TRUE(p);
        EXPECT_EQ(at(img, *p), rgb(live::kAverageLineColour)) << r;
    }
    // Cursor 2 sits on the right edge of the area, from row 7 down to the bottom of the box.
    EXPECT_EQ(at(img, {k.plotWidth + 45, 295}), rgb(live::kCursor2Colour));

    // While the window closes only the empty frame is drawn.
    o.closing = true;
    live::renderFull(img, b.src, plot, o);
    EXPECT_EQ(at(img, {k.plotWidth + 45, 150}), 0xFFFFFFu);
    EXPECT_EQ(at(img, {10, 150}), margin);
}

TEST(LivePicture, ChartHasCountsLabelsButNoTicksAlongItsPointIndex) {
    testing::app(); // fonts for the labels
    QImage img(420, 300, QImage::Format_RGB32);
    Block b(40, 0, 0, 1, 25);
    b.src.chart = true;
    for (std::size_t r = 1; r < b.data.size(); ++r) b.data[r].CoScan[0] = 30 + double(r);
    live::RenderOptions o;
    o.drawEnabled = true;
    ASSERT_FALSE(live::renderFull(img, b.src, scaleFor(0, 39, 0, 100), o));
    const QRgb margin = rgb(o.marginColour);
    auto marginOnly = [&](QRect r) {
        int other = 0;
        for (int y = r.top(); y <= r.bottom(); ++y)
            for (int x = r.left(); x <= r.right(); ++x) other += at(img, {x, y}) != margin;
        return other;
    };
    EXPECT_EQ(marginOnly(QRect(46, 300 - 28, 420 - 62, 27)), 0);            // no labels under the area
    EXPECT_GT(marginOnly(QRect(0, 6, 42, 300 - 40)), 20);                   // counts labels left of it
    EXPECT_EQ(at(img, {200, 300 - 30}), plot::kFrameGrey.rgb() & 0xFFFFFF); // bottom border
}

TEST(LivePicture, LaterScansShowAveragesAndSpotsAndPointsDrawnOneByOneMatchTheFullPicture) {
    testing::app(); // fonts for the labels
    Block b(30, 0, 0, 3, 0);
    for (std::size_t r = 1; r < b.data.size(); ++r) {
        b.data[r].Co[0] = 2 * (20 + double(r));
        b.data[r].CoScan[0] = 80 - double(r);
    }
    const PlotScale plot = scaleFor(11, 40, 0, 100);
    live::RenderOptions o;
    o.drawEnabled = true;
    QImage byPoint(400, 260, QImage::Format_RGB32), full = byPoint;
    live::renderFull(byPoint, b.src, plot, o);
    for (std::size_t r = 1; r <= 30; ++r) {
        live::renderPoint(byPoint, b.src, plot, o, r, nullptr);
        b.src.pointsMeasured = std::int64_t(r);
    }
    live::renderFull(full, b.src, plot, o);
    EXPECT_EQ(byPoint, full);

    const live::LiveScale k = live::liveScale(400, 260, plot, false, 30);
    const Pixel spot = *live::mapPoint(k, b.data[12].enScan, b.data[12].CoScan[0]);
    const Pixel avg = *live::mapPoint(k, b.data[12].Energy, 32.0);
    EXPECT_EQ(at(full, avg), rgb(live::kAverageLineColour));
    EXPECT_EQ(at(full, spot), rgb(0x800000));
    EXPECT_EQ(at(full, {spot.x, spot.y - 1}), rgb(0x800000)); // a cross
    EXPECT_NE(at(full, {spot.x + 2, spot.y + 2}), rgb(0x800000));
    o.bigSpots = true;
    live::renderFull(full, b.src, plot, o);
    EXPECT_EQ(at(full, {spot.x + 2, spot.y + 2}), rgb(0x800000)); // a 5 x 5 square
}

TEST(LivePicture, MultichanneltronBoxDrawsEachChannelInItsColour) {
    testing::app(); // fonts for the labels
    Block b(20, 0, 0, 2, 20);
    b.src.activeChannels = 9;
    for (std::size_t r = 1; r < b.data.size(); ++r)
        for (int c = 1; c <= 9; ++c) {
            b.data[r].Co[std::size_t(c)] = 10.0 * c;         // average line of channel c at 90 c
            b.data[r].CoScan[std::size_t(c)] = 10.0 * c + 5; // spots at 90 c + 45
        }
    const PlotScale plot = scaleFor(11, 30, 0, 1000);
    live::RenderOptions o;
    o.drawEnabled = true;
    o.multi = true;
    QImage img(500, 400, QImage::Format_RGB32);
    EXPECT_FALSE(live::renderFull(img, b.src, plot, o));
    const live::LiveScale k = live::liveScale(500, 400, plot, false, 20);
    std::set<QRgb> colours;
    for (int c = 1; c <= 9; ++c) {
        const Pixel line = *live::mapPoint(k, 15.5, 90.0 * c);
        const Pixel spot = *live::mapPoint(k, b.data[8].enScan, 90.0 * c + 45);
        EXPECT_EQ(at(img, line), live::channelRgb(c) & 0xFFFFFF) << c;
        EXPECT_EQ(at(img, spot), live::channelRgb(c) & 0xFFFFFF) << c;
        colours.insert(live::channelRgb(c));
    }
    EXPECT_EQ(colours.size(), 9u);
}

// ------------------------------------------------------------------ the window

struct RunRig {
    RunRig() {
        testing::app();
        ini = dir.filePath(QStringLiteral("korvo.ini")).toStdString();
        std::ofstream(ini, std::ios::binary) << "[general]\r\nmachine=CLAM\r\ntime=0\r\n";
        window = std::make_unique<TForm1>(ctx, ini);
        conn = new RunConnection(*window, bus);
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
        f.passEnergyText = "10.0";
        f.passEnergyIndex = passEnergyIndexOf("10.0");
        window->fieldsToControls();
        QApplication::processEvents();
    }
    LiveDisplay& live() { return conn->live(); }

    QTemporaryDir dir;
    std::string ini;
    VirtualClock clock;
    ScriptedPump pump;
    RecordingDialogs dialogs;
    AcquisitionContext ctx{clock, pump, dialogs};
    EmptyBus bus;
    std::unique_ptr<TForm1> window;
    RunConnection* conn = nullptr;
};

TEST(LiveWindow, TestModeRunStoppedInScanTwoCanBeSavedAndRefusesClosingWhileRunning) {
    RunRig rig;
    ASSERT_TRUE(rig.ctx.options.testWithoutAnalyser); // nothing answered on the empty bus
    RunEngine& engine = rig.conn->engine();
    QString captionDuringRun, labelDuringRun;
    bool closedDuringRun = true;
    rig.pump.once([&] { return rig.window->state().ScanNumber == 2 && engine.pointsMeasured() > 20; },
                  [&] {
                      captionDuringRun = rig.window->startButton()->text();
                      labelDuringRun = rig.window->measurementsLabel()->text();
                      rig.window->close();
                      closedDuringRun = !rig.window->isVisible();
                      rig.window->startButton()->click(); // Stop
                      // Stopped but not yet returned: closing must still be refused.
                      rig.window->close();
                      closedDuringRun = closedDuringRun || !rig.window->isVisible();
                  });
    rig.window->startButton()->click();

    EXPECT_EQ(captionDuringRun, QStringLiteral("Stop"));
    EXPECT_TRUE(labelDuringRun.startsWith(QStringLiteral("Scan : 2    Time left : ")));
    EXPECT_FALSE(closedDuringRun);
    const auto texts = rig.dialogs.texts();
    EXPECT_EQ(std::count(texts.begin(), texts.end(), "Please stop the measurements first!"), 2);
    EXPECT_EQ(rig.window->startButton()->text(), QStringLiteral("Start"));
    EXPECT_TRUE(rig.window->saveButton()->isEnabled());
    EXPECT_FALSE(rig.window->skipScanButton()->isEnabled());
    EXPECT_TRUE(rig.window->machineMenu()->menuAction()->isEnabled());
    EXPECT_FALSE(rig.window->runActive());
    for (QLabel* l : rig.live().cursorLabels()) EXPECT_TRUE(l->isVisible());
    const RunState& st = rig.window->state();
    EXPECT_EQ(rig.live().cursorLabels()[2]->text().toStdString(),
              text::formatPattern(st.XEnd - st.XStart, "0.000"));

    const std::string out = (std::filesystem::path(rig.dir.path().toStdString()) / "stopped.dat").string();
    rig.dialogs.files.push_back(out);
    rig.window->saveButton()->click();
    EXPECT_TRUE(std::filesystem::exists(out));
    EXPECT_EQ(rig.window->settings().store.saveDir, rig.dir.path().toStdString());
}

TEST(LiveWindow, CursorsFollowTheMouseAndTheScrollBarScalesToTheData) {
    RunRig rig;
    rig.window->fields().scans = "2";
    rig.window->fieldsToControls();
    rig.window->startButton()->click(); // a complete run; the final save is cancelled
    ASSERT_EQ(rig.conn->engine().lastEnd(), RunEnd::Normal);

    LivePlotCanvas* canvas = rig.live().singleCanvas();
    const int plotWidth = canvas->width() - 60;
    const PlotScale& plot = rig.conn->engine().plot();
    mouse(canvas, QEvent::MouseButtonPress, Qt::RightButton, {45 + plotWidth, 50}, Qt::RightButton);
    mouse(canvas, QEvent::MouseButtonRelease, Qt::RightButton, {45 + plotWidth, 50}, Qt::NoButton);
    mouse(canvas, QEvent::MouseButtonPress, Qt::LeftButton, {200, 50}, Qt::LeftButton);
    mouse(canvas, QEvent::MouseMove, Qt::NoButton, {45, 60}, Qt::LeftButton);
    EXPECT_EQ(rig.live().cursorMode(), 1);
    mouse(canvas, QEvent::MouseButtonRelease, Qt::LeftButton, {45, 60}, Qt::NoButton);
    EXPECT_EQ(rig.live().cursorMode(), 0);
    EXPECT_DOUBLE_EQ(plot.cursor1, rig.window->state().XStart);
    EXPECT_DOUBLE_EQ(plot.cursor2, rig.window->state().XEnd);
    EXPECT_EQ(rig.live().cursorLabels()[0]->text(), QStringLiteral("10.000"));
    EXPECT_EQ(rig.live().cursorLabels()[1]->text(), QStringLiteral("30.000"));

    // Data between 100 and 300 counts per scan: at -1000 the range is 100 to 320.
    DataBlock& data = rig.window->data();
    const live::RecordRange w = live::scanWindow(rig.live().source());
    for (std::size_t r = w.first; r <= w.last; ++r)
        data[r].Co[0] = (100 + 200.0 * double(r - w.first) / double(w.last - w.first)) * 2;
    QScrollBar* oben = rig.live().scrollBar();
    EXPECT_EQ(oben->value(), -1000);
    EXPECT_EQ(oben->pageStep(), 500);
    oben->setValue(-500);
    EXPECT_FALSE(rig.window->autoScaleBox()->isChecked());
    oben->setValue(-1000);
    EXPECT_DOUBLE_EQ(plot.yMin, 100);
    EXPECT_DOUBLE_EQ(plot.yMax, 320);
    oben->setValue(9000);
    EXPECT_DOUBLE_EQ(plot.yMax, 120);

    // A point that cannot be drawn is reported once per redraw; the rest is drawn.
    data[w.first + 1].Co[0] = std::nan("");
    data[w.first + 2].Co[0] = std::nan("");
    rig.dialogs.shown.clear();
    rig.conn->redraw();
    ASSERT_EQ(rig.dialogs.shown.size(), 1u);
    EXPECT_EQ(rig.dialogs.shown[0].text.rfind(" Bitte an den Hersteller wenden", 0), 0u);
    EXPECT_NE(rig.dialogs.shown[0].text.find("i: " + std::to_string(w.first)), std::string::npos);
}

TEST(LiveWindow, ResizingDuringARunRedrawsAtTheNewSizeAndTheViewSwitchSwapsTheBoxes) {
    RunRig rig;
    RunEngine& engine = rig.conn->engine();
    rig.pump.once([&] { return rig.window->state().ScanNumber == 2 && engine.pointsMeasured() > 5; },
                  [&] { rig.window->resize(900, 720); });
    rig.window->startButton()->click();
    QApplication::processEvents();

    LivePlotCanvas* canvas = rig.live().singleCanvas();
    EXPECT_EQ(canvas->size(), rig.window->plotBox()->size());
    EXPECT_EQ(canvas->image().size(), canvas->size());
    EXPECT_EQ(canvas->width(), rig.window->measurementPanel()->width() - 180);
    const live::TraceSource s = rig.live().source();
    const live::LiveScale k =
        live::liveScale(canvas->width(), canvas->height(), engine.plot(), false, s.points);
    const std::size_t r = (live::scanWindow(s).first + live::scanWindow(s).last) / 2;
    const auto p =
        live::mapPoint(k, rig.window->data()[r].Energy, live::averageValue(rig.window->data()[r], 0, s));
    ASSERT_TRUE(p);
    EXPECT_EQ(at(canvas->image(), *p), rgb(live::kAverageLineColour));

    rig.live().multiViewBox()->setChecked(true);
    EXPECT_EQ(rig.window->plotBox()->x(), -2000);
    EXPECT_EQ(rig.window->multiPlotBox()->x(), 8);
    LivePlotCanvas* multi = rig.live().multiCanvas();
    EXPECT_EQ(multi->image().size(), multi->size());
    const std::size_t c = 9; // drawn last, so on top where it passes
    const auto q =
        mapPoint(k, rig.window->data()[r].Energy, live::averageValue(rig.window->data()[r], int(c), s));
    ASSERT_TRUE(q);
    EXPECT_EQ(at(multi->image(), *q), live::channelRgb(int(c)) & 0xFFFFFF);
    // The Keithley mode has no channeltrons: its switch brings the single plot back.
    rig.window->switchMode(ModeKeithley);
    EXPECT_FALSE(rig.live().multiViewBox()->isChecked());
    EXPECT_FALSE(rig.live().multiViewBox()->isEnabled());
    EXPECT_EQ(rig.window->plotBox()->x(), 8);
    EXPECT_EQ(rig.window->multiPlotBox()->x(), -2000);
}

TEST(LiveWindow, ZufallIsOfferedOnlyWithTestsEnabledAndRunsARandomMeasurement) {
    RunRig rig;
    EXPECT_FALSE(rig.window->zufallButton()->isVisible());
    rig.ctx.options.enableTests = true;
    rig.window->switchMode(ModeClam);
    ASSERT_TRUE(rig.window->zufallButton()->isVisible());
    EXPECT_EQ(rig.window->kindItems().size(), 3); // "CRR" is offered too

    rig.window->zufallButton()->click();
    // A random energy run went through the history and ended; the window is idle again in one of
    // the analyser modes with a low-set pass energy selected.
    EXPECT_EQ(rig.ctx.history.count(), 1);
    EXPECT_EQ(rig.window->startButton()->text(), QStringLiteral("Start"));
    EXPECT_FALSE(rig.window->runActive());
    const auto mode = rig.window->state().MachineMode;
    EXPECT_TRUE(mode >= ModeClam && mode <= ModeCis);
    EXPECT_LE(rig.window->passEnergyCombo()->currentIndex(), 6);
    EXPECT_GE(rig.window->passEnergyCombo()->currentIndex(), 0);
}

} // namespace
} // namespace korvo

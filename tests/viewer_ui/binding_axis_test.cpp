// The binding-energy axis: labels from high on the left to low on the right over the columns where
// the kinetic energies are drawn, the readout, spectra of two photon energies lined up, printed
// cells, the window's switch with its refusals and settings, and the dead-time command in the window.
#include "common/file_util.h"
#include "files/spectrum_writer.h"
#include "plot/frame_layout.h"
#include "viewer/analysis/dead_time.h"
#include "viewer/binding_axis.h"
#include "viewer/measuring.h"
#include "viewer/print_cells.h"
#include "viewer/view_scale.h"
#include "viewer/viewer_paint.h"
#include "viewer/viewer_texts.h"
#include "viewer_ui/viewer_rig.h"
#include "viewer_ui/viewer_test_util.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QImage>
#include <QLabel>
#include <QPainter>

#include <algorithm>
#include <cmath>

namespace korvo {
namespace {

using testing::makeWorkspace;
using testing::sampled;

// 201 points of 0.1 eV from `start` with a peak at `peak` (kinetic energies); 20 pixels an eV in the
// 400-pixel data area.
testing::Points peakAt(double start, double peak) {
    return sampled(201, start, 0.1, [peak](double x) { return 100 + 5000 * std::exp(-(x - peak) * (x - peak)); });
}

// Columns of the dotted grid lines the frame draws at major ticks, found in the row below the top.
std::vector<int> gridColumns(const QImage& image) {
    std::vector<int> columns;
    for (int x = 55; x < 445; ++x) // right of the counts axis's short marks
        if ((image.pixel(x, 20) & 0xFFFFFF) == 0xE3E3E3 || (image.pixel(x, 21) & 0xFFFFFF) == 0xE3E3E3)
            columns.push_back(x);
    return columns;
}

QImage painted(tvar& ws, const std::optional<BindingAxis>& binding) {
    QImage image(ws.PlotWidth, ws.PlotHeight, QImage::Format_RGB32);
    QPainter p(&image);
    ViewerPaintOptions options;
    options.binding = binding;
    ViewMessages ignored;
    paintViewer(p, ws, options, ignored);
    return image;
}

// The column of the curve's highest pixel.
int peakColumn(const QImage& image, QRgb colour) {
    for (int y = 0; y < image.height(); ++y)
        for (int x = 46; x < image.width(); ++x)
            if ((image.pixel(x, y) & 0xFFFFFF) == colour) return x;
    return -1;
}

TEST(BindingAxis, LabelsFallFromLeftToRightOverTheColumnsOfTheirKineticEnergies) {
    testing::app();
    tvar ws = makeWorkspace({peakAt(100, 111)});
    ws.spectrum(1).PhotEnText = "PhotEn: 400.000";
    const BindingAxis axis; // 4.5 eV: kinetic 100 .. 120 eV are binding 295.5 .. 275.5 eV

    // Major ticks every 2 eV: binding 294 at kinetic 101.5 (column 45 + 1.5 x 20), 284 at 111.5.
    const XAxisView view = xAxisView(ws.spectrum(1), &axis);
    const plot::FrameLayout frame = plot::screenFrameLayout(view.left, view.right, 0, 1, view.perPixel, 1, 400, 400);
    std::vector<std::pair<int, std::string>> labels;
    for (const plot::Tick& t : frame.energyTicks)
        if (t.major) labels.emplace_back(t.pixel, t.label.substr(t.label.find_first_not_of(' ')));
    std::sort(labels.begin(), labels.end());
    ASSERT_EQ(labels.size(), 10u);
    EXPECT_EQ(labels.front(), std::pair(75, std::string("294")));
    EXPECT_EQ(labels[5], std::pair(275, std::string("284")));
    EXPECT_EQ(labels.back(), std::pair(435, std::string("276")));

    // The painted picture: the grid moves to those columns, the curve stays where it was (its
    // peak, 284.5 eV, half-way between the lines of 286 and 284).
    const QImage kinetic = painted(ws, std::nullopt), binding = painted(ws, axis);
    EXPECT_EQ(gridColumns(kinetic), (std::vector<int>{85, 125, 165, 205, 245, 285, 325, 365, 405}));
    EXPECT_EQ(gridColumns(binding), (std::vector<int>{75, 115, 155, 195, 235, 275, 315, 355, 395, 435}));
    EXPECT_EQ(peakColumn(kinetic, 0x000080), 265);
    EXPECT_EQ(peakColumn(binding, 0x000080), 265);
}

TEST(BindingAxis, ReadoutCaptionPhotonEnergiesAndRefusals) {
    tvar ws = makeWorkspace({peakAt(100, 111), peakAt(100, 111)});
    ws.spectrum(1).PhotEnText = "PhotEn: 400.000";
    BindingAxis axis;
    EXPECT_EQ(cursorReadout(ws, 265, 100).substr(0, 16), "  X =    111.000");
    EXPECT_EQ(cursorReadout(ws, 265, 100, &axis).substr(0, 16), "  X =    284.500");
    EXPECT_EQ(cursorReadout(ws, 0, 100, &axis).substr(0, 16), "  X =    295.500"); // left of the view: its edge
    ws.SelStartX = 105, ws.SelEndX = 111;
    EXPECT_EQ(measuringCaption(ws, &axis), "290.50  284.50  -6.00");
    axis.workFunction = 5;
    EXPECT_EQ(cursorReadout(ws, 265, 100, &axis).substr(0, 16), "  X =    284.000");

    // Spectrum 2 has no photon energy (a photon energy of 0 is none): one must be typed for it,
    // and it serves only the spectra without their own.
    ws.spectrum(2).PhotEnText = "PhotEn: 0.000";
    EXPECT_TRUE(needsTypedPhotonEnergy(ws));
    EXPECT_EQ(bindingAxisRefusal(ws, axis), "sp2.dat has no photon energy in its header, and none was given for it.");
    axis.typedPhotonEnergy = 410;
    EXPECT_EQ(bindingAxisRefusal(ws, axis), "");
    EXPECT_EQ(photonEnergyOf(ws.spectrum(1), axis), 400);
    EXPECT_EQ(photonEnergyOf(ws.spectrum(2), axis), 410);

    // A scan of the photon energy has no binding axis, whatever is typed.
    ws.spectrum(2).FileformText = "Fileform: CLAM_CIS";
    EXPECT_NE(bindingAxisRefusal(ws, axis).find("sp2.dat is a constant initial state scan"), std::string::npos);
    EXPECT_EQ(photonScanRefusal(ws), bindingAxisRefusal(ws, axis));

    // The settings file's work function; anything but a number from 0 to 20 eV is named and the
    // default taken.
    IniFile ini;
    std::vector<std::string> unusable;
    EXPECT_EQ(workFunctionSetting(ini, unusable), kDefaultWorkFunction);
    ini.parse("[Viewer]\r\nwork_function=4.25\r\n");
    EXPECT_EQ(workFunctionSetting(ini, unusable), 4.25);
    EXPECT_TRUE(unusable.empty());
    for (const char* bad : {"4,25", "-1", "21", "abc", ""}) {
        ini.parse(std::string("[viewer]\r\nwork_function=") + bad + "\r\n");
        unusable.clear();
        EXPECT_EQ(workFunctionSetting(ini, unusable), kDefaultWorkFunction) << bad;
        EXPECT_EQ(unusable, std::vector<std::string>{"[viewer] work_function"}) << bad;
    }
}

TEST(BindingAxis, SpectraOfTwoPhotonEnergiesLineUpOnScreenAndInPrint) {
    testing::app();
    // The same line at 284.5 eV binding energy, measured with 400 eV and with 420 eV photons; the
    // second scan covers binding energies 290.5 .. 275.5 only.
    tvar ws = makeWorkspace({peakAt(100, 111), sampled(151, 125, 0.1, [](double x) { return 100 + 5000 * std::exp(-(x - 131) * (x - 131)); })});
    ws.spectrum(1).PhotEnText = "PhotEn: 400";
    ws.spectrum(2).PhotEnText = "PhotEn: 420";
    const BindingAxis axis;
    fullScale(ws, FullScale::X, &axis);
    // The common binding range 295.5 .. 275.5 eV is kinetic 100 .. 120 for one, 120 .. 140 for the other.
    EXPECT_NEAR(ws.spectrum(1).XMin, 100, 1e-9);
    EXPECT_NEAR(ws.spectrum(1).XMax, 120, 1e-9);
    EXPECT_NEAR(ws.spectrum(2).XMin, 120, 1e-9);
    EXPECT_NEAR(ws.spectrum(2).XMax, 140, 1e-9);
    ViewMessages ignored;
    updateScalesForPaint(ws, ignored);
    EXPECT_EQ(ws.column(1, 111), 265);
    EXPECT_EQ(ws.column(2, 131), 265);
    EXPECT_EQ(cursorReadout(ws, 265, 100, &axis), [&] { ws.Active = 2; return cursorReadout(ws, 265, 100, &axis); }());
    // Kinetic again: one range over the kinetic energies.
    fullScale(ws, FullScale::X);
    EXPECT_EQ(ws.spectrum(2).XMin, 100);
    EXPECT_EQ(ws.spectrum(2).XMax, 140);

    // A printed cell in spectrum 1's frame: spectrum 2 drawn alone puts its peak where spectrum 1's
    // is on the binding axis; on the kinetic one it lies outside the frame.
    fullScale(ws, FullScale::X, &axis);
    auto peakInCell = [&](int marked, const BindingAxis* binding) {
        ws.spectrum(1).Marked = marked == 1;
        ws.spectrum(2).Marked = marked == 2;
        QImage image(400, 400, QImage::Format_RGB32);
        image.fill(Qt::white);
        QPainter p(&image);
        print::drawBitmapCell(p, print::workspaceCell(ws, 1, std::nullopt, false, binding), {400, 400}, {});
        p.end();
        return peakColumn(image, 0x000000);
    };
    const int own = peakInCell(1, &axis);
    EXPECT_GT(own, 100);
    EXPECT_EQ(peakInCell(2, &axis), own);
    EXPECT_NE(peakInCell(2, nullptr), own);
}

bool writeMeasured(const std::string& path, double hv, std::uint8_t mode = ModeClam) {
    SpectrumHeader h = testing::clamHeader();
    h.machineMode = mode;
    h.photonStart = hv;
    h.points = 201;
    h.analyserStart = 100;
    h.ramp = 20;
    DataBlock block(202);
    for (int i = 1; i <= 201; ++i) {
        MeasurementRecord& r = block[std::size_t(i)];
        r.Energy = 100 + 0.1 * (i - 1);
        r.Co[0] = 100 + std::round(5000 * std::exp(-(r.Energy - 111) * (r.Energy - 111)));
    }
    return saveSpectrumFile(path, h, SpectrumSaveOptions{}, block);
}

TEST(BindingAxisWindow, SwitchReadoutWorkFunctionAndRefusals) {
    testing::ViewerRig rig;
    ASSERT_TRUE(writeMeasured(rig.dir.file("x400.dat"), 400));
    ASSERT_TRUE(writeMeasured(rig.dir.file("cfs.dat"), 400, ModeCfs));
    ASSERT_TRUE(writeMeasured(rig.dir.file("plain.dat"), 0, ModeOff)); // no photon energy line
    rig.ctx.iniPath = rig.dir.file("korvo.ini");
    ASSERT_TRUE(writeFileAtomic(rig.ctx.iniPath, "[viewer]\r\nwork_function=4.0\r\n"));
    TForm3* w = rig.open({"x400.dat"});
    ASSERT_NE(w, nullptr);
    QAction* item = w->action("&Binding energy axis");
    ASSERT_NE(item, nullptr);
    // X of the readout with the pointer on the column of a kinetic energy, to a pixel's width.
    auto readoutAt = [&](double kinetic) {
        const QPoint at(w->workspace().column(1, kinetic), 50);
        testing::mouse(w->plotBox(), QEvent::MouseMove, at, Qt::NoButton, Qt::NoButton);
        const QString text = w->readout()->text();
        EXPECT_TRUE(text.startsWith("  X = ")) << text.toStdString();
        return std::round(text.mid(6, 10).toDouble() * 10) / 10;
    };
    w->plotBox()->repaint();
    EXPECT_EQ(readoutAt(111), 111.0);
    const QImage kinetic = w->plotBox()->grab().toImage();
    item->trigger();
    EXPECT_TRUE(item->isChecked());
    EXPECT_NE(w->plotBox()->grab().toImage(), kinetic); // the grid and the labels moved
    EXPECT_EQ(readoutAt(111), 285.0); // 400 - 111 - 4.0 from the settings file
    item->trigger();
    EXPECT_FALSE(item->isChecked());
    EXPECT_EQ(readoutAt(111), 111.0);
    EXPECT_TRUE(rig.dialogs.shown.empty());

    // A damaged work function is said and the default taken.
    ASSERT_TRUE(writeFileAtomic(rig.ctx.iniPath, "[viewer]\r\nwork_function=four\r\n"));
    item->trigger();
    ASSERT_EQ(rig.dialogs.shown.size(), 1u);
    EXPECT_NE(rig.dialogs.shown[0].text.find("[viewer] work_function"), std::string::npos);
    EXPECT_EQ(readoutAt(111), 284.5);

    // A photon-energy scan loaded beside it ends the binding axis with the reason; switching it on
    // again is refused while the scan is shown.
    rig.dialogs.clear();
    rig.answerLoadDialog({"cfs.dat"});
    w->loadProcedure();
    EXPECT_FALSE(item->isChecked());
    EXPECT_FALSE(w->bindingAxis());
    ASSERT_EQ(rig.dialogs.shown.size(), 1u);
    EXPECT_NE(rig.dialogs.shown[0].text.find("cfs.dat is a constant final state scan"), std::string::npos);
    item->trigger();
    EXPECT_FALSE(item->isChecked());
    EXPECT_EQ(rig.dialogs.shown.size(), 2u);

    // A spectrum without a photon energy asks for one; cancelling leaves the kinetic axis.
    TForm3* plain = rig.open({"plain.dat"});
    ASSERT_NE(plain, nullptr);
    plain->askPhotonEnergy = [] { return std::nullopt; };
    plain->action("&Binding energy axis")->trigger();
    EXPECT_FALSE(plain->bindingAxis());
    plain->askPhotonEnergy = [] { return 500.0; };
    plain->action("&Binding energy axis")->trigger();
    ASSERT_TRUE(plain->bindingAxis());
    EXPECT_EQ(plain->bindingAxis()->typedPhotonEnergy, 500);
    EXPECT_EQ(plain->workspace().spectrum(1).XMin, 100); // the data and their range stay kinetic
    EXPECT_EQ(plain->workspace().point(1, 1).x, 100);
}

TEST(DeadTimeWindow, AsksTheDeadTimeCorrectsUndoesAndRefuses) {
    testing::ViewerRig rig; // a.dat: MeasTime 100 ms, 2 scans, raw columns all zero (even shares)
    TForm3* w = rig.open({"a.dat"});
    ASSERT_NE(w, nullptr);
    tvar& ws = w->workspace();
    const tvar loaded = ws;
    QAction* item = w->action("Dead-time correction...");
    ASSERT_NE(item, nullptr);
    EXPECT_NE(item->statusTip().indexOf("evenly over all nine"), -1);
    w->askDeadTime = [] { return std::nullopt; };
    item->trigger();
    EXPECT_EQ(ws.point(1, 100).y, loaded.point(1, 100).y);
    w->askDeadTime = [] { return 1000.0; };
    item->trigger();
    const double n = loaded.point(1, 100).y;
    EXPECT_DOUBLE_EQ(ws.point(1, 100).y, n / (1 - n / 9 * 1e-6 / 0.2));
    w->undoCommand();
    EXPECT_EQ(ws.point(1, 100).y, n);
    // 10 ms dead: 100 counts a second per counter at most, far below these counts.
    w->askDeadTime = [] { return 1e7; };
    item->trigger();
    ASSERT_EQ(rig.dialogs.shown.size(), 1u);
    EXPECT_NE(rig.dialogs.shown[0].text.find("Nothing was corrected"), std::string::npos);
    EXPECT_EQ(ws.point(1, 100).y, n);
    EXPECT_FALSE(w->undoHistory().canUndo());
}

} // namespace
} // namespace korvo

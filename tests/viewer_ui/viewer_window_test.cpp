// The viewer window offscreen: opened through the load dialog as "ShowSpec" opens it, driven by the
// mouse on its plot and by its menu, with the dialogs answered in place.
#include "common/file_util.h"
#include "formats/foreign_test_util.h"
#include "viewer/data_selection.h"
#include "viewer/ui/data_selection_dialog.h"
#include "viewer/ui/hand_scale_dialog.h"
#include "viewer/ui/integration_window.h"
#include "viewer/ui/load_dialog.h"
#include "viewer/ui/satellite_dialog.h"
#include "viewer/ui/spectrum_choice_dialog.h"
#include "viewer/ui/value_table.h"
#include "viewer/ui/viewer_context.h"
#include "viewer/ui/viewer_window.h"
#include "viewer/vamas_export.h"
#include "files/nexus_file.h"
#include "viewer_ui/viewer_rig.h"
#include "viewer_ui/viewer_test_util.h"

#include "common/number_text.h"
#include "viewer/measuring.h"

#include "support/qt_app.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include <cmath>
#include <fstream>

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QImage>
#include <QKeySequence>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMouseEvent>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QSpinBox>
#include <QTableWidget>
#include <QTimer>
#include <QWindow>

// A key as the window system delivers it, through the shortcut map first (as QTest does it).
Q_GUI_EXPORT void qt_handleKeyEvent(QWindow* w, QEvent::Type t, int k, Qt::KeyboardModifiers mods,
                                    const QString& text = QString(), bool autorep = false, ushort count = 1);

namespace korvo {
namespace {

using testing::click;
using testing::drag;
using testing::mouse;
using testing::ViewerRig;

QStringList captions(const QMenu* menu) {
    QStringList list;
    for (const QAction* a : menu->actions()) list << a->text();
    return list;
}

TEST(ViewerWindow, ShowSpecOpensIndependentWindowsThroughTheLoadDialog) {
    ViewerRig rig;
    // The load dialog lists the directory with the chosen filter.
    TForm5& dialog = rig.ctx.loadDialog();
    dialog.updateDir();
    EXPECT_EQ(dialog.fileList()->count(), 4);
    dialog.filterBox()->setCurrentIndex(1); // "Data files (*.dat)"
    EXPECT_EQ(dialog.fileList()->count(), 3);
    EXPECT_EQ(dialog.windowTitle(), "Load");

    // "Abord" on a fresh window leaves nothing open.
    EXPECT_EQ(rig.open({}), nullptr);
    EXPECT_TRUE(rig.ctx.viewers().empty());

    TForm3* one = rig.open({"a.dat", "b.dat"});
    TForm3* two = rig.open({"c.dat"});
    ASSERT_NE(one, nullptr);
    ASSERT_NE(two, nullptr);
    EXPECT_EQ(rig.ctx.viewers().size(), 2u);
    EXPECT_EQ(one->workspace().ShownCount, 2);
    EXPECT_EQ(two->workspace().ShownCount, 1);
    EXPECT_EQ(captions(one->spectrumMenu()), (QStringList{"a.dat", "b.dat"}));
    EXPECT_EQ(one->workspace().Active, 1);
    EXPECT_EQ(one->windowTitle().toStdString(), one->workspace().spectrum(1).FileName);

    // Zooming one window leaves the other alone.
    const double before = two->workspace().spectrum(1).XMax;
    drag(one->plotBox(), {100, 40}, {250, 200});
    EXPECT_LT(one->workspace().spectrum(1).XMax, 99.9);
    EXPECT_DOUBLE_EQ(two->workspace().spectrum(1).XMax, before);
}

TEST(ViewerWindow, MouseZoomsInAndOutAndTheReadoutFollowsThePointer) {
    ViewerRig rig;
    TForm3* w = rig.open({"a.dat"});
    ASSERT_NE(w, nullptr);
    w->resize(640, 480);
    QApplication::processEvents();
    const ViewerSpectrum& s = w->workspace().spectrum(1);
    const double xMin = s.XMin, xMax = s.XMax, yMax = s.YMax;
    QWidget* plot = w->plotBox();
    ASSERT_EQ(plot->width(), w->workspace().PlotWidth);

    mouse(plot, QEvent::MouseMove, {45, 5}, Qt::NoButton, Qt::NoButton);
    EXPECT_EQ(w->readout()->text().toStdString(), cursorReadout(w->workspace(), 45, 5));
    EXPECT_TRUE(w->readout()->text().startsWith("  X =     80.000"));

    const double perPixel = s.XPerPixel;
    drag(plot, {100, 50}, {109, 150}); // 9 pixels wide: nothing
    EXPECT_DOUBLE_EQ(s.XMin, xMin);
    EXPECT_DOUBLE_EQ(s.XMax, xMax);

    drag(plot, {145, 55}, {245, 155});
    EXPECT_NEAR(s.XMin, xMin + 100 * perPixel, 1e-9);
    EXPECT_LT(s.YMax, yMax);
    // The scroll bars now reach the loaded range on both sides.
    EXPECT_LT(w->horizontalBar()->minimum(), 0);
    EXPECT_GT(w->horizontalBar()->maximum(), 0);
    EXPECT_EQ(w->horizontalBar()->value(), 0);

    const double width = s.XMax - s.XMin, centre = (s.XMax + s.XMin) / 2;
    click(plot, {200, 200}, Qt::RightButton);
    click(plot, {20, 20}, Qt::RightButton);
    EXPECT_NEAR(s.XMax - s.XMin, 4 * width, 1e-9);
    EXPECT_NEAR((s.XMax + s.XMin) / 2, centre, 1e-9);

    // The horizontal bar shifts the view by its units.
    w->fullScaleCommand(FullScale::All);
    // The whole spectrum is in view again: the picture holds the grey frame and a navy curve.
    QImage image(plot->size(), QImage::Format_RGB32);
    plot->render(&image);
    int navy = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) navy += image.pixel(x, y) == qRgb(0, 0, 128);
    EXPECT_GT(navy, 200);
    EXPECT_EQ(image.pixel(45, 5), qRgb(128, 128, 128));
    drag(plot, {145, 55}, {245, 155});
    const double lo = s.XMin;
    w->horizontalBar()->setValue(w->horizontalBar()->maximum());
    EXPECT_GT(s.XMin, lo);
    EXPECT_NEAR(s.XMax, s.XMaxOrig, (s.XMax - s.XMin) / 100);

    EXPECT_TRUE(rig.dialogs.shown.empty());
}

TEST(ViewerWindow, MenusSwitchSpectraPanelsScalesAndMeasuring) {
    ViewerRig rig;
    TForm3* w = rig.open({"a.dat", "b.dat", "c.dat"});
    ASSERT_NE(w, nullptr);
    tvar& ws = w->workspace();

    // "&Spectrum": the clicked entry becomes active and checked.
    w->spectrumMenu()->actions()[1]->trigger();
    EXPECT_EQ(ws.Active, 2);
    EXPECT_TRUE(w->spectrumMenu()->actions()[1]->isChecked());
    EXPECT_FALSE(w->spectrumMenu()->actions()[0]->isChecked());
    EXPECT_EQ(w->windowTitle().toStdString(), ws.spectrum(2).FileName);

    // "&Display": each item one panel of 17 pixels; "show &all / clear" twice returns to none.
    const int height = w->height();
    w->action("&Sample")->trigger();
    EXPECT_EQ(w->panelTexts(), (std::vector<QString>{"Probe: silver"}));
    EXPECT_EQ(w->height(), height + 17);
    EXPECT_EQ(ws.InfoPanelsHeight, 17);
    w->action("show &all / clear")->trigger();
    EXPECT_EQ(w->panelTexts().size(), 5u);
    EXPECT_EQ(w->height(), height + 85);
    w->action("show &all / clear")->trigger();
    EXPECT_TRUE(w->panelTexts().empty());
    EXPECT_EQ(ws.InfoPanelsHeight, 0);
    EXPECT_EQ(w->height(), height);

    // "&Not Scaled" / "&X": one energy range for all shown spectra.
    w->action("&X")->trigger();
    for (int k = 1; k <= 3; ++k) {
        EXPECT_DOUBLE_EQ(ws.spectrum(k).XMin, 70);
        EXPECT_NEAR(ws.spectrum(k).XMax, 99.9, 1e-9);
    }

    // "&Measure dist.": marks on the active spectrum, the caption shows the distance, the mouse
    // moves the marks and Shift removes a spike.
    w->action("&Not Scaled")->menu()->actions()[1]->trigger(); // "&All"
    ASSERT_FALSE(w->action("&Integrate")->isEnabled());
    w->action("&Measure dist.")->trigger();
    ASSERT_TRUE(w->measuring());
    EXPECT_TRUE(w->action("&Measure dist.")->isChecked());
    EXPECT_EQ(w->windowTitle().toStdString(), measuringCaption(ws));
    const int k = ws.Active;
    const int column = ws.column(k, 95.0);
    click(w->plotBox(), {column, 100}, Qt::LeftButton);
    EXPECT_NEAR(ws.SelStartX, 95.0, 0.051);
    click(w->plotBox(), {ws.column(k, 99.0), 100}, Qt::RightButton);
    EXPECT_NEAR(ws.SelEndX, 99.0, 0.051);
    EXPECT_EQ(w->windowTitle().toStdString(), measuringCaption(ws));
    const int j = ws.SelStartPoint;
    const double expected = (ws.point(k, j - 1).y + ws.point(k, j + 1).y) / 2;
    click(w->plotBox(), {column, 100}, Qt::LeftButton, Qt::ShiftModifier);
    EXPECT_DOUBLE_EQ(ws.point(k, j).y, expected);
    w->action("&Measure dist.")->trigger();
    EXPECT_FALSE(w->measuring());
    EXPECT_EQ(w->windowTitle().toStdString(), ws.spectrum(k).FileName);
}

// The analysis menus act on the window's workspace: a refused command shows its message and changes
// nothing, "Normierung" and "&Integrate" follow measuring mode, the integration window lists its marks.
TEST(ViewerWindow, AnalysisMenusCallTheCommands) {
    ViewerRig rig;
    TForm3* w = rig.open({"a.dat", "b.dat"});
    ASSERT_NE(w, nullptr);
    tvar& ws = w->workspace();
    const tvar loaded = ws;

    // Different point counts (200 and 150): the mean subtraction is refused with its message.
    w->action("I - Fit  -100 %")->trigger();
    ASSERT_EQ(rig.dialogs.shown.size(), 1u);
    EXPECT_EQ(rig.dialogs.shown[0].text,
              "Anzahl der Meßpunkte stimmt nicht überein?\rFunktion geht nur bei gleicher Anzahl !");
    for (int k = 1; k <= 2; ++k)
        for (int j = 1; j <= ws.spectrum(k).NumPoints; ++j) ASSERT_EQ(ws.point(k, j).y, loaded.point(k, j).y);

    // "Smoothing" averages each point with its neighbours.
    w->action("Smoothing")->trigger();
    EXPECT_DOUBLE_EQ(ws.point(1, 10).y, (loaded.point(1, 9).y + loaded.point(1, 10).y + loaded.point(1, 11).y) / 3);
    // "MM-Fit" ends at full scale: one range over all shown spectra. Spectrum 1 lies within 0 .. 1000;
    // spectrum 2 holds fewer points than spectrum 1 and is left as it was.
    const double before = ws.point(2, 7).y;
    w->action("MM-Fit")->trigger();
    EXPECT_EQ(ws.spectrum(1).YMax, ws.spectrum(2).YMax);
    for (const SpectrumPoint& p : ws.points(1)) ASSERT_TRUE(p.y >= 0 && p.y <= 1000) << p.y;
    EXPECT_EQ(ws.point(2, 7).y, before);

    EXPECT_FALSE(w->action("Normierung")->isEnabled());
    w->action("&Measure dist.")->trigger();
    ASSERT_TRUE(w->action("&Integrate")->isEnabled());
    EXPECT_TRUE(w->action("Normierung")->isEnabled());
    w->action("&Integrate")->trigger();
    ASSERT_NE(w->integrationWindow(), nullptr);
    EXPECT_TRUE(w->integrationWindow()->isVisible());
    EXPECT_TRUE(w->integrationWindow()->memoText().startsWith(
        QString::fromStdString("Start energy : " + text::formatGeneral(ws.point(ws.Active, ws.SelStartPoint).x))));
    EXPECT_FALSE(w->integrationWindow()->areaText().isEmpty());
    // The backgrounds between the marks: a cancelled B changes nothing; marks beyond b.dat's 150
    // points are refused with a message that says so, before any spectrum changes.
    const double beforeBackground = ws.point(1, ws.SelStartPoint + 5).y;
    w->askTougaardB = [] { return std::nullopt; };
    w->action("Tougaard background...")->trigger();
    EXPECT_EQ(ws.point(1, ws.SelStartPoint + 5).y, beforeBackground);
    rig.dialogs.clear();
    w->askTougaardB = [] { return 2866.0; };
    w->action("Tougaard background...")->trigger();
    w->action("Shirley background")->trigger();
    ASSERT_EQ(rig.dialogs.shown.size(), 2u);
    EXPECT_NE(rig.dialogs.shown[1].text.find("beyond the 150 points of b.dat"), std::string::npos)
        << rig.dialogs.shown[1].text;
    EXPECT_EQ(ws.point(1, ws.SelStartPoint + 5).y, beforeBackground);
    w->action("&Measure dist.")->trigger();
    EXPECT_FALSE(w->action("&Integrate")->isEnabled());
}

void typeKey(QWidget* w, Qt::Key key, Qt::KeyboardModifiers modifiers) {
    qt_handleKeyEvent(w->windowHandle(), QEvent::KeyPress, key, modifiers);
    qt_handleKeyEvent(w->windowHandle(), QEvent::KeyRelease, key, modifiers);
}

bool sameCounts(const tvar& a, const tvar& b) {
    if (a.pool.size() != b.pool.size()) return false;
    for (std::size_t i = 0; i < a.pool.size(); ++i)
        if (a.pool[i].y != b.pool[i].y) return false;
    return true;
}

// "&Undo" and "&Redo" in "&Tools", with Ctrl+Z and Ctrl+Y: enabled only when there is a
// step; a refused command is none, the spike removal is one, a load starts anew.
TEST(ViewerWindow, UndoAndRedoWithTheirKeys) {
    ViewerRig rig;
    TForm3* w = rig.open({"a.dat", "b.dat"});
    ASSERT_NE(w, nullptr);
    tvar& ws = w->workspace();
    const tvar loaded = ws;
    QAction* undo = w->action("&Undo");
    QAction* redo = w->action("&Redo");
    ASSERT_TRUE(undo && redo);
    const QList<QAction*> tools = w->action("&Tools")->menu()->actions();
    ASSERT_TRUE(tools.contains(undo));
    EXPECT_EQ(tools.value(tools.indexOf(undo) + 1), redo);
    EXPECT_EQ(undo->shortcuts().first(), QKeySequence(QStringLiteral("Ctrl+Z")));
    EXPECT_EQ(redo->shortcuts().first(), QKeySequence(QStringLiteral("Ctrl+Y")));
    EXPECT_FALSE(undo->isEnabled());
    EXPECT_FALSE(redo->isEnabled());

    // Refused (200 and 150 points): nothing to undo.
    w->action("I - Fit  -100 %")->trigger();
    ASSERT_EQ(rig.dialogs.shown.size(), 1u);
    EXPECT_FALSE(undo->isEnabled());

    w->action("Smoothing")->trigger();
    const tvar smoothed = ws;
    ASSERT_FALSE(sameCounts(smoothed, loaded));
    EXPECT_TRUE(undo->isEnabled());
    EXPECT_FALSE(redo->isEnabled());

    // Ctrl+Z through the shortcut: the loaded counts at full scale, even after a zoom.
    w->activateWindow();
    QApplication::processEvents();
    ASSERT_EQ(QApplication::activeWindow(), w);
    drag(w->plotBox(), {100, 40}, {250, 200});
    ASSERT_GT(ws.spectrum(1).XMin, 80);
    typeKey(w, Qt::Key_Z, Qt::ControlModifier);
    EXPECT_TRUE(sameCounts(ws, loaded));
    EXPECT_FALSE(undo->isEnabled());
    EXPECT_TRUE(redo->isEnabled());
    EXPECT_DOUBLE_EQ(ws.spectrum(1).XMin, 80);
    EXPECT_EQ(ws.spectrum(1).YMax, ws.spectrum(2).YMax);
    typeKey(w, Qt::Key_Y, Qt::ControlModifier);
    EXPECT_TRUE(sameCounts(ws, smoothed));
    EXPECT_TRUE(undo->isEnabled());
    EXPECT_FALSE(redo->isEnabled());

    // Shift-click of measuring mode removes a spike: a step of its own.
    w->action("&Measure dist.")->trigger();
    click(w->plotBox(), {ws.column(ws.Active, 90.3), 100}, Qt::LeftButton, Qt::ShiftModifier); // on the peak
    ASSERT_FALSE(sameCounts(ws, smoothed));
    undo->trigger();
    EXPECT_TRUE(sameCounts(ws, smoothed));
    EXPECT_TRUE(undo->isEnabled());
    w->action("&Measure dist.")->trigger();

    // A load: the history starts from the data now in the window.
    rig.answerLoadDialog({"c.dat"});
    w->loadProcedure();
    ASSERT_EQ(ws.spectrumCount(), 3);
    EXPECT_FALSE(undo->isEnabled());
    EXPECT_FALSE(redo->isEnabled());
    typeKey(w, Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(ws.point(1, 10).y, smoothed.point(1, 10).y); // still smoothed
}

TEST(ViewerWindow, SatelliteDialogTreatsTheChosenSpectra) {
    ViewerRig rig;
    TForm3* w = rig.open({"a.dat", "b.dat"});
    ASSERT_NE(w, nullptr);
    tvar& ws = w->workspace();
    const tvar loaded = ws;
    const auto unchanged = [&](int k) {
        for (int j = 1; j <= ws.spectrum(k).NumPoints; ++j)
            if (ws.point(k, j).y != loaded.point(k, j).y) return false;
        return true;
    };

    // "Remove" without a source: the message, the dialog stays open, nothing changes.
    w->answerSatellite = [&](TForm16& d) {
        ASSERT_EQ(d.list()->count(), 2);
        EXPECT_EQ(d.list()->item(1)->text(), "b.dat");
        d.list()->item(1)->setSelected(true);
        d.removeButton()->click();
        EXPECT_FALSE(d.result() == QDialog::Accepted);
        EXPECT_EQ(rig.dialogs.shown.back().text, "Error : You have not chosen a source !!!");
        // "user dif." shows its group and widens the dialog; a text that is no number is refused.
        const int narrow = d.width();
        d.sourceButton(analysis::SatelliteSource::User)->setChecked(true);
        EXPECT_FALSE(d.userGroup()->isHidden());
        const int wide = d.width();
        EXPECT_GE(wide, narrow + 180);
        d.userEdit(1)->setText("0,3");
        d.removeButton()->click();
        EXPECT_NE(rig.dialogs.shown.back().text.find("'0,3' is not a valid floating point value"), std::string::npos);
        d.sourceButton(analysis::SatelliteSource::MgKAlpha)->setChecked(true);
        EXPECT_TRUE(d.userGroup()->isHidden());
        EXPECT_LE(d.width(), wide - 180);
        d.removeButton()->click();
    };
    w->satelliteCommand();
    EXPECT_TRUE(unchanged(1));
    EXPECT_FALSE(unchanged(2));
    // Each point of b.dat lost 0.09 of the count 8.5 eV lower (and 0.05 of the count 10.1 eV lower).
    const int j = 150;
    const double x = loaded.point(2, j).x;
    tvar expected = loaded;
    analysis::removeSatellites(expected, {2}, analysis::satelliteLines(analysis::SatelliteSource::MgKAlpha));
    EXPECT_EQ(ws.point(2, j).y, expected.point(2, j).y);
    EXPECT_LT(ws.point(2, j).y, loaded.point(2, j).y) << x;
}

TEST(ViewerWindow, HandScaleSelectionMarkAndValueTable) {
    ViewerRig rig;
    TForm3* w = rig.open({"a.dat", "b.dat", "c.dat"});
    ASSERT_NE(w, nullptr);
    tvar& ws = w->workspace();

    // "&HandScale": the dialog opens on the active range; OK with absolute values sets it.
    w->answerHandScale = [](TForm7& d) {
        EXPECT_EQ(d.xMinEdit()->text(), "80");
        EXPECT_EQ(d.factorEdit()->text(), "1");
        d.xMinEdit()->setText("82");
        d.xMaxEdit()->setText("90");
        d.button(HandScaleAction::Ok)->click();
    };
    w->handScaleCommand();
    for (int k = 1; k <= 3; ++k) {
        EXPECT_DOUBLE_EQ(ws.spectrum(k).XMin, 82);
        EXPECT_DOUBLE_EQ(ws.spectrum(k).XMax, 90);
    }
    // "Abort" changes nothing; a bad number is refused with a message.
    w->answerHandScale = [](TForm7& d) {
        d.xMinEdit()->setText("1");
        d.abortButton()->click();
    };
    w->handScaleCommand();
    EXPECT_DOUBLE_EQ(ws.spectrum(1).XMin, 82);
    w->answerHandScale = [](TForm7& d) {
        d.xMinEdit()->setText("eighty");
        d.button(HandScaleAction::Ok)->click();
    };
    const std::size_t boxes = rig.dialogs.shown.size();
    w->handScaleCommand();
    EXPECT_DOUBLE_EQ(ws.spectrum(1).XMin, 82);
    EXPECT_EQ(rig.dialogs.shown.size(), boxes + 1);

    // "&Select": b.dat hidden, c.dat shown values; "Cancel" would have kept everything.
    w->answerSelection = [](TForm8& d) {
        ASSERT_EQ(d.shownList()->count(), 3);
        d.shownList()->item(1)->setSelected(true);
        d.hideButton()->click();
        EXPECT_EQ(d.availableList()->count(), 1);
        d.activeBox()->setCurrentText("c.dat");
        d.cancelButton()->click();
    };
    w->selectData();
    EXPECT_EQ(ws.ShownCount, 3);
    w->answerSelection = [](TForm8& d) {
        d.shownList()->item(1)->setSelected(true);
        d.hideButton()->click();
        d.activeBox()->setCurrentText("c.dat");
        d.okButton()->click();
    };
    w->selectData();
    EXPECT_EQ(ws.ShownCount, 2);
    EXPECT_EQ(ws.HiddenCount, 1);
    EXPECT_EQ(ws.Active, 3);
    EXPECT_EQ(captions(w->spectrumMenu()), (QStringList{"a.dat", "c.dat"}));

    // "&Mark": a.dat marked; with "Active Spectra" only it follows a zoom. The list holds whole
    // names, however long.
    ws.spectrum(3).ShortName = "c_copper_overview.dat";
    w->answerMark = [](SpectrumChoiceDialog& d) {
        EXPECT_EQ(d.windowTitle(), "Select spectra you want to mark !");
        ASSERT_EQ(d.list()->count(), 2);
        EXPECT_EQ(d.list()->item(1)->text(), "c_copper_overview.dat");
        d.list()->item(0)->setSelected(true);
        d.actionButton()->click();
    };
    w->markCommand();
    EXPECT_EQ(ws.spectrum(1).Marked, 1);
    EXPECT_EQ(ws.spectrum(3).Marked, 0);
    w->activeSpectraButton()->setChecked(true);
    EXPECT_EQ(w->scope(), RangeScope::Marked);
    const double c = ws.spectrum(3).XMax;
    click(w->plotBox(), {100, 100}, Qt::RightButton);
    EXPECT_DOUBLE_EQ(ws.spectrum(3).XMax, c);
    EXPECT_DOUBLE_EQ(ws.spectrum(1).XMax, 94);

    // "&Value Table": one row per shown spectrum with its current ranges.
    w->showValueTable();
    QTableWidget* grid = rig.ctx.valueTable().grid();
    ASSERT_EQ(grid->rowCount(), 2);
    ASSERT_EQ(grid->columnCount(), 6);
    EXPECT_EQ(grid->horizontalHeaderItem(2)->text(), "EnergyMin");
    EXPECT_EQ(grid->item(0, 0)->text(), "a.dat");
    EXPECT_EQ(grid->item(0, 1)->text(), "gold");
    EXPECT_EQ(grid->item(0, 3)->text(), "94.00");
    click(w->plotBox(), {100, 100}, Qt::RightButton);
    EXPECT_EQ(grid->item(0, 3)->text(), "102.00"); // updated with the ranges
}

TEST(ViewerWindow, OverviewFileAndProjectsGoThroughTheLoadDialog) {
    ViewerRig rig;
    // "overview file" ticked: the load asks where to write it and appends a line per file.
    rig.ctx.loadDialog().overviewBox()->setChecked(true);
    rig.dialogs.files.push_back(rig.dir.file("overview.txt"));
    TForm3* w = rig.open({"a.dat", "b.dat"});
    ASSERT_NE(w, nullptr);
    rig.ctx.loadDialog().overviewBox()->setChecked(false);
    std::ifstream overview(rig.dir.file("overview.txt"), std::ios::binary);
    const std::string lines((std::istreambuf_iterator<char>(overview)), {});
    EXPECT_EQ(lines.rfind(std::string(kOverviewTitle) + "\r\n", 0), 0u);
    EXPECT_EQ(std::count(lines.begin(), lines.end(), '\n'), 3);

    // "as dat-file for &Korvo98" saves the shown spectra; the dialog's "Load project" in a new
    // window brings them back with their ranges.
    w->fullScaleCommand(FullScale::X);
    rig.dialogs.files.push_back(rig.dir.file("both"));
    w->action("as dat-file for &Korvo98")->trigger();
    EXPECT_TRUE(std::filesystem::exists(rig.dir.file("both.k98")));
    rig.dialogs.files.push_back(rig.dir.file("both.k98"));
    QTimer::singleShot(0, [&rig] { rig.ctx.loadDialog().projectButton()->click(); });
    TForm3* again = rig.ctx.openViewer();
    ASSERT_NE(again, nullptr);
    ASSERT_EQ(again->workspace().ShownCount, 2);
    EXPECT_EQ(captions(again->spectrumMenu()), (QStringList{"a.dat", "b.dat"}));
    EXPECT_DOUBLE_EQ(again->workspace().spectrum(2).XMin, 80); // b.dat on the common range
    EXPECT_FALSE(rig.ctx.loadList.LoadProjectFlag);
}

TEST(ViewerWindow, ColourViewAndSliceCommands) {
    ViewerRig rig;
    for (int k = 1; k <= 5; ++k)
        ASSERT_TRUE(testing::writeSpectrum(rig.dir.file("s" + std::to_string(k) + ".dat"), 70, 100, 72 + k, "slice"));
    TForm3* w = rig.open({"s1.dat", "s2.dat", "s3.dat", "s4.dat", "s5.dat"});
    ASSERT_NE(w, nullptr);
    tvar& ws = w->workspace();
    EXPECT_FALSE(w->colourView());
    EXPECT_TRUE(w->colourSelector()->isHidden());

    // "----": the whole spectra as the stretch, colour scale 2, the colour view on.
    w->action("----")->trigger();
    EXPECT_TRUE(w->colourView());
    EXPECT_TRUE(w->action("Color-Mode")->isChecked());
    EXPECT_FALSE(w->colourSelector()->isHidden());
    EXPECT_EQ(w->colourSelector()->value(), 2);
    EXPECT_EQ(ws.SelStartPoint, 1);
    EXPECT_EQ(ws.SelEndPoint, 100);
    w->colourSelector()->setValue(99);
    EXPECT_EQ(w->colourSelector()->value(), 44);
    w->action("Color-Mode")->trigger();
    EXPECT_FALSE(w->colourView());
    EXPECT_FALSE(w->action("Color-Mode")->isChecked());
    EXPECT_TRUE(w->colourSelector()->isHidden());

    // "Scienta-Mix" of the hand-scaling dialog: a text that is no integer is refused, blocks of 2
    // with one overlapping slice join s1 s2 | s3 s4 | s5 into s1, s2 + s3 and s4 + s5 (halves).
    const tvar loaded = ws;
    const auto mix = [w](QString slices, QString overlap) {
        w->answerHandScale = [slices, overlap](TForm7& d) {
            d.mixSlicesEdit()->setText(slices);
            d.mixOverlapEdit()->setText(overlap);
            d.mixButton()->click();
        };
        w->handScaleCommand();
    };
    mix("2", "x");
    ASSERT_TRUE(rig.dialogs.saw("'x' is not a valid integer value"));
    EXPECT_EQ(ws.ShownCount, 5);
    mix("2", "1");
    EXPECT_EQ(ws.ShownCount, 3);
    EXPECT_EQ(ws.HiddenCount, 2);
    EXPECT_DOUBLE_EQ(ws.point(2, 50).y, (loaded.point(2, 50).y + loaded.point(3, 50).y) / 2);
    EXPECT_DOUBLE_EQ(ws.point(3, 50).y, (loaded.point(4, 50).y + loaded.point(5, 50).y) / 2);

    // The Slices-Sum group of the dialog only closes it; "Slices-Sum" of "Experts" with fewer than
    // thirty spectra would complete no group and leave nothing shown: refused with a message.
    w->answerHandScale = [](TForm7& d) { d.sliceSumButton()->click(); };
    w->handScaleCommand();
    EXPECT_EQ(ws.ShownCount, 3);
    w->action("Slices-Sum")->trigger();
    EXPECT_TRUE(rig.dialogs.saw("Slices-Sum sums groups of 30 spectra: at least 30 must be shown."));
    EXPECT_EQ(ws.ShownCount, 3);
    EXPECT_EQ(ws.HiddenCount, 2);
}

TEST(ViewerWindow, ClippingFitLeavesItsDrawingUntilTheNextRepaint) {
    ViewerRig rig;
    TForm3* w = rig.open({"a.dat"});
    ASSERT_NE(w, nullptr);
    w->show();
    const auto count = [](const QImage& image, QRgb colour) {
        int n = 0;
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x) n += image.pixel(x, y) == colour;
        return n;
    };
    const QImage before = w->plotBox()->grab().toImage().convertToFormat(QImage::Format_RGB32);
    EXPECT_EQ(count(before, qRgb(0xFF, 0xFF, 0x00)), 0);
    w->action("Q-Fit")->trigger();
    // Black box, the difference in yellow and the background in orange on top of the counts.
    const QImage fit = w->plotBox()->grab().toImage().convertToFormat(QImage::Format_RGB32);
    EXPECT_GT(count(fit, qRgb(0, 0, 0)), fit.width() * fit.height() / 2);
    EXPECT_GT(count(fit, qRgb(0xFF, 0xFF, 0x00)), 50);
    EXPECT_GT(count(fit, qRgb(0xFF, 0x88, 0x00)) + count(fit, qRgb(0x55, 0x55, 0xFF)), 50);
    // The next command repaints the plot as usual.
    w->fullScaleCommand(FullScale::All);
    const QImage after = w->plotBox()->grab().toImage().convertToFormat(QImage::Format_RGB32);
    EXPECT_EQ(count(after, qRgb(0xFF, 0xFF, 0x00)), 0);
    EXPECT_GT(count(after, qRgb(255, 255, 255)), after.width() * after.height() / 2);
}

TEST(ViewerWindow, ClosingAsksAndCancelKeepsTheWindow) {
    ViewerRig rig;
    QPointer<TForm3> w = rig.open({"a.dat"});
    ASSERT_TRUE(w);
    rig.dialogs.answers.push_back(DialogAnswer::Cancel);
    EXPECT_FALSE(w->close());
    ASSERT_EQ(rig.dialogs.shown.size(), 1u);
    EXPECT_EQ(rig.dialogs.shown[0].text, "Close Worksheet and loose unsaved data ?");
    EXPECT_EQ(rig.dialogs.shown[0].caption, "Korvo 98");
    EXPECT_EQ(rig.dialogs.shown[0].buttons, DialogButtons::OkCancel);
    EXPECT_TRUE(w->isVisible());
    rig.dialogs.answers.push_back(DialogAnswer::Ok);
    EXPECT_TRUE(w->close());
    QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_FALSE(w);
    EXPECT_TRUE(rig.ctx.viewers().empty());
}

TEST(ViewerWindow, ForeignFilesComeInThroughTheLoadDialogAndTheDataMenu) {
    ViewerRig rig;
    testing::ScientaSpec scienta; // two slices of five points, 10 to 10.4 eV
    scienta.values = testing::ramp(10);
    testing::writeBytes(rig.dir.file("s.bin"), testing::scientaBytes(scienta));
    testing::writeBytes(rig.dir.file("m1.txt"), testing::multichanneltronText(
                                                     {testing::countRow("10.00", 1), testing::countRow("10.10", 20),
                                                      testing::countRow("10.20", 40)}));
    testing::writeBytes(rig.dir.file("m2.txt"), "Comment: no raw data here\r\n");
    testing::writeBytes(rig.dir.file("m3.txt"), testing::multichanneltronText({testing::countRow("10.00", 1)}));
    std::filesystem::create_directory(rig.dir.path / "tmp");
    const char* oldTmp = std::getenv("TMPDIR");
    const std::string savedTmp = oldTmp ? oldTmp : "";
    ::setenv("TMPDIR", rig.dir.file("tmp").c_str(), 1);

    // "Single Multi -> project" converts the selected files in list order and keeps the dialog open;
    // a file without channeltrons ends the command, so the one after it is not converted. Then
    // "Load Scienta" brings one spectrum per slice, through temporary files that are gone afterwards.
    QTimer::singleShot(0, [&rig] {
        TForm5& d = rig.ctx.loadDialog();
        d.filterBox()->setCurrentIndex(0);
        for (int i = 0; i < d.fileList()->count(); ++i) {
            const QString name = d.fileList()->item(i)->text();
            d.fileList()->item(i)->setSelected(name.startsWith("m"));
        }
        d.multiButton()->click();
        EXPECT_TRUE(d.isVisible());
        for (int i = 0; i < d.fileList()->count(); ++i)
            d.fileList()->item(i)->setSelected(d.fileList()->item(i)->text() == "s.bin");
        d.scientaButton()->click();
    });
    TForm3* w = rig.ctx.openViewer();
    if (oldTmp) ::setenv("TMPDIR", savedTmp.c_str(), 1);
    else ::unsetenv("TMPDIR");
    ASSERT_NE(w, nullptr);

    EXPECT_TRUE(std::filesystem::is_regular_file(rig.dir.file("m1.txt.k98")));
    EXPECT_FALSE(std::filesystem::exists(rig.dir.file("m2.txt.k98")));
    EXPECT_FALSE(std::filesystem::exists(rig.dir.file("m3.txt.k98")));
    EXPECT_TRUE(rig.dialogs.saw(rig.dir.file("m1.txt.k98")));
    EXPECT_TRUE(rig.dialogs.saw("No channeltrons in the file ?"));

    ASSERT_EQ(w->workspace().ShownCount, 2);
    EXPECT_EQ(w->workspace().spectrum(2).NumPoints, w->workspace().spectrum(1).NumPoints);
    EXPECT_DOUBLE_EQ(w->workspace().point(2, 1).y, 6.0); // the second slice starts at the sixth value
    EXPECT_EQ(std::filesystem::directory_iterator(rig.dir.path / "tmp"), std::filesystem::directory_iterator{});
    EXPECT_TRUE(rig.ctx.loadList.tempDirectory.empty());

    // The converted project loads as a project; "&ORIGIN Dat-file" adds one spectrum per column.
    {
        std::ofstream origin(rig.dir.file("table.dat"));
        origin << "Energy A B\n1 10 100\n2 20 200\n3 30 300\n";
    }
    rig.dialogs.files.push_back(rig.dir.file("table.dat"));
    w->action("&ORIGIN Dat-file")->trigger();
    ASSERT_EQ(w->workspace().ShownCount, 4);
    EXPECT_EQ(w->workspace().spectrum(3).ShortName, "table_1");
    EXPECT_EQ(captions(w->spectrumMenu()).size(), 4);

    rig.dialogs.files.push_back(rig.dir.file("m1.txt.k98"));
    w->action("&Korvo98 k98-file")->trigger();
    EXPECT_EQ(w->workspace().ShownCount, 14);
}

} // namespace
} // namespace korvo

namespace korvo {
namespace {

// "Save RAW" and "as dat-file for &ORIGIN" ask to save all when only the marked spectra are chosen,
// then write the column file the exports make of the window's workspace; "Export Surfer" refuses
// unequal point counts without leaving a file.
TEST(ViewerWindow, ColumnAndGridExports) {
    ViewerRig rig;
    TForm3* w = rig.open({"a.dat", "b.dat"});
    ASSERT_NE(w, nullptr);
    w->show();
    w->activeSpectraButton()->setChecked(true);
    const std::string raw = rig.dir.file("raw.dat");
    rig.dialogs.answers.push_back(DialogAnswer::Yes);
    rig.dialogs.files.push_back(raw);
    w->action("Save RAW")->trigger();
    EXPECT_TRUE(rig.dialogs.saw("Saving only the active spectra! Do you want to save all?"));
    EXPECT_TRUE(w->allSpectraButton()->isChecked());
    const std::optional<std::string> written = readFile(raw);
    ASSERT_TRUE(written);
    EXPECT_EQ(*written, columnFileText(w->workspace(), true, ColumnValues::Stored));
    // Every row: x and one value of each spectrum, each followed by two blanks.
    std::istringstream rows(*written);
    int count = 0;
    for (std::string row; std::getline(rows, row); ++count) {
        ASSERT_GE(row.size(), 3u);
        EXPECT_EQ(row.substr(row.size() - 3), "  \r") << row;
        std::istringstream fields(row);
        int n = 0;
        for (double v; fields >> v;) ++n;
        EXPECT_EQ(n, 3) << row;
    }
    EXPECT_GE(count, 200); // at least every point of the longer spectrum

    // Answered No, the marked spectra alone: with none marked, a message and no file (the save
    // dialog is not even asked); with one marked, its column.
    w->activeSpectraButton()->setChecked(true);
    const std::string origin = rig.dir.file("origin.dat");
    rig.dialogs.clear();
    rig.dialogs.answers.push_back(DialogAnswer::No);
    rig.dialogs.files.push_back(origin);
    w->action("as dat-file for &ORIGIN")->trigger();
    EXPECT_FALSE(w->allSpectraButton()->isChecked());
    EXPECT_TRUE(rig.dialogs.saw("No spectrum is marked; there is nothing to save."));
    EXPECT_FALSE(std::filesystem::exists(origin));
    markSpectra(w->workspace(), {2});
    rig.dialogs.answers.push_back(DialogAnswer::No); // the file chosen above is still to be answered
    w->action("as dat-file for &ORIGIN")->trigger();
    const std::string marked = readFile(origin).value_or("");
    EXPECT_EQ(marked, columnFileText(w->workspace(), false, ColumnValues::Displayed));
    std::istringstream firstRow(marked.substr(0, marked.find('\r')));
    int fields = 0;
    for (double v; firstRow >> v;) ++fields;
    EXPECT_EQ(fields, 2); // x and the marked spectrum

    rig.dialogs.clear();
    const std::string grid = rig.dir.file("grid.dat");
    rig.dialogs.files.push_back(grid);
    w->action("Export Surfer")->trigger();
    EXPECT_TRUE(rig.dialogs.saw("Anzahl der Meßpunkte stimmt nicht überein?\rFunktion geht nur bei gleicher Anzahl !"));
    EXPECT_FALSE(std::filesystem::exists(grid));

    // "EPS": the pictures, "test.bmp" and "fit.tex" in the current directory, then "defe"; the
    // window keeps its active spectrum and its size. A directory in the way of "fit.tex" ends the
    // export with a message; the pictures written before it stay.
    rig.dialogs.clear();
    const std::filesystem::path before = std::filesystem::current_path();
    std::filesystem::current_path(rig.dir.path);
    const int active = w->workspace().Active;
    const QSize size = w->size();
    w->action("EPS")->trigger();
    EXPECT_TRUE(rig.dialogs.saw("defe"));
    EXPECT_EQ(w->workspace().Active, active);
    EXPECT_EQ(w->size(), size);
    for (const char* name : {"a.dat.eps", "b.dat.eps", "test.bmp", "fit.tex"})
        EXPECT_TRUE(std::filesystem::is_regular_file(rig.dir.file(name))) << name;
    EXPECT_NE(readFile(rig.dir.file("fit.tex")).value_or("").find("\\epsfig{file=b.dat.eps,width=9cm}"),
              std::string::npos);
    std::filesystem::remove(rig.dir.file("fit.tex"));
    std::filesystem::create_directory(rig.dir.file("fit.tex"));
    rig.dialogs.clear();
    w->action("EPS")->trigger();
    EXPECT_FALSE(rig.dialogs.saw("defe"));
    EXPECT_EQ(rig.dialogs.texts().size(), 1u); // the reason the write failed
    std::filesystem::current_path(before);
}


// "Save VAMAS" and "Save NeXus" write the chosen spectra as one file (nothing is chosen: a message, no
// file); the load dialog's "Load VAMAS" and "Load NeXus" bring them into a new window.
TEST(ViewerWindow, VamasAndNexusSaveAndLoad) {
    ViewerRig rig;
    TForm3* w = rig.open({"a.dat", "b.dat"});
    ASSERT_NE(w, nullptr);
    for (const bool nexus : {false, true}) {
        SCOPED_TRACE(nexus ? "NeXus" : "VAMAS");
        const char* save = nexus ? "Save NeXus" : "Save VAMAS";
        const std::string name = nexus ? "both.nxs" : "both.vms";
        rig.dialogs.clear();
        w->activeSpectraButton()->setChecked(true);
        w->action(save)->trigger();
        EXPECT_TRUE(rig.dialogs.saw("No spectrum is marked; there is nothing to save."));
        w->allSpectraButton()->setChecked(true);
        const std::string path = rig.dir.file(name);
        rig.dialogs.files.push_back(path);
        w->action(save)->trigger();
        const std::optional<std::string> written = readFile(path);
        ASSERT_TRUE(written);
        if (nexus)
            EXPECT_EQ(readNexusBytes(*written, name).spectra.size(), 2u);
        else
            EXPECT_EQ(*written, vamasText(w->workspace(), true));

        QTimer::singleShot(0, [&rig, name, nexus] {
            TForm5& d = rig.ctx.loadDialog();
            d.updateDir();
            for (int i = 0; i < d.fileList()->count(); ++i)
                d.fileList()->item(i)->setSelected(d.fileList()->item(i)->text().toStdString() == name);
            (nexus ? d.nexusButton() : d.vamasButton())->click();
        });
        TForm3* v = rig.ctx.openViewer();
        ASSERT_NE(v, nullptr);
        ASSERT_EQ(v->workspace().ShownCount, 2);
        EXPECT_EQ(captions(v->spectrumMenu()), (QStringList{"a.dat", "b.dat"}));
        for (int k = 1; k <= 2; ++k) {
            ASSERT_EQ(v->workspace().spectrum(k).NumPoints, w->workspace().spectrum(k).NumPoints);
            const auto a = w->workspace().points(k), b = v->workspace().points(k);
            for (std::size_t j = 0; j < a.size(); ++j) {
                EXPECT_EQ(a[j].x, b[j].x);
                EXPECT_EQ(a[j].y, b[j].y);
            }
        }
        EXPECT_FALSE(rig.ctx.loadList.VamasFlag);
        EXPECT_FALSE(rig.ctx.loadList.NexusFlag);
    }
}

} // namespace
} // namespace korvo

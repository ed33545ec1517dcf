// The history window over a main window: rows as measurements start, the bar of repeated sets, the
// oldest set dropped by the 51st, "Clear History", and the double-click that copies a set back.
#include "acquisition/history_model.h"
#include "app/history_window.h"
#include "app_test_support.h"

#include <QComboBox>
#include <QHeaderView>
#include <QLineEdit>
#include <QListWidget>
#include <QTableWidget>
#include <gtest/gtest.h>

using namespace korvo;
using korvo::testing::WindowRig;

namespace {

const char* kClamIni = "[general]\r\nmachine=CLAM\r\ntime=0\r\n";

QStringList rowTexts(const TForm20& h, int row) {
    QStringList out;
    for (int c = 0; c < h.grid()->columnCount(); ++c) out << h.grid()->item(row, c)->text();
    return out;
}

HistoryEntry entryAt(const std::string& start, std::uint8_t mode = ModeClam, int reference = 5) {
    HistoryEntry e;
    e.machineMode = mode;
    e.kindOfMeasure = 1;
    e.referenceChannel = reference;
    e.start = start;
    e.storedStart = 100;
    e.storedRamp = 50;
    e.points = 51;
    e.scans = "3";
    e.passEnergy = "20";
    e.timePerPoint = "200";
    e.photonStart = 130.5;
    return e;
}

struct HistoryRig : WindowRig {
    HistoryRig() : WindowRig(kClamIni) {
        window->show();
        window->MeasureClick();
        history = std::make_unique<TForm20>(*window);
    }
    std::unique_ptr<TForm20> history;
};

} // namespace

TEST(HistoryWindow, HeaderAndRowsOfTheSetsMeasured) {
    HistoryRig rig;
    TForm20& h = *rig.history;
    EXPECT_EQ(h.windowTitle(), QStringLiteral("History"));
    EXPECT_EQ(h.grid()->rowCount(), 50);
    EXPECT_EQ(h.grid()->columnCount(), 11);
    EXPECT_EQ(h.grid()->horizontalHeaderItem(1)->text(), QStringLiteral("   Popularity"));
    EXPECT_EQ(h.grid()->horizontalHeaderItem(10)->text(), QStringLiteral(" Phot. (eV)"));
    EXPECT_EQ(h.grid()->columnWidth(8), 59);
    EXPECT_EQ(rowTexts(h, 0).join(QString()), QString()); // nothing measured yet

    rig.measure();
    rig.measure(); // the same set once more: one row, two bars
    const QStringList first = rowTexts(h, 0);
    EXPECT_EQ(first.mid(0, 4), (QStringList{"1", "||", "CLAM", "CAE"}));
    EXPECT_EQ(first.mid(6, 4), (QStringList{"5", "1", "10.0", "10"}));
    EXPECT_EQ(first[4], QStringLiteral("10"));
    // Every cell is the model's row, the end and the photon energy included.
    for (int c = 0; c < 11; ++c) EXPECT_EQ(first[c].toStdString(), rig.ctx.history.row(1)[c]) << c;

    rig.station.fields.start = "12"; // a second set
    rig.window->fieldsToControls();
    rig.window->startButton()->click();
    EXPECT_EQ(rowTexts(h, 1).mid(0, 5), (QStringList{"2", "|", "CLAM", "CAE", "12"}));
    EXPECT_EQ(h.grid()->currentRow(), 1); // the row the run wrote is selected
    EXPECT_EQ(rowTexts(h, 2).join(QString()), QString());
}

TEST(HistoryWindow, TheFiftyFirstSetDropsTheOldestAndClearStartsAnew) {
    HistoryRig rig;
    TForm20& h = *rig.history;
    for (int i = 1; i <= 51; ++i) rig.ctx.history.add(entryAt(std::to_string(i)));
    EXPECT_EQ(rowTexts(h, 0).mid(0, 5), (QStringList{"2", "|", "CLAM", "CAE", "2"}));
    EXPECT_EQ(rowTexts(h, 49).mid(0, 6), (QStringList{"51", "|", "CLAM", "CAE", "51", "150"}));
    EXPECT_EQ(h.grid()->currentRow(), 49);
    rig.ctx.history.add(entryAt("30")); // a set still in the list only counts up
    EXPECT_EQ(rowTexts(h, 28).mid(0, 2), (QStringList{"30", "||"}));

    h.clearButton()->click();
    EXPECT_EQ(rig.ctx.history.count(), 0);
    for (int r = 0; r < 50; ++r) EXPECT_EQ(rowTexts(h, r).join(QString()), QString()) << r;
    rig.measure();
    EXPECT_EQ(rowTexts(h, 0).mid(0, 3), (QStringList{"1", "|", "CLAM"}));
}

TEST(HistoryWindow, DoubleClickCopiesTheSetBackIntoTheMainWindow) {
    HistoryRig rig;
    TForm1& w = *rig.window;
    TForm20& h = *rig.history;
    rig.measure(); // CAE, 10 eV, ramp 20, 5 points, 1 scan, pass 10.0, 10 ms

    // The user moves on: another machine, other parameters.
    w.switchMode(ModeCfs);
    MeasurementFields& f = rig.station.fields;
    f.kindOfMeasure = 0;
    f.start = "50";
    f.second = "80";
    f.scans = "7";
    f.timePerPoint = "100";
    f.passEnergyIndex = passEnergyIndexOf(f.passEnergyText = "2");
    w.fieldsToControls();
    rig.dialogs.clear();

    h.rowDoubleClicked(0);
    EXPECT_EQ(rig.dialogs.texts(), std::vector<std::string>{TForm20::kAppliedMessage});
    EXPECT_EQ(w.machineMode(), ModeClam);
    EXPECT_EQ(w.windowTitle(), QStringLiteral("Korvo '02   -  CLAM"));
    EXPECT_EQ(f.kindOfMeasure, 1);
    EXPECT_EQ(f.start, "10");
    // The end was copied in the end view; the mode switch shows it as the ramp again.
    EXPECT_TRUE(f.rampView);
    EXPECT_EQ(f.second, "20");
    EXPECT_EQ(f.third, "5");
    EXPECT_EQ(f.scans, "1");
    EXPECT_EQ(f.passEnergyText, "10.0");
    EXPECT_EQ(w.passEnergyCombo()->currentText(), QStringLiteral("10.0"));
    EXPECT_EQ(f.timePerPoint, "10");
    EXPECT_EQ(w.scansEdit()->text(), QStringLiteral("1"));

    // An empty row does nothing.
    rig.dialogs.clear();
    h.rowDoubleClicked(5);
    EXPECT_TRUE(rig.dialogs.shown.empty());
    EXPECT_EQ(f.start, "10");
}

TEST(HistoryWindow, ACopiedConstantFinalStateSetBringsItsReferenceChannel) {
    HistoryRig rig;
    rig.ctx.history.add(entryAt("40", ModeCfs, 7));
    EXPECT_EQ(rig.history->grid()->item(0, 2)->text(), QStringLiteral("CLAM_CFS_7"));
    rig.history->rowDoubleClicked(0);
    EXPECT_EQ(rig.window->machineMode(), ModeCfs);
    EXPECT_EQ(rig.station.state.ReferenceChannel, 7);
    EXPECT_EQ(rig.station.fields.start, "40");
    EXPECT_EQ(rig.station.fields.passEnergyText, "20");
    EXPECT_EQ(rig.station.fields.photon, "130.5");
}

TEST(HistoryWindow, NoCopyWhileAMeasurementRuns) {
    HistoryRig rig;
    rig.measure();
    rig.station.fields.start = "77";
    rig.window->fieldsToControls();
    rig.dialogs.clear();
    std::string startDuringRun;
    rig.measure([&] {
        rig.history->rowDoubleClicked(0);
        startDuringRun = rig.station.fields.start;
    });
    EXPECT_TRUE(rig.dialogs.saw(TForm20::kBusyMessage));
    EXPECT_FALSE(rig.dialogs.saw(TForm20::kAppliedMessage));
    EXPECT_EQ(startDuringRun, "10"); // what measure() put in, untouched by the refused copy
}

// The script window over the main window: line 1 from the main window, editing, a script of three
// lines measured and named in the table, a refused line noted in the table without a box, and the
// script file through the load and save choices.
#include "app/script_window.h"
#include "app_test_support.h"

#include <gtest/gtest.h>

#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QTableWidget>

#include <filesystem>

namespace korvo::testing {
namespace {

using T = ScriptTable;

struct ScriptRig : WindowRig {
    ScriptRig() {
        window->switchMode(ModeClam);
        shortScan();
        script = std::make_unique<TForm22>(station, *window);
    }
    QString shown(int row, int column) const {
        const QTableWidgetItem* item = script->grid()->item(row - 1, column);
        return item ? item->text() : QString();
    }
    void type(int row, int column, const QString& text) {
        script->grid()->setItem(row - 1, column, new QTableWidgetItem(text));
    }
    std::size_t spectraSaved() const {
        std::size_t n = 0;
        for (const auto& e : std::filesystem::directory_iterator(dir.path().toStdString()))
            n += e.path().filename().string().rfind("c_", 0) == 0;
        return n;
    }
    std::unique_ptr<TForm22> script;
};

TEST(ScriptWindow, LayoutAndLineOneFromTheMainWindow) {
    ScriptRig rig;
    TForm22& w = *rig.script;
    EXPECT_EQ(w.windowTitle(), "Script");
    EXPECT_EQ(w.grid()->columnCount(), 12);
    EXPECT_EQ(w.grid()->rowCount(), 50);
    EXPECT_EQ(w.grid()->horizontalHeaderItem(9)->text(), " Main Motor");
    EXPECT_EQ(w.grid()->columnWidth(0), 80);
    EXPECT_TRUE(w.startButton()->isEnabled());
    EXPECT_FALSE(w.stopButton()->isEnabled());
    EXPECT_TRUE(w.loadButton()->isEnabled());
    QStringList items;
    for (QAction* a : w.contextMenu()->actions()) items << a->text();
    EXPECT_EQ(items, (QStringList{"&Copy Line", "&Paste Line", "&Delete Line", "&Insert New Line"}));
    // Line 1 holds the main window's settings.
    EXPECT_EQ(rig.shown(1, T::Machine), "CLAM");
    EXPECT_EQ(rig.shown(1, T::Start), "10");
    EXPECT_EQ(rig.shown(1, T::Pass), "10.0");
    EXPECT_EQ(rig.shown(1, T::Photon), "-");
    EXPECT_EQ(rig.shown(2, T::Start), "");

    // Typed cells reach the table; Auto Fill fills and numbers; Insert on row 50 empties it only.
    rig.type(2, T::Start, "15");
    rig.type(3, T::Scans, "2");
    EXPECT_EQ(w.table().cell(2, T::Start), "15");
    w.autoFillClick();
    EXPECT_EQ(rig.shown(3, T::Start), "15");
    EXPECT_EQ(rig.shown(3, T::FileName), "  Nr. 03/03");
    rig.type(50, T::Start, "99");
    w.grid()->setCurrentCell(49, 2);
    w.insertLine();
    EXPECT_EQ(rig.shown(50, T::Start), "");
    EXPECT_EQ(rig.shown(3, T::Scans), "2");
    w.grid()->setCurrentCell(0, 2);
    w.copyLine();
    w.grid()->setCurrentCell(9, 2);
    w.pasteLine();
    EXPECT_EQ(rig.shown(10, T::Machine), "CLAM");
    w.deleteLine();
    EXPECT_EQ(rig.shown(10, T::Machine), "");
}

TEST(ScriptWindow, ThreeLinesMeasureThreeSpectraAndARefusedLineIsNotedWithoutABox) {
    ScriptRig rig;
    TForm22& w = *rig.script;
    rig.type(2, T::Start, "12");
    rig.type(3, T::Start, "abc");
    rig.type(4, T::Start, "14");
    rig.type(4, T::Scans, "2");
    bool labelShown = false;
    rig.pump.onCall(rig.pump.calls() + 1, [&] { labelShown = !rig.window->scriptModeLabel()->isHidden(); });
    w.startButton()->click();
    EXPECT_TRUE(labelShown);
    EXPECT_TRUE(rig.window->scriptModeLabel()->isHidden());
    EXPECT_TRUE(w.startButton()->isEnabled());
    EXPECT_FALSE(w.stopButton()->isEnabled());
    ASSERT_EQ(w.run().records().size(), 4u);
    EXPECT_EQ(rig.spectraSaved(), 3u);
    for (int row : {1, 2, 4}) {
        const ScriptLineRecord& r = w.run().records()[std::size_t(row - 1)];
        EXPECT_EQ(r.end, RunEnd::Normal) << row;
        EXPECT_EQ(rig.shown(row, T::FileName).toStdString(), std::filesystem::path(r.saved).filename().string());
    }
    // Line 3: its message in the table, no box waiting for a click.
    EXPECT_EQ(w.run().records()[2].end, RunEnd::Refused);
    EXPECT_TRUE(rig.shown(3, T::FileName).contains("abc")) << rig.shown(3, T::FileName).toStdString();
    EXPECT_TRUE(rig.dialogs.texts().empty());
    EXPECT_EQ(rig.station.measurement.state.ScansTarget, 2);
    // The main window's fields show the last line.
    EXPECT_EQ(rig.station.fields.start, "14");
}

// "Stop Script !" pressed while line 2 measures: the line runs to its end, and only then does the
// table get its context menu back (no line can be inserted or deleted under the running one). Line 1
// asks the main motor, which does not answer (no serial port): it is not measured, and its cell says
// why.
TEST(ScriptWindow, AFailedMoveIsNotMeasuredAndStopKeepsTheTableLockedUntilTheLineHasEnded) {
    ScriptRig rig;
    TForm22& w = *rig.script;
    rig.type(1, T::MainMotor, "5");
    rig.type(2, T::Start, "12");
    rig.type(2, T::MainMotor, "-");
    rig.type(3, T::Start, "14");
    Qt::ContextMenuPolicy policyAfterStop = Qt::CustomContextMenu;
    std::string startAfterDelete;
    rig.pump.once([&] { return w.run().currentRow() == 2 && rig.window->runActive(); },
                  [&] {
                      w.stopButton()->click();
                      policyAfterStop = w.grid()->contextMenuPolicy();
                      w.grid()->setCurrentCell(1, T::Start);
                      w.deleteLine(); // would pull line 3 up under the running line
                      startAfterDelete = w.table().cell(2, T::Start);
                  });
    w.startButton()->click();
    EXPECT_EQ(policyAfterStop, Qt::NoContextMenu);
    EXPECT_EQ(startAfterDelete, "12");
    EXPECT_EQ(w.grid()->contextMenuPolicy(), Qt::CustomContextMenu);
    ASSERT_EQ(w.run().records().size(), 2u); // line 3 never started
    EXPECT_EQ(w.run().records()[0].notMeasured, "the main motor did not reach 5 degrees");
    EXPECT_EQ(rig.shown(1, T::FileName), "Not measured: the main motor did not reach 5 degrees.");
    EXPECT_EQ(w.run().records()[1].end, RunEnd::Normal);
    EXPECT_EQ(rig.spectraSaved(), 1u);
    // The drive's time-out boxes were kept with line 1, not shown to wait for a click.
    EXPECT_TRUE(rig.dialogs.texts().empty());
    EXPECT_EQ(w.table().cell(3, T::Start), "14");
}

TEST(ScriptWindow, ScriptFilesThroughLoadAndSave) {
    ScriptRig rig;
    TForm22& w = *rig.script;
    rig.type(2, T::Start, "12");
    const std::string path = rig.dir.filePath(QStringLiteral("night.txt")).toStdString();
    rig.dialogs.files.push_back(path);
    w.saveScriptClick();
    ASSERT_TRUE(std::filesystem::is_regular_file(path));

    rig.type(1, T::Start, "77");
    rig.type(5, T::Start, "5");
    rig.dialogs.files.push_back(path);
    w.loadScriptClick();
    EXPECT_EQ(rig.shown(1, T::Start), "10");
    EXPECT_EQ(rig.shown(2, T::Start), "12");
    EXPECT_EQ(rig.shown(5, T::Start), "");

    // A damaged file: a message, the table as it was; a cancelled choice changes nothing.
    std::ofstream(path, std::ios::binary) << "CLAM\t1\n";
    rig.dialogs.files.push_back(path);
    w.loadScriptClick();
    EXPECT_TRUE(rig.dialogs.texts().size() == 1 && rig.dialogs.texts()[0].find("has 2 cells") != std::string::npos);
    EXPECT_EQ(rig.shown(2, T::Start), "12");
    rig.dialogs.files.push_back(std::nullopt);
    w.loadScriptClick();
    EXPECT_EQ(rig.shown(2, T::Start), "12");
}

} // namespace
} // namespace korvo::testing

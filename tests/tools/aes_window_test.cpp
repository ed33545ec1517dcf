// The AES data table's window offscreen: the two views, the Ctrl release, saving behind the warning,
// the stick spectrum, and loads that fail without losing what the window holds.
#include "auger_test_util.h"
#include "common/dialogs.h"
#include "support/qt_app.h"
#include "support/temp_dir.h"
#include "tools/ui/aes_window.h"

#include <QAction>
#include <QApplication>
#include <QKeyEvent>
#include <QTableWidget>
#include <gtest/gtest.h>

using namespace korvo;
using korvo::testing::blockWithPeaks;
using korvo::testing::kSmallAugerFile;
using korvo::testing::readAll;
using korvo::testing::TempDir;
using korvo::testing::writeAll;

namespace {

QApplication& app() {
    return korvo::testing::qtApp();
}

struct AesRig {
    AesRig() {
        app();
        writeAll(path(), kSmallAugerFile);
        window = std::make_unique<TForm10>(dialogs, dir.path.string());
    }
    std::string path() const { return dir.file("auger.dat"); }
    QString cell(int row, int column) const { return window->grid()->item(row, column)->text(); }
    void edit(int row, int column, const QString& text) { window->grid()->item(row, column)->setText(text); }
    void releaseCtrl() {
        QKeyEvent press(QEvent::KeyPress, Qt::Key_Control, Qt::ControlModifier);
        QKeyEvent release(QEvent::KeyRelease, Qt::Key_Control, Qt::NoModifier);
        QApplication::sendEvent(window->grid(), &press);
        QApplication::sendEvent(window->grid(), &release);
    }
    std::vector<std::string> errors() const {
        std::vector<std::string> out;
        for (const auto& s : dialogs.shown)
            if (s.icon == DialogIcon::Error) out.push_back(s.text);
        return out;
    }

    TempDir dir;
    RecordingDialogs dialogs;
    std::unique_ptr<TForm10> window;
};

} // namespace

TEST(AesWindow, ShowingReadsTheFileIntoTheEnergyViewAndCtrlOrTheMenuFlipsTheView) {
    AesRig rig;
    rig.window->show();
    EXPECT_EQ(rig.window->windowTitle(), QStringLiteral("AES - Data (Peak energy)"));
    EXPECT_EQ(rig.window->grid()->rowCount(), 29);
    EXPECT_EQ(rig.window->grid()->columnCount(), 91);
    EXPECT_EQ(rig.cell(0, 0), QStringLiteral("Elements"));
    EXPECT_EQ(rig.cell(28, 0), QStringLiteral("Peak 28"));
    EXPECT_EQ(rig.cell(0, 2), QStringLiteral("[O]"));
    EXPECT_EQ(rig.cell(2, 2), QStringLiteral("483"));
    EXPECT_EQ(rig.cell(4, 2), QString()); // no fourth peak
    EXPECT_EQ(rig.cell(0, 3), QString());
    EXPECT_EQ(rig.cell(1, 4), QStringLiteral("351"));

    rig.window->changeAction()->trigger();
    EXPECT_EQ(rig.window->view(), AugerTable::View::Intensity);
    EXPECT_EQ(rig.window->windowTitle(), QStringLiteral("AES - Data (Peak intensity)"));
    EXPECT_EQ(rig.cell(2, 2), QStringLiteral("60"));
    EXPECT_EQ(rig.cell(0, 2), QStringLiteral("[O]")); // the names stay

    // An intensity typed in this view survives the way back and forth.
    rig.edit(2, 4, QStringLiteral("85"));
    rig.releaseCtrl();
    EXPECT_EQ(rig.window->view(), AugerTable::View::Energy);
    EXPECT_EQ(rig.cell(2, 4), QStringLiteral("356"));
    rig.releaseCtrl();
    EXPECT_EQ(rig.cell(2, 4), QStringLiteral("85"));
    EXPECT_EQ(rig.window->table().intensity(4, 2), 85);
    EXPECT_TRUE(rig.dialogs.shown.empty());

    // The next showing reads the file again: the unsaved edit is gone, the energy view is back.
    rig.window->hide();
    rig.window->show();
    EXPECT_EQ(rig.window->view(), AugerTable::View::Energy);
    EXPECT_EQ(rig.window->table().intensity(4, 2), 80);
}

TEST(AesWindow, ANonNumericCellIsReportedAndTheViewStays) {
    AesRig rig;
    rig.window->show();
    const AugerTable before = rig.window->table();
    rig.edit(1, 1, QStringLiteral("272"));
    rig.edit(3, 2, QStringLiteral("4six8"));
    rig.window->changeAction()->trigger();
    EXPECT_EQ(rig.window->view(), AugerTable::View::Energy);
    EXPECT_EQ(rig.window->windowTitle(), QStringLiteral("AES - Data (Peak energy)"));
    ASSERT_EQ(rig.errors().size(), 1u);
    EXPECT_EQ(rig.errors()[0], "element 2 [O], peak 3: '4six8' is not a valid integer value (0 to 65535).");
    EXPECT_TRUE(rig.window->table() == before);
    EXPECT_EQ(rig.cell(3, 2), QStringLiteral("4six8")); // left for the user to mend
    rig.edit(3, 2, QStringLiteral("65536"));            // a number, but more than a peak can hold
    rig.window->changeAction()->trigger();
    EXPECT_EQ(rig.errors().size(), 2u);
    EXPECT_EQ(rig.window->view(), AugerTable::View::Energy);
    EXPECT_TRUE(rig.window->table() == before);

    // Nor is anything saved with it.
    rig.window->saveTableAction()->trigger();
    EXPECT_EQ(readAll(rig.path()), kSmallAugerFile);
}

TEST(AesWindow, SaveTableWritesOnlyAfterTheWarningIsConfirmed) {
    AesRig rig;
    rig.window->show();
    rig.edit(2, 2, QString()); // the energy of oxygen's second peak emptied
    rig.edit(0, 3, QStringLiteral("[N]"));
    rig.edit(1, 3, QStringLiteral("379"));

    rig.dialogs.answers = {DialogAnswer::Cancel};
    rig.window->saveTableAction()->trigger();
    ASSERT_EQ(rig.dialogs.shown.size(), 1u);
    EXPECT_EQ(rig.dialogs.shown[0].caption, "Warning !");
    EXPECT_EQ(rig.dialogs.shown[0].text, "You will now overwrite old data !");
    EXPECT_EQ(readAll(rig.path()), kSmallAugerFile);

    rig.dialogs.answers = {DialogAnswer::Ok};
    rig.window->saveTableAction()->trigger();
    EXPECT_TRUE(rig.errors().empty());
    const std::string saved = readAll(rig.path());
    EXPECT_EQ(saved.rfind("[C]\r\n272  100\r\n\r\n[O]\r\n503  100\r\n468  25\r\n\r\n[N]\r\n379  0\r\n\r\n"
                          "[Ag]\r\n",
                          0),
              0u)
        << saved;

    // The program's own warning dialog answers through the same hook.
    int asked = 0;
    rig.window->confirmOverwrite = [&](const std::string& text) {
        ++asked;
        EXPECT_EQ(text, TForm10::kOverwriteWarning);
        return false;
    };
    rig.edit(1, 1, QStringLiteral("300"));
    rig.window->saveTableAction()->trigger();
    EXPECT_EQ(asked, 1);
    EXPECT_EQ(readAll(rig.path()), saved);
}

TEST(AesWindow, AFileThatCannotBeReadLeavesTheTableAsItWas) {
    AesRig rig;
    rig.window->show();
    rig.window->changeAction()->trigger(); // intensity view, with an edit
    rig.edit(1, 1, QStringLiteral("90"));
    const AugerTable before = rig.window->table();

    const std::string refused[] = {
        blockWithPeaks("[C]", 30),     // more peaks than an element holds
        "[C]\r\n272  hundred\r\n\r\n", // a non-numeric cell
    };
    for (const std::string& bytes : refused) {
        writeAll(rig.path(), bytes);
        rig.dialogs.clear();
        EXPECT_FALSE(rig.window->loadTable());
        ASSERT_EQ(rig.errors().size(), 1u);
        EXPECT_NE(rig.errors()[0].find("The table is left as it was."), std::string::npos) << rig.errors()[0];
        EXPECT_TRUE(rig.window->table() == before);
        EXPECT_EQ(rig.window->view(), AugerTable::View::Intensity);
        EXPECT_EQ(rig.cell(1, 1), QStringLiteral("90"));
    }

    std::remove(rig.path().c_str());
    rig.dialogs.clear();
    rig.window->hide();
    rig.window->show(); // a missing file on showing
    ASSERT_EQ(rig.errors().size(), 1u);
    EXPECT_NE(rig.errors()[0].find("Cannot read " + rig.path()), std::string::npos) << rig.errors()[0];
    EXPECT_TRUE(rig.window->table() == before);
}

TEST(AesWindow, SaveSpectrumWritesTheSticksOfTheCurrentColumn) {
    AesRig rig;
    rig.window->show();
    const std::string out = rig.dir.file("carbon.dat");

    rig.window->grid()->setCurrentCell(1, 0); // the labels' column is no element
    rig.window->saveSpectrumAction()->trigger();
    EXPECT_EQ(rig.dialogs.shown.size(), 1u);
    EXPECT_EQ(rig.dialogs.shown[0].kind, RecordingDialogs::Shown::Kind::Message);

    rig.dialogs.clear();
    rig.window->grid()->setCurrentCell(3, 1);
    rig.edit(2, 1, QStringLiteral("250")); // an edit not yet stored goes into the spectrum too
    rig.dialogs.files = {out};
    rig.window->saveSpectrumAction()->trigger();
    ASSERT_FALSE(rig.dialogs.shown.empty());
    EXPECT_EQ(rig.dialogs.shown[0].caption, "Save as dat-file");
    EXPECT_EQ(readAll(out), " 2.71990000000000E+0002  0\r\n272  100\r\n 2.72010000000000E+0002  0\r\n"
                            " 2.49990000000000E+0002  0\r\n250  0\r\n 2.50010000000000E+0002  0\r\n");

    // Cancelling the file choice writes nothing.
    rig.dialogs.clear();
    std::remove(out.c_str());
    rig.window->saveSpectrumAction()->trigger();
    EXPECT_TRUE(readAll(out).empty());
    EXPECT_TRUE(rig.errors().empty());
}

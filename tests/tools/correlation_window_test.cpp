// The "Korrelation" window offscreen: its controls, a cancelled and an answered file choice, and a
// refused run that leaves the result files alone.
#include "correlation_test_util.h"
#include "support/qt_app.h"
#include "support/temp_dir.h"
#include "tools/ui/correlation_window.h"

#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <gtest/gtest.h>

namespace korvo {
namespace {

QApplication& app() {
    return testing::qtApp();
}

struct WindowRig {
    WindowRig() {
        window.workingDirectory = [this] { return dir.path.string(); };
        testing::plantResultFiles(dir.path);
    }
    QApplication& application = app(); // before any widget
    testing::TempDir dir;
    RecordingDialogs dialogs;
    ScriptedPump pump;
    TForm21 window{dialogs, pump};
};

TEST(CorrelationWindow, StartsWithEveryChanneltronTicked) {
    WindowRig r;
    EXPECT_EQ(r.window.windowTitle(), QStringLiteral("Korrelation"));
    for (int c = 1; c <= 9; ++c) EXPECT_TRUE(r.window.channeltronBox(c)->isChecked()) << c;
    EXPECT_FALSE(r.window.ableitenBox()->isChecked());
    EXPECT_EQ(r.window.makeButton()->text(), QStringLiteral("Make Korrelation"));
    EXPECT_EQ(r.window.progressLabel()->text(), QStringLiteral("00 %"));
}

TEST(CorrelationWindow, CorrelatesTheChosenFileAndWritesItsResults) {
    WindowRig r;
    r.window.resultBox()->setPlainText(QStringLiteral("earlier"));
    // Cancelled: nothing changes.
    r.window.makeButton()->click();
    ASSERT_EQ(r.dialogs.shown.size(), 1u);
    EXPECT_EQ(r.dialogs.shown[0].kind, RecordingDialogs::Shown::Kind::OpenFile);
    EXPECT_EQ(r.window.resultBox()->toPlainText(), QStringLiteral("earlier"));
    EXPECT_TRUE(testing::resultFilesUntouched(r.dir.path));
    EXPECT_EQ(r.pump.calls(), 0);

    testing::SyntheticSpectrum s;
    s.offset = [](int c) { return 2.0 * (c - 5); };
    const std::string file = r.dir.file("multi.000");
    testing::writeText(file, s.text());
    r.dialogs.files.push_back(file);
    r.window.channeltronBox(2)->setChecked(false);
    r.window.makeButton()->click();

    // 28 pairs of the eight ticked channeltrons and all nine against channeltron 5, pumped after
    // each, and once after the boxes were cleared.
    EXPECT_EQ(r.pump.calls(), 28 + 9 + 1);
    EXPECT_EQ(r.window.progressLabel()->text(), QStringLiteral("120 Punkte 100 %"));
    const QStringList summary = r.window.resultBox()->toPlainText().split(QLatin1Char('\n'));
    ASSERT_EQ(summary.size(), 12);
    EXPECT_EQ(summary[0], QStringLiteral("PassEn: 10.00"));
    // 2 points per step of 11.9 eV / 120 points at 10 eV pass energy.
    EXPECT_NEAR(summary[1].mid(7).toDouble(), -2 * 11.9 / 120 / 10, 2e-4) << summary[1].toStdString();
    EXPECT_TRUE(summary[11].startsWith(QStringLiteral("Korrelationsfehler: 0.00")))
        << summary[11].toStdString();
    const QStringList offsets = r.window.offsetBox()->toPlainText().split(QLatin1Char('\n'));
    ASSERT_EQ(offsets.size(), 9); // the unticked channeltron 2 too
    EXPECT_TRUE(offsets[0].startsWith(QStringLiteral("1 : +0.0"))) << offsets[0].toStdString();
    EXPECT_TRUE(offsets[1].startsWith(QStringLiteral("2 : +0.0"))) << offsets[1].toStdString();
    EXPECT_TRUE(offsets[8].startsWith(QStringLiteral("9 :  -0.0"))) << offsets[8].toStdString();
    EXPECT_EQ(testing::readText(r.dir.path / "line.dat"),
              offsets.join(QStringLiteral("\r\n")).toStdString() + "\r\n");
    EXPECT_NE(testing::readText(r.dir.path / "test.dat"), "old test.dat");
    EXPECT_NE(testing::readText(r.dir.path / "ausgabe.dat"), "old ausgabe.dat");
    EXPECT_EQ(r.dialogs.shown.size(), 2u) << "no message after a good run";
}

TEST(CorrelationWindow, ARefusedRunSaysWhyAndKeepsTheFiles) {
    WindowRig r;
    testing::SyntheticSpectrum s;
    const std::string file = r.dir.file("multi.000");
    testing::writeText(file, s.text());
    for (int c = 1; c <= 9; ++c) r.window.channeltronBox(c)->setChecked(c == 4);
    r.window.resultBox()->setPlainText(QStringLiteral("earlier"));
    r.dialogs.files.push_back(file);
    r.window.makeButton()->click();
    EXPECT_TRUE(
        r.dialogs.saw("Tick at least two channeltrons: Delta comes from the shifts between pairs of them."));
    EXPECT_TRUE(r.window.resultBox()->toPlainText().isEmpty());
    EXPECT_TRUE(testing::resultFilesUntouched(r.dir.path));
    EXPECT_TRUE(r.window.makeButton()->isEnabled());

    testing::writeText(file, "no header here\r\n");
    for (int c = 1; c <= 9; ++c) r.window.channeltronBox(c)->setChecked(true);
    r.dialogs.files.push_back(file);
    r.window.makeButton()->click();
    EXPECT_TRUE(
        r.dialogs.saw("Cannot correlate multi.000: no \"Points:\" line where the header should have one."));
    EXPECT_TRUE(testing::resultFilesUntouched(r.dir.path));
}

} // namespace
} // namespace korvo

// Commands of the main window that reach files and dialogs: the text editor, deleting a file, the
// warning dialog and the colour choice.
#include "app/text_editor_window.h"
#include "app/warning_dialog.h"
#include "app_test_support.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMouseEvent>
#include <QPushButton>
#include <QTimer>
#include <gtest/gtest.h>

using namespace korvo;
using korvo::testing::WindowRig;

namespace {

QAction* fileItem(TForm1& w, const QString& text) {
    return korvo::testing::findAction(w.menuBar()->actions(), text);
}

std::string writeBytes(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    f.open(QIODevice::WriteOnly);
    f.write(bytes);
    return path.toStdString();
}

QByteArray readBytes(const QString& path) {
    QFile f(path);
    f.open(QIODevice::ReadOnly);
    return f.readAll();
}

} // namespace

TEST(TextEditor, OpensEditsAndSavesWithWindowsLineEndsAndCodePage) {
    WindowRig rig;
    TForm1& w = *rig.window;
    const QString in = rig.dir.filePath(QStringLiteral("notes.txt"));
    rig.dialogs.files.push_back(writeBytes(in, QByteArray("K\xe4se\r\nzweite Zeile\r\n")));
    fileItem(w, QStringLiteral("Open Textfile"))->trigger();
    EXPECT_TRUE(w.textEditor()->isVisible());
    EXPECT_EQ(w.textEditor()->text(), QString::fromUtf8("Käse\nzweite Zeile\n"));

    w.textEditor()->setText(QString::fromUtf8("Größe\nzwei"));
    const QString out = rig.dir.filePath(QStringLiteral("out.txt"));
    rig.dialogs.files.push_back(out.toStdString());
    fileItem(w, QStringLiteral("Save Textfile"))->trigger();
    EXPECT_EQ(readBytes(out), QByteArray("Gr\xf6\xdf"
                                         "e\r\nzwei"));
    EXPECT_EQ(rig.dialogs.shown.back().text, w.saveDir()); // the save dialog starts in SaveDir

    // An unreadable choice is reported and leaves the editor as it was.
    rig.dialogs.files.push_back(rig.dir.filePath(QStringLiteral("missing.txt")).toStdString());
    fileItem(w, QStringLiteral("Open Textfile"))->trigger();
    EXPECT_EQ(rig.dialogs.shown.back().kind, RecordingDialogs::Shown::Kind::Message);
    EXPECT_EQ(w.textEditor()->text(), QString::fromUtf8("Größe\nzwei"));
}

TEST(TextEditor, DeleteFileRemovesOnlyAPlainFile) {
    WindowRig rig;
    TForm1& w = *rig.window;
    const QString victim = rig.dir.filePath(QStringLiteral("old.dat"));
    rig.dialogs.files.push_back(writeBytes(victim, "x"));
    fileItem(w, QStringLiteral("Delete File"))->trigger();
    EXPECT_FALSE(QFile::exists(victim));

    QDir(rig.dir.path()).mkdir(QStringLiteral("keep"));
    rig.dialogs.files.push_back(rig.dir.filePath(QStringLiteral("keep")).toStdString());
    fileItem(w, QStringLiteral("Delete File"))->trigger();
    EXPECT_TRUE(QDir(rig.dir.filePath(QStringLiteral("keep"))).exists());
    EXPECT_EQ(rig.dialogs.shown.back().kind, RecordingDialogs::Shown::Kind::Message);
}

TEST(WarningDialog, ConfirmsOnlyWithOkAndAsksAnewEachTime) {
    korvo::testing::app();
    TForm11 dialog;
    QTimer::singleShot(0, dialog.okButton(), &QPushButton::click);
    EXPECT_TRUE(dialog.confirm());
    QTimer::singleShot(0, dialog.abortButton(), &QPushButton::click);
    EXPECT_FALSE(dialog.confirm()); // the earlier OK does not carry over
    QTimer::singleShot(0, &dialog, &QDialog::reject);
    EXPECT_FALSE(dialog.confirm());

    // The message may quote a file or INI text: markup in it is shown as typed.
    dialog.setMessage(QStringLiteral("Overwrite <b>old</b> data?\r<h1>x"));
    const auto labels = dialog.findChildren<QLabel*>();
    ASSERT_EQ(labels.size(), 1);
    EXPECT_EQ(labels[0]->text(), QStringLiteral("Overwrite <b>old</b> data?\n<h1>x"));
    EXPECT_EQ(labels[0]->textFormat(), Qt::PlainText);
}

TEST(MainWindowColours, CtrlRightClickRecoloursTheBox) {
    WindowRig rig;
    TForm1& w = *rig.window;
    int asked = 0;
    w.chooseColour = [&](const QColor&) -> std::optional<QColor> {
        ++asked;
        return QColor(10, 20, 30);
    };
    QGroupBox* box = w.settingsBox();
    auto rightClick = [&](Qt::KeyboardModifiers mods) {
        QMouseEvent e(QEvent::MouseButtonPress, QPointF(5, 5), box->mapToGlobal(QPointF(5, 5)),
                      Qt::RightButton, Qt::RightButton, mods);
        QApplication::sendEvent(box, &e);
    };
    rightClick(Qt::NoModifier);
    EXPECT_EQ(asked, 0);
    rightClick(Qt::ControlModifier);
    EXPECT_EQ(asked, 1);
    EXPECT_EQ(box->palette().color(QPalette::Window), QColor(10, 20, 30));
}

TEST(MainWindowParameters, TogglesConvertTheFieldsShownInTheWindow) {
    WindowRig rig("[general]\r\nmachine=CLAM\r\ntime=0\r\n[CLAM]\r\nstart=10\r\nrampe=10\r\npoints=21\r\n");
    TForm1& w = *rig.window;
    w.show();
    w.MeasureClick();
    auto* points = w.findChild<QPushButton*>(QStringLiteral("pointsButton"));
    auto* third = w.findChild<QLineEdit*>(QStringLiteral("third"));
    points->click();
    EXPECT_EQ(points->text(), QStringLiteral("Step (eV)"));
    EXPECT_EQ(third->text(), QStringLiteral("0.5"));
    points->click();
    EXPECT_EQ(points->text(), QStringLiteral("Points/Scan"));
    EXPECT_EQ(third->text(), QStringLiteral("21"));

    third->setText(QStringLiteral("2l")); // refused: caption and text stay
    points->click();
    EXPECT_EQ(points->text(), QStringLiteral("Points/Scan"));
}

TEST(WindowCommands, AWindowAddedToTheProgramEnablesItsItemAndOpensFromIt) {
    WindowRig rig;
    TForm1& w = *rig.window;
    QAction* history = w.windowCommand(TForm1::WindowCommand::History);
    ASSERT_EQ(history, fileItem(w, QStringLiteral("&History")));
    EXPECT_FALSE(history->isEnabled()); // no history window yet
    int opened = 0;
    w.registerWindow(TForm1::WindowCommand::History, [&] { ++opened; });
    EXPECT_TRUE(history->isEnabled());
    history->trigger();
    EXPECT_EQ(opened, 1);
    // (That the other placeholders stay disabled is the menus' test.)
    EXPECT_FALSE(w.windowCommand(TForm1::WindowCommand::Script)->isEnabled());

    // "&Data" holds only the AES table: closed until that window is there.
    QAction* data = fileItem(w, QStringLiteral("&Data"));
    ASSERT_NE(data, nullptr);
    EXPECT_FALSE(data->isEnabled());
    w.registerWindow(TForm1::WindowCommand::AesData, [&] { opened += 10; });
    EXPECT_TRUE(data->isEnabled());
    w.windowCommand(TForm1::WindowCommand::AesData)->trigger();
    EXPECT_EQ(opened, 11);
}

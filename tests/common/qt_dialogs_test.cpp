#include "common/qt/qt_dialogs.h"
#include "support/qt_app.h"

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QLabel>
#include <QTimer>

namespace korvo {

namespace {

QApplication& app() {
    return testing::qtApp();
}

// Runs `action` on the modal box as soon as it is shown.
void whenBoxShows(std::function<void(QMessageBox*)> action) {
    auto* timer = new QTimer(&app());
    QObject::connect(timer, &QTimer::timeout, timer, [timer, action] {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
            timer->stop();
            timer->deleteLater();
            action(box);
        }
    });
    timer->start(5);
}

} // namespace

TEST(QtDialogs, BoxPiecesFollowTheProgramsConventions) {
    EXPECT_EQ(dialogCaption(""), QStringLiteral("Korvo '02"));
    EXPECT_EQ(dialogCaption("Korvo 02"), QStringLiteral("Korvo 02"));
    EXPECT_EQ(dialogText("a\rb\r\nc\nd"), QStringLiteral("a\nb\nc\nd"));
    EXPECT_EQ(dialogAnswer(QMessageBox::Escape, DialogButtons::YesNo), DialogAnswer::No);
    EXPECT_EQ(dialogAnswer(QMessageBox::Escape, DialogButtons::YesNoCancel), DialogAnswer::Cancel);
    EXPECT_EQ(dialogAnswer(QMessageBox::Yes, DialogButtons::YesNoCancel), DialogAnswer::Yes);
    EXPECT_EQ(dialogFilter("Spectra|*.dat;*.001|All files (*.*)|*.*"),
              QStringLiteral("Spectra (*.dat *.001);;All files (*.*)"));
    EXPECT_EQ(dialogFilter("dangling|"), QStringLiteral("dangling ()"));
}

TEST(QtDialogs, ShowsModalBoxesAndReturnsTheClickedAnswer) {
    app();
    QtDialogs dialogs;
    QString seen;
    whenBoxShows([&](QMessageBox* box) {
        seen = box->windowTitle() + "|" + box->text();
        box->accept();
    });
    dialogs.message("", "first\rsecond", DialogIcon::Warning);
    EXPECT_EQ(seen, QStringLiteral("Korvo '02|first\nsecond"));

    whenBoxShows([](QMessageBox* box) { box->button(QMessageBox::Yes)->click(); });
    EXPECT_EQ(dialogs.ask("Korvo 02", "Go?", DialogIcon::Question, DialogButtons::YesNo), DialogAnswer::Yes);
    whenBoxShows([](QMessageBox* box) { box->reject(); }); // closed without a button
    EXPECT_EQ(dialogs.ask("Korvo 02", "Go?", DialogIcon::Question, DialogButtons::YesNo), DialogAnswer::No);
    whenBoxShows([](QMessageBox* box) { box->reject(); });
    EXPECT_EQ(dialogs.ask("", "Close?", DialogIcon::Warning, DialogButtons::OkCancel), DialogAnswer::Cancel);
}

TEST(QtDialogs, MarkupInATextIsShownAsTyped) {
    app();
    QtDialogs dialogs;
    // An INI value or a file line that happens to look like HTML.
    const std::string text = "Bad value: rampe=<h1>30</h1><!--\rthe rest of the message";
    const QString shown = QStringLiteral("Bad value: rampe=<h1>30</h1><!--\nthe rest of the message");
    auto check = [&](QMessageBox* box) {
        QLabel* label = nullptr;
        for (QLabel* l : box->findChildren<QLabel*>())
            if (l->text() == shown) label = l;
        // Checked without ASSERT: the box must be closed whatever is found.
        EXPECT_TRUE(label && label->textFormat() == Qt::PlainText);
        box->accept();
    };
    whenBoxShows(check);
    dialogs.message("Korvo 02", text, DialogIcon::Error);
    whenBoxShows(check);
    dialogs.ask("Korvo 02", text, DialogIcon::Question, DialogButtons::OkCancel);
}

} // namespace korvo

// Program start: the command line and the guard against a second running copy.
#include "app/app_options.h"
#include "app/single_instance.h"
#include "app_test_support.h"

#include <QDir>
#include <QElapsedTimer>
#include <QLockFile>
#include <QPushButton>
#include <QUuid>
#include <gtest/gtest.h>

using namespace korvo;
using Outcome = SingleInstanceGuard::Outcome;

namespace {

// A key of its own for each test, so that a Korvo running on this machine does not interfere.
QString freshKey() {
    return QStringLiteral("korvo-test-") + QUuid::createUuid().toString(QUuid::Id128).left(12);
}

// Processes events until `done` or a second has passed.
template <typename F> bool waitFor(F done) {
    QElapsedTimer t;
    t.start();
    while (!done() && t.elapsed() < 1000) QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    return done();
}

} // namespace

TEST(SingleInstance, SecondStartActivatesTheFirstUntilTheFirstEnds) {
    korvo::testing::app();
    const QString key = freshKey();
    auto first = std::make_unique<SingleInstanceGuard>(key);
    ASSERT_EQ(first->acquire(), Outcome::First);
    int activations = 0;
    QObject::connect(first.get(), &SingleInstanceGuard::activationRequested, [&] { ++activations; });
    SingleInstanceGuard second(key);
    EXPECT_EQ(second.acquire(), Outcome::OtherActivated);
    EXPECT_FALSE(second.owned());
    EXPECT_TRUE(waitFor([&] { return activations == 1; }));
    first.reset();
    SingleInstanceGuard next(key);
    EXPECT_EQ(next.acquire(), Outcome::First);
}

TEST(SingleInstance, RefusedCloseKeepsTheGuard) {
    korvo::testing::WindowRig rig("[general]\r\nmachine=CLAM\r\ntime=0\r\n");
    const QString key = freshKey();
    SingleInstanceGuard guard(key);
    ASSERT_EQ(guard.acquire(), Outcome::First);
    QObject::connect(&guard, &SingleInstanceGuard::activationRequested, rig.window.get(),
                     &TForm1::bringToFront);
    TForm1& w = *rig.window;
    w.show();
    w.MeasureClick();

    w.startButton()->setText(QStringLiteral("Stop"));
    ASSERT_FALSE(w.close()); // refused: a run is active
    EXPECT_EQ(SingleInstanceGuard(key).acquire(), Outcome::OtherActivated);

    w.startButton()->setText(QStringLiteral("Start"));
    rig.dialogs.answers.push_back(DialogAnswer::Cancel);
    ASSERT_FALSE(w.close()); // refused by the user
    w.showMinimized();
    EXPECT_EQ(SingleInstanceGuard(key).acquire(), Outcome::OtherActivated);
    EXPECT_TRUE(waitFor([&] { return !w.isMinimized(); }));
}

TEST(SingleInstance, HeldLockWithoutAnAnsweringProgramIsReported) {
    korvo::testing::app();
    const QString key = freshKey();
    QLockFile foreign(QDir(SingleInstanceGuard::lockDirectory()).filePath(key + ".lock"));
    ASSERT_TRUE(foreign.tryLock(0));
    SingleInstanceGuard guard(key);
    EXPECT_EQ(guard.acquire(200), Outcome::OtherUnreachable);
}

TEST(CommandLine, CardAndIniOptions) {
    AppOptions o = parseAppOptions({"korvo", "--card", "sim", "--ini", "/tmp/x.ini"});
    EXPECT_TRUE(o.error.empty() && o.card == "sim" && o.iniPath == "/tmp/x.ini");
    EXPECT_TRUE(parseAppOptions({"korvo"}).card.empty()); // the INI decides
    for (const QStringList& args : {QStringList{"korvo", "--card", "isa"}, QStringList{"korvo", "--card"},
                                    QStringList{"korvo", "--bogus"}, QStringList{"korvo", "stray"}})
        EXPECT_FALSE(parseAppOptions(args).error.empty()) << args.join(' ').toStdString();
}

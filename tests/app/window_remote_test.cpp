// The desktop program's station served to remote clients: a client reads what the window shows and
// its writes show there, its Start is the window's Start (the run shows in the window) and the
// window's Stop stops it, its spectrum saved without a dialog. Calls from other threads are served
// by the window's event loop.
#include "app/window_remote.h"
#include "app_test_support.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QLineEdit>
#include <QPushButton>

#include <chrono>
#include <filesystem>
#include <optional>
#include <thread>

using namespace korvo;
using namespace korvo::testing;

TEST(WindowRemote, AClientDrivesTheWindowsRunAndTheWindowsStopEndsIt) {
    WindowRig rig;
    rig.shortScan();
    StationBridge bridge;
    WindowRemote served(*rig.window, rig.station, bridge);
    RemoteStation& remote = served.remote();

    // From another thread, served by the window's event loop: the client reads what the window
    // shows, also a text typed but not yet started with.
    rig.window->scansEdit()->setText("4");
    std::optional<RemoteAnswer> read;
    std::thread client([&] {
        read = bridge.call([&](const RemoteReply& reply) { reply(remote.read("Scans")); }, std::chrono::seconds(10));
    });
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!read && std::chrono::steady_clock::now() < until) QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    client.join();
    ASSERT_TRUE(read && read->ok()) << (read ? read->refusal : "no answer");
    EXPECT_EQ(std::get<std::int32_t>(read->value), 4);

    // A client's write shows in the window's controls.
    ASSERT_TRUE(remote.write("Scans", std::int32_t(20)).ok());
    EXPECT_EQ(rig.window->scansEdit()->text(), "20");

    // The client's Start is the window's: the window shows the run, and its Stop ends it.
    std::optional<QString> captionDuring;
    rig.pump.once([&] { return rig.station.measurement.state.ScanNumber == 2; },
                  [&] {
                      captionDuring = rig.window->startButton()->text();
                      EXPECT_EQ(remote.state(), RemoteState::Running);
                      rig.window->startButton()->click();
                  });
    std::optional<RemoteAnswer> started;
    remote.command("Start", "", [&](RemoteAnswer a) {
        if (!started) started = std::move(a);
    });
    ASSERT_TRUE(started && started->ok()) << (started ? started->refusal : "no answer");
    EXPECT_EQ(captionDuring.value_or("none"), "Stop");
    EXPECT_EQ(rig.window->startButton()->text(), "Start");
    EXPECT_EQ(rig.station.engine.lastEnd(), RunEnd::Stopped);
    EXPECT_EQ(remote.state(), RemoteState::On) << remote.status();
    const std::string saved = rig.station.saver.lastWritten();
    ASSERT_FALSE(saved.empty());
    EXPECT_TRUE(std::filesystem::exists(saved)) << saved;
    for (const auto& shown : rig.dialogs.shown) EXPECT_NE(shown.kind, RecordingDialogs::Shown::Kind::SaveFile);
}

// Calls from other threads reach the station's thread one at a time and in order, a job that pumps
// serves the calls queued meanwhile, and no caller waits past its bound.
#include "remote/station_bridge.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

using namespace korvo;
using namespace std::chrono_literals;

TEST(StationBridge, CallsRunOnTheServingThreadInOrderAndGetTheirAnswers) {
    StationBridge bridge;
    const auto station = std::this_thread::get_id();
    constexpr int clients = 4, calls = 50;
    std::vector<std::vector<int>> seen(clients);
    std::atomic<int> wrongThread{0}, done{0};
    std::vector<std::thread> threads;
    for (int c = 0; c < clients; ++c)
        threads.emplace_back([&, c] {
            for (int i = 0; i < calls; ++i) {
                const RemoteAnswer a = bridge.call(
                    [&, c, i](const RemoteReply& reply) {
                        if (std::this_thread::get_id() != station) ++wrongThread;
                        seen[c].push_back(i); // only the station's thread touches it
                        reply(RemoteAnswer::done(std::int32_t(c * 1000 + i)));
                    },
                    5s);
                EXPECT_EQ(std::get<std::int32_t>(a.value), c * 1000 + i);
            }
            ++done;
        });
    while (done < clients) {
        bridge.waitForWork(10ms);
        bridge.serve();
    }
    for (auto& t : threads) t.join();
    EXPECT_EQ(wrongThread, 0);
    for (int c = 0; c < clients; ++c) {
        ASSERT_EQ(seen[c].size(), std::size_t(calls));
        for (int i = 0; i < calls; ++i) EXPECT_EQ(seen[c][i], i);
    }
}

TEST(StationBridge, AnEarlyAnswerReturnsWhileTheJobPumpsTheNextCalls) {
    // Like a Start: it answers once the run has begun and then measures, serving other calls in its
    // waits, until one of them stops it.
    StationBridge bridge;
    std::atomic<bool> stop{false}, firstAnswered{false};
    RemoteAnswer first, second;
    std::thread client([&] {
        first = bridge.call(
            [&](const RemoteReply& reply) {
                reply(RemoteAnswer::done(std::string("begun")));
                while (!stop) {
                    bridge.serve();
                    std::this_thread::sleep_for(1ms);
                }
                reply(RemoteAnswer::done(std::string("too late")));
            },
            5s);
        firstAnswered = true;
        second = bridge.call(
            [&](const RemoteReply& reply) {
                stop = true;
                reply(RemoteAnswer::done(std::string("stopped")));
            },
            5s);
    });
    bridge.waitForWork(5s);
    bridge.serve(); // returns when the first job (and the second inside it) are done
    client.join();
    EXPECT_TRUE(firstAnswered);
    EXPECT_EQ(std::get<std::string>(first.value), "begun");
    EXPECT_EQ(std::get<std::string>(second.value), "stopped");
}

TEST(StationBridge, NoCallerWaitsPastItsBoundAndALateJobNeverRuns) {
    StationBridge bridge;
    bool ran = false;
    const auto before = std::chrono::steady_clock::now();
    const RemoteAnswer a = bridge.call([&](const RemoteReply& reply) { ran = true; }, 50ms);
    EXPECT_GE(std::chrono::steady_clock::now() - before, 50ms);
    EXPECT_NE(a.refusal.find("did not answer within 50 ms"), std::string::npos) << a.refusal;
    bridge.serve();
    EXPECT_FALSE(ran) << "a request the caller gave up on must not take effect later";

    // A job that never answers is answered for it when it returns.
    std::thread client([&] {
        const RemoteAnswer mute = bridge.call([](const RemoteReply&) {}, 5s);
        EXPECT_FALSE(mute.ok());
    });
    bridge.waitForWork(5s);
    bridge.serve();
    client.join();

    // Closed: queued calls are refused unrun, later ones at once.
    std::atomic<bool> queued{false};
    RemoteAnswer dropped;
    std::thread waiting([&] {
        bridge.wake = [&] { queued = true; };
        dropped = bridge.call([&](const RemoteReply&) { ran = true; }, 5s);
    });
    while (!queued) std::this_thread::sleep_for(1ms);
    bridge.close("Korvo is shutting down.");
    waiting.join();
    EXPECT_EQ(dropped.refusal, "Korvo is shutting down.");
    EXPECT_EQ(bridge.call([&](const RemoteReply&) { ran = true; }, 5s).refusal, "Korvo is shutting down.");
    bridge.serve();
    EXPECT_FALSE(ran);
}

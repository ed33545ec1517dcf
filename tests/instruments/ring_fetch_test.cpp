#include "instruments/local_servers.h"
#include "instruments/ring_current/ring_fetch.h"
#include "instruments/ring_current/ring_poll.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <random>

namespace korvo {
namespace {

using namespace std::chrono_literals;
using testing::ClosedPort;
using testing::LocalHttpServer;
using testing::LocalListener;
using End = RingFetchReport::End;

// Limits short enough for tests; the status page's own are seconds.
RingFetchLimits quick() {
    RingFetchLimits l;
    l.reach = 300ms;
    l.stall = 300ms;
    l.total = 10s;
    l.userProxy = false; // only ever 127.0.0.1, whatever the environment says
    return l;
}

std::string blockWith(const std::string& text, std::size_t at = 100) {
    std::string block(RingPageScan::kBlockBytes, '-');
    block.replace(at, text.size(), text);
    return block;
}

struct Reading {
    bool found = false;
    RingFetchReport report;
    InstrumentValues values;
    RingDisplay display;
    ScriptedPump pump;
    std::chrono::milliseconds took{};
};

// RingReadOnce against `url`, starting from an earlier reading of 180 mA.
void readOnce(Reading& r, const std::string& url, const RingFetchLimits& limits = quick(),
              const RingMarkers& markers = {}) {
    r.values.RingCurrent = 180.0;
    r.display.mainLabel = "180.0 mA";
    const auto start = std::chrono::steady_clock::now();
    r.found = RingReadOnce(url, markers, r.display, r.values, r.pump, limits, &r.report);
    r.took = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start);
}

TEST(RingFetch, ReadsTheCurrentFromTheStatusPage) {
    LocalHttpServer server(LocalHttpServer::page("<html><td>Beam Current: 250.3 mA</td></html>"));
    Reading r;
    readOnce(r, server.url("/status"));
    EXPECT_TRUE(r.found) << r.report.error;
    EXPECT_EQ(r.report.end, End::Complete);
    EXPECT_EQ(r.values.RingCurrent, 250.3);
    EXPECT_EQ(r.display.currentLabel, "250.3 mA");
    EXPECT_EQ(r.display.mainLabel, "250.3 mA");
    EXPECT_NE(server.lastRequest().find("GET /status HTTP/1.1"), std::string::npos);
    // A cached page would show an old current as a new one.
    EXPECT_NE(server.lastRequest().find("Cache-Control: no-cache"), std::string::npos);
    EXPECT_GE(r.pump.calls(), 1);
}

TEST(RingFetch, PagesWithoutAValueKeepTheLastReading) {
    std::string split = blockWith("", 0) + blockWith("", 0);
    split.replace(RingPageScan::kBlockBytes - 8, 22, "Beam Current: 250.3 mA");
    struct Case {
        const char* what;
        std::string body;
        int status;
        const char* mainLabel;
        End end;
    } cases[] = {
        {"no markers", "<html>Ring: 250.3 mA</html>", 200, "180.0 mA", End::Complete},
        {"no number", "Beam Current ??? mA", 200, "??? mA", End::Complete},
        {"number split across two blocks", split, 200, "180.0 mA", End::Complete},
        {"an error page is no status page", "Beam Current: 250.3 mA", 404, "180.0 mA", End::HttpError},
        {"empty page", "", 200, "180.0 mA", End::Complete},
    };
    for (const Case& c : cases) {
        LocalHttpServer server(LocalHttpServer::page(c.body, c.status));
        Reading r;
        readOnce(r, server.url());
        EXPECT_FALSE(r.found) << c.what;
        EXPECT_EQ(r.report.end, c.end) << c.what;
        EXPECT_EQ(r.values.RingCurrent, 180.0) << c.what;
        EXPECT_EQ(r.display.currentLabel, "No Data!") << c.what;
        EXPECT_EQ(r.display.mainLabel, c.mainLabel) << c.what;
    }
}

TEST(RingFetch, TheLastBlockWithAValueWins) {
    LocalHttpServer server(LocalHttpServer::page(blockWith("Beam Current: 100.0 mA") + blockWith("none") +
                                                 "Beam Current: 180.5 mA"));
    Reading r;
    readOnce(r, server.url());
    EXPECT_TRUE(r.found);
    EXPECT_EQ(r.values.RingCurrent, 180.5);
}

TEST(RingFetch, HugeAndEndlessPagesAreCutOff) {
    const RingFetchLimits limits = quick();
    {
        std::string page(20u << 20, 'x');
        page.replace(1u << 20, 22, "Beam Current: 111.1 mA");
        page.replace(19u << 20, 22, "Beam Current: 222.2 mA"); // beyond the cut: never read
        LocalHttpServer server(LocalHttpServer::page(std::move(page)));
        Reading r;
        readOnce(r, server.url(), limits);
        EXPECT_EQ(r.report.end, End::Cut);
        EXPECT_EQ(r.report.bytes, limits.maxPageBytes);
        EXPECT_TRUE(r.found);
        EXPECT_EQ(r.values.RingCurrent, 111.1);
    }
    {
        std::atomic<std::size_t> sent{0};
        LocalHttpServer server(LocalHttpServer::endless(&sent));
        Reading r;
        readOnce(r, server.url(), limits);
        EXPECT_EQ(r.report.end, End::Cut);
        EXPECT_EQ(r.report.bytes, limits.maxPageBytes);
        EXPECT_FALSE(r.found);
        EXPECT_GE(sent.load(), limits.maxPageBytes);
    }
}

TEST(RingFetch, BinaryGarbageIsSearchedLikeText) {
    std::mt19937 random(20240305);
    std::string garbage(100000, '\0');
    for (char& c : garbage) c = static_cast<char>(random() & 0xFF);
    ASSERT_EQ(garbage.find("Beam Current"), std::string::npos);
    {
        LocalHttpServer server(LocalHttpServer::page(garbage));
        Reading r;
        readOnce(r, server.url());
        EXPECT_EQ(r.report.end, End::Complete);
        EXPECT_EQ(r.report.bytes, garbage.size());
        EXPECT_FALSE(r.found);
    }
    garbage.replace(25000, 21, "Beam Current: 42.0 mA");
    LocalHttpServer server(LocalHttpServer::page(garbage));
    Reading r;
    readOnce(r, server.url());
    EXPECT_TRUE(r.found);
    EXPECT_EQ(r.values.RingCurrent, 42.0);
}

TEST(RingFetch, ServersThatDoNotAnswerGiveNoDataInTimeWhileTheWindowIsServed) {
    {
        LocalHttpServer server(LocalHttpServer::silent());
        Reading r;
        readOnce(r, server.url());
        EXPECT_FALSE(r.found);
        EXPECT_EQ(r.report.end, End::Unreachable);
        EXPECT_EQ(r.display.currentLabel, "No Data!");
        EXPECT_EQ(r.values.RingCurrent, 180.0);
        EXPECT_GE(r.took, 300ms);
        EXPECT_LT(r.took, 3000ms);
        // The pump runs every 10 ms while the fetch waits; a loaded machine may stretch that.
        EXPECT_GE(r.pump.calls(), r.took.count() / 50);
    }
    {
        ClosedPort closed;
        Reading r;
        readOnce(r, "http://127.0.0.1:" + std::to_string(closed.port()) + "/");
        EXPECT_FALSE(r.found);
        EXPECT_EQ(r.report.end, End::Unreachable);
        EXPECT_LT(r.took, 1000ms);
    }
    {
        // The page starts, then stops coming: what arrived is read, the wait ends.
        LocalHttpServer server([](int fd, LocalListener& self) {
            self.sendAll(fd, "HTTP/1.1 200 OK\r\nContent-Length: 1000000\r\n\r\n" + blockWith("Beam Current: 77.7 mA"));
            self.holdUntilStopped();
        });
        Reading r;
        readOnce(r, server.url());
        EXPECT_EQ(r.report.end, End::Stalled);
        EXPECT_TRUE(r.found);
        EXPECT_EQ(r.values.RingCurrent, 77.7);
        EXPECT_LT(r.took, 3000ms);
        EXPECT_GE(r.pump.calls(), r.took.count() / 50);
    }
}

TEST(RingFetch, OnlyWebAddressesAreFetched) {
    // The address box takes any text; a file or another protocol is never read.
    testing::TempDir dir;
    std::ofstream(dir.file("page.html")) << "Beam Current: 250.3 mA";
    for (const std::string& address : {"file://" + dir.file("page.html"), std::string("ftp://127.0.0.1:1/"),
                                      std::string("no address at all")}) {
        Reading r;
        readOnce(r, address);
        EXPECT_FALSE(r.found) << address;
        EXPECT_EQ(r.report.end, End::Failed) << address;
        EXPECT_EQ(r.values.RingCurrent, 180.0) << address;
    }
}

TEST(RingFetch, ThePollStartsNoSecondFetchFromTheWindowsEvents) {
    LocalHttpServer server(LocalHttpServer::silent());
    InstrumentValues values;
    ScriptedPump pump;
    RingPoll poll(ringPageReader(values, pump, quick()));
    poll.address = server.url();
    std::vector<std::string> shown;
    int nestedReads = 0;
    pump.always([&] {
        shown.push_back(poll.display().currentLabel);
        EXPECT_TRUE(poll.busy());
        poll.tick(); // the timer fires while the page is awaited
        nestedReads += poll.readOnce(); // and "Read Single Value" is pressed
    });
    EXPECT_FALSE(poll.setEnabled(true));
    EXPECT_EQ(server.connections(), 1);
    EXPECT_EQ(nestedReads, 0);
    EXPECT_FALSE(poll.busy());
    ASSERT_FALSE(shown.empty());
    EXPECT_EQ(shown.front(), "------- mA");
    EXPECT_EQ(poll.display().currentLabel, "No Data!");
    EXPECT_EQ(poll.intervalMs(), 30000);
}

} // namespace
} // namespace korvo

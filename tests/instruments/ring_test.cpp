// The ring current: the status page's text, the poll, and the fetch against servers on 127.0.0.1.
#include "instruments/local_servers.h"
#include "instruments/ring_current/ring_fetch.h"
#include "instruments/ring_current/ring_page.h"
#include "instruments/ring_current/ring_poll.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <random>
#include <string>
#include <vector>

namespace korvo {
namespace {

using Kind = RingBlockReading::Kind;

struct BlockCase {
    const char* what;
    std::string block;
    RingMarkers markers;
    Kind kind;
    double value = 0.0;
};

TEST(RingPage, BlocksGiveTheNumberBetweenTheMarkers) {
    const RingMarkers std;
    const BlockCase cases[] = {
        {"the status page's line", "<td>... Beam Current: 250.3 mA ...</td>", std, Kind::Value, 250.3},
        {"no number", "Beam Current ??? mA", std, Kind::NotANumber},
        {"end marker only before the start marker", "250.3 mA, Beam Current: -", std, Kind::NoMarkers},
        {"the end marker is searched from the start marker on", "mA | Beam Current: 251.5 mA", std, Kind::Value,
         251.5},
        {"no start marker", "Ring: 250.3 mA", std, Kind::NoMarkers},
        {"no end marker", "Beam Current: 250.3", std, Kind::NoMarkers},
        {"the first start marker counts", "Beam Current: 250.3 mA Beam Current: 99 mA", std, Kind::Value, 250.3},
        // Twelve characters are skipped from the start marker's first character, whatever its length.
        {"short marker, skip lands in the number", "Strom:  123.4 mA", {"Strom", "mA"}, Kind::Value, 4.0},
        {"short marker, page padded for the skip", "I=          99.5 mA", {"I=", "mA"}, Kind::Value, 99.5},
        {"skip swallows the end marker", "Beam 5 mA", {"Beam", "mA"}, Kind::NotANumber},
        {"long marker, its tail is dropped", "Storage Ring Current: 180.0 mA", {"Storage Ring Current", "mA"},
         Kind::Value, 180.0},
        {"long marker, the digit in its tail is read", "Beam Current L2: 180.0 mA", {"Beam Current L2", "mA"},
         Kind::NotANumber},
        {"empty once trimmed", "Beam Current:      mA", std, Kind::NotANumber},
        {"the end marker right after the start marker", "Beam CurrentmA", std, Kind::NotANumber},
        {"a point alone", "Beam Current: . mA", std, Kind::NotANumber},
        {"comma separator", "Beam Current: 250,3 mA", std, Kind::NotANumber},
        {"exponent", "Beam Current: 2.5E2 mA", std, Kind::Value, 250.0},
        {"the sign is not a number's first character", "Beam Current: -12.5 mA", std, Kind::Value, 12.5},
        {"line breaks around the number", "Beam Current:\r\n 250.3\r\n mA", std, Kind::Value, 250.3},
        {"end marker that begins the start marker", "mA value 5 mA", {"mA value", "mA"}, Kind::NoMarkers},
        {"empty start marker", "Beam Current: 250.3 mA", {"", "mA"}, Kind::NoMarkers},
        {"empty end marker", "Beam Current: 250.3 mA", {"Beam Current", ""}, Kind::NoMarkers},
        {"empty block", "", std, Kind::NoMarkers},
        // Only 1000 characters after the skip are looked at: a number behind a long filler is cut off.
        {"number within the bound", "Beam Current" + std::string(988, ' ') + "42 mA", std, Kind::Value, 42.0},
        {"number beyond the bound", "Beam Current" + std::string(1000, ' ') + "42 mA", std, Kind::NotANumber},
        {"bytes of every kind around it",
         std::string("\0\xff\x01", 3) + "Beam Current:" + std::string(1, '\0') + " 7.5 mA\xfe", std, Kind::Value,
         7.5},
    };
    for (const BlockCase& c : cases) {
        const RingBlockReading r = parseRingBlock(c.block, c.markers);
        EXPECT_EQ(r.kind, c.kind) << c.what;
        if (c.kind == Kind::Value) {
            EXPECT_DOUBLE_EQ(r.value, c.value) << c.what;
        }
    }
}

TEST(RingPage, ReadingsShowOneDecimalAndTheUnit) {
    EXPECT_EQ(formatRingCurrent(250.0), "250.0 mA");
    EXPECT_EQ(formatRingCurrent(99.96), "100.0 mA");
}

std::string blockWith(const std::string& text, std::size_t at = 100) {
    std::string block(RingPageScan::kBlockBytes, '-');
    block.replace(at, text.size(), text);
    return block;
}

TEST(RingPageScan, EachBlockIsSearchedOnItsOwnAndTheLastOneWins) {
    {
        // The markers straddle the boundary of the first two blocks: neither block holds them.
        std::string page = blockWith("", 0) + blockWith("", 0);
        page.replace(RingPageScan::kBlockBytes - 8, 22, "Beam Current: 250.3 mA");
        RingPageScan scan({});
        scan.feed(page);
        scan.finish();
        EXPECT_FALSE(scan.value());
        EXPECT_FALSE(scan.mainLabel());
    }
    {
        RingPageScan scan({});
        scan.feed(blockWith("Beam Current: 100.0 mA") + blockWith("nothing") + blockWith("Beam Current: 180.5 mA"));
        scan.finish();
        EXPECT_EQ(scan.value(), 180.5);
        EXPECT_EQ(scan.mainLabel(), "180.5 mA");
    }
    {
        // A later block with the markers but no number leaves the value, and the main label says so.
        RingPageScan scan({});
        scan.feed(blockWith("Beam Current: 250.3 mA") + "Beam Current ??? mA");
        scan.finish();
        EXPECT_EQ(scan.value(), 250.3);
        EXPECT_EQ(scan.mainLabel(), kRingUnknown);
    }
}

TEST(RingPageScan, BlockBoundariesDoNotDependOnHowThePageArrives) {
    // The network hands the page over in pieces of any size; blocks are cut from the page itself.
    std::string page = blockWith("Beam Current: 1.0 mA") + blockWith("Beam Current: 2.0 mA");
    page.append(RingPageScan::kBlockBytes - 10, '-');
    page += "Beam Current: 3.0 mA"; // straddles the third boundary: never seen
    page += "Beam Current: 4.0 mA"; // inside the last, short block: seen at finish()
    for (std::size_t piece : {std::size_t(1), std::size_t(7777), std::size_t(10000), std::size_t(16384), page.size()}) {
        RingPageScan scan({});
        for (std::size_t at = 0; at < page.size(); at += piece) scan.feed(std::string_view(page).substr(at, piece));
        EXPECT_EQ(scan.bytes(), page.size());
        EXPECT_EQ(scan.value(), 2.0) << "the short block waits for the end of the page";
        scan.finish();
        EXPECT_EQ(scan.value(), 4.0) << piece;
    }
}

// A reader that answers from a script and records what the poll asked and showed meanwhile.
struct ScriptedReader {
    explicit ScriptedReader(std::vector<bool> a) : answers(std::move(a)) {}
    std::vector<bool> answers; // one per read; a value of 250.3 when true
    std::vector<std::string> addresses;
    std::vector<std::string> labelsDuringRead;

    RingPoll::Reader reader() {
        return [this](const std::string& address, const RingMarkers&, RingDisplay& display) {
            addresses.push_back(address);
            labelsDuringRead.push_back(display.currentLabel);
            const bool found = addresses.size() <= answers.size() && answers[addresses.size() - 1];
            if (found) display.currentLabel = display.mainLabel = formatRingCurrent(250.3);
            return found;
        };
    }
};

TEST(RingPoll, EnablingArmsTheTimerWithTheRefreshTimeAndReadsAtOnce) {
    ScriptedReader r({true, false, true});
    RingPoll poll(r.reader());
    poll.address = "http://127.0.0.1:1/status";
    EXPECT_FALSE(poll.timerEnabled() || poll.display().mainLabelVisible);
    poll.tick(); // a timer that fires while the poll is off reads nothing
    EXPECT_TRUE(r.addresses.empty());

    EXPECT_FALSE(poll.setRefreshSeconds(0));
    EXPECT_TRUE(poll.setRefreshSeconds(45));
    EXPECT_TRUE(poll.setEnabled(true));
    EXPECT_TRUE(poll.timerEnabled());
    EXPECT_EQ(poll.intervalMs(), 45000);
    EXPECT_TRUE(poll.display().mainLabelVisible);
    ASSERT_EQ(r.addresses.size(), 1u);
    EXPECT_EQ(r.addresses[0], "http://127.0.0.1:1/status");
    EXPECT_EQ(poll.display().currentLabel, "250.3 mA");

    poll.tick(); // the second read finds nothing
    ASSERT_EQ(r.addresses.size(), 2u);
    EXPECT_EQ(r.labelsDuringRead[1], "------- mA");
    EXPECT_EQ(poll.display().currentLabel, "No Data!");
    EXPECT_EQ(poll.display().mainLabel, "250.3 mA") << "the main window keeps the last reading";

    poll.setEnabled(false);
    EXPECT_FALSE(poll.timerEnabled());
    EXPECT_FALSE(poll.display().mainLabelVisible);
    poll.tick();
    EXPECT_EQ(r.addresses.size(), 2u);
    EXPECT_TRUE(poll.readOnce()); // "Read Single Value" works with the poll off
    EXPECT_EQ(r.addresses.size(), 3u);
}

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
    struct Case {
        const char* what;
        std::string body;
        int status;
        const char* mainLabel;
        End end;
    } cases[] = {
        {"no markers", "<html>Ring: 250.3 mA</html>", 200, "180.0 mA", End::Complete},
        {"no number", "Beam Current ??? mA", 200, "??? mA", End::Complete},
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
    garbage.replace(25000, 21, "Beam Current: 42.0 mA");
    LocalHttpServer server(LocalHttpServer::page(garbage));
    Reading r;
    readOnce(r, server.url());
    EXPECT_EQ(r.report.end, End::Complete);
    EXPECT_EQ(r.report.bytes, garbage.size()); // no byte of it ends the page early
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

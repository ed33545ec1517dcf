// The ring current: the status page's text, the poll, and the fetch against servers on 127.0.0.1.
#include "instruments/local_servers.h"
#include "instruments/ring_current/ring_fetch.h"
#include "instruments/ring_current/ring_page.h"
#include "instruments/ring_current/ring_poll.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <optional>
#include <random>
#include <string>
#include <thread>
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
        // The number is the one that follows the start marker, whatever the marker's length.
        {"short marker", "Ringstrom: 123.4 mA", {"Ringstrom:", "mA"}, Kind::Value, 123.4},
        {"short marker right before the number", "Beam 5 mA", {"Beam", "mA"}, Kind::Value, 5.0},
        {"long marker", "Storage Ring Current: 180.0 mA", {"Storage Ring Current", "mA"}, Kind::Value, 180.0},
        {"a digit inside the marker is not read", "Beam Current L2: 180.0 mA", {"Beam Current L2", "mA"},
         Kind::Value, 180.0},
        {"a negative reading keeps its sign", "Ringstrom: -5 mA", {"Ringstrom:", "mA"}, Kind::Value, -5.0},
        {"a sign before a point", "Beam Current: -.5 mA", std, Kind::Value, -0.5},
        {"a dash apart from the number is no sign", "Beam Current - 250.3 mA", std, Kind::Value, 250.3},
        {"empty once trimmed", "Beam Current:      mA", std, Kind::NotANumber},
        {"the end marker right after the start marker", "Beam CurrentmA", std, Kind::NotANumber},
        {"a point alone", "Beam Current: . mA", std, Kind::NotANumber},
        {"comma separator", "Beam Current: 250,3 mA", std, Kind::NotANumber},
        {"exponent", "Beam Current: 2.5E2 mA", std, Kind::Value, 250.0},
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

// Reads that end after a given number of steps with a given page, recording what the poll asked.
struct ScriptedReads {
    struct Read {
        int steps;                     // step() calls until the read ends
        std::optional<double> current; // what the page gave
    };
    explicit ScriptedReads(std::vector<Read> r) : reads(std::move(r)) {}
    std::vector<Read> reads;
    std::vector<std::string> addresses;

    struct Job final : RingFetchJob {
        Read read;
        RingFetchReport r;
        bool step() override { return --read.steps <= 0; }
        const RingFetchReport& report() const override { return r; }
    };
    RingFetchStarter starter() {
        return [this](const std::string& address, const RingMarkers&) -> std::unique_ptr<RingFetchJob> {
            addresses.push_back(address);
            auto job = std::make_unique<Job>();
            job->read = addresses.size() <= reads.size() ? reads[addresses.size() - 1] : Read{1, {}};
            job->r.end = job->read.current ? RingFetchReport::End::Complete : RingFetchReport::End::Unreachable;
            job->r.error = "no answer within 5000 ms";
            job->r.current = job->read.current;
            if (job->read.current) job->r.mainLabel = formatRingCurrent(*job->read.current);
            return job;
        };
    }
};

void stepUntilDone(RingPoll& poll) {
    for (int i = 0; i < 100 && poll.busy(); ++i) poll.step();
}

TEST(RingPoll, ReadsGoOnBesideTheProgramAndDateTheirValues) {
    ScriptedReads reads({{3, 250.3}, {2, std::nullopt}, {1, 180.5}});
    VirtualClock clock;
    InstrumentValues values;
    RingPoll poll(reads.starter(), clock, values);
    int changes = 0;
    poll.displayChanged = [&] { ++changes; };
    poll.address = "http://127.0.0.1:1/status";
    EXPECT_FALSE(poll.timerEnabled() || poll.display().mainLabelVisible);
    poll.tick(); // a timer that fires while the poll is off reads nothing
    EXPECT_TRUE(reads.addresses.empty());
    EXPECT_EQ(beamInformation(values, 0).kind, BeamInformation::Kind::NotPolled);

    EXPECT_FALSE(poll.setRefreshSeconds(0));
    EXPECT_TRUE(poll.setRefreshSeconds(45));
    poll.setEnabled(true);
    EXPECT_TRUE(poll.timerEnabled());
    EXPECT_EQ(poll.intervalMs(), 45000);
    EXPECT_TRUE(poll.display().mainLabelVisible);
    // The read has started and the call is back: the value comes with the steps.
    ASSERT_EQ(reads.addresses.size(), 1u);
    EXPECT_EQ(reads.addresses[0], "http://127.0.0.1:1/status");
    EXPECT_TRUE(poll.busy());
    EXPECT_EQ(poll.display().currentLabel, "------- mA");
    EXPECT_EQ(beamInformation(values, 0).kind, BeamInformation::Kind::Awaited);
    poll.tick(); // the timer finds a read in progress: no second one
    EXPECT_FALSE(poll.readOnce());
    EXPECT_EQ(reads.addresses.size(), 1u);
    clock.advanceMs(1500);
    poll.step();
    poll.step();
    EXPECT_TRUE(poll.busy());
    EXPECT_EQ(values.RingCurrent, -1.0);
    const int before = changes;
    poll.step();
    EXPECT_FALSE(poll.busy());
    EXPECT_EQ(changes, before + 1);
    EXPECT_EQ(poll.display().currentLabel, "250.3 mA");
    EXPECT_EQ(poll.display().mainLabel, "250.3 mA");
    EXPECT_EQ(values.RingCurrent, 250.3);
    EXPECT_EQ(values.ringPoll.readAtMs, 1500);
    // A reading is good for the refresh time plus the longest a read may take and a margin.
    EXPECT_EQ(values.ringPoll.staleAfterMs, 45000 + RingPoll::kStaleMarginMs);
    EXPECT_EQ(beamInformation(values, 1500 + 80000).kind, BeamInformation::Kind::Current);
    const BeamInformation stale = beamInformation(values, 1500 + 80001);
    EXPECT_EQ(stale.kind, BeamInformation::Kind::Stale);
    EXPECT_EQ(stale.why, "the last ring current was read 80 s ago");

    poll.tick(); // the second read finds nothing
    stepUntilDone(poll);
    EXPECT_EQ(poll.display().currentLabel, "No Data!");
    EXPECT_EQ(poll.display().mainLabel, "250.3 mA") << "the main window keeps the last reading";
    EXPECT_EQ(values.RingCurrent, 250.3);
    EXPECT_EQ(values.ringPoll.readAtMs, 1500);
    const BeamInformation failed = beamInformation(values, 1600);
    EXPECT_EQ(failed.kind, BeamInformation::Kind::Unreadable) << "a failed read tells nothing, however recent the last";
    EXPECT_EQ(failed.why, "the ring current could not be read: no answer from http://127.0.0.1:1/status "
                          "(no answer within 5000 ms)");

    poll.setEnabled(false);
    EXPECT_FALSE(poll.timerEnabled());
    EXPECT_FALSE(poll.display().mainLabelVisible);
    EXPECT_EQ(beamInformation(values, 1600).kind, BeamInformation::Kind::NotPolled);
    poll.tick();
    EXPECT_EQ(reads.addresses.size(), 2u);
    EXPECT_TRUE(poll.readOnce()); // "Read Single Value" works with the poll off
    stepUntilDone(poll);
    EXPECT_EQ(values.RingCurrent, 180.5);
    EXPECT_EQ(reads.addresses.size(), 3u);
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

    // Whatever the server answers is searched, an error page too.
    LocalHttpServer notFound(LocalHttpServer::page("<h1>Not Found</h1> Beam Current: 99.5 mA", 404));
    Reading e;
    readOnce(e, notFound.url());
    EXPECT_TRUE(e.found) << e.report.error;
    EXPECT_EQ(e.report.httpStatus, 404);
    EXPECT_EQ(e.values.RingCurrent, 99.5);
}

TEST(RingFetch, PagesWithoutAValueKeepTheLastReading) {
    struct Case {
        const char* what;
        std::string body;
        int status;
        const char* mainLabel;
        std::string why;
    } cases[] = {
        {"no markers", "<html>Ring: 250.3 mA</html>", 200, "180.0 mA",
         "the page holds no number between \"Beam Current\" and \"mA\""},
        {"no number", "Beam Current ??? mA", 200, "??? mA", "the text between \"Beam Current\" and \"mA\" is not a number"},
        {"an error page without the markers", "<h1>Service Unavailable</h1>", 503, "180.0 mA",
         "the server answered with status 503 and the page holds no number between \"Beam Current\" and \"mA\""},
        {"empty page", "", 200, "180.0 mA", "the page holds no number between \"Beam Current\" and \"mA\""},
    };
    for (const Case& c : cases) {
        LocalHttpServer server(LocalHttpServer::page(c.body, c.status));
        Reading r;
        readOnce(r, server.url());
        EXPECT_FALSE(r.found) << c.what;
        EXPECT_EQ(r.report.end, End::Complete) << c.what;
        EXPECT_EQ(whyNoRingValue(r.report, server.url(), {}), c.why);
        EXPECT_EQ(r.values.RingCurrent, 180.0) << c.what;
        EXPECT_EQ(r.display.currentLabel, "No Data!") << c.what;
        EXPECT_EQ(r.display.mainLabel, c.mainLabel) << c.what;
    }
}

TEST(RingFetch, HugeAndEndlessPagesAndHeadersAreCutOff) {
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
    // A header of 10 MB in one line (libcurl's own limit) or in many lines (ours) is said to be one.
    for (const bool oneLine : {true, false}) {
        LocalHttpServer server(LocalHttpServer::hugeHeader(std::size_t(10) << 20, oneLine));
        Reading r;
        readOnce(r, server.url(), limits);
        EXPECT_FALSE(r.found) << oneLine;
        EXPECT_EQ(r.report.end, End::HeaderTooLarge) << oneLine;
        EXPECT_EQ(whyNoRingValue(r.report, server.url(), {}), "the page's header is larger than 65536 bytes");
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

TEST(RingFetch, ThePollNeverWaitsForTheServer) {
    // A server that never answers, and one that sends a byte every 10 ms: each step of the read
    // returns at once, the read ends at its limit, and the timer starts no second read meanwhile.
    RingFetchLimits limits = quick();
    limits.total = 1s;
    struct Case {
        LocalHttpServer::Respond respond;
        End end;
        const char* why;
    } cases[] = {
        {LocalHttpServer::silent(), End::Unreachable, "no answer within 300 ms"},
        {LocalHttpServer::dribble("HTTP/1.1 200 OK\r\n\r\n" + std::string(1000, 'x'), 10ms), End::Stalled,
         "the page took longer than 1000 ms"},
    };
    for (Case& c : cases) {
        LocalHttpServer server(c.respond);
        VirtualClock clock;
        InstrumentValues values;
        RingPoll poll(ringPageFetcher(limits), clock, values);
        poll.address = server.url();
        poll.setEnabled(true);
        int steps = 0;
        const auto start = std::chrono::steady_clock::now();
        while (poll.busy() && std::chrono::steady_clock::now() - start < 10s) {
            poll.tick(); // the refresh timer, due again while the read goes on
            poll.step();
            ++steps;
            std::this_thread::sleep_for(2ms);
        }
        EXPECT_GE(steps, 2) << c.why;
        EXPECT_FALSE(poll.busy()) << c.why;
        EXPECT_EQ(poll.lastReport().end, c.end) << c.why;
        EXPECT_EQ(poll.lastReport().error, c.why);
        EXPECT_EQ(poll.display().currentLabel, "No Data!");
        EXPECT_EQ(beamInformation(values, clock.nowMs()).kind, BeamInformation::Kind::Unreadable);
        EXPECT_EQ(server.connections(), 1);
    }
}

} // namespace
} // namespace korvo

#pragma once
// Reading the ring current from the storage ring's status page over HTTP(S). The program is
// single-threaded, and a measurement must never wait for a web server: a read is a RingFetchJob that
// the poll moves on in small steps from a timer, each step doing only what the network has ready
// (libcurl's multi interface; its resolver runs names in a thread of its own, never ours). Only the
// command line's one-off read waits for the page, with every wait bounded.
#include "common/event_pump.h"
#include "instruments/instrument_context.h"
#include "instruments/ring_current/ring_page.h"

#include <chrono>
#include <cstddef>
#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace korvo {

struct RingFetchLimits {
    // The server must accept the connection and start its answer within this time; a status page
    // that takes longer is treated as unreachable, as it always was.
    std::chrono::milliseconds reach{5000};
    // Once the answer has started: the longest pause between two pieces of the page, and the whole
    // read. The page is a few kilobytes; a server that trickles or stalls must not hold the poll.
    std::chrono::milliseconds stall{5000};
    std::chrono::milliseconds total{30000};
    // More of a page is never read: a huge or endless page is cut off here and ends the fetch.
    std::size_t maxPageBytes = std::size_t(4) << 20;
    // The answer's header lines together; libcurl itself refuses a single line above 100 KB.
    std::size_t maxHeaderBytes = std::size_t(64) << 10;
    // The event pump is called at least this often while the one-off read waits.
    std::chrono::milliseconds pumpEvery{10};
    // Proxies as configured for the user (http_proxy, https_proxy, no_proxy); false goes direct.
    bool userProxy = true;
};

// How a fetch ended, and what the page gave.
struct RingFetchReport {
    enum class End {
        Complete,       // the whole page was read (whatever its status: an error page is searched too)
        Unreachable,    // no connection or no answer within the reach limit
        HeaderTooLarge, // the answer's header passed maxHeaderBytes: no page was read
        Cut,            // the page reached maxPageBytes; what came before was read
        Stalled,        // the page stopped coming (stall or total limit); what came before was read
        Failed,         // the transfer broke off or could not be set up; see `error`
    };
    End end = End::Failed;
    long httpStatus = 0;
    std::size_t bytes = 0;
    std::string error; // what ended the transfer early, in words
    // The last value the page gave, and the last text the main window's label received from it
    // (a value or "??? mA"); none when no block held both markers.
    std::optional<double> current;
    std::optional<std::string> mainLabel;
    bool notANumber() const { return mainLabel == std::optional<std::string>(kRingUnknown); }
};

// Why a read gave no value, in words, for messages after "No Data!: " (or "??? mA: ").
std::string whyNoRingValue(const RingFetchReport& report, const std::string& address, const RingMarkers& markers);

// One read of the page, moved on by step() until it has ended.
class RingFetchJob {
public:
    virtual ~RingFetchJob() = default;
    // Does what the network has ready without waiting for it and checks the limits; true once the
    // read has ended, after which report() tells how.
    virtual bool step() = 0;
    virtual const RingFetchReport& report() const = 0;
};

// Starts reading the page at `address`, searched block by block (RingPageScan). Nothing is sent
// before the first step().
std::unique_ptr<RingFetchJob> startRingFetch(const std::string& address, const RingMarkers& markers,
                                             const RingFetchLimits& limits = {});

// What the poll uses to start its reads.
using RingFetchStarter = std::function<std::unique_ptr<RingFetchJob>(const std::string&, const RingMarkers&)>;
RingFetchStarter ringPageFetcher(RingFetchLimits limits = {});

// RingFetch, the one-off read of the command line: waits for the page (pumping `pump`) within the
// limits. A value goes to values.RingCurrent and both labels; a block whose markers hold no number
// sets the main window's label to "??? mA". Returns true when a value was found.
bool RingFetch(const std::string& address, const RingMarkers& markers, RingDisplay& display,
               InstrumentValues& values, EventPump& pump, const RingFetchLimits& limits = {},
               RingFetchReport* report = nullptr);

// RingReadOnce: "------- mA", RingFetch, and "No Data!" when it found no value.
bool RingReadOnce(const std::string& address, const RingMarkers& markers, RingDisplay& display,
                  InstrumentValues& values, EventPump& pump, const RingFetchLimits& limits = {},
                  RingFetchReport* report = nullptr);

} // namespace korvo

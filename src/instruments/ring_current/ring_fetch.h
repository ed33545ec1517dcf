#pragma once
// Reading the ring current from the storage ring's status page over HTTP(S). The program is
// single-threaded: the fetch runs inside a window's handler and keeps the window alive by calling the
// event pump while it waits, so every wait here has a bound and sleeps in between.
#include "common/event_pump.h"
#include "instruments/instrument_context.h"
#include "instruments/ring_current/ring_page.h"

#include <chrono>
#include <cstddef>
#include <functional>
#include <string>

namespace korvo {

struct RingFetchLimits {
    // The server must accept the connection and start its answer within this time; a status page
    // that takes longer is treated as unreachable, as it always was.
    std::chrono::milliseconds reach{5000};
    // Once the answer has started: the longest pause between two pieces of the page, and the whole
    // read. The page is a few kilobytes; a server that trickles or stalls must not hold the window.
    std::chrono::milliseconds stall{5000};
    std::chrono::milliseconds total{30000};
    // More of a page is never read: a huge or endless page is cut off here and ends the fetch.
    std::size_t maxPageBytes = std::size_t(4) << 20;
    // The event pump is called at least this often while the fetch waits.
    std::chrono::milliseconds pumpEvery{10};
    // Proxies as configured for the user (http_proxy, https_proxy, no_proxy); false goes direct.
    bool userProxy = true;
};

// How a fetch ended; what the command line reports, the windows show only the labels.
struct RingFetchReport {
    enum class End {
        Complete,    // the whole page was read
        Unreachable, // no connection or no answer within the reach limit
        HttpError,   // the server answered with an error status (400 and above): no page
        Cut,         // the page reached maxPageBytes; what came before was read
        Stalled,     // the page stopped coming (stall or total limit); what came before was read
        Failed,      // the transfer broke off or could not be set up; see `error`
    };
    End end = End::Failed;
    long httpStatus = 0;
    std::size_t bytes = 0;
    std::string error; // the transport's words, for Unreachable and Failed
    bool value = false; // a value was found (RingFetch's result)
    bool notANumber = false; // the last block with both markers held no number
};

// RingFetch: reads the page at `address` and searches it block by block (RingPageScan). A value
// goes to values.RingCurrent and both labels; a block whose markers hold no number sets the main
// window's label to "??? mA". Returns true when a value was found. A failed read changes nothing
// but what the page had already given.
bool RingFetch(const std::string& address, const RingMarkers& markers, RingDisplay& display,
               InstrumentValues& values, EventPump& pump, const RingFetchLimits& limits = {},
               RingFetchReport* report = nullptr);

// The fetch alone: the page's scan and how the transfer ended, nothing applied.
RingFetchReport fetchRingPage(const std::string& address, RingPageScan& scan, EventPump& pump,
                              const RingFetchLimits& limits = {});

// RingReadOnce, "Read Single Value" and each tick of the poll: "------- mA" while reading, then the
// value, or "No Data!" when the fetch found none.
bool RingReadOnce(const std::string& address, const RingMarkers& markers, RingDisplay& display,
                  InstrumentValues& values, EventPump& pump, const RingFetchLimits& limits = {},
                  RingFetchReport* report = nullptr);

// The poll's reader over the real page: RingFetch into these values, pumping this pump.
std::function<bool(const std::string&, const RingMarkers&, RingDisplay&)>
ringPageReader(InstrumentValues& values, EventPump& pump, RingFetchLimits limits = {});

} // namespace korvo

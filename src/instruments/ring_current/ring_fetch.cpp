#include "instruments/ring_current/ring_fetch.h"

#include <curl/curl.h>

#include <algorithm>
#include <memory>

namespace korvo {

namespace {

using SteadyTime = std::chrono::steady_clock::time_point;

bool curlReady() {
    static const bool ready = curl_global_init(CURL_GLOBAL_DEFAULT) == CURLE_OK;
    return ready;
}

struct EasyFree {
    void operator()(CURL* c) const { curl_easy_cleanup(c); }
};
struct MultiFree {
    void operator()(CURLM* m) const { curl_multi_cleanup(m); }
};
struct ListFree {
    void operator()(curl_slist* l) const { curl_slist_free_all(l); }
};

// What the callbacks see of the transfer. They run inside curl_multi_perform on this thread.
struct Transfer {
    RingPageScan& scan;
    std::size_t maxBytes;
    CURL* easy = nullptr;
    bool answered = false;
    bool httpError = false;
    bool cut = false;
    SteadyTime lastData{};
};

std::size_t onHeader(char*, std::size_t size, std::size_t count, void* user) {
    auto& t = *static_cast<Transfer*>(user);
    t.answered = true;
    t.lastData = std::chrono::steady_clock::now();
    return size * count;
}

std::size_t onBody(char* data, std::size_t size, std::size_t count, void* user) {
    auto& t = *static_cast<Transfer*>(user);
    const std::size_t n = size * count;
    t.lastData = std::chrono::steady_clock::now();
    long status = 0;
    curl_easy_getinfo(t.easy, CURLINFO_RESPONSE_CODE, &status);
    // An error page is no status page, whatever it says.
    if (status >= 400) {
        t.httpError = true;
        return 0;
    }
    const std::size_t take = std::min(n, t.maxBytes - t.scan.bytes());
    t.scan.feed(std::string_view(data, take));
    if (take < n) {
        t.cut = true;
        return 0; // a short count ends the transfer
    }
    return n;
}

long asMs(std::chrono::milliseconds d) {
    return static_cast<long>(std::max<std::chrono::milliseconds::rep>(d.count(), 1));
}

} // namespace

RingFetchReport fetchRingPage(const std::string& address, RingPageScan& scan, EventPump& pump,
                              const RingFetchLimits& limits) {
    using End = RingFetchReport::End;
    using std::chrono::steady_clock;
    RingFetchReport report;
    const std::size_t before = scan.bytes();
    Transfer t{scan, before + limits.maxPageBytes, nullptr, false, false, false, {}};

    // What the transfer points to is declared first, so that it outlives the handles.
    char errorText[CURL_ERROR_SIZE] = {};
    // A stale value from a cache would read as a live one.
    std::unique_ptr<curl_slist, ListFree> headers(curl_slist_append(nullptr, "Cache-Control: no-cache"));
    std::unique_ptr<CURLM, MultiFree> multi(curlReady() ? curl_multi_init() : nullptr);
    std::unique_ptr<CURL, EasyFree> easy(multi ? curl_easy_init() : nullptr);
    if (!easy) {
        report.error = "the HTTP transport could not be set up";
        return report;
    }
    t.easy = easy.get();
    CURL* e = easy.get();
    curl_easy_setopt(e, CURLOPT_URL, address.c_str());
    curl_easy_setopt(e, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(e, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(e, CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(e, CURLOPT_MAXREDIRS, 5L);
    curl_easy_setopt(e, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(e, CURLOPT_CONNECTTIMEOUT_MS, asMs(limits.reach));
    curl_easy_setopt(e, CURLOPT_USERAGENT, "Korvo/" KORVO_VERSION);
    curl_easy_setopt(e, CURLOPT_HTTPHEADER, headers.get());
    curl_easy_setopt(e, CURLOPT_ERRORBUFFER, errorText);
    curl_easy_setopt(e, CURLOPT_HEADERFUNCTION, onHeader);
    curl_easy_setopt(e, CURLOPT_HEADERDATA, &t);
    curl_easy_setopt(e, CURLOPT_WRITEFUNCTION, onBody);
    curl_easy_setopt(e, CURLOPT_WRITEDATA, &t);
    if (!limits.userProxy) curl_easy_setopt(e, CURLOPT_PROXY, "");
    if (curl_multi_add_handle(multi.get(), e) != CURLM_OK) {
        report.error = "the HTTP transport could not be set up";
        return report;
    }

    const SteadyTime start = steady_clock::now();
    SteadyTime lastPump = start - limits.pumpEvery;
    std::string stoppedBecause;
    End stoppedAs = End::Complete;
    for (;;) {
        int active = 0;
        if (curl_multi_perform(multi.get(), &active) != CURLM_OK) {
            stoppedAs = End::Failed, stoppedBecause = "the HTTP transport failed";
            break;
        }
        if (active == 0) break;
        const SteadyTime now = steady_clock::now();
        if (!t.answered && now - start >= limits.reach) {
            stoppedAs = End::Unreachable;
            stoppedBecause = "no answer within " + std::to_string(limits.reach.count()) + " ms";
            break;
        }
        if (t.answered && now - t.lastData >= limits.stall) {
            stoppedAs = End::Stalled;
            stoppedBecause = "the page stopped coming for " + std::to_string(limits.stall.count()) + " ms";
            break;
        }
        if (now - start >= limits.total) {
            stoppedAs = End::Stalled;
            stoppedBecause = "the page took longer than " + std::to_string(limits.total.count()) + " ms";
            break;
        }
        if (now - lastPump >= limits.pumpEvery) {
            pump.pump();
            lastPump = steady_clock::now();
        }
        // Sleep in the kernel until the socket has something or the window is due again.
        const auto due = limits.pumpEvery - (steady_clock::now() - lastPump);
        const auto waitMs = std::chrono::duration_cast<std::chrono::milliseconds>(due).count();
        curl_multi_poll(multi.get(), nullptr, 0, static_cast<int>(std::clamp<long long>(waitMs, 1, 1000)),
                        nullptr);
    }

    CURLcode result = CURLE_OK;
    int queued = 0;
    while (CURLMsg* msg = curl_multi_info_read(multi.get(), &queued))
        if (msg->msg == CURLMSG_DONE) result = msg->data.result;
    curl_easy_getinfo(e, CURLINFO_RESPONSE_CODE, &report.httpStatus);
    curl_multi_remove_handle(multi.get(), e);
    scan.finish();
    report.bytes = scan.bytes() - before;

    if (!stoppedBecause.empty()) {
        report.end = stoppedAs;
        report.error = stoppedBecause;
    } else if (t.httpError || report.httpStatus >= 400) {
        report.end = End::HttpError;
        report.error = "the server answered with status " + std::to_string(report.httpStatus);
    } else if (t.cut) {
        report.end = End::Cut;
        report.error = "the page is larger than " + std::to_string(limits.maxPageBytes) + " bytes";
    } else if (result == CURLE_OK) {
        report.end = End::Complete;
    } else {
        const bool badAddress = result == CURLE_UNSUPPORTED_PROTOCOL || result == CURLE_URL_MALFORMAT;
        report.end = t.answered || badAddress ? End::Failed : End::Unreachable;
        report.error = errorText[0] ? errorText : curl_easy_strerror(result);
    }
    report.value = scan.value().has_value();
    report.notANumber = scan.mainLabel() == std::optional<std::string>(kRingUnknown);
    return report;
}

bool RingFetch(const std::string& address, const RingMarkers& markers, RingDisplay& display,
               InstrumentValues& values, EventPump& pump, const RingFetchLimits& limits,
               RingFetchReport* report) {
    RingPageScan scan(markers);
    RingFetchReport r = fetchRingPage(address, scan, pump, limits);
    if (const auto v = scan.value()) {
        values.RingCurrent = *v;
        display.currentLabel = formatRingCurrent(*v);
    }
    if (scan.mainLabel()) display.mainLabel = *scan.mainLabel();
    if (report) *report = std::move(r);
    return scan.value().has_value();
}

bool RingReadOnce(const std::string& address, const RingMarkers& markers, RingDisplay& display,
                  InstrumentValues& values, EventPump& pump, const RingFetchLimits& limits,
                  RingFetchReport* report) {
    display.currentLabel = kRingReading;
    const bool found = RingFetch(address, markers, display, values, pump, limits, report);
    if (!found) display.currentLabel = kRingNoData;
    return found;
}

std::function<bool(const std::string&, const RingMarkers&, RingDisplay&)>
ringPageReader(InstrumentValues& values, EventPump& pump, RingFetchLimits limits) {
    return [&values, &pump, limits](const std::string& address, const RingMarkers& markers,
                                    RingDisplay& display) {
        return RingFetch(address, markers, display, values, pump, limits);
    };
}

} // namespace korvo

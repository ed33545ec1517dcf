#include "instruments/ring_current/ring_fetch.h"

#include <curl/curl.h>

#include <algorithm>

namespace korvo {

namespace {

using SteadyTime = std::chrono::steady_clock::time_point;
using End = RingFetchReport::End;

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

long asMs(std::chrono::milliseconds d) {
    return static_cast<long>(std::max<std::chrono::milliseconds::rep>(d.count(), 1));
}

std::string ms(std::chrono::milliseconds d) {
    return std::to_string(d.count()) + " ms";
}

// The limits are network time: they run on the steady clock whatever clock the program measures with.
class CurlRingFetch final : public RingFetchJob {
public:
    CurlRingFetch(const std::string& address, const RingMarkers& markers, const RingFetchLimits& limits)
        : limits_(limits), scan_(markers) {
        // A stale value from a cache would read as a live one.
        headers_.reset(curl_slist_append(nullptr, "Cache-Control: no-cache"));
        multi_.reset(curlReady() ? curl_multi_init() : nullptr);
        easy_.reset(multi_ && headers_ ? curl_easy_init() : nullptr);
        if (!easy_) {
            end(End::Failed, "the HTTP transport could not be set up");
            return;
        }
        CURL* e = easy_.get();
        curl_easy_setopt(e, CURLOPT_URL, address.c_str());
        curl_easy_setopt(e, CURLOPT_PROTOCOLS_STR, "http,https");
        curl_easy_setopt(e, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
        curl_easy_setopt(e, CURLOPT_FOLLOWLOCATION, 1L);
        curl_easy_setopt(e, CURLOPT_MAXREDIRS, 5L);
        curl_easy_setopt(e, CURLOPT_NOSIGNAL, 1L);
        curl_easy_setopt(e, CURLOPT_CONNECTTIMEOUT_MS, asMs(limits.reach));
        // libcurl's own bound behind the ones step() checks, in case steps stop coming.
        curl_easy_setopt(e, CURLOPT_TIMEOUT_MS, asMs(limits.total + std::chrono::seconds(1)));
        curl_easy_setopt(e, CURLOPT_USERAGENT, "Korvo/" KORVO_VERSION);
        curl_easy_setopt(e, CURLOPT_HTTPHEADER, headers_.get());
        curl_easy_setopt(e, CURLOPT_ERRORBUFFER, errorText_);
        curl_easy_setopt(e, CURLOPT_HEADERFUNCTION, onHeader);
        curl_easy_setopt(e, CURLOPT_HEADERDATA, this);
        curl_easy_setopt(e, CURLOPT_WRITEFUNCTION, onBody);
        curl_easy_setopt(e, CURLOPT_WRITEDATA, this);
        if (!limits.userProxy) curl_easy_setopt(e, CURLOPT_PROXY, "");
        if (curl_multi_add_handle(multi_.get(), e) != CURLM_OK) {
            end(End::Failed, "the HTTP transport could not be set up");
            return;
        }
        added_ = true;
        start_ = lastData_ = std::chrono::steady_clock::now();
    }

    ~CurlRingFetch() override { detach(); }

    bool step() override {
        if (done_) return true;
        int active = 0;
        if (curl_multi_perform(multi_.get(), &active) != CURLM_OK) {
            end(End::Failed, "the HTTP transport failed");
            return true;
        }
        int queued = 0;
        while (CURLMsg* msg = curl_multi_info_read(multi_.get(), &queued))
            if (msg->msg == CURLMSG_DONE) {
                transferEnded(msg->data.result);
                return true;
            }
        const SteadyTime now = std::chrono::steady_clock::now();
        if (!answered_ && now - start_ >= limits_.reach)
            end(End::Unreachable, "no answer within " + ms(limits_.reach));
        else if (answered_ && now - lastData_ >= limits_.stall)
            end(End::Stalled, "the page stopped coming for " + ms(limits_.stall));
        else if (now - start_ >= limits_.total)
            end(End::Stalled, "the page took longer than " + ms(limits_.total));
        return done_;
    }

    const RingFetchReport& report() const override { return report_; }

    // Sleeps until the socket has something or `upTo` has passed (the one-off read's wait).
    void wait(std::chrono::milliseconds upTo) {
        if (!done_) curl_multi_poll(multi_.get(), nullptr, 0, static_cast<int>(asMs(upTo)), nullptr);
    }

private:
    static std::size_t onHeader(char*, std::size_t size, std::size_t count, void* user) {
        auto& f = *static_cast<CurlRingFetch*>(user);
        const std::size_t n = size * count;
        f.answered_ = true;
        f.lastData_ = std::chrono::steady_clock::now();
        f.headerBytes_ += n;
        if (f.headerBytes_ > f.limits_.maxHeaderBytes) {
            f.headerTooLarge_ = true;
            return 0; // a short count ends the transfer
        }
        return n;
    }

    static std::size_t onBody(char* data, std::size_t size, std::size_t count, void* user) {
        auto& f = *static_cast<CurlRingFetch*>(user);
        const std::size_t n = size * count;
        f.lastData_ = std::chrono::steady_clock::now();
        f.bodyStarted_ = true;
        const std::size_t take = std::min(n, f.limits_.maxPageBytes - f.scan_.bytes());
        f.scan_.feed(std::string_view(data, take));
        if (take < n) {
            f.cut_ = true;
            return 0;
        }
        return n;
    }

    void transferEnded(CURLcode result) {
        if (headerTooLarge_ || (result == CURLE_OUT_OF_MEMORY && !bodyStarted_)) {
            // libcurl reports a header line above its own limit as running out of memory.
            end(End::HeaderTooLarge,
                "the page's header is larger than " + std::to_string(limits_.maxHeaderBytes) + " bytes");
        } else if (cut_) {
            end(End::Cut, "the page is larger than " + std::to_string(limits_.maxPageBytes) + " bytes");
        } else if (result == CURLE_OK) {
            end(End::Complete, "");
        } else if (result == CURLE_OPERATION_TIMEDOUT && answered_) {
            end(End::Stalled, "the page took longer than " + ms(limits_.total));
        } else {
            const bool badAddress = result == CURLE_UNSUPPORTED_PROTOCOL || result == CURLE_URL_MALFORMAT;
            end(answered_ || badAddress ? End::Failed : End::Unreachable,
                errorText_[0] ? errorText_ : curl_easy_strerror(result));
        }
    }

    void end(End how, std::string why) {
        if (easy_) curl_easy_getinfo(easy_.get(), CURLINFO_RESPONSE_CODE, &report_.httpStatus);
        detach();
        scan_.finish();
        report_.end = how;
        report_.error = std::move(why);
        report_.bytes = scan_.bytes();
        report_.current = scan_.value();
        report_.mainLabel = scan_.mainLabel();
        done_ = true;
    }

    void detach() {
        if (added_) curl_multi_remove_handle(multi_.get(), easy_.get());
        added_ = false;
    }

    RingFetchLimits limits_;
    RingPageScan scan_;
    RingFetchReport report_;
    // What the transfer points to is declared before the handles, so that it outlives them.
    char errorText_[CURL_ERROR_SIZE] = {};
    std::unique_ptr<curl_slist, ListFree> headers_;
    std::unique_ptr<CURLM, MultiFree> multi_;
    std::unique_ptr<CURL, EasyFree> easy_;
    bool added_ = false;
    bool done_ = false;
    bool answered_ = false;
    bool bodyStarted_ = false;
    bool headerTooLarge_ = false;
    bool cut_ = false;
    std::size_t headerBytes_ = 0;
    SteadyTime start_{};
    SteadyTime lastData_{};
};

} // namespace

std::string whyNoRingValue(const RingFetchReport& r, const std::string& address, const RingMarkers& m) {
    const std::string between = "\"" + m.start + "\" and \"" + m.end + "\"";
    if (r.notANumber()) return "the text between " + between + " is not a number";
    const std::string status =
        r.httpStatus >= 400 ? "the server answered with status " + std::to_string(r.httpStatus) + " and " : "";
    switch (r.end) {
    case End::Unreachable:
        return "no answer from " + address + " (" + r.error + ")";
    case End::HeaderTooLarge:
    case End::Failed:
        return r.error;
    case End::Complete:
        return status + "the page holds no number between " + between;
    case End::Cut:
    case End::Stalled:
        return status + "the page holds no number between " + between + " in what was read (" + r.error + ")";
    }
    return r.error;
}

std::unique_ptr<RingFetchJob> startRingFetch(const std::string& address, const RingMarkers& markers,
                                             const RingFetchLimits& limits) {
    return std::make_unique<CurlRingFetch>(address, markers, limits);
}

RingFetchStarter ringPageFetcher(RingFetchLimits limits) {
    return [limits](const std::string& address, const RingMarkers& markers) {
        return startRingFetch(address, markers, limits);
    };
}

bool RingFetch(const std::string& address, const RingMarkers& markers, RingDisplay& display,
               InstrumentValues& values, EventPump& pump, const RingFetchLimits& limits, RingFetchReport* report) {
    CurlRingFetch fetch(address, markers, limits);
    // Each step is bounded by the fetch's own limits; between steps the window is served.
    while (!fetch.step()) {
        pump.pump();
        fetch.wait(limits.pumpEvery);
    }
    const RingFetchReport& r = fetch.report();
    if (r.current) {
        values.RingCurrent = *r.current;
        display.currentLabel = formatRingCurrent(*r.current);
    }
    if (r.mainLabel) display.mainLabel = *r.mainLabel;
    if (report) *report = r;
    return r.current.has_value();
}

bool RingReadOnce(const std::string& address, const RingMarkers& markers, RingDisplay& display,
                  InstrumentValues& values, EventPump& pump, const RingFetchLimits& limits,
                  RingFetchReport* report) {
    display.currentLabel = kRingReading;
    const bool found = RingFetch(address, markers, display, values, pump, limits, report);
    if (!found) display.currentLabel = kRingNoData;
    return found;
}

} // namespace korvo

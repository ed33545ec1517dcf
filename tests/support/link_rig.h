#pragma once
// What a serial link's test stands on: one program's clock, pump, dialogs, values and status bar, and
// a termios transport that notes what the link did to its port. Real time unless asked otherwise, since
// korvo-sim answers in real time.
#include "common/clock.h"
#include "common/dialogs.h"
#include "common/event_pump.h"
#include "common/timers.h"
#include "instruments/instrument_context.h"
#include "instruments/serial/com_port_paths.h"
#include "instruments/serial/terminal_transport.h"

#include <algorithm>
#include <array>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace korvo::testing {

// The port's story in order: "open", "close", "apply <baud>[ dtr]" and every write as its text.
struct PortLog {
    struct Entry {
        bool write;
        std::string text;
    };
    std::vector<Entry> entries;

    std::vector<std::string> all() const {
        std::vector<std::string> out;
        for (const Entry& e : entries) out.push_back(e.text);
        return out;
    }
    std::vector<std::string> writes() const {
        std::vector<std::string> out;
        for (const Entry& e : entries)
            if (e.write) out.push_back(e.text);
        return out;
    }
    std::string bytes() const {
        std::string out;
        for (const Entry& e : entries)
            if (e.write) out += e.text;
        return out;
    }
    // The lines written, each ended by CR.
    std::vector<std::string> lines() const {
        std::vector<std::string> out{""};
        for (char c : bytes())
            if (c == '\r') out.emplace_back();
            else out.back().push_back(c);
        out.pop_back();
        return out;
    }
    // How often `text` went out as one write, or happened to the port.
    long count(const std::string& text) const {
        return std::ranges::count_if(entries, [&](const Entry& e) { return e.text == text; });
    }
    void clear() { entries.clear(); }
};

// A transport of type `Port` (termios by default, Qt Serial Port where a test asks for it) that logs
// what the link does to it.
template <class Port> class BasicTap final : public ByteTransport {
public:
    explicit BasicTap(PortLog& log) : log_(log) {}
    bool open(const std::string& device, std::string* error) override {
        const bool ok = port_.open(device, error);
        log_.entries.push_back({false, ok ? "open" : "open failed"});
        return ok;
    }
    void close() override {
        if (port_.isOpen()) log_.entries.push_back({false, "close"});
        port_.close();
    }
    bool isOpen() const override { return port_.isOpen(); }
    bool apply(const LineSettings& s, std::string* error) override {
        const bool ok = port_.apply(s, error);
        log_.entries.push_back({false, "apply " + std::to_string(s.baud()) + (s.dtrOnOpen ? " dtr" : "") +
                                           (ok ? "" : " refused")});
        return ok;
    }
    std::int64_t write(const char* data, std::size_t size) override {
        const std::int64_t n = port_.write(data, size);
        if (n > 0) log_.entries.push_back({true, std::string(data, std::size_t(n))});
        return n;
    }
    std::int64_t read(char* buffer, std::size_t max) override { return port_.read(buffer, max); }
    void flush(bool input, bool output) override { port_.flush(input, output); }
    std::size_t outputQueued() const override { return port_.outputQueued(); }

private:
    Port port_;
    PortLog& log_;
};
using TapTransport = BasicTap<TerminalTransport>;

struct RecordingPanels final : StatusPanels {
    void setStatusPanel(int i, const std::string& t) override {
        text.at(std::size_t(i)) = t;
        if (i == 0) panel0.push_back(t);
    }
    void setStatusPanelRaised(int i, bool r) override { raised.at(std::size_t(i)) = r; }
    bool showed(const std::string& t) const { return std::ranges::find(panel0, t) != panel0.end(); }
    std::array<std::string, 3> text;
    std::array<bool, 3> raised{};
    std::vector<std::string> panel0; // every text of panel 0, in order
};

struct LinkContext {
    explicit LinkContext(bool virtualTime = false)
        : clock(virtualTime ? static_cast<Clock&>(virtualClock) : steadyClock) {}
    std::unique_ptr<ByteTransport> tap() { return std::make_unique<TapTransport>(port); }
    // Keeps the window alive until `done` holds, for at most `ms`; whether it held.
    bool until(const std::function<bool()>& done, std::int64_t ms = 2000) {
        for (const std::int64_t end = clock.nowMs() + ms; !done(); keepAlive(ctx, 10))
            if (clock.nowMs() > end) return false;
        return true;
    }

    VirtualClock virtualClock;
    SteadyClock steadyClock;
    Clock& clock;
    PolledTimers timers{clock};
    ScriptedPump script;
    TimerPump pump{script, timers};
    RecordingDialogs dialogs;
    InstrumentValues values;
    RecordingPanels panels;
    ComPortPaths paths;
    InstrumentContext ctx{clock, pump, dialogs, values, timers, panels};
    PortLog port;
};

} // namespace korvo::testing

#include "cli/ring_current_command.h"

#include "instruments/ring_current/ring_fetch.h"

#include <iostream>
#include <memory>

namespace korvo {

namespace {

// Why there is no value, after the label text the window would show.
std::string whyNoValue(const RingFetchReport& r, const std::string& url, const RingMarkers& m) {
    using End = RingFetchReport::End;
    const std::string between = "\"" + m.start + "\" and \"" + m.end + "\"";
    if (r.notANumber) return std::string(kRingUnknown) + ": the text between " + between + " is not a number";
    std::string why = std::string(kRingNoData) + ": ";
    switch (r.end) {
    case End::Unreachable:
        return why + "no answer from " + url + " (" + r.error + ")";
    case End::HttpError:
    case End::Failed:
        return why + r.error;
    case End::Complete:
        return why + "the page holds no number between " + between;
    case End::Cut:
    case End::Stalled:
        return why + "the page holds no number between " + between + " in what was read (" + r.error + ")";
    }
    return why;
}

} // namespace

void addRingCurrentCommand(CLI::App& app, int& exitStatus) {
    struct Options {
        std::string url = kDefaultRingAddress;
        RingMarkers markers;
    };
    auto o = std::make_shared<Options>();
    CLI::App* cmd = app.add_subcommand("ring-current", "Read the storage ring's current once from its status page");
    cmd->add_option("--url", o->url, "Address of the status page")->capture_default_str();
    cmd->add_option("--start", o->markers.start, "Text just before the current")->capture_default_str();
    cmd->add_option("--end", o->markers.end, "Text just after the current")->capture_default_str();
    cmd->callback([o, &exitStatus] {
        InstrumentValues values;
        RingDisplay display;
        NullPump pump; // nothing to keep alive; the fetch's limits still bound the wait
        RingFetchReport report;
        if (!RingReadOnce(o->url, o->markers, display, values, pump, {}, &report)) {
            std::cerr << whyNoValue(report, o->url, o->markers) << "\n";
            exitStatus = 2;
            return;
        }
        std::cout << display.currentLabel << "\n" << std::flush;
        exitStatus = std::cout ? 0 : 2;
    });
}

} // namespace korvo

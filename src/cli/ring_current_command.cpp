#include "cli/ring_current_command.h"

#include "instruments/ring_current/ring_fetch.h"

#include <iostream>
#include <memory>

namespace korvo {

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
            std::cerr << (report.notANumber() ? kRingUnknown : kRingNoData) << ": "
                      << whyNoRingValue(report, o->url, o->markers) << "\n";
            exitStatus = 2;
            return;
        }
        std::cout << display.currentLabel << "\n" << std::flush;
        exitStatus = std::cout ? 0 : 2;
    });
}

} // namespace korvo

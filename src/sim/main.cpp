// korvo-sim: plays a beamline instrument (monochromator, motor drive, Keithley electrometer) on a
// pseudo-terminal, so that Korvo's real serial links can be tried and tested without the hardware.
// It prints the device to connect to and serves until it is stopped (Ctrl+C).
#include "instruments/sim/pty_host.h"

#include <CLI/CLI.hpp>

#include <atomic>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <iostream>
#include <unistd.h>

namespace {

std::atomic<bool> gStop{false};

extern "C" void onSignal(int) {
    gStop = true;
}

} // namespace

int main(int argc, char** argv) {
    CLI::App app{"korvo-sim: a simulated instrument on a pseudo-terminal, for Korvo's serial links"};
    app.set_version_flag("--version", std::string("korvo-sim ") + KORVO_VERSION);
    std::string instrument;
    std::vector<std::string> faults;
    korvo::HostFaults host;
    korvo::SimulatedDeviceOptions device;
    std::string link;
    app.add_option("instrument", instrument, "mono, drive, keithley (or echo)")->required();
    app.add_option(
        "--fault", faults,
        "no-reply, garbage, split, drop, hangup, slow, and the instrument's own (mono: f, t2, nul, "
        "lf, stuck; keithley: overflow, no-exponent, bad-number, short; drive: error, unknown-error, "
        "no-handshake)");
    app.add_option("--mono-speed", device.monoSpeedNmPerS, "mono: how fast a move goes (nm/s)")
        ->capture_default_str();
    app.add_option("--split-bytes", host.splitPieceBytes, "split: bytes per write (default 1)");
    app.add_option("--split-ms", host.splitGapMs, "split: pause between the pieces (ms)")
        ->capture_default_str();
    app.add_option("--every", host.dropEvery, "drop: every n-th reply is lost (default 3)");
    app.add_option("--after", host.hangUpAfter, "hangup: replies before the line goes (default 3)");
    app.add_option("--delay", host.slowMs, "slow: delay of every reply in ms (default 2000)");
    app.add_option("--reading", device.reading, "keithley: every reading is this value (no drift, no noise)");
    app.add_option("--faults-after", device.healthyReplies,
                   "the faults asked for begin after this many healthy replies (default 0: at once)")
        ->check(CLI::NonNegativeNumber);
    app.add_option("--seed", device.seed, "noise and garbage seed")->capture_default_str();
    app.add_option("--link", link, "also make this symbolic link to the device");
    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        return app.exit(e) == 0 ? 0 : 2;
    }
    for (const std::string& f : faults) {
        if (f == "no-reply")
            host.noReply = true;
        else if (f == "garbage")
            host.garbage = true;
        else if (f == "split")
            host.splitPieceBytes = host.splitPieceBytes > 0 ? host.splitPieceBytes : 1;
        else if (f == "drop")
            host.dropEvery = host.dropEvery > 0 ? host.dropEvery : 3;
        else if (f == "hangup")
            host.hangUpAfter = host.hangUpAfter >= 0 ? host.hangUpAfter : 3;
        else if (f == "slow")
            host.slowMs = host.slowMs > 0 ? host.slowMs : 2000;
        else
            device.faults.push_back(f);
    }
    host.healthyReplies = device.healthyReplies;
    std::string error;
    auto model = korvo::makeSimulatedDevice(instrument, device, &error);
    if (!model) {
        std::cerr << "korvo-sim: " << error << "\n";
        return 2;
    }
    korvo::PtyHost pty(std::move(model), host, device.seed);
    if (!pty.open(&error)) {
        std::cerr << "korvo-sim: " << error << "\n";
        return 2;
    }
    if (!link.empty()) {
        std::error_code ec;
        std::filesystem::remove(link, ec);
        std::filesystem::create_symlink(pty.devicePath(), link, ec);
        if (ec) {
            std::cerr << "korvo-sim: cannot make the link " << link << ": " << ec.message() << "\n";
            return 2;
        }
    }
    std::cout << pty.devicePath() << std::endl;
    std::signal(SIGINT, onSignal);
    std::signal(SIGTERM, onSignal);
    const int status = pty.run(gStop);
    if (!link.empty()) ::unlink(link.c_str());
    if (status == 3) std::cerr << "korvo-sim: hung up as asked\n";
    return status == 3 ? 0 : status;
}

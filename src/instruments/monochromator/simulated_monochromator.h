#pragma once
// The beamline monochromator's controller as korvo-sim plays it: "OPN"/"CLO" open and close the
// remote connection, "GPO" reads the wavelength, "SPO <nm>" starts a move that takes time in
// proportion to the distance, "GST" says whether it still moves, "STO" stops it where it is. Every
// reply is one line ended by CR, "t" first for success, "f" for a refusal.
//
// Device faults (--fault): "f" refuses every command, "t2" reports status 2 (a drive fault),
// "nul" puts a NUL before the CR, "lf" ends replies with CR LF, "stuck" takes every move but never
// gets anywhere (it stays where it started and says "moving" until it is stopped).
#include "instruments/sim/simulated_device.h"

#include <cstdint>
#include <deque>
#include <random>
#include <string>
#include <string_view>
#include <vector>

namespace korvo {

class SimulatedMonochromator final : public SimulatedDevice {
public:
    // The controller answers this long after a command's CR.
    static constexpr std::int64_t kAnswerMs = 2;
    // Every move settles for this long beyond the travel itself.
    static constexpr std::int64_t kSettleMs = 300;

    explicit SimulatedMonochromator(const SimulatedDeviceOptions& options);

    void receive(std::string_view bytes, std::int64_t nowMs) override;
    std::vector<std::string> due(std::int64_t nowMs) override;
    std::int64_t nextDueMs() const override;

    // The wavelength (nm) at `nowMs`, moving or not.
    double positionAt(std::int64_t nowMs) const;
    bool movingAt(std::int64_t nowMs) const { return moving_ && nowMs < moveEndMs_; }

private:
    struct Reply {
        std::int64_t atMs;
        std::string text;
    };
    std::string answer(const std::string& command, std::int64_t nowMs);
    void queue(std::string text, std::int64_t nowMs);

    double speedNmPerS_;
    bool refuseAll_, statusFault_, nulBeforeCr_, crLf_, stuck_;
    std::mt19937_64 rng_;
    std::string line_;
    std::deque<Reply> replies_;

    bool open_ = false;
    double position_ = 1.0; // where the last move started (or ended, when idle)
    bool moving_ = false;
    double target_ = 1.0;
    std::int64_t moveStartMs_ = 0;
    std::int64_t moveEndMs_ = 0;
};

} // namespace korvo

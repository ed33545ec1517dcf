#pragma once
// The main motor's servo drive played in software for korvo-sim ("korvo-sim drive"). It speaks the
// drive's frame protocol: "###############01" is answered with "#01"; every other line (an empty
// request or a 16-character frame: toggle digit, 7-character command code, 8 hexadecimal digits) is
// answered with one status line of 16 characters and CR:
//   1      hexadecimal digit: 8 toggle (that of the last frame taken), 4 error, 2 brake released,
//          1 motor powered
//   2-4    "000"
//   5      "0" while a commanded move runs, "1" otherwise
//   6-8    "000"
//   9-16   actual position, 8 hexadecimal digits (two's complement); with the error flag "0000" and
//          the four hexadecimal digits of the error number
// A frame whose toggle digit equals the present toggle is a repetition and is not executed again.
// A refused command shows its error in its own reply; a drive fault (LIMP quick-stop) stays in every
// status line and refuses commands until a fault reset.
//
// Device faults: "error" (the next power, brake or move command trips quick-stop LIMP, error 1024),
// "unknown-error" (the same with an error number the drive's table does not know, 1217),
// "no-handshake" (the handshake frame is refused like any malformed line, never answered "#01").
#include "instruments/sim/simulated_device.h"

#include <cstdint>
#include <deque>
#include <string>

namespace korvo {

class SimulatedMotorDrive final : public SimulatedDevice {
public:
    explicit SimulatedMotorDrive(const SimulatedDeviceOptions& options);
    void receive(std::string_view bytes, std::int64_t nowMs) override;
    std::vector<std::string> due(std::int64_t nowMs) override;
    std::int64_t nextDueMs() const override;

    // Increments per second at speed 1: at the usual speed 10 a move of 1.25 degrees (5000
    // increments) takes a second.
    static constexpr std::int64_t kIncrementsPerSecondPerSpeed = 500;
    static constexpr int kMaxSpeed = 30;
    static constexpr std::int64_t kReplyDelayMs = 5;

    // Error numbers the drive answers with.
    static constexpr int kUnknownService = 0x1005;
    static constexpr int kInvalidService = 0x1006;
    static constexpr int kOutOfRange = 0x100A;
    static constexpr int kSpeedTooHigh = 0x1018;
    static constexpr int kQuickStopLimp = 0x1024;
    static constexpr int kNotActive = 0x1034;
    static constexpr int kUnknownToTable = 0x1217;
    static constexpr int kOnlyAtStandstill = 0x1819;
    static constexpr int kBraked = 0x181E;
    static constexpr int kLocked = 0x184E;

    // The drive's state at `nowMs`, for tests of the model.
    std::int32_t position(std::int64_t nowMs);
    bool moving(std::int64_t nowMs);
    int speed() const { return speed_; }

private:
    void handleLine(const std::string& line, std::int64_t nowMs);
    // Executes a frame; 0 when taken, else the error number.
    int execute(const std::string& code, std::uint32_t value, std::int64_t nowMs);
    void advance(std::int64_t nowMs);
    void halt(std::int64_t nowMs);
    std::string statusLine(int refusal, std::int64_t nowMs);

    struct Reply {
        std::int64_t atMs;
        std::string text;
    };
    std::deque<Reply> replies_;
    std::string line_;
    bool noHandshake_;
    int pendingFault_ = 0; // trips at the next power, brake or move command
    int fault_ = 0;        // latched until a fault reset
    bool toggle_ = false;
    bool enabled_ = false; // the serial interface may command the drive
    bool powered_ = false;
    bool brakeReleased_ = false;
    int speed_ = 10;
    // Motion: from `from_` at `startMs_` towards `target_`.
    bool moving_ = false;
    std::int64_t position_ = 0;
    std::int64_t from_ = 0;
    std::int64_t target_ = 0;
    std::int64_t startMs_ = 0;
};

} // namespace korvo

#include "instruments/motor_drive/simulated_motor_drive.h"

#include <algorithm>
#include <optional>
#include <utility>

namespace korvo {

namespace {

// A line longer than any frame is garbage; keeping more of it would only cost memory.
constexpr std::size_t kMaxCommandLine = 64;

std::optional<int> hexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return std::nullopt;
}

// Exactly 8 upper-case hexadecimal digits, as a frame carries its value.
std::optional<std::uint32_t> hexValue(std::string_view text) {
    if (text.size() != 8) return std::nullopt;
    std::uint32_t v = 0;
    for (char c : text) {
        const auto d = hexDigit(c);
        if (!d) return std::nullopt;
        v = v * 16 + std::uint32_t(*d);
    }
    return v;
}

std::string hexDigits(std::uint32_t v, int digits) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string out(std::size_t(digits), '0');
    for (int i = digits - 1; i >= 0; --i, v >>= 4) out[std::size_t(i)] = kHex[v & 15];
    return out;
}

} // namespace

SimulatedMotorDrive::SimulatedMotorDrive(const SimulatedDeviceOptions& options)
    : noHandshake_(options.hasFault("no-handshake")) {
    if (options.hasFault("error")) pendingFault_ = kQuickStopLimp;
    if (options.hasFault("unknown-error")) pendingFault_ = kUnknownToTable;
}

void SimulatedMotorDrive::receive(std::string_view bytes, std::int64_t nowMs) {
    for (char c : bytes) {
        if (c == '\r') {
            handleLine(line_, nowMs);
            line_.clear();
        } else if (c != '\n' && line_.size() <= kMaxCommandLine) {
            line_ += c;
        }
    }
}

std::vector<std::string> SimulatedMotorDrive::due(std::int64_t nowMs) {
    std::vector<std::string> out;
    while (!replies_.empty() && replies_.front().atMs <= nowMs) {
        out.push_back(std::move(replies_.front().text));
        replies_.pop_front();
    }
    return out;
}

std::int64_t SimulatedMotorDrive::nextDueMs() const {
    return replies_.empty() ? -1 : replies_.front().atMs;
}

void SimulatedMotorDrive::advance(std::int64_t nowMs) {
    if (!moving_) return;
    // Speed 0 creeps at speed 1: a drive that never arrived would hold every move loop forever.
    const std::int64_t travelled = std::max<std::int64_t>(0, nowMs - startMs_) * std::max(speed_, 1) *
                                   kIncrementsPerSecondPerSpeed / 1000;
    const std::int64_t distance = target_ > from_ ? target_ - from_ : from_ - target_;
    if (travelled >= distance) {
        position_ = target_;
        moving_ = false;
    } else {
        position_ = target_ > from_ ? from_ + travelled : from_ - travelled;
    }
}

void SimulatedMotorDrive::halt(std::int64_t nowMs) {
    advance(nowMs);
    moving_ = false;
}

std::int32_t SimulatedMotorDrive::position(std::int64_t nowMs) {
    advance(nowMs);
    return static_cast<std::int32_t>(position_);
}

bool SimulatedMotorDrive::moving(std::int64_t nowMs) {
    advance(nowMs);
    return moving_;
}

std::string SimulatedMotorDrive::statusLine(int refusal, std::int64_t nowMs) {
    advance(nowMs);
    const int error = fault_ != 0 ? fault_ : refusal;
    const int flags =
        (toggle_ ? 8 : 0) | (error != 0 ? 4 : 0) | (brakeReleased_ ? 2 : 0) | (powered_ ? 1 : 0);
    std::string line = hexDigits(std::uint32_t(flags), 1) + "000" + (moving_ ? "0" : "1") + "000";
    line += error != 0 ? "0000" + hexDigits(std::uint32_t(error), 4)
                       : hexDigits(static_cast<std::uint32_t>(static_cast<std::int32_t>(position_)), 8);
    return line + "\r";
}

void SimulatedMotorDrive::handleLine(const std::string& line, std::int64_t nowMs) {
    const std::int64_t at = nowMs + kReplyDelayMs;
    if (line == "###############01" && !noHandshake_) {
        replies_.push_back({at, "#01\r"});
        return;
    }
    int refusal = 0;
    if (!line.empty()) {
        const auto toggleDigit = hexDigit(line[0]);
        const auto value = line.size() == 16 ? hexValue(std::string_view(line).substr(8)) : std::nullopt;
        if (!toggleDigit || !value) {
            refusal = kInvalidService;
        } else if (((*toggleDigit & 8) != 0) != toggle_) {
            // A frame with the present toggle is one the drive has taken already.
            refusal = execute(line.substr(1, 7), *value, nowMs);
            if (refusal == 0) toggle_ = !toggle_;
        }
    }
    replies_.push_back({at, statusLine(refusal, nowMs)});
}

int SimulatedMotorDrive::execute(const std::string& code, std::uint32_t value, std::int64_t nowMs) {
    const bool power = code == "401001C", brake = code == "4010022", move = code == "4010023";
    if (code == "41F001D") {
        if (value > 1) return kOutOfRange;
        enabled_ = value == 1;
        return 0;
    }
    if (!power && !brake && !move && code != "4050023") return kUnknownService;
    if (!enabled_) return kLocked;
    if (power && value == 8) { // fault reset
        fault_ = 0;
        return 0;
    }
    // Stopping, braking and switching off stay possible in a fault: they make the axis safe.
    const bool makesSafe = (power && (value == 1 || value == 4)) || (brake && value == 0);
    if (fault_ != 0 && !makesSafe) return fault_;
    if (pendingFault_ != 0 && (power || brake || move) && !makesSafe) {
        // The axis runs into its limit switch: quick-stop, the power stage stays on.
        fault_ = std::exchange(pendingFault_, 0);
        halt(nowMs);
        return fault_;
    }
    if (power) {
        switch (value) {
        case 2:
            powered_ = true;
            return 0;
        case 1: // power off also ends a move, and the brake falls in
            halt(nowMs);
            powered_ = false;
            brakeReleased_ = false;
            return 0;
        case 4:
            halt(nowMs);
            return 0;
        default:
            return kOutOfRange;
        }
    }
    if (brake) {
        if (value == 8) {
            if (!powered_) return kNotActive; // the axis would hang free
            brakeReleased_ = true;
            return 0;
        }
        if (value != 0) return kOutOfRange;
        if (moving(nowMs)) return kOnlyAtStandstill;
        brakeReleased_ = false;
        return 0;
    }
    if (move) {
        if (!powered_) return kNotActive;
        if (!brakeReleased_) return kBraked;
        advance(nowMs);
        from_ = position_;
        target_ = static_cast<std::int32_t>(value);
        startMs_ = nowMs;
        moving_ = from_ != target_;
        return 0;
    }
    // Speed: a change during a move applies from here on.
    if (static_cast<std::int32_t>(value) < 0 || value > std::uint32_t(kMaxSpeed)) return kSpeedTooHigh;
    advance(nowMs);
    from_ = position_;
    startMs_ = nowMs;
    speed_ = int(value);
    return 0;
}

} // namespace korvo

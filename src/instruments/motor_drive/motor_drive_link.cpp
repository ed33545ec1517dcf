#include "instruments/motor_drive/motor_drive_link.h"

#include "common/number_text.h"
#include "instruments/motor_drive/drive_error_table.h"
#include "instruments/motor_drive/drive_frames.h"

#include <algorithm>
#include <cstdlib>
#include <string_view>
#include <utility>

namespace korvo {

namespace {

// Scrolls through the first status panel by one character per pass while a request waits.
constexpr std::string_view kDriveWaitingText = "waiting for main-motor ...... waiting for main-motor";
constexpr int kWaitingSteps = 30;
constexpr int kHandshakeAttempts = 5;
constexpr std::int64_t kHandshakeStepMs = 200;
// A drive that reports its position within 40 increments (0.01 degree, what the angle box shows) of
// the target has arrived.
constexpr std::int64_t kArrivedWithin = 40;

} // namespace

MotorDriveLink::MotorDriveLink(InstrumentContext ctx, std::unique_ptr<ByteTransport> transport,
                               const ComPortPaths& paths)
    : ctx_(ctx), driver_(ctx.clock, ctx.timers, std::move(transport), paths), rng_(std::random_device{}()) {
    driver_.setComPort(pnCOM2);
    driver_.setComPortSpeed(br9600);
    driver_.setComPortDataBits(db7BITS);
    driver_.setComPortParity(ptEVEN);
    driver_.setComPortStopBits(sb1BITS);
    driver_.setEnableDTROnOpen(true);
    driver_.OnReceiveData = [this](TCommPortDriver&, const char* data, std::int32_t size) {
        CommPortDriver_2ReceiveData(data, size);
    };
}

void MotorDriveLink::notify() {
    if (page_.changed) page_.changed();
}

void MotorDriveLink::setAngleColour(std::uint32_t colour) {
    page_.angleColour = colour;
    notify();
}

void MotorDriveLink::clearTerminals() {
    page_.output.clear();
    page_.input.clear();
    notify();
}

void MotorDriveLink::sendLine(const std::string& text) {
    if (!text.empty()) driver_.SendText(text);
    driver_.SendData("\r", 1);
}

void MotorDriveLink::showWaiting(int step) {
    ctx_.status.setStatusPanel(0,
                               " " + std::string(kDriveWaitingText.substr(std::size_t(step % kWaitingSteps), 30)));
}

// A field that does not hold what the drive needs is refused before anything is sent: a frame built
// from it would carry a value the drive might take for another position.
void MotorDriveLink::refuse(const std::string& text, const std::string& what) {
    ctx_.dialogs.error(kInstrumentCaption, "\"" + text + "\" is not a valid " + what + ".");
}

void MotorDriveLink::pauseFor(std::int64_t ms) {
    keepAlive(ctx_, ms);
}

// ---- connection

bool MotorDriveLink::connectCom() {
    clearTerminals();
    if (!driver_.Connect()) return false;
    page_.openEnabled = true;
    notify();
    return true;
}

void MotorDriveLink::disconnectCom() {
    driver_.Disconnect();
    page_.openEnabled = false;
    page_.motorPanelVisible = false;
    notify();
}

// ---- receiving

void MotorDriveLink::CommPortDriver_2ReceiveData(const char* data, std::int32_t size) {
    lines_.receive(page_.input, std::string_view(data, std::size_t(std::max(size, 0))),
                   [this](const std::string& line) { DriveReply_ = line; });
    notify();
}

// ---- requests

bool MotorDriveLink::DriveQuery(const std::string& command) {
    const auto seconds = text::parseInt(page_.timeout);
    if (!seconds) {
        refuse(page_.timeout, "time-out");
        return false;
    }
    bool result = true;
    DriveReply_.clear();
    sendLine(command);
    ++busyDepth_;
    const std::int64_t deadline = ctx_.clock.nowMs() + std::int64_t(*seconds) * 1000;

    ctx_.status.setStatusPanelRaised(0, true);
    int step = 0;
    do {
        ctx_.pump.pump();
        showWaiting(step++);
        for (int i = 0; i < 2; ++i) {
            ctx_.clock.sleepMs(10);
            ctx_.pump.pump();
        }
    } while (ctx_.clock.nowMs() <= deadline && DriveReply_.empty());
    ctx_.status.setStatusPanelRaised(0, false);
    ctx_.status.setStatusPanel(0, "Ready");

    if (DriveReply_.empty()) {
        result = false;
        DriveErrorCode_ = 1;
        ctx_.dialogs.error(kInstrumentCaption, "Error ! Timeout (" + page_.timeout +
                                                   " sec) !\rConnection to the main-motor not ok ?");
    }
    --busyDepth_;
    if (!DriveReply_.empty() && DriveReply_ != drive::kHandshakeAnswer && DriveCheckErrors_ &&
        drive::errorFlag(DriveReply_)) {
        result = false;
        std::string key = drive::errorKey(DriveReply_);
        if (const char* text = driveErrorText(key)) key += "\r" + std::string(text);
        ctx_.dialogs.error(kInstrumentCaption, "Error from main motor! Error-Code: " + key);
    }
    ctx_.status.setStatusPanel(2, " Main Motor: " + std::to_string(DriveErrorCode_));
    return result;
}

bool MotorDriveLink::DriveCommand(const std::string& code, const std::string& value) {
    DriveCheckErrors_ = false;
    if (!DriveQuery("")) return false;
    const char toggle = drive::nextToggleDigit(DriveReply_);
    DriveCheckErrors_ = true;
    return DriveQuery(toggle + code + value);
}

void MotorDriveLink::DriveOpen() {
    if (!driver_.Connected()) return;
    // A drive that has lost track of a frame answers the handshake only on a clean line: fill up
    // any frame it holds, give it empty requests, and offer the handshake until something answers.
    for (int attempt = 0; attempt < kHandshakeAttempts && DriveReply_.empty(); ++attempt) {
        showWaiting(attempt);
        sendLine(drive::kWakeFrame);
        pauseFor(kHandshakeStepMs);
        sendLine("");
        sendLine("");
        pauseFor(kHandshakeStepMs);
        sendLine(drive::kHandshakeFrame);
        pauseFor(kHandshakeStepMs);
    }
    DriveCheckErrors_ = false;
    DriveQuery(drive::kHandshakeFrame);
    ctx_.status.setStatusPanel(0, "Ready");
    if (DriveReply_.empty()) return; // the time-out has been reported
    if (DriveReply_ != drive::kHandshakeAnswer) {
        ctx_.dialogs.error(kInstrumentCaption, "Error ! Connection to the main-motor not ok ?");
        return;
    }
    DriveCheckErrors_ = false;
    if (!DriveQuery("")) return;
    const char toggle = drive::nextToggleDigit(DriveReply_);
    if (!DriveQuery(toggle + std::string(drive::kEnableCode) + drive::kEnableValue)) return;
    page_.motorPanelVisible = true;
    page_.speed = "10";
    notify();
    DriveSetSpeed();
}

bool MotorDriveLink::DriveSetSpeed() {
    const auto speed = text::parseInt(page_.speed);
    if (!speed) {
        refuse(page_.speed, "speed");
        return false;
    }
    if (*speed >= 31) {
        ctx_.dialogs.show("Value to big ! (max: 30)");
        return false;
    }
    if (*speed < 0) {
        ctx_.dialogs.show("Speed >0 ! ?");
        return false;
    }
    return DriveCommand(drive::kSpeedCode, drive::hex8(*speed));
}

bool MotorDriveLink::DriveMoveToAngle() {
    const auto angle = text::parseDouble(page_.angle);
    if (!angle) {
        refuse(page_.angle, "angle");
        return false;
    }
    const auto increments = drive::incrementsForAngle(*angle, angleOffset_);
    if (!increments) {
        ctx_.dialogs.error(kInstrumentCaption,
                           "\"" + page_.angle + "\" is beyond the range of the main motor.");
        return false;
    }
    page_.increments = std::to_string(*increments);
    notify();
    return DriveCalcAndMove();
}

bool MotorDriveLink::DriveCalcAndMove() {
    const auto increments = text::parseInt(page_.increments);
    if (!increments) {
        refuse(page_.increments, "number of increments");
        return false;
    }
    // The drive counts opposite to the angle. -(-2^31) wraps to itself, as the 32-bit drive does.
    page_.hex = drive::hex8(static_cast<std::int32_t>(-static_cast<std::int64_t>(*increments)));
    notify();
    return DriveMoveToHex();
}

bool MotorDriveLink::DriveMoveToHex() {
    if (!drive::isHex8(page_.hex)) {
        refuse(page_.hex, "position (8 hexadecimal digits)");
        return false;
    }
    std::string target = page_.hex;
    for (char& c : target)
        if (c >= 'a' && c <= 'f') c = char(c - 'a' + 'A');

    setAngleColour(kDriveAngleMoving);
    bool ended = false;
    DriveCheckErrors_ = false;
    if (DriveQuery("")) {
        std::string command = drive::nextToggleDigit(DriveReply_) + std::string(drive::kMoveCode) + target;
        DriveCheckErrors_ = true;
        bool done = false;
        // The first pass sends the move, later passes ask for status; once the drive has said the
        // move ended, one more status request confirms the line is still good before leaving.
        while (DriveQuery(command)) {
            if (done) {
                ended = true;
                break;
            }
            const std::string reply = DriveReply_;
            done = drive::moveEnded(reply);
            for (int i = 0; i < 10; ++i) ctx_.pump.pump();
            if (const auto position = drive::positionHex(reply)) {
                const std::int32_t increments = text::HexTextToInt(*position);
                page_.hex = *position;
                page_.increments = std::to_string(increments);
                page_.angle = text::formatPattern(drive::angleForPosition(increments, angleOffset_), "0.00");
                notify();
            }
            command.clear();
        }
    }
    setAngleColour(kDriveAngleIdle);
    return ended;
}

bool MotorDriveLink::DriveDefinePosition() {
    const auto angle = text::parseDouble(page_.angle);
    if (!angle) {
        refuse(page_.angle, "angle");
        return false;
    }
    DriveCheckErrors_ = true;
    const bool answered = DriveQuery("");
    const auto position = answered ? drive::positionHex(DriveReply_) : std::nullopt;
    if (!position) {
        ctx_.dialogs.error(kInstrumentCaption, "Error ! Could not read the motor position?");
        return false;
    }
    const std::int32_t increments = text::HexTextToInt(*position);
    page_.hex = *position;
    page_.increments = std::to_string(increments);
    angleOffset_ = *angle + double(increments) / drive::kIncrementsPerDegree;
    notify();
    return true;
}

bool MotorDriveLink::DriveAutoMove(const std::string& targetAngle) {
    page_.angle = targetAngle;
    notify();
    return DriveAutoMove();
}

bool MotorDriveLink::DriveAutoMove() {
    page_.autoMoveEnabled = false;
    notify();
    // The drive position the angle box asks for, known before anything moves.
    const auto angle = text::parseDouble(page_.angle);
    const auto increments = angle ? drive::incrementsForAngle(*angle, angleOffset_) : std::nullopt;
    // Now and then the terminal boxes start afresh, so that a long series of scripted moves does
    // not fill them without end.
    if (std::uniform_int_distribution<int>(0, 99)(rng_) == 50) clearTerminals();
    ctx_.pump.pump();
    setAngleColour(kDriveAngleIdle);
    bool ok = FaultReset();
    page_.autoMoveEnabled = false;
    notify();
    ok &= MotorOn();
    setAngleColour(kDriveAnglePowered);
    pauseFor(pauseMs_);
    ok &= RemoveBrake();
    setAngleColour(kDriveAngleReleased);
    pauseFor(pauseMs_);
    const bool moved = DriveMoveToAngle();
    ok &= moved;
    // The move loop ends on any line that says the move is over; only the position the drive
    // reports shows that it got there.
    if (moved && increments) {
        const std::int64_t target = -std::int64_t(*increments);
        const std::int64_t reached =
            drive::isHex8(page_.hex) ? text::HexTextToInt(page_.hex) : target + kArrivedWithin + 1;
        if (std::llabs(reached - target) > kArrivedWithin) {
            ok = false;
            ctx_.dialogs.error(kInstrumentCaption, "Error ! The main motor stands at " + page_.angle +
                                                       " degrees, not at " +
                                                       text::formatPattern(*angle, "0.00") + " degrees.");
        }
    }
    pauseFor(pauseMs_);
    // Brake and power go off whatever happened before: the axis must not stay free.
    ok &= TightenBrake();
    setAngleColour(kDriveAnglePowered);
    pauseFor(pauseMs_);
    ok &= MotorOff();
    setAngleColour(kDriveAngleIdle);
    page_.autoMoveEnabled = true;
    notify();
    if (!ok) ctx_.values.StopRequest = 1;
    return ok;
}

// ---- motor buttons

bool MotorDriveLink::MotorOn() {
    return DriveCommand(drive::kPowerCode, drive::kMotorOnValue);
}

bool MotorDriveLink::MotorOff() {
    return DriveCommand(drive::kPowerCode, drive::kMotorOffValue);
}

bool MotorDriveLink::MotorStop() {
    return DriveCommand(drive::kPowerCode, drive::kStopValue);
}

bool MotorDriveLink::FaultReset() {
    clearTerminals();
    const bool ok = DriveCommand(drive::kPowerCode, drive::kFaultResetValue);
    page_.autoMoveEnabled = true;
    notify();
    return ok;
}

bool MotorDriveLink::RemoveBrake() {
    return DriveCommand(drive::kBrakeCode, drive::kReleaseBrakeValue);
}

bool MotorDriveLink::TightenBrake() {
    return DriveCommand(drive::kBrakeCode, drive::kApplyBrakeValue);
}

void MotorDriveLink::DriveRandomMoves(int count) {
    for (int i = 0; i < count; ++i) {
        const int tenths = std::uniform_int_distribution<int>(0, 5999)(rng_) - 3000;
        page_.angle = text::plainNumber(tenths * 0.1);
        notify();
        // A drive that failed one move would fail the others too, each with its own box.
        if (!DriveMoveToAngle()) return;
        pauseFor(std::uniform_int_distribution<int>(1, 10)(rng_) * pauseMs_);
    }
}

// ---- page switches and terminal

void MotorDriveLink::setStepByStep(bool ticked) {
    page_.stepByStep = ticked;
    page_.autoMoveVisible = !ticked;
    notify();
}

void MotorDriveLink::toggleMotorButtons() {
    page_.motorPanelVisible = !page_.motorPanelVisible;
    notify();
}

void MotorDriveLink::setTestsEnabled(bool ticked) {
    page_.testsEnabled = ticked;
    page_.communicationVisible = ticked;
    notify();
}

void MotorDriveLink::terminalEnter() {
    if (!driver_.Connected()) return;
    sendLine(page_.output.empty() ? std::string() : page_.output.lastLine());
}

void MotorDriveLink::clearMemos() {
    page_.output.clear();
    page_.input.clear();
    page_.input.addLine("");
    notify();
}

} // namespace korvo

// korvo-sim's servo drive as a model, driven with chosen times: what it answers, how it moves.
#include "instruments/motor_drive/simulated_motor_drive.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace korvo {
namespace {

// A status line from its flags and state ("30000000") and its position or error number.
std::string status(const std::string& state, const std::string& tail) {
    return state + tail + "\r";
}

struct Drive {
    explicit Drive(std::vector<std::string> faults = {})
        : model(SimulatedDeviceOptions{1, std::move(faults)}) {}
    // The reply to `line`, sent at `atMs`.
    std::string ask(const std::string& line, std::int64_t atMs = 0) {
        model.receive(line + "\r", atMs);
        EXPECT_EQ(model.nextDueMs(), atMs + SimulatedMotorDrive::kReplyDelayMs);
        EXPECT_TRUE(model.due(atMs + SimulatedMotorDrive::kReplyDelayMs - 1).empty());
        std::string out;
        for (const auto& r : model.due(atMs + SimulatedMotorDrive::kReplyDelayMs)) out += r;
        return out;
    }
    SimulatedMotorDrive model;
};

TEST(SimulatedMotorDrive, AnswersHandshakeStatusAndMalformedFrames) {
    struct Case {
        std::vector<std::string> faults;
        const char* line;
        std::string reply;
    };
    const std::string idle = "00001000", refused = "40001000";
    for (const Case& c : std::vector<Case>{
             {{}, "###############01", "#01\r"},
             {{"no-handshake"}, "###############01", status(refused, "00001006")},
             {{}, "", status(idle, "00000000")},
             {{}, "0000000000000000", status(idle, "00000000")},    // the present toggle: taken already
             {{}, "8000000000000000", status(refused, "00001005")}, // unknown command
             {{}, "8401001C00000002", status(refused, "0000184E")}, // not enabled yet
             {{}, "8401001C0000002", status(refused, "00001006")},  // 15 characters
             {{}, "841F001D0000000g", status(refused, "00001006")},
         }) {
        SCOPED_TRACE(c.line);
        Drive d(c.faults);
        EXPECT_EQ(d.ask(c.line), c.reply);
    }
    Drive d; // line feeds are no part of a line; the reply comes at CR
    d.model.receive("\n\n", 0);
    EXPECT_EQ(d.model.nextDueMs(), -1);
}

TEST(SimulatedMotorDrive, MovesAtItsSpeedWhenPoweredAndReleasedAndStopsWhenTold) {
    Drive d;
    EXPECT_EQ(d.ask("841F001D00000001"), status("80001000", "00000000"));
    EXPECT_EQ(d.ask("04010023FFFFEC78"), status("C0001000", "00001034")); // motor off; the toggle stays
    EXPECT_EQ(d.ask("0401001C00000002"), status("10001000", "00000000"));
    EXPECT_EQ(d.ask("84010023FFFFEC78"), status("50001000", "0000181E")); // brake applied
    EXPECT_EQ(d.ask("8401002200000008"), status("B0001000", "00000000"));
    EXPECT_EQ(d.ask("04010023FFFFEC78", 1000), status("30000000", "00000000")); // running
    EXPECT_EQ(d.model.position(1500), -2500);                                   // speed 10: 5000 per second
    EXPECT_EQ(d.ask("", 2000), status("30001000", "FFFFEC78"));

    // Back to 0; from half way on at speed 30. The brake waits for standstill.
    EXPECT_EQ(d.ask("8401002300000000", 3000), status("B0000000", "FFFFEC78"));
    EXPECT_EQ(d.ask("040500230000001E", 3500), status("30000000", "FFFFF63C"));
    EXPECT_EQ(d.model.position(3600), -1000);
    EXPECT_EQ(d.ask("8401002200000000", 3600), status("70000000", "00001819"));
    EXPECT_EQ(d.ask("", 4000), status("30001000", "00000000"));
    EXPECT_EQ(d.ask("840500230000001F", 4000), status("70001000", "00001018")); // above 30
    EXPECT_EQ(d.ask("84050023FFFFFFFF", 4000), status("70001000", "00001018"));

    // Stop and power off end a move where it stands.
    EXPECT_EQ(d.ask("8401002300010000", 5000), status("B0000000", "00000000"));
    EXPECT_EQ(d.ask("0401001C00000004", 5100), status("30001000", "000005DC")); // speed 30: 1500 in
    EXPECT_FALSE(d.model.moving(9000));
    EXPECT_EQ(d.ask("8401002300010000", 9000), status("B0000000", "000005DC"));
    EXPECT_EQ(d.ask("0401001C00000001", 9100), status("00001000", "00000BB8")); // the brake falls in too
    EXPECT_EQ(d.model.position(12000), 3000);
}

TEST(SimulatedMotorDrive, AFaultStaysUntilItIsReset) {
    for (const auto& [fault, number] : std::vector<std::pair<std::string, std::string>>{
             {"error", "00001024"}, {"unknown-error", "00001217"}}) {
        SCOPED_TRACE(fault);
        Drive d({fault});
        EXPECT_EQ(d.ask("841F001D00000001"), status("80001000", "00000000"));
        EXPECT_EQ(d.ask("040500230000000A"), status("00001000", "00000000")); // speed does not trip it
        EXPECT_EQ(d.ask("8401001C00000002"), status("40001000", number));
        EXPECT_EQ(d.ask(""), status("40001000", number));
        EXPECT_EQ(d.ask("8401001C00000002"), status("40001000", number));
        EXPECT_EQ(d.ask("8401001C00000001"), status("C0001000", number)); // switching off is taken
        EXPECT_EQ(d.ask("0401001C00000008"), status("00001000", "00000000"));
        EXPECT_EQ(d.ask("8401001C00000002"), status("90001000", "00000000")); // it does not come back
    }
}

} // namespace
} // namespace korvo

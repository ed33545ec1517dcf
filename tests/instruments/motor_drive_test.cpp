// The main-motor link: its frames, status decoding and operations, run over the real port driver on a
// pseudo-terminal with korvo-sim's drive answering, in real time with short time-outs and pauses.
#include "common/clock.h"
#include "common/number_text.h"
#include "common/timers.h"
#include "instruments/motor_drive/drive_error_table.h"
#include "instruments/motor_drive/drive_frames.h"
#include "instruments/motor_drive/motor_drive_link.h"
#include "support/link_rig.h"
#include "support/sim_process.h"

#include <gtest/gtest.h>

#include <cmath>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace korvo {
namespace {

using testing::SimProcess;

// The link on the steady clock (korvo-sim answers in real time) or, for the cases where nothing
// answers, on a virtual clock. With simulator arguments it starts korvo-sim, connects to it and lets
// the drive take commands, as the handshake's last frame does.
enum class Time { Real, Virtual };

struct Rig : testing::LinkContext {
    explicit Rig(Time time = Time::Real) : LinkContext(time == Time::Virtual), link(ctx, tap(), paths) {
        link.page().timeout = "1";
        link.setPauseMs(20);
        link.seedRandom(7);
        link.CommPortDriver_2().setComPortPollingDelay(10);
        link.page().changed = [this] {
            if (link.page().angleColour != lastColour) colours.push_back(lastColour = link.page().angleColour);
        };
    }
    explicit Rig(std::vector<std::string> simArgs, bool enable = true) : Rig() {
        sim.emplace(std::move(simArgs));
        link.CommPortDriver_2().setDevicePath(sim->device());
        ready = !sim->device().empty() && link.connectCom() &&
                (!enable || link.DriveCommand(drive::kEnableCode, drive::kEnableValue));
    }
    std::vector<std::string> frames() const {
        std::vector<std::string> out;
        for (const auto& l : port.lines())
            if (l.size() == 16) out.push_back(l);
        return out;
    }

    std::optional<SimProcess> sim;
    std::vector<std::uint32_t> colours; // the angle box's colours as they changed
    std::uint32_t lastColour = kDriveAngleWindow;
    MotorDriveLink link;
    bool ready = false;
};

const std::string kTimeoutText = "Error ! Timeout (1 sec) !\rConnection to the main-motor not ok ?";

TEST(DriveFrames, AnglesIncrementsAndStatusCharacters) {
    struct AngleCase {
        double angle, offset;
        std::optional<std::int32_t> increments;
        const char* target;
    };
    for (const AngleCase& c : std::vector<AngleCase>{
             {1.25, 0, 5000, "FFFFEC78"},
             {-1.25, 0, -5000, "00001388"},
             {1, -1.25, 9000, "FFFFDCD8"},
             {0.000125, 0, 0, "00000000"}, // half an increment: ties go to the even count
             {0.000375, 0, 2, "FFFFFFFE"},
             {-0.000625, 0, -2, "00000002"},
             {1e6, 0, std::nullopt, ""}, // beyond what 32 bits hold
         }) {
        SCOPED_TRACE(c.angle);
        const auto inc = drive::incrementsForAngle(c.angle, c.offset);
        EXPECT_EQ(inc, c.increments);
        if (inc) {
            EXPECT_EQ(drive::hex8(-*inc), c.target);
        }
    }
    EXPECT_EQ(drive::hex8(10), "0000000A");
    EXPECT_EQ(drive::hex8(INT32_MIN), "80000000");
    EXPECT_EQ(drive::angleForPosition(text::HexTextToInt("FFFFEC78"), 0), 1.25);

    struct StatusCase {
        const char* line;
        char toggle;
        bool error, ended;
        const char* key;
    };
    for (const StatusCase& c : std::vector<StatusCase>{
             {"8000100000000000", '0', false, true, "E00000000"},
             {"C000100000001024", '0', true, true, "E1024"},
             {"4000000000001217", '8', true, false, "E1217"},
             {"X0001", '0', true, true, "E"}, // not a hexadecimal digit: every bit counts as set
             {"1", '8', false, true, "E"},    // too short to say a move runs
         }) {
        SCOPED_TRACE(c.line);
        EXPECT_EQ(drive::nextToggleDigit(c.line), c.toggle);
        EXPECT_EQ(drive::errorFlag(c.line), c.error);
        EXPECT_EQ(drive::moveEnded(c.line), c.ended);
        if (c.error) {
            EXPECT_EQ(drive::errorKey(c.line), c.key);
        }
    }
    EXPECT_EQ(drive::positionHex("B0000000FFFFEC78"), "FFFFEC78");
    EXPECT_EQ(drive::positionHex("B0000000FFFFEC7"), std::nullopt);
}

TEST(DriveErrorTable, AllEntriesUniqueAndLookedUpByExactKey) {
    const auto table = driveErrorTable();
    ASSERT_EQ(table.size(), 242u);
    std::set<std::string> keys;
    for (const auto& e : table) {
        EXPECT_TRUE(keys.insert(e.key).second) << e.key;
        EXPECT_EQ(std::string(e.key).size(), 5u);
        EXPECT_EQ(std::string(e.key).find_first_not_of("0123456789ABCDEF", 1), std::string::npos) << e.key;
        EXPECT_EQ(driveErrorText(e.key), e.text);
    }
    const std::vector<std::pair<const char*, const char*>> spots{
        {"E1000", "First entry"},
        {"E101A", "Communication protocol: servicenot supprted"},
        {"E1024", "Quick-stop caused by LIMP"},
        {"E1402", "undervoltage DC bus limit 2: drive erro"},
        {"E1823", "-"},
        {"E1867", "List-driven operation: finising number set to value smaller than starting number"},
        {"E201C", "TIMEOUT while reading control objects"},
    };
    for (const auto& [key, text] : spots) EXPECT_STREQ(driveErrorText(key), text) << key;
    for (const char* unknown : {"E103A", "E1217", "e1024", "E1024 ", "1024", ""})
        EXPECT_EQ(driveErrorText(unknown), nullptr) << unknown;
}

TEST(MotorDriveLink, ReceivedBytesBecomeLines) {
    // The line building itself is the monochromator's too (tested there); here: what the drive's
    // link makes of it.
    struct Case {
        std::vector<std::string> batches;
        std::string reply;
        std::vector<std::string> box;
    };
    for (const Case& c : std::vector<Case>{
             {{"80001", "00000000012\r\n"}, "8000100000000012", {"8000100000000012", ""}},
             {{"AB", "\b\b", "C\r"}, "C", {"C", ""}},
             {{"#01\r", "12"}, "#01", {"#01", "12"}},
         }) {
        Rig r(Time::Virtual);
        for (const auto& b : c.batches) r.link.CommPortDriver_2ReceiveData(b.data(), std::int32_t(b.size()));
        EXPECT_EQ(r.link.DriveReply(), c.reply);
        EXPECT_EQ(r.link.page().input.lines(), c.box);
    }
}

TEST(MotorDriveLink, WithoutAConnectionTheAutomaticMoveTimesOutAsTheUnconnectedDriveDoes) {
    Rig r(Time::Virtual);
    r.link.page().timeout = "3";
    r.link.setPauseMs(1000);
    r.link.DriveAutoMove("12.5");
    ASSERT_EQ(r.dialogs.shown.size(), 6u);
    for (const auto& box : r.dialogs.shown) {
        EXPECT_EQ(box.text, "Error ! Timeout (3 sec) !\rConnection to the main-motor not ok ?");
        EXPECT_EQ(box.caption, "Korvo 02");
        EXPECT_EQ(box.icon, DialogIcon::Error);
    }
    EXPECT_GE(r.clock.nowMs(), 6 * 3000 + 4 * 1000);
    EXPECT_LT(r.clock.nowMs(), 6 * 3000 + 4 * 1000 + 1000);
    EXPECT_EQ(r.values.StopRequest, 1);
    EXPECT_EQ(r.link.DriveErrorCode(), 1);
    EXPECT_EQ(r.panels.text[2], " Main Motor: 1");
    EXPECT_FALSE(r.panels.raised[0]);
    EXPECT_TRUE(r.panels.showed(" waiting for main-motor ...... "));
    EXPECT_TRUE(r.panels.showed("  waiting for main-motor")); // the last step of the scroll
    EXPECT_TRUE(r.link.page().autoMoveEnabled);

    const TCommPortDriver& d = r.link.CommPortDriver_2(); // the drive's line: COM2, 9600 7E1, DTR
    EXPECT_EQ(d.deviceName(), "/dev/ttyS1");
    EXPECT_TRUE(d.ComPortSpeed() == br9600 && d.ComPortDataBits() == db7BITS && d.ComPortParity() == ptEVEN &&
                d.ComPortStopBits() == sb1BITS && d.EnableDTROnOpen());
}

TEST(MotorDriveLink, FieldsThatCannotBeSentAreRefusedBeforeAnythingWaits) {
    struct Case {
        std::string MotorDrivePage::*field;
        std::string text;
        bool (MotorDriveLink::*operation)();
        std::string box;
    };
    for (const Case& c : std::vector<Case>{
             {&MotorDrivePage::hex, "FFFFEC7", &MotorDriveLink::DriveMoveToHex,
              "\"FFFFEC7\" is not a valid position (8 hexadecimal digits)."},
             {&MotorDrivePage::increments, "2147483648", &MotorDriveLink::DriveCalcAndMove,
              "\"2147483648\" is not a valid number of increments."},
             {&MotorDrivePage::angle, "1,5", &MotorDriveLink::DriveMoveToAngle,
              "\"1,5\" is not a valid angle."},
             {&MotorDrivePage::angle, "1e6", &MotorDriveLink::DriveMoveToAngle,
              "\"1e6\" is beyond the range of the main motor."},
             {&MotorDrivePage::speed, "ten", &MotorDriveLink::DriveSetSpeed, "\"ten\" is not a valid speed."},
             {&MotorDrivePage::timeout, "1s", &MotorDriveLink::MotorOn, "\"1s\" is not a valid time-out."},
         }) {
        Rig r(Time::Virtual);
        r.link.page().*c.field = c.text;
        const MotorDrivePage before = r.link.page();
        EXPECT_FALSE((r.link.*c.operation)());
        ASSERT_EQ(r.dialogs.texts(), std::vector<std::string>{c.box});
        EXPECT_EQ(r.clock.nowMs(), 0);
        EXPECT_TRUE(r.link.page().hex == before.hex && r.link.page().increments == before.increments &&
                    r.link.page().angleColour == before.angleColour);
    }
}

TEST(MotorDriveLink, HandshakeEnablesTheDriveAndSetsTheSpeed) {
    {
        Rig r({"drive"}, false);
        ASSERT_TRUE(r.ready);
        EXPECT_TRUE(r.link.page().openEnabled);
        r.link.page().speed = "25";
        r.link.DriveOpen();
        EXPECT_TRUE(r.dialogs.shown.empty()) << r.dialogs.texts()[0];
        EXPECT_EQ(r.port.lines(), (std::vector<std::string>{"0000000000000000", "", "", "###############01",
                                                       "###############01", "", "841F001D00000001", "",
                                                       "040500230000000A"}));
        EXPECT_TRUE(r.link.page().motorPanelVisible);
        EXPECT_EQ(r.link.page().speed, "10");
        EXPECT_EQ(r.panels.text[2], " Main Motor: 0");
        r.link.disconnectCom();
        EXPECT_FALSE(r.link.page().motorPanelVisible);
        EXPECT_FALSE(r.link.page().openEnabled);
    }
    {
        Rig r({"drive", "--fault", "no-handshake"}, false);
        ASSERT_TRUE(r.ready);
        r.link.DriveOpen();
        EXPECT_EQ(r.dialogs.texts(),
                  std::vector<std::string>{"Error ! Connection to the main-motor not ok ?"});
        EXPECT_FALSE(r.link.page().motorPanelVisible);
        EXPECT_TRUE(r.frames().size() == 1u && r.frames()[0] == "0000000000000000"); // no enable frame
    }
    {
        // A drive that never answers is offered the handshake five times, 600 ms each, then asked once
        // more with the request's time-out.
        SimProcess sim({"drive", "--fault", "no-reply"});
        Rig r(Time::Virtual);
        r.link.CommPortDriver_2().setDevicePath(sim.device());
        ASSERT_TRUE(r.link.connectCom());
        r.link.DriveOpen();
        EXPECT_EQ(r.port.count("0000000000000000"), 5);
        EXPECT_EQ(r.port.count("###############01"), 6);
        EXPECT_EQ(r.dialogs.texts(), std::vector<std::string>{kTimeoutText});
        EXPECT_GE(r.clock.nowMs(), 5 * 600 + 1000);
        EXPECT_LT(r.clock.nowMs(), 5 * 600 + 1500);
        EXPECT_FALSE(r.link.page().motorPanelVisible);
    }
}

TEST(MotorDriveLink, CommandsAlternateTheirToggleDigitAndTheDriveTakesEach) {
    Rig r({"drive"});
    ASSERT_TRUE(r.ready);
    ASSERT_TRUE(r.link.DriveSetSpeed());
    // The first digit of the drive's status after each command: 8 toggle, 2 brake released, 1 powered.
    struct Case {
        bool (MotorDriveLink::*command)();
        const char* frame;
        char status;
    };
    for (const Case& c : std::vector<Case>{
             {&MotorDriveLink::MotorOn, "8401001C00000002", '9'},
             {&MotorDriveLink::RemoveBrake, "0401002200000008", '3'},
             {&MotorDriveLink::MotorStop, "8401001C00000004", 'B'},
             {&MotorDriveLink::TightenBrake, "0401002200000000", '1'},
             {&MotorDriveLink::MotorOff, "8401001C00000001", '8'},
             {&MotorDriveLink::FaultReset, "0401001C00000008", '0'},
         }) {
        SCOPED_TRACE(c.frame);
        r.port.clear();
        EXPECT_TRUE((r.link.*c.command)());
        EXPECT_EQ(r.port.lines(), (std::vector<std::string>{"", c.frame}));
        EXPECT_EQ(r.link.DriveReply().substr(0, 1), std::string(1, c.status));
    }
    EXPECT_TRUE(r.dialogs.shown.empty());
}

TEST(MotorDriveLink, DriveErrorsAreShownWithTheirTableText) {
    struct Case {
        const char* fault;
        const char* box;
    };
    for (const Case& c : std::vector<Case>{
             {"error", "Error from main motor! Error-Code: E1024\rQuick-stop caused by LIMP"},
             {"unknown-error", "Error from main motor! Error-Code: E1217"},
         }) {
        Rig r({"drive", "--fault", c.fault});
        ASSERT_TRUE(r.ready);
        EXPECT_FALSE(r.link.MotorOn());
        ASSERT_EQ(r.dialogs.texts(), std::vector<std::string>{c.box});
        EXPECT_EQ(r.dialogs.shown[0].icon, DialogIcon::Error);
        EXPECT_FALSE(r.link.DriveDefinePosition()); // the fault stays until it is reset
        EXPECT_EQ(r.dialogs.texts().back(), "Error ! Could not read the motor position?");
        r.dialogs.clear();
        EXPECT_TRUE(r.link.FaultReset());
        EXPECT_TRUE(r.link.MotorOn());
        EXPECT_TRUE(r.dialogs.shown.empty());
        EXPECT_EQ(r.link.DriveErrorCode(), 0); // drive errors are no time-outs
    }
}

TEST(MotorDriveLink, ARefusedMoveEndsTheLoopAtOnce) {
    Rig r({"drive"});
    ASSERT_TRUE(r.ready);
    r.link.page().angle = "1.25";
    for (const char* box : {"Error from main motor! Error-Code: E1034\rDrive not active",
                            "Error from main motor! Error-Code: E181E\rDrive is blocked or breaked"}) {
        r.port.clear();
        r.dialogs.clear();
        EXPECT_FALSE(r.link.DriveMoveToAngle());
        EXPECT_EQ(r.dialogs.texts(), std::vector<std::string>{box});
        ASSERT_EQ(r.port.lines().size(), 2u); // the status request and the move, nothing after
        EXPECT_EQ(r.port.lines()[1].substr(1), "4010023FFFFEC78");
        EXPECT_EQ(r.link.page().angle, "1.25");
        EXPECT_EQ(r.link.page().angleColour, kDriveAngleIdle);
        ASSERT_TRUE(r.link.MotorOn());
    }
}

TEST(MotorDriveLink, TheMoveLoopFollowsTheDriveAndDefinePositionMovesTheOrigin) {
    Rig r({"drive"});
    ASSERT_TRUE(r.ready);
    ASSERT_TRUE(r.link.MotorOn());
    ASSERT_TRUE(r.link.RemoveBrake());

    r.link.clearMemos(); // speed 10: a second for the move, several status lines while it runs
    r.port.clear();
    r.colours.clear();
    r.link.page().angle = "1.25";
    ASSERT_TRUE(r.link.DriveMoveToAngle());
    EXPECT_EQ(r.frames().size(), 1u);
    EXPECT_EQ(r.frames()[0].substr(1), "4010023FFFFEC78");
    EXPECT_EQ(r.link.page().angle, "1.25");
    EXPECT_EQ(r.link.page().increments, "-5000");
    EXPECT_EQ(r.link.page().hex, "FFFFEC78");
    EXPECT_EQ(r.colours, (std::vector<std::uint32_t>{kDriveAngleMoving, kDriveAngleIdle}));
    // Replies to the move: running, ..., the first that says it ended, and one more status.
    std::vector<std::string> replies = r.link.page().input.lines();
    ASSERT_FALSE(replies.empty());
    EXPECT_EQ(replies.back(), "");
    replies.pop_back();
    ASSERT_GE(replies.size(), 5u);               // status, move, running..., ended, one more status
    EXPECT_EQ(r.port.lines().size(), replies.size()); // every request had its line
    EXPECT_EQ(replies[1][4], '0');
    EXPECT_EQ(replies[replies.size() - 3][4], '0');
    EXPECT_EQ(replies[replies.size() - 2][4], '1');
    EXPECT_EQ(replies.back()[4], '1');

    r.link.page().angle = "0";
    ASSERT_TRUE(r.link.DriveDefinePosition());
    EXPECT_EQ(r.link.angleOffset(), -1.25);
    EXPECT_EQ(r.link.page().increments, "-5000");
    r.link.page().angle = "1";
    ASSERT_TRUE(r.link.DriveMoveToAngle());
    EXPECT_EQ(r.frames().back().substr(1), "4010023FFFFDCD8");
    EXPECT_EQ(r.link.page().angle, "1.00");
    EXPECT_EQ(r.link.page().increments, "-9000");
    EXPECT_TRUE(r.dialogs.shown.empty());
}

TEST(MotorDriveLink, TheStopButtonEndsAMoveThatWouldTakeLong) {
    Rig r({"drive"});
    ASSERT_TRUE(r.ready);
    r.link.page().speed = "1";
    ASSERT_TRUE(r.link.DriveSetSpeed() && r.link.MotorOn() && r.link.RemoveBrake());
    bool busyAfterStop = false;
    r.script.once(
        [&] {
            const std::string& reply = r.link.DriveReply();
            // Stopped some 100 increments into the move, so that the angle shows it moved.
            return r.link.page().angleColour == kDriveAngleMoving && reply.size() == 16 && reply[4] == '0' &&
                   text::HexTextToInt(reply.substr(8)) <= -100;
        },
        [&] {
            r.link.MotorStop();
            busyAfterStop = r.link.DriveBusy(); // the move's own request still waits
        });
    r.link.page().angle = "5"; // 40 s at speed 1
    const std::int64_t start = r.clock.nowMs();
    EXPECT_TRUE(r.link.DriveMoveToAngle());
    EXPECT_LT(r.clock.nowMs() - start, 5000);
    const double reached = text::parseDouble(r.link.page().angle).value.value_or(99);
    EXPECT_GT(reached, 0);
    EXPECT_LT(reached, 1);
    EXPECT_TRUE(busyAfterStop);
    EXPECT_FALSE(r.link.DriveBusy());
    EXPECT_TRUE(r.dialogs.shown.empty());
}

TEST(MotorDriveLink, SpeedsOutsideZeroToThirtyAreNotSent) {
    Rig r({"drive"});
    ASSERT_TRUE(r.ready);
    struct Case {
        const char* speed;
        const char* box; // nullptr: sent
        const char* frame;
    };
    for (const Case& c : std::vector<Case>{
             {"31", "Value to big ! (max: 30)", nullptr},
             {"-1", "Speed >0 ! ?", nullptr},
             {"0", nullptr, "0405002300000000"},
             {"30", nullptr, "840500230000001E"},
         }) {
        SCOPED_TRACE(c.speed);
        r.port.clear();
        r.dialogs.clear();
        r.link.page().speed = c.speed;
        EXPECT_EQ(r.link.DriveSetSpeed(), c.box == nullptr);
        EXPECT_EQ(r.dialogs.texts(), c.box ? std::vector<std::string>{c.box} : std::vector<std::string>{});
        EXPECT_TRUE(!c.box || r.dialogs.shown[0].icon == DialogIcon::None); // a plain information box
        EXPECT_EQ(r.frames(), c.box ? std::vector<std::string>{} : std::vector<std::string>{c.frame});
    }
}

TEST(MotorDriveLink, TheAutomaticMoveRunsTheWholeSequence) {
    Rig r({"drive"});
    ASSERT_TRUE(r.ready);
    r.link.page().speed = "30";
    ASSERT_TRUE(r.link.DriveSetSpeed());
    r.port.clear();
    r.colours.clear();
    bool enabledWhileMoving = true;
    r.script.always([&] {
        if (r.link.page().angleColour == kDriveAngleMoving)
            enabledWhileMoving &= r.link.page().autoMoveEnabled;
    });
    MotorDrive& drive = r.link;
    drive.DriveAutoMove("-0.5");
    EXPECT_TRUE(r.dialogs.shown.empty());
    EXPECT_EQ(r.values.StopRequest, 0);
    EXPECT_EQ(r.frames(),
              (std::vector<std::string>{"8401001C00000008", "0401001C00000002", "8401002200000008",
                                        "04010023000007D0", "8401002200000000", "0401001C00000001"}));
    EXPECT_EQ(r.colours, (std::vector<std::uint32_t>{kDriveAngleIdle, kDriveAnglePowered, kDriveAngleReleased,
                                                     kDriveAngleMoving, kDriveAngleIdle, kDriveAnglePowered,
                                                     kDriveAngleIdle}));
    EXPECT_FALSE(enabledWhileMoving);
    EXPECT_TRUE(r.link.page().autoMoveEnabled);
    EXPECT_EQ(r.link.page().angle, "-0.50");
    EXPECT_EQ(text::HexTextToInt(r.link.DriveReply().substr(0, 1)) & 3, 0); // brake applied, motor off
}

TEST(MotorDriveLink, AFailingStepOfTheAutomaticMoveStopsTheRun) {
    Rig r({"drive", "--fault", "error"});
    ASSERT_TRUE(r.ready);
    r.link.DriveAutoMove("1");
    ASSERT_FALSE(r.dialogs.shown.empty());
    EXPECT_EQ(r.dialogs.shown[0].text, "Error from main motor! Error-Code: E1024\rQuick-stop caused by LIMP");
    EXPECT_EQ(r.values.StopRequest, 1);
    EXPECT_TRUE(r.link.page().autoMoveEnabled);
    EXPECT_EQ(r.frames().back().substr(1), "401001C00000001"); // switched off all the same
}

TEST(MotorDriveLink, SilenceAndAHangUpEndInATimeOut) {
    {
        Rig r({"drive", "--fault", "no-reply"}, false);
        ASSERT_TRUE(r.ready);
        const std::int64_t start = r.clock.nowMs();
        EXPECT_FALSE(r.link.MotorOn());
        EXPECT_LT(r.clock.nowMs() - start, 3000);
        EXPECT_EQ(r.dialogs.texts(), std::vector<std::string>{kTimeoutText});
        EXPECT_EQ(r.port.lines(), std::vector<std::string>{""}); // without a status line no frame is sent
        EXPECT_EQ(r.link.DriveErrorCode(), 1);
        EXPECT_EQ(r.panels.text[2], " Main Motor: 1");
        EXPECT_FALSE(r.link.DriveBusy());
    }
    {
        // Replies: enable 2, speed 2, motor on 2, brake 2, then the move's status, move and one status.
        Rig r({"drive", "--fault", "hangup", "--after", "11"});
        ASSERT_TRUE(r.ready);
        r.link.page().speed = "30";
        ASSERT_TRUE(r.link.DriveSetSpeed() && r.link.MotorOn() && r.link.RemoveBrake());
        r.link.page().angle = "5";
        const std::int64_t start = r.clock.nowMs();
        EXPECT_FALSE(r.link.DriveMoveToAngle());
        EXPECT_LT(r.clock.nowMs() - start, 4000);
        EXPECT_EQ(r.dialogs.texts(), std::vector<std::string>{kTimeoutText});
        EXPECT_EQ(r.link.DriveErrorCode(), 1);
        EXPECT_EQ(r.link.page().angleColour, kDriveAngleIdle);
        EXPECT_TRUE(r.sim->ended());
    }
}

TEST(MotorDriveLink, TheTerminalSendsTheLastLineTyped) {
    Rig r;
    r.link.page().output.addLine("typed");
    r.link.terminalEnter(); // not connected: nothing goes out
    EXPECT_TRUE(r.port.writes().empty());
    SimProcess sim({"drive"});
    r.link.CommPortDriver_2().setDevicePath(sim.device());
    ASSERT_TRUE(r.link.connectCom());
    EXPECT_TRUE(r.link.page().output.empty()); // connecting empties the boxes
    r.link.page().output.addLine("x");
    r.link.page().output.addLine("###############01");
    r.link.terminalEnter();
    EXPECT_EQ(r.port.bytes(), "###############01\r");
    EXPECT_TRUE(r.until([&] { return r.link.DriveReply() == "#01"; }));
    EXPECT_EQ(r.link.page().input.lines(), (std::vector<std::string>{"#01", ""}));
}

TEST(MotorDriveLink, RandomMovesEndAtTheFirstFailure) {
    Rig r(Time::Virtual);
    r.link.DriveRandomMoves(100);
    EXPECT_EQ(r.dialogs.texts(), std::vector<std::string>{kTimeoutText});
    const double angle = *text::parseDouble(r.link.page().angle);
    EXPECT_GE(angle, -300.0);
    EXPECT_LT(angle, 300.0);
    EXPECT_NEAR(angle * 10, std::round(angle * 10), 1e-9); // tenths of a degree
}

} // namespace
} // namespace korvo

// The Keithley links over the real port driver and termios transport, with korvo-sim playing the
// electrometer on a pseudo-terminal. Real time throughout (the simulator answers in real time), so
// the time-outs are kept at one second.
#include "common/file_util.h"
#include "instruments/electrometer/electrometer_link.h"
#include "support/link_rig.h"
#include "support/sim_process.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <cmath>
#include <optional>
#include <string>
#include <vector>

namespace korvo {
namespace {

using testing::SimProcess;

// A link in program `p` on korvo-sim's electrometer started with `simArgs` (none: on a device that
// does not exist).
struct Keithley {
    explicit Keithley(testing::LinkContext& p, std::vector<std::string> simArgs = {})
        : link(p.ctx, p.tap(), p.paths) {
        if (!simArgs.empty()) sim.emplace(std::move(simArgs));
        link.setDevicePath(sim ? sim->device() : "/nonexistent/keithley");
        link.page().timeout = "1";
    }
    std::optional<SimProcess> sim;
    ElectrometerLink link;
};

const std::string kTimeoutText = "Error ! Timeout (1 sec) !\rConnection to Keithley not ok ?";
const std::string kNowhereText =
    std::string(kLinkConnectFailed) + "\r/nonexistent/keithley: No such file or directory";

TEST(KeithleyLink, ConnectingShowsTheSetUpAndDisconnectingHidesIt) {
    testing::LinkContext p;
    Keithley k(p, {"keithley"});
    ElectrometerLink& l = k.link;
    int changes = 0;
    l.page().changed = [&] { ++changes; };

    ASSERT_TRUE(l.connectCom()) << l.driver().lastError();
    EXPECT_EQ(p.port.all()[1], "apply 19200"); // DTR stays low
    const ElectrometerPage& pg = l.page();
    EXPECT_EQ(pg.status, "Connected to COM");
    EXPECT_TRUE(pg.installVisible && pg.readingVisible && pg.readEnabled && pg.disconnectEnabled);
    EXPECT_FALSE(pg.connectEnabled || pg.comRadiosEnabled);
    EXPECT_EQ(pg.installLines.substr(0, 33), "Menu \xC2\xBB Communications \xC2\xBB RS-232\r");
    EXPECT_GT(changes, 0);
    l.chooseComPort(pnCOM4); // the port stays while connected
    EXPECT_EQ(pg.comPort, pnCOM2);

    l.disconnectCom();
    EXPECT_FALSE(l.connected());
    EXPECT_EQ(pg.status, "Disconnected");
    EXPECT_FALSE(pg.installVisible || pg.readingVisible || pg.readEnabled || pg.disconnectEnabled);
    EXPECT_TRUE(pg.connectEnabled && pg.comRadiosEnabled);
    EXPECT_TRUE(p.dialogs.shown.empty());

    Keithley nowhere(p);
    int beeps = 0;
    nowhere.link.page().beep = [&] { ++beeps; };
    EXPECT_FALSE(nowhere.link.connectCom());
    EXPECT_EQ(nowhere.link.page().status, kLinkConnectFailed);
    EXPECT_EQ(p.dialogs.texts(), std::vector<std::string>{kNowhereText});
    EXPECT_EQ(beeps, 1);
}

// One reading against the simulator, case by case: what it answered, what was stored and said.
struct ReadingCase {
    const char* name;
    std::vector<std::string> sim;
    int mode;
    const char* scaling;
    const char* reply; // KeiReply afterwards
    double value;      // KeiValue afterwards (42 = kept)
    const char* label; // the result label afterwards
    const char* line;  // the line the input box received
    std::vector<std::string> boxes;
    bool stops;
};

TEST(KeithleyLink, ReadingsAreCleanedScaledAndChecked) {
    const ReadingCase cases[] = {
        {"current", {"--reading", "1.234567e-9"}, 1, "1E+04", "+1.234567E-09", 1.234567e-05, "0  (+1.234567E-09)",
         "+1.234567E-09NADC", {}, false},
        {"voltage", {"--reading", "0.25"}, 0, "1", "+2.500000E-01", 0.25, "0  (+2.500000E-01)", "+2.500000E-01NVDC",
         {}, false},
        {"overflow", {"--fault", "overflow"}, 1, "1E+04", "-9.9E+37", -9.9e41, nullptr, "-9.9E+37",
         {"Keithley Overflow !", "Scaling factor to big !"}, true},
        {"too big", {"--reading", "5e6"}, 0, "1000", "+5.000000E+06", 5e9, "5000000000  (+5.000000E+06)",
         "+5.000000E+06NVDC", {"Scaling factor to big !"}, true},
        {"bad number", {"--reading", "1.234567e-9", "--fault", "bad-number"}, 1, "1E+04", "+1.2.34567E-09", 42,
         "-------", "+1.2.34567E-09NADC", {"Keithley-Error ! (+1.2.34567E-09)"}, true},
        {"short", {"--fault", "short"}, 1, "1E+04", "1E-9", 42, "-------", "1E-9", {}, false},
    };
    for (const ReadingCase& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<std::string> args{"keithley"};
        args.insert(args.end(), c.sim.begin(), c.sim.end());
        testing::LinkContext p;
        Keithley k(p, args);
        ElectrometerLink& l = k.link;
        ASSERT_TRUE(l.connectCom());
        l.chooseMode(c.mode);
        l.page().scaling = c.scaling;
        p.values.KeiValue = 42;
        bool disabledDuring = false;
        l.page().changed = [&] { disabledDuring |= !l.page().readEnabled; };

        l.readDataPressed();
        EXPECT_EQ(l.KeiReply(), c.reply);
        EXPECT_NEAR(p.values.KeiValue, c.value, std::fabs(c.value) * 1e-12);
        if (c.label) {
            EXPECT_EQ(l.page().resultLabel, c.label);
        }
        EXPECT_EQ(l.page().input.lines(), (std::vector<std::string>{c.line, ""}));
        EXPECT_EQ(p.dialogs.texts(), c.boxes);
        for (const auto& b : p.dialogs.shown) {
            EXPECT_EQ(b.caption, "Korvo 02");
            EXPECT_EQ(b.icon, DialogIcon::Error);
        }
        EXPECT_EQ(p.values.StopRequest, c.stops ? 1 : 0);
        // Every reply, good or bad, is one query: no reconnect, no second attempt.
        EXPECT_EQ(p.port.count("FETCh?"), 1);
        EXPECT_EQ(p.port.count(std::string("func '") + kKeithleyModes[std::size_t(c.mode)].function + "'"), 1);
        EXPECT_TRUE(disabledDuring);
        EXPECT_TRUE(l.page().readEnabled);
        EXPECT_FALSE(l.KeiBusy());
    }
}

TEST(KeithleyLink, CommandsGoOutAsSeparateWritesEndedByCrAndLf) {
    testing::LinkContext p;
    Keithley k(p, {"keithley", "--reading", "1e-9"});
    ASSERT_TRUE(k.link.connectCom());
    k.link.chooseMode(1);
    k.link.KeiRead();
    EXPECT_EQ(p.port.all(), (std::vector<std::string>{"open", "apply 19200", "func 'CURRent:DC'", "\r", "\n",
                                                      "FETCh?", "\r", "\n"}));
}

TEST(KeithleyLink, NoUsableReplyReconnectsOnceThenReportsTheTimeOut) {
    // Lines without an exponent come, but none is a reading (no reply at all is the hang-up's case).
    testing::LinkContext p;
    Keithley k(p, {"keithley", "--fault", "no-exponent"});
    ASSERT_TRUE(k.link.connectCom());
    p.values.KeiValue = 42;
    const std::int64_t start = p.clock.nowMs();
    k.link.KeiRead();
    const std::int64_t took = p.clock.nowMs() - start;

    EXPECT_EQ(p.dialogs.texts(), std::vector<std::string>{kTimeoutText});
    EXPECT_EQ(p.values.StopRequest, 1);
    EXPECT_EQ(p.values.KeiValue, 42);
    EXPECT_EQ(k.link.KeiReply(), "");
    // The port was closed and opened again between the two queries.
    const auto log = p.port.all();
    const auto first = std::find(log.begin(), log.end(), "FETCh?");
    const auto second = std::find(first + 1, log.end(), "FETCh?");
    ASSERT_NE(second, log.end());
    const std::vector<std::string> between(first + 3, second);
    EXPECT_EQ(between,
              (std::vector<std::string>{"close", "open", "apply 19200", "func 'VOLTage:DC'", "\r", "\n"}));
    EXPECT_TRUE(k.link.connected());
    EXPECT_GE(took, 2200);
    EXPECT_LT(took, 3200);
    EXPECT_EQ(k.link.page().input.count(), 2u); // the line of the second query
    // The status bar scrolled its 28-character window through the text while waiting.
    const auto& shown = p.panels.panel0;
    ASSERT_GT(shown.size(), 30u);
    EXPECT_EQ(shown[0], " waiting for Keithley ...... ");
    EXPECT_EQ(shown[27], "  waiting for Keithley");
    EXPECT_EQ(shown[28], shown[0]);
    EXPECT_EQ(shown.back(), "Ready");
    EXPECT_FALSE(p.panels.raised[0]);
}

TEST(KeithleyLink, ALostReplyIsRecoveredByTheReconnect) {
    testing::LinkContext p;
    Keithley k(p, {"keithley", "--reading", "2e-9", "--fault", "drop", "--every", "2"});
    ASSERT_TRUE(k.link.connectCom());
    k.link.KeiRead();
    EXPECT_DOUBLE_EQ(p.values.KeiValue, 2e-5);
    p.values.KeiValue = 0;
    k.link.KeiRead(); // the second reply is lost: reconnect, ask again, get the third
    EXPECT_DOUBLE_EQ(p.values.KeiValue, 2e-5);
    EXPECT_TRUE(p.dialogs.shown.empty());
    EXPECT_EQ(p.values.StopRequest, 0);
    EXPECT_EQ(p.port.count("FETCh?"), 3);
    EXPECT_EQ(p.port.count("close"), 1);
    EXPECT_EQ(k.link.page().status, "Connected to COM");
    EXPECT_TRUE(k.link.page().readEnabled);
}

TEST(KeithleyLink, LinesArriveInPiecesAndEachReplyIsOneLine) {
    // Three bytes every 60 ms: the driver's 50 ms polls see the reply in pieces, CR and LF apart.
    testing::LinkContext p;
    Keithley k(p, {"keithley", "--reading", "-3.5e-10", "--fault", "split", "--split-bytes", "3", "--split-ms", "60"});
    ASSERT_TRUE(k.link.connectCom());
    k.link.chooseMode(1);
    ElectrometerPage& pg = k.link.page();
    // A full box: every reading makes room for its line, the oldest goes.
    for (int i = 0; i < 20; ++i) pg.input.addLine("old " + std::to_string(i));
    pg.input.addLine("");
    for (int i = 0; i < 3; ++i) {
        k.link.KeiRead();
        EXPECT_EQ(k.link.KeiReply(), "-3.500000E-10");
        EXPECT_DOUBLE_EQ(p.values.KeiValue, -3.5e-6);
    }
    EXPECT_EQ(pg.input.count(), 21u);
    EXPECT_EQ(pg.input.lines()[0], "old 3");
    EXPECT_EQ(pg.input.lines()[16], "old 19");
    for (std::size_t i = 17; i < 20; ++i) EXPECT_EQ(pg.input.lines()[i], "-3.500000E-10NADC");
    EXPECT_EQ(pg.input.lastLine(), "");
    EXPECT_TRUE(p.dialogs.shown.empty());
}

TEST(KeithleyLink, TheBaudListReprogramsAnOpenPortAtOnce) {
    testing::LinkContext p;
    Keithley k(p, {"keithley", "--reading", "1e-9"});
    ElectrometerLink& l = k.link;
    l.chooseBaudRate(4); // "1200" while closed: taken at the next connect
    EXPECT_EQ(l.page().baudText, "1200");
    ASSERT_TRUE(l.connectCom());
    EXPECT_EQ(p.port.all().back(), "apply 1200");
    l.KeiRead();
    ASSERT_FALSE(l.page().input.empty());

    l.chooseBaudRate(2);
    EXPECT_EQ(l.driver().ComPortSpeed(), br4800);
    EXPECT_EQ(p.port.all().back(), "apply 4800");
    EXPECT_TRUE(l.connected());
    EXPECT_EQ(l.page().baudText, "4800");
    EXPECT_TRUE(l.page().input.empty());
    l.chooseBaudRate(7); // no such entry
    EXPECT_EQ(l.driver().ComPortSpeed(), br4800);
    l.KeiRead();
    EXPECT_DOUBLE_EQ(p.values.KeiValue, 1e-5);
}

TEST(KeithleyLink, TwoLinksShareKeiValueAndKeepTheirOwnReadings) {
    testing::LinkContext p;
    Keithley a(p, {"keithley", "--reading", "2.5e-9"}), b(p, {"keithley", "--reading", "1.25"});
    ASSERT_TRUE(a.link.connectCom());
    ASSERT_TRUE(b.link.connectCom());
    a.link.chooseMode(1);
    b.link.page().scaling = "1";

    a.link.KeiRead();
    EXPECT_DOUBLE_EQ(p.values.KeiValue, 2.5e-5);
    b.link.KeiRead();
    EXPECT_DOUBLE_EQ(p.values.KeiValue, 1.25);
    EXPECT_DOUBLE_EQ(a.link.KeiRawValue(), 2.5e-9);
    EXPECT_DOUBLE_EQ(b.link.KeiRawValue(), 1.25);
    EXPECT_EQ(a.link.page().input.lines()[0], "+2.500000E-09NADC");
    EXPECT_EQ(b.link.page().input.lines()[0], "+1.250000E+00NVDC");
    EXPECT_EQ(a.link.page().resultLabel, "0  (+2.500000E-09)");
    EXPECT_EQ(b.link.page().resultLabel, "1  (+1.250000E+00)");
    EXPECT_TRUE(p.dialogs.shown.empty());
}

TEST(KeithleyLink, AReconnectThatFindsNoLineSaysSoAsConnectComDoes) {
    // An instrument that hangs up: its line is gone when the reading reconnects.
    testing::LinkContext p;
    Keithley k(p, {"keithley", "--reading", "1e-9", "--fault", "hangup", "--after", "2"});
    int beeps = 0;
    k.link.page().beep = [&] { ++beeps; };
    ASSERT_TRUE(k.link.connectCom());
    k.link.KeiRead();
    EXPECT_TRUE(p.dialogs.shown.empty());
    // The second reply goes out as the line goes down; whether it still arrives is the line's luck.
    k.link.page().output.addLine("*IDN?");
    k.link.terminalEnter();
    ASSERT_TRUE(p.until([&] { return k.sim->ended(); }));
    p.dialogs.clear();
    p.values.StopRequest = 0;
    p.values.KeiValue = 7;
    const std::int64_t start = p.clock.nowMs();
    k.link.KeiRead();
    EXPECT_LT(p.clock.nowMs() - start, 3000);
    const auto texts = p.dialogs.texts();
    ASSERT_EQ(texts.size(), 2u);
    EXPECT_EQ(texts[0].rfind(std::string(kLinkConnectFailed) + "\r" + k.sim->device() + ": ", 0), 0u)
        << texts[0];
    EXPECT_EQ(p.dialogs.shown[0].icon, DialogIcon::Information);
    EXPECT_EQ(texts[1], kTimeoutText);
    EXPECT_EQ(beeps, 1);
    EXPECT_EQ(k.link.page().status, kLinkConnectFailed);
    EXPECT_EQ(p.values.StopRequest, 1);
    EXPECT_EQ(p.values.KeiValue, 7);
    EXPECT_FALSE(k.link.connected());
}

TEST(KeithleyLink, WithoutAPortTheReadingTimesOutTwiceLikeTheUnconnectedDevice) {
    testing::LinkContext p(true);
    ElectrometerLink link(p.ctx, p.tap(), p.paths);
    link.setDevicePath("/nonexistent/keithley");
    p.values.KeiValue = 42;
    link.KeiRead();
    // Between the two time-outs the reconnect fails as "Connect COM" would.
    EXPECT_EQ(p.dialogs.texts(),
              (std::vector<std::string>{kNowhereText,
                                        "Error ! Timeout (5 sec) !\rConnection to Keithley not ok ?"}));
    EXPECT_EQ(p.values.StopRequest, 1);
    EXPECT_EQ(p.values.KeiValue, 42);
    EXPECT_GE(p.clock.nowMs(), 10000);
    EXPECT_LT(p.clock.nowMs(), 11000);
    EXPECT_EQ(link.page().status, kLinkConnectFailed);
    EXPECT_FALSE(link.page().readEnabled);
}

TEST(KeithleyLink, FieldsThatAreNoNumbersStopTheReadingBeforeItAsks) {
    struct Case {
        const char* scaling;
        const char* timeout;
        const char* box;
    } cases[] = {
        {"1,5", "1", "1,5 ist kein g\xC3\xBCltiger Wert (Gleitkomma)\r(Leerzeichen?)"},
        {"1E+04", "1.5", "1.5 ist kein g\xC3\xBCltiger Wert (ganzzahlig)\r(Leerzeichen?)"},
    };
    testing::LinkContext p;
    Keithley k(p, {"keithley"});
    ASSERT_TRUE(k.link.connectCom());
    for (const Case& c : cases) {
        p.dialogs.clear();
        p.values.StopRequest = 0;
        k.link.page().scaling = c.scaling;
        k.link.page().timeout = c.timeout;
        k.link.KeiRead();
        EXPECT_EQ(p.dialogs.texts(), std::vector<std::string>{c.box});
        EXPECT_EQ(p.values.StopRequest, 1);
        EXPECT_TRUE(k.link.page().readEnabled); // the page can read again once the field is mended
    }
    EXPECT_EQ(p.port.count("FETCh?"), 0);
}

TEST(KeithleyLink, TheTerminalSendsLinesAndKeepsWhatComesBack) {
    testing::LinkContext p;
    Keithley k(p, {"keithley"});
    ElectrometerLink& l = k.link;
    ASSERT_TRUE(l.connectCom());
    l.terminalEnter(); // an empty box sends CR only
    l.page().output.addLine("FUNC?");
    l.page().output.addLine("*IDN?");
    l.terminalEnter();
    const auto log = p.port.all();
    EXPECT_EQ(std::vector<std::string>(log.end() - 4, log.end()), (std::vector<std::string>{"\r", "*IDN?", "\r", "\n"}));
    ASSERT_TRUE(p.until([&] { return l.page().input.count() == 2u; }));
    EXPECT_EQ(l.page().input.lines()[0].rfind("KEITHLEY INSTRUMENTS INC.,MODEL 6517A", 0), 0u);

    testing::TempDir dir;
    ASSERT_TRUE(l.saveInput(dir.path.string()));
    EXPECT_EQ(readFile(dir.file("test.dat")), l.page().input.lines()[0] + "\r\n\r\n");
    EXPECT_FALSE(l.saveInput(dir.file("missing")));
    EXPECT_EQ(p.dialogs.shown.size(), 1u);

    l.clearMemos();
    EXPECT_TRUE(l.page().output.empty());
    EXPECT_EQ(l.page().input.lines(), std::vector<std::string>{""});
}

TEST(KeithleyLink, PartialLinesAreBoundedAndBackspacesTakeCharactersBack) {
    // Bytes fed straight into a pseudo-terminal of our own, each piece in a poll of its own.
    const int master = ::posix_openpt(O_RDWR | O_NOCTTY);
    ASSERT_GE(master, 0);
    ASSERT_EQ(::grantpt(master), 0);
    ASSERT_EQ(::unlockpt(master), 0);
    testing::LinkContext p;
    ElectrometerLink link(p.ctx, p.tap(), p.paths);
    link.setDevicePath(::ptsname(master));
    ASSERT_TRUE(link.connectCom());
    const auto feed = [&](const std::string& bytes) {
        ASSERT_EQ(::write(master, bytes.data(), bytes.size()), ssize_t(bytes.size()));
        keepAlive(p.ctx, 120);
    };
    // A partial line taken back to nothing stays nothing.
    feed("+9.9");
    feed("\b\b\b\b");
    feed("+1.5E-09NADC\r\n");
    EXPECT_EQ(link.KeiReply(), "+1.5E-09");
    EXPECT_EQ(link.page().input.lines(), (std::vector<std::string>{"+1.5E-09NADC", ""}));

    // A line talking without a terminator (a wrong baud rate looks like that) keeps its latest
    // characters only.
    link.clearMemos();
    const std::string chunk(2000, 'x'); // what one poll of the driver takes in
    for (int i = 0; i < 5; ++i) feed(chunk);
    feed("+1.5E-09NADC");
    EXPECT_EQ(link.page().input.count(), 1u);
    EXPECT_EQ(link.page().input.lastLine().size(), LineAssembler::kMaxPartialLine);
    EXPECT_EQ(link.page().input.lastLine().substr(LineAssembler::kMaxPartialLine - 12), "+1.5E-09NADC");
    link.disconnectCom();
    ::close(master);
}

} // namespace
} // namespace korvo

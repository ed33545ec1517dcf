// The monochromator link over the real port driver and a pseudo-terminal, with korvo-sim playing the
// controller at the other end; the photon energy command on top of it; korvo-sim's model itself.
#include "acquisition/context.h"
#include "acquisition/photon_command.h"
#include "common/clock.h"
#include "common/number_text.h"
#include "common/timers.h"
#include "instruments/monochromator/monochromator_link.h"
#include "instruments/monochromator/simulated_monochromator.h"
#include "instruments/sim/simulated_device.h"
#include "support/link_rig.h"
#include "support/sim_process.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <functional>
#include <optional>

namespace korvo {
namespace {

using testing::SimProcess;

constexpr const char* kHintOpen = "\r\rOptions -> Setup -> Monochromator -> Open_con !";

// A link on korvo-sim (none for empty `simArgs`), every time-out 1 s. The port is polled every 10 ms
// rather than 50 to keep the suite short.
struct Rig : testing::LinkContext {
    explicit Rig(std::vector<std::string> simArgs, bool acquisition = false)
        : link(acquisition ? (acq.emplace(clock, script, dialogs).setStatusPanels(panels), acq->instruments()) : ctx,
               tap(), paths) {
        link.page().timeout_norm_1 = link.page().timeout_max_1 = "1";
        link.photonFieldShown = [this](const std::string& e) { photon.push_back(e); };
        link.CommPortDriver_1().setComPortPollingDelay(10);
        if (simArgs.empty()) return;
        sim.emplace(std::move(simArgs));
        link.CommPortDriver_1().setDevicePath(sim->device());
        connected = link.connectCom();
    }
    // The first reply to `command` is replaced by `line`, as if the line had garbled it.
    void garbleReply(const std::string& command, const std::string& line) {
        script.once([this, command] { return port.count(command) == 1 && !link.MonoReply().empty(); },
                    [this, line] {
                        link.CommPortDriver_1ReceiveData(link.CommPortDriver_1(), line.data(),
                                                         std::int32_t(line.size()));
                    });
    }
    MonochromatorPage& page() { return link.page(); }
    InstrumentValues& v() { return acq ? acq->values : values; }

    std::optional<SimProcess> sim;
    std::optional<AcquisitionContext> acq;
    std::vector<std::string> photon;
    MonochromatorLink link;
    bool connected = false;
};

double number(const std::string& t) {
    const auto n = text::parseDouble(t);
    return n ? *n : -1;
}

TEST(MonochromatorLink, ReceivedBytesBuildTheLineInTheInputBox) {
    struct Case {
        std::vector<std::string> batches;
        std::string reply;
        std::vector<std::string> lines;
    };
    const std::vector<Case> cases = {
        {{"t 1.0", "000", "0\r"}, "t 1.00000", {"t 1.00000", ""}},
        {{"t\r\n"}, "t", {"t", ""}},
        {{"tx\b 0\r", "t 1"}, "t 0", {"t 0", "t 1"}},
        {{"\b\bt\r"}, "t", {"t", ""}},
        {{"ab", "\b\b", "t\r"}, "t", {"t", ""}}, // a partial line taken back to nothing stays nothing
        {{"t 1.", "\b\b\b", "0\r"}, "t0", {"t0", ""}},
        {{std::string("t 4\0\r", 5)}, "t 4", {"t 4", ""}},
        {{std::string("t\0\0\r", 4)}, std::string("t\0", 2), {std::string("t\0", 2), ""}},
        {{"f\rt\r"}, "t", {"f", "t", ""}},
    };
    for (const Case& c : cases) {
        Rig r({});
        for (const std::string& b : c.batches)
            r.link.CommPortDriver_1ReceiveData(r.link.CommPortDriver_1(), b.data(), std::int32_t(b.size()));
        EXPECT_EQ(r.link.MonoReply(), c.reply) << c.batches[0];
        EXPECT_EQ(r.page().input_1.lines(), c.lines) << c.batches[0];
    }
}

TEST(MonochromatorLink, RepliesArriveWhateverTheLineDoesToThem) {
    for (const char* fault : {"split", "lf", "nul"}) {
        Rig r({"mono", "--fault", fault});
        ASSERT_TRUE(r.connected) << fault;
        r.link.MonoOpen();
        r.link.MonoGetPosition();
        EXPECT_EQ(r.v().MonoError, 0) << fault;
        EXPECT_NEAR(number(r.page().wellenlaenge1), 1.0, 1e-5) << fault;
        const std::string energy =
            text::formatPattern(1239.842446802427 / number(r.page().wellenlaenge1), "0.000");
        EXPECT_EQ(r.page().energy1, energy) << fault;
        EXPECT_EQ(r.photon, std::vector<std::string>{energy}) << fault;
        // One line per reply: the LF of CR LF makes no empty line of its own.
        EXPECT_EQ(r.page().input_1.count(), 3u) << fault;
    }
}

TEST(MonochromatorLink, NoReplyTimesOutWithTheSecondsInTheBox) {
    Rig r({"mono", "--fault", "no-reply"});
    std::optional<MonochromatorButtons> during;
    bool raisedDuring = false;
    r.script.once([&] { return r.link.MonoBusy(); },
                  [&] {
                      during = r.page().buttons;
                      raisedDuring = r.panels.raised[0];
                  });
    r.link.MonoOpen();
    EXPECT_EQ(r.v().MonoError, 1);
    ASSERT_EQ(r.dialogs.shown.size(), 1u);
    EXPECT_EQ(r.dialogs.shown[0].caption, "Korvo 02");
    EXPECT_EQ(r.dialogs.shown[0].icon, DialogIcon::Error);
    EXPECT_EQ(r.dialogs.shown[0].text, "Error ! Timeout (1 sec) !\rConnection to the monochromator not ok ?");
    EXPECT_FALSE(r.page().motionPanelVisible);

    ASSERT_TRUE(during);
    EXPECT_TRUE(raisedDuring);
    EXPECT_FALSE(during->open || during->close || during->getPosition || during->goEnergy ||
                 during->goWavelength || during->getStatus || during->disconnect);
    EXPECT_TRUE(during->stop);
    EXPECT_TRUE(r.page().buttons.open && r.page().buttons.disconnect && r.page().buttons.getStatus);
    EXPECT_FALSE(r.link.MonoBusy());
    ASSERT_GT(r.panels.panel0.size(), 2u);
    EXPECT_EQ(r.panels.panel0[0], " waiting for monocromator ...... ");
    EXPECT_EQ(r.panels.panel0[1], " aiting for monocromator ...... w");
    if (r.panels.panel0.size() > 32) { // about 50 passes in the second
        EXPECT_EQ(r.panels.panel0[31], "  waiting for monocromator");
        EXPECT_EQ(r.panels.panel0[32], r.panels.panel0[0]);
    }
    EXPECT_EQ(r.panels.text[0], "Ready");
    EXPECT_FALSE(r.panels.raised[0]);
    EXPECT_EQ(r.panels.text[1], " Monochromator: 1");
    // The page's status bar will say so: an open port does not answer for the monochromator.
    EXPECT_EQ(r.page().fault, "no answer from the monochromator");

    r.dialogs.clear();
    r.v().MonoQuiet = true;
    r.page().timeout_norm_1 = "0"; // a single pass
    r.link.MonoGetPosition();
    EXPECT_EQ(r.v().MonoError, 1);
    EXPECT_TRUE(r.dialogs.shown.empty());
}

TEST(MonochromatorLink, RefusalsGiveCodeTwoAndEachOperationsOwnBox) {
    using Op = void (MonochromatorLink::*)();
    struct Case {
        Op op;
        std::string what;       // after "Could not "
        const char* hintButton; // the button the hint line names
    };
    const std::string reopen = "\rOpen the connection to the monochromator !";
    const std::vector<Case> cases = {
        {&MonochromatorLink::MonoOpen,
         "open the connection to the monochromator ?\rClose the connection to the monochromator !",
         "Close_con"},
        {&MonochromatorLink::MonoClose, "close the connection to the monochromator ?" + reopen, "Open_con"},
        {&MonochromatorLink::MonoGetPosition, "read data from monochromator ?" + reopen, "Open_con"},
        {&MonochromatorLink::MonoGoWavelength, "set the monochromator ?" + reopen, "Open_con"},
        {static_cast<Op>(&MonochromatorLink::MonoGoEnergy), "set the monochromator ?" + reopen, "Open_con"},
        {&MonochromatorLink::MonoGetStatus, "read the monochromator status?" + reopen, "Open_con"},
        {&MonochromatorLink::MonoStop, "stop the monochromator ?" + reopen, "Open_con"},
    };
    Rig r({"mono", "--fault", "f"});
    for (const Case& c : cases) {
        r.dialogs.clear();
        r.v().MonoError = 0;
        (r.link.*c.op)();
        EXPECT_EQ(r.v().MonoError, 2) << c.what;
        ASSERT_EQ(r.dialogs.shown.size(), 1u) << c.what;
        EXPECT_EQ(r.dialogs.shown[0].text, "Error from monochromator !\rCould not " + c.what +
                                               "\r\rOptions -> Setup -> Monochromator -> " + c.hintButton +
                                               " !");
        EXPECT_EQ(r.panels.text[1], " Monochromator: 2");
    }
    r.dialogs.clear();
    r.v().MonoQuiet = true;
    for (const Case& c : cases) (r.link.*c.op)();
    EXPECT_TRUE(r.dialogs.shown.empty());
    EXPECT_TRUE(r.link.connected()); // a refusal leaves the link as it was
}

TEST(MonochromatorLink, UnusableTextsAreNeitherSentNorTakenAsSuccess) {
    Rig r({"mono"});
    r.link.MonoOpen();
    struct Case {
        std::string energy, zeroOrder, box;
    };
    const std::string outOfRange = "\" is out of range: the photon energy must be above 0 eV.";
    for (const Case& c :
         std::vector<Case>{{"4OO", "10", "4OO ist kein gültiger Wert (Gleitkomma)\r(Leerzeichen?)"},
                           {"0", "0", "\"0" + outOfRange},
                           {"-400", "10", "\"-400" + outOfRange}}) {
        r.port.clear();
        r.dialogs.clear();
        r.page().Edit1 = c.zeroOrder;
        r.link.MonoGoEnergy(c.energy);
        EXPECT_EQ(r.v().MonoError, 2) << c.energy;
        EXPECT_TRUE(r.port.writes().empty()) << c.energy;
        EXPECT_EQ(r.dialogs.texts(), std::vector<std::string>{c.box}) << c.energy;
    }
    // A position reply that is no wavelength leaves the boxes and the photon field alone.
    r.dialogs.clear();
    r.garbleReply("GPO", "t -\r");
    r.link.MonoGetPosition();
    EXPECT_EQ(r.v().MonoError, 2);
    EXPECT_EQ(r.page().wellenlaenge1, "1.0");
    EXPECT_TRUE(r.photon.empty());
    EXPECT_EQ(r.dialogs.shown.size(), 1u);
}

TEST(MonochromatorLink, EnergiesGoAsWavelengthsWithSixDecimals) {
    struct Case {
        std::string energy, zeroOrder, command, shown;
    };
    const std::vector<Case> cases = {
        {"0", "10", "SPO 123.984245", "10.000"},
        {"400", "10", "SPO 3.099606", "400.000"},
        {"0.0", "20", "SPO 61.992122", "20.000"},
    };
    Rig r({"mono", "--mono-speed", "2000"});
    r.link.MonoOpen();
    for (const Case& c : cases) {
        r.port.clear();
        r.page().Edit1 = c.zeroOrder;
        r.link.MonoGoEnergy(c.energy);
        EXPECT_EQ(r.v().MonoError, 0) << c.command;
        const auto writes = r.port.writes();
        ASSERT_GE(writes.size(), 2u);
        EXPECT_EQ(writes[0], c.command); // text, then CR on its own
        EXPECT_EQ(writes[1], "\r");
        EXPECT_EQ(r.page().energy1, c.shown);
        EXPECT_EQ(r.photon.back(), c.shown);
    }
    EXPECT_TRUE(r.dialogs.shown.empty());
}

TEST(MonochromatorLink, AMoveIsFollowedUntilIdleWithThePositionShown) {
    Rig r({"mono"});
    r.link.MonoOpen();
    EXPECT_TRUE(r.page().motionPanelVisible);
    r.page().wellenlaenge1 = "7.5";
    r.link.MonoGoWavelength();
    EXPECT_EQ(r.v().MonoError, 0);
    const auto& lines = r.page().input_1.lines();
    EXPECT_NE(std::find(lines.begin(), lines.end(), "t 1"), lines.end());
    EXPECT_EQ(lines[lines.size() - 2], "t 0"); // the last reply: idle
    EXPECT_GT(r.photon.size(), 2u);            // the position was shown while it moved
    EXPECT_NEAR(number(r.page().wellenlaenge1), 7.5, 1e-5);
    EXPECT_EQ(r.photon.back(),
              text::formatPattern(1239.842446802427 / number(r.page().wellenlaenge1), "0.000"));
    EXPECT_EQ(r.page().energy1, r.photon.back());
    EXPECT_EQ(r.panels.text[1], " Monochromator: 0");

    r.link.MonoClose();
    EXPECT_FALSE(r.page().motionPanelVisible);
    EXPECT_EQ(r.v().MonoError, 0);
}

TEST(MonochromatorLink, AStatusOtherThanIdleOrMovingEndsTheMoveWithCodeThree) {
    Rig r({"mono", "--fault", "t2"});
    r.link.MonoOpen();
    r.link.MonoGoEnergy("400");
    EXPECT_EQ(r.v().MonoError, 3);
    EXPECT_EQ(r.panels.text[1], " Monochromator: 3");
    EXPECT_TRUE(r.dialogs.shown.empty());

    // A status reply that is no reply at all is the status failure of the move.
    Rig g({"mono"});
    g.link.MonoOpen();
    g.garbleReply("GST", "?\r");
    g.link.MonoGoEnergy("400");
    EXPECT_EQ(g.v().MonoError, 2);
    EXPECT_TRUE(g.dialogs.saw(std::string("Error from monochromator !\rCould not read the status from "
                                          "monochromator ?\rOpen the connection to the monochromator !") +
                              kHintOpen));
}

// A stop pressed while the move's status is awaited: the stop sends "STO" inside that wait, the move
// sees the request at its next status reply and stops once more after its pause. A slow controller
// still answers the interrupted query after the stop has been sent; that answer must not be taken
// for the stop's.
TEST(MonochromatorLink, AStopDuringTheMoveStopsItAndReadsThePositionBack) {
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"mono"},
          std::vector<std::string>{"mono", "--fault", "slow", "--delay", "250"}}) {
        Rig r(args);
        r.link.MonoOpen();
        r.page().wellenlaenge1 = "90";
        r.script.once([&] { return r.port.count("GST") == 1; }, [&] { r.link.MonoStop(); });
        r.link.MonoGoWavelength();
        EXPECT_EQ(r.v().MonoError, 0) << args.size();
        EXPECT_TRUE(r.dialogs.shown.empty()) << (r.dialogs.shown.empty() ? "" : r.dialogs.shown[0].text);
        EXPECT_EQ(r.port.count("STO"), 2);
        EXPECT_EQ(r.port.lines().back(), "GPO");
        EXPECT_EQ(r.v().StopRequest, 1);
        EXPECT_TRUE(r.v().MonoStopRequest);
        EXPECT_LT(number(r.page().wellenlaenge1), 45) << "stopped on its way, not at 90 nm";

        r.link.MonoGetStatus();
        EXPECT_TRUE(r.dialogs.saw("Status: t 0"));
    }
}

TEST(MonochromatorLink, TheBuiltInSimulatorAnswersInsteadOfTheLine) {
    Rig r({"mono", "--fault", "no-reply"});
    r.page().simulation_on_1 = true;
    r.link.MonoGetStatus();
    EXPECT_TRUE(r.dialogs.saw("Status: t -8"));
    r.link.MonoOpen();
    EXPECT_EQ(r.v().MonoError, 0);
    r.link.MonoOpen();
    EXPECT_EQ(r.v().MonoError, 2); // already open
    r.link.MonoGoEnergy("400");
    EXPECT_EQ(r.v().MonoError, 0);
    EXPECT_NEAR(number(r.page().wellenlaenge1), 3.099606, 6e-5);
    EXPECT_EQ(r.page().Sim_out_1.lines()[0], "SPO 3.099606");
    EXPECT_EQ(r.page().Sim_out_1.lines()[1], "t");
    EXPECT_EQ(r.page().Sim_out_1.lines().back(), "t 0");
    EXPECT_EQ(r.port.count("SPO 3.099606"), 1); // the command still goes out

    struct Case {
        const char* command;
        const char* reply;
    };
    MonoSimulator s;
    const std::vector<Case> steps = {
        {"GPO", "f"},   {"SPO 5", "f"}, {"GST", "t -8"}, {"OPN", "t"}, {"OPN", "f"}, {"SPO -1", "f"}, {"SPO x", "f"},
        {"SPO 5", "t"}, {"GST", "t 0"}, {"STO", "t"},    {"XYZ", "f"}, {"CLO", "t"}, {"CLO", "f"}};
    for (const Case& c : steps) EXPECT_EQ(s.reply(c.command), c.reply) << c.command;
    EXPECT_EQ(s.position(), 5.0);
}

TEST(MonochromatorLink, AControllerThatHangsUpMidMoveEndsInTheTimeOut) {
    Rig r({"mono", "--fault", "hangup", "--after", "5"});
    r.link.MonoOpen();
    r.page().wellenlaenge1 = "90";
    r.link.MonoGoWavelength();
    EXPECT_EQ(r.v().MonoError, 1);
    EXPECT_TRUE(r.dialogs.saw("Error ! Timeout (1 sec) !\rConnection to the monochromator not ok ?"));
    EXPECT_TRUE(r.sim->ended());
    EXPECT_FALSE(r.link.MonoBusy());
}

// A controller that takes the move and then says "moving" for ever: the move is given twice what its
// distance needs at the speed box's rate plus two time-outs, then stopped, with code 4. The photon
// energy command tries once more, reports the failure once, and the photon field shows where the
// monochromator was read to stand, not the energy it never reached.
TEST(MonochromatorLink, AMoveThatNeverEndsIsStoppedAtItsBound) {
    Rig r({"mono", "--fault", "stuck"}, true);
    r.page().moveSpeed = "1";
    r.link.MonoOpen();
    ASSERT_EQ(r.v().MonoError, 0);
    const std::int64_t start = r.clock.nowMs();
    r.link.MonoGoEnergy("1200"); // 1.0332 nm, 0.0332 nm from where it stands: 67 ms + 2 s
    const std::int64_t took = r.clock.nowMs() - start;
    EXPECT_EQ(r.v().MonoError, 4);
    EXPECT_GE(took, 2066);
    EXPECT_LT(took, 8000);
    EXPECT_EQ(r.port.count("STO"), 1);
    EXPECT_LT(r.port.count("GST"), 40);
    EXPECT_EQ(r.dialogs.texts(), std::vector<std::string>{"Error from monochromator !\rThe move did not end "
                                                          "within 3 sec ?\rThe monochromator was stopped."});
    EXPECT_EQ(r.panels.text[1], " Monochromator: 4");
    EXPECT_EQ(r.page().fault, "the monochromator did not end its move in time");
    ASSERT_TRUE(r.link.positionRead());
    EXPECT_NEAR(number(*r.link.positionRead()), 1239.842, 0.01);
    r.link.MonoGetPosition(); // an exchange that works clears the page's fault
    EXPECT_EQ(r.page().fault, "");

    r.dialogs.clear();
    r.port.clear();
    PhotonView view;
    std::string field = "35";
    EXPECT_EQ(photonMoveTo(view, field, "1200", r.link, *r.acq), PhotonOutcome::Failed);
    EXPECT_EQ(r.dialogs.texts(), std::vector<std::string>{"Error ! Problem with the monochromator?"});
    EXPECT_EQ(r.port.count("STO"), 2); // the move and its retry, each stopped at its bound
    EXPECT_NEAR(number(field), 1239.842, 0.01);
    EXPECT_EQ(r.v().StopRequest, 1);

    // The bound itself: a speed box without a positive number means 0.1 nm/s, a target that is no
    // number the longest move there is (the wavelength of 1 eV), and no bound is above a day.
    r.page().moveSpeed = "0.5";
    EXPECT_EQ(r.link.moveBoundMs(3, 2), 2 * 2000 + 2 * 1000);
    EXPECT_EQ(r.link.moveBoundMs(3, std::nan("")), 4959370 + 2000);
    r.page().moveSpeed = "fast";
    EXPECT_EQ(r.link.moveBoundMs(2, 3), 20000 + 2000);
    r.page().moveSpeed = "1e-300";
    EXPECT_EQ(r.link.moveBoundMs(2, 3), 24LL * 3600 * 1000);
}

TEST(MonochromatorLink, UnconnectedItDoesWhatTheUnconnectedObjectDoes) {
    Rig r({});
    InstrumentValues theirs;
    InstrumentContext ctx{r.clock, r.pump, r.dialogs, theirs, r.timers, r.panels};
    UnconnectedMonochromator none(ctx);
    EXPECT_FALSE(r.link.connected());
    using Call = std::function<void(Monochromator&)>;
    const std::vector<Call> calls = {
        [](Monochromator& m) { m.MonoGoEnergy("35"); }, [](Monochromator& m) { m.MonoStop(); },
        [](Monochromator& m) { m.MonoOpen(); },         [](Monochromator& m) { m.MonoClose(); },
        [](Monochromator& m) { m.MonoGetPosition(); },
    };
    for (std::size_t i = 0; i < calls.size(); ++i) {
        r.v() = InstrumentValues{};
        theirs = InstrumentValues{};
        r.v().MonoError = theirs.MonoError = 2;
        calls[i](r.link);
        calls[i](none);
        EXPECT_EQ(r.v().MonoError, theirs.MonoError) << i;
        EXPECT_EQ(r.v().StopRequest, theirs.StopRequest) << i;
        EXPECT_EQ(r.v().MonoStopRequest, theirs.MonoStopRequest) << i;
    }
    r.link.MonoGoEnergy();
    r.link.MonoGoWavelength();
    r.link.MonoGetStatus();
    r.link.terminalEnter();
    EXPECT_TRUE(r.port.writes().empty());
    EXPECT_TRUE(r.dialogs.shown.empty());
}

TEST(MonochromatorLink, TheTerminalSendsTheLastLineAndSavesWhatCameBack) {
    Rig r({"mono"});
    r.page().output_1.addLine("GST");
    r.page().output_1.addLine("OPN");
    r.link.terminalEnter();
    EXPECT_EQ(r.port.writes(), (std::vector<std::string>{"OPN", "\r"})); // text and CR, two writes
    r.until([&] { return !r.link.MonoReply().empty(); });
    EXPECT_EQ(r.page().input_1.lines(), (std::vector<std::string>{"t", ""}));

    testing::TempDir dir;
    const auto here = std::filesystem::current_path();
    std::filesystem::current_path(dir.path);
    EXPECT_TRUE(r.link.saveInputMemo());
    std::filesystem::current_path(here);
    std::ifstream in(dir.file("test.txt"), std::ios::binary);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), "t\r\n\r\n");

    r.link.clearMemos();
    EXPECT_TRUE(r.page().output_1.empty());
    EXPECT_EQ(r.page().input_1.lines(), std::vector<std::string>{""});
    r.link.disconnectCom();
    EXPECT_FALSE(r.page().buttons.open || r.page().buttons.stop || r.page().motionPanelVisible);
    EXPECT_TRUE(r.page().buttons.connect);
}

// ---- the photon energy command on the link

TEST(PhotonCommandOnTheLink, MovesRetriesThroughCloseAndOpenAndReportsAFinalFailure) {
    {
        Rig r({"mono", "--mono-speed", "2000"}, true);
        r.link.MonoOpen();
        PhotonView view;
        EXPECT_EQ(photonEnergyCommand(view, "400", r.link, *r.acq), PhotonOutcome::Reached);
        EXPECT_EQ(r.port.count("SPO 3.099606"), 1);
        EXPECT_EQ(r.photon.back(), "400.000");
        EXPECT_FALSE(r.v().MonoQuiet);
    }
    {
        // The controller's remote connection was never opened: the first move is refused, the
        // retry opens it and moves.
        Rig r({"mono", "--mono-speed", "2000"}, true);
        PhotonView view;
        EXPECT_EQ(photonEnergyCommand(view, "400", r.link, *r.acq), PhotonOutcome::Reached);
        const auto s = r.port.lines();
        ASSERT_GE(s.size(), 4u);
        EXPECT_EQ(std::vector<std::string>(s.begin(), s.begin() + 4),
                  (std::vector<std::string>{"SPO 3.099606", "CLO", "OPN", "SPO 3.099606"}));
        EXPECT_TRUE(r.dialogs.shown.empty()); // quiet throughout
        EXPECT_EQ(r.v().MonoError, 0);
    }
    {
        Rig r({"mono", "--fault", "f"}, true);
        PhotonView view;
        EXPECT_EQ(photonEnergyCommand(view, "400", r.link, *r.acq), PhotonOutcome::Failed);
        EXPECT_EQ(r.dialogs.texts(), std::vector<std::string>{"Error ! Problem with the monochromator?"});
        EXPECT_EQ(r.v().StopRequest, 1);
    }
}

TEST(PhotonCommandOnTheLink, ASecondPressStopsTheMove) {
    Rig r({"mono"}, true);
    r.link.MonoOpen();
    PhotonView view;
    r.script.once([&] { return r.port.count("GST") == 2; },
                  [&] { photonEnergyCommand(view, "13", r.link, *r.acq); });
    EXPECT_EQ(photonEnergyCommand(view, "13", r.link, *r.acq), PhotonOutcome::Stopped); // 95.4 nm: far away
    EXPECT_EQ(r.port.count("STO"), 2);
    EXPECT_EQ(r.v().MonoError, 0);
    EXPECT_TRUE(r.dialogs.shown.empty());
    EXPECT_STREQ(view.caption(), "Set Pho. Energy");
    EXPECT_GT(number(r.photon.back()), 100); // stopped short of 13 eV
}

// ---- korvo-sim's controller, on its own clock

TEST(SimulatedMonochromator, MovesInTimeAndStopsWhereItIs) {
    SimulatedDeviceOptions o;
    o.monoSpeedNmPerS = 10;
    SimulatedMonochromator m(o);
    auto ask = [&](const std::string& c, std::int64_t t) {
        m.receive(c + "\r", t);
        const auto d = m.due(t + SimulatedMonochromator::kAnswerMs);
        return d.empty() ? std::string("(none)") : d.back();
    };
    struct Step {
        const char* command;
        std::int64_t at;
        const char* reply;
    };
    const std::vector<Step> steps = {
        {"GST", 0, "t -8\r"},   {"SPO 3", 0, "f\r"},   {"OPN", 0, "t\r"},     {"OPN", 0, "f\r"},
        {"SPO 0", 0, "f\r"},    {"SPO 11", 0, "t\r"},  {"GST", 500, "t 1\r"}, {"STO", 500, "t\r"},
        {"GST", 510, "t 0\r"},  {"SPO 7", 600, "t\r"}, {"GST", 900, "t 1\r"}, {"GST", 1000, "t 0\r"},
        {"BOGUS", 1300, "f\r"}, {"CLO", 1400, "t\r"},  {"GPO", 1400, "f\r"},
    };
    for (const Step& s : steps) EXPECT_EQ(ask(s.command, s.at), s.reply) << s.command << " at " << s.at;
    EXPECT_NEAR(m.positionAt(2000), 7.0, 1e-9);

    SimulatedMonochromator n(o);
    n.receive("OPN\rSPO 11\r", 0);
    EXPECT_NEAR(n.positionAt(500), 6.0, 1e-9); // 1 nm + 10 nm/s for half a second
    n.receive("STO\rGPO\r", 500);
    const auto d = n.due(1000);
    ASSERT_EQ(d.size(), 4u);
    EXPECT_NEAR(number(d[3].substr(2, d[3].size() - 3)), 6.0, 3e-6);

    o.faults = {"nul", "lf"};
    SimulatedMonochromator z(o);
    z.receive("GST\r", 0);
    EXPECT_EQ(z.due(10), std::vector<std::string>{std::string("t -8\0\r\n", 7)});
}

TEST(SimulatedMonochromator, FaultsAskedToComeLateBeginAfterTheHealthyReplies) {
    SimulatedDeviceOptions o;
    o.faults = {"f"};
    o.healthyReplies = 3;
    std::string error;
    const auto m = makeSimulatedDevice("mono", o, &error);
    ASSERT_TRUE(m) << error;
    std::vector<std::string> replies;
    std::int64_t t = 0;
    for (const char* c : {"OPN", "GST", "SPO 11", "GST", "GPO"}) {
        m->receive(std::string(c) + "\r", t);
        t += 100;
        for (std::string& r : m->due(t)) replies.push_back(r);
    }
    // A controller with this fault refuses everything; this one only from the fourth reply on.
    EXPECT_EQ(replies, (std::vector<std::string>{"t\r", "t 0\r", "t\r", "f\r", "f\r"}));

    // Without faults the count changes nothing; an unknown device stays refused.
    o.faults.clear();
    const auto plain = makeSimulatedDevice("mono", o, &error);
    plain->receive("GST\r", 0);
    EXPECT_EQ(plain->due(100), std::vector<std::string>{"t -8\r"});
    o.faults = {"f"};
    EXPECT_FALSE(makeSimulatedDevice("laser", o, &error));
    EXPECT_NE(error.find("unknown instrument"), std::string::npos);
}

} // namespace
} // namespace korvo

// The serial port driver on real pseudo-terminals, with korvo-sim answering at the other end.
#include "instruments/serial/comm_port_driver.h"
#include "instruments/serial/qt_serial_transport.h"
#include "line_speed.h"
#include "support/link_rig.h"
#include "support/sim_process.h"
#include "support/temp_dir.h"

#include <QCoreApplication>
#include <gtest/gtest.h>

#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace korvo {
namespace {

using testing::SimProcess;

// A driver on the steady clock whose polls run when the test pumps.
struct Link : testing::LinkContext {
    explicit Link(std::unique_ptr<ByteTransport> transport = std::make_unique<TerminalTransport>())
        : driver(clock, timers, std::move(transport), paths) {
        driver.OnReceiveData = [this](TCommPortDriver&, const char* data, std::int32_t n) {
            ++batches;
            received.append(data, std::size_t(n));
        };
    }
    TCommPortDriver driver;
    std::string received;
    int batches = 0;
};

TEST(CommPortDriver, DefaultsAndWhatAClosedPortAnswers) {
    Link l;
    TCommPortDriver& d = l.driver;
    EXPECT_EQ(d.ComPort(), pnCOM2);
    EXPECT_EQ(d.ComPortSpeed(), br9600);
    EXPECT_EQ(d.ComPortDataBits(), db8BITS);
    EXPECT_EQ(d.ComPortStopBits(), sb1BITS);
    EXPECT_EQ(d.ComPortParity(), ptNONE);
    EXPECT_TRUE(d.EnableDTROnOpen());
    EXPECT_EQ(d.ComPortPollingDelay(), 50);
    EXPECT_EQ(d.OutputTimeout(), 4000);
    EXPECT_EQ(d.deviceName(), "/dev/ttyS1"); // COM2
    EXPECT_FALSE(d.Connected());
    EXPECT_EQ(d.OutFreeSpace(), 65535);
    EXPECT_EQ(d.SendText("OPN"), 0);
    EXPECT_FALSE(d.polling());

    d.setDevicePath("/nonexistent/tty");
    EXPECT_FALSE(d.Connect());
    EXPECT_NE(d.lastError().find("/nonexistent/tty"), std::string::npos);
    EXPECT_FALSE(d.Connected());
}

// The master side of a pseudo-terminal of our own; the driver opens its slave.
struct Pty {
    Pty() : master(::posix_openpt(O_RDWR | O_NOCTTY)) {
        if (master >= 0 && ::grantpt(master) == 0 && ::unlockpt(master) == 0) slave = ::ptsname(master);
    }
    ~Pty() {
        if (master >= 0) ::close(master);
    }
    // The speed the slave has been set to (a master reads its slave's settings).
    int speed() const { return testing::lineSpeed(master); }
    int master;
    std::string slave;
};

// Devices that are no line to an instrument: each is refused with the reason, nothing is programmed
// and the driver stays closed. The same on termios and on Qt Serial Port.
void expectOnlySerialPortsAndPseudoTerminals(
    const std::function<std::unique_ptr<ByteTransport>(testing::PortLog&)>& make) {
    testing::TempDir dir;
    const std::string file = dir.file("spectrum.dat"), fifo = dir.file("fifo");
    std::ofstream(file) << "0 1\n";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    std::filesystem::create_symlink("/dev/ptmx", dir.file("to-ptmx"));
    std::filesystem::create_symlink(file, dir.file("to-file"));
    std::vector<std::pair<std::string, std::string>> refused{
        {file, "a regular file"},
        {dir.path.string(), "a directory"},
        {fifo, "a FIFO"},
        {dir.file("to-file"), "a regular file"},
        {"/dev/null", "a device that is no terminal"},
        {"/dev/ptmx", "the master side of a pseudo-terminal"},
        {dir.file("to-ptmx"), "the master side of a pseudo-terminal"},
    };
    // Where the system has them (and whether or not this user may open them).
    for (const auto& [device, what] :
         std::vector<std::pair<std::string, std::string>>{{"/dev/console", "the system console"},
                                                          {"/dev/tty", "the terminal of this session"},
                                                          {"/dev/tty1", "a virtual console"},
                                                          {"/dev/tty0", "a virtual console"}})
        if (std::filesystem::exists(device)) refused.emplace_back(device, what);

    for (const auto& [device, what] : refused) {
        SCOPED_TRACE(device);
        testing::LinkContext l;
        TCommPortDriver d(l.clock, l.timers, make(l.port), l.paths);
        d.setDevicePath(device);
        EXPECT_FALSE(d.Connect());
        EXPECT_FALSE(d.Connected());
        EXPECT_EQ(d.lastError(), device + ": " + what + ", not a serial port or pseudo-terminal");
        EXPECT_EQ(l.port.all(), std::vector<std::string>{"open failed"});
    }
    // A pseudo-terminal's slave is what the simulated instruments offer.
    Pty pty;
    ASSERT_FALSE(pty.slave.empty());
    testing::LinkContext l;
    TCommPortDriver d(l.clock, l.timers, make(l.port), l.paths);
    d.setDevicePath(pty.slave);
    EXPECT_TRUE(d.Connect()) << d.lastError();
}

TEST(CommPortDriver, OnlySerialPortsAndPseudoTerminalsAreOpened) {
    expectOnlySerialPortsAndPseudoTerminals(
        [](testing::PortLog& log) { return std::make_unique<testing::TapTransport>(log); });
}

// Speeds the termios transport has no setting for are refused, not run at another speed.
TEST(CommPortDriver, ASpeedThePortCannotRunIsRefused) {
    Pty pty;
    ASSERT_FALSE(pty.slave.empty());
    testing::LinkContext l;
    TCommPortDriver d(l.clock, l.timers, l.tap(), l.paths);
    d.setDevicePath(pty.slave);
    EXPECT_TRUE(d.setComPortSpeed(br14400)); // closed: stored, the connect decides
    EXPECT_FALSE(d.Connect());
    EXPECT_FALSE(d.Connected());
    EXPECT_FALSE(d.polling());
    EXPECT_EQ(d.lastError(), pty.slave + ": 14400 baud cannot be set on this port");
    EXPECT_EQ(l.port.all(), (std::vector<std::string>{"open", "apply 14400 dtr refused", "close"}));

    // While connected the port keeps the speed it runs at.
    ASSERT_TRUE(d.setComPortSpeed(br19200));
    ASSERT_TRUE(d.Connect()) << d.lastError();
    EXPECT_EQ(pty.speed(), 19200);
    EXPECT_FALSE(d.setComPortSpeed(br56000));
    EXPECT_EQ(d.ComPortSpeed(), br19200);
    EXPECT_EQ(pty.speed(), 19200);
    EXPECT_EQ(d.lastError(), pty.slave + ": 56000 baud cannot be set on this port");
    EXPECT_TRUE(d.Connected());
    EXPECT_TRUE(d.setComPortSpeed(br57600));
    EXPECT_EQ(pty.speed(), 57600);
}

TEST(CommPortDriver, ConnectedPortWritesAndHandsOverWhatArrives) {
    SimProcess sim({"echo"});
    ASSERT_FALSE(sim.device().empty());
    Link l;
    TCommPortDriver& d = l.driver;
    d.setDevicePath(sim.device());
    ASSERT_TRUE(d.Connect()) << d.lastError();
    EXPECT_TRUE(d.Connect()); // already connected: nothing changes
    EXPECT_TRUE(d.polling());
    EXPECT_EQ(d.SendData("x", 0), 0);
    EXPECT_EQ(d.SendData("x", -5), 0);
    EXPECT_GT(d.OutFreeSpace(), 0);

    // Port number and buffer size wait for a disconnect; the polling period is taken at once.
    d.setComPort(pnCOM4);
    EXPECT_EQ(d.ComPort(), pnCOM2);
    d.setComPortInBufSize(64);
    EXPECT_EQ(d.ComPortInBufSize(), 2048);
    d.setComPortPollingDelay(20);
    EXPECT_EQ(d.ComPortPollingDelay(), 20);
    EXPECT_EQ(l.timers.running(), 1u);

    EXPECT_EQ(d.SendText("GPO"), 3);
    EXPECT_EQ(d.SendText("\r"), 1);
    ASSERT_TRUE(l.until([&] { return l.received.find('\n') != std::string::npos; }));
    EXPECT_EQ(l.received, "GPO\r\n");
    const int batches = l.batches;
    l.until([] { return false; }, 200); // nothing more arrives: no empty batches are handed over
    EXPECT_EQ(l.batches, batches);

    d.Disconnect();
    EXPECT_FALSE(d.Connected());
    EXPECT_FALSE(d.polling());
    EXPECT_EQ(l.timers.running(), 0u);
    d.setComPort(pnCOM4);
    EXPECT_EQ(d.ComPort(), pnCOM4);
}

TEST(CommPortDriver, RepliesSplitOverManyWritesArriveInSeveralBatches) {
    SimProcess sim({"echo", "--fault", "split", "--split-ms", "30"});
    Link l;
    l.driver.setDevicePath(sim.device());
    ASSERT_TRUE(l.driver.Connect());
    l.driver.SendText("FETCh?\r");
    ASSERT_TRUE(l.until([&] { return l.received == "FETCh?\r\n"; }));
    EXPECT_GT(l.batches, 2); // the driver hands over what it has; lines are the links' business
}

TEST(CommPortDriver, FaultsAskedToComeLateSpareTheFirstReplies) {
    // Two replies go out unharmed, then every one is swallowed.
    {
        SimProcess sim({"echo", "--fault", "no-reply", "--faults-after", "2"});
        Link l;
        l.driver.setDevicePath(sim.device());
        ASSERT_TRUE(l.driver.Connect());
        for (const char* line : {"A\r", "B\r", "C\r", "D\r"}) l.driver.SendText(line);
        ASSERT_TRUE(l.until([&] { return l.received == "A\r\nB\r\n"; }));
        EXPECT_FALSE(l.until([&] { return l.received.size() > 6; }, 300)) << l.received;
    }
    // The hang-up counts its replies from the first one after the healthy ones.
    {
        SimProcess sim({"echo", "--fault", "hangup", "--after", "2", "--faults-after", "2"});
        Link l;
        l.driver.setDevicePath(sim.device());
        ASSERT_TRUE(l.driver.Connect());
        std::string expected;
        for (const char* line : {"A", "B", "C"}) {
            l.driver.SendText(std::string(line) + "\r");
            expected += std::string(line) + "\r\n";
            EXPECT_TRUE(l.until([&] { return l.received == expected; })) << l.received;
        }
        l.driver.SendText("D\r");
        l.driver.SendText("E\r");
        EXPECT_FALSE(l.until([&] { return l.received.find('E') != std::string::npos; }, 300)) << l.received;
    }
}

TEST(CommPortDriver, AnInstrumentThatGoesAwayLeavesTheLinkSilentNotBroken) {
    SimProcess sim({"echo"});
    Link l;
    l.driver.setDevicePath(sim.device());
    ASSERT_TRUE(l.driver.Connect());
    sim.stop();
    EXPECT_LE(l.driver.SendText("GST\r"), 4);
    EXPECT_FALSE(l.until([&] { return !l.received.empty(); }, 300));
    EXPECT_TRUE(l.driver.Connected()); // until the user disconnects
    l.driver.Disconnect();
}

TEST(CommPortDriver, QtSerialPortDoesTheSameOnThePseudoTerminal) {
    int argc = 1;
    char name[] = "test_instruments";
    char* argv[] = {name, nullptr};
    QCoreApplication app(argc, argv);
    expectOnlySerialPortsAndPseudoTerminals(
        [](testing::PortLog& log) { return std::make_unique<testing::BasicTap<QtSerialTransport>>(log); });
    {
        // Qt programs the rates termios has no constant for as rates of their own: they run as set.
        Pty pty;
        testing::LinkContext l;
        TCommPortDriver d(l.clock, l.timers, std::make_unique<QtSerialTransport>(), l.paths);
        d.setDevicePath(pty.slave);
        d.setComPortSpeed(br14400);
        ASSERT_TRUE(d.Connect()) << d.lastError();
        EXPECT_EQ(pty.speed(), 14400);
        EXPECT_TRUE(d.setComPortSpeed(br9600));
        EXPECT_EQ(pty.speed(), 9600);
        EXPECT_TRUE(d.setComPortSpeed(br56000));
        EXPECT_EQ(pty.speed(), 56000);
    }

    SimProcess sim({"echo"});
    Link l(std::make_unique<QtSerialTransport>());
    l.script.always([] { QCoreApplication::processEvents(); });
    l.driver.setDevicePath(sim.device());
    ASSERT_TRUE(l.driver.Connect()) << l.driver.lastError();
    l.driver.SendText("SPO 3.099606");
    l.driver.SendText("\r");
    ASSERT_TRUE(l.until([&] { return l.received.find('\n') != std::string::npos; }));
    EXPECT_EQ(l.received, "SPO 3.099606\r\n");
}

} // namespace
} // namespace korvo

// The serial port driver on real pseudo-terminals, with korvo-sim answering at the other end.
#include "instruments/serial/comm_port_driver.h"
#include "instruments/serial/qt_serial_transport.h"
#include "support/link_rig.h"
#include "support/sim_process.h"

#include <QCoreApplication>
#include <gtest/gtest.h>
#include <memory>
#include <string>

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
    // A regular file is no port.
    d.setDevicePath("/etc/hostname");
    EXPECT_FALSE(d.Connect());
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

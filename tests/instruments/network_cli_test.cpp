#include "cli/cli_run.h"
#include "instruments/local_servers.h"
#include "support/temp_dir.h"

#include <fstream>

#include <gtest/gtest.h>

#include <cstdlib>

namespace korvo {
namespace {

using testing::LocalHttpServer;

class RingCurrentCli : public ::testing::Test {
protected:
    void SetUp() override {
        // The pages are on 127.0.0.1: a proxy from the environment must not be asked for them.
        ::setenv("no_proxy", "*", 1);
        ::setenv("NO_PROXY", "*", 1);
    }
    testing::CliResult run(const std::string& args) { return testing::runCli(dir.path, "ring-current " + args); }
    testing::TempDir dir;
};

TEST_F(RingCurrentCli, PrintsTheCurrentOnce) {
    LocalHttpServer server(LocalHttpServer::page("<td>Strom (I):  199.96 mA</td>"));
    const auto r = run("--url '" + server.url("/ring") + "' --start 'Strom (I)'");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "200.0 mA\n");
    EXPECT_EQ(server.connections(), 1);
}

TEST_F(RingCurrentCli, ExitsWithStatusTwoAndSaysWhy) {
    {
        LocalHttpServer server(LocalHttpServer::page("Beam Current ??? mA"));
        const auto r = run("--url '" + server.url() + "'");
        EXPECT_EQ(r.status, 2);
        EXPECT_EQ(r.out, "");
        EXPECT_EQ(r.err.rfind("??? mA: ", 0), 0u) << r.err;
    }
    {
        LocalHttpServer server(LocalHttpServer::page("Beam Current: 250.3 A"));
        const auto r = run("--url '" + server.url() + "' --end mA");
        EXPECT_EQ(r.status, 2);
        EXPECT_EQ(r.err.rfind("No Data!: the page holds no number between \"Beam Current\" and \"mA\"", 0), 0u)
            << r.err;
    }
    {
        // A 10 MB header is what it is, not a lack of memory.
        LocalHttpServer server(LocalHttpServer::hugeHeader(std::size_t(10) << 20, true));
        const auto r = run("--url '" + server.url() + "'");
        EXPECT_EQ(r.status, 2);
        EXPECT_EQ(r.err, "No Data!: the page's header is larger than 65536 bytes\n");
    }
    {
        testing::ClosedPort closed;
        const auto r = run("--url http://127.0.0.1:" + std::to_string(closed.port()) + "/");
        EXPECT_EQ(r.status, 2);
        EXPECT_EQ(r.err.rfind("No Data!: no answer from http://127.0.0.1:", 0), 0u) << r.err;
    }
}

TEST(MailCli, SendsTheTestMailThroughTheRelayOfTheSettings) {
    testing::TempDir dir;
    testing::LocalSmtpServer relay;
    std::ofstream(dir.file("korvo.ini")) << "[mail]\r\nserver=127.0.0.1\r\nport=" << relay.port()
                                         << "\r\nsender=station@example.org\r\n";
    auto r = testing::runCli(dir.path, "mail --ini korvo.ini --to beamline@example.org --subject '250.3 mA'");
    EXPECT_EQ(r.status, 0) << r.err;
    const auto mails = relay.mails();
    ASSERT_EQ(mails.size(), 1u);
    EXPECT_EQ(mails[0].from, "station@example.org");
    EXPECT_NE(mails[0].data.find("\r\nSubject: 250.3 mA\r\n"), std::string::npos);

    testing::ClosedPort closed;
    std::ofstream(dir.file("closed.ini")) << "[mail]\r\nserver=127.0.0.1\r\nport=" << closed.port() << "\r\n";
    r = testing::runCli(dir.path, "mail --ini closed.ini --to beamline@example.org");
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.err.rfind("Error sending mail (7).\n", 0), 0u) << r.err;
    r = testing::runCli(dir.path, "mail --ini missing.ini --to beamline@example.org");
    EXPECT_EQ(r.status, 2);
}

} // namespace
} // namespace korvo

// korvo-cli info and project as users run them: measured files, projects, failures and the options.
#include "cli_run.h"
#include "support/temp_dir.h"
#include "support/file_bytes.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace korvo::testing;

TEST(CliInfo, MeasuredFilesAndAProjectAsOneLoad) {
    TempDir dir;
    ASSERT_EQ(runCli(dir.path, "measure --virtual-time --quiet --start 270 --ramp 3 --points 4 --scans 2 "
                               "--pass 20 --time 100 --out c1.dat")
                  .status,
              0);
    write(dir.path / "flat.dat", "1 50\r\n2 50\r\n");
    CliResult r = runCli(dir.path, "project --out both.prj c1.dat flat.dat");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "2 spectra saved in both.k98\n");

    r = runCli(dir.path, "info --json flat.dat both.k98");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "2 spectra opened !\n"); // what the project load says
    const auto doc = nlohmann::json::parse(r.out);
    EXPECT_EQ(doc["ShownCount"], 3);
    EXPECT_EQ(doc["HiddenCount"], 0);
    EXPECT_EQ(doc["Order"], nlohmann::json({1, 2, 3}));
    const auto& s = doc["spectra"];
    ASSERT_EQ(s.size(), 3u);
    EXPECT_EQ(s[0]["PathName"], (dir.path / "flat.dat").string());
    EXPECT_EQ(s[0]["YMin"], 25);
    EXPECT_EQ(s[0]["YMax"], 100.1);
    EXPECT_EQ(s[1]["ShortName"], "c1.dat");
    EXPECT_EQ(s[1]["Scans"], 2);
    EXPECT_EQ(s[1]["PassEnText"], "PassEn: 20.00");
    EXPECT_EQ(s[1]["RateFactor"], 5);
    EXPECT_EQ(s[1]["points"].size(), 4u);
    EXPECT_EQ(s[1]["points"][3][0], 273);
    EXPECT_EQ(s[2]["PoolStart"], 6);
    EXPECT_EQ(s[2]["points"], s[0]["points"]);

    // The text form says the same.
    r = runCli(dir.path, "info flat.dat");
    ASSERT_EQ(r.status, 0) << r.err;
    for (const char* part : {"ShownCount   1\n", "Order        1\n", "\nSpectrum 1\n", "  YMax          100.1\n",
                             "  points\n  1 50\n  2 50\n"})
        EXPECT_NE(r.out.find(part), std::string::npos) << part << "\n" << r.out;
}

TEST(CliInfo, FailuresExitTwoWithTheReasonOnStderr) {
    TempDir dir;
    write(dir.path / "a.dat", "1 2\r\n2 3\r\n");
    write(dir.path / "comma.dat", "BEGIN:\r\n1,5 2\r\n");
    write(dir.path / "lie.k98", "3\r\n500\r\n400\r\n\r\n\r\n");
    struct Case {
        std::string args, err;
    };
    const Case cases[] = {
        {"info --json a.dat comma.dat a.dat", "comma.dat: No valid file format (comma.dat): comma? (line 2: \"1,5\")\n"},
        {"info a.dat missing.dat", "missing.dat\": No such file or directory"},
        {"info lie.k98", "Cannot load the project lie.k98: it claims 3 spectra, more than the file can hold (line 1).\n"},
        {"info --origin o.dat", "o.dat\": No such file or directory"},
        {"info --scienta s.bin a.dat", "Cannot import the Scienta file s.bin: cannot open"},
        {"info", "No files to load.\n"},
        {"project --out p.k98 comma.dat", "No valid file format (comma.dat): comma?"},
        // An empty path is no file, wherever it is given.
        {"info ''", "An empty text names no file. Nothing was loaded.\n"},
        {"info a.dat --scienta ''", "An empty text names no file."},
        {"info --origin ''", "An empty text names no file."},
        {"info --vamas ''", "An empty text names no file."},
        {"plot --out p.png ''", "An empty text names no file."},
        {"convert --multi ''", "An empty text names no file."},
        {"project --out '' a.dat", "An empty text names no file."},
        // An unknown verb is an error, whatever follows it.
        {"nothing --help", "korvo-cli: \"nothing\" is no command; korvo-cli --help lists them.\n"},
        {"--help nothing", "\"nothing\" is no command"},
    };
    for (const Case& c : cases) {
        const CliResult r = runCli(dir.path, c.args);
        EXPECT_EQ(r.status, 2) << c.args;
        EXPECT_EQ(r.out, "") << c.args;
        EXPECT_NE(r.err.find(c.err), std::string::npos) << c.args << "\n" << r.err;
    }
    EXPECT_FALSE(std::filesystem::exists(dir.path / "p.k98"));
}

TEST(CliInfo, OverviewFileIsExtended) {
    TempDir dir;
    write(dir.path / "a.dat", "Comment: clean\r\nBEGIN:\r\n1 2\r\n");
    for (int i = 0; i < 2; ++i) ASSERT_EQ(runCli(dir.path, "info --overview ov.txt a.dat").status, 0);
    EXPECT_EQ(slurp(dir.path / "ov.txt"), "Filename\tDate\tTime\tSample\tComment\tMeastime\tScans\tPassEn\tPoints\t"
                                          "AnaSta\tAnaEnd\r\n"
                                          ".dat\t\t\t\tclean\t\t\t\t\t\t\r\n"
                                          ".dat\t\t\t\tclean\t\t\t\t\t\t\r\n");
}

// On a terminal a long load shows where it stands on stderr, and Ctrl+C cancels it: status 2, the
// reason on stderr, nothing on stdout and no project written.
TEST(CliInfo, CtrlCCancelsALoadShownOnATerminal) {
    TempDir dir;
    std::string big = "BEGIN:\r\n";
    for (int i = 0; i < 100000; ++i) big += std::to_string(i) + ".25 " + std::to_string(i % 977) + "\r\n";
    write(dir.path / "big.dat", big + "END\r\n");
    // 300 times the same 1.4 MB: far longer than the progress line's first 200 ms in any build.
    std::vector<std::string> args{KORVO_CLI_PATH, "project", "--out", "p.k98"};
    for (int i = 0; i < 300; ++i) args.push_back("big.dat");
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    const std::string outPath = (dir.path / "out.txt").string();

    int master = -1;
    const pid_t pid = ::forkpty(&master, nullptr, nullptr, nullptr);
    ASSERT_GE(pid, 0);
    if (pid == 0) { // stdin and stderr on the terminal, stdout to a file
        const int out = ::open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        if (out < 0 || ::dup2(out, STDOUT_FILENO) < 0 || ::chdir(dir.path.c_str()) != 0) ::_exit(127);
        ::execv(argv[0], argv.data());
        ::_exit(127);
    }
    std::string terminal;
    bool interrupted = false;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    for (;;) {
        pollfd p{master, POLLIN, 0};
        if (std::chrono::steady_clock::now() > deadline) break;
        if (::poll(&p, 1, 100) <= 0) continue;
        char buf[4096];
        const ssize_t n = ::read(master, buf, sizeof buf);
        if (n <= 0) break; // EIO once the program has ended
        terminal.append(buf, static_cast<std::size_t>(n));
        if (!interrupted && terminal.find("Loading ") != std::string::npos) {
            ASSERT_EQ(::kill(pid, SIGINT), 0);
            interrupted = true;
        }
    }
    ::close(master);
    if (!interrupted) ::kill(pid, SIGKILL);
    int raw = 0;
    ASSERT_EQ(::waitpid(pid, &raw, 0), pid);
    ASSERT_TRUE(interrupted) << terminal;
    EXPECT_TRUE(WIFEXITED(raw) && WEXITSTATUS(raw) == 2) << raw << "\n" << terminal;
    EXPECT_NE(terminal.find(" of 300: big.dat"), std::string::npos) << terminal;
    EXPECT_NE(terminal.find("big.dat: Loading was cancelled; nothing was loaded."), std::string::npos) << terminal;
    EXPECT_EQ(slurp(outPath), "");
    EXPECT_FALSE(std::filesystem::exists(dir.path / "p.k98"));
}

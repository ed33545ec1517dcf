// korvo-cli script: a table file run headless, one measurement and one summary line per line.
#include "cli_run.h"
#include "files/spectrum_reader.h"
#include "support/temp_dir.h"
#include "support/file_bytes.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <thread>
#include <sys/wait.h>
#include <unistd.h>

using namespace korvo;
using namespace korvo::testing;

namespace {

const std::string kOptions = " --virtual-time --quiet";

std::vector<std::string> lines(const std::string& text) {
    std::vector<std::string> out;
    std::istringstream in(text);
    for (std::string l; std::getline(in, l);) out.push_back(l);
    return out;
}

// korvo-cli started in `dir` with `args`, its stdout and stderr into the files named, in the
// background: the caller signals it and waits for it.
pid_t startCli(const TempDir& dir, const std::string& args, const std::string& out, const std::string& err) {
    const std::string cmd = "cd '" + dir.path.string() + "' && exec '" KORVO_CLI_PATH "' " + args + " >'" +
                            out + "' 2>'" + err + "'";
    const pid_t child = fork();
    if (child == 0) {
        execl("/bin/sh", "sh", "-c", cmd.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    return child;
}

// The path after ", saved " in a summary line.
std::string savedPath(const std::string& line) {
    const auto at = line.find(", saved ");
    if (at == std::string::npos) return {};
    const auto end = line.find(" | ", at);
    return line.substr(at + 8, end == std::string::npos ? std::string::npos : end - at - 8);
}

} // namespace

TEST(CliScript, EachLineIsMeasuredAndARefusedLineDoesNotStopTheSeries) {
    TempDir dir;
    // Line 3's start cell is 900 KB long: its message quotes it, the summary line only its beginning.
    std::ofstream(dir.file("night.txt"), std::ios::binary)
        << "CLAM\t100\t10\t5\t1\t10.0\t10\t-\t-\t-\t-\n"
        << "\t110\t\t7\t\t\t\t\t\t\t\n"
        << "\tabc" << std::string(900000, 'x') << "\t\t\t\t\t\t\t\t\t\n"
        << "\t120\t4\t3\t2\t\t\t-\t-\t-\t-\r\n";
    const CliResult r = runCli(dir.path, "script night.txt" + kOptions);
    EXPECT_EQ(r.status, 2) << r.err; // line 3 was not measured
    const std::vector<std::string> summary = lines(r.out);
    ASSERT_EQ(summary.size(), 4u) << r.out;
    const std::array<std::pair<double, std::size_t>, 4> expected{{{100, 5}, {110, 7}, {0, 0}, {120, 3}}};
    for (std::size_t i = 0; i < 4; ++i) {
        EXPECT_EQ(summary[i].rfind("Line " + std::to_string(i + 1) + ": ", 0), 0u) << summary[i];
        if (i == 2) {
            EXPECT_EQ(summary[i].rfind("Line 3: refused | abcxxx", 0), 0u) << summary[i].substr(0, 300);
            EXPECT_LT(summary[i].size(), 400u);
            EXPECT_NE(summary[i].find("xxx... ("), std::string::npos) << summary[i].substr(0, 400);
            EXPECT_NE(summary[i].find(" more characters)"), std::string::npos) << summary[i].substr(0, 400);
            EXPECT_EQ(savedPath(summary[i]), "");
            continue;
        }
        const SpectrumReadResult file = readSpectrumFile(savedPath(summary[i]));
        ASSERT_TRUE(file) << summary[i] << ": " << file.error;
        ASSERT_EQ(file.data.points.size(), expected[i].second);
        EXPECT_NEAR(file.data.points.front().x, expected[i].first, 1e-6);
    }
    EXPECT_NE(r.err.find("abc"), std::string::npos); // the message on stderr as well
    EXPECT_NE(r.err.find("Lines not measured in full: 3."), std::string::npos);

    // The three good lines alone: every line measured, status 0.
    std::ofstream(dir.file("good.txt"), std::ios::binary) << "CLAM\t100\t10\t5\t1\t10.0\t10\t-\t-\t-\t-\n"
                                                           << "\t105\t\t\t\t\t\t\t\t\t\n";
    const CliResult good = runCli(dir.path, "script good.txt" + kOptions);
    EXPECT_EQ(good.status, 0) << good.err;
    EXPECT_EQ(lines(good.out).size(), 2u);
}

TEST(CliScript, DamagedOrEmptyScriptsAreRefusedBeforeAnythingIsMeasured) {
    TempDir dir;
    std::ofstream(dir.file("ten.txt"), std::ios::binary) << "CLAM\t100\t10\t5\t1\t10.0\t10\t-\t-\t-\n";
    std::ofstream(dir.file("empty.txt"), std::ios::binary) << "\n\n";
    std::string many;
    for (int i = 0; i < 51; ++i) many += "CLAM\t100\t10\t5\t1\t10.0\t10\t-\t-\t-\t-\n";
    std::ofstream(dir.file("many.txt"), std::ios::binary) << many;
    const std::size_t files = dir.entries();
    for (const auto& [name, why] : {std::pair{"ten.txt", "Line 1 of the script has 10 cells"},
                                    std::pair{"empty.txt", "holds no line to measure"},
                                    std::pair{"many.txt", "The script has 51 lines"},
                                    std::pair{"missing.txt", "cannot be read"}}) {
        const CliResult r = runCli(dir.path, std::string("script ") + name + kOptions);
        EXPECT_EQ(r.status, 2) << name;
        EXPECT_NE(r.err.find(why), std::string::npos) << name << ": " << r.err;
        EXPECT_TRUE(r.out.empty()) << name;
    }
    EXPECT_EQ(dir.entries(), files); // nothing measured, nothing written
}

// A series killed in the middle of line 5: lines 1 to 4 are saved and summed up, and the recovery
// copy of the scans measured so far is a whole spectrum file (a temporary file of a write the kill
// interrupted may stay; the next write to the copy removes it).
TEST(CliScript, AKillInTheMiddleOfALineLeavesTheLinesBeforeAndAWholeRecoveryFile) {
    TempDir dir;
    std::string script;
    for (int line = 1; line <= 6; ++line)
        script += (line == 1 ? "CLAM" : "") + std::string("\t") + std::to_string(100 + line) +
                  "\t10\t5\t3\t10.0\t40\t-\t-\t-\t-\n"; // 3 scans of 5 points of 40 ms: 0.6 s a line
    std::ofstream(dir.file("night.txt"), std::ios::binary) << script;
    const std::string out = dir.file("summary.txt");
    const pid_t child = startCli(dir, "script --card test --quiet night.txt", out, "/dev/null");
    ASSERT_GE(child, 0);
    // Wait until line 4 is summed up, then a little into line 5 (past its first scan).
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    std::string summary;
    while (std::chrono::steady_clock::now() < deadline) {
        summary = slurp(out);
        if (summary.find("Line 4: ") != std::string::npos) break;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    ASSERT_NE(summary.find("Line 4: measured"), std::string::npos) << summary;
    std::this_thread::sleep_for(std::chrono::milliseconds(350));
    kill(child, SIGKILL);
    int status = 0;
    waitpid(child, &status, 0);
    ASSERT_TRUE(WIFSIGNALED(status));

    summary = slurp(out);
    EXPECT_EQ(summary.find("Line 5"), std::string::npos) << summary;
    for (int line = 1; line <= 4; ++line) {
        const std::string head = "Line " + std::to_string(line) + ": measured";
        const auto at = summary.find(head);
        ASSERT_NE(at, std::string::npos) << summary;
        const std::string l = summary.substr(at, summary.find('\n', at) - at);
        const SpectrumReadResult file = readSpectrumFile(savedPath(l));
        ASSERT_TRUE(file) << l << ": " << file.error;
        EXPECT_EQ(file.data.scans, 3);
        EXPECT_NEAR(file.data.points.front().x, 100 + line, 1e-6);
    }
    // The recovery copy: a whole spectrum of line 5's completed scans (or line 4's, had line 5 not yet
    // finished a scan), never a torn file.
    const SpectrumReadResult recovery = readSpectrumFile(dir.file("aktuell.dat"));
    ASSERT_TRUE(recovery) << recovery.error;
    EXPECT_EQ(recovery.data.points.size(), 5u);
    EXPECT_GE(recovery.data.scans, 1);
}

// The least "Time left (scan)" the progress on stderr has shown, in seconds (-1: none yet).
int scanSecondsLeft(const std::string& progress) {
    int least = -1;
    const std::string key = "Time left (scan) : ";
    for (auto at = progress.find(key); at != std::string::npos; at = progress.find(key, at + 1)) {
        const std::string mmss = progress.substr(at + key.size(), 5);
        if (mmss.size() < 5 || mmss[2] != ':') continue;
        const int s = std::stoi(mmss.substr(0, 2)) * 60 + std::stoi(mmss.substr(3, 2));
        least = least < 0 ? s : std::min(least, s);
    }
    return least;
}

// SIGINT (Ctrl+C) or SIGTERM in the middle of a run: the run stops as Stop stops it, what it
// measured is saved, and the command does not say it succeeded.
TEST(CliScript, AnInterruptedRunOrScriptSavesWhatItMeasuredAndExitsTwo) {
    // 200 points of 100 ms: some 22 s for the scan, far longer than the test waits.
    const std::string measure =
        "measure --start 10 --ramp 50 --points 200 --scans 1 --time 100 --out run.dat";
    struct Case {
        std::string verb;
        int signal;
    };
    for (const Case& c : {Case{measure, SIGINT}, Case{measure, SIGTERM}, Case{"script night.txt", SIGTERM}}) {
        SCOPED_TRACE(c.verb + " " + std::to_string(c.signal));
        TempDir dir;
        std::ofstream(dir.file("night.txt"), std::ios::binary)
            << "CLAM\t10\t50\t200\t1\t10.0\t100\t-\t-\t-\t-\n";
        const std::string out = dir.file("out.txt"), err = dir.file("err.txt");
        const pid_t child = startCli(dir, c.verb + " --card test", out, err);
        ASSERT_GE(child, 0);
        // Interrupted once the time left shows some ten points measured.
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
        std::string progress;
        auto measuredSome = [&] { return scanSecondsLeft(progress) >= 0 && scanSecondsLeft(progress) <= 21; };
        while (std::chrono::steady_clock::now() < deadline && !measuredSome()) {
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
            progress = slurp(err);
        }
        kill(child, measuredSome() ? c.signal : SIGKILL);
        int status = 0;
        waitpid(child, &status, 0);
        ASSERT_TRUE(measuredSome()) << progress;
        ASSERT_TRUE(WIFEXITED(status)) << status;
        EXPECT_EQ(WEXITSTATUS(status), 2);
        const std::string stdoutText = slurp(out);
        std::string saved = dir.file("run.dat");
        if (c.verb.rfind("script", 0) == 0) {
            EXPECT_EQ(stdoutText.rfind("Line 1: stopped, saved ", 0), 0u) << stdoutText;
            saved = savedPath(stdoutText.substr(0, stdoutText.find('\n')));
        }
        const SpectrumReadResult file = readSpectrumFile(saved);
        ASSERT_TRUE(file) << saved << ": " << file.error;
        // Stopped in its only scan: the points measured so far, none of those it never reached.
        EXPECT_GT(file.data.points.size(), 0u);
        EXPECT_LT(file.data.points.size(), 200u);
    }
}

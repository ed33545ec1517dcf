// What korvo-cli writes: never one of the files the same command reads (under any spelling, through
// links), names from files kept inside the output directory, and sets of files put in place all or
// nothing without losing what was there.
#include "cli/staged_outputs.h"
#include "cli_run.h"
#include "support/temp_dir.h"
#include "support/file_bytes.h"

#include <gtest/gtest.h>

#include <fstream>
#include <regex>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace korvo;
using namespace korvo::testing;
namespace fs = std::filesystem;

namespace {

const std::string kSpectrum = "Comment: measured\r\nBEGIN:\r\n1 10\r\n2 30\r\n3 20\r\n4 60\r\nEND\r\n";

std::vector<std::string> listing(const fs::path& dir) {
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(dir)) names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

// `text` with every line that is exactly `from` replaced by `to`.
std::string replaceLines(const std::string& text, const std::string& from, const std::string& to) {
    return std::regex_replace(text, std::regex("(^|\n)" + from + "\r"), "$1" + to + "\r");
}

} // namespace

TEST(CliOutputs, NoVerbWritesOverOneOfItsInputs) {
    TempDir dir;
    fs::create_directory(dir.path / "d");
    fs::create_directory(dir.path / "e");
    for (const char* name : {"d/c1.dat", "d/p.png", "d/fit.tex", "test.dat"})
        write(dir.path / name, kSpectrum);
    fs::create_directory_symlink("d", dir.path / "link");
    fs::create_hard_link(dir.path / "d/c1.dat", dir.path / "e/c1.dat");
    ASSERT_EQ(runCli(dir.path, "project --out d/p.k98 d/c1.dat").status, 0);
    const std::string project = slurp(dir.path / "d/p.k98");

    for (const char* args : {
             "analyse --op smooth --out-dir d d/c1.dat",
             "analyse --op smooth --out-dir d/./ d/../d/c1.dat", // another spelling
             "analyse --op smooth --out-dir link d/c1.dat",      // a symbolic link to the directory
             "analyse --op smooth --out-dir d e/c1.dat",         // a hard link
             "export --raw --out d/c1.dat d/c1.dat",
             "export --vamas --out ./d/c1.dat link/c1.dat",
             "export --eps --out d d/fit.tex",
             "plot --out d/p.png d/p.png",
             "print --pdf link/c1.dat d/c1.dat",
             "project --out d/p.k98 d/c1.dat d/p.k98",
             "info --overview d/c1.dat d/c1.dat",
             "correlate test.dat",
             "measure --virtual-time --quiet --sim-model d/c1.dat --out d/c1.dat",
         }) {
        SCOPED_TRACE(args);
        const CliResult r = runCli(dir.path, args);
        EXPECT_EQ(r.status, 2);
        EXPECT_NE(r.err.find("an output never replaces an input"), std::string::npos) << r.err;
        EXPECT_EQ(r.out, "");
        for (const char* name : {"d/c1.dat", "d/p.png", "d/fit.tex", "test.dat"})
            EXPECT_EQ(slurp(dir.path / name), kSpectrum) << name;
        EXPECT_EQ(slurp(dir.path / "d/p.k98"), project);
        EXPECT_EQ(listing(dir.path / "d"), (std::vector<std::string>{"c1.dat", "fit.tex", "p.k98", "p.png"}));
    }
    EXPECT_EQ(listing(dir.path), (std::vector<std::string>{"d", "e", "link", "test.dat"}));
}

TEST(CliOutputs, NamesFromFilesStayInTheOutputDirectory) {
    TempDir dir;
    write(dir.path / "c1.dat", kSpectrum);
    ASSERT_EQ(runCli(dir.path, "export --vamas --out x.vms c1.dat").status, 0);
    ASSERT_EQ(runCli(dir.path, "project --out p.k98 c1.dat").status, 0);
    const std::string vamas = slurp(dir.path / "x.vms"), project = slurp(dir.path / "p.k98");
    ASSERT_NE(replaceLines(vamas, "c1\\.dat", "../escaped"), vamas);
    write(dir.path / "up.vms", replaceLines(vamas, "c1\\.dat", "../escaped"));
    write(dir.path / "abs.vms", replaceLines(vamas, "c1\\.dat", (dir.path / "abs").string()));
    write(dir.path / "ctl.k98", replaceLines(project, "c1\\.dat", "..\x1b[2J"));
    fs::create_directory(dir.path / "out");

    const CliResult r =
        runCli(dir.path, "analyse --op smooth --out-dir out ctl.k98 --vamas up.vms --vamas abs.vms");
    ASSERT_EQ(r.status, 0) << r.err;
    std::string absolute = (dir.path / "abs").string();
    std::replace(absolute.begin(), absolute.end(), '/', '_');
    std::vector<std::string> names{"_._escaped", absolute, "_._[2J"};
    std::sort(names.begin(), names.end());
    EXPECT_EQ(listing(dir.path / "out"), names) << r.out;
    EXPECT_NE(r.err.find("\"../escaped\" is not a plain file name; it is written as \"_._escaped\""),
              std::string::npos)
        << r.err;
    EXPECT_NE(r.err.find("\"..\\x1b[2J\""), std::string::npos) << r.err; // escaped on the terminal
    EXPECT_FALSE(fs::exists(dir.path / "escaped"));
    EXPECT_FALSE(fs::exists(dir.path / "abs"));
}

// The old file is kept until the whole set is in place: a commit that fails half-way puts back
// what the targets held and removes what was new.
TEST(StagedOutputs, AFailedCommitPutsBackWhatTheTargetsHeld) {
    TempDir dir;
    write(dir.path / "old.dat", "old");
    const CommandInputs none;
    std::string error;
    {
        StagedOutputs outputs(none);
        ASSERT_TRUE(outputs.add(dir.file("old.dat"), "new", error)) << error;
        ASSERT_TRUE(outputs.add(dir.file("new.dat"), "new", error)) << error;
        ASSERT_TRUE(outputs.add(dir.file("late.dat"), "new", error)) << error;
        fs::create_directory(dir.path / "late.dat"); // in the way after the check
        EXPECT_FALSE(outputs.commit(error));
        EXPECT_NE(error.find("late.dat"), std::string::npos) << error;
    }
    EXPECT_EQ(slurp(dir.path / "old.dat"), "old");
    EXPECT_EQ(listing(dir.path), (std::vector<std::string>{"late.dat", "old.dat"}));

    // Without a failure the new file replaces the old, and nothing else stays.
    fs::remove(dir.path / "late.dat");
    StagedOutputs outputs(none);
    ASSERT_TRUE(outputs.add(dir.file("old.dat"), "new", error)) << error;
    ASSERT_TRUE(outputs.commit(error)) << error;
    EXPECT_EQ(slurp(dir.path / "old.dat"), "new");
    EXPECT_EQ(listing(dir.path), std::vector<std::string>{"old.dat"});
}

// A killed command leaves its hidden files; the next command that writes there removes those of
// programs that no longer run (a backup whose target is gone goes back in its place), never those
// of a program still at work.
TEST(StagedOutputs, LeftoversOfKilledCommandsAreCleared) {
    TempDir dir;
    const pid_t dead = ::fork();
    if (dead == 0) ::_exit(0);
    ASSERT_GT(dead, 0);
    ::waitpid(dead, nullptr, 0);
    const std::string d = std::to_string(dead), alive = std::to_string(::getpid());
    write(dir.path / (".a.dat.convert-" + d + "-0"), "staged");
    write(dir.path / (".a.dat.convert-" + d + "-1.tmpAb12Cd"), "half");
    write(dir.path / (".gone.dat.convert-" + d + "-2.old"), "moved aside");
    write(dir.path / (".b.dat.convert-" + alive + "-0"), "at work");
    write(dir.path / ".c.dat.convert-x-0", "not ours");

    const CommandInputs none;
    StagedOutputs outputs(none);
    std::string error;
    ASSERT_TRUE(outputs.add(dir.file("out.dat"), "x", error)) << error;
    ASSERT_TRUE(outputs.commit(error)) << error;
    EXPECT_EQ(listing(dir.path), (std::vector<std::string>{".b.dat.convert-" + alive + "-0",
                                                           ".c.dat.convert-x-0", "gone.dat", "out.dat"}));
    EXPECT_EQ(slurp(dir.path / "gone.dat"), "moved aside");
}

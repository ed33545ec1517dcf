// The run log file: one line per event whatever the texts hold, bounded by rotation, never written
// through a link, a failure told once; where it is kept beside the settings.
#include "common/file_util.h"
#include "common/run_log.h"
#include "support/scoped_env.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <regex>
#include <sys/stat.h>
#include <unistd.h>

namespace korvo {

namespace fs = std::filesystem;
using testing::ScopedEnv;

TEST(RunLogLine, TimeWithZoneAndEveryTextOnOneLine) {
    ScopedEnv tz("TZ", "CET-1");
    const std::time_t t = 1165148073; // 2006-12-03 12:14:33 UTC
    EXPECT_EQ(runLogLine(t, "korvo", "save", "/data/c_061203.001: 21 points, 3 scans"),
              "2006-12-03T13:14:33+01:00 korvo save /data/c_061203.001: 21 points, 3 scans\n");
    ScopedEnv west("TZ", "XYZ+3:30");
    EXPECT_EQ(runLogLine(t, "korvo-cli", "end", ""), "2006-12-03T08:44:33-03:30 korvo-cli end\n");

    // A text from a file or a user: line breaks, controls, separators and bytes that are no UTF-8
    // become escapes; the backslash is escaped itself, so every escape reads back one way.
    const std::string hostile = "Cu\r\nBEGIN:\\r \t\x01\x7F Grö\xC3\x9F" "e \xE2\x80\xA8 \xC2\x85 \xFF\xC3";
    const std::string line = runLogLine(t, "korvo", "start", hostile);
    EXPECT_EQ(line.substr(line.find(" start ") + 7),
              "Cu\\r\\nBEGIN:\\\\r \\t\\x01\\x7F Größe \\u2028 \\u0085 \\xFF\\xC3\n");
    EXPECT_EQ(line.find('\r'), std::string::npos);
    EXPECT_EQ(line.find('\n'), line.size() - 1);

    // An endless detail is cut before an escape could be split.
    const std::string longLine = runLogLine(t, "korvo", "error", std::string(10000, '\n'));
    EXPECT_LT(longLine.size(), 4100u);
    EXPECT_TRUE(std::regex_search(longLine, std::regex(R"((\\n)+ \[\.\.\.\]\n$)")));
}

TEST(RunLogFile, AppendsRotatesAndNeverStopsTheCaller) {
    testing::TempDir tmp;
    const std::string path = (tmp.path / "state" / "korvo" / "korvo.log").string();
    std::vector<std::string> told;
    FileRunLog log(path, "korvo", [&](const std::string& why) { told.push_back(why); }, 200);
    log.now = [] { return std::time_t(1165148073); };
    log.record("start", "one");
    log.record("end", "two");
    // The directory is made private, as the state directories of the user are.
    struct stat st {};
    ASSERT_EQ(::stat((tmp.path / "state" / "korvo").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);
    const std::string twoLines = readFile(path).value_or("");
    EXPECT_TRUE(std::regex_match(twoLines, std::regex(R"(\S+ korvo start one\n\S+ korvo end two\n)"))) << twoLines;

    // At the limit the log moves aside to .1 (the older one goes) and starts again.
    for (int i = 0; i < 20; ++i) log.record("save", "line " + std::to_string(i));
    EXPECT_LE(fs::file_size(path), 200u);
    EXPECT_LE(fs::file_size(path + ".1"), 200u);
    const std::string last = readFile(path).value_or("");
    EXPECT_NE(last.find("line 19\n"), std::string::npos);
    EXPECT_EQ(readFile(path + ".1").value_or("").find("start one"), std::string::npos);
    EXPECT_TRUE(told.empty());

    // A link (or a directory) where the log should be: nothing is written through it, the failure is
    // told once, and once the log can be written again a new failure is told again.
    fs::remove(path);
    const std::string victim = (tmp.path / "victim").string();
    fs::create_symlink(victim, path);
    log.record("start", "a");
    log.record("end", "b");
    EXPECT_FALSE(fs::exists(victim));
    ASSERT_EQ(told.size(), 1u);
    EXPECT_NE(told[0].find(path), std::string::npos);
    fs::remove(path);
    log.record("start", "c");
    EXPECT_EQ(told.size(), 1u);
    fs::remove(path);
    fs::create_directory(path);
    log.record("end", "d");
    EXPECT_EQ(told.size(), 2u);
}

TEST(RunLogFile, KeptBesideTheSettingsOrInTheStateDirectoryOfTheConfigDirectory) {
    ScopedEnv config("XDG_CONFIG_HOME", "/home/u/cfg");
    ScopedEnv state("XDG_STATE_HOME", "/home/u/st");
    EXPECT_EQ(runLogPath("/home/u/cfg/korvo/korvo.ini"), "/home/u/st/korvo/korvo.log");
    EXPECT_EQ(runLogPath("/home/u/cfg/korvo/../korvo/korvo.ini"), "/home/u/st/korvo/korvo.log");
    EXPECT_EQ(runLogPath("/opt/korvo/build/korvo.ini"), "/opt/korvo/build/korvo.log");
    EXPECT_EQ(runLogPath("/home/u/cfg/other.ini"), "/home/u/cfg/korvo.log");
    EXPECT_EQ(runLogPath("night.ini"), "./korvo.log");
    ScopedEnv relative("XDG_STATE_HOME", "st");
    ScopedEnv home("HOME", "/home/u");
    EXPECT_EQ(runLogPath("/home/u/cfg/korvo/korvo.ini"), "/home/u/.local/state/korvo/korvo.log");
}

} // namespace korvo

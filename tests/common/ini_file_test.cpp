#include "common/ini_file.h"

#include "common/file_util.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>

namespace korvo {

namespace fs = std::filesystem;
using testing::TempDir;

// Permission checks mean nothing to root; the tests that depend on them are skipped there.
bool runningAsRoot() {
    return ::geteuid() == 0;
}

TEST(IniFile, ReadsLegacyFileWithOddSpacingCaseQuotesAndDuplicates) {
    IniFile ini;
    ini.parse("\xEF\xBB\xBF; written by hand\r\n"
              "stray=before any section\r\n"
              "  [ General ]  \r\n"
              "Machine = CLAM \r\n"
              "\ttime=0\r\n"
              "color=$E0E0E0\r\n"
              "time=999\r\n"
              "[clam]\n"
              "Sample=\" Butter auf Brot\"\n"
              "comment='quoted'\n"
              "empty=\n"
              "no equals sign here\n"
              "=value without key\n"
              "points=5");
    EXPECT_EQ(ini.readString("general", "machine", "OFF"), "CLAM");
    EXPECT_EQ(ini.readInteger("GENERAL", "TIME", 3000), 0); // first duplicate wins
    EXPECT_EQ(ini.readInteger("general", "color", 0), 0xE0E0E0);
    EXPECT_EQ(ini.readString("CLAM", "sample", ""), " Butter auf Brot");
    EXPECT_EQ(ini.readString("CLAM", "comment", ""), "quoted");
    EXPECT_EQ(ini.readString("CLAM", "empty", "dflt"), ""); // present but empty is not missing
    EXPECT_EQ(ini.readString("CLAM", "missing", "dflt"), "dflt");
    EXPECT_EQ(ini.readInteger("clam", "points", 1), 5); // truncated last line still read
    EXPECT_FALSE(ini.hasKey("", "stray"));
    EXPECT_EQ(ini.sections(), (std::vector<std::string>{"General", "clam"}));
    EXPECT_EQ(ini.keys("general"), (std::vector<std::string>{"Machine", "time", "color"}));
}

TEST(IniFile, IntegersDecimalOrHexElseDefaultAndFlagged) {
    IniFile ini;
    ini.parse("[s]\na= -42 \nb=0x1F\nc=12abc\nd=\ne=2147483648\nf=$FFFFFFFF\ng=1.0\n");
    for (auto [key, value, flagged] : {std::tuple{"a", -42, false},
                                       {"b", 31, false},
                                       {"f", -1, false},
                                       {"missing", 7, false},
                                       {"c", 7, true},
                                       {"d", 7, true},
                                       {"e", 7, true},
                                       {"g", 7, true}}) {
        bool bad = false;
        EXPECT_EQ(ini.readInteger("s", key, 7, &bad), value) << key;
        EXPECT_EQ(bad, flagged) << key;
    }
}

TEST(IniFile, WritingKeepsEverythingElseInPlace) {
    IniFile ini;
    ini.parse("; comment\r\n[general]\r\nmachine=OFF\r\nweird line\r\n\r\n[CLAM]\r\nstart=10\r\n");
    ini.writeString("GENERAL", "MACHINE", "CLAM");
    ini.writeInteger("general", "time correction", 10);
    ini.writeString("clam", "rampe", "30");
    ini.writeString("new section", "key", "v");
    EXPECT_EQ(ini.serialize(), "; comment\r\n[general]\r\nmachine=CLAM\r\nweird line\r\n"
                               "time correction=10\r\n\r\n[CLAM]\r\nstart=10\r\nrampe=30\r\n"
                               "[new section]\r\nkey=v\r\n");
}

TEST(IniFile, ValuesThatWouldChangeOnReadingAreProtected) {
    IniFile ini;
    const std::vector<std::string> values = {" leading blank", "trailing ", "\"quoted\"", "'x'", "a=b;c", ""};
    for (std::size_t i = 0; i < values.size(); ++i) ini.writeString("s", "k" + std::to_string(i), values[i]);
    ini.writeString("s", "multi", "line one\r\nline two");
    IniFile back;
    back.parse(ini.serialize());
    for (std::size_t i = 0; i < values.size(); ++i)
        EXPECT_EQ(back.readString("s", "k" + std::to_string(i), "?"), values[i]) << i;
    EXPECT_EQ(back.keys("s").size(), values.size() + 1); // the line break did not create a key
}

TEST(IniFile, SaveAndLoadRoundTripThroughTheFileInWindows1252) {
    TempDir dir;
    const std::string path = dir.file("korvo.ini");
    IniFile ini(path);
    ASSERT_TRUE(ini.load()); // missing file: empty, no error
    ini.writeString("CLAM", "comment", "Wo bleibt der Käse?");
    ini.writeInteger("general", "color", 0xE0E0E0);
    std::string error;
    ASSERT_TRUE(ini.save(&error)) << error;
    const auto bytes = readFile(path);
    ASSERT_TRUE(bytes);
    EXPECT_NE(bytes->find("K\xE4se"), std::string::npos); // one byte per umlaut on disk
    IniFile back(path);
    ASSERT_TRUE(back.load(&error)) << error;
    EXPECT_EQ(back.readString("clam", "comment", ""), "Wo bleibt der Käse?");
    EXPECT_EQ(back.readInteger("general", "color", 0), 0xE0E0E0);
}

TEST(IniFile, UnreadableFileAndUnwritableDirectoryReportFailure) {
    TempDir dir;
    const std::string path = dir.file("korvo.ini");
    ASSERT_TRUE(writeFileAtomic(path, "[s]\r\nk=old\r\n"));
    std::string error;
    // A directory where the file should be, and a directory nobody can create files in (even root),
    // fail whatever the permissions of the user running the test.
    IniFile notAFile(dir.path.string());
    EXPECT_FALSE(notAFile.load(&error));
    EXPECT_NE(error.find(dir.path.string()), std::string::npos);
    IniFile inProc("/proc/korvo.ini");
    inProc.writeString("s", "k", "v");
    error.clear();
    EXPECT_FALSE(inProc.save(&error));
    EXPECT_FALSE(error.empty());
    if (runningAsRoot()) return;

    ::chmod(path.c_str(), 0);
    IniFile ini(path);
    EXPECT_FALSE(ini.load(&error));
    EXPECT_NE(error.find(path), std::string::npos);
    EXPECT_TRUE(ini.sections().empty());

    ::chmod(path.c_str(), 0644);
    ASSERT_TRUE(ini.load());
    ini.writeString("s", "k", "new");
    ::chmod(dir.path.c_str(), 0555);
    error.clear();
    EXPECT_FALSE(ini.save(&error));
    EXPECT_FALSE(error.empty());
    ::chmod(dir.path.c_str(), 0755);
    EXPECT_EQ(*readFile(path), "[s]\r\nk=old\r\n"); // the old file is untouched
    EXPECT_EQ(dir.entries(), 1u);
}

// Random bytes are the fuzzer's job; these are the damaged lines met on real disks.
TEST(IniFile, DamagedLinesSurviveARewriteUnchanged) {
    using namespace std::string_literals;
    IniFile ini;
    ini.parse("[a]\0\nk\0=v\0x\n]]=[\n\xFF\xFE=\x01\n=;\n[b"s);
    EXPECT_EQ(ini.sections().size(), 1u); // "[b" without its bracket opens no section
    IniFile again;
    again.parse(ini.serialize());
    EXPECT_EQ(again.serialize(), ini.serialize());
    EXPECT_EQ(again.sections(), ini.sections());
}

} // namespace korvo

#include "common/ini_file.h"

#include "common/file_util.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
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
              "; points=7\n"
              "=value without key\n"
              "1=a key of digits\n"
              "points=5");
    EXPECT_EQ(ini.readString("general", "machine", "OFF"), "CLAM");
    EXPECT_EQ(ini.readInteger("GENERAL", "TIME", 3000), 0); // first duplicate wins
    EXPECT_EQ(ini.readInteger("general", "color", 0), 0xE0E0E0);
    EXPECT_EQ(ini.readString("CLAM", "sample", ""), " Butter auf Brot");
    EXPECT_EQ(ini.readString("CLAM", "comment", ""), "quoted");
    EXPECT_EQ(ini.readString("CLAM", "empty", "dflt"), ""); // present but empty is not missing
    EXPECT_EQ(ini.readString("CLAM", "missing", "dflt"), "dflt");
    EXPECT_EQ(ini.readInteger("clam", "points", 1), 5); // truncated last line still read
    EXPECT_EQ(ini.readString("clam", "1", ""), "a key of digits");
    EXPECT_FALSE(ini.hasKey("", "stray"));
    EXPECT_FALSE(ini.hasKey("clam", "")); // "=value without key" is no key line
    EXPECT_EQ(ini.sections(), (std::vector<std::string>{"General", "clam"}));
    EXPECT_EQ(ini.keys("general"), (std::vector<std::string>{"Machine", "time", "color"}));
    EXPECT_EQ(ini.keys("clam"), (std::vector<std::string>{"Sample", "comment", "empty", "1", "points"}));

    // Repeated byte-order marks in front of the first header are dropped, not read into it.
    IniFile marked;
    marked.parse("\xEF\xBB\xBF\xEF\xBB\xBF[s]\r\nk=v\r\n");
    EXPECT_EQ(marked.readString("s", "k", ""), "v");
    EXPECT_EQ(marked.serialize(), "[s]\r\nk=v\r\n");
}

TEST(IniFile, IntegersDecimalOrHexElseDefaultAndFlagged) {
    IniFile ini;
    ini.parse("[s]\na= -42 \nb=0x1F\nc=12abc\nd=\ne=2147483648\nf=$FFFFFFFF\ng=1.0\nh=0x1f\ni=$e0\nj=1x5\n"
              "k=+19\nl=$aA\nm=0X0a\nn=05\no=0y5\np=.x1\nq=1E3\nr=$100000000\nt=-$80000000\nu=-0x1\n"
              "v=#1\nw=-\nx=0x\ny=\" 12\t\"\n");
    for (auto [key, value, flagged] : {std::tuple{"a", -42, false},
                                       {"b", 31, false},
                                       {"h", 31, false},
                                       {"i", 0xE0, false},
                                       {"f", -1, false},
                                       {"k", 19, false},
                                       {"l", 0xAA, false},
                                       {"m", 10, false},
                                       {"n", 5, false}, // a leading zero makes no other base
                                       {"u", -1, false},
                                       {"y", 12, false}, // blanks inside quotes are still blanks
                                       {"missing", 7, false},
                                       {"c", 7, true},
                                       {"d", 7, true},
                                       {"e", 7, true},
                                       {"g", 7, true},
                                       {"j", 7, true}, // an x after a digit other than 0 is no hex prefix
                                       {"o", 7, true},
                                       {"p", 7, true},
                                       {"q", 7, true},  // hexadecimal digits need a prefix
                                       {"r", 7, true},  // beyond 32 bits also in hexadecimal
                                       {"t", 7, true},  // minus 0x80000000 wraps to a positive 2^31
                                       {"v", 7, true},
                                       {"w", 7, true},
                                       {"x", 7, true}}) {
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
    using namespace std::string_literals;
    // Line breaks and NUL become blanks, every other control character stays.
    const std::pair<std::string, std::string> broken[] = {
        {"line one\r\nline two", "line one  line two"}, {"a\rb", "a b"}, {"a\nb", "a b"},
        {"a\0b"s, "a b"}, {"\x08" "a\tb\x0B\x1F", "\x08" "a\tb\x0B\x1F"}};
    for (std::size_t i = 0; i < std::size(broken); ++i)
        ini.writeString("s", "multi" + std::to_string(i), broken[i].first);
    IniFile back;
    back.parse(ini.serialize());
    for (std::size_t i = 0; i < values.size(); ++i)
        EXPECT_EQ(back.readString("s", "k" + std::to_string(i), "?"), values[i]) << i;
    for (std::size_t i = 0; i < std::size(broken); ++i)
        EXPECT_EQ(back.readString("s", "multi" + std::to_string(i), "?"), broken[i].second) << i;
    EXPECT_EQ(back.keys("s").size(), values.size() + std::size(broken)); // no line break created a key
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
    // A failed load leaves nothing of what was there before, also not in the look-ups.
    IniFile notAFile(dir.path.string());
    notAFile.parse("[s]\r\nk=old\r\n");
    EXPECT_FALSE(notAFile.load(&error));
    EXPECT_NE(error.find(dir.path.string()), std::string::npos);
    EXPECT_TRUE(notAFile.sections().empty());
    EXPECT_FALSE(notAFile.hasSection("s"));
    notAFile.writeString("s", "j", "new");
    EXPECT_EQ(notAFile.serialize(), "[s]\r\nj=new\r\n");
    // Only a file that does not exist is an empty INI; one behind a file where a directory should be
    // is an error.
    IniFile behindAFile(path + "/korvo.ini");
    error.clear();
    EXPECT_FALSE(behindAFile.load(&error));
    EXPECT_FALSE(error.empty());
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
    // Parsing again starts afresh: nothing of the first text is found, not even where its names
    // stood at the same places.
    const std::string second = "[x]\r\nk=1\r\nk=2\r\n[z]\r\n[y]\r\nj=1\r\n[y]\r\nj=2\r\n";
    again.parse("[x]\r\n;c\r\nk=old\r\n[q]\r\n[r]\r\n[y]\r\n");
    again.parse(second);
    EXPECT_EQ(again.readString("x", "k", ""), "1");
    EXPECT_EQ(again.readString("y", "j", ""), "1");
    EXPECT_FALSE(again.hasSection("q"));
    EXPECT_EQ(again.serialize(), second);
    // Texts of nothing, of blank lines only, or starting above the mark, and a long new section with
    // a short key serialize as they are.
    for (const std::string text : {"", "\r\n\r\n\r\n", "\xF0\x9F\x98\x80;\r\n"}) { // the last: no mark
        again.parse(text);
        EXPECT_EQ(again.serialize(), text);
    }
    // Only LF joins a CR into one line end; a tab after a CR starts the next line.
    again.parse("a=1\r\tb=2\r\n");
    EXPECT_EQ(again.serialize(), "a=1\r\n\tb=2\r\n");
    IniFile fresh;
    fresh.writeString("a section name of some length", "k", "");
    EXPECT_EQ(fresh.serialize(), "[a section name of some length]\r\nk=\r\n");
    // A text that ends between CR and LF ends there: the LF beyond it is not read.
    const std::string cut = "[s]\r\nk=v\r\n";
    IniFile part;
    part.parse(std::string_view(cut).substr(0, cut.size() - 1));
    EXPECT_EQ(part.serialize(), cut);
    // Nothing is written without a key name.
    part.writeString("t", " \r ", "v");
    EXPECT_EQ(part.serialize(), cut);
}

TEST(IniFile, RepeatedSectionsAndKeysReadTheFirstAndWritesGoThere) {
    IniFile ini;
    ini.parse("[A]\r\nk=1\r\nK=2\r\n[b]\r\nx=1\r\n\r\n[a]\r\nk=3\r\nj=4\r\n");
    EXPECT_EQ(ini.readString("a", "K", ""), "1");
    EXPECT_FALSE(ini.hasKey("A", "j")); // the second [a] is never read
    EXPECT_TRUE(ini.hasSection(" B "));
    EXPECT_FALSE(ini.hasSection("c"));
    EXPECT_EQ(ini.sections(), (std::vector<std::string>{"A", "b"}));
    EXPECT_EQ(ini.keys("a"), (std::vector<std::string>{"k"}));

    ini.writeString("a", "new", "n");
    ini.writeString("A", "k", "5");
    ini.writeString("a", "NEW", "m"); // found again after it was added
    ini.writeString("B", "y", "2");   // before the blank line that ends [b]
    ini.writeString("b", "X", "3");
    ini.writeString("c", "z", "1");
    ini.writeString("C", "z", "2");
    EXPECT_EQ(ini.serialize(), "[A]\r\nk=5\r\nK=2\r\nnew=m\r\n[b]\r\nx=3\r\ny=2\r\n\r\n"
                               "[a]\r\nk=3\r\nj=4\r\n[c]\r\nz=2\r\n");
    EXPECT_EQ(ini.sections(), (std::vector<std::string>{"A", "b", "c"}));

    // However many keys are repeated, and however often the index grows meanwhile, each one reads
    // its first value.
    std::string text = "[s]\r\n";
    for (int i = 0; i < 100; ++i)
        text += "k" + std::to_string(i) + "=first\r\nk" + std::to_string(i) + "=second\r\n";
    IniFile twice;
    twice.parse(text);
    for (int i = 0; i < 100; ++i) EXPECT_EQ(twice.readString("s", "k" + std::to_string(i), ""), "first") << i;
}

// Files arrive with the line ends of every system and editor. Each is read as the same lines; the
// first save writes CR LF, and saving what was just read changes nothing (a file that grew on
// every save would one day pass the size the program reads).
TEST(IniFile, AnyLineEndsReadAsLinesAndALoadSaveCycleIsStable) {
    struct Case {
        const char* name;
        std::string bytes;
        std::string saved;
    };
    const std::string plain = "[s]\r\nk=K\xE4se\r\n\r\n[t]\r\na=2\r\n";
    const std::vector<Case> cases = {
        {"CR LF", plain, plain},
        {"LF", "[s]\nk=K\xE4se\n\n[t]\na=2\n", plain},
        {"CR only", "[s]\rk=K\xE4se\r\r[t]\ra=2\r", plain},
        {"mixed, no final line end", "[s]\r\nk=K\xE4se\n\r[t]\ra=2", plain},
        {"UTF-8 with byte-order mark", "\xEF\xBB\xBF[s]\r\nk=K\xC3\xA4se\r\n\r\n[t]\r\na=2\r\n", plain},
        {"byte-order mark, Windows-1252", "\xEF\xBB\xBF" + plain, plain},
        {"trailing blank lines", "[s]\r\nk=K\xE4se\r\n\r\n[t]\r\na=2\r\n\n\r\n\r", plain + "\r\n\r\n\r\n"},
        // A CR LF file passed once more through a LF to CR LF conversion: every line end is a line
        // end and a blank line, as any editor shows it.
        {"CR CR LF", "[s]\r\r\nk=K\xE4se\r\r\n[t]\r\r\na=2\r\r\n",
         "[s]\r\n\r\nk=K\xE4se\r\n\r\n[t]\r\n\r\na=2\r\n\r\n"},
    };
    for (const Case& c : cases) {
        TempDir dir;
        const std::string path = dir.file("korvo.ini");
        std::ofstream(path, std::ios::binary) << c.bytes;
        IniFile ini(path);
        ASSERT_TRUE(ini.load()) << c.name;
        EXPECT_EQ(ini.readString("s", "k", ""), "Käse") << c.name;
        EXPECT_EQ(ini.readString("t", "a", ""), "2") << c.name;
        ASSERT_TRUE(ini.save()) << c.name;
        EXPECT_EQ(*readFile(path), c.saved) << c.name;
        IniFile again(path);
        ASSERT_TRUE(again.load()) << c.name;
        ASSERT_TRUE(again.save()) << c.name;
        EXPECT_EQ(*readFile(path), c.saved) << c.name;
    }
}

// The file is written in Windows-1252 and read as UTF-8 when it is valid UTF-8. A text whose
// code-page bytes happen to be valid UTF-8 must still read back as written.
TEST(IniFile, TextWhoseCodePageBytesLookLikeUtf8ReadsBackUnchanged) {
    TempDir dir;
    const std::string path = dir.file("korvo.ini");
    IniFile ini(path);
    ini.writeString("clam", "sample", "Ã¤ from a mangled label");
    ASSERT_TRUE(ini.save());
    for (int round = 0; round < 2; ++round) {
        IniFile back(path);
        ASSERT_TRUE(back.load());
        EXPECT_EQ(back.readString("clam", "sample", ""), "Ã¤ from a mangled label") << round;
        ASSERT_TRUE(back.save());
    }
    // Text whose code-page bytes start like a byte-order mark, though the rest is no UTF-8: written
    // in UTF-8, or the mark would be dropped on reading.
    IniFile marked;
    marked.parse("\xC3\xAF\xC2\xBB\xC2\xBF; K\xC3\xA4se\r\n");
    EXPECT_EQ(marked.fileBytes(), marked.serialize());
    IniFile back;
    back.parseFileBytes(marked.fileBytes());
    EXPECT_EQ(back.serialize(), marked.serialize());
    // "Â€" is C2 80 in the code page, valid UTF-8 for another character: written in UTF-8. A text
    // that only starts with a byte above the mark's is no mark: it stays in the code page.
    IniFile euro;
    euro.writeString("s", "k", "\xC3\x82\xE2\x82\xAC");
    back.parseFileBytes(euro.fileBytes());
    EXPECT_EQ(back.readString("s", "k", ""), "\xC3\x82\xE2\x82\xAC");
    IniFile high;
    high.parse("\xC3\xBF; K\xC3\xA4se\r\n");
    EXPECT_EQ(high.fileBytes(), "\xFF; K\xE4se\r\n");
}

TEST(IniFile, SaveRefusesAFileLargerThanLoadAccepts) {
    TempDir dir;
    const std::string path = dir.file("korvo.ini");
    IniFile ini(path);
    ini.parse(std::string(IniFile::kMaxFileBytes - 2, ';')); // with its CR LF exactly the limit
    std::string error;
    ASSERT_TRUE(ini.save(&error)) << error;
    IniFile back(path);
    ASSERT_TRUE(back.load(&error)) << error;

    back.writeString("general", "machine", "CLAM");
    EXPECT_FALSE(back.save(&error));
    EXPECT_NE(error.find(path), std::string::npos) << error;
    EXPECT_NE(error.find("too large"), std::string::npos) << error;
    EXPECT_EQ(readFile(path, nullptr, IniFile::kMaxFileBytes)->size(), IniFile::kMaxFileBytes);
    EXPECT_EQ(dir.entries(), 1u);
}

// A user may keep the settings elsewhere and link to them; the link stays and the file it leads to
// is rewritten.
TEST(IniFile, SettingsKeptElsewhereThroughTheUsersOwnLink) {
    TempDir dir;
    fs::create_directory(dir.path / "shared");
    const std::string real = dir.file("shared/korvo.ini");
    ASSERT_TRUE(writeFileAtomic(real, "[s]\r\nk=old\r\n"));
    fs::create_symlink(real, dir.path / "korvo.ini");
    IniFile ini(dir.file("korvo.ini"));
    ASSERT_TRUE(ini.load());
    ini.writeString("s", "k", "new");
    ASSERT_TRUE(ini.save());
    EXPECT_TRUE(fs::is_symlink(dir.path / "korvo.ini"));
    EXPECT_EQ(*readFile(real), "[s]\r\nk=new\r\n");
}

} // namespace korvo

#include "common/file_util.h"
#include "common/text_codec.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>

namespace korvo {

namespace fs = std::filesystem;

TEST(TextCodec, Windows1252RoundTripOfEveryByte) {
    std::string all;
    for (int b = 0; b < 256; ++b) all += static_cast<char>(b);
    const std::string utf8 = windows1252ToUtf8(all);
    EXPECT_TRUE(isValidUtf8(utf8));
    EXPECT_EQ(utf8ToWindows1252(utf8), all);
    EXPECT_EQ(windows1252ToUtf8("\x80 \xE4"), "€ ä");
}

TEST(TextCodec, UnmappableAndInvalidBecomeQuestionMarks) {
    EXPECT_EQ(utf8ToWindows1252("Käse €5 α→"), "K\xE4se \x80"
                                               "5 ??");
    EXPECT_EQ(utf8ToWindows1252("a\xFF!\xC3"), "a?!?");      // stray and truncated sequences
    EXPECT_EQ(utf8ToWindows1252("\xC0\xAF"), "??");          // overlong '/'
    EXPECT_EQ(utf8ToWindows1252("\xED\xA0\x80"), "???");     // surrogate
    EXPECT_EQ(utf8ToWindows1252("\xF0\x9F\x98\x80!"), "?!"); // outside the BMP
}

TEST(TextCodec, FileTextIsUtf8WhenValidElseWindows1252) {
    EXPECT_EQ(fileTextToUtf8("Me\xC3\x9F!"), "Meß!");
    EXPECT_EQ(fileTextToUtf8("Me\xDF!"), "Meß!");
    EXPECT_EQ(fileTextToUtf8(std::string("a\0b", 3)), std::string("a\0b", 3));
}

struct FileUtil : ::testing::Test {
    testing::TempDir tmp;
    const fs::path& dir = tmp.path;
    std::string file = tmp.file("data.txt");
    std::size_t entries() const { return tmp.entries(); }
};

TEST_F(FileUtil, AtomicWriteReplacesContentKeepsModeAndLeavesNoTemporaryFile) {
    ASSERT_TRUE(writeFileAtomic(file, std::string("first\0line", 10)));
    EXPECT_EQ(*readFile(file), std::string("first\0line", 10));
    ::chmod(file.c_str(), 0640);
    ASSERT_TRUE(writeFileAtomic(file, ""));
    struct stat st {};
    ASSERT_EQ(::stat(file.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0640u);
    EXPECT_EQ(entries(), 1u);

    fs::create_symlink(file, dir / "link.txt");
    ASSERT_TRUE(writeFileAtomic((dir / "link.txt").string(), "through the link"));
    EXPECT_TRUE(fs::is_symlink(dir / "link.txt"));
    EXPECT_EQ(*readFile(file), "through the link");
}

TEST_F(FileUtil, FailuresAreReportedAndTheOldFileSurvives) {
    std::string error;
    EXPECT_FALSE(writeFileAtomic((dir / "no" / "such" / "dir.txt").string(), "x", &error) || error.empty());
    // Renaming over a directory fails after the data is written: the temporary file must go.
    fs::create_directory(dir / "sub");
    EXPECT_FALSE(writeFileAtomic((dir / "sub").string(), "x", &error));
    EXPECT_TRUE(fs::is_directory(dir / "sub"));
    EXPECT_EQ(entries(), 1u);

    EXPECT_FALSE(readFile((dir / "missing").string(), &error));
    EXPECT_NE(error.find("missing"), std::string::npos);
    EXPECT_FALSE(readFile(dir.string(), &error)); // a directory is not a file
    ASSERT_EQ(::mkfifo((dir / "pipe").c_str(), 0600), 0);
    EXPECT_FALSE(readFile((dir / "pipe").string(), &error)); // returns at once, no writer needed
    fs::remove(dir / "pipe");
    ASSERT_TRUE(writeFileAtomic(file, std::string(100, 'x')));
    EXPECT_FALSE(readFile(file, &error, 99));
    EXPECT_TRUE(readFile(file, &error, 100));

    if (::geteuid() != 0) {
        ::chmod(dir.c_str(), 0555);
        EXPECT_FALSE(writeFileAtomic(file, "new", &error));
        ::chmod(dir.c_str(), 0755);
        EXPECT_EQ(*readFile(file), std::string(100, 'x'));
    }
}

} // namespace korvo

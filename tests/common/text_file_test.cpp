#include "common/file_util.h"
#include "common/text_codec.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/un.h>
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
    // Runs of plain ASCII of every length between the code page's own characters.
    std::string mixed;
    for (int i = 0; i < 40; ++i) mixed += std::string(static_cast<std::size_t>(i % 19), 'a') + "\xE4\x80";
    EXPECT_FALSE(isValidUtf8(mixed));
    EXPECT_TRUE(isValidUtf8(windows1252ToUtf8(mixed)));
    EXPECT_EQ(utf8ToWindows1252(windows1252ToUtf8(mixed)), mixed);
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
}

TEST_F(FileUtil, FailuresAreReportedAndTheOldFileSurvives) {
    std::string error;
    EXPECT_FALSE(writeFileAtomic((dir / "no" / "such" / "dir.txt").string(), "x", &error) || error.empty());

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

// Replacing a device node, a pipe or a socket with a regular file breaks whoever else uses it (run
// as root, "--out /dev/null" did exactly that); a directory cannot hold the data at all.
TEST_F(FileUtil, TargetsThatAreNotRegularFilesAreRefusedAndLeftAlone) {
    std::vector<std::pair<std::string, std::string>> cases = {
        {"pipe", "named pipe"}, {"sub", "directory"}, {"sock", "socket"}};
    ASSERT_EQ(::mkfifo((dir / "pipe").c_str(), 0600), 0);
    fs::create_directory(dir / "sub");
    const int sock = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    const std::string sockPath = (dir / "sock").string();
    ASSERT_LT(sockPath.size(), sizeof addr.sun_path);
    sockPath.copy(addr.sun_path, sockPath.size());
    ASSERT_EQ(::bind(sock, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
    if (::geteuid() == 0) { // a device node of our own, never the system's /dev/null
        ASSERT_EQ(::mknod((dir / "null").c_str(), S_IFCHR | 0666, ::makedev(1, 3)), 0);
        cases.push_back({"null", "character device"});
    }
    for (const auto& [name, kind] : cases) {
        const std::string path = (dir / name).string();
        const auto type = fs::symlink_status(path).type();
        std::string error;
        EXPECT_FALSE(writeFileAtomic(path, "x", &error, LinkPolicy::FollowOwn)) << name;
        EXPECT_NE(error.find(path), std::string::npos) << error;
        EXPECT_NE(error.find(kind), std::string::npos) << error;
        EXPECT_EQ(fs::symlink_status(path).type(), type) << name;
    }
    ::close(sock);
    EXPECT_EQ(entries(), cases.size());
}

TEST_F(FileUtil, SymbolicLinksAreReplacedUnlessTheUsersOwnLinkToItsOwnFileIsFollowed) {
    const std::string elsewhere = (dir / "elsewhere.txt").string();
    ASSERT_TRUE(writeFileAtomic(elsewhere, "old"));
    // A spectrum or the recovery file: the link is replaced, the file it pointed to is untouched.
    fs::create_symlink(elsewhere, dir / "aktuell.dat");
    ASSERT_TRUE(writeFileAtomic((dir / "aktuell.dat").string(), "scan 1"));
    EXPECT_FALSE(fs::is_symlink(dir / "aktuell.dat"));
    EXPECT_EQ(*readFile((dir / "aktuell.dat").string()), "scan 1");
    EXPECT_EQ(*readFile(elsewhere), "old");

    // Settings kept elsewhere through the user's own link: the link stays, its file is replaced.
    fs::create_symlink(elsewhere, dir / "korvo.ini");
    ASSERT_TRUE(writeFileAtomic((dir / "korvo.ini").string(), "settings", nullptr, LinkPolicy::FollowOwn));
    EXPECT_TRUE(fs::is_symlink(dir / "korvo.ini"));
    EXPECT_EQ(*readFile(elsewhere), "settings");

    // A link that leads to no regular file is replaced, whatever is at its end stays as it is.
    ASSERT_EQ(::mkfifo((dir / "pipe").c_str(), 0600), 0);
    fs::create_directory(dir / "sub");
    for (const char* to : {"missing", "pipe", "sub"}) {
        const fs::path link = dir / (std::string("link-to-") + to);
        fs::create_symlink(dir / to, link);
        std::string error;
        EXPECT_TRUE(writeFileAtomic(link.string(), "x", &error, LinkPolicy::FollowOwn))
            << to << ": " << error;
        EXPECT_TRUE(fs::is_regular_file(fs::symlink_status(link))) << to;
    }
    EXPECT_FALSE(fs::exists(dir / "missing"));
    EXPECT_TRUE(fs::is_fifo(dir / "pipe"));
    EXPECT_TRUE(fs::is_empty(dir / "sub"));
}

TEST_F(FileUtil, LinksOrFilesOfAnotherUserAreNeverFollowed) {
    if (::geteuid() != 0) GTEST_SKIP() << "only root can give a file to another user";
    const uid_t other = 65534;
    for (const bool linkIsTheirs : {true, false}) {
        const std::string target = (dir / "target.ini").string(), link = (dir / "korvo.ini").string();
        ASSERT_TRUE(writeFileAtomic(target, "theirs"));
        fs::remove(link);
        fs::create_symlink(target, link);
        ASSERT_EQ(linkIsTheirs ? ::lchown(link.c_str(), other, -1) : ::chown(target.c_str(), other, -1), 0);
        ASSERT_TRUE(writeFileAtomic(link, "mine", nullptr, LinkPolicy::FollowOwn));
        EXPECT_FALSE(fs::is_symlink(link)) << linkIsTheirs;
        EXPECT_EQ(*readFile(link), "mine");
        EXPECT_EQ(*readFile(target), "theirs") << linkIsTheirs;
    }
}

// A killed run leaves its temporary file behind, megabytes each; the next write to the same target
// removes it, but never the temporary file of a writer still at work, which holds a lock on it.
TEST_F(FileUtil, StaleTemporaryFilesGoButOneStillBeingWrittenStays) {
    const auto make = [&](const std::string& name) {
        std::ofstream(dir / name, std::ios::binary) << std::string(4096, 'x');
        return (dir / name).string();
    };
    const std::string stale = make("data.txt.tmpAb3xQ9");
    const std::string live = make("data.txt.tmpLive01");
    const std::vector<std::string> keep = {live, make("data.txt.tmp12345"), make("data.txt.tmpABCDEFG"),
                                           make("other.txt.tmpAb3xQ9"), make("data.txt.tmpTheirs")};
    fs::create_symlink(dir / "other.txt.tmpAb3xQ9", dir / "data.txt.tmpLink01");
    if (::geteuid() == 0) {
        ASSERT_EQ(::chown(keep.back().c_str(), 65534, -1), 0);
    }
    const int held = ::open(live.c_str(), O_RDONLY | O_CLOEXEC);
    ASSERT_GE(held, 0);
    ASSERT_EQ(::flock(held, LOCK_EX | LOCK_NB), 0);

    ASSERT_TRUE(writeFileAtomic(file, "new"));
    EXPECT_FALSE(fs::exists(stale));
    for (const auto& k : keep) EXPECT_TRUE(fs::exists(k)) << k;
    EXPECT_TRUE(fs::is_symlink(dir / "data.txt.tmpLink01"));
    if (::geteuid() != 0) fs::remove(keep.back()); // nobody else could own it here

    ::close(held); // the writer is gone: its file is now a leftover like any other
    ASSERT_TRUE(writeFileAtomic(file, "newer"));
    EXPECT_FALSE(fs::exists(live));
    EXPECT_EQ(*readFile(file), "newer");
}

} // namespace korvo

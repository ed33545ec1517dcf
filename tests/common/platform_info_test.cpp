#include "common/heap_pages.h"
#include "common/platform_info.h"
#include "support/scoped_env.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <vector>
#include <sys/stat.h>
#include <unistd.h>

namespace korvo {

namespace fs = std::filesystem;

using testing::ScopedEnv;

TEST(PlatformInfo, DateAndTimeAreFixedFormatsInLocalTime) {
    ScopedEnv tz("TZ", "UTC");
    ScopedEnv lang("LC_ALL", "de_DE.UTF-8");
    const std::time_t t = 1165148073; // 2006-12-03 12:14:33 UTC
    EXPECT_EQ(formatDate(t), "03.12.2006");
    EXPECT_EQ(formatTime(t), "12:14:33");
    ScopedEnv berlin("TZ", "CET-1");
    EXPECT_EQ(formatTime(t), "13:14:33");
    EXPECT_EQ(formatDate(t + 11 * 3600 - 14 * 60 - 33 + 59), "04.12.2006"); // after local midnight
}

TEST(PlatformInfo, UserNameIsNeverEmpty) {
    ScopedEnv user("USER", nullptr);
    EXPECT_FALSE(loggedOnUserName().empty());
}

TEST(PlatformInfo, IniBesideAWritableExecutableElseInTheConfigDirectory) {
    testing::TempDir tmp;
    const fs::path& dir = tmp.path;
    EXPECT_EQ(iniFilePath((dir / "korvo").string()), (dir / "korvo.ini").string());

    const fs::path config = dir / "cfg";
    ScopedEnv xdg("XDG_CONFIG_HOME", config.c_str());
    // /proc takes no new files, even from root.
    EXPECT_EQ(iniFilePath("/proc/korvo"), (config / "korvo" / "korvo.ini").string());
    EXPECT_TRUE(fs::is_directory(config / "korvo"));

    if (::geteuid() != 0) {
        // A read-only installation that already has its INI file keeps using it.
        const fs::path ro = dir / "ro";
        fs::create_directory(ro);
        std::ofstream(ro / "korvo.ini") << "[general]\r\n";
        ::chmod(ro.c_str(), 0555);
        EXPECT_EQ(iniFilePath((ro / "korvo").string()), (ro / "korvo.ini").string());
        ::chmod(ro.c_str(), 0755);
        fs::remove(ro / "korvo.ini");
        ::chmod(ro.c_str(), 0555);
        EXPECT_EQ(iniFilePath((ro / "korvo").string()), (config / "korvo" / "korvo.ini").string());
        ::chmod(ro.c_str(), 0755);
    }
}

// /usr/bin is writable for root: an installed program must still keep its settings per user and
// never leave a korvo.ini beside itself that the package does not know of.
TEST(PlatformInfo, AnInstalledProgramKeepsItsIniInTheConfigDirectory) {
    testing::TempDir tmp;
    const fs::path config = tmp.path / "cfg";
    ScopedEnv xdg("XDG_CONFIG_HOME", config.c_str());
    const fs::path bin = tmp.path / "usr" / "bin";
    fs::create_directories(bin);
    const std::string expected = (config / "korvo" / "korvo.ini").string();

    EXPECT_EQ(iniFilePath((bin / "korvo").string()), expected);
    EXPECT_FALSE(fs::exists(bin / "korvo.ini"));
    // Not even a file someone put there is taken: every user has their own settings.
    std::ofstream(bin / "korvo.ini") << "[general]\r\n";
    EXPECT_EQ(iniFilePath((bin / "korvo").string()), expected);

    // Only a directory named exactly "bin" is an installation; a build directory stays as it was.
    for (const char* name : {"binaries", "build-bin", "bin.old"}) {
        const fs::path dir = tmp.path / name;
        fs::create_directory(dir);
        EXPECT_EQ(iniFilePath((dir / "korvo").string()), (dir / "korvo.ini").string()) << name;
    }
}


// The heap's huge pages: asked for only where the kernel gives them on request, added to what the
// user set, and never asked twice (which would restart the program for ever).
TEST(HugePageTunables, AddedOnlyWhereTheyChangeSomethingAndOnlyOnce) {
    const std::string_view madvise = "always [madvise] never\n";
    EXPECT_EQ(hugePageTunables(nullptr, madvise), "glibc.malloc.hugetlb=1");
    EXPECT_EQ(hugePageTunables("", madvise), "glibc.malloc.hugetlb=1");
    EXPECT_EQ(hugePageTunables("glibc.malloc.arena_max=2", madvise),
              "glibc.malloc.arena_max=2:glibc.malloc.hugetlb=1");
    const std::optional<std::string> once = hugePageTunables("glibc.malloc.arena_max=2", madvise);
    ASSERT_TRUE(once);
    EXPECT_EQ(hugePageTunables(once->c_str(), madvise), std::nullopt);
    EXPECT_EQ(hugePageTunables("glibc.malloc.hugetlb=0", madvise), std::nullopt); // the user's choice stands
    EXPECT_EQ(hugePageTunables(nullptr, "[always] madvise never\n"), std::nullopt);
    EXPECT_EQ(hugePageTunables(nullptr, "always madvise [never]\n"), std::nullopt);
    EXPECT_EQ(hugePageTunables(nullptr, ""), std::nullopt); // no such file: an old or other kernel
}

TEST(HugePageTunables, OnlyRegularFilesNamedAsArgumentsCountAsInput) {
    testing::TempDir dir;
    const std::string a = dir.file("a.dat"), b = dir.file("b.dat");
    std::ofstream(a) << std::string(1000, 'x');
    std::ofstream(b) << std::string(24, 'y');
    fs::create_directory(dir.file("sub"));
    std::string args[] = {"korvo-cli", "info", a, "--out-dir", dir.file("sub"), b, dir.file("missing"), "/dev/null"};
    std::vector<char*> argv;
    for (std::string& s : args) argv.push_back(s.data());
    argv.push_back(nullptr);
    EXPECT_EQ(bytesOfNamedFiles(int(argv.size() - 1), argv.data()), 1024u);
    EXPECT_EQ(bytesOfNamedFiles(1, argv.data()), 0u); // the program itself is no input
}

} // namespace korvo

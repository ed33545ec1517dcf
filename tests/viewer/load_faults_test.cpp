// Loads that do not go through: unreadable files, cancels and the limits of a window. Whatever stops
// a load, the workspace is as it was before it.
#include "viewer_test_util.h"

#include "viewer/vamas_import.h"

#include <sys/stat.h>
#include <unistd.h>

using namespace korvo;
using korvo::testing::load;
using korvo::testing::spectrumText;
using korvo::testing::stateOf;
using korvo::testing::TempDir;
using korvo::testing::writeText;

namespace {

// A workspace with shown and hidden spectra, as a load finds it.
struct Held {
    TempDir dir;
    tvar ws;
    std::string good;
    Held() {
        good = writeText(dir, "good.dat", spectrumText({{1, 10}, {2, 20}, {3, 30}}));
        EXPECT_TRUE(load(ws, {good, good, good}));
        ws.ShownCount = 2, ws.HiddenCount = 1, ws.Active = 2;
    }
};

} // namespace

TEST(LoadFaults, AFailedLoadLeavesNothingBehind) {
    struct Case {
        const char* what;
        std::string second; // contents of the second of three files
        LoadStatus status;
        std::string message;
        int line;
    };
    const Case cases[] = {
        {"decimal comma", "BEGIN:\r\n1 2\r\n1,5 3\r\nEND\r\n", LoadStatus::Failed,
         "No valid file format (bad.dat): comma? (line 3: \"1,5\")", 3},
        {"second number unreadable", "BEGIN:\r\n1 2x\r\nEND\r\n", LoadStatus::Failed,
         "Read error in bad.dat, line 2: \"2x\" is not a number.", 2},
        {"empty file", "", LoadStatus::Failed, "The file bad.dat is empty.", 0},
        {"binary", std::string("\x7F" "ELF\x02\x01\x01\0\0\0", 10) + "\r\n", LoadStatus::Failed,
         "No valid file format (bad.dat): comma? (line 1: \"?ELF??????\")", 1},
    };
    for (const Case& c : cases) {
        Held h;
        const std::string before = stateOf(h.ws);
        const std::string bad = writeText(h.dir, "bad.dat", c.second);
        const LoadOutcome out = load(h.ws, {h.good, bad, h.good});
        EXPECT_EQ(out.status, c.status) << c.what;
        EXPECT_EQ(out.message, c.message) << c.what;
        EXPECT_EQ(out.failedPath, bad) << c.what;
        EXPECT_EQ(out.failedLine, c.line) << c.what;
        EXPECT_TRUE(out.added.empty()) << c.what;
        EXPECT_EQ(stateOf(h.ws), before) << c.what;

        // The numbers of the failed load are handed out again by the next one.
        const LoadOutcome next = load(h.ws, {h.good});
        ASSERT_TRUE(next) << c.what;
        EXPECT_EQ(next.added, std::vector<int>{4}) << c.what;
        EXPECT_EQ(h.ws.atPosition(3), 4) << c.what;
        EXPECT_EQ(h.ws.atPosition(4), 3) << c.what; // the hidden spectrum, still in its block
    }
}

TEST(LoadFaults, FilesThatCannotBeReadAreNamed) {
    Held h;
    const std::string before = stateOf(h.ws);
    ASSERT_EQ(::mkfifo(h.dir.file("fifo").c_str(), 0600), 0);
    for (const std::string& path : {h.dir.file("missing.dat"), h.dir.path.string(), h.dir.file("fifo")}) {
        const LoadOutcome out = load(h.ws, {h.good, path});
        EXPECT_EQ(out.status, LoadStatus::Failed) << path;
        EXPECT_NE(out.message.find(path), std::string::npos) << out.message;
        EXPECT_EQ(stateOf(h.ws), before) << path;
    }
}

TEST(LoadFaults, CancelRollsBackLikeAFailure) {
    Held h;
    const std::string before = stateOf(h.ws);
    // Between files: the hook says stop before the third file.
    LoadOptions options;
    std::vector<std::size_t> seen;
    options.progress = [&seen](const LoadProgress& p) {
        seen.push_back(p.filesDone);
        return p.filesDone < 2;
    };
    LoadOutcome out = load(h.ws, {h.good, h.good, h.good}, options);
    EXPECT_EQ(out.status, LoadStatus::Cancelled);
    EXPECT_EQ(seen, (std::vector<std::size_t>{0, 1, 2}));
    EXPECT_EQ(stateOf(h.ws), before);

    // Inside a large file: the hook is asked between its pieces, with the bytes read so far.
    std::string big = "BEGIN:\r\n";
    for (int i = 0; i < 60000; ++i) big += std::to_string(i) + ".25 " + std::to_string(i % 977) + "\r\n";
    const std::string bigPath = writeText(h.dir, "big.dat", big);
    std::uint64_t lastBytes = 0, total = 0;
    options.progress = [&](const LoadProgress& p) {
        lastBytes = p.bytesDone;
        total = p.bytesTotal;
        return p.bytesDone == 0;
    };
    out = load(h.ws, {bigPath}, options);
    EXPECT_EQ(out.status, LoadStatus::Cancelled);
    EXPECT_GT(lastBytes, 0u);
    EXPECT_EQ(total, big.size());
    EXPECT_EQ(stateOf(h.ws), before);

    // The same file goes through when the hook lets it.
    options.progress = [](const LoadProgress&) { return true; };
    ASSERT_TRUE(load(h.ws, {bigPath}, options));
    EXPECT_EQ(h.ws.spectrum(4).NumPoints, 60000);
}

TEST(LoadFaults, LimitsRefuseBeforeAnythingIsRead) {
    TempDir dir;
    const std::string one = writeText(dir, "one.dat", spectrumText({{1, 2}}));
    struct Case {
        const char* what;
        int held;  // spectra in the window before
        int files; // files of the load
        bool loads;
        const char* message; // part of it
    };
    const Case cases[] = {
        {"2001 files", 0, 2001, false, "at most 2000 can be loaded at once"},
        {"2000 files", 0, 2000, true, ""},
        {"one more than the window holds", 1999, 2, false, "This window holds 1999 spectra; 2 more"},
        {"exactly full", 1998, 2, true, ""},
    };
    for (const Case& c : cases) {
        tvar ws;
        if (c.held > 0) {
            ASSERT_TRUE(load(ws, std::vector<std::string>(static_cast<std::size_t>(c.held), one)));
        }
        const std::string before = stateOf(ws);
        // Files that do not exist: a refused load must not even try to open them.
        const std::string path = c.loads ? one : dir.file("never-opened.dat");
        const LoadOutcome out = load(ws, std::vector<std::string>(static_cast<std::size_t>(c.files), path));
        EXPECT_EQ(static_cast<bool>(out), c.loads) << c.what << ": " << out.message;
        if (c.loads) {
            EXPECT_EQ(ws.spectrumCount(), c.held + c.files) << c.what;
            EXPECT_EQ(ws.atPosition(ws.spectrumCount()), ws.spectrumCount()) << c.what;
        } else {
            EXPECT_EQ(out.status, LoadStatus::Refused) << c.what;
            EXPECT_NE(out.message.find(c.message), std::string::npos) << out.message;
            EXPECT_NE(out.message.find("Nothing was loaded"), std::string::npos) << out.message;
            EXPECT_EQ(stateOf(ws), before) << c.what;
        }
    }
}

// A load is bounded as a whole, not only file by file: files too large together are refused before
// one of them is read, and a window takes no more points than it may hold.
TEST(LoadFaults, TheWholeLoadIsBounded) {
    TempDir dir;
    std::vector<std::string> large;
    for (int i = 0; i < 5; ++i) {
        // Sparse: a size of 250 MB that takes no room on the disk.
        large.push_back(writeText(dir, "large" + std::to_string(i) + ".dat", "BEGIN:\r\n"));
        ASSERT_EQ(::truncate(large.back().c_str(), 250 << 20), 0);
    }
    tvar ws;
    for (const LoadOutcome& out : {load(ws, large), loadVamasFiles(ws, large), loadFiles(ws, large)}) {
        EXPECT_EQ(out.status, LoadStatus::Refused);
        EXPECT_NE(out.message.find("1250 MB together, more than the 1024 MB one load may read"), std::string::npos)
            << out.message;
    }
    EXPECT_EQ(ws.spectrumCount(), 0);

    const std::string two = writeText(dir, "two.dat", spectrumText({{1, 2}, {2, 3}}));
    ASSERT_TRUE(load(ws, {two}));
    // The window's count stands in for the points of a full window.
    ws.spectrum(1).NumPoints = static_cast<std::int32_t>(kMaxWindowPoints - 1);
    const std::string before = stateOf(ws);
    const LoadOutcome out = load(ws, {two});
    EXPECT_EQ(out.status, LoadStatus::Failed);
    EXPECT_NE(out.message.find("too many points for one window (50000001, at most 50000000)"), std::string::npos)
        << out.message;
    EXPECT_EQ(stateOf(ws), before);
}

TEST(LoadFaults, OverviewFileThatCannotBeWrittenStopsTheLoad) {
    Held h;
    const std::string before = stateOf(h.ws);
    LoadOptions options;
    options.overviewPath = h.dir.path.string(); // a directory
    const LoadOutcome out = load(h.ws, {h.good}, options);
    EXPECT_EQ(out.status, LoadStatus::Failed);
    EXPECT_NE(out.message.find("overview file"), std::string::npos) << out.message;
    EXPECT_EQ(stateOf(h.ws), before);
}

// The imports as the viewer runs them: Scienta files through temporary spectrum files and the load
// procedure, Origin tables as new spectra; bad files refused with a message and the workspace as it
// was.
#include "files/scienta_file.h"
#include "foreign_test_util.h"
#include "support/temp_dir.h"
#include "viewer/import_load.h"
#include "viewer/load.h"
#include "viewer/origin_import.h"
#include "viewer/scienta_import.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <sys/stat.h>

using namespace korvo;
using korvo::testing::ramp;
using korvo::testing::scientaBytes;
using korvo::testing::ScientaSpec;
using korvo::testing::TempDir;
using korvo::testing::writeBytes;

namespace {

// The temporary directory of the process points into a test directory, so that what the import
// leaves there can be counted.
class ImportTest : public ::testing::Test {
protected:
    void SetUp() override {
        const char* old = std::getenv("TMPDIR");
        oldTmp_ = old ? std::optional<std::string>(old) : std::nullopt;
        ::setenv("TMPDIR", tmp.path.c_str(), 1);
    }
    void TearDown() override {
        if (oldTmp_) ::setenv("TMPDIR", oldTmp_->c_str(), 1);
        else ::unsetenv("TMPDIR");
    }

    // A workspace of two shown spectra and one hidden, as a window holds after some work.
    void fill(tvar& ws) {
        const std::string a = data.file("a.dat"), b = data.file("b.dat"), c = data.file("c.dat");
        writeBytes(a, "BEGIN:\r\n1 10\r\n2 20\r\nEND\r\n");
        writeBytes(b, "BEGIN:\r\n1 30\r\n2 40\r\n3 50\r\nEND\r\n");
        writeBytes(c, "BEGIN:\r\n5 60\r\nEND\r\n");
        ASSERT_TRUE(loadFiles(ws, {a, b, c}));
        ws.ShownCount = 2;
        ws.HiddenCount = 1;
        ws.Active = 2;
    }

    TempDir tmp, data;

private:
    std::optional<std::string> oldTmp_;
};

// What a failed import must leave exactly as it was.
struct Snapshot {
    explicit Snapshot(const tvar& ws)
        : order(ws.Order), shown(ws.ShownCount), hidden(ws.HiddenCount), active(ws.Active), pool(ws.pool.size()) {
        for (int k = 1; k <= ws.spectrumCount(); ++k) names.push_back(ws.spectrum(k).ShortName);
    }
    bool operator==(const Snapshot&) const = default;
    std::array<std::uint16_t, kMaxSpectra + 1> order;
    std::int32_t shown;
    std::uint16_t hidden;
    std::int32_t active;
    std::size_t pool;
    std::vector<std::string> names;
};

} // namespace

TEST_F(ImportTest, ScientaSlicesBecomeSpectraAndTheTemporaryFilesGo) {
    ScientaSpec little, big;
    little.values = ramp(10); // 5 points x 2 slices
    big.bigEndian = true;
    big.slices = "1";
    big.values = ramp(5, 100);
    const std::string a = data.file("a.pxt"), junk = data.file("junk.pxt"), b = data.file("b.pxt");
    writeBytes(a, scientaBytes(little));
    writeBytes(junk, "PK\3\4 not a Scienta file");
    writeBytes(b, scientaBytes(big));

    LoadList list;
    const ScientaImportOutcome imported = importScientaFiles({a, junk, b}, list);
    // The file of another kind is skipped with its message; the others go on.
    ASSERT_EQ(imported.messages.size(), 1u);
    EXPECT_EQ(imported.messages[0].path, junk);
    EXPECT_EQ(imported.messages[0].text, "Not Scienta-Format?");
    EXPECT_EQ(imported.filesImported, 2u);
    ASSERT_EQ(list.LoadCount(), 3u);
    EXPECT_TRUE(list.ScientaTempFlag);

    // A private directory of the user's own under the temporary directory, never the data directory.
    struct stat st {};
    ASSERT_EQ(::stat(list.tempDirectory.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);
    EXPECT_EQ(std::filesystem::path(list.tempDirectory).parent_path(), tmp.path);
    EXPECT_EQ(data.entries(), 3u);
    EXPECT_EQ(std::filesystem::path(list.paths[2]).filename(), "_temp_0003.tmp");
    EXPECT_EQ(korvo::testing::readBytes(list.paths[2]), scientaSliceText(readScientaFile(b).data, 1));

    tvar ws;
    fill(ws);
    const LoadOutcome loaded = loadSpectrumFiles(ws, list, {});
    ASSERT_TRUE(loaded) << loaded.message;
    EXPECT_EQ(loaded.added, (std::vector<int>{4, 5, 6}));
    EXPECT_EQ(ws.ShownCount, 5);
    EXPECT_EQ(ws.atPosition(6), 3); // the hidden one stays behind the new ones
    EXPECT_EQ(ws.spectrum(4).ShortName, "_temp_0001.tmp");
    // A temporary file has no "END"; its last line is read all the same.
    ASSERT_EQ(ws.spectrum(6).NumPoints, 5);
    EXPECT_EQ(ws.point(6, 1).x, 10);
    EXPECT_EQ(ws.point(6, 1).y, 100);
    EXPECT_DOUBLE_EQ(ws.point(5, 5).x, 10.4);
    EXPECT_EQ(ws.point(5, 5).y, 10);
    // Files and directory are gone, the flag is cleared.
    EXPECT_FALSE(list.ScientaTempFlag);
    EXPECT_EQ(tmp.entries(), 0u);
    EXPECT_EQ(data.entries(), 6u); // the three imported files and the three of fill()
}

TEST_F(ImportTest, TemporaryFilesAreRemovedWhateverBecomesOfTheImport) {
    ScientaSpec s;
    s.values = ramp(10);
    const std::string a = data.file("a.pxt");
    writeBytes(a, scientaBytes(s));

    {   // A load that is cancelled half-way.
        LoadList list;
        importScientaFiles({a}, list);
        ASSERT_EQ(tmp.entries(), 1u);
        tvar ws;
        LoadOptions options;
        options.progress = [](const LoadProgress& p) { return p.filesDone < 1; };
        EXPECT_EQ(loadSpectrumFiles(ws, list, options).status, LoadStatus::Cancelled);
        EXPECT_EQ(ws.spectrumCount(), 0);
        EXPECT_EQ(tmp.entries(), 0u);
    }
    {   // An import that is never loaded: a second import first clears the first one's files.
        LoadList list;
        importScientaFiles({a}, list);
        const std::string first = list.tempDirectory;
        importScientaFiles({a}, list);
        EXPECT_FALSE(std::filesystem::exists(first));
        EXPECT_EQ(tmp.entries(), 1u);
        discardScientaFiles(list);
        EXPECT_EQ(tmp.entries(), 0u);
        EXPECT_EQ(list.LoadCount(), 0u);
    }
    {   // A file that cannot be opened ends the import with nothing left behind.
        LoadList list;
        const ScientaImportOutcome ended = importScientaFiles({a, data.file("missing.pxt")}, list);
        EXPECT_TRUE(ended.ended);
        EXPECT_EQ(list.LoadCount(), 0u);
        EXPECT_FALSE(list.ScientaTempFlag);
        EXPECT_EQ(tmp.entries(), 0u);
    }
    {   // Only bad files: nothing to load and no directory.
        LoadList list;
        writeBytes(data.file("bad.pxt"), "\1\0 wrong order mark");
        const ScientaImportOutcome none = importScientaFiles({data.file("bad.pxt")}, list);
        EXPECT_EQ(none.filesImported, 0u);
        EXPECT_EQ(list.LoadCount(), 0u);
        EXPECT_EQ(tmp.entries(), 0u);
    }
}

TEST_F(ImportTest, BadScientaFilesLeaveTheWorkspaceAsItWas) {
    struct Case {
        const char* what;
        std::string bytes;
        const char* says;
    };
    ScientaSpec s;
    s.values = ramp(10);
    const std::string good = scientaBytes(s);
    ScientaSpec comma = s, enormous = s, lying = s, noMarker = s;
    comma.step = "0,1";
    enormous.slices = "2000000";
    lying.slices = "3";
    noMarker.markerAt = std::string::npos;
    std::string swapped = good;
    std::swap(swapped[0], swapped[1]);
    const Case cases[] = {
        {"truncated in the data", good.substr(0, 300 + 168 + 20), "has no \"Low Energy\""},
        {"binary garbage", std::string("\x89PNG\r\n\x1a\n\0\0\0\rIHDR", 16), "Not Scienta-Format?"},
        {"byte order mark reversed", swapped, "Not Scienta-Format?"},
        {"decimal comma", scientaBytes(comma), "\"Energy Step\" is \"0,1\""},
        {"enormous", scientaBytes(enormous), "at most 1000000 values"},
        {"sizes that lie", scientaBytes(lying), "promises 15 values"},
        {"no data marker", scientaBytes(noMarker), "no data marker"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        tvar ws;
        fill(ws);
        const Snapshot before(ws);
        const std::string path = data.file("bad.pxt");
        writeBytes(path, c.bytes);
        const LoadOutcome out = loadImports(ws, {path}, {});
        EXPECT_EQ(out.status, LoadStatus::Failed);
        EXPECT_NE(out.message.find(c.says), std::string::npos) << out.message;
        EXPECT_EQ(out.failedPath, path);
        EXPECT_TRUE(Snapshot(ws) == before);
        EXPECT_EQ(tmp.entries(), 0u);
    }
}

TEST_F(ImportTest, OriginColumnsBecomeSpectraAfterTheShownOnes) {
    tvar ws;
    fill(ws);
    const std::string path = data.file("run7.2.dat");
    writeBytes(path, "Energy Counts Counts Counts\r\n1 10 20 -5\r\n2 11 21 30\r\n3 12 22 31\r\n");
    const LoadOutcome out = importOriginFile(ws, path);
    ASSERT_TRUE(out) << out.message;
    EXPECT_EQ(out.added, (std::vector<int>{4, 5, 6}));
    EXPECT_EQ(out.message, "3  1  -5  31");
    EXPECT_EQ(ws.ShownCount, 5);
    EXPECT_EQ(ws.HiddenCount, 1);
    EXPECT_EQ(ws.atPosition(3), 4);
    EXPECT_EQ(ws.atPosition(6), 3);
    EXPECT_EQ(ws.Active, 1);
    for (int k = 4; k <= 6; ++k) {
        const ViewerSpectrum& s = ws.spectrum(k);
        EXPECT_EQ(s.ShortName, "run7_" + std::to_string(k - 3));
        EXPECT_EQ(s.FileName, s.ShortName);
        EXPECT_EQ(s.PathName, "");
        EXPECT_EQ(s.NumPoints, 3);
        EXPECT_EQ(s.RateFactor, 1);
        // Every column gets the range of the whole table.
        EXPECT_EQ(s.XMin, 1);
        EXPECT_EQ(s.XMax, 3);
        EXPECT_EQ(s.YMin, -5);
        EXPECT_EQ(s.YMax, 31);
        EXPECT_EQ(s.YTop, 31);
        EXPECT_EQ(s.YMinOrig, -5);
    }
    EXPECT_EQ(ws.point(6, 1).y, -5);
    EXPECT_EQ(ws.point(5, 3).x, 3);
    EXPECT_EQ(ws.point(5, 3).y, 22);
    EXPECT_EQ(ws.point(2, 3).y, 50); // the spectra already there keep their points
}

TEST_F(ImportTest, BadOriginFilesLeaveTheWorkspaceAsItWas) {
    struct Case {
        const char* name;
        std::string bytes;
        const char* says;
    };
    const Case cases[] = {
        {"table.txt", "1 2\r\n3 4\r\n", "extension \".dat\""},
        {"table.DAT", "1 2\r\n3 4\r\n", "extension \".dat\""},
        {"comma.dat", "E\r\n1 10\r\n2,5 11\r\n", "\"2,5\" is not a number (line 3)"},
        {"short.dat", "1 10 20\r\n2 11 21\r\n3 12", "1 values after x, 2 columns were counted (line 3)"},
        {"words.dat", "Energy\r\nCounts\r\n", "no line of numbers"},
        {"binary.dat", std::string("\0\1\2\3\4\5", 6), "no line of numbers"},
        {"wide.dat", "1" + std::string(1999 * 2, ' ') + "\r\n" + [] {
             std::string row = "2";
             for (int i = 0; i < 1998; ++i) row += " 1";
             return row;
         }(), "room for 1997 more spectra"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        tvar ws;
        fill(ws);
        const Snapshot before(ws);
        const std::string path = data.file(c.name);
        writeBytes(path, c.bytes);
        const LoadOutcome out = loadImports(ws, {}, {path});
        EXPECT_FALSE(out);
        EXPECT_NE(out.message.find(c.says), std::string::npos) << out.message;
        EXPECT_TRUE(Snapshot(ws) == before);
    }
    // A missing file says which.
    tvar ws;
    const LoadOutcome missing = importOriginFile(ws, data.file("gone.dat"));
    EXPECT_EQ(missing.status, LoadStatus::Failed);
    EXPECT_NE(missing.message.find("gone.dat"), std::string::npos) << missing.message;
}

// The load procedure on files that read: numbering, the shown and hidden blocks, the pool, the
// range rules, the header fields, Active, the overview file and the Scienta temporary files.
#include "viewer_test_util.h"

#include "common/text_codec.h"
#include "files/spectrum_writer.h"

#include <filesystem>
#include <limits>
#include <random>

using namespace korvo;
using korvo::testing::expectChained;
using korvo::testing::load;
using korvo::testing::spectrumText;
using korvo::testing::TempDir;
using korvo::testing::writeText;

namespace {

std::vector<int> orderOf(const tvar& ws) {
    return {ws.Order.begin() + 1, ws.Order.begin() + 1 + ws.spectrumCount()};
}

// What the data-selection dialog does: the last `hidden` positions of the order become the hidden block.
void hideLast(tvar& ws, int hidden) {
    ws.ShownCount -= hidden;
    ws.HiddenCount = static_cast<std::uint16_t>(ws.HiddenCount + hidden);
}

} // namespace

TEST(Load, NewSpectraGoBetweenTheShownAndTheHiddenBlock) {
    TempDir dir;
    const std::string a = writeText(dir, "a.dat", spectrumText({{1, 10}, {2, 20}}));
    const std::string b = writeText(dir, "b.dat", spectrumText({{1, 5}}));
    tvar ws;
    ASSERT_TRUE(load(ws, {a, b, a}));
    // The data selection put spectrum 3 first and hid spectrum 1.
    ws.Order[1] = 3, ws.Order[2] = 2, ws.Order[3] = 1;
    hideLast(ws, 1);
    ws.Active = 2;

    const LoadOutcome out = load(ws, {b, a, b});
    ASSERT_TRUE(out) << out.message;
    EXPECT_EQ(out.added, (std::vector<int>{4, 5, 6}));
    EXPECT_EQ(orderOf(ws), (std::vector<int>{3, 2, 4, 5, 6, 1}));
    EXPECT_EQ(ws.ShownCount, 5);
    EXPECT_EQ(ws.HiddenCount, 1);
    EXPECT_EQ(ws.Active, 2); // only an empty choice becomes 1
    EXPECT_EQ(ws.spectrum(5).ShortName, "a.dat");
    EXPECT_EQ(ws.spectrum(5).PathName, a);
    expectChained(ws);
    EXPECT_EQ(ws.point(5, 2).y, 20);
    EXPECT_EQ(ws.point(6, 1).y, 5);
}

// After any sequence of loads and hides every spectrum's points lie where PoolStart says, in
// number order, and the pool ends behind the last one.
TEST(Load, PoolStartChainsAfterAnySequenceOfLoads) {
    TempDir dir;
    std::mt19937 random(20021205);
    std::vector<std::string> files;
    std::vector<std::vector<std::pair<double, double>>> contents;
    for (int f = 0; f < 12; ++f) {
        std::vector<std::pair<double, double>> pts;
        const int n = f == 3 ? 0 : static_cast<int>(random() % 40) + 1; // one file without points
        for (int j = 0; j < n; ++j) pts.push_back({f + 0.5 * j, static_cast<double>(random() % 1000)});
        contents.push_back(pts);
        files.push_back(writeText(dir, "f" + std::to_string(f) + ".dat", spectrumText(pts)));
    }
    tvar ws;
    std::vector<int> fileOf{0}; // spectrum number -> file index
    for (int round = 0; round < 15; ++round) {
        std::vector<std::string> paths;
        const int n = static_cast<int>(random() % 4) + 1;
        for (int i = 0; i < n; ++i) {
            const int f = static_cast<int>(random() % files.size());
            paths.push_back(files[static_cast<std::size_t>(f)]);
            fileOf.push_back(f);
        }
        ASSERT_TRUE(load(ws, paths));
        if (random() % 3 == 0 && ws.ShownCount > 1) hideLast(ws, 1);
        expectChained(ws);
        for (int k = 1; k <= ws.spectrumCount(); ++k) {
            const auto& want = contents[static_cast<std::size_t>(fileOf[static_cast<std::size_t>(k)])];
            ASSERT_EQ(ws.points(k).size(), want.size()) << k;
            for (std::size_t j = 0; j < want.size(); ++j)
                ASSERT_EQ(ws.point(k, static_cast<int>(j) + 1).y, want[j].second) << k << " " << j;
        }
        // Every number appears once in the order.
        std::vector<int> order = orderOf(ws);
        std::sort(order.begin(), order.end());
        for (int k = 1; k <= ws.spectrumCount(); ++k) ASSERT_EQ(order[static_cast<std::size_t>(k - 1)], k);
    }
    EXPECT_EQ(ws.Active, 1);
}

TEST(Load, RangeRules) {
    constexpr double kMax = std::numeric_limits<double>::max();
    struct Case {
        const char* what;
        std::vector<std::pair<double, double>> points;
        double xMin, xMax, yMin, yMax;
    };
    const Case cases[] = {
        {"all counts 50", {{1, 50}, {2, 50}, {3, 50}}, 1, 3, 25, 100.1},
        {"all counts 0, all x 0", {{0, 0}, {0, 0}}, -0.5, 0.5, -0.5, 0.5005},
        {"all counts -8", {{1, -8}, {2, -8}}, 1, 2, -16, -4.004},
        {"all x 5", {{5, 1}, {5, 3}}, 2.5, 10, 1, 3.003},
        {"all x -2", {{-2, 1}, {-2, 3}}, -4, -1, 1, 3.003},
        {"headroom on the leading digits", {{270, 6017}, {273, 6168}}, 270, 273, 6017, 6174.168},
        {"a single point", {{7, 12}}, 3.5, 14, 6, 24.024},
        {"values beyond 1e20", {{1, 3e20}, {2, 4e20}}, 1, 2, 3e20, 4.004e20},
        {"no points", {}, 1e20, -1e20, 1e20, -1.001e20},
        // Doubling the largest values would overflow: the range stops at the largest double.
        {"all x and counts 1e308", {{1e308, 1e308}, {1e308, 1e308}}, kMax / 4, kMax, kMax / 4, kMax},
        {"all x and counts -1e308", {{-1e308, -1e308}}, -kMax, -kMax / 4, -kMax, -kMax / 4 * 1.001},
    };
    TempDir dir;
    for (const Case& c : cases) {
        tvar ws;
        ASSERT_TRUE(load(ws, {writeText(dir, "r.dat", spectrumText(c.points))})) << c.what;
        const ViewerSpectrum& s = ws.spectrum(1);
        EXPECT_DOUBLE_EQ(s.XMin, c.xMin) << c.what;
        EXPECT_DOUBLE_EQ(s.XMax, c.xMax) << c.what;
        EXPECT_DOUBLE_EQ(s.YMin, c.yMin) << c.what;
        EXPECT_DOUBLE_EQ(s.YMax, c.yMax) << c.what;
        EXPECT_EQ(s.YTop, s.YMax) << c.what;
        EXPECT_TRUE(s.XMinOrig == s.XMin && s.XMaxOrig == s.XMax && s.YMinOrig == s.YMin && s.YMaxOrig == s.YMax)
            << c.what;
    }
    // The three named cases hit the double nearest to the decimal, as the viewer always showed them.
    tvar ws;
    ASSERT_TRUE(load(ws, {writeText(dir, "a.dat", spectrumText({{1, 50}, {2, 50}})),
                          writeText(dir, "b.dat", spectrumText({{1, -8}}))}));
    EXPECT_EQ(ws.spectrum(1).YMax, 100.1);
    EXPECT_EQ(ws.spectrum(2).YMax, -4.004);
}

TEST(Load, HeaderFieldsThroughTheLoad) {
    struct Case {
        const char* what;
        std::string header;
        std::string ViewerSpectrum::*text;
        std::string expected;
        std::int32_t scans;
        double measTime, rateFactor;
    };
    const Case cases[] = {
        {"a comment mentioning Date replaces the date", "Date:  05.12.2002 10:11:12\r\nComment: Date of cleaning\r\n",
         &ViewerSpectrum::DateText, "Comment: Date of cleaning", 1, 1, 1000},
        {"pass energy with two decimals", "PassEn:20.000\r\nScans: 4\r\nMeasTime: 250\r\n", &ViewerSpectrum::PassEnText,
         "PassEn: 20.00", 4, 250, 1},
        {"missing numbers count as 0, then 1", "Scans: none\r\nMeasTime:\r\nPassEn:\r\n", &ViewerSpectrum::PassEnText,
         "PassEn: 0.00", 1, 1, 1000},
        {"scans 0 is 1", "Scans: 0\r\nMeasTime: 0.5\r\n", &ViewerSpectrum::ScansText, "Scans: 0", 1, 0.5, 2000},
        {"long lines are cut", "Points:512 points and a long tail\r\nScans: 2\r\n", &ViewerSpectrum::PointsText,
         "Points:512 points an", 2, 1, 500},
        {"FileName line", "FileName: C:\\data\\t_990101.000\r\n", &ViewerSpectrum::FileName,
         "FileName: C:\\data\\t_990101.000", 1, 1, 1000},
        {"no FileName line: the file's own name", "", &ViewerSpectrum::FileName, "h.dat", 1, 1, 1000},
        // 1000 / 1e-320 is no number: the rate factor stays usable, the measuring time as written.
        {"a measuring time too small for a rate", "MeasTime: 1e-320\r\n", &ViewerSpectrum::MeasTimeText,
         "MeasTime: 1e-320", 1, 1e-320, 1},
    };
    TempDir dir;
    for (const Case& c : cases) {
        tvar ws;
        ASSERT_TRUE(load(ws, {writeText(dir, "h.dat", spectrumText({{1, 2}}, c.header))})) << c.what;
        const ViewerSpectrum& s = ws.spectrum(1);
        EXPECT_EQ(s.*c.text, c.expected) << c.what;
        EXPECT_EQ(s.Scans, c.scans) << c.what;
        EXPECT_DOUBLE_EQ(s.MeasTime, c.measTime) << c.what;
        EXPECT_DOUBLE_EQ(s.RateFactor, c.rateFactor) << c.what;
    }

    // A long path keeps its first 100 characters; the short name comes from the whole path.
    const std::string deep = (dir.path / std::string(120, 'd')).string();
    std::filesystem::create_directory(deep);
    const std::string path = writeText(dir, std::string(120, 'd') + "/spectrum.dat", spectrumText({{1, 2}}));
    tvar ws;
    ASSERT_TRUE(load(ws, {path}));
    EXPECT_EQ(ws.spectrum(1).PathName, path.substr(0, 100));
    EXPECT_EQ(ws.spectrum(1).ShortName, "spectrum.dat");
}

TEST(Load, AMeasuredFileLoadsWithItsHeader) {
    TempDir dir;
    SpectrumHeader h;
    h.kindText = "CAE";
    h.comment = "clean \xC2\xB5-surface";
    h.sample = "Cu(111)";
    h.saveDir = "/data";
    h.fileName = "t.000";
    h.timePerPoint = 100;
    h.scanNumber = 3;
    h.points = 3;
    h.analyserStart = 10;
    h.ramp = 3;
    h.passEnergy = 20;
    h.userName = "lab";
    h.writtenAt = 0;
    DataBlock block(4);
    for (std::size_t i = 1; i < 4; ++i) block[i].Energy = 9.0 + static_cast<double>(i), block[i].Co[0] = 100.0 * i;
    const std::string path = dir.file("t.000");
    ASSERT_TRUE(saveSpectrumFile(path, h, {}, block));
    tvar ws;
    ASSERT_TRUE(load(ws, {path}));
    const ViewerSpectrum& s = ws.spectrum(1);
    EXPECT_EQ(s.CommentText, "Comment: clean \xC2\xB5-surface");
    EXPECT_EQ(s.SampleText, "Probe: Cu(111)");
    EXPECT_EQ(s.FileName, "FileName: /data/t.000");
    EXPECT_EQ(s.ScansText, "Scans: 2");
    EXPECT_DOUBLE_EQ(s.RateFactor, 1000.0 / 2 / 100);
    EXPECT_EQ(s.AnaStaText, "AnaSta:10.000");
    EXPECT_EQ(s.NumPoints, 3);
    EXPECT_EQ(ws.point(1, 3).x, 12);
    EXPECT_EQ(ws.point(1, 3).y, 300);
}

TEST(Load, OverviewFileIsMadeOnceAndExtended) {
    TempDir dir;
    const std::string a = writeText(dir, "a.dat",
                                    spectrumText({{1, 2}}, "Comment: clean\r\nProbe:\tCu\r\nFileName: C:\\data\\a.000\r\n"
                                                           "Date:  05.12.2002 10:11:12\r\nMeasTime: 100\r\nScans: 3\r\n"
                                                           "Points:1\r\nPassEn:20.000\r\nAnaSta:10.000\r\nAnaEnd:12.000\r\n"));
    const std::string b = writeText(dir, "b.dat", spectrumText({{1, 2}}, "Date:10:11:12\r\nComment: gr\xC3\xBCn\r\n"));
    const std::string overview = dir.file("overview.txt");
    LoadOptions options;
    options.overviewPath = overview;
    tvar ws;
    ASSERT_TRUE(load(ws, {a, b}, options));
    ASSERT_TRUE(load(ws, {b}, options));
    const std::string title(kOverviewTitle);
    EXPECT_EQ(*readFile(overview), title + "\r\n" +
                                       "C:\\data\\a.000\t05.12.2002\t10:11:12\tCu\tclean\t100\t3\t20.00\t1\t10.000\t12.000\r\n"
                                       ".dat\t\t10:11:12\t\tgr\xFCn\t\t\t\t\t\t\r\n"
                                       ".dat\t\t10:11:12\t\tgr\xFCn\t\t\t\t\t\t\r\n");
    EXPECT_EQ(ws.spectrumCount(), 3);

    // A failed load adds no line.
    const std::string before = *readFile(overview);
    EXPECT_FALSE(load(ws, {a, writeText(dir, "c.dat", "1,5 2\r\n")}, options));
    EXPECT_EQ(*readFile(overview), before);
}

TEST(Load, EmptyListClosesOnlyAnEmptyWindow) {
    tvar empty;
    LoadOutcome out = load(empty, {});
    EXPECT_EQ(out.status, LoadStatus::Nothing);
    EXPECT_TRUE(out.closeWindow);
    EXPECT_EQ(empty.Closed, 1);

    TempDir dir;
    tvar ws;
    ASSERT_TRUE(load(ws, {writeText(dir, "a.dat", spectrumText({{1, 2}}))}));
    hideLast(ws, 1); // everything hidden is still something held
    out = load(ws, {});
    EXPECT_EQ(out.status, LoadStatus::Nothing);
    EXPECT_FALSE(out.closeWindow);
    EXPECT_EQ(ws.Closed, 0);
}

TEST(Load, ScientaTemporaryFilesAreDeletedWhateverTheOutcome) {
    TempDir dir;
    for (const bool good : {true, false}) {
        const std::string t1 = writeText(dir, "_temp_0001.tmp", "1 2\r\n2 3\r\n");
        const std::string t2 = writeText(dir, "_temp_0002.tmp", good ? "1 2\r\n" : "1,5 2\r\n");
        LoadList list;
        list.paths = {t1, t2};
        list.ScientaTempFlag = true;
        tvar ws;
        EXPECT_EQ(static_cast<bool>(loadSpectrumFiles(ws, list)), good);
        EXPECT_FALSE(list.ScientaTempFlag);
        EXPECT_FALSE(std::filesystem::exists(t1));
        EXPECT_FALSE(std::filesystem::exists(t2));
    }
    // Without the flag the files are the user's and stay.
    const std::string kept = writeText(dir, "kept.dat", "1 2\r\n");
    tvar ws;
    ASSERT_TRUE(load(ws, {kept}));
    EXPECT_TRUE(std::filesystem::exists(kept));
}

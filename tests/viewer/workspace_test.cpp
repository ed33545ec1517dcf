// The workspace itself: its pixel mapping, its guards on the pool, and the way korvo-cli writes it.
#include "viewer_test_util.h"

#include <nlohmann/json.hpp>

#include <cmath>
#include <cstring>
#include <random>

using namespace korvo;
using korvo::testing::load;
using korvo::testing::spectrumText;
using korvo::testing::TempDir;
using korvo::testing::writeText;

TEST(Workspace, PointsAndPixels) {
    tvar ws;
    ViewerSpectrum& s = ws.spectrum(1);
    s.XMin = 100, s.XMax = 110, s.YMin = 0, s.YMax = 1000, s.YTop = 1000;
    ws.PlotWidth = 567, ws.PlotHeight = 540; // a data area of 500 x 500
    ws.recomputeScale(1);
    EXPECT_EQ(s.PlotWidthPx, 500);
    EXPECT_EQ(s.PlotHeightPx, 500);
    EXPECT_DOUBLE_EQ(s.XRange, 10);
    EXPECT_DOUBLE_EQ(s.XPerPixel, 0.02);
    EXPECT_DOUBLE_EQ(s.YPerPixel, 2);
    struct Case {
        double x, y;
        int column, row;
    };
    // Rows 254.5 and 255.5 are exact halves and go to the even pixel; 105.01 lies a hair above the
    // half between columns 295 and 296.
    for (const Case& c : {Case{100, 1000, 45, 5}, Case{110, 0, 545, 505}, Case{105.01, 501, 296, 254},
                          Case{105.03, 499, 297, 256}, Case{105.005, 500.5, 295, 255}}) {
        EXPECT_EQ(ws.column(1, c.x), c.column) << c.x;
        EXPECT_EQ(ws.row(1, c.y), c.row) << c.y;
    }
    EXPECT_DOUBLE_EQ(ws.xAtColumn(1, 295), 105);
    EXPECT_DOUBLE_EQ(ws.xAtColumn(1, 45), 100);

    // A box too small for a data area has no scale, and nothing divides by zero.
    ws.PlotWidth = 60;
    ws.recomputeScale(1);
    EXPECT_EQ(s.XPerPixel, 0);
}

TEST(Workspace, PointsOutsideThePoolAreNeverHandedOut) {
    tvar ws;
    ws.pool.resize(11);
    ws.spectrum(1).NumPoints = 10;
    EXPECT_EQ(ws.points(1).size(), 10u);
    ws.spectrum(1).NumPoints = 11; // one more than the pool holds
    EXPECT_TRUE(ws.points(1).empty());
    ws.spectrum(1).PoolStart = -1;
    EXPECT_TRUE(ws.points(1).empty());
    EXPECT_THROW(ws.spectrum(kMaxSpectra + 1), std::out_of_range);

    ws.spectrum(1) = {}, ws.spectrum(1).NumPoints = 4;
    ws.spectrum(2).NumPoints = 0;
    ws.spectrum(3).NumPoints = 6;
    ws.recomputePoolStarts(4);
    EXPECT_EQ((std::vector<int>{ws.spectrum(1).PoolStart, ws.spectrum(2).PoolStart, ws.spectrum(3).PoolStart,
                                ws.spectrum(4).PoolStart}),
              (std::vector<int>{0, 4, 4, 10}));
}

// The JSON document holds every field and every point, and its numbers read back as the doubles.
TEST(Workspace, JsonHoldsTheWholeWorkspace) {
    TempDir dir;
    std::mt19937_64 random(7);
    std::vector<std::pair<double, double>> pts;
    std::string body = "Comment: \x1b[2J \"quoted\" \\ \xC2\xB5m\r\nBEGIN:\r\n";
    char line[80];
    for (int i = 0; i < 3000; ++i) {
        double v;
        const std::uint64_t bits = random();
        std::memcpy(&v, &bits, sizeof v);
        if (!std::isfinite(v) || std::fabs(v) < 1e-300) v = 1.0 / 3; // no subnormals in a file
        const double x = 100 + 0.0001 * i;
        pts.push_back({x, i % 2 ? v : static_cast<double>(random() % 100000)});
        std::snprintf(line, sizeof line, "%.17g %.17g\r\n", pts.back().first, pts.back().second);
        body += line;
    }
    body += "END\r\n";
    tvar ws;
    ASSERT_TRUE(load(ws, {writeText(dir, "a.dat", body), writeText(dir, "b.dat", "BEGIN:\r\nEND\r\n")}));
    ws.HiddenCount = 1, ws.ShownCount = 1; // b hidden
    ws.spectrum(1).Marked = 1;

    std::ostringstream out;
    ASSERT_TRUE(writeWorkspaceJson(out, ws));
    const auto doc = nlohmann::json::parse(out.str());
    EXPECT_EQ(doc["ShownCount"], 1);
    EXPECT_EQ(doc["HiddenCount"], 1);
    EXPECT_EQ(doc["Active"], 1);
    EXPECT_EQ(doc["Order"], nlohmann::json({1, 2}));
    ASSERT_EQ(doc["spectra"].size(), 2u);
    const auto& a = doc["spectra"][0];
    EXPECT_EQ(a["Number"], 1);
    EXPECT_EQ(a["CommentText"], "Comment: \x1b[2J \"quoted\" \\ \xC2\xB5m");
    EXPECT_EQ(a["Marked"], true);
    EXPECT_EQ(a["PoolStart"], 0);
    EXPECT_EQ(a["RateFactor"].get<double>(), 1000);
    for (const char* key : {"PathName", "ShortName", "FileName", "DateText", "SampleText", "ScansText", "MeasTimeText",
                            "PointsText", "PassEnText", "AnaStaText", "AnaEndText", "Scans", "MeasTime", "NumPoints",
                            "XMin", "XMax", "YMin", "YMax", "YTop", "XMinOrig", "XMaxOrig", "YMinOrig", "YMaxOrig"})
        EXPECT_TRUE(a.contains(key)) << key;
    EXPECT_EQ(a["YMax"].get<double>(), ws.spectrum(1).YMax);
    ASSERT_EQ(a["points"].size(), pts.size());
    for (std::size_t j = 0; j < pts.size(); ++j) {
        ASSERT_EQ(a["points"][j][0].get<double>(), pts[j].first) << j;
        ASSERT_EQ(a["points"][j][1].get<double>(), pts[j].second) << j;
    }
    EXPECT_EQ(doc["spectra"][1]["points"], nlohmann::json::array());
    EXPECT_EQ(doc["spectra"][1]["PoolStart"], 3000);

    // Shortest texts: "100.1", not "100.09999999999999".
    std::string s;
    for (double v : {100.1, 1520.0, -0.0, 1e-7, 1e15, 0.1 + 0.2}) {
        appendShortest(s, v, true);
        s += ' ';
    }
    EXPECT_EQ(s, "100.1 1520 -0 1e-07 1e+15 0.30000000000000004 ");
}

TEST(Workspace, TextIsSafeForATerminalAndStreamed) {
    TempDir dir;
    tvar ws;
    ASSERT_TRUE(load(ws, {writeText(dir, "a.dat", "Comment: \x1b]0;owned\x07\r\nBEGIN:\r\n1 2\r\n2.5 3\r\n")}));
    std::ostringstream out;
    ASSERT_TRUE(writeWorkspaceText(out, ws));
    const std::string text = out.str();
    for (const char c : text) EXPECT_FALSE((static_cast<unsigned char>(c) < 0x20 && c != '\n') || c == 0x7F) << int(c);
    EXPECT_NE(text.find("  CommentText   Comment: \\x1b]0;owned\\x07\n"), std::string::npos) << text;
    EXPECT_NE(text.find("  points\n  1 2\n  2.5 3\n"), std::string::npos) << text;

    std::ostream closed(nullptr); // a closed pipe: every write fails
    EXPECT_FALSE(writeWorkspaceText(closed, ws));
    EXPECT_FALSE(writeWorkspaceJson(closed, ws));
}

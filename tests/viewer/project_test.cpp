// Projects: the file layout, round trips through save and load, names, and projects that lie.
#include "viewer_test_util.h"

#include "files/project_file.h"
#include "viewer/workspace_project.h"

#include <filesystem>
#include <limits>

using namespace korvo;
using korvo::testing::load;
using korvo::testing::spectrumText;
using korvo::testing::stateOf;
using korvo::testing::TempDir;
using korvo::testing::writeText;

namespace {

std::vector<std::string> crlfLines(const std::string& bytes) {
    std::vector<std::string> lines;
    std::size_t pos = 0;
    for (std::size_t end; (end = bytes.find("\r\n", pos)) != std::string::npos; pos = end + 2)
        lines.push_back(bytes.substr(pos, end - pos));
    EXPECT_EQ(pos, bytes.size()) << "every line ends with CR LF";
    return lines;
}

// Two spectra of three files shown (the second file hidden), saved as a project.
struct Saved {
    TempDir dir;
    tvar ws;
    std::string project;
    Saved() {
        const std::string a = writeText(dir, "a.dat",
                                        spectrumText({{284.5, 1520}, {285, -2.5e-7}, {285.5, 0}},
                                                     "Comment: Ni 5 \xC2\xB5m\r\nScans: 2\r\nMeasTime: 100\r\n"
                                                     "PassEn:20\r\nPoints:3\r\nAnaSta:1\r\n"));
        const std::string b = writeText(dir, "b.dat", spectrumText({{1, 50}}));
        EXPECT_TRUE(load(ws, {a, b, a}));
        ws.Order[2] = 3, ws.Order[3] = 2; // spectrum 2 hidden
        ws.ShownCount = 2, ws.HiddenCount = 1;
        ws.geometry = {640, 480, 12, 34};
        project = dir.file("run.k98");
        std::string error;
        EXPECT_TRUE(saveProjectFile(ws, project, &error)) << error;
    }
};

} // namespace

TEST(Project, FileLayout) {
    Saved s;
    const std::string bytes = *readFile(s.project);
    const std::vector<std::string> lines = crlfLines(bytes);
    ASSERT_EQ(lines.size(), 5u + 2 * 25 + 2 * 3 + 2);
    EXPECT_EQ(std::vector<std::string>(lines.begin(), lines.begin() + 5),
              (std::vector<std::string>{"2", "640", "480", "", ""}));
    const std::vector<std::string> block(lines.begin() + 5, lines.begin() + 30);
    EXPECT_EQ(block[0], s.ws.spectrum(1).PathName);
    EXPECT_EQ(block[1], "a.dat");                 // FileName
    EXPECT_EQ(block[2], "a.dat");                 // ShortName
    EXPECT_EQ(block[3], "");                      // SampleText
    EXPECT_EQ(block[4], "Comment: Ni 5 \xB5m");   // Windows-1252
    EXPECT_EQ(block[6], "Scans: 2");
    EXPECT_EQ(block[7], "PassEn: 20.00");
    EXPECT_EQ(block[8], "Points:3");
    EXPECT_EQ(block[9], "MeasTime: 100");
    EXPECT_EQ(block[10], "2");
    EXPECT_EQ(block[11], " 1.00000000000000E+0002");
    EXPECT_EQ(block[12], " 1.52152000000000E+0003"); // YMax with its headroom
    EXPECT_EQ(block[13], "-2.50000000000000E-0007"); // YMin
    EXPECT_EQ(block[14], " 2.84500000000000E+0002"); // XMin
    EXPECT_EQ(block[20], "3");
    EXPECT_EQ(block[21], "0");
    EXPECT_EQ(block[22], "---NextSpectrum---");
    EXPECT_EQ(block[23] + block[24], "");
    // The second block is spectrum 3 (display order), whose points start behind those of 1 and 2.
    EXPECT_EQ(lines[5 + 25 + 21], "4");
    EXPECT_EQ(lines[55], " 2.84500000000000E+0002  1.52000000000000E+0003");
    EXPECT_EQ(lines[56], " 2.85000000000000E+0002 -2.50000000000000E-0007");
    EXPECT_EQ(lines[61], "12"); // top
    EXPECT_EQ(lines[62], "34"); // left
}

TEST(Project, RoundTrip) {
    Saved s;
    tvar back;
    const LoadOutcome out = loadProjectFile(back, s.project);
    ASSERT_TRUE(out) << out.message;
    EXPECT_EQ(out.message, "2 spectra opened !");
    EXPECT_EQ(out.added, (std::vector<int>{1, 2}));
    ASSERT_TRUE(out.geometry);
    EXPECT_EQ(out.geometry->width, 640);
    EXPECT_EQ(out.geometry->left, 34);
    EXPECT_EQ(back.ProjectFileName, "run.k98");
    EXPECT_EQ(back.Active, 1);
    for (const auto& [k, from] : {std::pair{1, 1}, std::pair{2, 3}}) {
        const ViewerSpectrum &a = back.spectrum(k), &b = s.ws.spectrum(from);
        for (auto field : {&ViewerSpectrum::PathName, &ViewerSpectrum::FileName, &ViewerSpectrum::ShortName,
                           &ViewerSpectrum::SampleText, &ViewerSpectrum::CommentText, &ViewerSpectrum::DateText,
                           &ViewerSpectrum::ScansText, &ViewerSpectrum::PassEnText, &ViewerSpectrum::PointsText,
                           &ViewerSpectrum::MeasTimeText})
            EXPECT_EQ(a.*field, b.*field) << k;
        EXPECT_EQ(a.AnaStaText, ""); // not part of a project
        for (auto field : {&ViewerSpectrum::MeasTime, &ViewerSpectrum::RateFactor, &ViewerSpectrum::XMin,
                           &ViewerSpectrum::XMax, &ViewerSpectrum::YMin, &ViewerSpectrum::YMax, &ViewerSpectrum::YTop,
                           &ViewerSpectrum::XMinOrig, &ViewerSpectrum::XMaxOrig, &ViewerSpectrum::YMinOrig,
                           &ViewerSpectrum::YMaxOrig})
            EXPECT_EQ(a.*field, b.*field) << k;
        EXPECT_EQ(a.Scans, b.Scans);
        ASSERT_EQ(a.NumPoints, b.NumPoints);
        for (int j = 1; j <= a.NumPoints; ++j) {
            EXPECT_EQ(back.point(k, j).x, s.ws.point(from, j).x);
            EXPECT_EQ(back.point(k, j).y, s.ws.point(from, j).y);
        }
    }
    // Saved again, the project is the same file byte for byte but for the second PoolStart: the
    // hidden spectrum's point no longer lies between the two.
    const std::string again = s.dir.file("again.k98");
    ASSERT_TRUE(saveProjectFile(back, again));
    std::vector<std::string> expected = crlfLines(*readFile(s.project));
    ASSERT_EQ(expected[5 + 25 + 21], "4");
    expected[5 + 25 + 21] = "3";
    EXPECT_EQ(crlfLines(*readFile(again)), expected);
}

// Texts come from files and may hold line breaks; each stays one line of the project, or every line
// after it would shift. A number the reader would refuse is not written at all.
TEST(Project, NothingInASpectrumBreaksTheFile) {
    Saved s;
    ViewerSpectrum& a = s.ws.spectrum(1);
    a.CommentText = "Comment: two\nlines";
    a.SampleText = "Probe: a\rb";
    a.FileName = "x\r\ny";
    // The largest doubles, whose 15 digits round up beyond the double range, are written rounded down.
    constexpr double kMax = std::numeric_limits<double>::max();
    a.YMax = kMax;
    s.ws.point(1, 1).y = -kMax;
    const std::string path = s.dir.file("breaks.k98");
    ASSERT_TRUE(saveProjectFile(s.ws, path));
    EXPECT_EQ(crlfLines(*readFile(path)).size(), 5u + 2 * 25 + 2 * 3 + 2);
    tvar back;
    ASSERT_TRUE(loadProjectFile(back, path));
    EXPECT_EQ(back.spectrum(1).CommentText, "Comment: two lines");
    EXPECT_EQ(back.spectrum(1).SampleText, "Probe: a b");
    EXPECT_EQ(back.spectrum(1).FileName, "x  y");
    EXPECT_EQ(back.spectrum(2).ShortName, "a.dat");
    EXPECT_EQ(back.point(2, 3).x, 285.5);
    EXPECT_EQ(back.spectrum(1).YMax, 1.79769313486231e308);
    EXPECT_EQ(back.point(1, 1).y, -1.79769313486231e308);

    const std::string before = *readFile(s.project);
    s.ws.point(3, 2).y = std::numeric_limits<double>::infinity();
    std::string error;
    EXPECT_FALSE(saveProjectFile(s.ws, s.project, &error));
    EXPECT_EQ(error,
              "The spectrum a.dat holds a value that is not a finite number; a project with it could not be "
              "loaded again. Nothing was saved.");
    EXPECT_EQ(*readFile(s.project), before);
}

TEST(Project, LoadsBetweenShownAndHiddenSpectra) {
    Saved s;
    // s.ws shows 1 and 3 and hides 2; the project's two spectra become 4 and 5.
    const LoadOutcome out = loadProjectFile(s.ws, s.project);
    ASSERT_TRUE(out) << out.message;
    EXPECT_EQ(out.added, (std::vector<int>{4, 5}));
    EXPECT_EQ((std::vector<int>(s.ws.Order.begin() + 1, s.ws.Order.begin() + 6)), (std::vector<int>{1, 3, 4, 5, 2}));
    EXPECT_EQ(s.ws.ShownCount, 4);
    korvo::testing::expectChained(s.ws);
    EXPECT_EQ(s.ws.point(5, 1).x, 284.5);
}

TEST(Project, NamesAndKinds) {
    for (const auto& [chosen, saved] : {std::pair{"/data/run.1", "/data/run.k98"},
                                        {"/data/run", "/data/run.k98"},
                                        {"run.tar.gz", "run.k98"},
                                        {"/tmp/a.b/run", "/tmp/a.b/run.k98"},
                                        {"/data/run.k98", "/data/run.k98"}})
        EXPECT_EQ(projectSavePath(chosen), saved) << chosen;
    for (const auto& [path, kind] : {std::pair{"x.k98", ProjectPathKind::Project},
                                     {"x.K98", ProjectPathKind::WrongExtension},
                                     {"x.k98bak", ProjectPathKind::Project},
                                     {"x.dat", ProjectPathKind::Origin},
                                     {"x.DAT", ProjectPathKind::WrongExtension},
                                     {"/a.k98/x", ProjectPathKind::WrongExtension}})
        EXPECT_EQ(projectPathKind(path), kind) << path;
    tvar ws;
    const LoadOutcome out = loadProjectFile(ws, "/data/run.txt");
    EXPECT_EQ(out.status, LoadStatus::Refused);
    EXPECT_EQ(out.message, kWrongProjectExtension);
}

// Projects from elsewhere: every lie gives a message and leaves the window as it was.
TEST(Project, LyingProjectsLeaveTheWorkspaceAsItWas) {
    Saved s;
    const std::string good = *readFile(s.project);
    const std::vector<std::string> lines = crlfLines(good);
    const auto join = [](std::vector<std::string> l) {
        std::string out;
        for (const std::string& x : l) out += x + "\r\n";
        return out;
    };
    const auto with = [&](std::size_t line, const std::string& text) {
        std::vector<std::string> l = lines;
        l[line] = text;
        return join(l);
    };
    struct Case {
        const char* what;
        std::string bytes;
        const char* message; // part of it
    };
    const Case cases[] = {
        {"more points than it holds", with(5 + 20, "4"), "a point should be two numbers (line 62)"},
        {"absurd point count", with(5 + 20, "2000000000"), "more than the file can hold"},
        {"absurd spectrum count", with(0, "1000000000"), "more than the file can hold"},
        {"negative count", with(0, "-1"), "negative number of spectra"},
        {"negative points", with(5 + 20, "-3"), "negative number of points"},
        {"text for a number", with(5 + 12, "lots"), "YMax should be a number (line 18)"},
        {"blocks out of step", with(5 + 22, "BEGIN:"), "\"---NextSpectrum---\" expected"},
        {"truncated in the points", join({lines.begin(), lines.begin() + 57}), "where a point should follow"},
        {"truncated before top and left", join({lines.begin(), lines.end() - 2}), "the window top"},
        {"one number on a point line", with(56, " 2.85000000000000E+0002"), "two numbers (line 57)"},
        {"binary", std::string("\x89PNG\r\n\x1a\n\0\0\0\rIHDR", 16), "the number of spectra should be an integer"},
        {"empty", "", "truncated"},
        {"endless line", std::string(3 << 20, '7'), "longer than 1 MB"},
    };
    for (const Case& c : cases) {
        Saved target; // a window with spectra shown and hidden
        const std::string before = stateOf(target.ws);
        const std::string path = writeText(target.dir, "lie.k98", c.bytes);
        const LoadOutcome out = loadProjectFile(target.ws, path);
        EXPECT_EQ(out.status, LoadStatus::Failed) << c.what;
        EXPECT_NE(out.message.find(c.message), std::string::npos) << c.what << ": " << out.message;
        EXPECT_EQ(stateOf(target.ws), before) << c.what;
    }

    // Every cut of a good project fails, but for cuts into the last number and line end, which no
    // reader could tell from a whole file.
    for (std::size_t cut = 0; cut < good.size(); cut += cut + 12 < good.size() ? 7 : 1) {
        std::vector<SpectrumPoint> points(1);
        const ProjectReadResult r = readProjectText(good.substr(0, cut), "cut.k98", points);
        EXPECT_EQ(static_cast<bool>(r), cut >= good.size() - 3) << cut;
        if (!r) {
            EXPECT_EQ(points.size(), 1u) << cut;
        }
    }
}

TEST(Project, AProjectMustFitTheWindow) {
    Saved s;
    tvar ws;
    LoadList list;
    list.paths.assign(1999, s.dir.file("b.dat"));
    ASSERT_TRUE(loadSpectrumFiles(ws, list));
    const std::string before = stateOf(ws);
    const LoadOutcome out = loadProjectFile(ws, s.project);
    EXPECT_EQ(out.status, LoadStatus::Failed);
    EXPECT_NE(out.message.find("it holds 2 spectra, the window has room for 1 more"), std::string::npos)
        << out.message;
    EXPECT_EQ(stateOf(ws), before);
}

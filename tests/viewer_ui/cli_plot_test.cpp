// korvo-cli plot and export as users run them: the built program writes the viewer's picture and
// its export forms of spectrum files.
#include "cli/cli_run.h"
#include "support/temp_dir.h"
#include "viewer_ui/viewer_test_util.h"
#include "support/crlf_lines.h"
#include "formats/foreign_test_util.h"
#include "support/file_bytes.h"

#include <gtest/gtest.h>

#include <QImage>

#include <cmath>
#include <fstream>
#include <regex>
#include <sstream>

namespace korvo {
namespace {

using testing::runCli;
using testing::slurp;

// Where ink of a colour first shows in a PNG: the first column holding any (`leftmost`), or else the
// column of its highest pixel in the data area.
int inkColumn(const std::string& path, QRgb colour, bool leftmost) {
    const QImage png(QString::fromStdString(path), "PNG");
    const int outer = leftmost ? png.width() : png.height(), inner = leftmost ? png.height() : png.width();
    for (int i = 0; i < outer; ++i)
        for (int j = leftmost ? 0 : 46; j < inner; ++j)
            if ((png.pixel(leftmost ? i : j, leftmost ? j : i) & 0xFFFFFF) == colour) return leftmost ? i : j;
    return -1;
}

struct PlotRig {
    PlotRig() {
        EXPECT_TRUE(testing::writeSpectrum(dir.file("a.dat"), 80, 200, 90, "gold"));
        EXPECT_TRUE(testing::writeSpectrum(dir.file("b.dat"), 80, 200, 95, "silver"));
    }
    testing::TempDir dir;
};

TEST(CliPlot, WritesPngPdfAndSvgOfTheRequestedSize) {
    PlotRig rig;
    auto r = runCli(rig.dir.path, "plot --size 640x480 --out p.png a.dat b.dat");
    ASSERT_EQ(r.status, 0) << r.err;
    QImage png(QString::fromStdString(rig.dir.file("p.png")), "PNG");
    ASSERT_FALSE(png.isNull());
    EXPECT_EQ(png.width(), 640);
    EXPECT_EQ(png.height(), 480);
    // The active spectrum in navy, the other in black, on white; the frame's grey border.
    int navy = 0, black = 0, grey = 0;
    for (int y = 0; y < png.height(); ++y)
        for (int x = 0; x < png.width(); ++x) {
            const QRgb p = png.pixel(x, y) & 0xFFFFFF;
            navy += p == 0x000080;
            black += p == 0x000000;
            grey += p == 0x808080;
        }
    EXPECT_GT(navy, 300);
    EXPECT_GT(black, 300);
    EXPECT_GT(grey, 2 * (640 - 67));
    EXPECT_EQ(png.pixel(45, 5) & 0xFFFFFF, 0x808080u); // the frame's corner at (45, 5)

    r = runCli(rig.dir.path, "plot --size 800x600 --out p.pdf a.dat");
    ASSERT_EQ(r.status, 0) << r.err;
    const std::string pdf = slurp(rig.dir.file("p.pdf"));
    EXPECT_EQ(pdf.substr(0, 5), "%PDF-");
    // 800 x 600 pixels at 96 per inch: a page of 600 x 450 points.
    EXPECT_TRUE(std::regex_search(pdf, std::regex(R"(/MediaBox \[0 0 600(\.0+)? 450(\.0+)?\])"))) << pdf.substr(0, 2000);

    r = runCli(rig.dir.path, "plot --out p.svg a.dat");
    ASSERT_EQ(r.status, 0) << r.err;
    const std::string svg = slurp(rig.dir.file("p.svg"));
    EXPECT_NE(svg.find("<svg"), std::string::npos);
    EXPECT_NE(svg.find("viewBox=\"0 0 800 600\""), std::string::npos); // the default size
    EXPECT_NE(svg.find("#000080"), std::string::npos);
}

// --fit: the active spectrum fitted and the fit drawn as the Peak Fit window draws it (envelope red);
// a model refused for the spectrum writes nothing.
TEST(CliPlot, DrawsAFitOverTheActiveSpectrum) {
    PlotRig rig;
    std::ofstream(rig.dir.file("m.json")) << R"({"background": {"type": "linear"}, "components": [
        {"name": "P", "shape": "gaussian", "position": 90.2, "fwhm": 1.2, "area": 5000, "element": "Au"}]})";
    std::ofstream(rig.dir.file("far.json")) << R"({"region": {"from": 150, "to": 160}, "components": [
        {"name": "P", "shape": "gaussian", "position": 155, "fwhm": 1.2, "area": 5000}]})";
    const auto red = [&](const char* out) {
        const QImage png(QString::fromStdString(rig.dir.file(out)), "PNG");
        int n = 0;
        for (int y = 0; y < png.height(); ++y)
            for (int x = 0; x < png.width(); ++x) n += (png.pixel(x, y) & 0xFFFFFF) == 0xDC0000;
        return n;
    };
    auto r = runCli(rig.dir.path, "plot --fit m.json --out fit.png a.dat b.dat");
    ASSERT_EQ(r.status, 0) << r.err;
    ASSERT_EQ(runCli(rig.dir.path, "plot --out plain.png a.dat b.dat").status, 0);
    EXPECT_GT(red("fit.png"), 300);
    EXPECT_EQ(red("plain.png"), 0);
    r = runCli(rig.dir.path, "plot --fit far.json --out far.png a.dat");
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("\"region\": 150 to 160 eV lies outside"), std::string::npos) << r.err;
    EXPECT_FALSE(std::filesystem::exists(rig.dir.file("far.png")));
    EXPECT_EQ(runCli(rig.dir.path, "plot --fit m.json --out m.json a.dat").status, 2); // never over the model
}

// Spectra over different energies: each is drawn on its own range, as a fresh viewer draws them;
// --full-scale puts them on one range, as the "Not Scaled" menu does.
TEST(CliPlot, FullScaleDrawsEverySpectrumOnOneRange) {
    PlotRig rig;
    ASSERT_TRUE(testing::writeSpectrum(rig.dir.file("low.dat"), 60, 200, 70, "low"));
    const auto firstColumn = [&](const char* out, QRgb colour) { return inkColumn(rig.dir.file(out), colour, true); };
    ASSERT_EQ(runCli(rig.dir.path, "plot --out own.png a.dat low.dat").status, 0);
    ASSERT_EQ(runCli(rig.dir.path, "plot --full-scale all --out common.png a.dat low.dat").status, 0);
    // Each on its own range, both curves start at the left edge of the data area; on the common
    // range 60 .. 99.9 eV a.dat (navy, from 80 eV on) starts half-way across.
    EXPECT_LE(firstColumn("own.png", 0x000080), 46);
    EXPECT_LE(firstColumn("own.png", 0x000000), 46);
    EXPECT_LE(firstColumn("common.png", 0x000000), 46);
    EXPECT_NEAR(firstColumn("common.png", 0x000080), 45 + 20 / (39.9 / (800 - 67)), 2);
    const auto bad = runCli(rig.dir.path, "plot --full-scale most --out p.png a.dat");
    EXPECT_EQ(bad.status, 2);
    EXPECT_FALSE(std::filesystem::exists(rig.dir.file("p.png")));
}

// A line at 284.5 eV binding energy, `height` counts high, measured with `hv` eV photons, 0.1 eV
// steps from `start` eV.
std::string lineFile(double hv, double start, double height) {
    std::ostringstream s;
    s << "PhotEn: " << hv << "\r\nBEGIN:\r\n";
    for (int i = 0; i < 200; ++i) {
        const double x = start + 0.1 * i, d = x - (hv - 4.5 - 284.5);
        s << x << ' ' << 100 + height * std::exp(-d * d) << "\r\n";
    }
    s << "END\r\n";
    return s.str();
}

TEST(CliPlot, BindingAxisLinesUpPhotonEnergiesKeepsTheCurvesAndRefuses) {
    PlotRig rig;
    std::ofstream(rig.dir.file("p400.dat"), std::ios::binary) << lineFile(400, 100, 5000);
    std::ofstream(rig.dir.file("p420.dat"), std::ios::binary) << lineFile(420, 125, 2500);
    const auto peak = [&](const char* out, QRgb colour) { return inkColumn(rig.dir.file(out), colour, false); };
    // On one count range the lower line's top lies under the higher one's.
    ASSERT_EQ(runCli(rig.dir.path, "plot --full-scale all --out k.png p400.dat p420.dat").status, 0);
    const auto b = runCli(rig.dir.path, "plot --binding --full-scale all --out b.png p400.dat p420.dat");
    ASSERT_EQ(b.status, 0) << b.err;
    EXPECT_GT(std::abs(peak("k.png", 0x000080) - peak("k.png", 0x000000)), 100);
    EXPECT_NEAR(peak("b.png", 0x000080), peak("b.png", 0x000000), 1);

    // Photon-energy scans and spectra without a photon energy; bad numbers; numbers without --binding.
    SpectrumHeader cfs = testing::clamHeader();
    cfs.machineMode = ModeCfs;
    ASSERT_TRUE(saveSpectrumFile(rig.dir.file("cfs.dat"), cfs, {}, testing::makeBlock(cfs, 50, 1)));
    std::ofstream(rig.dir.file("bare.dat")) << "1 10\r\n2 20\r\n3 15\r\n";
    for (const char* args : {"plot --binding --out p.png p400.dat cfs.dat", "plot --binding --out p.png bare.dat",
                             "plot --binding --photon-energy 100 --out p.png cfs.dat",
                             "plot --binding --work-function 4,5 --out p.png p400.dat",
                             "plot --binding --work-function 25 --out p.png p400.dat",
                             "plot --binding --photon-energy -3 --out p.png bare.dat",
                             "plot --work-function 4 --out p.png p400.dat"}) {
        SCOPED_TRACE(args);
        const auto r = runCli(rig.dir.path, args);
        EXPECT_EQ(r.status, 2);
        EXPECT_FALSE(r.err.empty());
        EXPECT_FALSE(std::filesystem::exists(rig.dir.file("p.png")));
    }
    EXPECT_NE(runCli(rig.dir.path, "plot --binding --out p.png cfs.dat").err.find("constant final state"), std::string::npos);
    EXPECT_EQ(runCli(rig.dir.path, "plot --binding --photon-energy 100 --work-function 4.25 --out p.png bare.dat").status, 0);
}

TEST(CliPlot, RefusedInputExitsTwoAndWritesNothing) {
    PlotRig rig;
    std::ofstream(rig.dir.file("broken.dat")) << "Comment: no data here\r\nBEGIN:\r\n1.0 oops\r\n";
    for (const char* args : {"plot --out p.png missing.dat", "plot --out p.png a.dat broken.dat",
                             "plot --out p.bmp a.dat", "plot --size 10x10 --out p.png a.dat",
                             "plot --size big --out p.png a.dat", "plot --out p.png"}) {
        SCOPED_TRACE(args);
        const auto r = runCli(rig.dir.path, args);
        EXPECT_EQ(r.status, 2);
        EXPECT_FALSE(r.err.empty());
        EXPECT_FALSE(std::filesystem::exists(rig.dir.file("p.png")));
        EXPECT_FALSE(std::filesystem::exists(rig.dir.file("p.bmp")));
    }
    // A picture that was there stays as it was when the new one cannot be made.
    std::ofstream(rig.dir.file("p.png")) << "old";
    EXPECT_EQ(runCli(rig.dir.path, "plot --out p.png missing.dat").status, 2);
    EXPECT_EQ(slurp(rig.dir.file("p.png")), "old");
}

// plot takes the foreign formats as the other verbs do, and a run outside a desktop session (no
// XDG_RUNTIME_DIR) leaves stderr to Korvo's own messages.
TEST(CliPlot, ImportsForeignFilesAndKeepsStderrClean) {
    PlotRig rig;
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    const std::string saved = runtime ? runtime : "";
    ::unsetenv("XDG_RUNTIME_DIR");
    const auto plain = runCli(rig.dir.path, "plot --out a.png a.dat");
    const auto printed = runCli(rig.dir.path, "print --pdf a.pdf a.dat");
    if (runtime) ::setenv("XDG_RUNTIME_DIR", saved.c_str(), 1);
    EXPECT_EQ(plain.status, 0);
    EXPECT_EQ(plain.err, "");
    EXPECT_EQ(printed.status, 0);
    EXPECT_EQ(printed.err, "");

    ASSERT_EQ(runCli(rig.dir.path, "export --vamas --out b.vms b.dat").status, 0);
    std::ofstream(rig.dir.file("t.dat")) << "Energy A\r\n1 10\r\n2 30\r\n3 20\r\n";
    testing::ScientaSpec scienta;
    scienta.values = testing::ramp(10);
    testing::writeBytes(rig.dir.file("s.pxt"), testing::scientaBytes(scienta));
    const auto all = runCli(rig.dir.path, "plot --out all.png a.dat --vamas b.vms --origin t.dat --scienta s.pxt");
    ASSERT_EQ(all.status, 0) << all.err;
    EXPECT_EQ(all.err, "3  1  10  30\n"); // the Origin import's ranges
    // Curves of five spectra instead of one: more ink.
    const auto ink = [&](const char* file) {
        const QImage png(QString::fromStdString(rig.dir.file(file)), "PNG");
        int n = 0;
        for (int y = 0; y < png.height(); ++y)
            for (int x = 0; x < png.width(); ++x) n += (png.pixel(x, y) & 0xFFFFFF) == 0;
        return n;
    };
    EXPECT_GT(ink("all.png"), ink("a.png") + 300);
}

TEST(CliExport, ColumnFilesSurferGridAndEpsPictures) {
    PlotRig rig;
    auto r = runCli(rig.dir.path, "export --raw --all --out raw.dat a.dat b.dat");
    ASSERT_EQ(r.status, 0) << r.err;
    const std::vector<std::string> all = testing::crlfLines(slurp(rig.dir.file("raw.dat")));
    ASSERT_EQ(all.size(), 200u); // one shared grid of 200 energies
    std::istringstream first(all[0]);
    double x = 0, vb = 0, va = 0;
    first >> x >> vb >> va;
    EXPECT_DOUBLE_EQ(x, 80);
    EXPECT_GT(vb, 0);
    EXPECT_GT(va, 0);
    EXPECT_EQ(all[0].substr(all[0].size() - 2), "  ");

    // Without --all as well: every file named is exported, as the viewer after a load has all spectra
    // chosen.
    r = runCli(rig.dir.path, "export --origin --out origin.dat a.dat b.dat");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "");
    const std::vector<std::string> both = testing::crlfLines(slurp(rig.dir.file("origin.dat")));
    ASSERT_EQ(both.size(), 200u);
    std::istringstream fields(both[0]);
    int n = 0;
    for (double v; fields >> v;) ++n;
    EXPECT_EQ(n, 3);

    r = runCli(rig.dir.path, "export --surfer --out grid.dat a.dat b.dat");
    ASSERT_EQ(r.status, 0) << r.err;
    const std::vector<std::string> grid = testing::crlfLines(slurp(rig.dir.file("grid.dat")));
    ASSERT_EQ(grid.size(), 400u);
    EXPECT_EQ(grid[201].substr(0, 12), "0.005 1.000 ");

    std::filesystem::create_directory(rig.dir.file("pics"));
    r = runCli(rig.dir.path, "export --eps --out pics a.dat b.dat");
    ASSERT_EQ(r.status, 0) << r.err;
    for (const char* name : {"pics/a.dat.eps", "pics/b.dat.eps", "pics/test.bmp", "pics/fit.tex"})
        EXPECT_TRUE(std::filesystem::is_regular_file(rig.dir.file(name))) << name;
    const std::vector<std::string> eps = testing::crlfLines(slurp(rig.dir.file("pics/b.dat.eps")));
    ASSERT_EQ(eps.size(), 18u + 640 + 1);
    EXPECT_EQ(eps[1], "%%BoundingBox: 0 0 512 320");

    // VAMAS: one block per spectrum, loaded back by info with every point.
    r = runCli(rig.dir.path, "export --vamas --out both.vms a.dat b.dat");
    ASSERT_EQ(r.status, 0) << r.err;
    const auto original = runCli(rig.dir.path, "info --json a.dat b.dat");
    const auto back = runCli(rig.dir.path, "info --json --vamas both.vms");
    ASSERT_EQ(back.status, 0) << back.err;
    const auto points = [](const std::string& json) {
        std::vector<std::string> found;
        const std::regex p(R"("NumPoints":\s*(\d+))");
        for (std::sregex_iterator i(json.begin(), json.end(), p), end; i != end; ++i) found.push_back((*i)[1]);
        return found;
    };
    EXPECT_EQ(points(back.out), points(original.out));
    EXPECT_EQ(points(back.out).size(), 2u);
}

TEST(CliExport, RefusalsExitTwoAndWriteNothing) {
    PlotRig rig;
    for (const char* args : {"export --surfer --out out.dat a.dat", "export --raw --surfer --out out.dat a.dat",
                             "export --out out.dat a.dat", "export --raw --out out.dat missing.dat",
                             "export --eps --out out.dat a.dat b.dat", "export --raw --size 5x5 --out out.dat a.dat",
                             "export --raw --vamas --out out.dat a.dat"}) {
        SCOPED_TRACE(args);
        const auto r = runCli(rig.dir.path, args);
        EXPECT_EQ(r.status, 2);
        EXPECT_FALSE(r.err.empty());
        EXPECT_FALSE(std::filesystem::exists(rig.dir.file("out.dat")));
        EXPECT_FALSE(std::filesystem::exists(rig.dir.file("fit.tex")));
    }
    EXPECT_NE(runCli(rig.dir.path, "export --surfer --out out.dat a.dat").err.find("Anzahl der Spektren"),
              std::string::npos);
}

} // namespace
} // namespace korvo

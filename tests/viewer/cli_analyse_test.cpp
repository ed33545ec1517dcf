// korvo-cli analyse: the same numbers as the commands give in the window, refusals that leave the
// data as loaded, and files written all or nothing.
#include "cli/cli_run.h"
#include "support/temp_dir.h"
#include "viewer/analysis/operations.h"
#include "viewer/load.h"
#include "viewer/view_scale.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

namespace korvo::testing {
namespace {

void writeFile(const std::string& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
}

std::vector<double> countsIn(const nlohmann::json& spectrum) {
    std::vector<double> out;
    for (const auto& p : spectrum["points"]) out.push_back(p[1].get<double>());
    return out;
}

class CliAnalyse : public ::testing::Test {
protected:
    void SetUp() override {
        writeFile(dir.file("one.dat"), "1 10\n2 30\n3 20\n4 60\n5 10\n");
        writeFile(dir.file("two.dat"), "1 2\n2 5\n3 1\n4 9\n5 4\n");
    }
    CliResult run(const std::string& args) { return runCli(dir.path, args); }
    TempDir dir;
};

TEST_F(CliAnalyse, GivesTheNumbersOfTheWindowsCommands) {
    // The window's path: the same load, the commands one after another, the full-scale redraw.
    tvar ws;
    LoadOptions options;
    ASSERT_TRUE(loadFiles(ws, {dir.file("one.dat"), dir.file("two.dat")}, options));
    ws.SelStartPoint = 1;
    ws.SelEndPoint = 4;
    for (const char* name : {"smooth", "stack", "mm3fit"}) {
        std::string error;
        analysis::runOperation(ws, *analysis::parseOperation(name, error), dir.file("unused"));
    }
    const CliResult r = run("analyse --sel 1:4 --op smooth --op stack --op mm3fit --json one.dat two.dat");
    ASSERT_EQ(r.status, 0) << r.err;
    const auto json = nlohmann::json::parse(r.out);
    for (int k = 1; k <= 2; ++k) {
        const auto& s = json["spectra"][std::size_t(k - 1)];
        std::vector<double> expected;
        for (const SpectrumPoint& p : ws.points(k)) expected.push_back(p.y);
        EXPECT_EQ(countsIn(s), expected);
        EXPECT_EQ(s["YMax"].get<double>(), ws.spectrum(k).YMax); // the common range of "&All"
        EXPECT_EQ(s["XMin"].get<double>(), 1);
    }
}

TEST_F(CliAnalyse, SatelliteRemovalOfTheSelectedPositions) {
    const CliResult r = run("analyse --select 2 --op satellite:user:1:0.5:2:0.25 --json one.dat two.dat");
    ASSERT_EQ(r.status, 0) << r.err;
    const auto json = nlohmann::json::parse(r.out);
    EXPECT_EQ(countsIn(json["spectra"][0]), (std::vector<double>{10, 30, 20, 60, 10}));
    // two.dat at 1 eV steps: half the count one point lower and a quarter two points lower (the
    // first point's count below the first image).
    EXPECT_EQ(countsIn(json["spectra"][1]), (std::vector<double>{2 - 1 - 0.5, 5 - 1 - 0.5, 1 - 2.5 - 0.5, 9 - 0.5 - 1.25, 4 - 4.5 - 0.25}));
    EXPECT_EQ(run("analyse --select 0 --op satellite:HeI one.dat").status, 2);
}

TEST_F(CliAnalyse, SliceMixKeepsTheJoinedSpectraHidden) {
    // Blocks of one slice overlapping by one: two.dat is blended half and half into one.dat.
    const CliResult r = run("analyse --op slice-mix:1:1 --json one.dat two.dat");
    ASSERT_EQ(r.status, 0) << r.err;
    const auto json = nlohmann::json::parse(r.out);
    EXPECT_EQ(json["ShownCount"].get<int>(), 1);
    EXPECT_EQ(json["HiddenCount"].get<int>(), 1);
    EXPECT_EQ(countsIn(json["spectra"][0]), (std::vector<double>{6, 17.5, 10.5, 34.5, 7}));
    EXPECT_EQ(run("analyse --op slice-mix:1:2 one.dat two.dat").status, 2);
}

TEST_F(CliAnalyse, RefusedOperationsLeaveTheDataAndExitTwoAfterTheRest) {
    const CliResult before = run("info --json two.dat");
    // One spectrum: normalisation is refused, smoothing still runs after it.
    const CliResult r = run("analyse --op normalise --op ifit:100 --json two.dat");
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(countOf(r.err, "Anzahl der Spektren muß > 1 sein !!!!"), 2u) << r.err;
    EXPECT_EQ(nlohmann::json::parse(r.out)["spectra"], nlohmann::json::parse(before.out)["spectra"]);

    const CliResult both = run("analyse --op normalise --op smooth --json two.dat");
    EXPECT_EQ(both.status, 2);
    EXPECT_EQ(countsIn(nlohmann::json::parse(both.out)["spectra"][0]), (std::vector<double>{3, 8.0 / 3, 5, 14.0 / 3, 17.0 / 3}));

    // Marks the wrong way round: "Normierung" would set two.dat to zero, the integration report 0.
    const CliResult data = run("info --json one.dat two.dat");
    const CliResult reversed = run("analyse --sel 4:2 --op normalise --json one.dat two.dat");
    EXPECT_EQ(reversed.status, 2);
    EXPECT_EQ(countOf(reversed.err, "the start mark (point 4) must lie before the end mark (point 2)"), 1u)
        << reversed.err;
    EXPECT_EQ(nlohmann::json::parse(reversed.out)["spectra"], nlohmann::json::parse(data.out)["spectra"]);
    const CliResult area = run("analyse --sel 4:2 --op integrate one.dat");
    EXPECT_EQ(area.status, 2);
    EXPECT_EQ(area.out.find("Area"), std::string::npos) << area.out;
    EXPECT_EQ(countOf(area.err, "The start mark (point 4) lies after the end mark (point 2)"), 1u)
        << area.err;

    for (const char* args : {"analyse --op ifit:30 one.dat", "analyse --op nothing one.dat",
                             "analyse --sel 3 --op smooth one.dat", "analyse --op smooth missing.dat"}) {
        const CliResult bad = run(args);
        EXPECT_EQ(bad.status, 2) << args;
        EXPECT_FALSE(bad.err.empty()) << args;
        EXPECT_TRUE(bad.out.empty()) << args;
    }
}

TEST_F(CliAnalyse, DeadTimeCorrectsTheCountsOrExitsTwoLeavingThem) {
    // One scan of 100 ms: 900 counts are 100 on each channeltron, which at 1 us lose 0.1 %; at
    // 9E5 counts each counter reaches its 1E6 per second.
    writeFile(dir.file("c.dat"), "MeasTime: 100\r\nScans: 1\r\nBEGIN:\r\n1 900\r\n2 9\r\nEND\r\n");
    writeFile(dir.file("full.dat"), "MeasTime: 100\r\nScans: 1\r\nBEGIN:\r\n1 900000\r\nEND\r\n");
    const CliResult r = run("analyse --op deadtime:1000 --json c.dat");
    ASSERT_EQ(r.status, 0) << r.err;
    const std::vector<double> counts = countsIn(nlohmann::json::parse(r.out)["spectra"][0]);
    ASSERT_EQ(counts.size(), 2u);
    EXPECT_NEAR(counts[0], 900 / 0.999, 1e-9);
    EXPECT_NEAR(counts[1], 9 / 0.99999, 1e-12);

    for (const char* files : {"c.dat full.dat", "one.dat"}) { // at the limit; no measuring time
        const CliResult before = run(std::string("info --json ") + files);
        const CliResult refused = run(std::string("analyse --op deadtime:1000 --json ") + files);
        EXPECT_EQ(refused.status, 2) << files;
        EXPECT_NE(refused.err.find("Nothing was corrected"), std::string::npos) << refused.err;
        EXPECT_EQ(nlohmann::json::parse(refused.out)["spectra"], nlohmann::json::parse(before.out)["spectra"]);
    }
}

TEST_F(CliAnalyse, IntegrationAndTwoColumnFiles) {
    const CliResult r = run("analyse --sel 2:4 --op integrate one.dat");
    ASSERT_EQ(r.status, 0) << r.err;
    // The line from (2, 30) to (4, 60); trapezoids 2 * ... : (25 - 37.5) + (40 - 52.5) = -25.
    EXPECT_EQ(r.out.rfind("Start energy : 2\nEnd energy   : 4\nStart point  : 2\nEnd   point  : 4\nArea : -25\n", 0), 0u)
        << r.out;

    std::filesystem::create_directory(dir.path / "out");
    const CliResult w = run("analyse --op substore --op store --out-dir out one.dat two.dat");
    EXPECT_EQ(w.status, 2); // no store file yet: substore refused, store then writes it
    EXPECT_TRUE(std::filesystem::exists(dir.path / analysis::kStoreFileName));
    const CliResult back = run("info --json out/one.dat out/two.dat");
    ASSERT_EQ(back.status, 0) << back.err;
    const auto json = nlohmann::json::parse(back.out);
    EXPECT_EQ(countsIn(json["spectra"][0]), (std::vector<double>{10, 30, 20, 60, 10}));
    EXPECT_EQ(countsIn(json["spectra"][1]), (std::vector<double>{2, 5, 1, 9, 4}));

    // Two spectra of one name cannot both be written: nothing is.
    std::filesystem::create_directory(dir.path / "sub");
    writeFile(dir.file("sub/one.dat"), "1 1\n2 2\n3 3\n4 4\n5 5\n");
    std::filesystem::create_directory(dir.path / "clash");
    const CliResult clash = run("analyse --op smooth --out-dir clash one.dat sub/one.dat");
    EXPECT_EQ(clash.status, 2);
    EXPECT_TRUE(std::filesystem::is_empty(dir.path / "clash"));
}

} // namespace
} // namespace korvo::testing

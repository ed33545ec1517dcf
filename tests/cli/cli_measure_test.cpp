#include "cli_run.h"
#include "common/file_util.h"
#include "files/spectrum_reader.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <fstream>
#include <regex>
#include <sys/stat.h>

using namespace korvo;
using namespace korvo::testing;

namespace {

// A short sim-card energy scan on the virtual clock.
const std::string kScan = "measure --virtual-time --quiet --start 270 --ramp 30 --points 31 --scans 2 "
                          "--pass 10 --time 100 ";

} // namespace

TEST(CliMeasure, AFinalFileThatCannotBeWrittenFailsAndSaysWhereTheScansAre) {
    TempDir dir;
    std::filesystem::create_directory(dir.path / "a-directory");
    for (const std::string out : {"missing/x.dat", "a-directory"}) {
        const CliResult r = runCli(dir.path, kScan + "--out " + out);
        EXPECT_EQ(r.status, 2) << out << "\n" << r.err;
        EXPECT_NE(r.err.find("could not be written"), std::string::npos) << out;
        EXPECT_NE(r.err.find("kept in " + (dir.path / "aktuell.dat").string()), std::string::npos) << r.err;
        EXPECT_EQ(r.err.find("Saved "), std::string::npos) << out;
        EXPECT_EQ(readSpectrumFile(dir.file("aktuell.dat")).data.scans, 2);
    }
}

TEST(CliMeasure, RelativeOutMeansTheWorkingDirectory) {
    TempDir dir;
    std::filesystem::create_directory(dir.path / "saves");
    std::ofstream(dir.path / "k.ini")
        << "[general]\r\nmachine=CLAM\r\n[CLAM]\r\nsavedir=" << (dir.path / "saves").string() << "\r\n";
    const CliResult r = runCli(dir.path, kScan + "--ini k.ini --out out.dat");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(std::filesystem::is_regular_file(dir.path / "out.dat"));
    EXPECT_FALSE(std::filesystem::exists(dir.path / "saves" / "out.dat"));
}

TEST(CliMeasure, BadArgumentsAndSettingsAreRefused) {
    TempDir dir;
    CliResult r = runCli(dir.path, kScan + "--ini missing.ini");
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("missing.ini: the file does not exist"), std::string::npos) << r.err;
    EXPECT_EQ(dir.entries(), 0u); // nothing measured, nothing written

    r = runCli(dir.path, "measure --kind 'c(t)' --duration -1e300");
    EXPECT_NE(r.status, 0);
    EXPECT_LT(r.err.size(), 200u) << r.err;
}

TEST(CliMeasure, TheRangeIsReportedOnce) {
    TempDir dir;
    const CliResult r = runCli(dir.path, "measure --virtual-time --start 270 --ramp 30 --points 31 --scans 1 "
                                         "--pass 10 --time 100 --out x.dat");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(countOf(r.err, "Xmax = 1638.4 eV"), 1u) << r.err;
}

TEST(CliMeasure, WritesNeverGoThroughAFifoOrALink) {
    TempDir dir;
    const auto fifo = dir.path / "pipe";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    CliResult r = runCli(dir.path, kScan + "--out pipe");
    EXPECT_EQ(r.status, 2) << r.err;
    EXPECT_TRUE(std::filesystem::is_fifo(fifo));

    // A recovery file that is a link to someone's file: the link is replaced, the file stays.
    std::ofstream(dir.path / "precious.txt") << "keep me";
    std::filesystem::remove(dir.path / "aktuell.dat");
    std::filesystem::create_symlink(dir.path / "precious.txt", dir.path / "aktuell.dat");
    // A temporary file of a killed run's recovery write.
    std::ofstream(dir.path / "aktuell.dat.tmpAbC123") << std::string(100000, 'x');
    r = runCli(dir.path, kScan + "--out out.dat");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_FALSE(std::filesystem::is_symlink(dir.path / "aktuell.dat"));
    EXPECT_EQ(readSpectrumFile(dir.file("aktuell.dat")).data.scans, 2);
    std::ifstream precious(dir.path / "precious.txt");
    std::string content;
    std::getline(precious, content);
    EXPECT_EQ(content, "keep me");
    EXPECT_FALSE(std::filesystem::exists(dir.path / "aktuell.dat.tmpAbC123"));
}

TEST(CliMeasure, AScanStoppedHalfWaySavesOnlyWhatItMeasured) {
    TempDir dir;
    // The first scan takes 3.1 s of virtual time; the run is stopped in its middle.
    CliResult r = runCli(dir.path, kScan + "--duration 1.5 --out part.dat");
    const SpectrumReadResult file = readSpectrumFile(dir.file("part.dat"));
    ASSERT_TRUE(file) << r.err;
    EXPECT_GT(file.data.points.size(), 5u);
    EXPECT_LT(file.data.points.size(), 31u);
    EXPECT_EQ(file.data.pointsText, "Points:" + std::to_string(file.data.points.size()));
    EXPECT_EQ(file.data.scans, 1);
    for (const SpectrumPoint& p : file.data.points) EXPECT_GT(p.y, 0) << p.x;
    r = runCli(dir.path, "info part.dat");
    EXPECT_EQ(r.status, 0) << r.err;
}

TEST(CliMeasure, RunsAreLoggedBesideTheSettingsAndAutosaveChangesNothing) {
    TempDir dir;
    std::ofstream(dir.path / "k.ini") << "[general]\r\nmachine=CLAM\r\n[saving]\r\nautosave=1\r\n";
    CliResult r = runCli(dir.path, kScan + "--ini k.ini --out out.dat --sample 'Cu\r\nend normal'");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(std::filesystem::is_regular_file(dir.path / "out.dat"));
    for (const auto& e : std::filesystem::directory_iterator(dir.path))
        EXPECT_EQ(e.path().filename().string().rfind("c_", 0), std::string::npos) << "autosaved beside --out";
    r = runCli(dir.path, "measure --virtual-time --quiet --time 9 --ini k.ini --out refused.dat");
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("9ms is outside of the valid range"), std::string::npos) << r.err;

    const std::string log = readFile(dir.file("korvo.log")).value_or("");
    const std::string stamp = R"(\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d[+-]\d\d:\d\d korvo-cli )";
    const std::regex expected(
        stamp + R"(start CLAM CAE, 270 to 300 eV, 31 points, 2 scans, 100 ms per point, pass energy 10, photon \S+ eV, sample Cu\\r\\nend normal\n)" +
        stamp + "save " + std::regex_replace(dir.file("out.dat"), std::regex(R"([.^$|()\[\]{}*+?\\])"), R"(\$&)") +
        R"(: 31 points, 2 scans\n)" + stamp + R"(end normal after scan 2 of 2\n)" + stamp +
        R"(refused Warning !: 9ms is outside of the valid range .*\n)");
    EXPECT_TRUE(std::regex_match(log, expected)) << log;

    // A log that cannot be written is told once; the measurement goes on and is saved.
    std::filesystem::remove(dir.path / "korvo.log");
    std::filesystem::create_directory(dir.path / "korvo.log");
    r = runCli(dir.path, kScan + "--ini k.ini --out again.dat");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(countOf(r.err, "korvo.log cannot be written"), 1u) << r.err;
    EXPECT_TRUE(std::filesystem::is_regular_file(dir.path / "again.dat"));
}

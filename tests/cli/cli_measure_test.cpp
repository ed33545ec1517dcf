#include "cli_run.h"
#include "files/spectrum_reader.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

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

// Numbers as a user types them: a seed with a leading zero is decimal, and a pass energy equal to
// an item of the list is that item in the set of the scan's energy range ("10" is "10.0" below 200 eV
// full scale, "10.0" is "10" above).
TEST(CliMeasure, NumbersAreReadAsUsersMeanThem) {
    TempDir dir;
    const auto data = [&](const std::string& file) {
        const SpectrumReadResult r = readSpectrumFile(dir.file(file));
        std::vector<double> counts;
        for (const SpectrumPoint& p : r.data.points) counts.push_back(p.y);
        return std::make_pair(counts, r.data.passEnText);
    };
    ASSERT_EQ(runCli(dir.path, kScan + "--seed 08 --out zero.dat").status, 0);
    ASSERT_EQ(runCli(dir.path, kScan + "--seed 8 --out plain.dat").status, 0);
    ASSERT_EQ(runCli(dir.path, kScan + "--seed 010 --out ten.dat").status, 0);
    ASSERT_EQ(runCli(dir.path, kScan + "--seed 10 --out ten2.dat").status, 0);
    EXPECT_EQ(data("zero.dat"), data("plain.dat"));
    EXPECT_EQ(data("ten.dat"), data("ten2.dat"));
    EXPECT_NE(data("ten.dat"), data("plain.dat"));
    for (const char* seed : {"0x10", "-1", "8.0"}) {
        const CliResult r = runCli(dir.path, kScan + "--seed " + seed + " --out bad.dat");
        EXPECT_EQ(r.status, 2) << seed;
        EXPECT_NE(r.err.find("--seed: needs a whole number"), std::string::npos) << r.err;
    }

    const std::string run = "measure --virtual-time --quiet --ramp 30 --points 31 --scans 1 --time 100 ";
    CliResult r = runCli(dir.path, run + "--start 20 --pass 10 --out low.dat");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(data("low.dat").second, "PassEn: 10.00");
    r = runCli(dir.path, run + "--start 270 --pass 10.00 --out high.dat");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(data("high.dat").second, "PassEn: 10.00");
    // A value of the other set only is still changed and refused, as the window refuses it.
    r = runCli(dir.path, run + "--start 20 --pass 2 --out two.dat");
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("Pass energy changed to : 2.5"), std::string::npos) << r.err;
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

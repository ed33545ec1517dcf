// korvo-cli measuring with instruments: korvo-sim plays them on pseudo-terminals, a status page on
// 127.0.0.1 gives the ring current.
#include "cli_run.h"
#include "common/file_util.h"
#include "files/spectrum_reader.h"
#include "instruments/local_servers.h"
#include "support/sim_process.h"
#include "support/temp_dir.h"

#include <atomic>
#include <chrono>
#include <filesystem>
#include <gtest/gtest.h>
#include <tuple>
#include <vector>

using namespace korvo;
using namespace korvo::testing;

TEST(CliInstruments, PhotonModesMeasureThroughTheMonochromator) {
    SimProcess mono({"mono", "--mono-speed", "400"});
    SimProcess kei({"keithley", "--reading", "2.5E-7"});
    TempDir dir;
    CliResult r = runCli(dir.path, "measure --quiet --mode cfs --mono " + mono.device() +
                                       " --start 100 --photon 35 --ramp 2 --points 3 --scans 1 --time 20 "
                                       "--pass 10.0 --out cfs.dat");
    ASSERT_EQ(r.status, 0) << r.err;
    const std::string cfs = readFile(dir.file("cfs.dat")).value_or("");
    EXPECT_NE(cfs.find("Fileform: CLAM_CFS\r\n"), std::string::npos);
    EXPECT_NE(cfs.find("Fix. Analyser Energy:100\r\n"), std::string::npos);
    EXPECT_NE(cfs.find("Phot.End: 37.000\r\n"), std::string::npos);
    const auto rows = readSpectrumFile(dir.file("cfs.dat")).data.points;
    ASSERT_EQ(rows.size(), 3u);
    EXPECT_DOUBLE_EQ(rows[2].x, 37);

    // The Keithley mode reads the electrometer at every photon energy: reading x scaling factor.
    r = runCli(dir.path, "measure --quiet --mode keithley --kind KEI --mono " + mono.device() +
                             " --keithley1 " + kei.device() +
                             " --photon 35 --ramp 2 --points 3 --scans 1 --time 20 --out kei.dat");
    ASSERT_EQ(r.status, 0) << r.err;
    const std::string text = readFile(dir.file("kei.dat")).value_or("");
    EXPECT_NE(text.find("Fileform: KEITHLEY\r\n"), std::string::npos);
    EXPECT_NE(text.find("\r\n36.000 0.0025 "), std::string::npos) << text;

    // Without a monochromator a photon mode is refused, as the window refuses it.
    r = runCli(dir.path, "measure --quiet --mode cis --start 100 --photon 35 --ramp 2 --points 3 --scans 1 "
                         "--time 20 --out none.dat");
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("Error ! Program not connected to COM-Port!"), std::string::npos) << r.err;

    // An instrument option takes serial ports and pseudo-terminals only.
    for (const auto& [option, device, why] : std::vector<std::tuple<std::string, std::string, std::string>>{
             {"--mono", "/dev/ptmx", "the master side of a pseudo-terminal"},
             {"--keithley1", "/dev/null", "a device that is no terminal"},
             {"--drive", dir.path.string(), "a directory"}}) {
        r = runCli(dir.path, "measure --quiet --mode keithley --kind KEI " + option + " " + device +
                                 " --photon 35 --ramp 2 --points 3 --scans 1 --time 20 --out refused.dat");
        EXPECT_EQ(r.status, 2) << device;
        EXPECT_NE(r.err.find(" on " + device + ": " + device + ": " + why +
                             ", not a serial port or pseudo-terminal"),
                  std::string::npos)
            << r.err;
        EXPECT_FALSE(std::filesystem::exists(dir.file("refused.dat")));
    }
}

TEST(CliInstruments, AMonochromatorThatGoesAwayEndsTheRunWithItsScansKept) {
    // It answers the opening and the steps of the first scan, then the line goes dead.
    SimProcess mono({"mono", "--mono-speed", "400", "--fault", "hangup", "--after", "40"});
    TempDir dir;
    const CliResult r =
        runCli(dir.path, "measure --timeout 1 --mode cfs --mono " + mono.device() +
                             " --start 100 --photon 35 --ramp 2 --points 3 --scans 20 --time 20 "
                             "--pass 10.0 --out lost.dat");
    EXPECT_EQ(r.status, 2) << r.err;
    EXPECT_NE(r.err.find("Error ! Problem with the monochromator?"), std::string::npos) << r.err;
    const auto file = readSpectrumFile(dir.file("lost.dat"));
    ASSERT_TRUE(file) << file.error;
    EXPECT_GE(file.data.scans, 1);
    EXPECT_LT(file.data.scans, 20);
}

TEST(CliInstruments, ABeamLossPausesTheRunUntilTheCurrentIsBack) {
    std::atomic<int> requests{0};
    // The third reading finds the beam gone, the ones after it back at 180 mA.
    LocalHttpServer ring([&](int fd, LocalListener& self) {
        const int n = ++requests;
        LocalHttpServer::page(n == 3 ? "Beam Current: 2.0 mA" : "Beam Current: 180.0 mA")(fd, self);
    });
    TempDir dir;
    const CliResult r = runCli(
        dir.path, "measure --card test --start 100 --ramp 10 --points 30 --scans 1 --time 100 "
                  "--ring-url " +
                      ring.url() + " --ring-every 1 --pause-below 50 --pause-recover 1 --out beam.dat");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.err.find("Beam lost: ring current 2.0 mA below 50 mA, the run waits"), std::string::npos)
        << r.err;
    EXPECT_EQ(readSpectrumFile(dir.file("beam.dat")).data.points.size(), 30u);
    EXPECT_GE(requests.load(), 4);
}

TEST(CliInstruments, AStatusPageThatNeverAnswersHoldsNoRun) {
    // A run of 36 steps of 200 ms reads the ring current every second from a server that never
    // answers: each read gives up after 5 s beside the run, which says so and keeps going.
    LocalHttpServer ring(LocalHttpServer::silent());
    TempDir dir;
    const auto start = std::chrono::steady_clock::now();
    const CliResult r = runCli(dir.path, "measure --card test --start 100 --ramp 10 --points 30 --scans 1 "
                                         "--time 200 --ring-every 1 --out slow.dat --ring-url " +
                                             ring.url());
    const auto took = std::chrono::steady_clock::now() - start;
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.err.find("No beam information (the ring current could not be read: no answer from " + ring.url() +
                         " (no answer within 5000 ms))\n"),
              std::string::npos)
        << r.err;
    EXPECT_EQ(readSpectrumFile(dir.file("slow.dat")).data.points.size(), 30u);
    // The run itself takes 7.2 s. Reads in its way would hold it 5 s at every second: over 40 s.
    EXPECT_LT(took, std::chrono::seconds(25));
}

TEST(CliInstruments, AScriptGoesOnAfterAMonochromatorFellSilentInALine) {
    // The monochromator answers line 1 and part of line 2, then the line goes dead. Line 2 ends as
    // the run says, its scans are saved, and line 3 (no monochromator needed) is measured.
    SimProcess mono({"mono", "--mono-speed", "400", "--fault", "hangup", "--after", "100"});
    TempDir dir;
    std::ofstream(dir.file("night.txt"), std::ios::binary)
        << "CFS\t100\t2\t3\t1\t10.0\t20\t35\t-\t-\t-\n"
        << "CFS\t100\t2\t3\t20\t10.0\t20\t35\t-\t-\t-\n"
        << "CLAM\t100\t10\t5\t1\t10.0\t20\t-\t-\t-\t-\n";
    const CliResult r = runCli(dir.path, "script --quiet --timeout 1 --mono " + mono.device() + " night.txt");
    EXPECT_EQ(r.status, 2) << r.err; // line 2 did not finish
    std::vector<std::string> lines;
    std::istringstream out(r.out);
    for (std::string l; std::getline(out, l);) lines.push_back(l);
    ASSERT_EQ(lines.size(), 3u) << r.out << r.err;
    EXPECT_EQ(lines[0].rfind("Line 1: measured, saved ", 0), 0u) << lines[0];
    EXPECT_EQ(lines[1].rfind("Line 2: stopped", 0), 0u) << lines[1];
    EXPECT_NE(lines[1].find("Error ! Problem with the monochromator?"), std::string::npos) << lines[1];
    EXPECT_NE(r.err.find("Line 2: Error ! Problem with the monochromator?"), std::string::npos) << r.err;
    EXPECT_EQ(lines[2].rfind("Line 3: measured, saved ", 0), 0u) << lines[2];
    // Line 2's scans were saved, not replaced by line 3's run.
    const auto saved = lines[1].find(", saved ");
    ASSERT_NE(saved, std::string::npos) << lines[1];
    const std::string path = lines[1].substr(saved + 8, lines[1].find(" | ") - saved - 8);
    const auto file = readSpectrumFile(path);
    ASSERT_TRUE(file) << path << ": " << file.error;
    EXPECT_GE(file.data.scans, 1);
    EXPECT_LT(file.data.scans, 20);
}

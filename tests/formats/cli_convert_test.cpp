// korvo-cli convert and the import options of korvo-cli info, run as users run them.
#include "cli/cli_run.h"
#include "foreign_test_util.h"
#include "support/temp_dir.h"

#include <nlohmann/json.hpp>

#include <gtest/gtest.h>

#include <filesystem>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using korvo::testing::countOf;
using korvo::testing::countRow;
using korvo::testing::multichanneltronText;
using korvo::testing::ramp;
using korvo::testing::readBytes;
using korvo::testing::runCli;
using korvo::testing::scientaBytes;
using korvo::testing::ScientaSpec;
using korvo::testing::TempDir;
using korvo::testing::writeBytes;
namespace fs = std::filesystem;

namespace {

std::vector<std::string> listing(const fs::path& dir) {
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(dir)) names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

} // namespace

TEST(CliConvert, MultiWritesOneProjectPerFileOrNothing) {
    TempDir dir;
    writeBytes(dir.file("m1.000"), multichanneltronText({countRow("10.00", 1), countRow("10.10", 2)}));
    writeBytes(dir.file("m2.000"), multichanneltronText({countRow("10.00", 5)}));
    writeBytes(dir.file("plain.000"), "BEGIN:\r\n10 1\r\nEND\r\n");
    std::vector<std::string> rows;
    for (int i = 0; i < 5001; ++i) rows.push_back(countRow(std::to_string(i), i));
    writeBytes(dir.file("big.000"), multichanneltronText(rows, "0", "99999"));

    const auto ok = runCli(dir.path, "convert --multi m1.000 m2.000");
    ASSERT_EQ(ok.status, 0) << ok.err;
    EXPECT_EQ(ok.out, dir.file("m1.000.k98") + "\n" + dir.file("m2.000.k98") + "\n");
    // The project loads as the viewer loads it: ten spectra "Ch : 0" to "Ch : 9".
    const auto info = runCli(dir.path, "info --json m1.000.k98");
    ASSERT_EQ(info.status, 0) << info.err;
    const auto doc = nlohmann::json::parse(info.out, nullptr, false);
    ASSERT_FALSE(doc.is_discarded()) << info.out;
    ASSERT_EQ(doc["spectra"].size(), 10u);
    EXPECT_EQ(doc["spectra"][9]["ShortName"], "Ch : 9");
    EXPECT_EQ(doc["spectra"][9]["NumPoints"], 2);
    EXPECT_EQ(doc["spectra"][9]["points"][1][1], 11); // 2 + 9

    // A file without channeltrons, or with too many points, ends the command; nothing is written,
    // not even for the good file before it.
    fs::remove(dir.file("m1.000.k98"));
    for (const char* bad : {"plain.000", "big.000"}) {
        SCOPED_TRACE(bad);
        const auto refused = runCli(dir.path, std::string("convert --multi m1.000 ") + bad);
        EXPECT_EQ(refused.status, 2);
        EXPECT_EQ(refused.out, "");
        EXPECT_NE(refused.err.find(bad), std::string::npos) << refused.err;
        EXPECT_NE(refused.err.find("Nothing was written."), std::string::npos) << refused.err;
        EXPECT_FALSE(fs::exists(dir.file("m1.000.k98")));
    }
    EXPECT_NE(runCli(dir.path, "convert --multi plain.000").err.find("No channeltrons in the file ?"),
              std::string::npos);
    EXPECT_NE(runCli(dir.path, "convert --multi big.000").err.find("more than 5000 points"), std::string::npos);
    EXPECT_EQ(listing(dir.path),
              (std::vector<std::string>{"big.000", "m1.000", "m2.000", "m2.000.k98", "plain.000"}));

    // Into another directory; two files of one name would overwrite each other and are refused.
    fs::create_directory(dir.path / "out");
    fs::create_directory(dir.path / "other");
    fs::copy_file(dir.file("m1.000"), dir.path / "other" / "m1.000");
    const auto moved = runCli(dir.path, "convert --multi m1.000 --out-dir out");
    ASSERT_EQ(moved.status, 0) << moved.err;
    EXPECT_EQ(listing(dir.path / "out"), std::vector<std::string>{"m1.000.k98"});
    const auto clash = runCli(dir.path, "convert --multi m2.000 other/m1.000 m1.000 --out-dir other");
    EXPECT_EQ(clash.status, 2);
    EXPECT_NE(clash.err.find("would both be written"), std::string::npos) << clash.err;
    EXPECT_EQ(listing(dir.path / "other"), std::vector<std::string>{"m1.000"});
}

TEST(CliConvert, ScientaWritesOneSpectrumFilePerSliceOrNothing) {
    TempDir dir;
    ScientaSpec little, big;
    little.values = ramp(10);
    big.bigEndian = true;
    big.slices = "1";
    big.values = ramp(5, 100);
    writeBytes(dir.file("a.pxt"), scientaBytes(little));
    writeBytes(dir.file("b.pxt"), scientaBytes(big));
    ScientaSpec lying = little;
    lying.slices = "7";
    writeBytes(dir.file("lying.pxt"), scientaBytes(lying));
    fs::create_directory(dir.path / "out");

    const auto ok = runCli(dir.path, "convert --scienta a.pxt b.pxt --out-dir out");
    ASSERT_EQ(ok.status, 0) << ok.err;
    EXPECT_EQ(countOf(ok.out, "\n"), 3u);
    EXPECT_EQ(listing(dir.path / "out"), (std::vector<std::string>{"a_0001.dat", "a_0002.dat", "b_0001.dat"}));
    EXPECT_EQ(readBytes((dir.path / "out" / "b_0001.dat").string()),
              "10.0000000 100\r\n10.1000000 101\r\n10.2000000 102\r\n10.3000000 103\r\n10.4000000 104\r\nEND\r\n");
    // A converted slice loads with every point.
    const auto info = runCli(dir.path, "info --json out/a_0002.dat");
    ASSERT_EQ(info.status, 0) << info.err;
    const auto doc = nlohmann::json::parse(info.out, nullptr, false);
    ASSERT_FALSE(doc.is_discarded()) << info.out;
    EXPECT_EQ(doc["spectra"][0]["NumPoints"], 5);
    EXPECT_EQ(doc["spectra"][0]["points"][4][1], 10);

    for (const char* args : {"convert --scienta a.pxt lying.pxt --out-dir out2",
                             "convert --scienta a.pxt missing.pxt --out-dir out2",
                             "convert --scienta a.pxt sub/a.pxt --out-dir out2"}) {
        SCOPED_TRACE(args);
        fs::remove_all(dir.path / "out2");
        fs::create_directories(dir.path / "out2");
        fs::create_directories(dir.path / "sub");
        fs::copy_file(dir.file("b.pxt"), dir.path / "sub" / "a.pxt", fs::copy_options::overwrite_existing);
        const auto refused = runCli(dir.path, args);
        EXPECT_EQ(refused.status, 2);
        EXPECT_EQ(refused.out, "");
        EXPECT_NE(refused.err.find("Nothing was written."), std::string::npos) << refused.err;
        EXPECT_TRUE(fs::is_empty(dir.path / "out2")) << "no output and no staged file is left";
    }
    EXPECT_NE(runCli(dir.path, "convert --scienta lying.pxt --out-dir out").err.find("promises 35 values"),
              std::string::npos);
    const auto noDir = runCli(dir.path, "convert --scienta a.pxt");
    EXPECT_EQ(noDir.status, 2);
    EXPECT_NE(noDir.err.find("--out-dir"), std::string::npos);
}

// Whatever stops a conversion, the files that were there before stay as they were: an old slice file
// is not lost to the rollback, a named pipe is not replaced, and no input is written over.
TEST(CliConvert, AFailedConversionKeepsWhatWasThere) {
    TempDir dir;
    ScientaSpec two;
    two.values = ramp(10);
    writeBytes(dir.file("run7.pxt"), scientaBytes(two));
    fs::create_directory(dir.path / "out");
    writeBytes((dir.path / "out" / "run7_0001.dat").string(), "measured yesterday");
    fs::create_directory(dir.path / "out" / "run7_0002.dat");
    const auto inTheWay = runCli(dir.path, "convert --scienta run7.pxt --out-dir out");
    EXPECT_EQ(inTheWay.status, 2);
    EXPECT_NE(inTheWay.err.find("run7_0002.dat\": it is a directory"), std::string::npos) << inTheWay.err;
    EXPECT_EQ(readBytes((dir.path / "out" / "run7_0001.dat").string()), "measured yesterday");
    EXPECT_EQ(listing(dir.path / "out"), (std::vector<std::string>{"run7_0001.dat", "run7_0002.dat"}));

    fs::remove(dir.path / "out" / "run7_0002.dat");
    ASSERT_EQ(::mkfifo((dir.path / "out" / "run7_0002.dat").c_str(), 0600), 0);
    const auto pipe = runCli(dir.path, "convert --scienta run7.pxt --out-dir out");
    EXPECT_EQ(pipe.status, 2);
    EXPECT_NE(pipe.err.find("it is a named pipe"), std::string::npos) << pipe.err;
    EXPECT_TRUE(fs::is_fifo(dir.path / "out" / "run7_0002.dat"));
    EXPECT_EQ(readBytes((dir.path / "out" / "run7_0001.dat").string()), "measured yesterday");
    // The same for the files of analyse --out-dir, named after the spectra.
    writeBytes(dir.file("run7_0002.dat"), "BEGIN:\r\n1 2\r\n2 3\r\nEND\r\n");
    const auto analysed = runCli(dir.path, "analyse --op smooth --out-dir out run7_0002.dat");
    EXPECT_EQ(analysed.status, 2);
    EXPECT_NE(analysed.err.find("it is a named pipe"), std::string::npos) << analysed.err;
    EXPECT_TRUE(fs::is_fifo(dir.path / "out" / "run7_0002.dat"));
    fs::remove(dir.file("run7_0002.dat"));

    // One input is the output of another.
    writeBytes(dir.file("m1.000"), multichanneltronText({countRow("10.00", 1)}));
    writeBytes(dir.file("m1.000.k98"), multichanneltronText({countRow("10.00", 7)}));
    writeBytes(dir.file("run7_0001.dat"), scientaBytes(two));
    for (const char* args : {"convert --multi m1.000 m1.000.k98", "convert --scienta run7.pxt run7_0001.dat --out-dir ."}) {
        SCOPED_TRACE(args);
        const auto r = runCli(dir.path, args);
        EXPECT_EQ(r.status, 2);
        EXPECT_NE(r.err.find("an output never replaces an input"), std::string::npos) << r.err;
    }
    EXPECT_EQ(readBytes(dir.file("m1.000.k98")), multichanneltronText({countRow("10.00", 7)}));
    EXPECT_EQ(readBytes(dir.file("run7_0001.dat")), scientaBytes(two));
    EXPECT_EQ(listing(dir.path), (std::vector<std::string>{"m1.000", "m1.000.k98", "out", "run7.pxt", "run7_0001.dat"}));
}

// The private folders of Scienta imports that a kill interrupted are cleared by the next import; those
// of a program still at work stay.
TEST(CliConvert, FoldersOfKilledImportsAreCleared) {
    TempDir dir;
    ScientaSpec s;
    s.values = ramp(10);
    writeBytes(dir.file("a.pxt"), scientaBytes(s));
    const pid_t dead = ::fork();
    if (dead == 0) ::_exit(0);
    ASSERT_GT(dead, 0);
    ::waitpid(dead, nullptr, 0);
    const fs::path tmp = dir.path / "tmp";
    const fs::path stale = tmp / ("korvo-scienta-" + std::to_string(dead) + "-AbC123");
    const fs::path live = tmp / ("korvo-scienta-" + std::to_string(::getpid()) + "-XyZ789");
    fs::create_directories(stale);
    fs::create_directories(live);
    writeBytes((stale / "_temp_0001.tmp").string(), "slice");
    writeBytes((live / "_temp_0001.tmp").string(), "slice");

    const char* before = std::getenv("TMPDIR");
    const std::string saved = before ? before : "";
    ::setenv("TMPDIR", tmp.c_str(), 1);
    const auto r = runCli(dir.path, "info --scienta a.pxt");
    if (before)
        ::setenv("TMPDIR", saved.c_str(), 1);
    else
        ::unsetenv("TMPDIR");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(listing(tmp), std::vector<std::string>{live.filename().string()});
    EXPECT_TRUE(fs::exists(live / "_temp_0001.tmp"));
}

TEST(CliConvert, InfoImportsScientaAndOriginFilesAsTheViewerDoes) {
    TempDir dir;
    ScientaSpec s;
    s.values = ramp(10);
    writeBytes(dir.file("a.pxt"), scientaBytes(s));
    writeBytes(dir.file("t.dat"), "Energy A B\r\n1 10 20\r\n2 11 21\r\n3 12 22\r\n");
    writeBytes(dir.file("s.dat"), "BEGIN:\r\n1 5\r\n2 6\r\nEND\r\n");

    const auto both = runCli(dir.path, "info --json s.dat --scienta a.pxt --origin t.dat");
    ASSERT_EQ(both.status, 0) << both.err;
    // The Origin import's line of ranges, as the viewer shows it: x max, x min, y min, y max.
    EXPECT_EQ(both.err, "3  1  10  22\n");
    const auto doc = nlohmann::json::parse(both.out, nullptr, false);
    ASSERT_FALSE(doc.is_discarded()) << both.out;
    // The spectrum file first, then the two slices, then the two columns.
    const std::vector<std::string> names = {"s.dat", "_temp_0001.tmp", "_temp_0002.tmp", "t_1", "t_2"};
    ASSERT_EQ(doc["spectra"].size(), names.size());
    for (std::size_t i = 0; i < names.size(); ++i) EXPECT_EQ(doc["spectra"][i]["ShortName"], names[i]);
    EXPECT_EQ(doc["spectra"][2]["NumPoints"], 5);
    EXPECT_EQ(doc["spectra"][2]["points"][4][1], 10);
    EXPECT_EQ(doc["spectra"][4]["points"][2][1], 22);
    EXPECT_EQ(doc["Active"], 1);

    // Bad imports: exit 2, the reason on stderr, no output.
    writeBytes(dir.file("comma.dat"), "1 10\r\n2,5 11\r\n");
    writeBytes(dir.file("junk.pxt"), "junk");
    struct Case {
        const char* args;
        const char* says;
    };
    for (const Case& c : {Case{"info --origin comma.dat", "\"2,5\" is not a number"},
                          Case{"info --origin t.txt", "extension \".dat\""},
                          Case{"info s.dat --scienta junk.pxt", "Not Scienta-Format?"},
                          Case{"info --scienta missing.pxt", "missing.pxt"}}) {
        SCOPED_TRACE(c.args);
        const auto bad = runCli(dir.path, c.args);
        EXPECT_EQ(bad.status, 2);
        EXPECT_EQ(bad.out, "");
        EXPECT_NE(bad.err.find(c.says), std::string::npos) << bad.err;
    }
}

// A VAMAS file from another program: two blocks, the second one decreasing in energy.
TEST(CliConvert, InfoListsTheBlocksOfAVamasFile) {
    TempDir dir;
    const auto block = [](const std::string& id, const std::string& start, const std::string& step,
                          const std::vector<std::string>& values) {
        std::string b = id + "\r\nSample A\r\n2024\r\n3\r\n15\r\n10\r\n30\r\n5\r\n1\r\n0\r\nXPS\r\nAl\r\n1486.6\r\n"
                        "0\r\n0\r\n0\r\n45\r\n0\r\nFAT\r\n20\r\n1\r\n0\r\n0\r\n0\r\n0\r\n0\r\n0\r\nC\r\n1s\r\n-1\r\n"
                        "Kinetic Energy\r\neV\r\n" + start + "\r\n" + step + "\r\n1\r\ncounts\r\nd\r\npulse counting\r\n"
                        "0.1\r\n3\r\n0\r\n0\r\n0\r\n0\r\n0\r\n" + std::to_string(values.size()) + "\r\n0\r\n9\r\n";
        for (const std::string& v : values) b += v + "\r\n";
        return b;
    };
    const std::string header = "VAMAS Surface Chemical Analysis Standard Data Transfer Format 1988 May 4\r\n"
                               "Lab\r\nInstrument\r\nSomeone\r\nExp\r\n0\r\nNORM\r\nREGULAR\r\n2\r\n0\r\n0\r\n0\r\n0\r\n0\r\n2\r\n";
    const std::string good = header + block("C 1s", "280.5", "0.25", {"1", "2", "3"}) +
                              block("O 1s", "530", "-0.5", {"4", "5"}) + "end of experiment\r\n";
    writeBytes(dir.file("x.vms"), good);
    const auto info = runCli(dir.path, "info --json --vamas x.vms");
    ASSERT_EQ(info.status, 0) << info.err;
    const auto doc = nlohmann::json::parse(info.out, nullptr, false);
    ASSERT_FALSE(doc.is_discarded()) << info.out;
    ASSERT_EQ(doc["spectra"].size(), 2u);
    EXPECT_EQ(doc["spectra"][0]["ShortName"], "C 1s");
    EXPECT_EQ(doc["spectra"][0]["points"][2][0], 281);
    EXPECT_EQ(doc["spectra"][1]["ShortName"], "O 1s");
    EXPECT_EQ(doc["spectra"][1]["points"][1][0], 529.5);
    EXPECT_EQ(doc["spectra"][1]["points"][1][1], 5);

    // A damaged file: exit status 2, the message names the block and the line once.
    writeBytes(dir.file("bad.vms"), good.substr(0, good.find("5\r\nend of experiment")));
    const auto bad = runCli(dir.path, "info --vamas bad.vms");
    EXPECT_EQ(bad.status, 2);
    EXPECT_EQ(bad.out, "");
    EXPECT_NE(bad.err.find("VAMAS block 2 of bad.vms, line 116: the file ends where ordinate value 2 of 2 belongs; "
                           "it is truncated."),
              std::string::npos)
        << bad.err;
    EXPECT_EQ(bad.err.find("(line"), std::string::npos) << bad.err;
}

TEST(CliConvert, NexusAndBackGiveTheSpectrumFilesByteForByte) {
    TempDir dir;
    const std::string measured = "USER_ID: lab\r\nComment: clean\r\nProbe: Cu(111)\r\nFileName: /d/c_1.001\r\n"
                                 "Fileform: CLAM\r\nDate:  01.01.2024 12:00:00\r\nProgram: KORVO 02\r\nMeasTime: 100\r\n"
                                 "MeasTyp: CAE\r\nScans: 2\r\nPoints:3\r\nPassEn:20.000\r\nAnaSta:10.000\r\n"
                                 "AnaEnd:12.000\r\nPhotEn: 21.220\r\nBEGIN:\r\n10.000 1520 5E-10\r\n11.000 1610 "
                                 "1E-9\r\n12.000 1700 2E-9\r\nEND\r\n";
    const std::string multi = multichanneltronText({countRow("10.00", 1), countRow("10.10", 2)}) + "END\r\n";
    writeBytes(dir.file("c_1.001"), measured);
    writeBytes(dir.file("m.000"), multi);
    const auto made = runCli(dir.path, "convert --nexus both.nxs c_1.001 m.000");
    ASSERT_EQ(made.status, 0) << made.err;
    EXPECT_EQ(made.out, dir.file("both.nxs") + "\n");
    const auto info = runCli(dir.path, "info --json both.nxs");
    ASSERT_EQ(info.status, 0) << info.err;
    const auto doc = nlohmann::json::parse(info.out, nullptr, false);
    ASSERT_EQ(doc["spectra"].size(), 2u) << info.out;
    EXPECT_EQ(doc["spectra"][0]["ShortName"], "c_1.001");
    EXPECT_EQ(doc["spectra"][0]["points"][2][1], 1700);
    // analyse reads it as it reads the spectrum files.
    const auto smoothed = runCli(dir.path, "analyse --op smooth --json both.nxs");
    EXPECT_EQ(smoothed.status, 0) << smoothed.err;

    fs::create_directory(dir.path / "back");
    const auto back = runCli(dir.path, "convert --text --out-dir back both.nxs");
    ASSERT_EQ(back.status, 0) << back.err;
    EXPECT_EQ(listing(dir.path / "back"), (std::vector<std::string>{"c_1.001", "m.000"}));
    EXPECT_EQ(readBytes((dir.path / "back" / "c_1.001").string()), measured);
    EXPECT_EQ(readBytes((dir.path / "back" / "m.000").string()), multi);
}

TEST(CliConvert, NexusRefusalsWriteNothingAndExitTwo) {
    TempDir dir;
    writeBytes(dir.file("a.dat"), "BEGIN:\r\n1 2 3\r\n2 3 4\r\nEND\r\n");
    writeBytes(dir.file("ragged.dat"), "BEGIN:\r\n1 2 3\r\n2 3\r\nEND\r\n");
    writeBytes(dir.file("half.nxs"), "\x89HDF\r\n\x1a\nnot much more");
    struct Case {
        const char* args;
        const char* says;
    };
    for (const Case& c : {Case{"convert --nexus a.dat a.dat", "an output never replaces an input"},
                          Case{"convert --nexus out.nxs a.dat ragged.dat", "ragged.dat, line 3: the line has 2 numbers"},
                          Case{"convert --text --out-dir . half.nxs", "The NeXus file half.nxs cannot be loaded: "},
                          Case{"convert --text half.nxs", "convert --text needs --out-dir DIR"},
                          Case{"info half.nxs", "The NeXus file half.nxs cannot be loaded: "},
                          Case{"convert --nexus out.nxs --multi a.dat", "excludes"}}) {
        SCOPED_TRACE(c.args);
        const auto r = runCli(dir.path, c.args);
        EXPECT_EQ(r.status, 2);
        EXPECT_NE(r.err.find(c.says), std::string::npos) << r.err;
    }
    EXPECT_EQ(listing(dir.path), (std::vector<std::string>{"a.dat", "half.nxs", "ragged.dat"}));
}

// korvo-cli correlate, run as a user runs it.
#include "cli/cli_run.h"
#include "correlation_test_util.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

namespace korvo {
namespace {

using testing::runCli;

std::vector<std::string> linesOf(const std::string& text) {
    std::vector<std::string> out;
    std::istringstream in(text);
    for (std::string l; std::getline(in, l);) out.push_back(l);
    return out;
}

TEST(CliCorrelate, PrintsDeltaAndOffsetsAndWritesTheThreeFiles) {
    testing::TempDir dir;
    testing::SyntheticSpectrum s;
    s.offset = [](int c) { return -1.0 * (c - 5); };
    testing::writeText(dir.path / "multi.000", s.text());

    const auto ok = runCli(dir.path, "correlate --channels 13579 multi.000");
    ASSERT_EQ(ok.status, 0) << ok.err;
    const auto lines = linesOf(ok.out);
    ASSERT_EQ(lines.size(), 12u + 9u) << ok.out; // an offset line for every channeltron
    EXPECT_EQ(lines[0], "PassEn: 10.00");
    EXPECT_NEAR(std::stod(lines[1].substr(7)), 11.9 / 120 / 10, 2e-4) << lines[1];
    EXPECT_EQ(lines[11].rfind("Korrelationsfehler: ", 0), 0u);
    EXPECT_EQ(lines[12].rfind("1 :  -0.0", 0), 0u) << lines[12];
    EXPECT_EQ(lines[13].rfind("2 :  -0.0", 0), 0u) << lines[13];
    EXPECT_EQ(lines[20].rfind("9 : +0.0", 0), 0u) << lines[20];
    std::string lineDat;
    for (std::size_t i = 12; i < lines.size(); ++i) lineDat += lines[i] + "\r\n";
    EXPECT_EQ(testing::readText(dir.path / "line.dat"), lineDat);
    EXPECT_FALSE(testing::readText(dir.path / "test.dat").empty());
    EXPECT_FALSE(testing::readText(dir.path / "ausgabe.dat").empty());

    // The derivative finds the same Delta to its last shown digits but one or two.
    const auto derived = runCli(dir.path, "correlate --derivative multi.000");
    ASSERT_EQ(derived.status, 0) << derived.err;
    EXPECT_NEAR(std::stod(linesOf(derived.out)[1].substr(7)), std::stod(lines[1].substr(7)), 2e-4);
}

TEST(CliCorrelate, RefusesBadInputAndWritesNothing) {
    testing::TempDir dir;
    testing::SyntheticSpectrum s;
    testing::writeText(dir.path / "multi.000", s.text());
    testing::writeText(dir.path / "plain.000", "BEGIN:\r\n10 1\r\nEND\r\n");
    testing::plantResultFiles(dir.path);
    const std::pair<std::string, std::string> cases[] = {
        {"correlate --channels 5 multi.000", "Tick at least two channeltrons"},
        {"correlate --channels 12x multi.000", "--channels takes the digits 1 to 9"},
        {"correlate --channels 122 multi.000", "names channeltron 2 twice"},
        {"correlate plain.000", "no \"Points:\" line"},
        {"correlate missing.000", "missing.000"},
    };
    for (const auto& [args, message] : cases) {
        SCOPED_TRACE(args);
        const auto r = runCli(dir.path, args);
        EXPECT_EQ(r.status, 2);
        EXPECT_EQ(r.out, "");
        EXPECT_NE(r.err.find(message), std::string::npos) << r.err;
        EXPECT_TRUE(testing::resultFilesUntouched(dir.path));
    }
    EXPECT_EQ(dir.entries(), 5u);
}

} // namespace
} // namespace korvo

// korvo-cli script: a table file run headless, one measurement and one summary line per line.
#include "cli_run.h"
#include "files/spectrum_reader.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

using namespace korvo;
using namespace korvo::testing;

namespace {

const std::string kOptions = " --virtual-time --quiet";

std::vector<std::string> lines(const std::string& text) {
    std::vector<std::string> out;
    std::istringstream in(text);
    for (std::string l; std::getline(in, l);) out.push_back(l);
    return out;
}

// The path after ", saved " in a summary line.
std::string savedPath(const std::string& line) {
    const auto at = line.find(", saved ");
    if (at == std::string::npos) return {};
    const auto end = line.find(" | ", at);
    return line.substr(at + 8, end == std::string::npos ? std::string::npos : end - at - 8);
}

} // namespace

TEST(CliScript, EachLineIsMeasuredAndARefusedLineDoesNotStopTheSeries) {
    TempDir dir;
    std::ofstream(dir.file("night.txt"), std::ios::binary)
        << "CLAM\t100\t10\t5\t1\t10.0\t10\t-\t-\t-\t-\n"
        << "\t110\t\t7\t\t\t\t\t\t\t\n"
        << "\tabc\t\t\t\t\t\t\t\t\t\n"
        << "\t120\t4\t3\t2\t\t\t-\t-\t-\t-\r\n";
    const CliResult r = runCli(dir.path, "script night.txt" + kOptions);
    EXPECT_EQ(r.status, 2) << r.err; // line 3 was not measured
    const std::vector<std::string> summary = lines(r.out);
    ASSERT_EQ(summary.size(), 4u) << r.out;
    const std::array<std::pair<double, std::size_t>, 4> expected{{{100, 5}, {110, 7}, {0, 0}, {120, 3}}};
    for (std::size_t i = 0; i < 4; ++i) {
        EXPECT_EQ(summary[i].rfind("Line " + std::to_string(i + 1) + ": ", 0), 0u) << summary[i];
        if (i == 2) {
            EXPECT_EQ(summary[i].rfind("Line 3: refused | ", 0), 0u) << summary[i];
            EXPECT_NE(summary[i].find("abc"), std::string::npos);
            EXPECT_EQ(savedPath(summary[i]), "");
            continue;
        }
        const SpectrumReadResult file = readSpectrumFile(savedPath(summary[i]));
        ASSERT_TRUE(file) << summary[i] << ": " << file.error;
        ASSERT_EQ(file.data.points.size(), expected[i].second);
        EXPECT_NEAR(file.data.points.front().x, expected[i].first, 1e-6);
    }
    EXPECT_NE(r.err.find("abc"), std::string::npos) << r.err; // the message on stderr as well

    // The three good lines alone: every line measured, status 0.
    std::ofstream(dir.file("good.txt"), std::ios::binary) << "CLAM\t100\t10\t5\t1\t10.0\t10\t-\t-\t-\t-\n"
                                                           << "\t105\t\t\t\t\t\t\t\t\t\n";
    const CliResult good = runCli(dir.path, "script good.txt" + kOptions);
    EXPECT_EQ(good.status, 0) << good.err;
    EXPECT_EQ(lines(good.out).size(), 2u);
}

TEST(CliScript, DamagedOrEmptyScriptsAreRefusedBeforeAnythingIsMeasured) {
    TempDir dir;
    std::ofstream(dir.file("ten.txt"), std::ios::binary) << "CLAM\t100\t10\t5\t1\t10.0\t10\t-\t-\t-\n";
    std::ofstream(dir.file("empty.txt"), std::ios::binary) << "\n\n";
    std::string many;
    for (int i = 0; i < 51; ++i) many += "CLAM\t100\t10\t5\t1\t10.0\t10\t-\t-\t-\t-\n";
    std::ofstream(dir.file("many.txt"), std::ios::binary) << many;
    const std::size_t files = dir.entries();
    for (const auto& [name, why] : {std::pair{"ten.txt", "Line 1 of the script has 10 cells"},
                                    std::pair{"empty.txt", "holds no line to measure"},
                                    std::pair{"many.txt", "The script has 51 lines"},
                                    std::pair{"missing.txt", "cannot be read"}}) {
        const CliResult r = runCli(dir.path, std::string("script ") + name + kOptions);
        EXPECT_EQ(r.status, 2) << name;
        EXPECT_NE(r.err.find(why), std::string::npos) << name << ": " << r.err;
        EXPECT_TRUE(r.out.empty()) << name;
    }
    EXPECT_EQ(dir.entries(), files); // nothing measured, nothing written
}

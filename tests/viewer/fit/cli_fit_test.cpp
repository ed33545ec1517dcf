// korvo-cli fit: one result per spectrum in load order, the exit statuses, series and threads, the
// CSV report, and refusals that fit nothing.
#include "cli/cli_run.h"
#include "support/temp_dir.h"
#include "viewer/fit/fit_test_util.h"

#include <nlohmann/json.hpp>

#include <filesystem>
#include <random>
#include <set>
#include <sys/stat.h>
#include <sstream>

namespace korvo::testing {
namespace {

const char* kModel = R"({"background": {"type": "linear"}, "components": [
    {"name": "C1", "shape": "pseudo_voigt", "position": 285.2, "fwhm": 1.1, "area": 4000, "eta": 0.3, "element": "C", "level": "1s"},
    {"name": "C2", "shape": "gaussian", "position": {"value": 287.6, "min": 287, "max": 289}, "fwhm": "C1", "area": 900,
     "element": "O", "sensitivity": 2.5}]})";

class CliFit : public ::testing::Test {
protected:
    // A two-line spectrum whose first line moves by `shift`, with seeded Poisson counts.
    std::string spectrum(const std::string& name, double shift, unsigned seed,
                         const std::string& header = "PhotEn: 1486.600\r\n") {
        std::mt19937 rng(seed);
        std::ostringstream s;
        s << header << "BEGIN:\r\n";
        for (int i = 0; i <= 300; ++i) {
            const double x = 280 + 0.05 * i;
            const double f = 0.7 * gaussian(x, 285 + shift, 1.2, 5000) +
                             0.3 * lorentzian(x, 285 + shift, 1.2, 5000) + gaussian(x, 288, 1.2, 1000) + 200 +
                             2 * (x - 280);
            s << x << ' ' << std::poisson_distribution<int>(f)(rng) << "\r\n";
        }
        s << "END\r\n";
        std::ofstream(dir.file(name), std::ios::binary) << s.str();
        return name;
    }
    void file(const std::string& name, const std::string& text) {
        std::ofstream(dir.file(name), std::ios::binary) << text;
    }
    CliResult run(const std::string& args) { return runCli(dir.path, args); }
    std::vector<nlohmann::json> lines(const std::string& out) {
        std::vector<nlohmann::json> all;
        std::istringstream in(out);
        for (std::string line; std::getline(in, line);) all.push_back(nlohmann::json::parse(line));
        return all;
    }
    TempDir dir;
};

TEST_F(CliFit, PrintsOneObjectPerSpectrumAndTheCsvReport) {
    spectrum("a,1.dat", 0, 1);
    spectrum("b.dat", 0.2, 2);
    file("m.json", kModel);
    file("rsf.txt", "C, 1s, 1.0\n");
    const CliResult r =
        run("fit --model m.json --json --sensitivities rsf.txt --csv report.csv 'a,1.dat' b.dat");
    ASSERT_EQ(r.status, 0) << r.err;
    const auto results = lines(r.out);
    ASSERT_EQ(results.size(), 2u);
    const nlohmann::json& a = results[0];
    EXPECT_EQ(a["file"], dir.file("a,1.dat"));
    EXPECT_EQ(a["converged"], true);
    EXPECT_EQ(a["axis"], "kinetic");
    EXPECT_EQ(a["dof"], 301 - 8); // C1: 4, C2: position and area, the background: 2
    for (const char* key :
         {"iterations", "chi2", "reduced_chi2", "background", "components", "elements", "correlations"})
        EXPECT_TRUE(a.contains(key)) << key;
    const nlohmann::json& c1 = a["components"][0];
    EXPECT_EQ(c1["name"], "C1");
    for (const char* key : {"position", "fwhm", "area", "height", "eta"})
        EXPECT_GT(c1[key]["error"].get<double>(), 0) << key;
    EXPECT_NEAR(c1["position"]["value"].get<double>(), 285, 4 * c1["position"]["error"].get<double>());
    EXPECT_EQ(a["components"][1]["fwhm"]["link"], "C1");
    EXPECT_NEAR(results[1]["components"][0]["position"]["value"].get<double>(), 285.2, 0.02);
    EXPECT_NEAR(c1["area_percent"].get<double>() + a["components"][1]["area_percent"].get<double>(), 100,
                1e-9);
    ASSERT_EQ(a["elements"].size(), 2u);
    EXPECT_EQ(a["elements"][0]["element"], "C");

    std::ifstream csv(dir.file("report.csv"));
    std::string header, line;
    std::getline(csv, header);
    EXPECT_EQ(header, "file,spectrum,kind,name,quantity,value,error");
    int rows = 0, quoted = 0;
    while (std::getline(csv, line)) {
        ++rows;
        quoted += line.rfind("\"" + dir.file("a,1.dat") + "\",,", 0) == 0; // no entry: a file of one spectrum
    }
    EXPECT_EQ(quoted, rows / 2); // the file name with a comma is one quoted field
    EXPECT_NE(countOf(r.out, "\n"), 0u);
}

TEST_F(CliFit, ExitStatusesSayWhatHappened) {
    spectrum("a.dat", 0, 1);
    file("m.json", kModel);
    // Not converged: still printed, status 3.
    file("empty.txt", "# nothing yet\n");
    CliResult r = run("fit --model m.json --json --max-iterations 1 --sensitivities empty.txt a.dat");
    EXPECT_EQ(r.status, 2) << r.err; // C has no sensitivity without a table
    EXPECT_NE(r.err.find("\"C1\""), std::string::npos) << r.err;
    file("rsf.txt", "C, 1s, 1.0\n");
    r = run("fit --model m.json --json --max-iterations 1 --sensitivities rsf.txt a.dat");
    EXPECT_EQ(r.status, 3) << r.err;
    ASSERT_EQ(lines(r.out).size(), 1u);
    EXPECT_EQ(lines(r.out)[0]["converged"], false);
    EXPECT_NE(r.err.find("did not converge"), std::string::npos) << r.err;

    // Refused: nothing fitted, nothing printed, status 2.
    file("bad.json",
         R"({"components": [{"name": "C1", "shape": "gaussian", "position": 285, "fwhm": -1, "area": 1}]})");
    r = run("fit --model bad.json a.dat");
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.out, "");
    EXPECT_NE(r.err.find("component \"C1\", parameter \"fwhm\""), std::string::npos) << r.err;
    file(
        "far.json",
        R"({"region": {"from": 300, "to": 310}, "components": [{"name": "C1", "shape": "gaussian", "position": 305, "fwhm": 1, "area": 1}]})");
    spectrum("b.dat", 0, 2);
    r = run("fit --model far.json a.dat b.dat");
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.out, "");
    EXPECT_NE(r.err.find("\"region\""), std::string::npos) << r.err;
    file("twins.json",
         R"({"components": [{"name": "C1", "shape": "gaussian", "position": 285, "fwhm": 1.2, "area": 4000},
        {"name": "C2", "shape": "gaussian", "position": 285, "fwhm": 1.2, "area": 4000}]})");
    r = run("fit --model twins.json a.dat");
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("singular"), std::string::npos) << r.err;
    EXPECT_EQ(run("fit --model m.json --sensitivities rsf.txt --csv m.json a.dat").status,
              2); // never over an input
    EXPECT_EQ(run("fit --model m.json --sensitivities rsf.txt --series --jobs 2 a.dat").status, 2);
    // The binding axis needs the photon energy: from the header, or typed.
    file(
        "be.json",
        R"({"axis": "binding", "components": [{"name": "C1", "shape": "gaussian", "position": 1197.1, "fwhm": 1.2, "area": 5000}]})");
    file("plain.dat", "280 1\n281 3\n282 9\n283 3\n284 1\n285 1\n");
    EXPECT_EQ(run("fit --model be.json plain.dat").status, 2);
    r = run("fit --model be.json --json a.dat");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(lines(r.out)[0]["axis"], "binding");
    EXPECT_NEAR(lines(r.out)[0]["components"][0]["position"]["value"].get<double>(), 1486.6 - 4.5 - 285,
                0.05);
    file(
        "be2.json",
        R"({"axis": "binding", "components": [{"name": "C1", "shape": "gaussian", "position": 964.7, "fwhm": 1.2, "area": 5000}]})");
    // A typed photon energy stands in for a header without one, as for `plot --binding`.
    spectrum("bare.dat", 0, 3, "");
    r = run("fit --model be2.json --json --photon-energy 1253.6 --work-function 4.0 bare.dat");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NEAR(lines(r.out)[0]["components"][0]["position"]["value"].get<double>(), 1253.6 - 4.0 - 285,
                0.05);
    // A scan of the photon energy has no binding energies, whatever is typed.
    spectrum("cfs.dat", 0, 4, "Fileform: CLAM_CFS\r\n");
    r = run("fit --model be.json --photon-energy 1486.6 cfs.dat");
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("photon energies for x"), std::string::npos) << r.err;
}

TEST_F(CliFit, SeriesStartsFromTheResultBeforeAndThreadsKeepTheOrder) {
    std::string files;
    for (int i = 0; i < 6; ++i)
        files += " " + spectrum("s" + std::to_string(i) + ".dat", 0.04 * i, 10 + unsigned(i));
    files += " s0.dat"; // once more at the end: a series reaches it from a neighbouring optimum
    file("m.json", kModel);
    file("rsf.txt", "C, 1s, 1.0\n");
    const CliResult one = run("fit --model m.json --json --sensitivities rsf.txt" + files);
    const CliResult two = run("fit --model m.json --json --sensitivities rsf.txt --jobs 3" + files);
    ASSERT_EQ(one.status, 0) << one.err;
    EXPECT_EQ(two.out, one.out); // the same fits, in input order
    const CliResult series = run("fit --model m.json --json --sensitivities rsf.txt --series" + files);
    ASSERT_EQ(series.status, 0) << series.err;
    const auto plain = lines(one.out), chained = lines(series.out);
    ASSERT_EQ(chained.size(), 7u);
    int fewer = 0;
    for (std::size_t i = 1; i < 7; ++i) {
        fewer += chained[i]["iterations"].get<int>() < plain[i]["iterations"].get<int>();
        EXPECT_NEAR(chained[i]["chi2"].get<double>(), plain[i]["chi2"].get<double>(),
                    1e-6 * plain[i]["chi2"].get<double>());
    }
    EXPECT_GE(fewer, 4);
    EXPECT_EQ(chained[0], plain[0]); // the first starts from the model
}

TEST_F(CliFit, AnOutputThatCannotBeWrittenIsRefusedBeforeAnythingIsFittedOrWritten) {
    spectrum("a.dat", 0, 1);
    file("m.json", kModel);
    file("rsf.txt", "C, 1s, 1.0\n");
    std::filesystem::create_directory(dir.file("out"));
    ASSERT_EQ(::mkfifo(dir.file("pipe.nxs").c_str(), 0600), 0);
    file("old.csv", "what was there\n");
    const std::string fit = "fit --model m.json --json --sensitivities rsf.txt ";
    for (const char* outputs :
         {"--csv old.csv --nexus out", "--csv old.csv --nexus missing/r.nxs", "--csv old.csv --nexus pipe.nxs",
          "--csv out --nexus r.nxs", "--csv old.csv --nexus a.dat", "--csv missing/r.csv --nexus r.nxs"}) {
        const CliResult r = run(fit + outputs + " a.dat");
        EXPECT_EQ(r.status, 2) << outputs;
        EXPECT_EQ(r.out, "") << outputs; // nothing fitted, so nothing printed
        EXPECT_NE(r.err.find("Nothing was fitted"), std::string::npos) << outputs << ": " << r.err;
        std::ifstream old(dir.file("old.csv"));
        std::string kept;
        std::getline(old, kept);
        EXPECT_EQ(kept, "what was there") << outputs;
        EXPECT_FALSE(std::filesystem::exists(dir.file("r.nxs"))) << outputs;
    }
    // Nothing left beside the targets either.
    for (const auto& e : std::filesystem::directory_iterator(dir.path))
        EXPECT_NE(e.path().filename().string().front(), '.') << e.path();

    // Both written when both can be, and stdout holds the results only.
    const CliResult ok = run(fit + "--csv old.csv --nexus r.nxs a.dat");
    ASSERT_EQ(ok.status, 0) << ok.err;
    EXPECT_EQ(lines(ok.out).size(), 1u);
    std::ifstream csv(dir.file("old.csv"));
    std::string header;
    std::getline(csv, header);
    EXPECT_EQ(header, "file,spectrum,kind,name,quantity,value,error");
    EXPECT_TRUE(std::filesystem::exists(dir.file("r.nxs")));
}

TEST_F(CliFit, SpectraOfOneNexusFileWithTheSameNameAreToldApartByTheirEntry) {
    spectrum("a.dat", 0, 1);
    std::filesystem::create_directory(dir.file("second"));
    spectrum("second/a.dat", 0.3, 2);
    file("m.json", kModel);
    file("rsf.txt", "C, 1s, 1.0\n");
    ASSERT_EQ(run("convert --nexus two.nxs a.dat second/a.dat").status, 0);
    ASSERT_EQ(run("convert --nexus one.nxs a.dat").status, 0);
    const CliResult r = run("fit --model m.json --json --sensitivities rsf.txt --csv r.csv two.nxs one.nxs");
    ASSERT_EQ(r.status, 0) << r.err;
    const auto results = lines(r.out);
    ASSERT_EQ(results.size(), 3u);
    EXPECT_EQ(results[0]["file"], results[1]["file"]);
    EXPECT_EQ(results[0]["spectrum"], "entry1");
    EXPECT_EQ(results[1]["spectrum"], "entry2");
    EXPECT_FALSE(results[2].contains("spectrum")); // a file of one spectrum needs no entry
    EXPECT_NEAR(results[1]["components"][0]["position"]["value"].get<double>() -
                    results[0]["components"][0]["position"]["value"].get<double>(),
                0.3, 0.05);

    std::ifstream csv(dir.file("r.csv"));
    std::string line;
    std::getline(csv, line);
    std::set<std::string> entries;
    while (std::getline(csv, line)) {
        const std::size_t first = line.find(','), second = line.find(',', first + 1);
        entries.insert(line.substr(first + 1, second - first - 1));
    }
    EXPECT_EQ(entries, (std::set<std::string>{"entry1", "entry2", ""}));

    const CliResult text = run("fit --model m.json --sensitivities rsf.txt two.nxs");
    EXPECT_NE(text.out.find("two.nxs (entry2): converged"), std::string::npos) << text.out;
    const auto info = nlohmann::json::parse(run("info --json two.nxs one.nxs").out);
    EXPECT_EQ(info["spectra"][0]["spectrum"], "entry1");
    EXPECT_EQ(info["spectra"][1]["spectrum"], "entry2");
    EXPECT_FALSE(info["spectra"][2].contains("spectrum"));
}

} // namespace
} // namespace korvo::testing

// A fit in a NeXus file: written beside its spectrum, read back and computed again on the spectrum it
// gives the same result, curves and status; a stored fit that does not fit its spectrum is refused;
// korvo-cli fit reads NeXus files and writes its fits into one with --nexus.
#include "cli/cli_run.h"
#include "files/nexus_file.h"
#include "support/temp_dir.h"
#include "viewer/fit/fit_nexus.h"
#include "viewer/fit/fit_test_util.h"

#include <nlohmann/json.hpp>

#include <fstream>
#include <random>
#include <sstream>

namespace korvo::testing {
namespace {

using namespace fit;

std::vector<SpectrumPoint> noisyTwoLines(unsigned seed) {
    std::mt19937 rng(seed);
    return sampled(280, 0.05, 241, [&rng](double x) {
        const double f = gaussian(x, 285, 1.2, 5000) + lorentzian(x, 287.5, 1.0, 1500) + 300 - 4 * (x - 280);
        return double(std::poisson_distribution<int>(f)(rng));
    });
}

NexusSpectrum spectrumOf(const std::string& name, const std::vector<SpectrumPoint>& pts) {
    NexusSpectrum s;
    s.name = name;
    s.table.headerLines = {"PhotEn: 1486.600"};
    s.table.beginLine = "BEGIN:";
    s.table.endLine = "END";
    s.table.columns.assign(2, {});
    for (const SpectrumPoint& p : pts) {
        s.table.columns[0].push_back(p.x);
        s.table.columns[1].push_back(p.y);
    }
    return s;
}

void expectSameResult(const FitResult& a, const FitResult& b) {
    EXPECT_EQ(a.status, b.status);
    EXPECT_EQ(a.message, b.message);
    EXPECT_EQ(a.iterations, b.iterations);
    EXPECT_EQ(a.errorsKnown, b.errorsKnown);
    EXPECT_EQ(a.chi2, b.chi2);
    EXPECT_EQ(a.dof, b.dof);
    EXPECT_EQ(a.background.rounds, b.background.rounds);
    ASSERT_EQ(a.components.size(), b.components.size());
    for (std::size_t c = 0; c < a.components.size(); ++c) {
        ASSERT_EQ(a.components[c].parameters.size(), b.components[c].parameters.size());
        for (std::size_t k = 0; k < a.components[c].parameters.size(); ++k) {
            const ParameterResult &p = a.components[c].parameters[k], &q = b.components[c].parameters[k];
            EXPECT_EQ(p.estimate.value, q.estimate.value) << p.name;
            EXPECT_EQ(p.estimate.error, q.estimate.error) << p.name;
            EXPECT_EQ(p.source, q.source) << p.name;
        }
        EXPECT_EQ(a.components[c].area.value, b.components[c].area.value);
        EXPECT_EQ(a.components[c].areaPercent.error, b.components[c].areaPercent.error);
    }
    ASSERT_EQ(a.background.parameters.size(), b.background.parameters.size());
    for (std::size_t k = 0; k < a.background.parameters.size(); ++k)
        EXPECT_EQ(a.background.parameters[k].estimate.value, b.background.parameters[k].estimate.value);
}

// Fits of every kind of result (binding axis with a link and a fixed parameter over a Shirley
// background; an active Shirley; a fit stopped by its iteration limit) written into one file and read
// back: each comes back as it was, on the spectrum it belongs to.
TEST(FitNexus, AFitSurvivesTheFileAndIsComputedAgainAsItWas) {
    struct Case {
        std::string name, model;
        std::optional<double> photon;
        int maxIterations;
    };
    const std::vector<Case> cases = {
        {"binding.dat",
         R"({"axis": "binding", "background": {"type": "shirley"}, "components": [
            {"name": "Fe/2p", "shape": "gaussian", "position": 1196.5, "fwhm": 1.3, "area": 4000},
            {"name": "B", "shape": "pseudo_voigt", "position": "Fe/2p - 2.4", "fwhm": 1.0, "area": 1200,
             "eta": {"value": 0.5, "fixed": true}}]})",
         1486.6, 200},
        {"active.dat",
         R"({"background": {"type": "active_shirley"}, "components": [
            {"name": "A", "shape": "gaussian", "position": 285.2, "fwhm": 1.0, "area": 4500},
            {"name": "B", "shape": "lorentzian", "position": 287.4, "fwhm": 1.1, "area": 1400}]})",
         std::nullopt, 200},
        {"stopped.dat",
         R"({"background": {"type": "linear"}, "components": [
            {"name": "A", "shape": "gaussian", "position": 284, "fwhm": 2, "area": 3000}]})",
         std::nullopt, 1},
    };
    std::vector<NexusSpectrum> spectra;
    std::vector<FitResult> fitted;
    for (std::size_t i = 0; i < cases.size(); ++i) {
        const std::vector<SpectrumPoint> pts = noisyTwoLines(unsigned(i) + 7);
        const Prepared p = prepareFit(modelFrom(cases[i].model), {pts, cases[i].photon, 4.2, cases[i].name});
        ASSERT_TRUE(p.problem) << p.error;
        FitOptions options;
        options.maxIterations = cases[i].maxIterations;
        fitted.push_back(solveFit(*p.problem, options));
        spectra.push_back(spectrumOf(cases[i].name, pts));
        spectra.back().additions.push_back(fitNexusEntry(*p.problem, fitted.back(), cases[i].name));
    }
    ASSERT_EQ(fitted[1].background.rounds > 1, true) << "the active Shirley took several rounds";
    ASSERT_EQ(fitted[2].status, FitStatus::NotConverged);

    std::string error;
    const std::optional<NexusFileImage> bytes = nexusFileBytes(spectra, &error);
    ASSERT_TRUE(bytes) << error;
    const NexusReadResult back = readNexusBytes(bytes->bytes(), "fits.nxs");
    ASSERT_TRUE(back) << back.error;
    ASSERT_EQ(back.spectra.size(), cases.size());
    for (std::size_t i = 0; i < cases.size(); ++i) {
        SCOPED_TRACE(cases[i].name);
        const NexusSpectrum& s = back.spectra[i];
        const NexusGroupData* entry = fitEntryOf(s);
        ASSERT_NE(entry, nullptr);
        const std::optional<StoredFit> stored = storedFitOf(*entry, &error);
        ASSERT_TRUE(stored) << error;
        EXPECT_EQ(modelJson(stored->model), modelJson(modelFrom(cases[i].model)));
        std::vector<SpectrumPoint> pts;
        for (std::size_t r = 0; r < s.table.rows(); ++r) pts.push_back({s.table.columns[0][r], s.table.columns[1][r]});
        const RestoredFit restored = restoreFit(*stored, pts, s.name);
        ASSERT_TRUE(restored.problem) << restored.error;
        expectSameResult(restored.result, fitted[i]);
        EXPECT_EQ(curvesOf(*restored.problem, restored.result).envelope,
                  curvesOf(*prepareFit(modelFrom(cases[i].model), {pts, cases[i].photon, 4.2, ""}).problem,
                           fitted[i]).envelope);
    }

    // Another spectrum under the same fit, or a model that no longer matches its values: refused.
    const std::optional<StoredFit> stored = storedFitOf(*fitEntryOf(back.spectra[1]));
    ASSERT_TRUE(stored);
    std::vector<SpectrumPoint> pts = noisyTwoLines(8);
    EXPECT_EQ(restoreFit(*stored, noisyTwoLines(9), "other.dat").error,
              "the fit was made on other counts than other.dat holds");
    StoredFit fewer = *stored;
    fewer.freeValues.pop_back();
    EXPECT_EQ(restoreFit(fewer, pts, "x").error, "the fit holds 5 free values, its model 6 free parameters");
    NexusGroupData broken = *fitEntryOf(back.spectra[0]);
    for (NexusField& f : broken.groups.at(0).fields)
        if (f.name == "model") f.value.texts = {R"({"components": [{"name": "A", "shape": "square"}]})"};
    EXPECT_EQ(storedFitOf(broken, &error), std::nullopt);
    EXPECT_EQ(error.rfind("fit/model: ", 0), 0u) << error;
}

class CliFitNexus : public ::testing::Test {
protected:
    void write(const std::string& name, const std::vector<SpectrumPoint>& pts) {
        std::ofstream f(dir.file(name), std::ios::binary);
        f << "PhotEn: 1486.600\r\nBEGIN:\r\n";
        for (const SpectrumPoint& p : pts) f << p.x << ' ' << p.y << "\r\n";
        f << "END\r\n";
    }
    std::vector<nlohmann::json> results(const std::string& out) {
        std::vector<nlohmann::json> all;
        std::istringstream in(out);
        for (std::string line; std::getline(in, line);) all.push_back(nlohmann::json::parse(line));
        return all;
    }
    TempDir dir;
};

// korvo-cli fit --nexus writes every spectrum with its fit; fitting the NeXus file gives the results
// of the text files; the output may not be an input.
TEST_F(CliFitNexus, WritesItsFitsIntoANexusFileAndReadsNexusFiles) {
    write("a.dat", noisyTwoLines(1));
    write("b.dat", noisyTwoLines(2));
    std::ofstream(dir.file("m.json")) << R"({"background": {"type": "linear"}, "components": [
        {"name": "A", "shape": "gaussian", "position": 285.2, "fwhm": 1.0, "area": 4500},
        {"name": "B", "shape": "lorentzian", "position": "A + 2.4", "fwhm": 1.1, "area": 1400}]})";
    const CliResult text = runCli(dir.path, "fit --model m.json --json --nexus fits.nxs a.dat b.dat");
    ASSERT_EQ(text.status, 0) << text.err;
    const NexusReadResult file = readNexusFile(dir.file("fits.nxs"));
    ASSERT_TRUE(file) << file.error;
    ASSERT_EQ(file.spectra.size(), 2u);
    const std::vector<nlohmann::json> printed = results(text.out);
    for (std::size_t i = 0; i < 2; ++i) {
        const NexusSpectrum& s = file.spectra[i];
        EXPECT_EQ(s.name, i == 0 ? "a.dat" : "b.dat");
        ASSERT_NE(fitEntryOf(s), nullptr);
        const std::optional<StoredFit> stored = storedFitOf(*fitEntryOf(s));
        ASSERT_TRUE(stored);
        std::vector<SpectrumPoint> pts;
        for (std::size_t r = 0; r < s.table.rows(); ++r) pts.push_back({s.table.columns[0][r], s.table.columns[1][r]});
        const RestoredFit restored = restoreFit(*stored, pts, s.name);
        ASSERT_TRUE(restored.problem) << restored.error;
        EXPECT_EQ(restored.result.components[1].parameters[0].estimate.value,
                  printed[i]["components"][1]["position"]["value"].get<double>());
    }

    const CliResult nexus = runCli(dir.path, "fit --model m.json --json fits.nxs");
    ASSERT_EQ(nexus.status, 0) << nexus.err;
    const std::vector<nlohmann::json> again = results(nexus.out);
    ASSERT_EQ(again.size(), 2u);
    for (std::size_t i = 0; i < 2; ++i) {
        EXPECT_EQ(again[i]["file"], dir.file("fits.nxs"));
        EXPECT_EQ(again[i]["components"], printed[i]["components"]);
        EXPECT_EQ(again[i]["chi2"], printed[i]["chi2"]);
    }

    std::ifstream in(dir.file("fits.nxs"), std::ios::binary);
    const std::string before((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const CliResult over = runCli(dir.path, "fit --model m.json --nexus fits.nxs fits.nxs");
    EXPECT_EQ(over.status, 2);
    EXPECT_NE(over.err.find("Nothing was fitted."), std::string::npos) << over.err;
    std::ifstream after(dir.file("fits.nxs"), std::ios::binary);
    EXPECT_EQ(std::string((std::istreambuf_iterator<char>(after)), std::istreambuf_iterator<char>()), before)
        << "the input stays as it was";
    const CliResult both = runCli(dir.path, "fit --model m.json --csv out.x --nexus ./out.x a.dat");
    EXPECT_EQ(both.status, 2);
    EXPECT_FALSE(std::filesystem::exists(dir.file("out.x")));
}

} // namespace
} // namespace korvo::testing

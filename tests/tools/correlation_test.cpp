// The channeltron correlation without windows: the linear solver, the shift of one pair, whole runs
// over made-up spectra whose channeltrons sit a known distance apart, and the refusals.
#include "correlation_test_util.h"
#include "support/temp_dir.h"
#include "tools/correlation.h"

#include <gtest/gtest.h>

namespace korvo {
namespace {

using testing::SyntheticSpectrum;

ChanneltronSpectrum parsed(const SyntheticSpectrum& s) {
    const ChanneltronSpectrumRead r = readChanneltronSpectrumText(s.text(), "synthetic.000");
    EXPECT_TRUE(r) << r.error;
    return r.spectrum;
}

ChanneltronCurves curvesOf(const ChanneltronSpectrum& s, bool derivative = false) {
    std::string error;
    auto c = ChanneltronCurves::build(s, derivative, error);
    EXPECT_TRUE(c) << error;
    return *c;
}

TEST(SolveLinear, SolvesKnownSystemsAndRefusesASingularOne) {
    // A zero in the first pivot place: only a row swap gets past it.
    LinearMatrix a{};
    a[0] = {0, 2, 1};
    a[1] = {1, 1, 1};
    a[2] = {2, 1, -1};
    LinearVector b{7, 6, 1}, x{};
    ASSERT_TRUE(SolveLinear(a, b, 3, x));
    EXPECT_NEAR(x[0], 1, 1e-12);
    EXPECT_NEAR(x[1], 2, 1e-12);
    EXPECT_NEAR(x[2], 3, 1e-12);

    // An 8 x 8 system built from a known solution.
    LinearMatrix h{};
    LinearVector want{}, rhs{}, got{};
    for (int i = 0; i < 8; ++i) want[i] = i - 3.5;
    for (int i = 0; i < 8; ++i)
        for (int j = 0; j < 8; ++j) {
            h[i][j] = 1.0 / (i + j + 1) + (i == j ? 1 : 0);
            rhs[i] += h[i][j] * want[j];
        }
    ASSERT_TRUE(SolveLinear(h, rhs, 8, got));
    for (int i = 0; i < 8; ++i) EXPECT_NEAR(got[i], want[i], 1e-10) << i;

    LinearMatrix singular{};
    singular[0] = {1, 2, 3};
    singular[1] = {2, 4, 6};
    singular[2] = {1, 0, 1};
    EXPECT_FALSE(SolveLinear(singular, b, 3, x));
    EXPECT_FALSE(SolveLinear(a, b, 0, x));
    EXPECT_FALSE(SolveLinear(a, b, 9, x));
}

TEST(CorrelationShift, IdenticalCurvesGiveZeroAndAShiftOfThreeGivesThree) {
    SyntheticSpectrum s;
    s.rows = s.points = 100;
    s.step = 10.0 / 99; // AnaEnd - AnaSta = 10
    s.passEnergy = 5;
    s.centre = 50;
    s.offset = [](int c) { return c == 2 ? 3.0 : 0.0; };
    const ChanneltronSpectrum spectrum = parsed(s);
    EXPECT_NEAR(spectrum.anaEnd - spectrum.anaStart, 10, 1e-9);
    const ChanneltronCurves curves = curvesOf(spectrum);

    const ShiftResult same = CorrelationShift(curves, 1, 3);
    ASSERT_TRUE(same) << same.error;
    EXPECT_NEAR(same.shift, 0, 1e-6);

    const ShiftResult three = CorrelationShift(curves, 1, 2);
    ASSERT_TRUE(three) << three.error;
    EXPECT_NEAR(three.shift, 3, 1e-6);
    EXPECT_NEAR(energyShift(spectrum, three.shift), 0.06, 1e-7);
    const ShiftResult back = CorrelationShift(curves, 2, 1);
    EXPECT_NEAR(back.shift, -3, 1e-6);
    EXPECT_FALSE(CorrelationShift(curves, 0, 2));
    EXPECT_FALSE(CorrelationShift(curves, 1, 10));
    EXPECT_FALSE(CorrelationShift(ChanneltronCurves(), 1, 2));

    // The files of the pair: every shift of -N..N, and the 17 around the maximum with their fit.
    const std::string testDat = correlationText(three);
    EXPECT_EQ(std::count(testDat.begin(), testDat.end(), '\n'), 201);
    EXPECT_EQ(testDat.rfind("-100 ", 0), 0u);
    EXPECT_NE(testDat.find("\r\n3 1.000000\r\n"), std::string::npos);
    EXPECT_EQ(std::count(three.ausgabeDat.begin(), three.ausgabeDat.end(), '\n'), 17);
    EXPECT_EQ(three.ausgabeDat.rfind("-5 ", 0), 0u) << three.ausgabeDat;
}

TEST(CorrelationShift, FindsAShiftBetweenPoints) {
    SyntheticSpectrum s;
    s.offset = [](int c) { return c == 2 ? 2.4 : 0.0; };
    const ShiftResult r = CorrelationShift(curvesOf(parsed(s)), 1, 2);
    ASSERT_TRUE(r) << r.error;
    EXPECT_NEAR(r.shift, 2.4, 0.05);
}

// Channeltron c sees the peak `step` points further on than channeltron c - 1.
SyntheticSpectrum evenlySpaced(double step) {
    SyntheticSpectrum s;
    s.offset = [step](int c) { return step * (c - 5); };
    return s;
}

void expectLinear(const CorrelationResult& r, const ChanneltronSpectrum& spectrum, double stepPoints) {
    ASSERT_TRUE(r) << r.error;
    const double perPoint = (spectrum.anaEnd - spectrum.anaStart) / spectrum.points / spectrum.passEnergy;
    const double delta = -perPoint * stepPoints;
    EXPECT_NEAR(r.delta, delta, 0.02 * std::fabs(delta));
    // Every channeltron has its offset, ticked or not: its counts are in the file either way.
    for (int c = 1; c <= 9; ++c) {
        SCOPED_TRACE(c);
        ASSERT_TRUE(r.offsets[c - 1].has_value());
        EXPECT_NEAR(*r.offsets[c - 1], delta * (c - 5), 0.02 * std::fabs(delta) + 1e-6);
    }
    ASSERT_EQ(r.offsetLines.size(), 9u);
    EXPECT_LT(r.correlationError, 0.02 * std::fabs(delta));
}

TEST(Correlation, EvenlySpacedChanneltronsGiveTheirStepAsDelta) {
    const SyntheticSpectrum s = evenlySpaced(1.5);
    const ChanneltronSpectrum spectrum = parsed(s);
    ASSERT_EQ(spectrum.rows(), 120u); // the extra points outside [AnaSta, AnaEnd] are passed over
    int calls = 0, lastDone = 0, lastTotal = 0;
    const CorrelationResult all = correlateChanneltrons(spectrum, {}, [&](int done, int total, int points) {
        ++calls;
        lastDone = done;
        lastTotal = total;
        EXPECT_EQ(points, 120);
    });
    expectLinear(all, spectrum, 1.5);
    EXPECT_EQ(calls, 36 + 9); // every pair, then every channeltron against channeltron 5
    EXPECT_EQ(lastDone, lastTotal);

    EXPECT_EQ(all.summary.front(), "PassEn: 10.00");
    EXPECT_EQ(all.summary[1], "Delta: " + text::formatPattern(all.delta, "0.000000"));
    ASSERT_EQ(all.summary.size(), 12u);
    EXPECT_EQ(all.summary[2], "1 : +" + text::formatPattern(all.delta * -4, "0.000000"));
    EXPECT_EQ(all.summary[6], "5 : +0.000000");
    EXPECT_EQ(all.summary[10], "9 :  " + text::formatPattern(all.delta * 4, "0.000000"));
    EXPECT_EQ(all.summary.back().rfind("Korrelationsfehler: 0.0000", 0), 0u) << all.summary.back();
    ASSERT_EQ(all.offsetLines.size(), 9u);
    EXPECT_EQ(all.offsetLines[0].rfind("1 : +", 0), 0u) << all.offsetLines[0];
    EXPECT_EQ(all.offsetLines[8].rfind("9 :  -", 0), 0u) << all.offsetLines[8];
    std::string lines;
    for (const auto& l : all.offsetLines) lines += l + "\r\n";
    EXPECT_EQ(all.lineDat, lines);

    // Fewer channeltrons, and the first differences instead of the counts: the same step. The
    // offsets of the unticked ones are listed as well, as the run with all ticked lists them.
    CorrelationOptions o;
    o.ticked = {true, false, true, false, true, false, false, false, true};
    int partCalls = 0;
    const CorrelationResult part = correlateChanneltrons(spectrum, o, [&](int, int, int) { ++partCalls; });
    expectLinear(part, spectrum, 1.5);
    EXPECT_EQ(partCalls, 6 + 9);
    EXPECT_EQ(part.offsetLines, all.offsetLines);
    EXPECT_EQ(part.lineDat, all.lineDat);

    o.derivative = true;
    const CorrelationResult derived = correlateChanneltrons(spectrum, o);
    expectLinear(derived, spectrum, 1.5);
    EXPECT_EQ(derived.points, 119);

    // The other way round: channeltron 9 first.
    const CorrelationResult reversed = correlateChanneltrons(parsed(evenlySpaced(-2)), {});
    expectLinear(reversed, spectrum, -2);
}

TEST(Correlation, RefusesWhatGivesNoOffsets) {
    const ChanneltronSpectrum good = parsed(evenlySpaced(1));
    CorrelationOptions one;
    one.ticked.fill(false);
    one.ticked[4] = true;
    EXPECT_EQ(correlateChanneltrons(good, one).error,
              "Tick at least two channeltrons: Delta comes from the shifts between pairs of them.");
    one.ticked[4] = false;
    EXPECT_FALSE(correlateChanneltrons(good, one));

    SyntheticSpectrum shortOne;
    shortOne.rows = 14;
    shortOne.centre = 7;
    shortOne.width = 2;
    const CorrelationResult tooShort = correlateChanneltrons(parsed(shortOne), {});
    EXPECT_NE(tooShort.error.find("only 14 rows"), std::string::npos) << tooShort.error;
    shortOne.rows = 15;
    CorrelationOptions derive;
    derive.derivative = true;
    EXPECT_NE(correlateChanneltrons(parsed(shortOne), derive).error.find("at least 16"), std::string::npos);

    // Two peaks at opposite ends: the maximum lies too close to the end of the shift range.
    SyntheticSpectrum apart;
    apart.rows = 40;
    apart.background = 0;
    apart.width = 1;
    apart.centre = 3;
    apart.offset = [](int c) { return c == 2 ? 34.0 : 0.0; };
    CorrelationOptions pair;
    pair.ticked.fill(false);
    pair.ticked[0] = pair.ticked[1] = true;
    const CorrelationResult edge = correlateChanneltrons(parsed(apart), pair);
    EXPECT_EQ(edge.error.rfind("Channeltrons 1 and 2: the correlation maximum lies at shift 34", 0), 0u)
        << edge.error;

    // A channeltron without counts has no correlation maximum to divide by.
    SyntheticSpectrum dead = evenlySpaced(1);
    ChanneltronSpectrum deadSpectrum = parsed(dead);
    std::fill(deadSpectrum.counts[2].begin(), deadSpectrum.counts[2].end(), 0);
    const CorrelationResult noCounts = correlateChanneltrons(deadSpectrum, {});
    EXPECT_NE(noCounts.error.find("Channeltrons 1 and 3: the curves have no positive correlation"),
              std::string::npos)
        << noCounts.error;
    // Unticked, it keeps its line, with the reason in place of a value.
    CorrelationOptions withoutDead;
    withoutDead.ticked[2] = false;
    const CorrelationResult rest = correlateChanneltrons(deadSpectrum, withoutDead);
    ASSERT_TRUE(rest) << rest.error;
    ASSERT_EQ(rest.offsetLines.size(), 9u);
    EXPECT_EQ(rest.offsetLines[2],
              "3 : not correlated: the curves have no positive correlation (no counts?)");
    EXPECT_FALSE(rest.offsets[2]);
    EXPECT_EQ(rest.offsetLines[3].rfind("4 : +0.0", 0), 0u) << rest.offsetLines[3];
    deadSpectrum.passEnergy = 0;
    EXPECT_FALSE(correlateChanneltrons(deadSpectrum, {}));
}

TEST(CorrelationFile, ReadsTheWindowAndRefusesBadHeadersAndRows) {
    SyntheticSpectrum s;
    const std::string text = s.text();
    const ChanneltronSpectrumRead r = readChanneltronSpectrumText(text, "m.000");
    ASSERT_TRUE(r) << r.error;
    EXPECT_EQ(r.spectrum.points, 120);
    EXPECT_DOUBLE_EQ(r.spectrum.passEnergy, 10);
    EXPECT_DOUBLE_EQ(r.spectrum.anaStart, 100);
    EXPECT_DOUBLE_EQ(r.spectrum.anaEnd, 111.9);
    EXPECT_EQ(r.spectrum.counts[8][59], s.count(9, 60));

    const auto error = [](const std::string& bytes) {
        return readChanneltronSpectrumText(bytes, "m.000").error;
    };
    const auto replaced = [&](const std::string& from, const std::string& to) {
        std::string t = text;
        t.replace(t.find(from), from.size(), to);
        return t;
    };
    EXPECT_EQ(error(replaced("AnaSta:", "Anasta:")),
              "Cannot correlate m.000: no \"AnaSta:\" line where the header should have one.");
    EXPECT_EQ(error("10 1 2 3\r\n11 1 2 3\r\n"),
              "Cannot correlate m.000: no \"Points:\" line where the header should have one.");
    EXPECT_EQ(error(replaced("Points:120", "Points:0")),
              "Cannot correlate m.000: the header states 0 points per scan.");
    EXPECT_EQ(error(replaced("PassEn:10.000", "PassEn:0")),
              "Cannot correlate m.000: the header states a pass energy of 0.");
    EXPECT_EQ(error(replaced("PassEn:10.000", "PassEn:ten")),
              "Cannot correlate m.000: \"PassEn:\" is followed by \"ten\", not a number (line 10).");
    EXPECT_EQ(error(text.substr(0, text.find("BEGIN:") + 8) + "END\r\n"),
              "Cannot correlate m.000: no data row lies between AnaSta 100 and AnaEnd 111.9.");
    EXPECT_EQ(error(replaced("100.000 ", "100.000 9 1 2\r\n"))
                  .rfind("Cannot correlate m.000: the row has 2 channeltron counts", 0),
              0u);
    EXPECT_EQ(error(replaced("100.100 ", "1OO.1 ")),
              "Cannot correlate m.000: \"1OO.1\" is not an energy (line 28).");

    // A curve holds at most 20001 entries with its extension: 6666 rows, not one more.
    SyntheticSpectrum big;
    big.rows = static_cast<int>(kCorrelationMaxRows) + 1;
    big.step = 0.001;
    EXPECT_NE(error(big.text()).find("more than 6666 rows"), std::string::npos);
    big.rows = static_cast<int>(kCorrelationMaxRows);
    EXPECT_TRUE(readChanneltronSpectrumText(big.text(), "big"));

    testing::TempDir dir;
    EXPECT_NE(readChanneltronSpectrumFile(dir.file("missing.000")).error.find("missing.000"),
              std::string::npos);
    EXPECT_FALSE(readChanneltronSpectrumFile(dir.path.string()));
}

TEST(CorrelationFiles, AreWrittenAsComputed) {
    testing::TempDir dir;
    testing::plantResultFiles(dir.path);
    const CorrelationResult r = correlateChanneltrons(parsed(evenlySpaced(1)), {});
    ASSERT_TRUE(r) << r.error;
    std::string error;
    ASSERT_TRUE(writeCorrelationFiles(r, dir.path.string(), error)) << error;
    EXPECT_EQ(testing::readText(dir.path / "test.dat"), r.testDat);
    EXPECT_EQ(testing::readText(dir.path / "ausgabe.dat"), r.ausgabeDat);
    EXPECT_EQ(testing::readText(dir.path / "line.dat"), r.lineDat);
    EXPECT_FALSE(writeCorrelationFiles(r, dir.file("no-such-dir"), error));
    EXPECT_NE(error.find("no-such-dir/test.dat"), std::string::npos) << error;

    // One of the three cannot be replaced: none is, and nothing is left behind.
    testing::plantResultFiles(dir.path);
    std::filesystem::remove(dir.path / "line.dat");
    std::filesystem::create_directory(dir.path / "line.dat");
    EXPECT_FALSE(writeCorrelationFiles(r, dir.path.string(), error));
    EXPECT_NE(error.find("line.dat: it is not a regular file"), std::string::npos) << error;
    EXPECT_EQ(testing::readText(dir.path / "test.dat"), "old test.dat");
    EXPECT_EQ(testing::readText(dir.path / "ausgabe.dat"), "old ausgabe.dat");
    EXPECT_EQ(dir.entries(), 3u);
}

TEST(CorrelationProgress, ReadsAsTheLabelShowsIt) {
    EXPECT_EQ(progressText(0, 0, 0), "00 %");
    EXPECT_EQ(progressText(1, 45, 120), "120 Punkte 02 %");
    EXPECT_EQ(progressText(45, 45, 120), "120 Punkte 100 %");
}

} // namespace
} // namespace korvo

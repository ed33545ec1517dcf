// `korvo-cli info` on written files: the text block, the JSON document and unreadable files.
#include "files/spectrum_info.h"
#include "files/spectrum_reader.h"
#include "files/spectrum_writer.h"
#include "spectrum_test_util.h"

#include "common/file_util.h"
#include "common/number_text.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <cmath>
#include <cstring>
#include <random>
#include <sstream>

using namespace korvo;

namespace {

// The document `korvo-cli info --json` wrote when it built the whole array with the JSON library:
// the streamed output must stay equal to it.
nlohmann::json libraryJson(const std::string& path, const SpectrumFileData& d) {
    nlohmann::json points = nlohmann::json::array();
    for (const SpectrumPoint& p : d.points) points.push_back({p.x, p.y});
    return {{"path", path},
            {"fileName", d.fileName},
            {"comment", d.commentText},
            {"sample", d.sampleText},
            {"date", d.dateText},
            {"scansText", d.scansText},
            {"scans", d.scans},
            {"measTimeText", d.measTimeText},
            {"measTime", d.measTime},
            {"pointsText", d.pointsText},
            {"passEnText", d.passEnText},
            {"anaStaText", d.anaStaText},
            {"anaEndText", d.anaEndText},
            {"headerLines", d.headerLines},
            {"endFound", d.endFound},
            {"points", std::move(points)}};
}

std::string libraryDump(const nlohmann::json& doc) {
    return doc.dump(2, ' ', false, nlohmann::json::error_handler_t::replace) + "\n";
}

// Keeps what is written and the largest single write.
class RecordingBuf : public std::streambuf {
public:
    std::string text;
    std::size_t largestWrite = 0;

protected:
    std::streamsize xsputn(const char* s, std::streamsize n) override {
        largestWrite = std::max(largestWrite, static_cast<std::size_t>(n));
        text.append(s, static_cast<std::size_t>(n));
        return n;
    }
    int_type overflow(int_type c) override {
        if (c != traits_type::eof()) xsputn(reinterpret_cast<const char*>(&c), 1);
        return 0;
    }
};

} // namespace

TEST(SpectrumInfo, DescribesReadableFilesAndReportsTheOthers) {
    korvo::testing::TempDir dir;
    SpectrumHeader h = korvo::testing::clamHeader();
    h.points = 3;
    h.comment = "gr\xC3\xBCn"; // written as Windows-1252, shown as UTF-8
    const DataBlock block = korvo::testing::makeBlock(h, 10, 0.5);
    const std::string good = dir.file("c_021205.001");
    ASSERT_TRUE(saveSpectrumFile(good, h, {}, block));
    const std::string comma = dir.file("comma.dat");
    ASSERT_TRUE(writeFileAtomic(comma, "1,5 2\r\n3 4\r\n"));
    const std::string missing = dir.file("missing.dat");

    std::ostringstream out, err;
    EXPECT_EQ(runSpectrumInfo({good}, false, out, err), 0);
    EXPECT_TRUE(err.str().empty());
    const std::string text = out.str();
    EXPECT_EQ(text.rfind(good + "\n", 0), 0u);
    for (const char* part : {"Comment: gr\xC3\xBCn\n", "points read     3\n", "\n  11 300\n"})
        EXPECT_NE(text.find(part), std::string::npos) << part; // third point: x 11, column 0 of record 3

    std::ostringstream jout, jerr;
    EXPECT_EQ(runSpectrumInfo({good, comma, missing}, true, jout, jerr), 2);
    const auto doc = nlohmann::json::parse(jout.str());
    ASSERT_EQ(doc.size(), 1u);
    EXPECT_EQ(doc[0]["path"], good);
    EXPECT_EQ(doc[0]["scans"], 2);
    EXPECT_EQ(doc[0]["points"].size(), 3u);
    EXPECT_EQ(doc[0]["points"][1][0], 10.5);
    EXPECT_EQ(doc[0]["points"][1][1], 200); // record 2, column 0
    const std::string errors = jerr.str();
    EXPECT_NE(errors.find(comma + ": No valid file format (comma.dat): comma? (line 1)"), std::string::npos);
    EXPECT_NE(errors.find(missing + ": "), std::string::npos);
}

// The streamed document is byte for byte the one the JSON library made of the whole array.
TEST(SpectrumInfo, JsonIsTheDocumentTheLibraryWrote) {
    korvo::testing::TempDir dir;
    const std::string a = dir.file("a.dat"), b = dir.file("b.dat"), c = dir.file("c.dat");
    ASSERT_TRUE(writeFileAtomic(a, "Comment: \x1b[2J \\ \xB5m\r\nScans: 3\r\nMeasTime: 0.1\r\nPassEn:20\r\n"
                                   "BEGIN:\r\n284.5 1520\r\n-1.5E-7 2e15\r\n\r\n0.1 1e300\r\n"
                                   "12345678.123456789 -0\r\n1e-320 3\r\nEND\r\n"));
    ASSERT_TRUE(writeFileAtomic(b, "BEGIN:\r\nEND\r\n")); // no points at all
    ASSERT_TRUE(writeFileAtomic(c, "1 2\n3 4\n"));
    std::ostringstream out, err;
    ASSERT_EQ(runSpectrumInfo({a, b, c}, true, out, err), 0) << err.str();

    nlohmann::json expected = nlohmann::json::array();
    for (const std::string& path : {a, b, c})
        expected.push_back(libraryJson(path, readSpectrumFile(path).data));
    EXPECT_EQ(out.str(), libraryDump(expected));
    EXPECT_EQ(nlohmann::json::parse(out.str()), expected);

    std::ostringstream none, noneErr;
    EXPECT_EQ(runSpectrumInfo({dir.file("missing")}, true, none, noneErr), 2);
    EXPECT_EQ(none.str(), libraryDump(nlohmann::json::array()));
}

// Numbers of every kind keep their texts: the plain number format in the text block, the JSON
// library's digits in the document.
TEST(SpectrumInfo, NumbersAreWrittenAsBefore) {
    std::mt19937_64 random(20021205);
    SpectrumFileData d;
    for (double v : {0.0, -0.0, 1.0, -2.5, 1e15, 999999999999999.0, 1e-5, 0.00001234, 9.99999e-6, 1e-300,
                     5e-324, 2.2250738585072014e-308, 0.1 + 0.2, 1.0 / 3, 1520.5, 123456789012345.6})
        d.points.push_back({v, -v});
    std::uniform_int_distribution<int> exponent(-30, 30), digits(1, 17);
    for (int i = 0; i < 8000; ++i) {
        // Arbitrary bit patterns, and decimals as a file holds them.
        double bits;
        const std::uint64_t pattern = random();
        std::memcpy(&bits, &pattern, sizeof bits);
        const double decimal = std::stod(std::to_string(random() % 100000000000000000ULL)
                                             .substr(0, static_cast<std::size_t>(digits(random))) +
                                         "e" + std::to_string(exponent(random)));
        d.points.push_back({std::isfinite(bits) ? bits : 1.0, decimal});
    }
    std::ostringstream text;
    writeSpectrumInfoText(text, "p", d);
    std::istringstream lines(text.str().substr(text.str().find("points read")));
    std::string line;
    std::getline(lines, line);
    for (const SpectrumPoint& p : d.points) {
        ASSERT_TRUE(std::getline(lines, line));
        ASSERT_EQ(line, "  " + text::plainNumber(p.x) + " " + text::plainNumber(p.y)) << p.x << " " << p.y;
    }

    std::ostringstream json;
    json << "[\n";
    writeSpectrumInfoJson(json, "p", d);
    json << "\n]\n";
    EXPECT_EQ(json.str(), libraryDump(nlohmann::json::array({libraryJson("p", d)})));
}

// Text and JSON leave in pieces of bounded size, written point by point, not as one text.
TEST(SpectrumInfo, OutputIsStreamedPointByPoint) {
    korvo::testing::TempDir dir;
    const std::string path = dir.file("many.dat");
    std::string bytes = "BEGIN:\r\n";
    for (int i = 0; i < 40000; ++i) bytes += std::to_string(i) + ".125 " + std::to_string(3 * i) + "\r\n";
    ASSERT_TRUE(writeFileAtomic(path, bytes));
    for (const bool json : {false, true}) {
        RecordingBuf buf;
        std::ostream out(&buf);
        std::ostringstream err;
        ASSERT_EQ(runSpectrumInfo({path, path}, json, out, err), 0) << err.str();
        EXPECT_GT(buf.text.size(), 2 * bytes.size()) << json;
        EXPECT_LT(buf.largestWrite, std::size_t(128) << 10) << json;
    }
}

TEST(SpectrumInfo, HeaderControlCharactersAreEscapedInText) {
    struct Case {
        std::string_view in, out;
    };
    for (const Case& c : {Case{"plain \xC2\xB5m", "plain \xC2\xB5m"}, Case{"\x1b[31mred", "\\x1b[31mred"},
                          Case{std::string_view("a\0b\x07\x7F", 5), "a\\x00b\\x07\\x7f"},
                          Case{"back\\slash", "back\\\\slash"},
                          Case{"csi \xC2\x9B"
                               "2J",
                               "csi \\u009b2J"},
                          Case{"lone \x9B byte \xE2\x82", "lone \\x9b byte \\xe2\\x82"}})
        EXPECT_EQ(escapeForTerminal(c.in), c.out) << c.in;

    korvo::testing::TempDir dir;
    const std::string path = dir.file("esc.dat");
    ASSERT_TRUE(writeFileAtomic(path, std::string("Comment: \x1b]0;owned\x07 ") + '\0' +
                                          "\r\nFileName: \x1b[2J\r\nBEGIN:\r\n1 2\r\n"));
    std::ostringstream out, err;
    ASSERT_EQ(runSpectrumInfo({path}, false, out, err), 0) << err.str();
    for (const char c : out.str())
        EXPECT_FALSE((static_cast<unsigned char>(c) < 0x20 && c != '\n') || c == 0x7F) << int(c);
    EXPECT_NE(out.str().find("Comment: \\x1b]0;owned\\x07 \\x00\n"), std::string::npos) << out.str();
}

TEST(SpectrumInfo, UnwritableOutputIsAFailure) {
    korvo::testing::TempDir dir;
    const std::string path = dir.file("a.dat");
    ASSERT_TRUE(writeFileAtomic(path, "1 2\r\n3 4\r\n"));
    for (const bool json : {false, true}) {
        std::ostream closed(nullptr); // like a closed pipe or a full disk: every write fails
        std::ostringstream err;
        EXPECT_EQ(runSpectrumInfo({path}, json, closed, err), 2);
        EXPECT_NE(err.str().find("Cannot write the output"), std::string::npos);
    }
}

// `korvo-cli info` on written files: the text block, the JSON document and unreadable files.
#include "files/spectrum_info.h"
#include "files/spectrum_writer.h"
#include "spectrum_test_util.h"

#include "common/file_util.h"

#include <gtest/gtest.h>

#include <sstream>

using namespace korvo;

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

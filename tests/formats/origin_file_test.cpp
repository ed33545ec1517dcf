// Data files for Origin: where the header ends, how the columns are counted, the layout of the
// points and the one common range, and the tables that must be refused.
#include "files/origin_file.h"

#include <gtest/gtest.h>

using namespace korvo;

namespace {

struct Read {
    OriginReadResult r;
    std::vector<SpectrumPoint> points;
};

Read readText(std::string_view text, const OriginReadLimits& limits = {}) {
    Read out;
    out.points = {{-1, -1}}; // a point of an earlier spectrum, to be kept
    out.r = readOriginText(text, "t.dat", out.points, limits);
    return out;
}

} // namespace

TEST(OriginFile, HeaderEndsAtTheFirstLineWithADigitAmongItsFirstThreeCharacters) {
    struct Case {
        const char* what;
        std::string text;
        std::size_t header, columns, rows;
    };
    const Case cases[] = {
        {"no header", "1 10 20\r\n2 11 21\r\n", 0, 2, 2},
        {"one line of words", "Energy Counts Counts\r\n1 10 20\r\n2 11 21\r\n3 12 22\r\n", 1, 2, 3},
        {"a digit further on belongs to the header", "Energy A1 A2\r\nxy 5\r\n1 10\r\n2 11\r\n", 2, 1, 2},
        {"a digit as third character ends it", "Energy\r\n  7 70\r\n8 80\r\n", 1, 1, 2},
        {"a sign or point before the digit", "E\r\n-1 5\r\n.5 6\r\n", 1, 1, 2},
        {"LF and CR line ends, BOM", "\xEF\xBB\xBF" "E\n1 10\r2 20\n", 1, 1, 2},
        {"tabs between the values", "1\t10\t20\t30\n2\t11\t21\t31\n", 0, 3, 2},
        {"blank lines carry no point", "1 10\n\n2 20\n   \n3 30\n\n", 0, 1, 3},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const Read d = readText(c.text);
        ASSERT_TRUE(d.r) << d.r.error;
        EXPECT_EQ(d.r.table.headerLines, c.header);
        EXPECT_EQ(d.r.table.columns, c.columns);
        EXPECT_EQ(d.r.table.rows, c.rows);
        EXPECT_EQ(d.points.size(), 1 + c.columns * c.rows);
    }
}

TEST(OriginFile, ColumnsAreCountedOnTheSecondRowAndThePointsLieColumnAfterColumn) {
    const Read d = readText("Energy a b\r\n1 10 -20\r\n2 11 -21\r\n3 12 -22\r\n");
    ASSERT_TRUE(d.r) << d.r.error;
    const OriginTable& t = d.r.table;
    ASSERT_EQ(t.columns, 2u);
    ASSERT_EQ(t.rows, 3u);
    const std::vector<std::pair<double, double>> expected = {{-1, -1}, {1, 10},  {2, 11},  {3, 12},
                                                             {1, -20}, {2, -21}, {3, -22}};
    ASSERT_EQ(d.points.size(), expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i) {
        EXPECT_EQ(d.points[i].x, expected[i].first) << i;
        EXPECT_EQ(d.points[i].y, expected[i].second) << i;
    }
    // One range over all columns, from x of every row and every value.
    EXPECT_EQ(t.xMin, 1);
    EXPECT_EQ(t.xMax, 3);
    EXPECT_EQ(t.yMin, -22);
    EXPECT_EQ(t.yMax, 12);
}

TEST(OriginFile, TablesThatAreRefusedWithTheirLine) {
    struct Case {
        const char* what;
        std::string text;
        const char* says;
        int line;
    };
    const Case cases[] = {
        {"no numbers at all", "Energy\r\nCounts\r\n", "no line of numbers", 0},
        {"an empty file", "", "no line of numbers", 0},
        {"one row only", "E\r\n1 2 3\r\n", "one row of numbers only", 2},
        {"no column of counts", "1 2\r\n3\r\n4\r\n", "one value only", 2},
        {"a decimal comma", "E\r\n1 10\r\n2 11\r\n3,5 12\r\n", "\"3,5\" is not a number", 4},
        {"a decimal comma in a value", "1 10\r\n2 1,5\r\n", "\"1,5\" is not a number", 2},
        {"a row with fewer values", "1 10 20\r\n2 11 21\r\n3 12\r\n", "1 values after x, 2 columns", 3},
        {"first row shorter than the second", "1 10\r\n2 11 21\r\n", "1 values after x, 2 columns", 1},
        // Values without a column are not dropped without a word.
        {"first row longer than the second", "1 10 20 99\r\n2 11 21\r\n", "3 values after x, 2 columns", 1},
        {"a later row with more values", "1 10 20\r\n2 11 21\r\n3 12 22 77 78\r\n",
         "4 values after x, 2 columns", 3},
        {"words among the rows", "1 10\r\n2 11\r\nEND\r\n", "\"END\" is not a number", 3},
        {"not a finite number", "1 10\r\n2 inf\r\n", "\"inf\" is not a number", 2},
        {"binary bytes", std::string("1 \x01\xFF\x00z 5\r\n2 3\r\n", 14), "is not a number", 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const Read d = readText(c.text);
        EXPECT_FALSE(d.r);
        EXPECT_NE(d.r.error.find(c.says), std::string::npos) << d.r.error;
        EXPECT_NE(d.r.error.find("t.dat"), std::string::npos) << d.r.error;
        EXPECT_EQ(d.r.errorLine, c.line);
        EXPECT_EQ(d.points.size(), 1u) << "a refused table must not leave points behind";
    }
}

TEST(OriginFile, LimitsAreCheckedBeforeTheValuesAreRead) {
    OriginReadLimits limits;
    limits.maxColumns = 3;
    limits.maxValues = 8;
    EXPECT_TRUE(readText("1 1 2 3\n2 1 2 3\n", limits).r);
    const Read wide = readText("1 1 2 3 4\n2 1 2 3 4\n", limits);
    EXPECT_NE(wide.r.error.find("4 columns"), std::string::npos) << wide.r.error;
    const Read tall = readText("1 1 2\n2 1 2\n3 1 2\n4 1 2\n5 1 2\n", limits);
    EXPECT_NE(tall.r.error.find("more than 8 values"), std::string::npos) << tall.r.error;
    EXPECT_EQ(tall.points.size(), 1u);
    // A line without an end that runs past any sensible length is not a table.
    const Read endless = readText("1 2\n2 3\n" + std::string(9u << 20, '7'));
    EXPECT_NE(endless.r.error.find("longer than 8 MB"), std::string::npos) << endless.r.error;
}

// Scienta analyser files made byte by byte: both byte orders, the header block, the data marker,
// and every kind of header or size that must be refused instead of read.
#include "files/scienta_file.h"
#include "foreign_test_util.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

using namespace korvo;
using korvo::testing::ramp;
using korvo::testing::scientaBytes;
using korvo::testing::ScientaSpec;

TEST(ScientaFile, BothByteOrdersGiveTheSameSlices) {
    const std::vector<double> values = {1.5, -2.25, 1e-7, 3e15, 0, 7, 8, 9, 10, 123456.789};
    for (const bool bigEndian : {false, true}) {
        SCOPED_TRACE(bigEndian ? "big-endian" : "little-endian");
        ScientaSpec s;
        s.bigEndian = bigEndian;
        s.values = values;
        const ScientaReadResult r = readScientaBytes(scientaBytes(s), "a.pxt");
        ASSERT_TRUE(r) << r.error;
        const ScientaHeader& h = r.data.header;
        EXPECT_EQ(h.bigEndian, bigEndian);
        EXPECT_EQ(h.points, 5); // (10.4 - 10) / 0.1 + 1, a hair above 5
        EXPECT_EQ(h.slices, 2);
        EXPECT_EQ(h.dataOffset, 300u + 168u);
        EXPECT_EQ(r.data.values, values);
        EXPECT_EQ(scientaSliceText(r.data, 1), "10.0000000 1.5\r\n10.1000000 -2.25\r\n10.2000000 1E-7\r\n"
                                               "10.3000000 3E15\r\n10.4000000 0\r\n");
        EXPECT_EQ(scientaSliceText(r.data, 2), "10.0000000 7\r\n10.1000000 8\r\n10.2000000 9\r\n"
                                               "10.3000000 10\r\n10.4000000 123456.789\r\n");
        EXPECT_EQ(scientaSliceText(r.data, 3), ""); // no such slice
    }
}

TEST(ScientaFile, HeaderBlockVariants) {
    struct Case {
        const char* what;
        std::string beforeBlock, lineEnd, low, high, step;
        int points;
        double first;
    };
    const Case cases[] = {
        {"keys before the instrument line belong to something else", "Low Energy=999\rEnergy Step=5\r", "\r", "10",
         "10.4", "0.1", 5, 10},
        {"LF line ends", "", "\n", "10", "10.4", "0.1", 5, 10},
        {"blanks around a value", "", "\r", " 20.5 ", "21", "0.25", 3, 20.5},
        {"one point when low and high agree", "", "\r", "5", "5", "1", 1, 5},
        {"rounding to the nearest point count", "", "\r", "0", "0.96", "0.1", 11, 0},
        {"negative energies are energies", "", "\r", "-3", "-1", "0.5", 5, -3},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ScientaSpec s;
        s.beforeBlock = c.beforeBlock;
        s.lineEnd = c.lineEnd;
        s.low = c.low;
        s.high = c.high;
        s.step = c.step;
        s.slices = "1";
        s.values = ramp(static_cast<std::size_t>(c.points));
        const ScientaReadResult r = readScientaBytes(scientaBytes(s), "b.pxt");
        ASSERT_TRUE(r) << r.error;
        EXPECT_EQ(r.data.header.points, c.points);
        EXPECT_DOUBLE_EQ(r.data.header.lowEnergy, c.first);
    }
}

TEST(ScientaFile, OnlyTheTwoByteOrderMarksAreAccepted) {
    for (const std::string& order : {std::string("\3\1", 2), std::string("\0\0", 2), std::string("\1\0", 2),
                                    std::string("\0\3", 2), std::string("PK")}) {
        ScientaSpec s;
        s.order = order;
        s.values = ramp(10);
        const ScientaReadResult r = readScientaBytes(scientaBytes(s), "c.pxt");
        EXPECT_EQ(r.fault, ScientaFault::NotScienta);
        EXPECT_EQ(r.error, "Not Scienta-Format?");
    }
    for (const std::string& tiny : {std::string(), std::string("\3")})
        EXPECT_EQ(readScientaBytes(tiny, "t").fault, ScientaFault::NotScienta);
}

TEST(ScientaFile, TheMarkerMustLieWithinTheFirst60000Bytes) {
    struct Case {
        std::size_t markerAt;
        bool found;
    };
    // The whole marker has to fit: one that starts 8 bytes before the limit runs over it.
    for (const Case c : {Case{59991, true}, Case{59992, false}, Case{60000, false}, Case{70000, false},
                         Case{std::string::npos, false}, Case{2, true}}) {
        SCOPED_TRACE(c.markerAt);
        ScientaSpec s;
        s.markerAt = c.markerAt;
        s.values = ramp(10);
        const ScientaReadResult r = readScientaBytes(scientaBytes(s), "d.pxt");
        if (c.found) {
            ASSERT_TRUE(r) << r.error;
            EXPECT_EQ(r.data.header.dataOffset, c.markerAt + 168);
            EXPECT_EQ(r.data.values, ramp(10));
        } else {
            EXPECT_EQ(r.fault, ScientaFault::NoMarker);
            EXPECT_NE(r.error.find("60000"), std::string::npos) << r.error;
        }
    }
}

TEST(ScientaFile, AbsurdHeadersAreRefusedWithAReason) {
    struct Case {
        const char* what;
        std::string low, high, step, slices;
        ScientaFault fault;
        const char* says;
    };
    const Case cases[] = {
        {"a step of 0", "10", "11", "0", "1", ScientaFault::Header, "energy step is 0"},
        {"a negative step", "10", "11", "-0.1", "1", ScientaFault::Header, "energy step is -0.1"},
        {"a step that is no number", "10", "11", "nan", "1", ScientaFault::Header, "\"Energy Step\" is \"nan\""},
        {"an infinite energy", "10", "inf", "0.1", "1", ScientaFault::Header, "\"High Energy\""},
        {"a decimal comma", "10,5", "11", "0.1", "1", ScientaFault::Header, "\"Low Energy\" is \"10,5\""},
        {"high below low", "11", "10", "0.1", "1", ScientaFault::Header, "lies below"},
        {"no slices", "10", "11", "0.1", "0", ScientaFault::Header, "number of slices is 0"},
        {"negative slices", "10", "11", "0.1", "-4", ScientaFault::Header, "number of slices is -4"},
        {"slices beyond 32 bits", "10", "11", "0.1", "99999999999", ScientaFault::Header, "not an integer"},
        {"an empty value", "", "11", "0.1", "1", ScientaFault::Header, "\"Low Energy\" is \"\""},
        {"huge energies", "-1e308", "1e308", "1", "1", ScientaFault::TooLarge, "at most 1000000"},
        {"energies beyond the number range", "1.7e308", "1.79e308", "5.99e306", "1", ScientaFault::Header,
         "the energies of its 3 points run beyond the number range"},
        {"a tiny step", "0", "1", "1e-300", "1", ScientaFault::TooLarge, "at most 1000000"},
        {"one value more than allowed", "0", "100", "1", "9901", ScientaFault::TooLarge,
         "1000001 values (101 points x 9901 slices)"},
        {"slices alone too many", "0", "0", "1", "1000001", ScientaFault::TooLarge, "at most 1000000"},
        {"more values than the file holds", "10", "10.4", "0.1", "30", ScientaFault::Truncated,
         "promises 150 values"},
        {"values that would run into the text block", "10", "10.4", "0.1", "3", ScientaFault::Truncated,
         "promises 15 values (5 points x 3 slices), the file holds 10 between"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ScientaSpec s;
        s.low = c.low;
        s.high = c.high;
        s.step = c.step;
        s.slices = c.slices;
        s.values = ramp(10);
        const ScientaReadResult r = readScientaBytes(scientaBytes(s), "e.pxt");
        EXPECT_EQ(r.fault, c.fault);
        EXPECT_NE(r.error.find(c.says), std::string::npos) << r.error;
        EXPECT_NE(r.error.find("e.pxt"), std::string::npos) << r.error;
        EXPECT_TRUE(r.data.values.empty());
    }
}

TEST(ScientaFile, MissingKeysAndDamagedValues) {
    ScientaSpec s;
    s.values = ramp(10);
    std::string bytes = scientaBytes(s);
    for (const std::string key : {"Low Energy", "High Energy", "Energy Step", "Number of Slices"}) {
        std::string damaged = bytes;
        damaged.replace(damaged.find(key), key.size(), std::string(key.size(), 'x'));
        const ScientaReadResult r = readScientaBytes(damaged, "f.pxt");
        EXPECT_EQ(r.fault, ScientaFault::Header) << key;
        EXPECT_NE(r.error.find("no \"" + key + "\""), std::string::npos) << r.error;
    }
    // A value in the data that is not a number: the file is damaged, not a spectrum of NaNs.
    s.values[6] = std::numeric_limits<double>::quiet_NaN();
    const ScientaReadResult nan = readScientaBytes(scientaBytes(s), "g.pxt");
    EXPECT_EQ(nan.fault, ScientaFault::BadValue);
    EXPECT_NE(nan.error.find("point 2 of slice 2"), std::string::npos) << nan.error;
}

TEST(ScientaFile, TheLargestFileThatIsAllowedIsRead) {
    ScientaSpec s;
    s.low = "0";
    s.high = "999";
    s.step = "1";
    s.slices = "1000";
    s.bigEndian = true;
    s.values = ramp(1'000'000);
    const ScientaReadResult r = readScientaBytes(scientaBytes(s), "h.pxt");
    ASSERT_TRUE(r) << r.error;
    EXPECT_EQ(r.data.values.size(), 1'000'000u);
    EXPECT_EQ(r.data.values.back(), 1'000'000.0);
}

TEST(ScientaFile, FilesOnDiskAndThingsThatAreNotFiles) {
    korvo::testing::TempDir dir;
    ScientaSpec s;
    s.values = ramp(10);
    korvo::testing::writeBytes(dir.file("ok.pxt"), scientaBytes(s));
    const ScientaReadResult ok = readScientaFile(dir.file("ok.pxt"));
    ASSERT_TRUE(ok) << ok.error;
    EXPECT_EQ(ok.data.values, ramp(10));

    EXPECT_EQ(readScientaFile(dir.file("missing.pxt")).fault, ScientaFault::ReadError);
    const ScientaReadResult directory = readScientaFile(dir.path.string());
    EXPECT_EQ(directory.fault, ScientaFault::ReadError);
    EXPECT_NE(directory.error.find("directory"), std::string::npos) << directory.error;
}

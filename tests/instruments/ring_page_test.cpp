#include "instruments/ring_current/ring_page.h"

#include <gtest/gtest.h>

#include <string>

namespace korvo {
namespace {

using Kind = RingBlockReading::Kind;

struct BlockCase {
    const char* what;
    std::string block;
    RingMarkers markers;
    Kind kind;
    double value = 0.0;
};

TEST(RingPage, BlocksGiveTheNumberBetweenTheMarkers) {
    const RingMarkers std;
    const BlockCase cases[] = {
        {"the status page's line", "<td>... Beam Current: 250.3 mA ...</td>", std, Kind::Value, 250.3},
        {"no number", "Beam Current ??? mA", std, Kind::NotANumber},
        {"end marker only before the start marker", "250.3 mA, Beam Current: -", std, Kind::NoMarkers},
        {"the end marker is searched from the start marker on", "mA | Beam Current: 251.5 mA", std, Kind::Value,
         251.5},
        {"no start marker", "Ring: 250.3 mA", std, Kind::NoMarkers},
        {"no end marker", "Beam Current: 250.3", std, Kind::NoMarkers},
        {"the first start marker counts", "Beam Current: 250.3 mA Beam Current: 99 mA", std, Kind::Value, 250.3},
        // Twelve characters are skipped from the start marker's first character, whatever its length.
        {"short marker, skip lands in the number", "Strom:  123.4 mA", {"Strom", "mA"}, Kind::Value, 4.0},
        {"short marker, page padded for the skip", "I=          99.5 mA", {"I=", "mA"}, Kind::Value, 99.5},
        {"skip swallows the end marker", "Beam 5 mA", {"Beam", "mA"}, Kind::NotANumber},
        {"long marker, its tail is dropped", "Storage Ring Current: 180.0 mA", {"Storage Ring Current", "mA"},
         Kind::Value, 180.0},
        {"long marker, the digit in its tail is read", "Beam Current L2: 180.0 mA", {"Beam Current L2", "mA"},
         Kind::NotANumber},
        {"empty once trimmed", "Beam Current:      mA", std, Kind::NotANumber},
        {"the end marker right after the start marker", "Beam CurrentmA", std, Kind::NotANumber},
        {"a point alone", "Beam Current: . mA", std, Kind::NotANumber},
        {"comma separator", "Beam Current: 250,3 mA", std, Kind::NotANumber},
        {"exponent", "Beam Current: 2.5E2 mA", std, Kind::Value, 250.0},
        {"the sign is not a number's first character", "Beam Current: -12.5 mA", std, Kind::Value, 12.5},
        {"line breaks around the number", "Beam Current:\r\n 250.3\r\n mA", std, Kind::Value, 250.3},
        {"end marker that begins the start marker", "mA value 5 mA", {"mA value", "mA"}, Kind::NoMarkers},
        {"empty start marker", "Beam Current: 250.3 mA", {"", "mA"}, Kind::NoMarkers},
        {"empty end marker", "Beam Current: 250.3 mA", {"Beam Current", ""}, Kind::NoMarkers},
        {"empty block", "", std, Kind::NoMarkers},
        {"bytes of every kind around it",
         std::string("\0\xff\x01", 3) + "Beam Current:" + std::string(1, '\0') + " 7.5 mA\xfe", std, Kind::Value,
         7.5},
    };
    for (const BlockCase& c : cases) {
        const RingBlockReading r = parseRingBlock(c.block, c.markers);
        EXPECT_EQ(r.kind, c.kind) << c.what;
        if (c.kind == Kind::Value) {
            EXPECT_DOUBLE_EQ(r.value, c.value) << c.what;
        }
    }
}

TEST(RingPage, NumberTextIsBoundedAfterTheMarker) {
    // Only 1000 characters after the skip are looked at: a number behind a long filler is cut off.
    const std::string filler(1000, ' ');
    EXPECT_EQ(parseRingBlock("Beam Current" + std::string(988, ' ') + "42 mA", {}).kind, Kind::Value);
    EXPECT_EQ(parseRingBlock("Beam Current" + filler + "42 mA", {}).kind, Kind::NotANumber);
}

TEST(RingPage, ReadingsShowOneDecimalAndTheUnit) {
    EXPECT_EQ(formatRingCurrent(250.3), "250.3 mA");
    EXPECT_EQ(formatRingCurrent(250.0), "250.0 mA");
    EXPECT_EQ(formatRingCurrent(0.04), "0.0 mA");
    EXPECT_EQ(formatRingCurrent(99.96), "100.0 mA");
}

std::string blockWith(const std::string& text, std::size_t at = 100) {
    std::string block(RingPageScan::kBlockBytes, '-');
    block.replace(at, text.size(), text);
    return block;
}

TEST(RingPageScan, EachBlockIsSearchedOnItsOwnAndTheLastOneWins) {
    {
        // The markers straddle the boundary of the first two blocks: neither block holds them.
        std::string page = blockWith("", 0) + blockWith("", 0);
        page.replace(RingPageScan::kBlockBytes - 8, 22, "Beam Current: 250.3 mA");
        RingPageScan scan({});
        scan.feed(page);
        scan.finish();
        EXPECT_FALSE(scan.value());
        EXPECT_FALSE(scan.mainLabel());
    }
    {
        RingPageScan scan({});
        scan.feed(blockWith("Beam Current: 100.0 mA") + blockWith("nothing") + blockWith("Beam Current: 180.5 mA"));
        scan.finish();
        EXPECT_EQ(scan.value(), 180.5);
        EXPECT_EQ(scan.mainLabel(), "180.5 mA");
    }
    {
        // A later block with the markers but no number leaves the value, and the main label says so.
        RingPageScan scan({});
        scan.feed(blockWith("Beam Current: 250.3 mA") + "Beam Current ??? mA");
        scan.finish();
        EXPECT_EQ(scan.value(), 250.3);
        EXPECT_EQ(scan.mainLabel(), kRingUnknown);
    }
}

TEST(RingPageScan, BlockBoundariesDoNotDependOnHowThePageArrives) {
    // The network hands the page over in pieces of any size; blocks are cut from the page itself.
    std::string page = blockWith("Beam Current: 1.0 mA") + blockWith("Beam Current: 2.0 mA");
    page.append(RingPageScan::kBlockBytes - 10, '-');
    page += "Beam Current: 3.0 mA"; // straddles the third boundary: never seen
    page += "Beam Current: 4.0 mA"; // inside the last, short block: seen at finish()
    for (std::size_t piece : {std::size_t(1), std::size_t(7777), std::size_t(10000), std::size_t(16384), page.size()}) {
        RingPageScan scan({});
        for (std::size_t at = 0; at < page.size(); at += piece) scan.feed(std::string_view(page).substr(at, piece));
        EXPECT_EQ(scan.bytes(), page.size());
        EXPECT_EQ(scan.value(), 2.0) << "the short block waits for the end of the page";
        scan.finish();
        EXPECT_EQ(scan.value(), 4.0) << piece;
    }
}

} // namespace
} // namespace korvo

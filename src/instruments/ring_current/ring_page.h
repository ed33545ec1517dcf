#pragma once
// The storage ring's status page and what it gives: the current cut out between two markers, block
// by block, and the two labels that show it (the options window's beam page and the main window).
// No network here: the fetch hands the page over in blocks as it arrives.
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace korvo {

inline constexpr const char* kRingReading = "------- mA"; // a read has started
inline constexpr const char* kRingNoData = "No Data!";     // the read gave no value
inline constexpr const char* kRingUnknown = "??? mA";      // the markers held no number

// The beam page's address box at its default: the status page of the storage ring is site
// configuration; this is where an installation's own relay of it is expected.
inline constexpr const char* kDefaultRingAddress = "http://localhost:8080/";

// The beam page's marker boxes.
struct RingMarkers {
    std::string start = "Beam Current";
    std::string end = "mA";
};

// What the windows show. `currentLabel` is the beam page's label, `mainLabel` the main window's
// ring-current label, shown only while the poll is on.
struct RingDisplay {
    std::string currentLabel = kRingReading;
    std::string mainLabel;
    bool mainLabelVisible = false;
};

// What one block of page text holds.
struct RingBlockReading {
    enum class Kind {
        NoMarkers,  // a marker is missing, or the end marker comes first: the block is ignored
        NotANumber, // the markers are there, the text between them is no number: "??? mA"
        Value,
    };
    Kind kind = Kind::NoMarkers;
    double value = 0.0; // mA, for Kind::Value
};

// The number the page gives for one block, searched on its own. The start marker's first occurrence
// starts the text; it must come before the end marker's first occurrence from there. The number is
// what follows the start marker: characters are dropped up to the first digit, "." or "?" (or a sign
// right before a digit or point), and the text is cut before the end marker. Empty markers are never
// found.
RingBlockReading parseRingBlock(std::string_view block, const RingMarkers& markers);

// "250.3 mA": one decimal and the unit, as both labels show a reading.
std::string formatRingCurrent(double mA);

// A whole page, fed as it arrives and cut into blocks of kBlockBytes that are each searched on
// their own, as the page was always read: a number split across two blocks is not seen, and when
// several blocks hold the markers the last one wins. Only one block is ever held.
class RingPageScan {
public:
    static constexpr std::size_t kBlockBytes = 10000;

    explicit RingPageScan(RingMarkers markers);
    void feed(std::string_view bytes);
    // The bytes after the last whole block form the last block. Call once, at the end of the page.
    void finish();

    // The last value found; none when no block held a number.
    std::optional<double> value() const { return value_; }
    // The last text the main window's label received (a value or "??? mA"); none when no block held
    // both markers.
    const std::optional<std::string>& mainLabel() const { return mainLabel_; }
    std::size_t bytes() const { return bytes_; }

private:
    void parseBlock(std::string_view block);

    RingMarkers markers_;
    std::string pending_;
    std::size_t bytes_ = 0;
    std::optional<double> value_;
    std::optional<std::string> mainLabel_;
};

} // namespace korvo

#include "instruments/ring_current/ring_page.h"

#include "common/number_text.h"

#include <algorithm>

namespace korvo {

namespace {

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

// Where the number may begin; "?" lets a page's "???" through to the conversion, which refuses it.
// A sign counts only right before a digit or a point, so that "Current - 250 mA" still reads 250.
bool mayStartNumber(std::string_view text) {
    const char c = text.front();
    if (isDigit(c) || c == '.' || c == '?') return true;
    return (c == '-' || c == '+') && text.size() > 1 && (isDigit(text[1]) || text[1] == '.');
}

constexpr std::size_t kMaxFromMarker = 32000;
constexpr std::size_t kMaxNumberText = 1000;

} // namespace

RingBlockReading parseRingBlock(std::string_view block, const RingMarkers& markers) {
    using Kind = RingBlockReading::Kind;
    const std::string_view startMarker = markers.start;
    const std::string_view endMarker = markers.end;
    if (startMarker.empty() || endMarker.empty()) return {};

    std::string_view text = block;
    const std::size_t start = text.find(startMarker);
    if (start == std::string_view::npos) return {};
    text = text.substr(start, kMaxFromMarker);
    // The start marker now opens the text; an end marker that opens it too (a marker that begins
    // with the other) does not come after it.
    const std::size_t end = text.find(endMarker);
    if (end == std::string_view::npos || end == 0) return {};

    std::string_view number = text.substr(std::min(startMarker.size(), text.size()), kMaxNumberText);
    while (!number.empty() && !mayStartNumber(number) && number != endMarker) number.remove_prefix(1);
    if (number != endMarker) {
        const std::size_t cut = number.find(endMarker);
        number = cut == std::string_view::npos ? std::string_view{} : number.substr(0, cut);
    }
    while (!number.empty() && number.back() == ' ') number.remove_suffix(1);

    const auto parsed = text::parseDouble(number);
    if (!parsed) return {Kind::NotANumber, 0.0};
    return {Kind::Value, *parsed};
}

std::string formatRingCurrent(double mA) {
    return text::formatPattern(mA, "0.0") + " mA";
}

RingPageScan::RingPageScan(RingMarkers markers) : markers_(std::move(markers)) {
    pending_.reserve(kBlockBytes);
}

void RingPageScan::feed(std::string_view bytes) {
    bytes_ += bytes.size();
    while (!bytes.empty()) {
        if (pending_.empty() && bytes.size() >= kBlockBytes) {
            parseBlock(bytes.substr(0, kBlockBytes));
            bytes.remove_prefix(kBlockBytes);
            continue;
        }
        const std::size_t take = std::min(kBlockBytes - pending_.size(), bytes.size());
        pending_.append(bytes.substr(0, take));
        bytes.remove_prefix(take);
        if (pending_.size() == kBlockBytes) {
            parseBlock(pending_);
            pending_.clear();
        }
    }
}

void RingPageScan::finish() {
    if (!pending_.empty()) parseBlock(pending_);
    pending_.clear();
}

void RingPageScan::parseBlock(std::string_view block) {
    const RingBlockReading r = parseRingBlock(block, markers_);
    switch (r.kind) {
    case RingBlockReading::Kind::Value:
        value_ = r.value;
        mainLabel_ = formatRingCurrent(r.value);
        break;
    case RingBlockReading::Kind::NotANumber:
        mainLabel_ = kRingUnknown;
        break;
    case RingBlockReading::Kind::NoMarkers:
        break;
    }
}

} // namespace korvo

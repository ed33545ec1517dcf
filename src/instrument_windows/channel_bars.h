#pragma once
// The multichanneltron setup's live bars and sensitivity calibration as numbers, apart from any
// widget: what one counted point draws into the view box and what a calibration point makes of the
// channeltrons' sensitivities.
#include "acquisition/instrument_display.h"

#include <array>
#include <string>

namespace korvo {

// The view box is as high as the bars need: the tallest bar reaches from y = 4 to y = 106.
inline constexpr int kChannelViewHeight = 110;

// Pixels left .. right - 1 and top .. bottom - 1, as the view box has always filled its bars.
struct BarRect {
    int left = 0, top = 0, right = 0, bottom = 0;
};

struct ChannelBars {
    std::string maximum;                 // the largest bar value, "0000000"
    std::array<BarRect, 9> bars;         // channeltrons 1..9 at index 0..8
    std::array<std::string, 9> percents; // raw counts against the largest raw count, "000.00"
};

// v = enabled counts x sensitivity; m = the largest of 1 and the v, rounded. Channeltron c gets a
// bar from x = 16c - 13 to 16c + 2 and from y = 104 - round(100 v / m) to 107, so a channeltron that
// counted nothing (or is switched off) keeps only the 3-pixel foot every bar stands on. The
// percentages use the raw counts: a switched-off channeltron still shows what it saw.
ChannelBars channelBars(const ChannelCounts& counts, const std::array<double, 9>& sensitivity);

// The percentage list as the view's label carries it: one line per channeltron, each ended by "\r".
std::string percentList(const ChannelBars& bars);

// Sensitivities that bring every channeltron up to the one that counted most: with m the largest
// of 1 and the counts, channeltron k gets m / (counts k + 1); one that counted nothing gets m.
std::array<double, 9> sensitivitiesFromCounts(const std::array<double, 9>& counts);

} // namespace korvo

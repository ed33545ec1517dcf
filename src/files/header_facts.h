#pragma once
// The values of a spectrum file's header lines ("PassEn:20.000", "Date:  07.12.2026 14:03:09",
// "Energy Channeltron_3...-1.2500 eV"), read by label, for the formats that state them as numbers.
#include <array>
#include <cstdint>
#include <ctime>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace korvo {

// A date and time as a header writes it, in the local time of the writing machine.
struct HeaderDate {
    int year = 0, month = 0, day = 0;
    int hour = 0, minute = 0, second = 0;
};

// "Date:  07.12.2026 14:03:09" as the spectrum file writes it (older files: a two-digit year, no
// seconds, no time at midnight); nothing when the text after the colon holds no such date.
std::optional<HeaderDate> headerDate(std::string_view dateText);
// The moment of a header date in this machine's time zone, when it is one.
std::optional<std::time_t> headerMoment(const HeaderDate& d);

struct HeaderFacts {
    std::string user, comment, sample, fileName, kind; // after "USER_ID: ", "Comment: ", ...
    bool hasUser = false;
    std::uint8_t machineMode = 0; // "Fileform:"; 0 when there is none (see headerMachineMode)
    std::optional<HeaderDate> date;
    std::optional<double> measTimeMs, passEnergy, analyserStart, analyserEnd;
    std::optional<double> photonEnergy, photonStart, photonEnd, fixedAnalyserEnergy, scalingFactor;
    std::optional<std::int64_t> scans, points;
    std::optional<std::array<double, 9>> channelOffsets; // only when all nine lines are there
};

// The values of the lines that start with Korvo's labels; a line that does not, or whose number
// cannot be read, leaves its value unset. A later line of a label replaces an earlier one.
HeaderFacts headerFacts(const std::vector<std::string>& lines);

// The text after the first ":" of a header line, blanks and TABs at both ends removed.
std::string_view headerValue(std::string_view line);

} // namespace korvo

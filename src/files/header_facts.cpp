#include "files/header_facts.h"

#include "common/number_text.h"
#include "files/spectrum_table.h"

#include <cmath>

namespace korvo {
namespace {

bool isHeaderBlank(char c) {
    return c == ' ' || c == '\t';
}

std::string_view trimmedValue(std::string_view s) {
    while (!s.empty() && isHeaderBlank(s.front())) s.remove_prefix(1);
    while (!s.empty() && isHeaderBlank(s.back())) s.remove_suffix(1);
    return s;
}

// The first word of `s` as a finite number.
std::optional<double> firstNumber(std::string_view s) {
    s = trimmedValue(s);
    const std::size_t blank = s.find_first_of(" \t");
    const auto v = text::parseDouble(s.substr(0, blank));
    if (!v || !std::isfinite(*v)) return std::nullopt;
    return *v;
}

bool dateDigitsAt(std::string_view s, std::size_t& pos, int& value, std::size_t maxDigits) {
    const std::size_t start = pos;
    value = 0;
    while (pos < s.size() && pos - start < maxDigits && s[pos] >= '0' && s[pos] <= '9') value = value * 10 + (s[pos++] - '0');
    return pos > start;
}

bool hasLabel(std::string_view line, std::string_view label) {
    return line.substr(0, label.size()) == label;
}

} // namespace

std::string_view headerValue(std::string_view line) {
    const std::size_t colon = line.find(':');
    return trimmedValue(colon == std::string_view::npos ? line : line.substr(colon + 1));
}

std::optional<HeaderDate> headerDate(std::string_view dateText) {
    const std::string_view s = headerValue(dateText);
    std::size_t pos = 0;
    HeaderDate d;
    if (!dateDigitsAt(s, pos, d.day, 2) || pos >= s.size() || s[pos++] != '.') return std::nullopt;
    if (!dateDigitsAt(s, pos, d.month, 2) || pos >= s.size() || s[pos++] != '.') return std::nullopt;
    const std::size_t yearStart = pos;
    if (!dateDigitsAt(s, pos, d.year, 4)) return std::nullopt;
    if (pos - yearStart == 2) d.year += d.year < 70 ? 2000 : 1900;
    if (d.day < 1 || d.day > 31 || d.month < 1 || d.month > 12) return std::nullopt;
    while (pos < s.size() && s[pos] == ' ') ++pos;
    int hour = 0, minute = 0, second = 0;
    if (!dateDigitsAt(s, pos, hour, 2) || pos >= s.size() || s[pos++] != ':' || !dateDigitsAt(s, pos, minute, 2)) return d;
    if (pos < s.size() && s[pos] == ':') {
        ++pos;
        dateDigitsAt(s, pos, second, 2);
    }
    if (hour < 24 && minute < 60 && second < 61) {
        d.hour = hour;
        d.minute = minute;
        d.second = second;
    }
    return d;
}

std::optional<std::time_t> headerMoment(const HeaderDate& d) {
    std::tm tm{};
    tm.tm_year = d.year - 1900;
    tm.tm_mon = d.month - 1;
    tm.tm_mday = d.day;
    tm.tm_hour = d.hour;
    tm.tm_min = d.minute;
    tm.tm_sec = d.second;
    tm.tm_isdst = -1;
    const std::time_t t = std::mktime(&tm);
    if (t == std::time_t(-1)) return std::nullopt;
    return t;
}

HeaderFacts headerFacts(const std::vector<std::string>& lines) {
    HeaderFacts f;
    f.machineMode = headerMachineMode(lines);
    std::array<std::optional<double>, 9> offsets;
    const auto number = [](std::optional<double>& field, std::string_view line) {
        if (auto v = firstNumber(headerValue(line))) field = v;
    };
    for (const std::string& text : lines) {
        const std::string_view line = text;
        if (hasLabel(line, "USER_ID:")) {
            f.user = std::string(headerValue(line));
            f.hasUser = true;
        } else if (hasLabel(line, "Comment:")) {
            f.comment = std::string(headerValue(line));
        } else if (hasLabel(line, "Probe:")) {
            f.sample = std::string(headerValue(line));
        } else if (hasLabel(line, "FileName:")) {
            f.fileName = std::string(headerValue(line));
        } else if (hasLabel(line, "MeasTyp:")) {
            f.kind = std::string(headerValue(line));
        } else if (hasLabel(line, "Date")) {
            if (auto d = headerDate(line)) f.date = d;
        } else if (hasLabel(line, "MeasTime:")) {
            number(f.measTimeMs, line);
        } else if (hasLabel(line, "Scans:") || hasLabel(line, "Points:")) {
            std::optional<double> v;
            number(v, line);
            if (v && *v >= 0 && *v < 1e15 && *v == std::floor(*v))
                (line[0] == 'S' ? f.scans : f.points) = static_cast<std::int64_t>(*v);
        } else if (hasLabel(line, "PassEn:")) {
            number(f.passEnergy, line);
        } else if (hasLabel(line, "AnaSta:")) {
            number(f.analyserStart, line);
        } else if (hasLabel(line, "AnaEnd:")) {
            number(f.analyserEnd, line);
        } else if (hasLabel(line, "PhotEn:")) {
            number(f.photonEnergy, line);
        } else if (hasLabel(line, "Phot.Start:")) {
            number(f.photonStart, line);
        } else if (hasLabel(line, "Phot.End:")) {
            number(f.photonEnd, line);
        } else if (hasLabel(line, "Fix. Analyser Energy:")) {
            number(f.fixedAnalyserEnergy, line);
        } else if (hasLabel(line, "Scaling Factor:")) {
            number(f.scalingFactor, line);
        } else if (hasLabel(line, "Energy Channeltron_") && line.size() > 20 && line[19] >= '1' && line[19] <= '9') {
            const std::size_t dots = line.find("...");
            if (dots != std::string_view::npos)
                if (auto v = firstNumber(line.substr(dots + 3))) offsets[std::size_t(line[19] - '1')] = v;
        }
    }
    std::array<double, 9> all{};
    for (std::size_t c = 0; c < 9; ++c) {
        if (!offsets[c]) return f;
        all[c] = *offsets[c];
    }
    f.channelOffsets = all;
    return f;
}

} // namespace korvo

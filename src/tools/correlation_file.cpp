#include "tools/correlation_file.h"

#include "common/file_util.h"
#include "common/number_text.h"
#include "files/line_reader.h"
#include "files/row_tokens.h"
#include "files/spectrum_reader.h"

#include <cmath>

namespace korvo {
namespace {

// A written row is a few hundred bytes; a file of one endless line is refused after a bounded read.
constexpr std::size_t kMaxLineBytes = std::size_t(1) << 20;
// Counts beyond this are no counts; it also keeps every sum of products far from overflowing.
constexpr double kMaxCount = 1e12;

ChanneltronSpectrumRead refuse(std::string_view name, const std::string& why, int line = 0) {
    ChanneltronSpectrumRead r;
    r.error = "Cannot correlate " + std::string(name) + ": " + why;
    if (line > 0) r.error += " (line " + std::to_string(line) + ")";
    r.error += ".";
    return r;
}

} // namespace

ChanneltronSpectrumRead readChanneltronSpectrumText(std::string_view bytes, std::string_view name) {
    MemoryByteSource source(bytes);
    LineReader lines(source, kMaxLineBytes, true);
    std::string_view line;
    bool tooLong = false;
    const auto nextLine = [&] {
        const LineReader::Status s = lines.next(line);
        tooLong = s == LineReader::Status::TooLong;
        return s == LineReader::Status::Line;
    };

    ChanneltronSpectrumRead r;
    ChanneltronSpectrum& f = r.spectrum;
    for (const std::string_view key : {"Points:", "PassEn:", "AnaSta:", "AnaEnd:", "BEGIN:"}) {
        std::size_t at = std::string_view::npos;
        while (at == std::string_view::npos && nextLine()) at = line.find(key);
        if (tooLong)
            return refuse(name, "a line is longer than " + std::to_string(kMaxLineBytes) + " bytes",
                          lines.lineNumber());
        if (at == std::string_view::npos)
            return refuse(name, "no \"" + std::string(key) + "\" line where the header should have one");
        const std::string_view rest = line.substr(at + key.size());
        if (key == "BEGIN:") break;
        if (key == "Points:") {
            const auto v = text::parseInt(rest);
            if (!v)
                return refuse(name, "\"Points:\" is followed by " + quotedToken(rest) + ", not a number",
                              lines.lineNumber());
            f.points = *v;
            continue;
        }
        const auto v = text::parseDouble(rest);
        if (!v)
            return refuse(
                name, "\"" + std::string(key) + "\" is followed by " + quotedToken(rest) + ", not a number",
                lines.lineNumber());
        (key == "PassEn:" ? f.passEnergy : key == "AnaSta:" ? f.anaStart : f.anaEnd) = *v;
    }
    // Both divide the shifts: a file with either of them 0 cannot give offsets.
    if (f.points <= 0)
        return refuse(name, "the header states " + std::to_string(f.points) + " points per scan");
    if (!(f.passEnergy > 0))
        return refuse(name, "the header states a pass energy of " + text::plainNumber(f.passEnergy));

    while (nextLine()) {
        std::size_t pos = 0;
        const std::string_view first = nextRowToken(line, pos);
        if (first.empty()) continue; // a blank line carries no row
        const auto energy = text::parseDouble(first);
        if (!energy) {
            if (line.find("END") != std::string_view::npos) break;
            return refuse(name, quotedToken(first) + " is not an energy", lines.lineNumber());
        }
        if (*energy < f.anaStart || *energy > f.anaEnd) continue;
        if (f.rows() == kCorrelationMaxRows)
            return refuse(name, "it has more than " + std::to_string(kCorrelationMaxRows) +
                                    " rows between AnaSta and AnaEnd, the most the correlation holds");
        nextRowToken(line, pos); // the summed count of all channeltrons
        for (int c = 0; c < kChanneltrons; ++c) {
            const std::string_view t = nextRowToken(line, pos);
            if (t.empty())
                return refuse(
                    name,
                    "the row has " + std::to_string(c) +
                        " channeltron counts, nine expected (was the file saved without its raw data?)",
                    lines.lineNumber());
            const auto v = text::parseDouble(t);
            if (!v || std::fabs(*v) > kMaxCount)
                return refuse(name, quotedToken(t) + " is not a count", lines.lineNumber());
            f.counts[c].push_back(text::roundHalfEven(*v));
        }
    }
    if (tooLong)
        return refuse(name, "a line is longer than " + std::to_string(kMaxLineBytes) + " bytes",
                      lines.lineNumber());
    if (!lines.error().empty()) return refuse(name, lines.error());
    if (f.rows() == 0)
        return refuse(name, "no data row lies between AnaSta " + text::plainNumber(f.anaStart) +
                                " and AnaEnd " + text::plainNumber(f.anaEnd));
    return r;
}

ChanneltronSpectrumRead readChanneltronSpectrumFile(const std::string& path) {
    const std::string name = fileNameWithoutDirectory(path);
    std::string error;
    const auto bytes = readFile(path, &error, kCorrelationMaxFileBytes);
    if (!bytes) return refuse(name, error);
    return readChanneltronSpectrumText(*bytes, name);
}

} // namespace korvo

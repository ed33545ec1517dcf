#include "files/multichanneltron.h"

#include "common/file_util.h"
#include "common/number_text.h"
#include "common/text_codec.h"
#include "files/line_reader.h"
#include "files/row_tokens.h"
#include "files/spectrum_reader.h"

#include <algorithm>
#include <charconv>

namespace korvo {
namespace {

// ChannelLines of bytes in memory: CR LF, LF or a lone CR; a line end at the very end starts no further line.
class ChannelLines {
public:
    explicit ChannelLines(std::string_view bytes) : source_(bytes), reader_(source_, bytes.size(), false) {}
    bool next(std::string_view& line) { return reader_.next(line) == LineReader::Status::Line; }
    int number() const { return reader_.lineNumber(); }

private:
    MemoryByteSource source_;
    LineReader reader_;
};

bool contains(std::string_view line, std::string_view key) {
    return line.find(key) != std::string_view::npos;
}

// The line without its first `n` characters: the key is meant to open the line, and what follows it
// is the value, whatever the line holds.
std::string_view dropCharacters(std::string_view line, std::size_t n) {
    if (!isValidUtf8(line)) return line.substr(std::min(n, line.size()));
    std::size_t i = 0;
    for (; n > 0 && i < line.size(); --n) {
        ++i;
        while (i < line.size() && (static_cast<unsigned char>(line[i]) & 0xC0) == 0x80) ++i;
    }
    return line.substr(i);
}

std::string asText(std::string_view bytes) {
    return isValidUtf8(bytes) ? std::string(bytes) : windows1252ToUtf8(bytes);
}

std::optional<std::int64_t> readCount(std::string_view token) {
    if (!token.empty() && token[0] == '+') token.remove_prefix(1);
    std::int64_t v = 0;
    const auto r = std::from_chars(token.data(), token.data() + token.size(), v);
    if (r.ec != std::errc() || r.ptr != token.data() + token.size() || token.empty()) return std::nullopt;
    return v;
}

MultichanneltronReadResult fail(MultichanneltronFault fault, std::string_view name, const std::string& why,
                                int line) {
    MultichanneltronReadResult r;
    r.fault = fault;
    r.errorLine = line;
    if (fault == MultichanneltronFault::NoChanneltrons) {
        r.error = std::string(kNoChanneltrons);
        return r;
    }
    r.error = "Cannot convert " + std::string(name) + ": " + why;
    if (line > 0) r.error += " (line " + std::to_string(line) + ")";
    r.error += ".";
    return r;
}

std::string nameOf(const std::string& path) {
    const std::size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

} // namespace

MultichanneltronReadResult readMultichanneltronText(std::string_view bytes, std::string_view name) {
    // Only a file that states the offsets of all nine channeltrons was measured with them.
    {
        ChannelLines lines(bytes);
        std::string_view line;
        bool found = false;
        while (!found && lines.next(line)) found = contains(line, "Energy Channeltron_9");
        if (!found) return fail(MultichanneltronFault::NoChanneltrons, name, "", 0);
    }
    MultichanneltronReadResult r;
    MultichanneltronFile& f = r.file;
    ChannelLines lines(bytes);
    std::string_view line;
    const auto value = [&](std::string_view key, std::string_view& rest) {
        while (lines.next(line))
            if (contains(line, key)) {
                rest = dropCharacters(line, key.size());
                return true;
            }
        return false;
    };
    const char* const keys[] = {"Comment:", "Probe:",  "Date:",   "Scans:", "Points:",
                                "PassEn:",  "AnaSta:", "AnaEnd:", "BEGIN:"};
    for (const char* key : keys) {
        std::string_view rest;
        if (!value(key, rest))
            return fail(MultichanneltronFault::Header, name,
                        std::string("no \"") + key + "\" line where the header should have one", 0);
        const std::string_view k(key);
        bool ok = true;
        if (k == "Comment:") f.comment = asText(rest);
        else if (k == "Probe:") f.sample = asText(rest);
        else if (k == "Date:") f.date = asText(rest);
        else if (k == "Scans:" || k == "Points:") {
            const auto v = text::parseInt(rest);
            ok = v.value.has_value();
            (k == "Scans:" ? f.scans : f.points) = ok ? *v : 0;
        } else if (k != "BEGIN:") {
            const auto v = text::parseDouble(rest);
            ok = v.value.has_value();
            (k == "PassEn:" ? f.passEnergy : k == "AnaSta:" ? f.lower : f.upper) = ok ? *v : 0;
        }
        if (!ok)
            return fail(MultichanneltronFault::Header, name,
                        std::string("\"") + key + "\" is followed by " + quotedToken(rest) + ", not a number", lines.number());
    }

    f.minimum.fill(0);
    f.maximum.fill(0);
    while (lines.next(line)) {
        std::size_t pos = 0;
        const std::string_view xText = nextRowToken(line, pos);
        if (xText.empty()) continue; // a blank line carries no point
        const auto x = text::parseDouble(xText);
        if (!x) {
            if (contains(line, "END")) break;
            return fail(MultichanneltronFault::Data, name, quotedToken(xText) + " is not an energy", lines.number());
        }
        if (*x >= f.lower && *x <= f.upper) {
            if (f.x.size() == kMultichanneltronMaxPoints)
                return fail(MultichanneltronFault::TooManyPoints, name,
                            "it has more than " + std::to_string(kMultichanneltronMaxPoints) +
                                " points between AnaSta and AnaEnd, the most a conversion holds; nothing was written",
                            lines.number());
            const bool first = f.x.empty();
            f.x.push_back(*x);
            for (std::size_t c = 0; c < kMultichanneltronColumns; ++c) {
                const std::string_view t = nextRowToken(line, pos);
                const auto count = readCount(t);
                if (!count)
                    return fail(MultichanneltronFault::Data, name,
                                t.empty() ? "the row has " + std::to_string(c) +
                                                " counts, ten expected (was the file saved without its raw data?)"
                                          : quotedToken(t) + " is not a count",
                                lines.number());
                f.counts[c].push_back(*count);
                f.minimum[c] = first ? *count : std::min(f.minimum[c], *count);
                f.maximum[c] = first ? *count : std::max(f.maximum[c], *count);
            }
        }
        if (*x >= f.upper) break;
    }
    if (f.x.empty())
        return fail(MultichanneltronFault::Data, name,
                    "no point lies between AnaSta " + text::plainNumber(f.lower) + " and AnaEnd " +
                        text::plainNumber(f.upper),
                    0);
    return r;
}

std::string multichanneltronProjectBytes(const MultichanneltronFile& f, const std::string& path,
                                         const MultichanneltronWindowValues& window) {
    ProjectLayout layout;
    layout.width = 500;
    layout.height = 400;
    layout.top = 100;
    layout.left = 100;
    const auto n = static_cast<std::int32_t>(f.x.size());
    const double firstX = f.x.empty() ? 0 : f.x.front();
    const double lastX = f.x.empty() ? 0 : f.x.back();
    std::vector<std::vector<SpectrumPoint>> columns(kMultichanneltronColumns);
    std::vector<std::span<const SpectrumPoint>> points;
    for (std::size_t c = 0; c < kMultichanneltronColumns; ++c) {
        ProjectBlock b;
        b.PathName = path;
        b.FileName = path;
        b.ShortName = "Ch : " + std::to_string(c);
        b.SampleText = f.sample;
        b.CommentText = f.comment;
        b.DateText = f.date;
        b.ScansText = std::to_string(f.scans);
        b.PassEnText = text::formatScientific23(f.passEnergy);
        b.PointsText = std::to_string(n);
        b.MeasTimeText = std::to_string(window.measTime);
        b.Scans = window.scanCounter;
        b.MeasTime = 0;
        b.YMax = b.YMaxOrig = static_cast<double>(f.maximum[c]);
        b.YMin = b.YMinOrig = static_cast<double>(f.minimum[c]);
        b.XMin = b.XMinOrig = firstX;
        b.XMax = b.XMaxOrig = lastX;
        b.NumPoints = n;
        b.PoolStart = n * static_cast<std::int32_t>(c);
        layout.blocks.push_back(std::move(b));
        for (std::size_t j = 0; j < f.x.size() && j < f.counts[c].size(); ++j)
            columns[c].push_back({f.x[j], static_cast<double>(f.counts[c][j])});
        points.emplace_back(columns[c]);
    }
    return projectFileBytes(layout, points, ProjectPointStyle::EnergyAndCount);
}

MultichanneltronProject prepareMultichanneltronProject(const std::string& path,
                                                       const MultichanneltronWindowValues& window,
                                                       const std::optional<std::string>& outDirectory) {
    MultichanneltronProject out;
    const std::string name = nameOf(path);
    out.target = outDirectory ? *outDirectory + "/" + name + ".k98" : path + ".k98";
    std::string error;
    const auto bytes = readFile(path, &error, kMaxMultichanneltronFileBytes);
    if (!bytes) {
        out.read = fail(MultichanneltronFault::ReadError, asText(name), error, 0);
        return out;
    }
    out.read = readMultichanneltronText(*bytes, asText(name));
    if (out.read) out.bytes = multichanneltronProjectBytes(out.read.file, asText(path), window);
    return out;
}

MultichanneltronConversion convertMultichanneltronFile(const std::string& path,
                                                       const MultichanneltronWindowValues& window,
                                                       const std::optional<std::string>& outDirectory) {
    MultichanneltronProject project = prepareMultichanneltronProject(path, window, outDirectory);
    MultichanneltronConversion out;
    out.target = project.target;
    out.read = std::move(project.read);
    if (!out.read) {
        out.error = out.read.error;
        return out;
    }
    std::string error;
    if (!writeFileAtomic(out.target, project.bytes, &error)) {
        out.read.fault = MultichanneltronFault::ReadError;
        out.error = "Cannot write the project \"" + out.target + "\": " + error;
    }
    return out;
}

} // namespace korvo

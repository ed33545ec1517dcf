#include "files/spectrum_reader.h"

#include "common/file_util.h"
#include "common/number_text.h"
#include "common/text_codec.h"
#include "files/spectrum_format.h"

#include <cstdint>
#include <optional>

namespace korvo {
namespace {

// Lines end with CR LF, LF or a lone CR; a line end before the end of the file does not start a
// further, empty line.
class LineCursor {
public:
    explicit LineCursor(std::string_view bytes) : bytes_(bytes) {}
    bool next(std::string_view& line) {
        if (pos_ >= bytes_.size()) return false;
        const std::size_t end = bytes_.find_first_of("\r\n", pos_);
        if (end == std::string_view::npos) {
            line = bytes_.substr(pos_);
            pos_ = bytes_.size();
        } else {
            line = bytes_.substr(pos_, end - pos_);
            pos_ = end + 1;
            if (bytes_[end] == '\r' && pos_ < bytes_.size() && bytes_[pos_] == '\n') ++pos_;
        }
        ++number_;
        return true;
    }
    std::size_t position() const { return pos_; }
    int lineNumber() const { return number_; }

private:
    std::string_view bytes_;
    std::size_t pos_ = 0;
    int number_ = 0;
};

bool contains(std::string_view line, std::string_view key) {
    return line.find(key) != std::string_view::npos;
}

bool isBlank(char c) {
    return c == ' ' || c == '\t';
}

bool isBlankLine(std::string_view line) {
    for (char c : line)
        if (!isBlank(c)) return false;
    return true;
}

// The lines that carry free user text. A comment such as "BEGIN of series" must not end the
// header, or the rest of the header would be read as data and the file could not be loaded.
bool isUserTextLine(std::string_view line) {
    for (std::string_view label : {"Comment: ", "Probe: ", "FileName: ", "USER_ID: "})
        if (line.substr(0, label.size()) == label) return true;
    return false;
}

std::string_view afterColon(std::string_view line) {
    const std::size_t colon = line.find(':');
    return colon == std::string_view::npos ? line : line.substr(colon + 1);
}

// Leading blanks skipped, then the digits up to the first other character; no digits give 0.
std::int32_t leadingInteger(std::string_view s) {
    std::size_t i = 0;
    while (i < s.size() && isBlank(s[i])) ++i;
    std::int64_t v = 0;
    for (; i < s.size() && s[i] >= '0' && s[i] <= '9'; ++i)
        v = std::min<std::int64_t>(v * 10 + (s[i] - '0'), INT32_MAX);
    return static_cast<std::int32_t>(v);
}

// Leading blanks skipped, then the longest number at the start ("20.000", "-1.5E-3"); a text
// without digits, or a number beyond the double range, gives 0.
double leadingReal(std::string_view s) {
    std::size_t i = 0;
    while (i < s.size() && isBlank(s[i])) ++i;
    const std::size_t start = i;
    const auto digits = [&] {
        const std::size_t from = i;
        while (i < s.size() && s[i] >= '0' && s[i] <= '9') ++i;
        return i - from;
    };
    if (i < s.size() && (s[i] == '+' || s[i] == '-')) ++i;
    std::size_t mantissa = digits();
    if (i < s.size() && s[i] == '.') {
        ++i;
        mantissa += digits();
    }
    if (mantissa == 0) return 0;
    if (i < s.size() && (s[i] == 'e' || s[i] == 'E')) {
        const std::size_t mark = i++;
        if (i < s.size() && (s[i] == '+' || s[i] == '-')) ++i;
        if (digits() == 0) i = mark;
    }
    auto parsed = text::parseDouble(s.substr(start, i - start));
    return parsed ? *parsed : 0;
}

// Header lines as found, decoded once the header's encoding is known.
struct RawHeader {
    std::optional<std::string_view> comment, sample, date, scans, measTime, points, fileName, anaSta, anaEnd;
    std::optional<double> passEnergy;
};

void matchKeys(std::string_view line, RawHeader& h, SpectrumFileData& d) {
    if (contains(line, "Comment")) h.comment = line;
    if (contains(line, "Probe")) h.sample = line;
    if (contains(line, "Date")) h.date = line;
    if (contains(line, "Scans")) {
        h.scans = line;
        d.scans = leadingInteger(afterColon(line));
    }
    if (contains(line, "MeasTime")) {
        h.measTime = line;
        d.measTime = leadingReal(afterColon(line));
    }
    if (contains(line, "Points")) h.points = line;
    if (contains(line, "PassEn:")) h.passEnergy = leadingReal(afterColon(line));
    if (contains(line, "FileName")) h.fileName = line;
    if (contains(line, "AnaSta")) h.anaSta = line;
    if (contains(line, "AnaEnd")) h.anaEnd = line;
}

void storeHeader(const RawHeader& h, bool utf8, SpectrumFileData& d) {
    const auto decode = [utf8](std::string_view raw, std::size_t limit) {
        std::string s = utf8 ? std::string(raw) : windows1252ToUtf8(raw);
        return limit ? cutToCharacters(std::move(s), limit) : s;
    };
    if (h.comment) d.commentText = decode(*h.comment, 100);
    if (h.sample) d.sampleText = decode(*h.sample, 100);
    if (h.date) d.dateText = decode(*h.date, 100);
    if (h.scans) d.scansText = decode(*h.scans, 20);
    if (h.measTime) d.measTimeText = decode(*h.measTime, 20);
    if (h.points) d.pointsText = decode(*h.points, 20);
    if (h.passEnergy) d.passEnText = "PassEn: " + text::formatFixedPrecision(*h.passEnergy, 4, 2);
    if (h.fileName) d.fileName = decode(*h.fileName, 0);
    if (h.anaSta) d.anaStaText = decode(*h.anaSta, 20);
    if (h.anaEnd) d.anaEndText = decode(*h.anaEnd, 20);
}

std::string_view nextToken(std::string_view line, std::size_t& pos) {
    while (pos < line.size() && isBlank(line[pos])) ++pos;
    const std::size_t start = pos;
    while (pos < line.size() && !isBlank(line[pos])) ++pos;
    return line.substr(start, pos - start);
}

std::string printable(std::string_view token) {
    std::string out;
    for (char c : token.substr(0, 40)) out += (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) ? '?' : c;
    if (token.size() > 40) out += "...";
    return windows1252ToUtf8(out);
}

SpectrumReadResult fail(SpectrumReadResult& r, SpectrumReadFault fault, std::string message, int line) {
    r.fault = fault;
    r.error = std::move(message);
    r.errorLine = line;
    r.data.points.clear();
    r.data.points.shrink_to_fit();
    return std::move(r);
}

SpectrumReadResult tooMany(SpectrumReadResult& r, std::string_view name, int line) {
    return fail(r, SpectrumReadFault::TooManyPoints,
                "The file " + std::string(name) + " holds more than " + std::to_string(kMaxSpectrumPoints) +
                    " points.",
                line);
}

} // namespace

std::string fileNameWithoutDirectory(std::string_view path) {
    const std::size_t slash = path.find_last_of("/\\");
    return std::string(slash == std::string_view::npos ? path : path.substr(slash + 1));
}

SpectrumReadResult readSpectrumText(std::string_view bytes, std::string_view shortName) {
    SpectrumReadResult r;
    SpectrumFileData& d = r.data;
    d.fileName = std::string(shortName);
    if (bytes.empty())
        return fail(r, SpectrumReadFault::Empty, "The file " + std::string(shortName) + " is empty.", 0);

    // Tables saved by current editors may start with a UTF-8 byte order mark.
    if (bytes.substr(0, 3) == "\xEF\xBB\xBF") bytes.remove_prefix(3);

    // Header: up to and including the first line that contains "BEGIN".
    LineCursor cursor(bytes);
    RawHeader raw;
    std::string_view line;
    bool beginFound = false;
    while (cursor.next(line)) {
        matchKeys(line, raw, d);
        if (contains(line, "BEGIN") && !isUserTextLine(line)) {
            beginFound = true;
            break;
        }
    }
    storeHeader(raw, isValidUtf8(bytes.substr(0, cursor.position())), d);
    d.headerLines = cursor.lineNumber();
    std::size_t dataStart = cursor.position();
    // Nothing after the header (or no "BEGIN" at all): the whole file is data.
    if (!beginFound || dataStart >= bytes.size()) {
        d.headerLines = 0;
        dataStart = 0;
    }

    // Data: every line up to the first one containing "END". Without "END" the data runs to the end
    // of the file, but blank lines at the very end are only the file's trailing line breaks.
    LineCursor data(bytes.substr(dataStart));
    std::size_t pendingBlank = 0;
    while (data.next(line)) {
        const int lineNo = d.headerLines + data.lineNumber();
        if (contains(line, "END")) {
            d.endFound = true;
            break;
        }
        if (isBlankLine(line)) {
            ++pendingBlank;
            continue;
        }
        if (d.points.size() + pendingBlank >= kMaxSpectrumPoints) return tooMany(r, shortName, lineNo);
        d.points.insert(d.points.end(), pendingBlank, SpectrumPoint{});
        pendingBlank = 0;

        std::size_t pos = 0;
        const std::string_view first = nextToken(line, pos);
        const auto x = text::parseDouble(first);
        if (!x)
            return fail(r, SpectrumReadFault::FirstNumber,
                        "No valid file format (" + std::string(shortName) + "): comma?", lineNo);
        SpectrumPoint p{*x, 0};
        if (const std::string_view second = nextToken(line, pos); !second.empty()) {
            const auto y = text::parseDouble(second);
            if (!y)
                return fail(r, SpectrumReadFault::SecondNumber,
                            "Read error in " + std::string(shortName) + ", line " + std::to_string(lineNo) +
                                ": \"" + printable(second) + "\" is not a number.",
                            lineNo);
            p.y = *y;
        }
        d.points.push_back(p);
    }
    // Empty lines inside the data block are points; before "END" they count as well.
    if (d.endFound) {
        if (d.points.size() + pendingBlank > kMaxSpectrumPoints)
            return tooMany(r, shortName, d.headerLines + data.lineNumber());
        d.points.insert(d.points.end(), pendingBlank, SpectrumPoint{});
    }
    return r;
}

SpectrumReadResult readSpectrumFile(const std::string& path) {
    std::string error;
    const auto bytes = readFile(path, &error, kMaxSpectrumFileBytes);
    if (!bytes) {
        SpectrumReadResult r;
        r.data.fileName = fileNameWithoutDirectory(path);
        return fail(r, SpectrumReadFault::CannotOpen, error.empty() ? "Cannot read " + path : error, 0);
    }
    return readSpectrumText(*bytes, fileNameWithoutDirectory(path));
}

} // namespace korvo

#include "files/origin_file.h"

#include "common/number_text.h"
#include "common/text_codec.h"
#include "files/line_reader.h"
#include "files/row_tokens.h"

#include <charconv>

namespace korvo {
namespace {

bool isBlankLine(std::string_view line) {
    for (char c : line)
        if (!isRowBlank(c)) return false;
    return true;
}

// The header ends at the first line with a digit among its first three characters. A line of
// another code page counts one character per byte.
bool startsWithDigit(std::string_view line) {
    const bool utf8 = isValidUtf8(line.substr(0, 12));
    int characters = 0;
    for (std::size_t i = 0; i < line.size() && characters < 3; ++i) {
        const auto b = static_cast<unsigned char>(line[i]);
        if (utf8 && (b & 0xC0) == 0x80) continue; // inside a character
        if (b >= '0' && b <= '9') return true;
        ++characters;
    }
    return false;
}

std::size_t countTokens(std::string_view line) {
    std::size_t n = 0, pos = 0;
    while (!nextRowToken(line, pos).empty()) ++n;
    return n;
}

// Plain decimals go straight through from_chars; anything else is decided by parseDouble, which
// also refuses "inf" and "nan" and numbers beyond the double range.
std::optional<double> readNumber(std::string_view token) {
    const std::size_t sign = !token.empty() && (token[0] == '+' || token[0] == '-') ? 1 : 0;
    if (sign < token.size() && ((token[sign] >= '0' && token[sign] <= '9') || token[sign] == '.')) {
        const std::string_view body = token[0] == '+' ? token.substr(1) : token;
        double v = 0;
        const auto r = std::from_chars(body.data(), body.data() + body.size(), v, std::chars_format::general);
        if (r.ec == std::errc() && r.ptr == body.data() + body.size()) return v;
    }
    return text::parseDouble(token).value;
}

class Failure {
public:
    explicit Failure(std::string_view name) : name_(name) {}
    OriginReadResult operator()(const std::string& why, int line) const {
        OriginReadResult r;
        r.error = "Cannot import the Origin file " + std::string(name_) + ": " + why;
        if (line > 0) r.error += " (line " + std::to_string(line) + ")";
        r.error += ".";
        r.errorLine = line;
        return r;
    }
    OriginReadResult lineFault(LineReader::Status status, const LineReader& lines) const {
        if (status == LineReader::Status::ReadError) {
            OriginReadResult r;
            r.error = lines.error();
            return r;
        }
        return (*this)("a line is longer than 8 MB; this is not a table of numbers", lines.lineNumber());
    }

private:
    std::string_view name_;
};

} // namespace

OriginReadResult readOriginSource(SpectrumByteSource& source, std::string_view name,
                                  std::vector<SpectrumPoint>& points, const OriginReadLimits& limits) {
    using Status = LineReader::Status;
    const Failure fail(name);
    LineReader lines(source, kMaxSpectrumLineBytes);
    OriginTable t;
    std::string_view line;
    Status status;

    // First pass: the header, the columns, the rows.
    while ((status = lines.next(line)) == Status::Line && !startsWithDigit(line)) ++t.headerLines;
    if (status == Status::End) return fail("no line of numbers (no digit among the first three characters)", 0);
    if (status != Status::Line) return fail.lineFault(status, lines);
    const int firstRow = lines.lineNumber();
    t.rows = 1;
    while ((status = lines.next(line)) == Status::Line && isBlankLine(line)) {
    }
    if (status == Status::End)
        return fail("it holds one row of numbers only; its columns are counted on the row after the first",
                    firstRow);
    if (status != Status::Line) return fail.lineFault(status, lines);
    const std::size_t tokens = countTokens(line);
    t.columns = tokens - 1;
    if (t.columns == 0) return fail("the row holds one value only; there is no column of counts", lines.lineNumber());
    if (t.columns > limits.maxColumns)
        return fail("it has " + std::to_string(t.columns) + " columns of counts, the window has room for " +
                        std::to_string(limits.maxColumns) + " more spectra (at most 2000 in all)",
                    lines.lineNumber());
    ++t.rows;
    while ((status = lines.next(line)) == Status::Line)
        if (!isBlankLine(line)) ++t.rows;
    if (status != Status::End) return fail.lineFault(status, lines);
    if (static_cast<double>(t.columns) * static_cast<double>(t.rows) > static_cast<double>(limits.maxValues))
        return fail("its " + std::to_string(t.rows) + " rows of " + std::to_string(t.columns) + " columns are more than " +
                        std::to_string(limits.maxValues) + " values",
                    0);

    // Second pass: the values, straight to their place.
    if (!lines.restart()) {
        OriginReadResult r;
        r.error = lines.error();
        return r;
    }
    for (std::size_t h = 0; h < t.headerLines; ++h)
        if ((status = lines.next(line)) != Status::Line) return fail.lineFault(status, lines);
    const std::size_t before = points.size();
    const auto undo = [&](OriginReadResult r) {
        points.resize(before);
        return r;
    };
    points.resize(before + t.columns * t.rows);
    SpectrumPoint* const out = points.data() + before;
    std::size_t row = 0;
    while ((status = lines.next(line)) == Status::Line) {
        if (isBlankLine(line)) continue;
        // A file that grows between the two passes gets no more rows than were counted.
        if (row == t.rows) return undo(fail("the file changed while it was read", lines.lineNumber()));
        std::size_t pos = 0;
        const std::string_view xText = nextRowToken(line, pos);
        const auto x = readNumber(xText);
        if (!x) return undo(fail(quotedToken(xText) + " is not a number", lines.lineNumber()));
        if (row == 0) t.xMin = t.xMax = *x;
        t.xMin = std::min(t.xMin, *x);
        t.xMax = std::max(t.xMax, *x);
        for (std::size_t c = 0; c < t.columns; ++c) {
            const std::string_view yText = nextRowToken(line, pos);
            if (yText.empty())
                return undo(fail("the row holds " + std::to_string(c) + " values after x, " +
                                     std::to_string(t.columns) + " columns were counted",
                                 lines.lineNumber()));
            const auto y = readNumber(yText);
            if (!y) return undo(fail(quotedToken(yText) + " is not a number", lines.lineNumber()));
            if (row == 0 && c == 0) t.yMin = t.yMax = *y;
            t.yMin = std::min(t.yMin, *y);
            t.yMax = std::max(t.yMax, *y);
            out[c * t.rows + row] = {*x, *y};
        }
        // Values without a column would be lost without a word; which column a value of a ragged
        // table belongs to is a guess, so the table is refused like one with too few values.
        if (const std::size_t more = countTokens(line.substr(pos)); more > 0)
            return undo(fail("the row holds " + std::to_string(t.columns + more) + " values after x, " +
                                 std::to_string(t.columns) + " columns were counted",
                             lines.lineNumber()));
        ++row;
    }
    if (status != Status::End) return undo(fail.lineFault(status, lines));
    if (row != t.rows) return undo(fail("the file changed while it was read", 0));
    OriginReadResult r;
    r.table = t;
    return r;
}

OriginReadResult readOriginText(std::string_view bytes, std::string_view name, std::vector<SpectrumPoint>& points,
                                const OriginReadLimits& limits) {
    MemoryByteSource source(bytes);
    return readOriginSource(source, name, points, limits);
}

} // namespace korvo

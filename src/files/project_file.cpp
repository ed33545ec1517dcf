#include "files/project_file.h"

#include "common/number_text.h"
#include "common/text_codec.h"
#include "files/line_reader.h"
#include "files/row_tokens.h"

#include <charconv>
#include <cmath>

namespace korvo {
namespace {

// ---- writing ----

void addLine(std::string& out, std::string_view text) {
    out += text;
    out += "\r\n";
}

// A text of the file as one line: a line break inside it would shift every line after it.
void addTextLine(std::string& out, const std::string& text) {
    std::string line = utf8ToWindows1252(text);
    for (char& c : line)
        if (c == '\r' || c == '\n') c = ' ';
    addLine(out, line);
}

void addInteger(std::string& out, std::int64_t v) {
    addLine(out, std::to_string(v));
}

// The 23-character form keeps 15 digits, and the largest doubles round up beyond the double range
// (" 1.79769313486232E+0308"), which no reader takes back. They are written rounded down instead.
std::string real23(double v) {
    constexpr double kLargestWritten = 1.79769313486231e308;
    return text::formatScientific23(std::abs(v) > kLargestWritten ? std::copysign(kLargestWritten, v) : v);
}

void addReal(std::string& out, double v) {
    addLine(out, real23(v));
}

// ---- reading ----

// Longest line a project can have: its texts are header lines of spectrum files.
constexpr std::size_t kMaxLineBytes = std::size_t(1) << 20;

std::string_view trim(std::string_view s) {
    while (!s.empty() && isRowBlank(s.front())) s.remove_prefix(1);
    while (!s.empty() && isRowBlank(s.back())) s.remove_suffix(1);
    return s;
}

// A real of the file. The usual token (sign, digits, point, exponent) is converted at once; anything
// else goes through parseDouble, which also refuses what from_chars would take ("inf", "nan").
std::optional<double> readReal(std::string_view token) {
    const std::size_t sign = !token.empty() && (token[0] == '+' || token[0] == '-') ? 1 : 0;
    if (sign < token.size() && ((token[sign] >= '0' && token[sign] <= '9') || token[sign] == '.')) {
        const std::string_view body = token[0] == '+' ? token.substr(1) : token;
        double v = 0;
        const auto r = std::from_chars(body.data(), body.data() + body.size(), v, std::chars_format::general);
        if (r.ec == std::errc() && r.ptr == body.data() + body.size()) return v;
    }
    return text::parseDouble(token).value;
}

// The reader's state: the source's lines, the file's name for messages and the first failure.
class Reader {
public:
    Reader(SpectrumByteSource& source, std::string_view name) : lines_(source, kMaxLineBytes, false), name_(name) {}

    // The next line; false (and the failure recorded) at the end of the file or on a read error.
    bool line(std::string_view& text, const char* what) {
        switch (lines_.next(text)) {
        case LineReader::Status::Line:
            return true;
        case LineReader::Status::End:
            return fail(std::string("the file ends where ") + what + " should follow; it is truncated", 0);
        case LineReader::Status::TooLong:
            return fail("a line is longer than 1 MB; this is not a project file", lines_.lineNumber());
        case LineReader::Status::ReadError:
            return fail(lines_.error(), 0);
        }
        return false;
    }
    bool skip(const char* what) {
        std::string_view ignored;
        return line(ignored, what);
    }
    bool text(std::string& out, const char* what) {
        std::string_view t;
        if (!line(t, what)) return false;
        out.assign(t);
        utf8_ = utf8_ && isValidUtf8(t);
        return true;
    }
    bool integer(std::int32_t& out, const char* what) {
        std::string_view t;
        if (!line(t, what)) return false;
        const auto v = text::parseInt(t);
        if (!v) return fail(std::string(what) + " should be an integer", lines_.lineNumber());
        out = *v;
        return true;
    }
    bool real(double& out, const char* what) {
        std::string_view t;
        if (!line(t, what)) return false;
        const auto v = readReal(trim(t));
        if (!v) return fail(std::string(what) + " should be a number", lines_.lineNumber());
        out = *v;
        return true;
    }
    bool point(SpectrumPoint& p) {
        std::string_view t;
        if (!line(t, "a point")) return false;
        std::size_t pos = 0;
        const auto x = readReal(nextRowToken(t, pos));
        const auto y = x ? readReal(nextRowToken(t, pos)) : std::nullopt;
        if (!x || !y) return fail("a point should be two numbers", lines_.lineNumber());
        p = {*x, *y};
        return true;
    }
    bool fail(const std::string& why, int line) {
        if (error_.empty()) {
            error_ = "Cannot load the project " + std::string(name_) + ": " + why;
            if (line > 0) error_ += " (line " + std::to_string(line) + ")";
            error_ += ".";
            errorLine_ = line;
        }
        return false;
    }
    int lineNumber() const { return lines_.lineNumber(); }
    bool utf8() const { return utf8_; }
    const std::string& error() const { return error_; }
    int errorLine() const { return errorLine_; }

private:
    LineReader lines_;
    std::string_view name_;
    std::string error_;
    int errorLine_ = 0;
    bool utf8_ = true; // the texts are UTF-8 exactly when every one of them is
};

bool readBlock(Reader& r, ProjectBlock& b) {
    for (auto [field, what] : {std::pair{&b.PathName, "the path"}, {&b.FileName, "the file name"},
                               {&b.ShortName, "the short name"}, {&b.SampleText, "the sample"},
                               {&b.CommentText, "the comment"}, {&b.DateText, "the date"},
                               {&b.ScansText, "the scans text"}, {&b.PassEnText, "the pass energy text"},
                               {&b.PointsText, "the points text"}, {&b.MeasTimeText, "the measuring time text"}})
        if (!r.text(*field, what)) return false;
    if (!r.integer(b.Scans, "the number of scans") || !r.real(b.MeasTime, "the measuring time")) return false;
    for (auto [field, what] : {std::pair{&b.YMax, "YMax"}, {&b.YMin, "YMin"}, {&b.XMin, "XMin"}, {&b.XMax, "XMax"},
                               {&b.XMaxOrig, "XMaxOrig"}, {&b.XMinOrig, "XMinOrig"}, {&b.YMinOrig, "YMinOrig"},
                               {&b.YMaxOrig, "YMaxOrig"}})
        if (!r.real(*field, what)) return false;
    if (!r.integer(b.NumPoints, "the number of points")) return false;
    if (b.NumPoints < 0) return r.fail("a negative number of points", r.lineNumber());
    // Line 22, the offset in the saving window's pool, means nothing to the window that loads it.
    std::string_view marker;
    if (!r.skip("the pool offset") || !r.line(marker, "\"---NextSpectrum---\"")) return false;
    if (trim(marker) != kNextSpectrumMarker)
        return r.fail("\"---NextSpectrum---\" expected; the blocks are out of step", r.lineNumber());
    return r.skip("an empty line") && r.skip("an empty line");
}

void decode(ProjectBlock& b) {
    for (std::string* t : {&b.PathName, &b.FileName, &b.ShortName, &b.SampleText, &b.CommentText, &b.DateText,
                           &b.ScansText, &b.PassEnText, &b.PointsText, &b.MeasTimeText})
        *t = windows1252ToUtf8(*t);
}

} // namespace

std::string projectFileBytes(const ProjectLayout& layout, const std::vector<std::span<const SpectrumPoint>>& points,
                             ProjectPointStyle style) {
    std::size_t total = 0;
    for (const auto& p : points) total += p.size();
    std::string out;
    out.reserve(64 + layout.blocks.size() * 700 + total * 49);
    addInteger(out, static_cast<std::int64_t>(layout.blocks.size()));
    addInteger(out, layout.width);
    addInteger(out, layout.height);
    addLine(out, "");
    addLine(out, "");
    for (std::size_t i = 0; i < layout.blocks.size(); ++i) {
        const ProjectBlock& b = layout.blocks[i];
        for (const std::string* t : {&b.PathName, &b.FileName, &b.ShortName, &b.SampleText, &b.CommentText,
                                     &b.DateText, &b.ScansText, &b.PassEnText, &b.PointsText, &b.MeasTimeText})
            addTextLine(out, *t);
        addInteger(out, b.Scans);
        addReal(out, b.MeasTime);
        for (double v : {b.YMax, b.YMin, b.XMin, b.XMax, b.XMaxOrig, b.XMinOrig, b.YMinOrig, b.YMaxOrig})
            addReal(out, v);
        // The count always matches the points that follow, whatever the block says.
        addInteger(out, static_cast<std::int64_t>(i < points.size() ? points[i].size() : 0));
        addInteger(out, b.PoolStart);
        addLine(out, kNextSpectrumMarker);
        addLine(out, "");
        addLine(out, "");
    }
    for (const auto& spectrum : points)
        for (const SpectrumPoint& p : spectrum) {
            if (style == ProjectPointStyle::EnergyAndCount) {
                out += text::formatPattern(p.x, "0.0000");
                out += ' ';
                addInteger(out, text::roundHalfEven(p.y));
                continue;
            }
            out += real23(p.x);
            out += ' ';
            addReal(out, p.y);
        }
    addInteger(out, layout.top);
    addInteger(out, layout.left);
    return out;
}

ProjectReadResult readProjectSource(SpectrumByteSource& source, std::string_view name,
                                    std::vector<SpectrumPoint>& points, const ProjectReadLimits& limits) {
    const std::size_t before = points.size();
    ProjectReadResult result;
    Reader r(source, name);
    ProjectLayout& layout = result.layout;
    const auto fail = [&] {
        points.resize(before);
        result.error = r.error();
        result.errorLine = r.errorLine();
        result.layout = {};
        return std::move(result);
    };

    std::int32_t n = 0;
    if (!r.integer(n, "the number of spectra")) return fail();
    if (n < 0) {
        r.fail("a negative number of spectra", 1);
        return fail();
    }
    // Every block is 25 lines of at least a line end each.
    if (limits.totalBytes && static_cast<std::uint64_t>(n) * 25 > *limits.totalBytes) {
        r.fail("it claims " + std::to_string(n) + " spectra, more than the file can hold", 1);
        return fail();
    }
    if (static_cast<std::size_t>(n) > limits.maxSpectra) {
        r.fail("it holds " + std::to_string(n) + " spectra, the window has room for " +
                   std::to_string(limits.maxSpectra) + " more (at most 2000 in all)",
               1);
        return fail();
    }
    if (!r.integer(layout.width, "the window width") || !r.integer(layout.height, "the window height") ||
        !r.skip("an empty line") || !r.skip("an empty line"))
        return fail();

    layout.blocks.resize(static_cast<std::size_t>(n));
    std::uint64_t claimed = 0;
    for (ProjectBlock& b : layout.blocks) {
        if (!readBlock(r, b)) return fail();
        claimed += static_cast<std::uint64_t>(b.NumPoints);
    }
    // A point line is at least "0 0" and its line end.
    if (limits.totalBytes && claimed * 4 > *limits.totalBytes) {
        r.fail("it claims " + std::to_string(claimed) + " points, more than the file can hold", 0);
        return fail();
    }
    if (limits.totalBytes) points.reserve(before + claimed);
    for (const ProjectBlock& b : layout.blocks)
        for (std::int32_t j = 0; j < b.NumPoints; ++j) {
            SpectrumPoint p;
            if (!r.point(p)) return fail();
            points.push_back(p);
        }
    if (!r.integer(layout.top, "the window top") || !r.integer(layout.left, "the window left")) return fail();
    if (!r.utf8())
        for (ProjectBlock& b : layout.blocks) decode(b);
    return result;
}

ProjectReadResult readProjectText(std::string_view bytes, std::string_view name, std::vector<SpectrumPoint>& points,
                                  ProjectReadLimits limits) {
    MemoryByteSource source(bytes);
    limits.totalBytes = bytes.size();
    return readProjectSource(source, name, points, limits);
}

} // namespace korvo

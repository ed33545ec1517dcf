#include "files/spectrum_reader.h"

#include "common/number_text.h"
#include "common/text_codec.h"
#include "files/line_reader.h"
#include "files/row_tokens.h"
#include "files/spectrum_format.h"
#include "files/spectrum_table.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <optional>
#include <sys/stat.h>
#include <unistd.h>

namespace korvo {
namespace {

std::string errnoText(const std::string& what, const std::string& path, int err) {
    return what + " \"" + path + "\": " + std::strerror(err);
}

const char* fileKind(mode_t mode) {
    if (S_ISDIR(mode)) return "a directory";
    if (S_ISFIFO(mode)) return "a named pipe";
    if (S_ISCHR(mode)) return "a character device";
    if (S_ISBLK(mode)) return "a block device";
    if (S_ISSOCK(mode)) return "a socket";
    return "a special file";
}

std::string megabytes(std::uint64_t bytes) {
    return std::to_string((bytes + (std::uint64_t(1) << 20) - 1) >> 20) + " MB";
}

// A regular file read in pieces of a fixed buffer.
class FileSource final : public SpectrumByteSource {
public:
    static std::unique_ptr<FileSource> open(const std::string& path, std::string& error) {
        // O_NONBLOCK keeps a named pipe from blocking the open until a writer appears; it does not
        // change how a regular file is read.
        const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
        if (fd < 0) {
            error = errnoText("Cannot open", path, errno);
            return nullptr;
        }
        std::unique_ptr<FileSource> source(new FileSource(fd, path));
        struct stat st {};
        if (::fstat(fd, &st) != 0) {
            error = errnoText("Cannot read", path, errno);
            return nullptr;
        }
        // Devices, pipes and directories could block, never end or not be text at all.
        if (!S_ISREG(st.st_mode)) {
            error = "Cannot read \"" + path + "\": " + fileKind(st.st_mode) + ", not a spectrum file";
            return nullptr;
        }
        if (static_cast<std::uint64_t>(st.st_size) > kMaxSpectrumFileBytes) {
            error = "Cannot read \"" + path + "\": the file is too large (" +
                    megabytes(static_cast<std::uint64_t>(st.st_size)) + ", at most " +
                    megabytes(kMaxSpectrumFileBytes) + ")";
            return nullptr;
        }
        return source;
    }
    ~FileSource() override { ::close(fd_); }

    bool next(std::string_view& piece, std::string& error) override {
        for (;;) {
            const ssize_t n = ::read(fd_, buffer_.get(), kPieceBytes);
            if (n < 0 && errno == EINTR) continue;
            if (n < 0) {
                error = errnoText("Cannot read", path_, errno);
                return false;
            }
            // A file that grows while it is read (or a pseudo-file that claims to be empty).
            read_ += static_cast<std::uint64_t>(n);
            if (read_ > kMaxSpectrumFileBytes) {
                error = "Cannot read \"" + path_ + "\": the file is too large (more than " +
                        megabytes(kMaxSpectrumFileBytes) + ")";
                return false;
            }
            piece = std::string_view(buffer_.get(), static_cast<std::size_t>(n));
            return true;
        }
    }
    bool rewind(std::string& error) override {
        if (::lseek(fd_, 0, SEEK_SET) != 0) {
            error = errnoText("Cannot read", path_, errno);
            return false;
        }
        read_ = 0;
        return true;
    }

private:
    static constexpr std::size_t kPieceBytes = std::size_t(256) << 10;
    FileSource(int fd, std::string path)
        : fd_(fd), path_(std::move(path)), buffer_(std::make_unique<char[]>(kPieceBytes)) {}
    int fd_;
    std::string path_;
    std::unique_ptr<char[]> buffer_;
    std::uint64_t read_ = 0;
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

// Header lines as found, decoded once the header's encoding is known. A field cut to n characters
// keeps the first 4 n bytes of its line, enough for n characters in either encoding, so a long line
// is not held in full.
struct RawHeader {
    std::optional<std::string> comment, sample, date, scans, measTime, points, fileName, anaSta, anaEnd,
        photEn, fileform, anaFix;
    std::optional<double> passEnergy;
};

void keep(std::optional<std::string>& field, std::string_view line, std::size_t characters) {
    field = std::string(characters ? line.substr(0, 4 * characters) : line);
}

void matchKeys(std::string_view line, RawHeader& h, SpectrumFileData& d) {
    if (contains(line, "Comment")) keep(h.comment, line, 100);
    if (contains(line, "Probe")) keep(h.sample, line, 100);
    if (contains(line, "Date")) keep(h.date, line, 100);
    if (contains(line, "Scans")) {
        keep(h.scans, line, 20);
        d.scans = leadingInteger(afterColon(line));
    }
    if (contains(line, "MeasTime")) {
        keep(h.measTime, line, 20);
        d.measTime = leadingReal(afterColon(line));
    }
    if (contains(line, "Points")) keep(h.points, line, 20);
    if (contains(line, "PassEn:")) h.passEnergy = leadingReal(afterColon(line));
    if (contains(line, "FileName")) keep(h.fileName, line, 0);
    if (contains(line, "AnaSta")) keep(h.anaSta, line, 20);
    if (contains(line, "AnaEnd")) keep(h.anaEnd, line, 20);
    // Not shown anywhere; kept for the exports that state the photon energy and what was scanned.
    if (contains(line, "PhotEn") || contains(line, "Phot.Start")) keep(h.photEn, line, 20);
    if (contains(line, "Fileform")) keep(h.fileform, line, 20);
    if (contains(line, "Fix. Analyser Energy")) keep(h.anaFix, line, 100);
}

void storeHeader(const RawHeader& h, bool utf8, SpectrumFileData& d) {
    const auto decode = [utf8](const std::string& raw, std::size_t limit) {
        std::string s = utf8 ? raw : windows1252ToUtf8(raw);
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
    if (h.photEn) d.photEnText = decode(*h.photEn, 20);
    if (h.fileform) d.fileformText = decode(*h.fileform, 20);
    if (h.anaFix) d.anaFixText = decode(*h.anaFix, 100);
}

// A number of a data line. Plain decimals, nearly every token of a real file, are converted at
// once; parseDouble's rules are kept because only what it accepts takes this route (an optional
// sign, then a digit or a point, and std::from_chars consuming the whole token), and it converts
// with the same from_chars. Everything else (exponent without digits, out of range, garbage) goes
// to parseDouble itself, which decides and explains.
// Decimals of at most 15 digits without exponent ("284.5000", "1520", "-0.25"): the digits as an
// integer and the power of ten are both exact doubles, so one division rounds correctly and gives
// the value from_chars gives, at a fraction of its cost. false for anything else.
inline bool plainDecimal(std::string_view token, double& value) {
    const char* p = token.data();
    const char* const end = p + token.size();
    const bool negative = p != end && *p == '-';
    if (p != end && (*p == '-' || *p == '+')) ++p;
    const char* const first = p;
    std::uint64_t digits = 0;
    while (p != end && static_cast<unsigned>(*p - '0') < 10) digits = digits * 10 + static_cast<unsigned>(*p++ - '0');
    const auto whole = p - first;
    std::ptrdiff_t decimals = 0;
    if (p != end && *p == '.') {
        const char* const point = ++p;
        while (p != end && static_cast<unsigned>(*p - '0') < 10)
            digits = digits * 10 + static_cast<unsigned>(*p++ - '0');
        decimals = p - point;
    }
    if (p != end || whole + decimals == 0 || whole + decimals > 15) return false;
    static constexpr double kPowers[] = {1e0, 1e1, 1e2,  1e3,  1e4,  1e5,  1e6, 1e7,
                                         1e8, 1e9, 1e10, 1e11, 1e12, 1e13, 1e14, 1e15};
    const double v = static_cast<double>(digits) / kPowers[decimals];
    value = negative ? -v : v;
    return true;
}

text::Parsed<double> readNumber(std::string_view token) {
    const std::size_t sign = !token.empty() && (token[0] == '+' || token[0] == '-') ? 1 : 0;
    if (sign < token.size() && ((token[sign] >= '0' && token[sign] <= '9') || token[sign] == '.')) {
        const std::string_view body = token[0] == '+' ? token.substr(1) : token;
        double v = 0;
        const auto r = std::from_chars(body.data(), body.data() + body.size(), v, std::chars_format::general);
        if (r.ec == std::errc() && r.ptr == body.data() + body.size()) {
            text::Parsed<double> p;
            p.value = v;
            return p;
        }
    }
    return text::parseDouble(token);
}

std::string_view nextToken(std::string_view line, std::size_t& pos) {
    while (pos < line.size() && isBlank(line[pos])) ++pos;
    const std::size_t start = pos;
    while (pos < line.size() && !isBlank(line[pos])) ++pos;
    return line.substr(start, pos - start);
}

// Columns 3 to 11 of a data line, the raw counts of channeltrons 1 to 9 of a file saved with its raw
// data, added to `totals`. false when the line has fewer columns or one of them is no count (the
// file then keeps no channel totals; the reader goes on, since these columns are not its data).
bool addChannelColumns(std::string_view line, std::size_t pos, std::array<double, 9>& totals) {
    for (double& total : totals) {
        const std::string_view token = nextToken(line, pos);
        double v = 0;
        if (token.empty()) return false;
        if (!plainDecimal(token, v)) {
            const auto parsed = readNumber(token);
            if (!parsed) return false;
            v = *parsed;
        }
        if (!(v >= 0) || !std::isfinite(v)) return false;
        total += v;
    }
    return true;
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

// A line that is neither a line nor the end: too long, or the bytes could not be read.
SpectrumReadResult lineFault(SpectrumReadResult& r, LineReader::Status status, const LineReader& lines,
                             std::string_view name) {
    if (status == LineReader::Status::ReadError)
        return fail(r, SpectrumReadFault::CannotOpen, lines.error(), 0);
    return fail(r, SpectrumReadFault::LineTooLong,
                "The file " + std::string(name) + " has a line longer than " +
                    megabytes(kMaxSpectrumLineBytes) + "; it is not a spectrum file.",
                lines.lineNumber());
}

// Every number of the data rows, column by column, for a table. Empty lines are rows of zeros; the
// rows before the current one that are still missing (empty lines) are filled in when it comes.
class TableRows {
public:
    explicit TableRows(SpectrumTable* table) : table_(table) {}

    // The numbers of `line`, the `row`-th row (1-based).
    bool add(std::string_view line, std::size_t row, std::string& why) {
        values_.clear();
        std::size_t pos = 0;
        for (std::string_view token = nextToken(line, pos); !token.empty(); token = nextToken(line, pos)) {
            double v = 0;
            if (!plainDecimal(token, v)) {
                const auto parsed = readNumber(token);
                if (!parsed) {
                    why = quotedToken(token) + " is not a number.";
                    return false;
                }
                v = *parsed;
            }
            values_.push_back(v);
        }
        auto& columns = table_->columns;
        if (columns.empty()) {
            columns.resize(values_.size());
            table_->xDecimals = fixedDecimals(nextToken(line, pos = 0));
        } else if (values_.size() != columns.size()) {
            why = "the line has " + std::to_string(values_.size()) + " numbers, the first data line " +
                  std::to_string(columns.size()) + "; every column is kept, so every line needs them all.";
            return false;
        } else if (table_->xDecimals >= 0 && fixedDecimals(nextToken(line, pos = 0)) != table_->xDecimals) {
            table_->xDecimals = -1; // written by hand: the values are kept, not one spelling for all
        }
        if (!fillTo(row - 1, why)) return false;
        for (std::size_t c = 0; c < values_.size(); ++c) columns[c].push_back(values_[c]);
        return true;
    }

    // The empty lines after the last row, up to `rows` rows in all.
    bool finish(std::size_t rows, std::string& why) {
        if (table_->columns.empty() && rows > 0) table_->columns.resize(2); // empty lines only: (0, 0)
        return fillTo(rows, why);
    }

private:
    bool fillTo(std::size_t rows, std::string& why) {
        auto& columns = table_->columns;
        if (rows * columns.size() > kMaxTableValues) {
            why = "the rows hold more than " + std::to_string(kMaxTableValues) + " numbers.";
            return false;
        }
        for (auto& column : columns) column.resize(rows, 0.0);
        return true;
    }
    // Decimals of a number written in fixed notation ("10.000": 3), -1 for any other spelling.
    static int fixedDecimals(std::string_view token) {
        const std::size_t point = token.find('.');
        if (point == std::string_view::npos || token.find_first_of("eE") != std::string_view::npos) return -1;
        const std::size_t decimals = token.size() - point - 1;
        return decimals == 0 || decimals > 15 ? -1 : static_cast<int>(decimals);
    }

    SpectrumTable* table_;
    std::vector<double> values_;
};

} // namespace

std::string fileNameWithoutDirectory(std::string_view path) {
    const std::size_t slash = path.find_last_of("/\\");
    return std::string(slash == std::string_view::npos ? path : path.substr(slash + 1));
}

SpectrumReadResult readSpectrumSource(SpectrumByteSource& source, std::string_view shortName) {
    return readSpectrumSource(source, shortName, nullptr);
}

void matchSpectrumHeader(const std::vector<std::string>& lines, SpectrumFileData& d) {
    RawHeader raw;
    for (const std::string& line : lines) matchKeys(line, raw, d);
    storeHeader(raw, true, d);
}

SpectrumReadResult readSpectrumSource(SpectrumByteSource& source, std::string_view shortName, SpectrumTable* table) {
    using Status = LineReader::Status;
    SpectrumReadResult r;
    SpectrumFileData& d = r.data;
    d.fileName = std::string(shortName);
    LineReader lines(source, kMaxSpectrumLineBytes);

    // Header: up to and including the first line that contains "BEGIN".
    RawHeader raw;
    std::string_view line;
    bool beginFound = false;
    bool utf8 = true; // line ends are ASCII, so the header is UTF-8 exactly when every line is
    Status status;
    while ((status = lines.next(line)) == Status::Line) {
        utf8 = utf8 && isValidUtf8(line);
        matchKeys(line, raw, d);
        if (contains(line, "BEGIN") && !isUserTextLine(line)) {
            beginFound = true;
            if (table) table->beginLine = std::string(line);
            break;
        }
        if (table) table->headerLines.emplace_back(line);
    }
    if (status != Status::Line && status != Status::End) return lineFault(r, status, lines, shortName);
    if (status == Status::End && lines.bytesRead() == 0)
        return fail(r, SpectrumReadFault::Empty, "The file " + std::string(shortName) + " is empty.", 0);
    storeHeader(raw, utf8, d);
    d.headerLines = lines.lineNumber();
    if (table) {
        table->utf8 = utf8;
        if (!utf8) {
            for (std::string& l : table->headerLines) l = windows1252ToUtf8(l);
            if (table->beginLine) table->beginLine = windows1252ToUtf8(*table->beginLine);
        }
    }

    // Nothing after the header (or no "BEGIN" at all): the whole file is data, read from the start.
    status = beginFound ? lines.next(line) : Status::End;
    if (status == Status::End) {
        d.headerLines = 0;
        if (table) *table = SpectrumTable{};
        if (!lines.restart()) return fail(r, SpectrumReadFault::CannotOpen, lines.error(), 0);
        status = lines.next(line);
    }
    TableRows rows(table);

    // Data lines are rarely shorter than "1 2" and a line end: a table of that size is seldom
    // outgrown, and the room it leaves is never touched, so it costs address space, not memory.
    if (const std::uint64_t size = source.sizeHint(); size > 0)
        d.points.reserve(static_cast<std::size_t>(std::min<std::uint64_t>(size / 5 + 1, kMaxSpectrumPoints)));

    // Data: every line up to the first one containing "END". Without "END" the data runs to the end
    // of the file, but blank lines at the very end are only the file's trailing line breaks.
    std::size_t pendingBlank = 0;
    std::array<double, 9> channelTotals{};
    bool channelColumns = true;
    for (; status == Status::Line; status = lines.next(line)) {
        const int lineNo = lines.lineNumber();
        if (contains(line, "END")) {
            d.endFound = true;
            if (table) table->endLine = std::string(line);
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
        SpectrumPoint p{0, 0};
        if (!plainDecimal(first, p.x)) {
            const auto x = readNumber(first);
            if (!x)
                return fail(r, SpectrumReadFault::FirstNumber,
                            "No valid file format (" + std::string(shortName) + "): comma? (line " +
                                std::to_string(lineNo) + ": " + quotedToken(first) + ")",
                            lineNo);
            p.x = *x;
        }
        if (const std::string_view second = nextToken(line, pos); !second.empty() && !plainDecimal(second, p.y)) {
            const auto y = readNumber(second);
            if (!y)
                return fail(r, SpectrumReadFault::SecondNumber,
                            "Read error in " + std::string(shortName) + ", line " + std::to_string(lineNo) +
                                ": " + quotedToken(second) + " is not a number.",
                            lineNo);
            p.y = *y;
        }
        channelColumns = channelColumns && addChannelColumns(line, pos, channelTotals);
        d.points.push_back(p);
        if (table) {
            std::string why;
            if (!rows.add(line, d.points.size(), why))
                return fail(r, SpectrumReadFault::Columns,
                            "Read error in " + std::string(shortName) + ", line " + std::to_string(lineNo) + ": " + why,
                            lineNo);
        }
    }
    if (channelColumns && !d.points.empty()) d.channelTotals = channelTotals;
    if (status != Status::Line && status != Status::End) return lineFault(r, status, lines, shortName);
    // Empty lines inside the data block are points; before "END" they count as well.
    if (d.endFound) {
        if (d.points.size() + pendingBlank > kMaxSpectrumPoints)
            return tooMany(r, shortName, lines.lineNumber());
        d.points.insert(d.points.end(), pendingBlank, SpectrumPoint{});
    }
    if (table) {
        std::string why;
        if (!rows.finish(d.points.size(), why))
            return fail(r, SpectrumReadFault::Columns, "Read error in " + std::string(shortName) + ": " + why,
                        lines.lineNumber());
        if (utf8 || !table->endLine) return r;
        table->endLine = windows1252ToUtf8(*table->endLine);
    }
    return r;
}

SpectrumReadResult readSpectrumText(std::string_view bytes, std::string_view shortName) {
    MemoryByteSource source(bytes);
    return readSpectrumSource(source, shortName);
}

SpectrumReadResult readSpectrumFile(const std::string& path) {
    return readSpectrumFile(path, nullptr);
}

SpectrumReadResult readSpectrumFile(const std::string& path, SpectrumTable* table) {
    std::string error;
    const auto source = FileSource::open(path, error);
    if (!source) {
        SpectrumReadResult r;
        r.data.fileName = fileNameWithoutDirectory(path);
        return fail(r, SpectrumReadFault::CannotOpen, error, 0);
    }
    return readSpectrumSource(*source, fileNameWithoutDirectory(path), table);
}

} // namespace korvo

#include "files/vamas_file.h"

#include "common/number_text.h"
#include "common/text_codec.h"
#include "files/line_reader.h"
#include "files/row_tokens.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <concepts>
#include <cmath>
#include <limits>
#include <memory>
#include <optional>

namespace korvo {
namespace {

constexpr const char* kEol = "\r\n";
constexpr std::string_view kEndLine = "end of experiment";
constexpr std::string_view kKorvoPrefix = "Korvo ";
constexpr std::string_view kEnergiesName = "x";
// Integers up to 2^53 and powers of ten up to 1E22 are exact doubles: one division of the two gives
// the double nearest to the decimal, exactly what reading the decimal's text gives.
constexpr std::int64_t kExactInteger = std::int64_t(1) << 53;
constexpr int kMaxDecimals = 15;
constexpr std::size_t kMaxLine = std::size_t(1) << 20;
constexpr std::size_t kEnergyLineWidth = 80; // the standard's line length

constexpr std::array<double, 23> kPowersOfTen = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                                 1e8,  1e9,  1e10, 1e11, 1e12, 1e13, 1e14, 1e15,
                                                 1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};

const std::array<std::string_view, 14> kTechniques = {
    "AES diff", "AES dir", "EDX", "ELS", "FABMS", "FABMS energy spec", "ISS", "SIMS", "SIMS energy spec",
    "SNMS", "SNMS energy spec", "UPS", "XPS", "XRF"};
// Techniques whose blocks carry the sputtering ion (three lines after the source label).
const std::array<std::string_view, 7> kIonTechniques = {
    "FABMS", "FABMS energy spec", "ISS", "SIMS", "SIMS energy spec", "SNMS", "SNMS energy spec"};
const std::array<std::string_view, 8> kExperimentModes = {"MAP", "MAPDP", "MAPSV", "MAPSVDP",
                                                          "NORM", "SDP", "SDPSV", "SEM"};

template <std::size_t N> bool oneOf(std::string_view v, const std::array<std::string_view, N>& list) {
    return std::find(list.begin(), list.end(), v) != list.end();
}

// The shortest text that reads back as exactly `v`.
std::string shortest(double v) {
    char buf[40];
    const auto r = std::to_chars(buf, buf + sizeof buf, v);
    return std::string(buf, r.ptr);
}

// ---- exact decimal energies

struct Decimal {
    std::int64_t digits = 0; // the value is digits / 10^decimals
    int decimals = 0;
};

// A plain decimal text ("-12.050", "3", "+.5") as digits and decimals; nullopt for an exponent,
// too many digits or anything else.
std::optional<Decimal> parseDecimal(std::string_view s) {
    Decimal d;
    bool negative = false;
    std::size_t i = 0;
    if (i < s.size() && (s[i] == '+' || s[i] == '-')) negative = s[i++] == '-';
    bool point = false, any = false;
    for (; i < s.size(); ++i) {
        const char c = s[i];
        if (c == '.' && !point) {
            point = true;
            continue;
        }
        if (c < '0' || c > '9') return std::nullopt;
        any = true;
        if (d.digits >= kExactInteger / 10) return std::nullopt;
        d.digits = d.digits * 10 + (c - '0');
        if (point) ++d.decimals;
    }
    if (!any || d.decimals > 22) return std::nullopt;
    if (negative) d.digits = -d.digits;
    return d;
}

std::optional<std::int64_t> scaled(Decimal d, int decimals) {
    std::int64_t v = d.digits;
    for (int i = d.decimals; i < decimals; ++i) {
        if (v >= kExactInteger / 10 || v <= -kExactInteger / 10) return std::nullopt;
        v *= 10;
    }
    return v;
}

std::string decimalText(std::int64_t digits, int decimals) {
    std::string s = std::to_string(digits < 0 ? -digits : digits);
    if (decimals > 0) {
        if (s.size() <= std::size_t(decimals)) s.insert(0, std::size_t(decimals) + 1 - s.size(), '0');
        s.insert(s.size() - std::size_t(decimals), 1, '.');
    }
    return digits < 0 ? "-" + s : s;
}

// Start and increment of an evenly spaced decimal grid, when the energies are one.
struct EvenGrid {
    std::int64_t start = 0, step = 0;
    int decimals = 0;
};

std::optional<EvenGrid> evenGrid(const std::vector<SpectrumPoint>& points) {
    if (points.empty()) return std::nullopt;
    std::vector<Decimal> ds;
    ds.reserve(points.size());
    int decimals = 0;
    for (const SpectrumPoint& p : points) {
        if (!std::isfinite(p.x)) return std::nullopt;
        char buf[400];
        const auto r = std::to_chars(buf, buf + sizeof buf, p.x, std::chars_format::fixed);
        if (r.ec != std::errc()) return std::nullopt;
        const auto d = parseDecimal(std::string_view(buf, std::size_t(r.ptr - buf)));
        if (!d || d->decimals > kMaxDecimals) return std::nullopt;
        decimals = std::max(decimals, d->decimals);
        ds.push_back(*d);
    }
    EvenGrid g;
    g.decimals = decimals;
    std::int64_t expected = 0;
    for (std::size_t i = 0; i < ds.size(); ++i) {
        const auto v = scaled(ds[i], decimals);
        if (!v) return std::nullopt;
        if (i == 0) {
            g.start = expected = *v;
            continue;
        }
        if (i == 1) g.step = *v - g.start;
        expected += g.step;
        if (*v != expected) return std::nullopt;
    }
    return g;
}

// ---- writer

std::string oneLine(std::string_view text) {
    std::string out(text);
    for (char& c : out)
        if (c == '\r' || c == '\n') c = ' ';
    return out;
}

void put(std::string& out, std::string_view text) {
    out += oneLine(text);
    out += kEol;
}

std::vector<std::string> energyLines(const std::vector<SpectrumPoint>& points) {
    std::vector<std::string> lines;
    std::string line;
    for (const SpectrumPoint& p : points) {
        const std::string v = shortest(p.x);
        if (!line.empty() && line.size() + 1 + v.size() > kEnergyLineWidth) {
            lines.push_back(std::move(line));
            line.clear();
        }
        if (line.empty())
            line = std::string(kKorvoPrefix) + std::string(kEnergiesName) + "=" + v;
        else
            line += " " + v;
    }
    if (!line.empty()) lines.push_back(std::move(line));
    return lines;
}

void writeBlock(std::string& out, const VamasBlock& b) {
    const auto num = [&out](double v) { put(out, shortest(v)); };
    const auto integer = [&out](std::int64_t v) { put(out, std::to_string(v)); };
    put(out, b.blockId);
    put(out, b.sampleId);
    for (std::int32_t v : {b.date.year, b.date.month, b.date.day, b.date.hour, b.date.minute, b.date.second})
        integer(v);
    num(b.date.hoursAheadOfGmt);

    const auto& pts = b.points;
    const std::optional<EvenGrid> grid = evenGrid(pts);
    const std::vector<std::string> energies = grid ? std::vector<std::string>{} : energyLines(pts);
    integer(std::int64_t(b.comment.size() + b.korvo.size() + energies.size()));
    for (const std::string& c : b.comment) put(out, c);
    for (const auto& [name, text] : b.korvo) put(out, std::string(kKorvoPrefix) + name + "=" + text);
    for (const std::string& e : energies) put(out, e);

    put(out, b.technique);
    put(out, b.sourceLabel);
    num(b.sourceEnergy);
    num(0);                    // source strength
    num(0), num(0);            // beam width x, y
    num(0), num(0);            // polar angle of incidence, azimuth
    put(out, b.analyserMode);
    num(b.passEnergy);
    num(1);                    // magnification of the transfer lens
    num(0);                    // work function
    num(0);                    // target bias
    num(0), num(0);            // analysis width x, y
    num(0), num(0);            // take-off polar angle, azimuth
    put(out, "Not Specified"); // species
    put(out, "Not Specified"); // transition
    integer(-1);               // charge of the detected particle: an electron
    put(out, b.abscissaLabel);
    put(out, b.abscissaUnits);
    if (grid) {
        put(out, decimalText(grid->start, grid->decimals));
        put(out, decimalText(grid->step, grid->decimals));
    } else {
        num(pts.front().x);
        num(pts.size() > 1 ? (pts.back().x - pts.front().x) / double(pts.size() - 1) : 0);
    }
    integer(1);
    put(out, b.ordinateLabel);
    put(out, b.ordinateUnits);
    put(out, b.signalMode);
    num(b.collectionTime);
    integer(b.scans);
    num(0);         // signal time correction
    num(0), num(0); // sample tilt, its azimuth
    num(0);         // sample rotation
    integer(0);     // additional numerical parameters
    integer(std::int64_t(pts.size()));
    const auto [lo, hi] = std::minmax_element(pts.begin(), pts.end(), [](auto& a, auto& c) { return a.y < c.y; });
    num(lo->y);
    num(hi->y);
    for (const SpectrumPoint& p : pts) num(p.y);
}

} // namespace

std::string vamasBlockProblem(const VamasBlock& block) {
    if (block.points.empty()) return "it has no points";
    if (block.points.size() > std::size_t(std::numeric_limits<std::int32_t>::max())) return "it has too many points";
    for (const SpectrumPoint& p : block.points)
        if (!std::isfinite(p.x) || !std::isfinite(p.y)) return "it holds a value that is not a finite number";
    // The techniques with lines of their own (sputtering ion, differential width) are never written.
    if (!oneOf(block.technique, kTechniques) || oneOf(block.technique, kIonTechniques) || block.technique == "AES diff")
        return "the technique \"" + block.technique + "\" is not written";
    return {};
}

std::string vamasFileText(const VamasExperiment& e, const std::vector<VamasBlock>& blocks) {
    std::string out;
    put(out, kVamasFormatLine);
    put(out, e.institution);
    put(out, e.instrument);
    put(out, e.operatorId);
    put(out, e.experimentId);
    put(out, std::to_string(e.comment.size()));
    for (const std::string& c : e.comment) put(out, c);
    put(out, "NORM");
    put(out, "REGULAR");
    put(out, std::to_string(blocks.size())); // spectral regions
    put(out, "0");                           // experimental variables
    put(out, "0");                           // parameter inclusion or exclusion list
    put(out, "0");                           // manually entered items
    put(out, "0");                           // future upgrade experiment entries
    put(out, "0");                           // future upgrade block entries
    put(out, std::to_string(blocks.size()));
    for (const VamasBlock& b : blocks) writeBlock(out, b);
    put(out, kEndLine);
    return out;
}

// ---- reader

namespace {

struct Refusal {
    std::string why;
    int line = 0;
    bool readError = false; // why is the source's own message
};

std::string_view trimmed(std::string_view s) {
    while (!s.empty() && isRowBlank(s.front())) s.remove_prefix(1);
    while (!s.empty() && (isRowBlank(s.back()) || s.back() == '\r')) s.remove_suffix(1);
    return s;
}

std::string utf8(std::string_view raw) {
    return isValidUtf8(raw) ? std::string(raw) : windows1252ToUtf8(raw);
}

// Plain decimals go straight through from_chars; anything else (and what from_chars reads as
// infinite or NaN) is decided by parseDouble, which refuses NaN, infinities and out-of-range values.
std::optional<double> number(std::string_view v) {
    const std::string_view body = !v.empty() && v.front() == '+' ? v.substr(1) : v;
    double x = 0;
    const auto r = std::from_chars(body.data(), body.data() + body.size(), x);
    if (r.ec == std::errc() && r.ptr == body.data() + body.size() && std::isfinite(x)) return x;
    return text::parseDouble(v).value;
}

// The items of a file, one per line. `what` names an item in messages; it is made into text only
// when a message needs it.
class Lines {
public:
    explicit Lines(SpectrumByteSource& source) : reader_(source, kMaxLine) {}

    template <typename What> std::string_view raw(const What& what) {
        std::string_view line;
        switch (reader_.next(line)) {
        case LineReader::Status::Line:
            return line;
        case LineReader::Status::End:
            throw Refusal{"the file ends where " + name(what) + " belongs; it is truncated", reader_.lineNumber() + 1};
        case LineReader::Status::TooLong:
            throw Refusal{"a line is longer than 1 MB; this is not a VAMAS file", reader_.lineNumber()};
        case LineReader::Status::ReadError:
            break;
        }
        throw Refusal{reader_.error(), 0, true};
    }
    template <typename What> std::string_view value(const What& what) { return trimmed(raw(what)); }
    std::string text(std::string_view what) { return utf8(value(what)); }
    void skip(std::int64_t n, std::string_view what) {
        for (std::int64_t i = 0; i < n; ++i) raw(what);
    }
    std::int32_t integer(std::string_view what) {
        const std::string_view v = value(what);
        const auto n = text::parseInt(v);
        if (!n) throw Refusal{std::string(what) + " is " + quotedToken(v) + ", not an integer", line()};
        return *n;
    }
    std::int32_t count(std::string_view what) {
        const std::int32_t n = integer(what);
        if (n < 0) throw Refusal{std::string(what) + " is " + std::to_string(n) + "; it cannot be negative", line()};
        return n;
    }
    template <typename What> double real(const What& what) {
        const std::string_view v = value(what);
        const auto x = number(v);
        if (!x) throw Refusal{name(what) + " is " + quotedToken(v) + ", not a number", line()};
        return *x;
    }
    int line() const { return reader_.lineNumber(); }

private:
    static std::string name(std::string_view what) { return std::string(what); }
    template <typename Make>
        requires std::invocable<const Make&>
    static std::string name(const Make& make) {
        return make();
    }

    LineReader reader_;
};

// The header's answers that shape every block.
struct Layout {
    std::int32_t experimentVariables = 0;
    std::int32_t futureBlockEntries = 0;
    std::array<bool, 41> included{}; // items 1 .. 40 of a block after the first
};

// What a block carries beyond VamasBlock and a later block may take over from the first.
struct BlockState {
    VamasBlock block;
    // "Korvo x=" lines; shared, as later blocks may take them over from the first.
    std::shared_ptr<const std::vector<double>> energies;
    std::string abscissaStart, abscissaStep;
    std::int32_t variables = 1;
};

void readComment(Lines& in, BlockState& s, std::uint64_t maxPoints) {
    const std::int32_t n = in.count("the number of block comment lines");
    s.block.comment.clear();
    s.block.korvo.clear();
    s.energies.reset();
    std::vector<double> energies;
    for (std::int32_t i = 0; i < n; ++i) {
        const std::string_view line = in.raw("a block comment line");
        const std::size_t eq = line.find('=');
        if (line.substr(0, kKorvoPrefix.size()) != kKorvoPrefix || eq == std::string_view::npos) {
            s.block.comment.push_back(utf8(line));
            continue;
        }
        const std::string_view name = line.substr(kKorvoPrefix.size(), eq - kKorvoPrefix.size());
        const std::string_view value = line.substr(eq + 1);
        if (name != kEnergiesName) {
            s.block.korvo.emplace_back(utf8(name), utf8(value));
            continue;
        }
        std::size_t pos = 0;
        for (std::string_view t = nextRowToken(value, pos); !t.empty(); t = nextRowToken(value, pos)) {
            const auto x = text::parseDouble(t);
            if (!x) throw Refusal{"the energy " + quotedToken(t) + " in Korvo's list of energies is not a number", in.line()};
            if (energies.size() >= maxPoints) throw Refusal{"Korvo's list of energies is longer than any block", in.line()};
            energies.push_back(*x);
        }
    }
    if (!energies.empty()) s.energies = std::make_shared<const std::vector<double>>(std::move(energies));
}

void readBlock(Lines& in, const Layout& layout, bool first, BlockState& s, std::uint64_t pointsLeft) {
    const auto has = [&](int item) { return first || layout.included[std::size_t(item)]; };
    VamasBlock& b = s.block;
    b.points.clear();
    b.blockId = in.text("the block identifier");
    if (b.blockId == kEndLine) throw Refusal{"the file ends here, before all the blocks its header announces", in.line()};
    b.sampleId = in.text("the sample identifier");
    std::int32_t* const dateFields[6] = {&b.date.year, &b.date.month, &b.date.day,
                                          &b.date.hour, &b.date.minute, &b.date.second};
    const char* const dateNames[6] = {"the year", "the month", "the day", "the hours", "the minutes", "the seconds"};
    for (int i = 0; i < 6; ++i)
        if (has(i + 1)) *dateFields[i] = in.integer(dateNames[i]);
    if (has(7)) b.date.hoursAheadOfGmt = in.real("the hours ahead of GMT");
    if (has(8)) readComment(in, s, pointsLeft);
    if (has(9)) {
        b.technique = in.text("the technique");
        if (!oneOf(b.technique, kTechniques))
            throw Refusal{"the technique " + quotedToken(b.technique) + " is none of ISO 14976's", in.line()};
    }
    // Item 10 (map coordinates) belongs to MAP experiments only.
    if (has(11)) in.skip(layout.experimentVariables, "an experimental variable's value");
    if (has(12)) b.sourceLabel = in.text("the analysis source label");
    if (has(13) && oneOf(b.technique, kIonTechniques)) in.skip(3, "the sputtering ion");
    if (has(14)) b.sourceEnergy = in.real("the source's characteristic energy");
    if (has(15)) in.real("the source strength");
    if (has(16)) {
        in.real("the beam width x");
        in.real("the beam width y");
    }
    // Items 17 and 18 (field of view, line scans) belong to map experiments only.
    if (has(19)) in.real("the polar angle of incidence");
    if (has(20)) in.real("the azimuth of incidence");
    if (has(21)) b.analyserMode = in.text("the analyser mode");
    if (has(22)) b.passEnergy = in.real("the pass energy");
    if (has(23) && b.technique == "AES diff") in.real("the differential width");
    if (has(24)) in.real("the magnification of the transfer lens");
    if (has(25)) in.real("the work function");
    if (has(26)) in.real("the target bias");
    if (has(27)) {
        in.real("the analysis width x");
        in.real("the analysis width y");
    }
    if (has(28)) {
        in.real("the take-off polar angle");
        in.real("the take-off azimuth");
    }
    if (has(29)) in.value("the species label");
    if (has(30)) {
        in.value("the transition label");
        in.real("the charge of the detected particle");
    }
    if (has(31)) {
        b.abscissaLabel = in.text("the abscissa label");
        b.abscissaUnits = in.text("the abscissa units");
        s.abscissaStart = in.value("the abscissa start");
        if (!text::parseDouble(s.abscissaStart))
            throw Refusal{"the abscissa start is " + quotedToken(s.abscissaStart) + ", not a number", in.line()};
        s.abscissaStep = in.value("the abscissa increment");
        if (!text::parseDouble(s.abscissaStep))
            throw Refusal{"the abscissa increment is " + quotedToken(s.abscissaStep) + ", not a number", in.line()};
    }
    if (has(32)) {
        s.variables = in.count("the number of corresponding variables");
        if (s.variables == 0) throw Refusal{"the block has no corresponding variable", in.line()};
        b.ordinateLabel = in.text("the corresponding variable's label");
        b.ordinateUnits = in.text("the corresponding variable's units");
        in.skip(2 * std::int64_t(s.variables - 1), "a corresponding variable's label or units");
    }
    if (has(33)) b.signalMode = in.text("the signal mode");
    if (has(34)) b.collectionTime = in.real("the signal collection time");
    if (has(35)) b.scans = in.integer("the number of scans");
    if (has(36)) in.real("the signal time correction");
    // Item 37 (the sputtering source) belongs to depth profiles only.
    if (has(38)) {
        in.real("the sample tilt");
        in.real("the tilt azimuth");
    }
    if (has(39)) in.real("the sample rotation");
    if (has(40)) {
        const std::int32_t q = in.count("the number of additional parameters");
        in.skip(3 * std::int64_t(q), "an additional parameter");
    }
    in.skip(layout.futureBlockEntries, "a future upgrade block entry");

    const std::int32_t values = in.count("the number of ordinate values");
    const int countLine = in.line();
    if (values == 0) throw Refusal{"the block holds no values", countLine};
    if (values % s.variables != 0)
        throw Refusal{"its " + std::to_string(values) + " values do not divide among its " +
                          std::to_string(s.variables) + " corresponding variables",
                      countLine};
    const auto n = std::uint64_t(values / s.variables);
    if (n > pointsLeft)
        throw Refusal{"its " + std::to_string(n) + " points are more than the spectra of one load may hold", countLine};
    if (s.energies && s.energies->size() != n)
        throw Refusal{"Korvo's list of energies in its comment holds " + std::to_string(s.energies->size()) +
                          " energies for " + std::to_string(n) + " points",
                      countLine};
    in.skip(2 * std::int64_t(s.variables), "the minimum or maximum ordinate value");
    b.points.reserve(std::size_t(std::min<std::uint64_t>(n, 1u << 20)));
    for (std::int32_t i = 0; i < values; ++i) {
        const double y = in.real([i, values] {
            return "ordinate value " + std::to_string(i + 1) + " of " + std::to_string(values);
        });
        if (i % s.variables == 0) b.points.push_back({0, y});
    }

    // The energies: Korvo's own list, else start + i x increment, in exact decimals where both are.
    if (s.energies) {
        for (std::size_t i = 0; i < n; ++i) b.points[i].x = (*s.energies)[i];
        return;
    }
    const auto start = parseDecimal(s.abscissaStart), step = parseDecimal(s.abscissaStep);
    if (start && step) {
        const int decimals = std::max(start->decimals, step->decimals);
        const auto x0 = scaled(*start, decimals), dx = scaled(*step, decimals);
        if (x0 && dx && decimals < int(kPowersOfTen.size())) {
            std::int64_t x = *x0;
            bool exact = true;
            for (std::size_t i = 0; i < n && exact; ++i, x += *dx) {
                exact = x < kExactInteger && x > -kExactInteger;
                b.points[i].x = double(x) / kPowersOfTen[std::size_t(decimals)];
            }
            if (exact) return;
        }
    }
    const double x0 = *text::parseDouble(s.abscissaStart), dx = *text::parseDouble(s.abscissaStep);
    for (std::size_t i = 0; i < n; ++i) b.points[i].x = x0 + double(i) * dx;
}

Layout readHeader(Lines& in, VamasExperiment& e, std::int32_t& blocks, const VamasReadLimits& limits) {
    const std::string_view format = in.value("the format line");
    if (format != kVamasFormatLine)
        throw Refusal{"this is not a VAMAS file: its first line is " + quotedToken(format) + ", not \"" +
                          std::string(kVamasFormatLine.substr(0, 40)) + "...\"",
                      in.line()};
    e.institution = in.text("the institution");
    e.instrument = in.text("the instrument model");
    e.operatorId = in.text("the operator");
    e.experimentId = in.text("the experiment identifier");
    const std::int32_t comments = in.count("the number of comment lines");
    for (std::int32_t i = 0; i < comments; ++i) e.comment.push_back(utf8(in.raw("a comment line")));
    const std::string_view mode = in.value("the experiment mode");
    if (mode != "NORM")
        throw Refusal{oneOf(mode, kExperimentModes) ? "the experiment mode " + quotedToken(mode) +
                                                          " is not read; only NORM spectra can be loaded"
                                                    : quotedToken(mode) + " is no experiment mode",
                      in.line()};
    const std::string_view scan = in.value("the scan mode");
    if (scan != "REGULAR")
        throw Refusal{scan == "IRREGULAR" || scan == "MAPPING"
                          ? "the scan mode " + quotedToken(scan) + " is not read; only REGULAR scans can be loaded"
                          : quotedToken(scan) + " is no scan mode",
                      in.line()};
    in.count("the number of spectral regions");
    Layout layout;
    layout.experimentVariables = in.count("the number of experimental variables");
    in.skip(2 * std::int64_t(layout.experimentVariables), "an experimental variable's label or units");
    const std::int32_t listed = in.integer("the number of entries in the inclusion or exclusion list");
    // A positive count lists the items a later block carries, a negative one those it leaves out.
    layout.included.fill(listed <= 0);
    for (std::int64_t i = 0; i < std::abs(std::int64_t(listed)); ++i) {
        const std::int32_t item = in.integer("an item of the inclusion or exclusion list");
        if (item < 1 || item > 40)
            throw Refusal{"the inclusion or exclusion list names item " + std::to_string(item) + "; items run from 1 to 40",
                          in.line()};
        layout.included[std::size_t(item)] = listed > 0;
    }
    in.skip(in.count("the number of manually entered items"), "a manually entered item");
    in.skip(in.count("the number of future upgrade experiment entries"), "a future upgrade experiment entry");
    layout.futureBlockEntries = in.count("the number of future upgrade block entries");
    blocks = in.count("the number of blocks");
    if (blocks == 0) throw Refusal{"the file holds no block", in.line()};
    if (std::size_t(blocks) > limits.maxBlocks)
        throw Refusal{"it holds " + std::to_string(blocks) + " blocks; the window has room for " +
                          std::to_string(limits.maxBlocks) + " more spectra",
                      in.line()};
    return layout;
}

} // namespace

VamasReadResult readVamasSource(SpectrumByteSource& source, std::string_view name, const VamasReadLimits& limits) {
    VamasReadResult r;
    Lines in(source);
    int block = 0;
    try {
        std::int32_t blocks = 0;
        const Layout layout = readHeader(in, r.experiment, blocks, limits);
        BlockState first, state;
        std::uint64_t pointsLeft = limits.maxPoints;
        for (block = 1; block <= blocks; ++block) {
            // A later block starts from the first one's values (without its points).
            if (block > 1) state = first;
            BlockState& s = block == 1 ? first : state;
            readBlock(in, layout, block == 1, s, pointsLeft);
            std::vector<SpectrumPoint> points = std::move(s.block.points);
            s.block.points.clear();
            pointsLeft -= points.size();
            r.blocks.push_back(s.block);
            r.blocks.back().points = std::move(points);
        }
        block = 0;
        const std::string_view end = in.value("\"end of experiment\"");
        if (end != kEndLine)
            throw Refusal{quotedToken(end) + " follows the last of the " + std::to_string(blocks) +
                              " blocks the header announces, where \"end of experiment\" belongs",
                          in.line()};
    } catch (const Refusal& f) {
        VamasReadResult failed;
        failed.errorLine = f.line;
        failed.errorBlock = block;
        if (f.readError) {
            failed.error = f.why;
            return failed;
        }
        failed.error = block > 0 ? "VAMAS block " + std::to_string(block) + " of " + std::string(name)
                                 : "VAMAS file " + std::string(name);
        if (f.line > 0) failed.error += ", line " + std::to_string(f.line);
        failed.error += ": " + f.why + ".";
        return failed;
    }
    return r;
}

VamasReadResult readVamasText(std::string_view bytes, std::string_view name, const VamasReadLimits& limits) {
    MemoryByteSource source(bytes);
    return readVamasSource(source, name, limits);
}

} // namespace korvo

#include "files/vamas_file.h"

#include "common/number_text.h"
#include "common/text_codec.h"
#include "files/line_reader.h"
#include "files/row_tokens.h"
#include "files/vamas_format.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <concepts>
#include <memory>
#include <optional>

namespace korvo {

using namespace vamas;

namespace {

constexpr std::size_t kMaxLine = std::size_t(1) << 20;
const std::array<std::string_view, 8> kExperimentModes = {"MAP", "MAPDP", "MAPSV", "MAPSVDP",
                                                          "NORM", "SDP", "SDPSV", "SEM"};

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
    bool irregular = false; // the abscissa is the first corresponding variable, one value per point
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
    int abscissaLine = 0; // the increment's line
    std::int32_t variables = 1;
};

// What the blocks keep as texts (comment lines, Korvo's texts, additional parameters), those a later
// block takes over from the first counted again: a file of nothing but empty comment lines, or one
// long comment that 2000 blocks take over, must not take more memory than a file of its size may.
class TextBudget {
public:
    void take(std::size_t bytes, int line) {
        if (texts_ == 0 || bytes > bytes_)
            throw Refusal{"its blocks hold more comment lines and parameters than one load takes (" +
                              std::to_string(kTexts) + " lines, " +
                              std::to_string(kMaxSpectrumFileBytes >> 20) + " MB)",
                          line};
        --texts_;
        bytes_ -= bytes;
    }
    void take(const VamasBlock& b, int line) {
        for (const std::string& c : b.comment) take(c.size(), line);
        for (const auto& [name, text] : b.korvo) take(name.size() + text.size(), line);
        for (const VamasParameter& p : b.parameters)
            take(p.label.size() + p.units.size() + p.value.size(), line);
    }

private:
    static constexpr std::uint64_t kTexts = std::uint64_t(1) << 20;
    std::uint64_t texts_ = kTexts;
    std::uint64_t bytes_ = kMaxSpectrumFileBytes;
};

void readComment(Lines& in, BlockState& s, std::uint64_t maxPoints, TextBudget& budget) {
    const std::int32_t n = in.count("the number of block comment lines");
    s.block.comment.clear();
    s.block.korvo.clear();
    s.energies.reset();
    std::vector<double> energies;
    for (std::int32_t i = 0; i < n; ++i) {
        const std::string_view line = in.raw("a block comment line");
        const std::size_t eq = line.find('=');
        if (line.substr(0, kKorvoPrefix.size()) != kKorvoPrefix || eq == std::string_view::npos) {
            budget.take(line.size(), in.line());
            s.block.comment.push_back(utf8(line));
            continue;
        }
        const std::string_view name = line.substr(kKorvoPrefix.size(), eq - kKorvoPrefix.size());
        const std::string_view value = line.substr(eq + 1);
        if (name != kEnergiesName) {
            budget.take(line.size(), in.line());
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

void readBlock(Lines& in, const Layout& layout, bool first, BlockState& s, std::uint64_t pointsLeft,
               TextBudget& budget) {
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
    if (has(8)) readComment(in, s, pointsLeft, budget);
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
    // An IRREGULAR block names its abscissa among the corresponding variables and has no start or
    // increment.
    if (has(31) && !layout.irregular) {
        b.abscissaLabel = in.text("the abscissa label");
        b.abscissaUnits = in.text("the abscissa units");
        s.abscissaStart = in.value("the abscissa start");
        if (!text::parseDouble(s.abscissaStart))
            throw Refusal{"the abscissa start is " + quotedToken(s.abscissaStart) + ", not a number", in.line()};
        s.abscissaStep = in.value("the abscissa increment");
        s.abscissaLine = in.line();
        if (!text::parseDouble(s.abscissaStep))
            throw Refusal{"the abscissa increment is " + quotedToken(s.abscissaStep) + ", not a number", in.line()};
    }
    if (has(32)) {
        s.variables = in.count("the number of corresponding variables");
        if (s.variables == 0) throw Refusal{"the block has no corresponding variable", in.line()};
        if (layout.irregular) {
            if (s.variables < 2)
                throw Refusal{"the block of an IRREGULAR scan has " + std::to_string(s.variables) +
                                  " corresponding variable; it needs its abscissa and at least one more",
                              in.line()};
            b.abscissaLabel = in.text("the abscissa label");
            b.abscissaUnits = in.text("the abscissa units");
        }
        b.ordinateLabel = in.text("the corresponding variable's label");
        b.ordinateUnits = in.text("the corresponding variable's units");
        const std::int64_t read = layout.irregular ? 2 : 1;
        in.skip(2 * (std::int64_t(s.variables) - read), "a corresponding variable's label or units");
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
        b.parameters.clear();
        for (std::int32_t i = 0; i < q; ++i) {
            VamasParameter p;
            p.label = in.text("an additional parameter's label");
            p.units = in.text("an additional parameter's units");
            p.value = in.text("an additional parameter's value");
            budget.take(p.label.size() + p.units.size() + p.value.size(), in.line());
            b.parameters.push_back(std::move(p));
        }
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
    if (s.energies && !layout.irregular && s.energies->size() != n)
        throw Refusal{"Korvo's list of energies in its comment holds " + std::to_string(s.energies->size()) +
                          " energies for " + std::to_string(n) + " points",
                      countLine};
    in.skip(2 * std::int64_t(s.variables), "the minimum or maximum ordinate value");
    b.points.reserve(std::size_t(std::min<std::uint64_t>(n, 1u << 20)));
    for (std::int32_t i = 0; i < values; ++i) {
        const double v = in.real([i, values] {
            return "ordinate value " + std::to_string(i + 1) + " of " + std::to_string(values);
        });
        if (!layout.irregular) {
            if (i % s.variables == 0) b.points.push_back({0, v});
        } else if (i % s.variables == 0) {
            b.points.push_back({v, 0});
        } else if (i % s.variables == 1) {
            b.points.back().y = v;
        }
    }
    if (layout.irregular) return;

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
    for (std::size_t i = 0; i < n; ++i) {
        b.points[i].x = x0 + double(i) * dx;
        if (!std::isfinite(b.points[i].x))
            throw Refusal{"its abscissa runs beyond the number range: point " + std::to_string(i + 1) +
                              " of " + std::to_string(n) + " would lie at " + shortest(x0) + " + " +
                              std::to_string(i) + " x " + shortest(dx),
                          s.abscissaLine};
    }
}

// The format line. Blank lines before it are what editors and other programs leave in front of it
// (a byte order mark the line reader takes away).
void readFormatLine(Lines& in) {
    std::string_view format = in.value("the format line");
    while (format.empty()) format = in.value("the format line");
    if (format == kVamasFormatLine) return;
    throw Refusal{"this is not a VAMAS file: its first " +
                      std::string(in.line() > 1 ? "line that is not blank" : "line") + " is " +
                      quotedToken(format) + ", not \"" + std::string(kVamasFormatLine.substr(0, 40)) +
                      "...\"",
                  in.line()};
}

Layout readHeader(Lines& in, VamasExperiment& e, std::int32_t& blocks, const VamasReadLimits& limits,
                  TextBudget& budget) {
    readFormatLine(in);
    e.institution = in.text("the institution");
    e.instrument = in.text("the instrument model");
    e.operatorId = in.text("the operator");
    e.experimentId = in.text("the experiment identifier");
    const std::int32_t comments = in.count("the number of comment lines");
    for (std::int32_t i = 0; i < comments; ++i) {
        const std::string_view line = in.raw("a comment line");
        budget.take(line.size(), in.line());
        e.comment.push_back(utf8(line));
    }
    const std::string_view mode = in.value("the experiment mode");
    if (mode != "NORM")
        throw Refusal{oneOf(mode, kExperimentModes) ? "the experiment mode " + quotedToken(mode) +
                                                          " is not read; only NORM spectra can be loaded"
                                                    : quotedToken(mode) + " is no experiment mode",
                      in.line()};
    const std::string_view scan = in.value("the scan mode");
    if (scan != "REGULAR" && scan != "IRREGULAR")
        throw Refusal{scan == "MAPPING" ? "the scan mode " + quotedToken(scan) +
                                              " is not read; only REGULAR and IRREGULAR scans can be loaded"
                                        : quotedToken(scan) + " is no scan mode",
                      in.line()};
    Layout layout;
    layout.irregular = scan == "IRREGULAR";
    in.count("the number of spectral regions");
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
        TextBudget budget;
        const Layout layout = readHeader(in, r.experiment, blocks, limits, budget);
        BlockState first, state;
        std::uint64_t pointsLeft = limits.maxPoints;
        for (block = 1; block <= blocks; ++block) {
            // A later block starts from the first one's values (without its points).
            if (block > 1) {
                budget.take(first.block, in.line());
                state = first;
            }
            BlockState& s = block == 1 ? first : state;
            readBlock(in, layout, block == 1, s, pointsLeft, budget);
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

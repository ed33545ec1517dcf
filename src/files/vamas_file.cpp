#include "files/vamas_file.h"

#include "common/number_text.h"
#include "files/vamas_format.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>
#include <optional>

namespace korvo {

using namespace vamas;

namespace {

constexpr const char* kEol = "\r\n";
constexpr int kMaxDecimals = 15;
constexpr std::size_t kEnergyLineWidth = 80; // the standard's line length

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
    integer(std::int64_t(b.parameters.size()));
    for (const VamasParameter& p : b.parameters) {
        put(out, p.label);
        put(out, p.units);
        put(out, p.value);
    }
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

} // namespace korvo

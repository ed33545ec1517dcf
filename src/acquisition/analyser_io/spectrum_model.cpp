#include "acquisition/analyser_io/spectrum_model.h"

#include "common/file_util.h"
#include "common/number_text.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace korvo {

SpectrumModel SpectrumModel::lines(std::vector<Peak> peaks, double background, double slope) {
    SpectrumModel m;
    m.peaks_ = std::move(peaks);
    m.background_ = background;
    m.slope_ = slope;
    return m;
}

SpectrumModel SpectrumModel::standard() {
    // Kinetic energies of a sample at a soft X-ray beamline: a shallow level, a spin-orbit pair,
    // a carbon-like and an oxygen-like line. Widths as a moderately resolved analyser gives them.
    SpectrumModel m = lines(
        {
            {35.0, 4000, 1.4, 0.2, 0.06},
            {84.0, 9000, 0.8, 0.3, 0.05},
            {87.7, 6800, 0.8, 0.3, 0.05},
            {285.0, 5000, 1.2, 0.2, 0.08},
            {531.0, 7000, 1.5, 0.2, 0.10},
        },
        1300, -0.6);
    m.tailHeight_ = 60000;
    m.tailDecay_ = 8;
    return m;
}

double SpectrumModel::rate(double e) const {
    if (!std::isfinite(e)) return 0;
    if (!table_.empty()) {
        if (e < table_.front().first || e > table_.back().first) return 0;
        auto hi = std::lower_bound(table_.begin(), table_.end(), e,
                                   [](const auto& p, double v) { return p.first < v; });
        if (hi == table_.begin()) return hi->second;
        auto lo = hi - 1;
        double t = (e - lo->first) / (hi->first - lo->first);
        return lo->second + t * (hi->second - lo->second);
    }
    double r = background_ + slope_ * e;
    if (tailHeight_ > 0 && e >= 0) r += tailHeight_ * std::exp(-e / tailDecay_);
    for (const Peak& p : peaks_) {
        double w = std::max(p.fwhm, 1e-6);
        double d = (e - p.centre) / w;
        double gauss = std::exp(-4 * std::numbers::ln2 * d * d);
        double lorentz = 1 / (1 + 4 * d * d);
        r += p.height * ((1 - p.lorentzFraction) * gauss + p.lorentzFraction * lorentz);
        // Loss electrons appear below the line, rising over about one line width.
        if (p.stepFraction > 0) r += p.height * p.stepFraction * 0.5 * std::erfc(2 * d);
    }
    return std::max(r, 0.0);
}

namespace {

std::string tooLarge() {
    return "Spectrum model: the text is larger than " + std::to_string(SpectrumModel::kMaxFileBytes >> 20) +
           " MB";
}

// A cell as it goes into a message: shortened, control bytes shown as '?'.
std::string shown(std::string_view cell) {
    std::string out;
    for (char c : cell.substr(0, 40)) out += static_cast<unsigned char>(c) < 0x20 || c == 0x7F ? '?' : c;
    if (cell.size() > 40) out += "...";
    return out;
}

} // namespace

std::optional<SpectrumModel> SpectrumModel::parseText(std::string_view text, std::string* error) {
    auto fail = [&](std::size_t line, const std::string& why) -> std::optional<SpectrumModel> {
        if (error) *error = "Spectrum model, line " + std::to_string(line) + ": " + why;
        return std::nullopt;
    };
    if (text.size() > kMaxFileBytes) {
        if (error) *error = tooLarge();
        return std::nullopt;
    }
    SpectrumModel m;
    std::size_t lineNo = 0;
    while (!text.empty()) {
        const std::size_t lf = text.find('\n');
        std::string_view line = text.substr(0, lf);
        text.remove_prefix(lf == std::string_view::npos ? text.size() : lf + 1);
        ++lineNo;
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        // Only the first two cells are kept; the others are counted for the message.
        std::string_view cells[2];
        std::size_t count = 0;
        for (std::size_t i = 0; i < line.size();) {
            const auto separator = [&](std::size_t k) {
                return line[k] == ' ' || line[k] == '\t' || line[k] == ';';
            };
            if (separator(i)) {
                ++i;
                continue;
            }
            const std::size_t start = i;
            while (i < line.size() && !separator(i)) ++i;
            if (count < 2) cells[count] = line.substr(start, i - start);
            ++count;
        }
        if (count == 0 || cells[0].front() == '#') continue;
        if (count != 2)
            return fail(lineNo, "expected two columns (energy in eV, count rate in counts/s), found " +
                                    std::to_string(count));
        auto energy = text::parseDouble(cells[0]);
        auto countRate = text::parseDouble(cells[1]);
        if (!energy) return fail(lineNo, "energy \"" + shown(cells[0]) + "\" is not a number");
        if (!countRate) return fail(lineNo, "count rate \"" + shown(cells[1]) + "\" is not a number");
        if (*countRate < 0) return fail(lineNo, "count rate " + shown(cells[1]) + " is negative");
        if (!m.table_.empty() && *energy <= m.table_.back().first)
            return fail(lineNo, "energies must rise from line to line");
        m.table_.emplace_back(*energy, *countRate);
    }
    if (m.table_.size() < 2) {
        if (error) *error = "Spectrum model: at least two points (energy, count rate) are needed";
        return std::nullopt;
    }
    return m;
}

std::optional<SpectrumModel> SpectrumModel::parse(std::istream& in, std::string* error) {
    std::string text;
    char buf[65536];
    while (in.read(buf, sizeof buf) || in.gcount() > 0) {
        if (text.size() + static_cast<std::size_t>(in.gcount()) > kMaxFileBytes) {
            if (error) *error = tooLarge();
            return std::nullopt;
        }
        text.append(buf, static_cast<std::size_t>(in.gcount()));
    }
    return parseText(text, error);
}

std::optional<SpectrumModel> SpectrumModel::load(const std::string& path, std::string* error) {
    // Regular files only, opened without blocking and read up to the limit: "/dev/zero" would
    // otherwise fill the memory and a FIFO without a writer would hang the start for ever.
    std::string why;
    const auto bytes = readFile(path, &why, kMaxFileBytes);
    if (!bytes) {
        if (error) *error = "Spectrum model: " + why;
        return std::nullopt;
    }
    auto m = parseText(*bytes, error);
    if (!m && error) *error += " (" + path + ")";
    return m;
}

} // namespace korvo

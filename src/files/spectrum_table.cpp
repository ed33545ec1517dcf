#include "files/spectrum_table.h"

#include "common/number_text.h"
#include "common/text_codec.h"
#include "files/measurement_data.h"
#include "files/spectrum_format.h"

#include <cmath>
#include <string_view>

namespace korvo {
namespace {

constexpr const char* kTableEol = "\r\n";

// Counts are whole numbers; a table from elsewhere may hold fractions, which keep their digits.
std::string countText(double v) {
    return v == std::nearbyint(v) && std::fabs(v) < 1e10 ? formatCount(v) : text::formatGeneral(v);
}

} // namespace

std::uint8_t headerMachineMode(const std::vector<std::string>& headerLines) {
    static constexpr std::string_view kLabel = "Fileform:";
    for (const std::string& line : headerLines) {
        if (line.compare(0, kLabel.size(), kLabel) != 0) continue;
        std::string_view name = std::string_view(line).substr(kLabel.size());
        while (!name.empty() && (name.front() == ' ' || name.front() == '\t')) name.remove_prefix(1);
        while (!name.empty() && (name.back() == ' ' || name.back() == '\t')) name.remove_suffix(1);
        for (std::uint8_t mode : {ModeClam, ModeCfs, ModeCis, ModeKeithley})
            if (name == machineModeName(mode)) return mode;
        // The test mode writes the label with nothing after it.
        return name.empty() ? ModeOff : 0;
    }
    return 0;
}

std::vector<ColumnRole> columnRoles(std::uint8_t machineMode, std::size_t columns) {
    std::vector<ColumnRole> roles;
    if (columns == 0) return roles;
    roles.push_back(ColumnRole::Energy);
    const std::size_t values = columns - 1;
    std::size_t leading = 0;
    if (machineMode == ModeKeithley) {
        for (ColumnRole role : {ColumnRole::Reading, ColumnRole::ElapsedTime})
            if (leading < values) roles.push_back(role), ++leading;
    } else if (machineMode != 0) {
        if (values >= 1) roles.push_back(ColumnRole::Counts), ++leading;
        if (values >= 10)
            for (int c = 0; c < 9; ++c) roles.push_back(ColumnRole::Channel), ++leading;
    }
    const ColumnRole rest = machineMode == 0 ? ColumnRole::Value : ColumnRole::AddOn;
    for (std::size_t i = leading; i < values; ++i) roles.push_back(rest);
    return roles;
}

std::string spectrumTableText(const SpectrumTable& t) {
    const auto encoded = [&t](const std::string& line) { return t.utf8 ? line : utf8ToWindows1252(line); };
    std::string out;
    for (const std::string& line : t.headerLines) out += encoded(line) + kTableEol;
    if (t.beginLine) out += encoded(*t.beginLine) + kTableEol;
    const std::vector<ColumnRole> roles = columnRoles(headerMachineMode(t.headerLines), t.columns.size());
    const std::size_t rows = t.rows();
    out.reserve(out.size() + rows * (t.columns.size() * 8 + 4));
    for (std::size_t r = 0; r < rows; ++r) {
        for (std::size_t c = 0; c < t.columns.size(); ++c) {
            const double v = t.columns[c][r];
            if (c > 0) out += ' ';
            switch (roles[c]) {
            case ColumnRole::Energy:
                out += t.xDecimals >= 0 ? formatEnergy(v, t.xDecimals) : text::formatGeneral(v);
                break;
            case ColumnRole::Counts:
            case ColumnRole::Channel:
                out += countText(v);
                break;
            default:
                out += text::formatGeneral(v);
                break;
            }
        }
        out += kTableEol;
    }
    if (t.endLine) out += encoded(*t.endLine) + kTableEol;
    return out;
}

SpectrumTableResult readSpectrumTableSource(SpectrumByteSource& source, std::string_view shortName) {
    SpectrumTableResult r;
    r.read = readSpectrumSource(source, shortName, &r.table);
    if (!r.read) r.table = {};
    return r;
}

SpectrumTableResult readSpectrumTableFile(const std::string& path) {
    SpectrumTableResult r;
    r.read = readSpectrumFile(path, &r.table);
    if (!r.read) r.table = {};
    return r;
}

SpectrumFileData spectrumFileDataOf(const SpectrumTable& t, std::string_view shortName) {
    SpectrumFileData d;
    d.fileName = std::string(shortName);
    std::vector<std::string> lines = t.headerLines;
    if (t.beginLine) lines.push_back(*t.beginLine);
    matchSpectrumHeader(lines, d);
    d.headerLines = t.beginLine ? static_cast<int>(lines.size()) : 0;
    d.endFound = t.endLine.has_value();
    const std::size_t rows = t.rows();
    d.points.resize(rows);
    for (std::size_t r = 0; r < rows; ++r)
        d.points[r] = {t.columns[0][r], t.columns.size() > 1 ? t.columns[1][r] : 0.0};
    d.channelTotals = channelTotalsOf(t);
    return d;
}

std::optional<std::array<double, 9>> channelTotalsOf(const SpectrumTable& t) {
    // As the reader takes them: columns 3 to 11 of every row, counts that are no negative numbers.
    if (t.columns.size() < 11 || t.rows() == 0) return std::nullopt;
    std::array<double, 9> totals{};
    for (std::size_t c = 0; c < 9; ++c)
        for (double v : t.columns[c + 2]) {
            if (!(v >= 0) || !std::isfinite(v)) return std::nullopt;
            totals[c] += v;
        }
    return totals;
}

} // namespace korvo

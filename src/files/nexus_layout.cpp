#include "files/nexus_layout.h"

#include "files/measurement_data.h"

#include <cmath>

namespace korvo::nexus {
namespace {

struct RoleName {
    ColumnRole role;
    const char* name;
};
constexpr RoleName kRoles[] = {{ColumnRole::Energy, "energy"},           {ColumnRole::Counts, "counts"},
                               {ColumnRole::Channel, "channel"},         {ColumnRole::Reading, "reading"},
                               {ColumnRole::ElapsedTime, "elapsed_time"}, {ColumnRole::AddOn, "electrometer_addon"},
                               {ColumnRole::Value, "value"}};

std::string problemAt(const NexusValue& v, const std::string& where) {
    if (v.shape.size() > 2) return where + " has more than two dimensions";
    std::uint64_t n = 1;
    for (std::uint64_t d : v.shape) n *= d;
    const std::size_t have = v.isText() ? v.texts.size() : v.numbers.size();
    if (have != n) return where + " has " + std::to_string(have) + " values for its shape of " + std::to_string(n);
    if (v.isText() && !v.numbers.empty()) return where + " holds texts and numbers";
    return {};
}

std::string groupProblem(const NexusGroupData& g, const std::string& where, int depth) {
    if (depth > kMaxAdditionDepth) return where + " is nested too deep";
    for (const auto& [name, value] : g.attributes) {
        if (name.empty() || name.find('/') != std::string::npos) return where + " has an attribute without a plain name";
        if (std::string why = problemAt(value, where + "@" + name); !why.empty()) return why;
    }
    for (const NexusField& f : g.fields) {
        if (!isPlainName(f.name)) return where + " has a field without a plain name";
        if (std::string why = problemAt(f.value, where + "/" + f.name); !why.empty()) return why;
        for (const auto& [name, value] : f.attributes)
            if (std::string why = problemAt(value, where + "/" + f.name + "@" + name); !why.empty()) return why;
    }
    for (const NexusGroupData& sub : g.groups) {
        if (!isPlainName(sub.name)) return where + " has a group without a plain name";
        if (std::string why = groupProblem(sub, where + "/" + sub.name, depth + 1); !why.empty()) return why;
    }
    return {};
}

} // namespace

const char* roleName(ColumnRole role) {
    for (const RoleName& r : kRoles)
        if (r.role == role) return r.name;
    return "value";
}

std::optional<ColumnRole> roleNamed(std::string_view name) {
    for (const RoleName& r : kRoles)
        if (name == r.name) return r.role;
    return std::nullopt;
}

Layout layoutOf(const std::vector<ColumnRole>& roles, bool photonAxis) {
    Layout l;
    l.photonAxis = photonAxis;
    for (std::size_t c = 1; c < roles.size(); ++c) {
        const ColumnRole r = roles[c];
        if (!l.signal && (r == ColumnRole::Counts || r == ColumnRole::Reading || r == ColumnRole::Value)) {
            l.signal = c;
            l.signalUnits = r == ColumnRole::Reading ? "a.u." : "counts";
        } else if (r == ColumnRole::Channel) {
            l.channels.push_back(c);
        } else {
            l.extras.push_back(c);
        }
    }
    // Nine channel columns or none: a file of another making keeps them all among the extras.
    if (!l.channels.empty() && l.channels.size() != 9) {
        l.extras.insert(l.extras.end(), l.channels.begin(), l.channels.end());
        l.channels.clear();
    }
    return l;
}

Layout layoutOf(std::uint8_t machineMode, const std::vector<ColumnRole>& roles) {
    return layoutOf(roles, photonScanning(machineMode));
}

bool isPlainName(std::string_view name) {
    return !name.empty() && name != "." && name != ".." && name.find('/') == std::string_view::npos &&
           name.size() <= 200;
}

std::string tableProblem(const NexusSpectrum& s) {
    const SpectrumTable& t = s.table;
    const std::string spectrum = "Spectrum " + s.name;
    if (t.rows() == 0) return spectrum + " has no points.";
    for (const auto& column : t.columns)
        if (column.size() != t.rows()) return spectrum + " has columns of different lengths.";
    for (std::size_t r = 0; r < t.rows(); ++r)
        for (const auto& column : t.columns)
            if (!std::isfinite(column[r]))
                return spectrum + ", point " + std::to_string(r + 1) + ": a value that is not a finite number.";
    if (s.channelTotals)
        for (double v : *s.channelTotals)
            if (!std::isfinite(v)) return spectrum + ": a channel total that is not a finite number.";
    return {};
}

std::string additionProblem(const NexusGroupData& g) {
    if (!isPlainName(g.name)) return "an addition without a plain name";
    return groupProblem(g, g.name, 0);
}

} // namespace korvo::nexus

// The NeXus reader: Korvo's own entries back into their spectrum files, other programs' NXmpes and
// NXxps entries into spectra with header lines made from their values.
#include "common/number_text.h"
#include "files/measurement_data.h"
#include "files/nexus_access.h"
#include "files/nexus_file.h"
#include "files/nexus_foreign.h"
#include "files/nexus_layout.h"
#include "files/nexus_part.h"

#include <algorithm>
#include <cctype>
#include <cmath>

namespace korvo {
namespace {

using h5::Object;

constexpr std::size_t kMaxRootLinks = 10'000;
constexpr std::size_t kMaxGroupLinks = 1'000;
constexpr std::size_t kMaxHeaderLines = 100'000;
constexpr std::size_t kMaxAttributes = 64;
constexpr std::uint64_t kMaxAdditionValues = 4'000'000;

std::string tooManySpectra(const NexusReadLimits& limits) {
    return "it holds more than the " + std::to_string(limits.maxSpectra) + " spectra there is room for";
}

std::string lower(std::string_view s) {
    std::string out(s);
    for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return out;
}

class Reader {
public:
    Reader(h5::FileReader& file, std::string_view shortName, const NexusReadLimits& limits)
        : file_(file), shortName_(shortName), limits_(limits),
          valuesLeft_(limits.maxTotalValues) {}

    // The entries of slice `part` of `parts` of the root's links (in natural order).
    nexus::ReadPart read(std::size_t part, std::size_t parts) {
        nexus::ReadPart out;
        NexusReadResult& r = out.result;
        Object root = file_.root();
        std::vector<std::string> names;
        if (!root.id || !file_.linkNames(root, kMaxRootLinks, names, error_)) return refuse(out);
        out.rootNames.assign(names.begin(), names.begin() + std::ptrdiff_t(std::min<std::size_t>(names.size(), 8)));
        const std::size_t from = names.size() * part / parts, to = names.size() * (part + 1) / parts;
        for (std::size_t i = from; i < to; ++i) {
            const std::string& name = names[i];
            std::optional<Object> e = child(root, name);
            if (!error_.empty()) return refuse(out);
            if (!e || !e->group || nxClass(*e) != "NXentry") {
                if (!error_.empty()) return refuse(out);
                continue;
            }
            ++out.entries;
            if (std::optional<std::string> owner = text(*e, nexus::kBelongsTo)) {
                NexusGroupData g;
                if (!group(*e, name, 0, g)) return refuse(out);
                out.additions.emplace_back(std::move(*owner), std::move(g));
                continue;
            }
            if (!error_.empty()) return refuse(out);
            if (r.spectra.size() >= limits_.maxSpectra) {
                error_ = tooManySpectra(limits_);
                return refuse(out);
            }
            NexusSpectrum s;
            s.entryName = name;
            if (!entry(*e, s)) return refuse(out);
            r.spectra.push_back(std::move(s));
        }
        out.values = limits_.maxTotalValues - valuesLeft_;
        return out;
    }

private:
    nexus::ReadPart refuse(nexus::ReadPart& out) {
        out.result.spectra.clear();
        out.additions.clear();
        out.result.error = nexus::refusal(shortName_, error_);
        return std::move(out);
    }

    // A child by name; a refused link sets error_.
    std::optional<Object> child(const Object& parent, std::string_view name) {
        std::string why;
        std::optional<Object> o = file_.child(parent, name, why);
        if (!why.empty()) error_ = why;
        return o;
    }
    std::optional<Object> childGroup(const Object& parent, std::string_view name) {
        std::optional<Object> o = child(parent, name);
        return o && o->group ? std::move(o) : std::nullopt;
    }
    std::optional<Object> childField(const Object& parent, std::string_view name) {
        std::optional<Object> o = child(parent, name);
        return o && !o->group ? std::move(o) : std::nullopt;
    }

    // An attribute's text; a missing or unreadable one gives nothing (error_ only for a refusal).
    std::optional<std::string> text(const Object& o, const std::string& name) {
        std::string why;
        std::optional<std::string> t = file_.textAttribute(o, name, why);
        if (!why.empty()) error_ = why;
        return t;
    }
    std::string nxClass(const Object& o) { return text(o, "NX_class").value_or(""); }

    // One text of a field; nothing when it is missing or holds none.
    std::optional<std::string> fieldText(const Object& parent, std::string_view name) {
        std::optional<Object> f = childField(parent, name);
        if (!f) return std::nullopt;
        std::vector<std::string> texts;
        h5::Shape s;
        std::string why;
        if (!file_.texts(*f, 1, texts, s, why) || texts.size() != 1) return std::nullopt;
        return texts.front();
    }
    // A small value of Korvo's collection: an attribute of it, or in files of older versions a field.
    // Like a field, one that cannot be read counts as missing.
    std::optional<std::string> noteText(const Object& note, const char* name) {
        std::string why;
        if (std::optional<std::string> a = file_.textAttribute(note, name, why)) return a;
        if (!why.empty()) return std::nullopt;
        return fieldText(note, name);
    }
    std::optional<double> noteNumber(const Object& note, const char* name) {
        std::string why;
        if (std::optional<std::vector<double>> a = file_.numbersAttribute(note, name, 1, why)) {
            if (a->size() == 1 && std::isfinite(a->front())) return a->front();
            return std::nullopt;
        }
        if (!why.empty()) return std::nullopt;
        return fieldNumber(note, name);
    }

    std::optional<double> fieldNumber(const Object& parent, std::string_view name) {
        std::optional<Object> f = childField(parent, name);
        if (!f) return std::nullopt;
        std::vector<double> v;
        h5::Shape s;
        std::string why;
        if (!file_.numbers(*f, 1, v, s, why) || v.size() != 1 || !std::isfinite(v.front())) return std::nullopt;
        if (const auto units = text(*f, "units")) v.front() *= nexus::energyFactor(*units).value_or(1);
        return v.front();
    }

    // A one-dimensional field of numbers, all finite, of `length` points when length is given.
    // With `width` > 0: rows of that many numbers.
    bool column(const Object& parent, std::string_view name, std::vector<double>& out, std::optional<std::size_t> length,
                std::size_t width = 0) {
        std::optional<Object> f = childField(parent, name);
        if (!error_.empty()) return false;
        if (!f) {
            error_ = (parent.path == "/" ? "" : parent.path) + "/" + std::string(name) + ": missing";
            return false;
        }
        return values(*f, out, length, width);
    }
    bool values(const Object& f, std::vector<double>& out, std::optional<std::size_t> length, std::size_t width) {
        h5::Shape s;
        const std::uint64_t most =
            std::min<std::uint64_t>(valuesLeft_, std::uint64_t(limits_.maxPoints) * std::max<std::size_t>(width, 1));
        if (!file_.numbers(f, most, out, s, error_)) return false;
        const bool shaped = width == 0 ? s.dims.size() == 1 : s.dims.size() == 2 && s.dims[1] == width;
        if (!shaped) {
            error_ = f.path + ": " + s.text() + " values where " +
                     (width == 0 ? std::string("one row of them") : "rows of " + std::to_string(width)) + " belong";
            return false;
        }
        if (length && s.dims[0] != *length) {
            error_ = f.path + ": " + std::to_string(s.dims[0]) + " points, the spectrum's other fields " +
                     std::to_string(*length);
            return false;
        }
        for (std::size_t i = 0; i < out.size(); ++i)
            if (!std::isfinite(out[i])) {
                error_ = f.path + ": value " + std::to_string(i + 1) + " is not a finite number";
                return false;
            }
        valuesLeft_ -= out.size();
        return true;
    }

    bool entry(const Object& e, NexusSpectrum& s) {
        s.name = fieldText(e, "title").value_or("");
        if (!error_.empty()) return false;
        std::optional<Object> note = childGroup(e, nexus::kKorvoGroup);
        if (!error_.empty()) return false;
        const bool korvo = note && nxClass(*note) == "NXcollection";
        if (!error_.empty()) return false;
        return korvo ? korvoEntry(e, *note, s) : foreignEntry(e, s);
    }

    bool korvoEntry(const Object& e, const Object& note, NexusSpectrum& s) {
        SpectrumTable& t = s.table;
        h5::Shape shape;
        std::optional<Object> lines = childField(note, "header_lines");
        if (!error_.empty()) return false;
        if (!lines) {
            error_ = note.path + "/header_lines: missing";
            return false;
        }
        if (!file_.texts(*lines, kMaxHeaderLines, t.headerLines, shape, error_)) return false;
        t.beginLine = noteText(note, "begin_line");
        t.endLine = noteText(note, "end_line");
        t.utf8 = noteText(note, "text_encoding").value_or("") == "utf-8";
        const double decimals = noteNumber(note, "energy_decimals").value_or(-1);
        t.xDecimals = decimals >= 0 && decimals <= 15 && decimals == std::floor(decimals) ? int(decimals) : -1;
        if (!error_.empty()) return false;
        std::vector<std::string> roleNames;
        const std::string rolesPath = note.path + "/column_roles";
        if (std::optional<std::vector<std::string>> a = file_.textsAttribute(note, "column_roles", error_)) {
            roleNames = std::move(*a);
            if (roleNames.size() > 64) error_ = rolesPath + ": more than 64 columns";
        } else if (error_.empty()) {
            std::optional<Object> rolesField = childField(note, "column_roles");
            if (!error_.empty()) return false;
            if (!rolesField || !file_.texts(*rolesField, 64, roleNames, shape, error_)) {
                if (error_.empty()) error_ = rolesPath + ": missing";
                return false;
            }
        }
        if (!error_.empty()) return false;
        std::vector<ColumnRole> roles;
        for (const std::string& n : roleNames) {
            const std::optional<ColumnRole> role = nexus::roleNamed(n);
            if (!role || (roles.empty() != (*role == ColumnRole::Energy))) {
                error_ = rolesPath + ": \"" + n.substr(0, 40) + "\" is no column Korvo writes there";
                return false;
            }
            roles.push_back(*role);
        }
        if (roles.empty()) {
            error_ = rolesPath + ": no columns";
            return false;
        }
        const nexus::Layout layout = nexus::layoutOf(headerMachineMode(t.headerLines), roles);
        std::optional<Object> data = childGroup(e, "data");
        if (!data) {
            if (error_.empty()) error_ = e.path + "/data: missing";
            return false;
        }
        t.columns.assign(roles.size(), {});
        if (!column(*data, layout.photonAxis ? "photon_energy" : "energy", t.columns[0], std::nullopt)) return false;
        const std::size_t n = t.columns[0].size();
        std::vector<double> signal;
        if (!column(*data, "data", signal, n)) return false;
        if (layout.signal) t.columns[*layout.signal] = std::move(signal);
        const auto spread = [&t, n](const std::vector<double>& rows, const std::vector<std::size_t>& into) {
            for (std::size_t c = 0; c < into.size(); ++c) {
                auto& col = t.columns[into[c]];
                col.resize(n);
                for (std::size_t r = 0; r < n; ++r) col[r] = rows[r * into.size() + c];
            }
        };
        if (!layout.channels.empty()) {
            std::optional<Object> raw = groupAt(e, {"instrument", "electronanalyser", "detector", "raw_data"});
            std::vector<double> rows;
            if (!raw) {
                if (error_.empty()) error_ = e.path + "/instrument/electronanalyser/detector/raw_data: missing";
                return false;
            }
            if (!column(*raw, "raw", rows, n, 9)) return false;
            spread(rows, layout.channels);
        }
        if (!layout.extras.empty()) {
            std::vector<double> rows;
            if (!column(note, "extra_columns", rows, n, layout.extras.size())) return false;
            spread(rows, layout.extras);
        }
        std::vector<double> totals;
        if (std::optional<Object> f = childField(note, "channel_totals")) {
            if (!values(*f, totals, 9, 0)) return false;
            s.channelTotals.emplace();
            std::copy(totals.begin(), totals.end(), s.channelTotals->begin());
        }
        if (!limits_.allColumns && t.columns.size() > 2) {
            if (const auto totals = channelTotalsOf(t)) s.channelTotals = totals;
            t.columns.resize(2);
        }
        if (s.name.empty()) s.name = s.entryName;
        return error_.empty();
    }

    std::optional<Object> groupAt(const Object& from, std::initializer_list<std::string_view> names) {
        std::optional<Object> at;
        const Object* parent = &from;
        for (std::string_view n : names) {
            at = childGroup(*parent, n);
            if (!at) return std::nullopt;
            parent = &*at;
        }
        return at;
    }

    // The first subgroup of class `cls` (natural order of names).
    std::optional<Object> groupOfClass(const Object& parent, const std::string& cls) {
        std::vector<std::string> names;
        std::string why;
        if (!file_.linkNames(parent, kMaxGroupLinks, names, why)) {
            error_ = why;
            return std::nullopt;
        }
        for (const std::string& n : names) {
            std::optional<Object> g = childGroup(parent, n);
            if (!error_.empty()) return std::nullopt;
            if (g && nxClass(*g) == cls) return g;
        }
        return std::nullopt;
    }

    bool foreignEntry(const Object& e, NexusSpectrum& s) {
        std::optional<Object> data;
        if (const std::optional<std::string> def = text(e, "default")) data = childGroup(e, *def);
        if (!error_.empty()) return false;
        if (!data || nxClass(*data) != "NXdata") data = groupOfClass(e, "NXdata");
        if (!error_.empty()) return false;
        if (!data) {
            error_ = e.path + ": no NXdata group, so no spectrum";
            return false;
        }
        nexus::ForeignEntry f;
        const std::optional<std::string> signalName = text(*data, "signal");
        if (!error_.empty()) return false;
        f.signalName = signalName.value_or("data");
        std::optional<Object> signal = childField(*data, f.signalName);
        if (!error_.empty()) return false;
        if (!signal) {
            error_ = data->path + ": no signal (" +
                     (signalName ? "its @signal names \"" + f.signalName.substr(0, 40) + "\", which is not there"
                                 : std::string("no @signal attribute and no field \"data\"")) +
                     ")";
            return false;
        }
        h5::Shape shape;
        if (!file_.shape(*signal, shape, error_)) return false;
        if (shape.dims.size() != 1) {
            error_ = signal->path + ": a signal of " +
                     (shape.dims.empty() ? std::string("one value") : "rank " + std::to_string(shape.dims.size()) + " (" + shape.text() + ")") +
                     "; Korvo reads spectra of one dimension";
            return false;
        }
        f.axisName = axisName(*data, f.signalName);
        if (!error_.empty()) return false;
        std::optional<Object> axis = f.axisName.empty() ? std::nullopt : childField(*data, f.axisName);
        if (!error_.empty()) return false;
        if (!axis) {
            error_ = signal->path + ": the signal has no axis" +
                     (f.axisName.empty() ? std::string() : " (\"" + f.axisName.substr(0, 40) + "\" is not there)");
            return false;
        }
        f.axisUnits = text(*axis, "units").value_or("");
        f.axisType = text(*axis, "type").value_or("");
        if (!error_.empty()) return false;
        if (!nexus::isEnergyAxis(f.axisName, f.axisUnits)) {
            error_ = axis->path + ": the axis is no energy (units \"" + f.axisUnits.substr(0, 20) +
                     "\"); Korvo reads spectra over an energy";
            return false;
        }
        if (!values(*axis, f.x, std::nullopt, 0)) return false;
        if (!values(*signal, f.y, f.x.size(), 0)) {
            if (error_.find("points, the spectrum's") != std::string::npos)
                error_ = signal->path + ": " + std::to_string(shape.dims[0]) + " points, its axis " +
                         axis->path + " " + std::to_string(f.x.size());
            return false;
        }
        if (f.x.empty()) {
            error_ = signal->path + ": no points";
            return false;
        }
        f.title = fieldText(e, "title").value_or("");
        f.startTime = fieldText(e, "start_time").value_or("");
        if (std::optional<Object> sample = groupOfClass(e, "NXsample")) f.sample = fieldText(*sample, "name").value_or("");
        if (std::optional<Object> instrument = groupOfClass(e, "NXinstrument")) {
            if (std::optional<Object> beam = groupOfClass(*instrument, "NXbeam"))
                f.photonEnergy = fieldNumber(*beam, "incident_energy");
            if (std::optional<Object> analyser = groupOfClass(*instrument, "NXelectronanalyser")) {
                f.workFunction = fieldNumber(*analyser, "work_function");
                if (std::optional<Object> dispersion = groupOfClass(*analyser, "NXenergydispersion"))
                    f.passEnergy = fieldNumber(*dispersion, "pass_energy");
            }
        }
        if (!error_.empty()) return false;
        f.fileName = std::string(shortName_);
        f.entryName = s.entryName;
        nexus::foreignSpectrum(std::move(f), s);
        return true;
    }

    // The axis of a one-dimensional signal: @axes of the group (one name, or the first of a list),
    // else the usual names of an energy axis.
    std::string axisName(const Object& data, const std::string& signal) {
        std::string why;
        if (std::optional<std::vector<std::string>> axes = file_.textsAttribute(data, "axes", why)) {
            std::vector<std::string> names;
            for (const std::string& a : *axes) {
                // An old spelling: "energy:angle" in one text.
                std::size_t start = 0;
                for (std::size_t end; (end = a.find_first_of(":,", start)) != std::string::npos; start = end + 1)
                    names.push_back(a.substr(start, end - start));
                names.push_back(a.substr(start));
            }
            if (!names.empty() && names.front() != ".") return names.front();
        }
        for (const char* name : {"energy", "kinetic_energy", "binding_energy", "photon_energy"})
            if (name != signal && childField(data, name)) return name;
        return {};
    }

    // An addition entry as plain data, at most kMaxAdditionDepth groups deep.
    bool group(const Object& g, const std::string& name, int depth, NexusGroupData& out) {
        if (depth > nexus::kMaxAdditionDepth) {
            error_ = g.path + ": groups nested more than " + std::to_string(nexus::kMaxAdditionDepth) + " deep";
            return false;
        }
        out.name = name;
        out.nxClass = nxClass(g);
        if (!attributes(g, out.attributes, {"NX_class", nexus::kBelongsTo})) return false;
        std::vector<std::string> names;
        if (!file_.linkNames(g, kMaxGroupLinks, names, error_)) return false;
        for (const std::string& n : names) {
            std::optional<Object> o = child(g, n);
            if (!error_.empty()) return false;
            if (!o) continue;
            if (o->group) {
                NexusGroupData sub;
                if (!group(*o, n, depth + 1, sub)) return false;
                out.groups.push_back(std::move(sub));
                continue;
            }
            NexusField f;
            f.name = n;
            h5::Shape s;
            if (!file_.shape(*o, s, error_)) return false;
            if (s.typeClass == H5T_STRING) {
                if (!file_.texts(*o, 100'000, f.value.texts, s, error_)) return false;
            } else if (!file_.numbers(*o, std::min<std::uint64_t>(valuesLeft_, kMaxAdditionValues), f.value.numbers, s,
                                      error_)) {
                return false;
            }
            valuesLeft_ -= std::min<std::uint64_t>(valuesLeft_, f.value.numbers.size());
            f.value.shape = s.dims;
            if (!attributes(*o, f.attributes, {})) return false;
            out.fields.push_back(std::move(f));
        }
        return true;
    }

    bool attributes(const Object& o, std::vector<std::pair<std::string, NexusValue>>& out,
                    std::initializer_list<std::string_view> leaveOut) {
        std::vector<std::string> names;
        if (!file_.attributeNames(o, kMaxAttributes, names, error_)) return false;
        for (const std::string& n : names) {
            if (std::find(leaveOut.begin(), leaveOut.end(), n) != leaveOut.end()) continue;
            NexusValue v;
            std::string why;
            if (auto texts = file_.textsAttribute(o, n, why)) {
                v.texts = std::move(*texts);
                if (v.texts.size() != 1) v.shape = {v.texts.size()};
            } else if (auto numbers = file_.numbersAttribute(o, n, 4096, why)) {
                v.numbers = std::move(*numbers);
                if (v.numbers.size() != 1) v.shape = {v.numbers.size()};
            } else {
                continue; // of a kind Korvo keeps no value of
            }
            out.emplace_back(n, std::move(v));
        }
        return true;
    }

    h5::FileReader& file_;
    std::string_view shortName_;
    const NexusReadLimits& limits_;
    std::uint64_t valuesLeft_;
    std::string error_;
};

} // namespace

namespace nexus {

std::string refusal(std::string_view shortName, const std::string& why) {
    return "The NeXus file " + std::string(shortName) + " cannot be loaded: " + why + ".";
}

ReadPart readPart(std::string_view bytes, std::string_view shortName, const NexusReadLimits& limits, std::size_t part,
                  std::size_t parts) {
    ReadPart out;
    std::string why;
    if (bytes.size() > limits.maxFileBytes)
        why = "it is larger than " + std::to_string(limits.maxFileBytes >> 20) + " MB";
    else if (!hasHdf5Signature(bytes))
        why = bytes.empty() ? "it is empty" : "it is no HDF5 file (no HDF5 signature)";
    const std::unique_ptr<h5::FileReader> reader = why.empty() ? h5::FileReader::open(bytes, why) : nullptr;
    if (!reader) {
        out.result.error = refusal(shortName, why);
        return out;
    }
    return Reader(*reader, shortName, limits).read(part, std::max<std::size_t>(parts, 1));
}

NexusReadResult joinParts(std::vector<ReadPart> parts, std::string_view shortName, const NexusReadLimits& limits) {
    NexusReadResult r;
    for (ReadPart& p : parts)
        if (!p.result) return std::move(p.result);
    std::uint64_t entries = 0, values = 0;
    for (ReadPart& p : parts) {
        entries += p.entries;
        values += p.values;
        for (NexusSpectrum& s : p.result.spectra) r.spectra.push_back(std::move(s));
    }
    if (entries == 0) {
        const std::vector<std::string> names = parts.empty() ? std::vector<std::string>{} : parts.front().rootNames;
        std::string found;
        for (std::size_t i = 0; i < names.size(); ++i) found += (i ? ", " : "") + names[i];
        r.spectra.clear();
        r.error = refusal(shortName, "no NXentry group in the file" +
                                         (found.empty() ? std::string(" (it is empty)") : " (found: " + found + ")"));
        return r;
    }
    std::string why;
    if (r.spectra.empty())
        why = "no spectrum, only entries that belong to one";
    else if (r.spectra.size() > limits.maxSpectra)
        why = tooManySpectra(limits);
    else if (values > limits.maxTotalValues)
        why = "it holds more than the " + std::to_string(limits.maxTotalValues) + " numbers Korvo reads from one file";
    if (!why.empty()) {
        r.spectra.clear();
        r.error = refusal(shortName, why);
        return r;
    }
    // An addition goes with its spectrum; one whose spectrum is not there is passed over.
    for (ReadPart& p : parts)
        for (auto& [owner, g] : p.additions)
            for (NexusSpectrum& s : r.spectra)
                if (s.entryName == owner) {
                    // Written as "<entry>_<name>": the name it was given is the part after the entry's.
                    if (g.name.size() > owner.size() + 1 && g.name.compare(0, owner.size() + 1, owner + "_") == 0)
                        g.name.erase(0, owner.size() + 1);
                    s.additions.push_back(std::move(g));
                    break;
                }
    return r;
}

} // namespace nexus

std::vector<std::uint64_t> hdf5SignatureOffsets(std::uint64_t size) {
    std::vector<std::uint64_t> offsets;
    for (std::uint64_t at = 0; at + 8 <= size; at = at == 0 ? 512 : at * 2) offsets.push_back(at);
    return offsets;
}

bool hasHdf5Signature(std::string_view bytes) {
    static constexpr std::string_view kSignature("\x89HDF\r\n\x1a\n", 8);
    for (std::uint64_t at : hdf5SignatureOffsets(bytes.size()))
        if (bytes.substr(at, kSignature.size()) == kSignature) return true;
    return false;
}

bool isNexusFileName(std::string_view path) {
    const std::size_t dot = path.find_last_of('.');
    if (dot == std::string_view::npos || path.find_first_of("/\\", dot) != std::string_view::npos) return false;
    const std::string ext = lower(path.substr(dot + 1));
    return ext == "nxs" || ext == "nx5" || ext == "h5" || ext == "hdf5" || ext == "hdf";
}

NexusReadResult readNexusBytes(std::string_view bytes, std::string_view shortName, const NexusReadLimits& limits) {
    std::vector<nexus::ReadPart> whole;
    whole.push_back(nexus::readPart(bytes, shortName, limits, 0, 1));
    return nexus::joinParts(std::move(whole), shortName, limits);
}

} // namespace korvo

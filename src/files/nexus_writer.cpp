// The NeXus writer: each spectrum an NXentry after the NXmpes application definition, the file made
// in memory with HDF5's core driver and written to the disk as every measured file is.
#include "files/header_facts.h"
#include "files/measurement_data.h"
#include "files/nexus_file.h"
#include "files/nexus_hdf5.h"
#include "files/nexus_layout.h"

#include "common/file_util.h"
#include "common/run_log.h"

#include <cmath>
#include <cstring>
#include <ctime>

namespace korvo {
namespace {

using h5::Id;

const char* methodOf(std::uint8_t mode, const std::optional<double>& photon) {
    switch (mode) {
    case ModeCfs:
        return "constant final state spectroscopy (CFS)";
    case ModeCis:
        return "constant initial state spectroscopy (CIS)";
    case ModeKeithley:
        return "total electron yield (TEY)";
    default:
        if (!photon) return "photoelectron spectroscopy (PES)";
        return *photon < nexus::kUpsBelowPhotonEnergy ? "ultraviolet photoelectron spectroscopy (UPS)"
                                                       : "X-ray photoelectron spectroscopy (XPS)";
    }
}

// Columns of `t` with the given role, row after row: `rows` x `columns.size()` values.
std::vector<double> rowsOf(const SpectrumTable& t, const std::vector<std::size_t>& columns) {
    const std::size_t rows = t.rows(), n = columns.size();
    std::vector<double> out(rows * n);
    for (std::size_t c = 0; c < n; ++c)
        for (std::size_t r = 0; r < rows; ++r) out[r * n + c] = t.columns[columns[c]][r];
    return out;
}

std::vector<double> asNumbers(const std::array<double, 9>& values) {
    return {values.begin(), values.end()};
}

class EntryWriter {
public:
    EntryWriter(h5::Writer& w, hid_t file, const NexusSpectrum& s, std::string entry)
        : w_(w), file_(file), s_(s), t_(s.table), entry_(std::move(entry)), facts_(headerFacts(t_.headerLines)),
          roles_(columnRoles(facts_.machineMode, t_.columns.size())),
          layout_(nexus::layoutOf(facts_.machineMode, roles_)) {}

    void write() {
        const Id entry = w_.group(file_, entry_.c_str(), "NXentry");
        if (!w_.ok()) return;
        w_.attribute(entry.get(), "default", "data");
        shared(entry.get(), "", "definition", "NXmpes");
        w_.text(entry.get(), "title", s_.name);
        const std::optional<std::time_t> end = facts_.date ? headerMoment(*facts_.date) : std::nullopt;
        if (const std::optional<std::time_t> start = s_.startedAt ? s_.startedAt : end)
            w_.text(entry.get(), "start_time", isoLocalTime(*start));
        if (end) w_.text(entry.get(), "end_time", isoLocalTime(*end));
        shared(entry.get(), "", "method", methodOf(facts_.machineMode, photonEnergy()));
        shared(entry.get(), "", "program_name", "Korvo");
        if (facts_.hasUser)
            sharedGroup(entry.get(), "", "user", "NXuser", {facts_.user}, [&](hid_t user) {
                shared(user, "user", "name", facts_.user);
                shared(user, "user", "affiliation", "not recorded");
            });
        data(entry.get());
        instrument(entry.get());
        sharedGroup(entry.get(), "", "sample", "NXsample", {facts_.sample, facts_.comment}, [&](hid_t sample) {
            shared(sample, "sample", "name", facts_.sample);
            if (!facts_.comment.empty()) shared(sample, "sample", "description", facts_.comment);
        });
        korvo(entry.get());
    }

private:
    // A group whose whole content other entries are likely to hold alike (the user, the sample, the
    // analyser's settings): made in the first entry that has it, a hard link to that group in the
    // others. `content` is every text that decides what `fill` writes into it.
    template <class Fill>
    void sharedGroup(hid_t parent, std::string_view at, const char* name, const char* nxClass,
                     std::initializer_list<std::string_view> content, Fill fill) {
        std::string key = std::string(at) + '/' + name + "\ng";
        for (std::string_view c : content) key += std::to_string(c.size()) + ':' + std::string(c);
        if (w_.reuse(parent, name, file_, key, pathOf(at, name))) return;
        const Id group = w_.group(parent, name, nxClass);
        if (group) fill(group.get());
    }

    // A field that other entries are likely to hold alike (the instrument's constants, the user, the
    // channeltrons' shifts): written in the first entry that has it, a hard link to that in the others.
    // `at` is its group's place inside the entry ("instrument/source_probe").
    std::string pathOf(std::string_view at, const char* name) const {
        return "/" + entry_ + (at.empty() ? "" : "/") + std::string(at) + "/" + name;
    }
    void shared(hid_t parent, std::string_view at, const char* name, std::string_view value) {
        std::string key = std::string(at) + '/' + name + "\nt";
        key += value;
        if (!w_.reuse(parent, name, file_, key, pathOf(at, name))) w_.text(parent, name, value);
    }
    void shared(hid_t parent, std::string_view at, const char* name, const std::vector<double>& values,
                const char* units, bool integers = false, bool scalar = false) {
        std::string key = std::string(at) + '/' + name + (scalar ? "\ns" : "\nv") + (integers ? "i" : "f") +
                          (units ? std::string("u") + units : std::string("-")) + '\n';
        key.append(reinterpret_cast<const char*>(values.data()), values.size() * sizeof(double));
        if (w_.reuse(parent, name, file_, key, pathOf(at, name))) return;
        if (scalar)
            w_.number(parent, name, values.front(), units, integers);
        else
            w_.numbers(parent, name, values.data(), values.size(), units, 0, integers);
    }

    std::optional<double> photonEnergy() const {
        if (facts_.photonEnergy) return facts_.photonEnergy;
        if (facts_.photonStart) return facts_.photonStart;
        return std::nullopt;
    }
    const char* axis() const { return layout_.photonAxis ? "photon_energy" : "energy"; }

    void data(hid_t entry) {
        const Id data = w_.group(entry, "data", "NXdata");
        w_.attribute(data.get(), "signal", "data");
        w_.attribute(data.get(), "axes", axis());
        w_.attribute(data.get(), (std::string(axis()) + "_indices").c_str(), 0, true);
        const std::size_t rows = t_.rows();
        if (layout_.signal) {
            w_.numbers(data.get(), "data", t_.columns[*layout_.signal].data(), rows, layout_.signalUnits);
        } else {
            const std::vector<double> zeros(rows, 0.0);
            w_.numbers(data.get(), "data", zeros.data(), rows, "counts");
        }
        w_.numbers(data.get(), axis(), t_.columns[0].data(), rows, "eV");
        if (!layout_.photonAxis) {
            const Id energy(H5Dopen2(data.get(), "energy", H5P_DEFAULT));
            if (energy) w_.attribute(energy.get(), "type", "kinetic");
        }
    }

    void instrument(hid_t entry) {
        const Id instrument = w_.group(entry, "instrument", "NXinstrument");
        const std::string at = "/" + entry_ + "/instrument/";
        const std::optional<double> photon = photonEnergy();
        const Id source = w_.group(instrument.get(), "source_probe", "NXsource");
        shared(source.get(), "instrument/source_probe", "type", "Synchrotron X-ray Source");
        shared(source.get(), "instrument/source_probe", "probe",
               photon && *photon < nexus::kUpsBelowPhotonEnergy ? "ultraviolet" : "x-ray");
        w_.text(source.get(), "associated_beam", at + "beam_probe");
        const Id beam = w_.group(instrument.get(), "beam_probe", "NXbeam");
        if (layout_.photonAxis)
            w_.link(beam.get(), "incident_energy", file_, "/" + entry_ + "/data/photon_energy");
        else if (photon)
            shared(beam.get(), "instrument/beam_probe", "incident_energy", {*photon}, "eV", false, true);
        w_.text(beam.get(), "associated_source", at + "source_probe");

        const Id analyser = w_.group(instrument.get(), "electronanalyser", "NXelectronanalyser");
        const std::string place = "instrument/electronanalyser";
        shared(analyser.get(), place, "description", "hemispherical electron analyser with nine channeltrons");
        sharedGroup(analyser.get(), place, "collectioncolumn", "NXcollectioncolumn", {s_.lensMode}, [&](hid_t column) {
            shared(column, place + "/collectioncolumn", "scheme", "non-dispersive");
            if (!s_.lensMode.empty()) shared(column, place + "/collectioncolumn", "lens_mode", s_.lensMode);
        });
        // The pass energy's very bits: two that differ in the last digit are two groups.
        const std::string passEnergy =
            facts_.passEnergy ? std::string(reinterpret_cast<const char*>(&*facts_.passEnergy), sizeof(double)) : "-";
        const char* scanMode = facts_.machineMode == ModeCfs ? "fixed_energy" : "fixed_analyser_transmission";
        sharedGroup(analyser.get(), place, "energydispersion", "NXenergydispersion", {passEnergy, scanMode},
                    [&](hid_t dispersion) {
                        shared(dispersion, place + "/energydispersion", "scheme", "hemispherical");
                        if (facts_.passEnergy)
                            shared(dispersion, place + "/energydispersion", "pass_energy", {*facts_.passEnergy}, "eV",
                                   false, true);
                        shared(dispersion, place + "/energydispersion", "energy_scan_mode", scanMode);
                    });
        detector(analyser.get());
    }

    void detector(hid_t analyser) {
        const Id detector = w_.group(analyser, "detector", "NXdetector");
        const char* at = "instrument/electronanalyser/detector";
        shared(detector.get(), at, "amplifier_type", "channeltron");
        shared(detector.get(), at, "detector_type", "Multi-anode");
        if (facts_.channelOffsets) shared(detector.get(), at, "channel_energy_offsets", asNumbers(*facts_.channelOffsets), "eV");
        if (s_.sensitivities) shared(detector.get(), at, "channel_sensitivities", asNumbers(*s_.sensitivities), "");
        if (s_.channelsEnabled) {
            std::vector<double> v;
            for (bool on : *s_.channelsEnabled) v.push_back(on ? 1 : 0);
            shared(detector.get(), at, "channels_enabled", v, nullptr, true);
        }
        if (layout_.channels.empty()) return;
        const Id raw = w_.group(detector.get(), "raw_data", "NXdata");
        w_.attribute(raw.get(), "signal", "raw");
        w_.attribute(raw.get(), "axes", std::vector<std::string>{axis(), "."});
        w_.attribute(raw.get(), (std::string(axis()) + "_indices").c_str(), 0, true);
        const std::vector<double> counts = rowsOf(t_, layout_.channels);
        w_.numbers(raw.get(), "raw", counts.data(), counts.size(), "counts", 9);
        w_.link(raw.get(), axis(), file_, "/" + entry_ + "/data/" + axis());
    }

    // Everything of the spectrum file that NXmpes has no place for: its header lines as written and
    // the columns that no other field holds, with what it takes to write the rows again.
    void korvo(hid_t entry) {
        const Id note = w_.group(entry, nexus::kKorvoGroup, "NXcollection");
        w_.texts(note.get(), "header_lines", t_.headerLines);
        // The small values are attributes of the collection: read with its header, no field to open.
        if (t_.beginLine) w_.attribute(note.get(), "begin_line", *t_.beginLine);
        if (t_.endLine) w_.attribute(note.get(), "end_line", *t_.endLine);
        w_.attribute(note.get(), "text_encoding", t_.utf8 ? "utf-8" : "windows-1252");
        w_.attribute(note.get(), "energy_decimals", t_.xDecimals, true);
        std::vector<std::string> roles;
        for (ColumnRole r : roles_) roles.emplace_back(nexus::roleName(r));
        w_.attribute(note.get(), "column_roles", roles);
        if (!layout_.extras.empty()) {
            const std::vector<double> extra = rowsOf(t_, layout_.extras);
            w_.numbers(note.get(), "extra_columns", extra.data(), extra.size(), nullptr, layout_.extras.size());
        }
        if (s_.channelTotals) {
            const std::vector<double> v = asNumbers(*s_.channelTotals);
            w_.numbers(note.get(), "channel_totals", v.data(), 9, "counts");
        }
    }

    h5::Writer& w_;
    hid_t file_;
    const NexusSpectrum& s_;
    const SpectrumTable& t_;
    std::string entry_;
    HeaderFacts facts_;
    std::vector<ColumnRole> roles_;
    nexus::Layout layout_;
};

// An addition as it was given: its NX_class, attributes, fields and groups, under `name`.
void writeGroup(h5::Writer& w, hid_t parent, const NexusGroupData& g, const std::string& name,
                const std::string* belongsTo) {
    const Id group = w.group(parent, name.c_str(), g.nxClass.empty() ? "NXentry" : g.nxClass.c_str());
    if (!w.ok()) return;
    if (belongsTo) w.attribute(group.get(), nexus::kBelongsTo, *belongsTo);
    const auto attribute = [&w](hid_t object, const std::string& key, const NexusValue& v) {
        if (v.isText())
            v.texts.size() == 1 && v.shape.empty() ? w.attribute(object, key.c_str(), v.texts.front())
                                                   : w.attribute(object, key.c_str(), v.texts);
        else if (v.numbers.size() == 1 && v.shape.empty())
            w.attribute(object, key.c_str(), v.numbers.front());
    };
    for (const auto& [key, value] : g.attributes) attribute(group.get(), key, value);
    for (const NexusField& f : g.fields) {
        const NexusValue& v = f.value;
        if (v.isText()) {
            v.texts.size() == 1 && v.shape.empty() ? w.text(group.get(), f.name.c_str(), v.texts.front())
                                                   : w.texts(group.get(), f.name.c_str(), v.texts);
        } else if (v.numbers.size() == 1 && v.shape.empty()) {
            w.number(group.get(), f.name.c_str(), v.numbers.front(), nullptr);
        } else {
            const std::size_t columns = v.shape.size() == 2 ? static_cast<std::size_t>(v.shape[1]) : 0;
            w.numbers(group.get(), f.name.c_str(), v.numbers.data(), v.numbers.size(), nullptr, columns);
        }
        const Id field(w.ok() ? H5Dopen2(group.get(), f.name.c_str(), H5P_DEFAULT) : H5I_INVALID_HID);
        for (const auto& [key, value] : f.attributes)
            if (field) attribute(field.get(), key, value);
    }
    for (const NexusGroupData& sub : g.groups) writeGroup(w, group.get(), sub, sub.name, nullptr);
}

} // namespace

std::string nexusSpectrumProblem(const NexusSpectrum& s) {
    if (std::string why = nexus::tableProblem(s); !why.empty()) return why;
    for (const NexusGroupData& a : s.additions)
        if (std::string why = nexus::additionProblem(a); !why.empty()) return "Spectrum " + s.name + ": " + why;
    return {};
}

std::string nexusEntryName(std::size_t index, std::size_t count) {
    return count == 1 ? std::string("entry") : "entry" + std::to_string(index + 1);
}

namespace {

// The core driver's memory, allocated through these callbacks: when the library closes the file, that
// memory holds the finished file and is kept instead of freed. Copying the file out of a library
// still holding it open (H5Fget_file_image) cost a tenth of a second for a hundred megabytes.
struct KeptImage {
    KeptImage() = default;
    KeptImage(const KeptImage&) = delete;
    KeptImage& operator=(const KeptImage&) = delete;
    ~KeptImage() { std::free(data); }
    void* live = nullptr; // the driver's memory and its size
    std::size_t liveSize = 0;
    void* data = nullptr; // the same, once the file is closed
    std::size_t size = 0;
};
void* keptMalloc(std::size_t size, H5FD_file_image_op_t, void* udata) {
    auto* kept = static_cast<KeptImage*>(udata);
    void* p = std::malloc(size);
    if (p) kept->live = p, kept->liveSize = size;
    return p;
}
void* keptMemcpy(void* dest, const void* src, std::size_t size, H5FD_file_image_op_t, void*) {
    return std::memcpy(dest, src, size);
}
void* keptRealloc(void* old, std::size_t size, H5FD_file_image_op_t, void* udata) {
    auto* kept = static_cast<KeptImage*>(udata);
    void* p = std::realloc(old, size);
    if (p && (old == nullptr || old == kept->live)) kept->live = p, kept->liveSize = size;
    return p;
}
herr_t keptFree(void* p, H5FD_file_image_op_t op, void* udata) {
    auto* kept = static_cast<KeptImage*>(udata);
    if (op == H5FD_FILE_IMAGE_OP_FILE_CLOSE && p && p == kept->live && !kept->data) {
        kept->data = p, kept->size = kept->liveSize;
        kept->live = nullptr, kept->liveSize = 0;
    } else {
        std::free(p);
    }
    return 0;
}
void* keptUdataCopy(void* udata) {
    return udata;
}
herr_t keptUdataFree(void*) {
    return 0;
}

// The finished file in the driver's memory, which grows in steps and is longer than the file: its
// length is the end address in its superblock (version 0, eight-byte addresses, as this writer makes
// them). Space at the end that the library never wrote reads as zeros, as the library itself gives it.
std::optional<std::size_t> fileLength(KeptImage& kept) {
    constexpr std::size_t kEndAddress = 40;
    const auto* image = static_cast<const unsigned char*>(kept.data);
    if (kept.size < kEndAddress + 8 || image[8] != 0 || image[13] != 8 || image[14] != 8) return std::nullopt;
    std::uint64_t end = 0;
    std::memcpy(&end, image + kEndAddress, sizeof end);
    if (end < kEndAddress + 8 || end > (std::uint64_t(1) << 40)) return std::nullopt;
    if (end > kept.size) {
        void* grown = std::realloc(kept.data, end);
        if (!grown) return std::nullopt;
        std::memset(static_cast<char*>(grown) + kept.size, 0, end - kept.size);
        kept.data = grown, kept.size = end;
    }
    return static_cast<std::size_t>(end);
}

} // namespace

std::optional<NexusFileImage> nexusFileBytes(const std::vector<NexusSpectrum>& spectra, std::string* error) {
    const auto refuse = [error](std::string why) -> std::optional<NexusFileImage> {
        if (error) *error = std::move(why);
        return std::nullopt;
    };
    if (spectra.empty()) return refuse("There is no spectrum to write.");
    for (const NexusSpectrum& s : spectra)
        if (const std::string why = nexusSpectrumProblem(s); !why.empty()) return refuse(why);

    h5::Writer w;
    KeptImage kept; // outlives the file, which hands it its memory when it closes
    {
        // The file format of the library's earliest version, which every reader of NeXus files reads.
        const Id fapl(H5Pcreate(H5P_FILE_ACCESS));
        H5FD_file_image_callbacks_t callbacks{keptMalloc,    keptMemcpy,    keptRealloc, keptFree,
                                              keptUdataCopy, keptUdataFree, &kept};
        if (!fapl || H5Pset_fapl_core(fapl.get(), std::size_t(4) << 20, 0) < 0 ||
            H5Pset_file_image_callbacks(fapl.get(), &callbacks) < 0)
            return refuse("The HDF5 library cannot make a file in memory (" + h5::errorText() + ").");
        Id file(H5Fcreate("korvo.nxs", H5F_ACC_TRUNC, H5P_DEFAULT, fapl.get()));
        if (!file) return refuse("The HDF5 library cannot make a file in memory (" + h5::errorText() + ").");
        {
            const Id root(H5Gopen2(file.get(), "/", H5P_DEFAULT));
            w.attribute(root.get(), "NX_class", "NXroot");
            w.attribute(root.get(), "creator", "Korvo");
            w.attribute(root.get(), "file_time", isoLocalTime(std::time(nullptr)));
            w.attribute(root.get(), "default", nexusEntryName(0, spectra.size()));
            for (std::size_t i = 0; i < spectra.size() && w.ok(); ++i) {
                const std::string entry = nexusEntryName(i, spectra.size());
                EntryWriter(w, file.get(), spectra[i], entry).write();
                for (const NexusGroupData& a : spectra[i].additions)
                    writeGroup(w, file.get(), a, entry + "_" + a.name, &entry);
            }
        }
        // Every object of the file is closed by now, so closing it finishes it.
        const bool closed = H5Fclose(file.release()) >= 0;
        if (!w.ok()) return refuse("The NeXus file cannot be made: " + w.error() + ".");
        if (!closed || !kept.data) return refuse("The NeXus file cannot be made (" + h5::errorText() + ").");
    }
    const std::optional<std::size_t> length = fileLength(kept);
    if (!length) return refuse("The NeXus file cannot be made: the HDF5 library left no whole file.");
    return NexusFileImage(static_cast<char*>(std::exchange(kept.data, nullptr)), *length);
}

bool saveNexusFile(const std::string& path, const std::vector<NexusSpectrum>& spectra, std::string* error) {
    const std::optional<NexusFileImage> image = nexusFileBytes(spectra, error);
    return image && writeFileAtomic(path, image->bytes(), error);
}

} // namespace korvo

#include "files/nexus_hdf5.h"

#include <H5PLpublic.h>

#include <algorithm>
#include <cstdint>
#include <mutex>

namespace korvo::h5 {

void Id::close() {
    if (id_ < 0) return;
    switch (H5Iget_type(id_)) {
    case H5I_FILE:
        H5Fclose(id_);
        break;
    case H5I_GROUP:
        H5Gclose(id_);
        break;
    case H5I_DATASET:
        H5Dclose(id_);
        break;
    case H5I_ATTR:
        H5Aclose(id_);
        break;
    case H5I_DATATYPE:
        H5Tclose(id_);
        break;
    case H5I_DATASPACE:
        H5Sclose(id_);
        break;
    case H5I_GENPROP_LST:
        H5Pclose(id_);
        break;
    default:
        H5Idec_ref(id_);
        break;
    }
    id_ = H5I_INVALID_HID;
}

void quietLibrary() {
    static std::once_flag once;
    std::call_once(once, [] {
        H5open();
        H5Eset_auto2(H5E_DEFAULT, nullptr, nullptr);
        H5PLset_loading_state(0);
    });
}

std::string errorText() {
    std::vector<std::string> messages;
    H5Ewalk2(
        H5E_DEFAULT, H5E_WALK_DOWNWARD,
        [](unsigned, const H5E_error2_t* e, void* data) -> herr_t {
            auto& out = *static_cast<std::vector<std::string>*>(data);
            if (e->desc && *e->desc && out.size() < 16) out.emplace_back(e->desc);
            return 0;
        },
        &messages);
    H5Eclear2(H5E_DEFAULT);
    // The innermost causes say most; three of them are enough.
    std::string text;
    const std::size_t from = messages.size() > 3 ? messages.size() - 3 : 0;
    for (std::size_t i = from; i < messages.size(); ++i) {
        if (!text.empty()) text += "; ";
        text += messages[i].substr(0, 200);
    }
    return text;
}

namespace {

// Small fields are kept in their object header (compact layout): no separate block to find.
constexpr std::size_t kCompactBytes = 16 << 10;
// Lists of texts up to this length are stored with one fixed length, longer ones each as long as it is.
constexpr std::size_t kFixedTextBytes = 4096;

Id stringType(std::size_t size) {
    Id type(H5Tcopy(H5T_C_S1));
    if (!type) return type;
    H5Tset_size(type.get(), size);
    H5Tset_cset(type.get(), H5T_CSET_UTF8);
    if (size != H5T_VARIABLE) H5Tset_strpad(type.get(), H5T_STR_NULLTERM);
    return type;
}

} // namespace

Id smallTransfer() {
    Id transfer(H5Pcreate(H5P_DATASET_XFER));
    if (transfer) H5Pset_buffer(transfer.get(), std::size_t(64) << 10, nullptr, nullptr);
    return transfer;
}

Writer::Writer() {
    quietLibrary();
    transfer_ = smallTransfer();
    scalar_ = Id(H5Screate(H5S_SCALAR));
    // No times in the object headers: they cost a clock reading and a header message for every
    // group and field, and a file of the same spectra comes out the same.
    compact_ = Id(H5Pcreate(H5P_DATASET_CREATE));
    contiguous_ = Id(H5Pcreate(H5P_DATASET_CREATE));
    groups_ = Id(H5Pcreate(H5P_GROUP_CREATE));
    if (!scalar_ || !compact_ || !contiguous_ || !groups_ || H5Pset_layout(compact_.get(), H5D_COMPACT) < 0 ||
        H5Pset_obj_track_times(compact_.get(), false) < 0 || H5Pset_obj_track_times(contiguous_.get(), false) < 0 ||
        H5Pset_obj_track_times(groups_.get(), false) < 0)
        fail("cannot prepare the HDF5 library", "");
}

bool Writer::fail(const std::string& what, const char* name) {
    if (error_.empty()) {
        error_ = what + (name && *name ? std::string(" \"") + name + "\"" : std::string());
        const std::string cause = errorText();
        if (!cause.empty()) error_ += " (" + cause + ")";
    }
    return false;
}

Id Writer::group(hid_t parent, const char* name, const char* nxClass) {
    if (!ok()) return Id();
    Id g(H5Gcreate2(parent, name, H5P_DEFAULT, groups_.get(), H5P_DEFAULT));
    if (!g) {
        fail("cannot make the group", name);
        return Id();
    }
    attribute(g.get(), "NX_class", nxClass);
    return g;
}

Id Writer::dataset(hid_t parent, const char* name, hid_t type, hid_t space, bool compact) {
    Id d(H5Dcreate2(parent, name, type, space, H5P_DEFAULT, compact ? compact_.get() : contiguous_.get(), H5P_DEFAULT));
    if (!d) fail("cannot make the field", name);
    return d;
}

void Writer::units(hid_t dataset, const char* units) {
    if (units) attribute(dataset, "units", units);
}

void Writer::text(hid_t parent, const char* name, std::string_view value) {
    if (!ok()) return;
    const std::string copy(value); // with its terminating zero
    const Id type = stringType(copy.size() + 1);
    const Id d = dataset(parent, name, type.get(), scalar_.get(), copy.size() < kCompactBytes);
    if (d && H5Dwrite(d.get(), type.get(), H5S_ALL, H5S_ALL, transfer_.get(), copy.c_str()) < 0)
        fail("cannot write the field", name);
}

void Writer::texts(hid_t parent, const char* name, const std::vector<std::string>& values) {
    if (!ok()) return;
    const hsize_t n = values.size();
    const Id space(H5Screate_simple(1, &n, nullptr));
    std::size_t longest = 0;
    for (const std::string& v : values) longest = std::max(longest, v.size());
    if (longest < kFixedTextBytes) {
        // Texts of one fixed length: no heap of their own, and no conversion on the way.
        const std::size_t size = longest + 1;
        std::string packed(n * size, '\0');
        for (std::size_t i = 0; i < values.size(); ++i) packed.replace(i * size, values[i].size(), values[i]);
        const Id type = stringType(size);
        const Id d = dataset(parent, name, type.get(), space.get(), packed.size() < kCompactBytes);
        if (d && n > 0 && H5Dwrite(d.get(), type.get(), H5S_ALL, H5S_ALL, transfer_.get(), packed.data()) < 0)
            fail("cannot write the field", name);
        return;
    }
    const Id type = stringType(H5T_VARIABLE);
    std::vector<const char*> pointers;
    pointers.reserve(values.size());
    for (const std::string& v : values) pointers.push_back(v.c_str());
    const Id d = dataset(parent, name, type.get(), space.get(), false);
    if (d && n > 0 && H5Dwrite(d.get(), type.get(), H5S_ALL, H5S_ALL, transfer_.get(), pointers.data()) < 0)
        fail("cannot write the field", name);
}

void Writer::number(hid_t parent, const char* name, double value, const char* unitText, bool integers) {
    if (!ok()) return;
    const Id d = dataset(parent, name, integers ? H5T_STD_I64LE : H5T_IEEE_F64LE, scalar_.get(), true);
    if (d && H5Dwrite(d.get(), H5T_NATIVE_DOUBLE, H5S_ALL, H5S_ALL, transfer_.get(), &value) < 0)
        fail("cannot write the field", name);
    if (d) units(d.get(), unitText);
}

void Writer::numbers(hid_t parent, const char* name, const double* values, std::size_t count, const char* unitText,
                     std::size_t columns, bool integers) {
    if (!ok()) return;
    const hsize_t dims[2] = {columns > 0 ? count / columns : count, columns};
    const Id space(H5Screate_simple(columns > 0 ? 2 : 1, dims, nullptr));
    const Id d = dataset(parent, name, integers ? H5T_STD_I64LE : H5T_IEEE_F64LE, space.get(),
                         count * sizeof(double) < kCompactBytes);
    if (d && count > 0 && H5Dwrite(d.get(), H5T_NATIVE_DOUBLE, H5S_ALL, H5S_ALL, transfer_.get(), values) < 0)
        fail("cannot write the field", name);
    if (d) units(d.get(), unitText);
}

void Writer::attribute(hid_t object, const char* name, std::string_view value) {
    if (!ok()) return;
    const std::string copy(value);
    const Id type = stringType(copy.size() + 1);
    const Id a(H5Acreate2(object, name, type.get(), scalar_.get(), H5P_DEFAULT, H5P_DEFAULT));
    if (!a || H5Awrite(a.get(), type.get(), copy.c_str()) < 0) fail("cannot write the attribute", name);
}

void Writer::attribute(hid_t object, const char* name, const std::vector<std::string>& values) {
    if (!ok()) return;
    const Id type = stringType(H5T_VARIABLE);
    const hsize_t n = values.size();
    const Id space(H5Screate_simple(1, &n, nullptr));
    std::vector<const char*> pointers;
    for (const std::string& v : values) pointers.push_back(v.c_str());
    const Id a(H5Acreate2(object, name, type.get(), space.get(), H5P_DEFAULT, H5P_DEFAULT));
    if (!a || (n > 0 && H5Awrite(a.get(), type.get(), pointers.data()) < 0)) fail("cannot write the attribute", name);
}

void Writer::attribute(hid_t object, const char* name, double value, bool integer) {
    if (!ok()) return;
    const Id a(H5Acreate2(object, name, integer ? H5T_STD_I64LE : H5T_IEEE_F64LE, scalar_.get(), H5P_DEFAULT,
                          H5P_DEFAULT));
    if (!a || H5Awrite(a.get(), H5T_NATIVE_DOUBLE, &value) < 0) fail("cannot write the attribute", name);
}

bool Writer::reuse(hid_t parent, const char* name, hid_t file, const std::string& key, const std::string& path) {
    if (!ok()) return true;
    const auto [at, fresh] = written_.try_emplace(key, path);
    if (fresh) return false;
    link(parent, name, file, at->second);
    return true;
}

void Writer::link(hid_t parent, const char* name, hid_t file, const std::string& targetPath) {
    if (!ok()) return;
    if (H5Lcreate_hard(file, targetPath.c_str(), parent, name, H5P_DEFAULT, H5P_DEFAULT) < 0)
        fail("cannot link", name);
}

} // namespace korvo::h5

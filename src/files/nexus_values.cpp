// The reader's values: the shape and type of a data set or attribute, checked before anything is
// read, and its numbers or texts within their bounds.
#include "files/nexus_access.h"

#include <algorithm>
#include <cstring>

namespace korvo::h5 {
namespace {

// Bytes of all the texts of one field, and the largest chunk a data set may declare.
constexpr std::uint64_t kMaxTextsBytes = std::uint64_t(64) << 20;
constexpr std::uint64_t kMaxChunkBytes = std::uint64_t(64) << 20;

std::uint64_t saturatedProduct(const std::vector<std::uint64_t>& dims) {
    std::uint64_t n = 1;
    for (std::uint64_t d : dims) {
        if (d != 0 && n > UINT64_MAX / d) return UINT64_MAX;
        n *= d;
    }
    return n;
}

bool shapeOf(hid_t space, hid_t type, const std::string& path, Shape& s, std::string& error) {
    s = Shape{};
    if (space < 0 || type < 0) {
        error = failure(path, "the HDF5 library cannot tell its shape or type");
        return false;
    }
    switch (H5Sget_simple_extent_type(space)) {
    case H5S_SCALAR:
        break;
    case H5S_SIMPLE: {
        const int rank = H5Sget_simple_extent_ndims(space);
        if (rank < 0 || rank > H5S_MAX_RANK) {
            error = failure(path, "a shape the HDF5 library cannot read");
            return false;
        }
        std::vector<hsize_t> dims(static_cast<std::size_t>(rank));
        if (rank > 0 && H5Sget_simple_extent_dims(space, dims.data(), nullptr) < 0) {
            error = failure(path, "a shape the HDF5 library cannot read");
            return false;
        }
        s.dims.assign(dims.begin(), dims.end());
        s.points = saturatedProduct(s.dims);
        break;
    }
    default:
        error = path + ": holds no value (an empty dataspace)";
        return false;
    }
    s.typeClass = H5Tget_class(type);
    s.typeSize = H5Tget_size(type);
    s.variableText = s.typeClass == H5T_STRING && H5Tis_variable_str(type) > 0;
    return true;
}

bool isNumberClass(H5T_class_t c) {
    return c == H5T_INTEGER || c == H5T_FLOAT;
}

const char* className(H5T_class_t c) {
    switch (c) {
    case H5T_INTEGER:
        return "integers";
    case H5T_FLOAT:
        return "floating-point numbers";
    case H5T_STRING:
        return "texts";
    case H5T_COMPOUND:
        return "compound values";
    case H5T_ENUM:
        return "enumerated values";
    case H5T_VLEN:
        return "variable-length sequences";
    case H5T_ARRAY:
        return "arrays";
    case H5T_REFERENCE:
        return "references";
    default:
        return "values of an unusual kind";
    }
}

Id textMemoryType(hid_t fileType, bool variable, std::size_t size) {
    Id type(H5Tcopy(H5T_C_S1));
    if (!type) return type;
    H5Tset_size(type.get(), variable ? H5T_VARIABLE : size);
    H5Tset_cset(type.get(), H5Tget_cset(fileType) == H5T_CSET_UTF8 ? H5T_CSET_UTF8 : H5T_CSET_ASCII);
    if (!variable) H5Tset_strpad(type.get(), H5T_STR_NULLPAD);
    return type;
}

// Texts of an attribute or data set, read with `read` into memory of type `memType`.
template <typename Read, typename Reclaim>
bool readTexts(const Shape& s, hid_t fileType, const std::string& path, std::size_t maxCount, std::size_t maxBytes,
               Read read, Reclaim reclaim, std::vector<std::string>& out, std::string& error) {
    if (s.typeClass != H5T_STRING) {
        error = path + ": holds " + className(s.typeClass) + ", not texts";
        return false;
    }
    if (s.points > maxCount) {
        error = path + ": holds " + std::to_string(s.points) + " texts, more than " + std::to_string(maxCount);
        return false;
    }
    const std::size_t n = static_cast<std::size_t>(s.points);
    out.clear();
    if (s.variableText) {
        const Id mem = textMemoryType(fileType, true, 0);
        std::vector<char*> pointers(n, nullptr);
        if (n > 0 && !read(mem.get(), pointers.data())) {
            error = failure(path, "its texts cannot be read");
            return false;
        }
        bool tooLong = false;
        for (char* p : pointers) {
            const std::size_t len = p ? std::strlen(p) : 0;
            tooLong = tooLong || len > maxBytes;
            if (!tooLong) out.push_back(utf8Of(std::string(p ? p : "", len)));
        }
        if (n > 0) reclaim(mem.get(), pointers.data());
        if (tooLong) {
            out.clear();
            error = path + ": a text longer than " + std::to_string(maxBytes) + " bytes";
            return false;
        }
        return true;
    }
    if (s.typeSize > maxBytes || s.typeSize * s.points > kMaxTextsBytes) {
        error = path + ": texts of " + std::to_string(s.typeSize) + " bytes each, longer than " +
                std::to_string(maxBytes) + " bytes";
        return false;
    }
    const Id mem = textMemoryType(fileType, false, std::max<std::size_t>(s.typeSize, 1));
    std::string buffer(n * std::max<std::size_t>(s.typeSize, 1), '\0');
    if (n > 0 && !read(mem.get(), buffer.data())) {
        error = failure(path, "its texts cannot be read");
        return false;
    }
    for (std::size_t i = 0; i < n; ++i) {
        std::string one = buffer.substr(i * s.typeSize, s.typeSize);
        one.resize(std::strlen(one.c_str()));
        out.push_back(utf8Of(std::move(one)));
    }
    return true;
}

bool knownFilter(H5Z_filter_t id) {
    switch (id) {
    case H5Z_FILTER_DEFLATE:
    case H5Z_FILTER_SHUFFLE:
    case H5Z_FILTER_FLETCHER32:
    case H5Z_FILTER_SZIP:
    case H5Z_FILTER_NBIT:
    case H5Z_FILTER_SCALEOFFSET:
        return H5Zfilter_avail(id) > 0;
    default:
        return false;
    }
}

} // namespace

std::string Shape::text() const {
    if (dims.empty()) return "one value";
    std::string t;
    for (std::uint64_t d : dims) t += (t.empty() ? "" : " x ") + std::to_string(d);
    return t;
}

namespace {

// An attribute opened with its shape taken. Absent: nullopt with `error` empty.
struct OpenAttribute {
    Id a, space, type;
    Shape shape;
};

std::optional<OpenAttribute> openAttribute(const Object& object, const std::string& name, const std::string& path,
                                           std::string& error) {
    const htri_t exists = H5Aexists(object.id.get(), name.c_str());
    if (exists < 0) error = failure(path, "the HDF5 library cannot look it up");
    if (exists <= 0) return std::nullopt;
    OpenAttribute o;
    o.a = Id(H5Aopen(object.id.get(), name.c_str(), H5P_DEFAULT));
    o.space = Id(H5Aget_space(o.a.get()));
    o.type = Id(H5Aget_type(o.a.get()));
    if (!o.a || !shapeOf(o.space.get(), o.type.get(), path, o.shape, error)) {
        if (error.empty()) error = failure(path, "the HDF5 library cannot open it");
        return std::nullopt;
    }
    return o;
}

} // namespace

std::optional<std::vector<std::string>> FileReader::textsAttribute(const Object& object, const std::string& name,
                                                                   std::string& error) {
    error.clear();
    const std::string path = object.path + "@" + name;
    std::optional<OpenAttribute> opened = openAttribute(object, name, path, error);
    if (!opened) return std::nullopt;
    const Id& a = opened->a;
    const Id& space = opened->space;
    const Id& type = opened->type;
    const Shape& s = opened->shape;
    std::vector<std::string> out;
    const auto read = [&a](hid_t mem, void* buffer) { return H5Aread(a.get(), mem, buffer) >= 0; };
    const auto reclaim = [&space](hid_t mem, void* buffer) { H5Dvlen_reclaim(mem, space.get(), H5P_DEFAULT, buffer); };
    if (!readTexts(s, type.get(), path, 1024, kMaxAttributeBytes, read, reclaim, out, error)) return std::nullopt;
    return out;
}

std::optional<std::string> FileReader::textAttribute(const Object& object, const std::string& name,
                                                     std::string& error) {
    auto texts = textsAttribute(object, name, error);
    if (!texts) return std::nullopt;
    if (texts->size() != 1) {
        error = object.path + "@" + name + ": " + std::to_string(texts->size()) + " texts where one belongs";
        return std::nullopt;
    }
    return std::move(texts->front());
}

std::optional<std::vector<double>> FileReader::numbersAttribute(const Object& object, const std::string& name,
                                                                std::size_t max, std::string& error) {
    error.clear();
    const std::string path = object.path + "@" + name;
    std::optional<OpenAttribute> opened = openAttribute(object, name, path, error);
    if (!opened) return std::nullopt;
    const Id& a = opened->a;
    const Shape& s = opened->shape;
    if (!isNumberClass(s.typeClass) || s.typeSize > 16) {
        error = path + ": holds " + className(s.typeClass) + ", not numbers";
        return std::nullopt;
    }
    if (s.points > max) {
        error = path + ": " + std::to_string(s.points) + " numbers, more than " + std::to_string(max);
        return std::nullopt;
    }
    std::vector<double> out(static_cast<std::size_t>(s.points));
    if (!out.empty() && H5Aread(a.get(), H5T_NATIVE_DOUBLE, out.data()) < 0) {
        error = failure(path, "its numbers cannot be read");
        return std::nullopt;
    }
    return out;
}

bool FileReader::shape(const Object& dataset, Shape& s, std::string& error) {
    if (dataset.group || !dataset.id || H5Iget_type(dataset.id.get()) != H5I_DATASET) {
        error = dataset.path + ": not a field (data set)";
        return false;
    }
    const Id space(H5Dget_space(dataset.id.get()));
    const Id type(H5Dget_type(dataset.id.get()));
    if (!shapeOf(space.get(), type.get(), dataset.path, s, error)) return false;
    const Id dcpl(H5Dget_create_plist(dataset.id.get()));
    if (!dcpl) {
        error = failure(dataset.path, "the HDF5 library cannot tell how it is stored");
        return false;
    }
    const H5D_layout_t layout = H5Pget_layout(dcpl.get());
    if (layout == H5D_VIRTUAL) {
        error = dataset.path + ": a virtual data set (made of other data sets, perhaps in other files); "
                               "Korvo does not read it";
        return false;
    }
    if (H5Pget_external_count(dcpl.get()) != 0) {
        error = dataset.path + ": its values are stored in external files, which are never opened";
        return false;
    }
    if (layout == H5D_CHUNKED) {
        hsize_t chunk[H5S_MAX_RANK] = {};
        const int rank = H5Pget_chunk(dcpl.get(), H5S_MAX_RANK, chunk);
        std::vector<std::uint64_t> dims(chunk, chunk + std::max(rank, 0));
        const std::uint64_t points = saturatedProduct(dims);
        if (rank < 0 || points > kMaxChunkBytes / std::max<std::size_t>(s.typeSize, 1)) {
            error = dataset.path + ": chunks larger than " + std::to_string(kMaxChunkBytes >> 20) + " MB";
            return false;
        }
    }
    const int filters = H5Pget_nfilters(dcpl.get());
    for (int i = 0; i < filters; ++i) {
        unsigned flags = 0, config = 0;
        std::size_t values = 0;
        const H5Z_filter_t id = H5Pget_filter2(dcpl.get(), static_cast<unsigned>(i), &flags, &values, nullptr, 0,
                                               nullptr, &config);
        if (!knownFilter(id)) {
            H5Eclear2(H5E_DEFAULT);
            error = dataset.path + ": compressed with filter " + std::to_string(id) +
                    ", which the HDF5 library does not hold itself (filter plug-ins are never loaded)";
            return false;
        }
    }
    return true;
}

bool FileReader::numbers(const Object& dataset, std::uint64_t maxPoints, std::vector<double>& out, Shape& s,
                         std::string& error) {
    if (!shape(dataset, s, error)) return false;
    if (!isNumberClass(s.typeClass) || s.typeSize > 16) {
        error = dataset.path + ": holds " + className(s.typeClass) + ", not numbers";
        return false;
    }
    if (s.points > maxPoints) {
        error = dataset.path + ": " + (s.points == UINT64_MAX ? std::string("an impossible number of") : std::to_string(s.points)) +
                " points (" + s.text() + "), more than the " + std::to_string(maxPoints) + " Korvo reads";
        return false;
    }
    out.assign(static_cast<std::size_t>(s.points), 0.0);
    if (!out.empty() && H5Dread(dataset.id.get(), H5T_NATIVE_DOUBLE, H5S_ALL, H5S_ALL, transfer_.get(), out.data()) < 0) {
        out.clear();
        error = failure(dataset.path, "its numbers cannot be read");
        return false;
    }
    return true;
}

bool FileReader::texts(const Object& dataset, std::size_t maxCount, std::vector<std::string>& out, Shape& s,
                       std::string& error) {
    if (!shape(dataset, s, error)) return false;
    const Id type(H5Dget_type(dataset.id.get()));
    const Id space(H5Dget_space(dataset.id.get()));
    // (The library's measure overruns its own buffer for a single value: one text is bounded by the file.)
    if (s.typeClass == H5T_STRING && s.variableText && s.points <= maxCount && !s.dims.empty()) {
        // The bytes the texts take, known before any of them is read.
        const Id mem = textMemoryType(type.get(), true, 0);
        hsize_t bytes = 0;
        if (H5Dvlen_get_buf_size(dataset.id.get(), mem.get(), space.get(), &bytes) < 0) {
            error = failure(dataset.path, "the HDF5 library cannot measure its texts");
            return false;
        }
        if (bytes > kMaxTextsBytes) {
            error = dataset.path + ": texts of " + std::to_string(bytes) + " bytes, more than " +
                    std::to_string(kMaxTextsBytes >> 20) + " MB";
            return false;
        }
    }
    const auto read = [this, &dataset](hid_t mem, void* buffer) {
        return H5Dread(dataset.id.get(), mem, H5S_ALL, H5S_ALL, transfer_.get(), buffer) >= 0;
    };
    const auto reclaim = [&space](hid_t mem, void* buffer) { H5Dvlen_reclaim(mem, space.get(), H5P_DEFAULT, buffer); };
    return readTexts(s, type.get(), dataset.path, maxCount, kMaxTextBytes, read, reclaim, out, error);
}

} // namespace korvo::h5

#include "files/nexus_access.h"

#include "common/text_codec.h"

#include <algorithm>
#include <cstring>

namespace korvo::h5 {
namespace {

// Objects one file may make the reader visit (links followed), however they are nested or linked.
constexpr std::size_t kMaxVisits = 200'000;
constexpr std::size_t kMaxLinkValue = 4096;

std::string joined(const std::string& parent, std::string_view name) {
    return parent == "/" ? "/" + std::string(name) : parent + "/" + std::string(name);
}

bool isComponent(std::string_view name) {
    return !name.empty() && name != "." && name != ".." && name.find('/') == std::string_view::npos;
}

} // namespace

std::string failure(const std::string& path, const std::string& what) {
    const std::string cause = errorText();
    return path + ": " + what + (cause.empty() ? "" : " (" + cause + ")");
}

std::string utf8Of(std::string s) {
    return isValidUtf8(s) ? s : windows1252ToUtf8(s);
}

bool naturalLess(std::string_view a, std::string_view b) {
    std::size_t i = 0, j = 0;
    const auto digit = [](char c) { return c >= '0' && c <= '9'; };
    while (i < a.size() && j < b.size()) {
        if (digit(a[i]) && digit(b[j])) {
            std::size_t ie = i, je = j;
            while (ie < a.size() && digit(a[ie])) ++ie;
            while (je < b.size() && digit(b[je])) ++je;
            std::string_view x = a.substr(i, ie - i), y = b.substr(j, je - j);
            while (x.size() > 1 && x.front() == '0') x.remove_prefix(1);
            while (y.size() > 1 && y.front() == '0') y.remove_prefix(1);
            if (x.size() != y.size()) return x.size() < y.size();
            if (x != y) return x < y;
            i = ie, j = je;
        } else {
            if (a[i] != b[j]) return static_cast<unsigned char>(a[i]) < static_cast<unsigned char>(b[j]);
            ++i, ++j;
        }
    }
    return a.size() - i < b.size() - j || (a.size() - i == b.size() - j && a < b);
}

namespace {

// The file image as the core driver's memory, without a copy: the library would otherwise copy the
// bytes twice (into the property list and into the driver), which costs more than reading a file of
// a hundred megabytes. The file is opened read-only, so the library never writes to it or grows it.
struct Image {
    const char* data;
    std::size_t size;
};
void* imageMalloc(std::size_t size, H5FD_file_image_op_t, void* udata) {
    const Image* image = static_cast<const Image*>(udata);
    return size == image->size ? const_cast<char*>(image->data) : nullptr;
}
void* imageMemcpy(void* dest, const void* src, std::size_t size, H5FD_file_image_op_t, void*) {
    if (dest != src) std::memcpy(dest, src, size);
    return dest;
}
void* imageRealloc(void*, std::size_t, H5FD_file_image_op_t, void*) {
    return nullptr;
}
herr_t imageFree(void*, H5FD_file_image_op_t, void*) {
    return 0;
}
void* udataCopy(void* udata) {
    return udata;
}
herr_t udataFree(void*) {
    return 0;
}

} // namespace

std::unique_ptr<FileReader> FileReader::open(std::string_view bytes, std::string& error) {
    quietLibrary();
    auto image = std::make_unique<Image>(Image{bytes.data(), bytes.size()});
    const Id fapl(H5Pcreate(H5P_FILE_ACCESS));
    H5FD_file_image_callbacks_t callbacks{imageMalloc, imageMemcpy, imageRealloc, imageFree,
                                          udataCopy,   udataFree,   image.get()};
    // With no backing store nothing on the disk is touched.
    if (!fapl || H5Pset_fapl_core(fapl.get(), std::size_t(1) << 20, 0) < 0 ||
        H5Pset_file_image_callbacks(fapl.get(), &callbacks) < 0 ||
        H5Pset_file_image(fapl.get(), const_cast<char*>(bytes.data()), bytes.size()) < 0) {
        error = "The HDF5 library cannot take the file into memory (" + errorText() + ")";
        return nullptr;
    }
    Id file(H5Fopen("nexus-image", H5F_ACC_RDONLY, fapl.get()));
    if (!file) {
        const std::string cause = errorText();
        error = "The HDF5 library cannot open it" + (cause.empty() ? std::string() : " (" + cause + ")");
        return nullptr;
    }
    std::unique_ptr<FileReader> reader(new FileReader(std::move(file)));
    reader->image_ = std::shared_ptr<void>(image.release(), [](void* p) { delete static_cast<Image*>(p); });
    return reader;
}

Object FileReader::root() {
    return Object{Id(H5Gopen2(file_.get(), "/", H5P_DEFAULT)), "/", true};
}

std::optional<Object> FileReader::child(const Object& parent, std::string_view name, std::string& error) {
    int softLinks = kMaxSoftLinks;
    return follow(parent, name, softLinks, error);
}

std::optional<Object> FileReader::follow(const Object& parent, std::string_view nameView, int& softLinks,
                                         std::string& error) {
    error.clear();
    const std::string path = joined(parent.path, nameView);
    if (!parent.group || !parent.id) return std::nullopt;
    if (!isComponent(nameView)) {
        error = path + ": not a name of one link";
        return std::nullopt;
    }
    if (++visits_ > kMaxVisits) {
        error = path + ": the file makes Korvo visit more than " + std::to_string(kMaxVisits) + " objects";
        return std::nullopt;
    }
    const std::string name(nameView);
    const htri_t exists = H5Lexists(parent.id.get(), name.c_str(), H5P_DEFAULT);
    if (exists < 0) {
        error = failure(path, "the HDF5 library cannot look it up");
        return std::nullopt;
    }
    if (exists == 0) return std::nullopt;
    H5L_info_t info{};
    if (H5Lget_info(parent.id.get(), name.c_str(), &info, H5P_DEFAULT) < 0) {
        error = failure(path, "the HDF5 library cannot read the link");
        return std::nullopt;
    }
    if (info.type == H5L_TYPE_HARD) {
        Id object(H5Oopen(parent.id.get(), name.c_str(), H5P_DEFAULT));
        if (!object) {
            error = failure(path, "the HDF5 library cannot open it");
            return std::nullopt;
        }
        const H5I_type_t kind = H5Iget_type(object.get());
        return Object{std::move(object), path, kind == H5I_GROUP};
    }
    if (info.type != H5L_TYPE_SOFT && info.type != H5L_TYPE_EXTERNAL) {
        error = path + ": a user-defined link, which Korvo does not follow";
        return std::nullopt;
    }
    if (info.u.val_size == 0 || info.u.val_size > kMaxLinkValue) {
        error = path + ": a link whose target is " + std::to_string(info.u.val_size) + " bytes long";
        return std::nullopt;
    }
    std::string value(info.u.val_size, '\0');
    if (H5Lget_val(parent.id.get(), name.c_str(), value.data(), value.size(), H5P_DEFAULT) < 0) {
        error = failure(path, "the HDF5 library cannot read the link's target");
        return std::nullopt;
    }
    if (info.type == H5L_TYPE_EXTERNAL) {
        const char* file = nullptr;
        const char* object = nullptr;
        unsigned flags = 0;
        std::string target = "another file";
        if (H5Lunpack_elink_val(value.data(), value.size(), &flags, &file, &object) >= 0 && file && object)
            target = utf8Of(std::string(file).substr(0, 200)) + ":" + utf8Of(std::string(object).substr(0, 200));
        H5Eclear2(H5E_DEFAULT);
        error = path + ": an external link to " + target + "; links out of the file are never followed";
        return std::nullopt;
    }
    value.resize(std::strlen(value.c_str()));
    if (--softLinks < 0) {
        error = path + ": a chain of more than " + std::to_string(kMaxSoftLinks) +
                " soft links (links in a circle?); Korvo does not follow it";
        return std::nullopt;
    }
    auto target = resolve(parent, value, softLinks, error);
    if (!target && error.empty()) error = path + ": a soft link to " + utf8Of(value) + ", which is not there";
    return target;
}

std::optional<Object> FileReader::resolve(const Object& from, const std::string& target, int& softLinks,
                                          std::string& error) {
    std::optional<Object> at;
    std::string_view rest = target;
    if (!rest.empty() && rest.front() == '/') {
        at = root();
        rest.remove_prefix(1);
    } else {
        at = Object{Id(H5Oopen(from.id.get(), ".", H5P_DEFAULT)), from.path, true};
    }
    while (at && !rest.empty()) {
        const std::size_t slash = rest.find('/');
        const std::string_view part = rest.substr(0, slash);
        rest = slash == std::string_view::npos ? std::string_view{} : rest.substr(slash + 1);
        if (part.empty() || part == ".") continue;
        if (!at->group) {
            error = at->path + ": not a group, but a soft link leads through it";
            return std::nullopt;
        }
        at = follow(*at, part, softLinks, error);
    }
    return at;
}

bool FileReader::linkNames(const Object& group, std::size_t max, std::vector<std::string>& names, std::string& error) {
    names.clear();
    H5G_info_t info{};
    if (H5Gget_info(group.id.get(), &info) < 0) {
        error = failure(group.path, "the HDF5 library cannot list the group");
        return false;
    }
    if (info.nlinks > max) {
        error = group.path + ": holds " + std::to_string(info.nlinks) + " links, more than " + std::to_string(max);
        return false;
    }
    struct Gather {
        std::vector<std::string>* names;
        std::size_t max;
    } gather{&names, max};
    const herr_t r = H5Literate(
        group.id.get(), H5_INDEX_NAME, H5_ITER_INC, nullptr,
        [](hid_t, const char* name, const H5L_info_t*, void* data) -> herr_t {
            auto& g = *static_cast<Gather*>(data);
            if (g.names->size() >= g.max) return 1;
            g.names->emplace_back(name);
            return 0;
        },
        &gather);
    if (r < 0 || names.size() > max) {
        error = failure(group.path, "the HDF5 library cannot list the group");
        return false;
    }
    std::sort(names.begin(), names.end(), [](const std::string& a, const std::string& b) { return naturalLess(a, b); });
    return true;
}

bool FileReader::attributeNames(const Object& object, std::size_t max, std::vector<std::string>& names,
                                std::string& error) {
    names.clear();
    struct Gather {
        std::vector<std::string>* names;
        std::size_t max;
        bool tooMany = false;
    } gather{&names, max};
    const herr_t r = H5Aiterate2(
        object.id.get(), H5_INDEX_NAME, H5_ITER_INC, nullptr,
        [](hid_t, const char* name, const H5A_info_t*, void* data) -> herr_t {
            auto& g = *static_cast<Gather*>(data);
            if (g.names->size() >= g.max) return g.tooMany = true, 1;
            g.names->emplace_back(name);
            return 0;
        },
        &gather);
    if (gather.tooMany) {
        error = object.path + ": more than " + std::to_string(max) + " attributes";
        return false;
    }
    if (r < 0) {
        error = failure(object.path, "the HDF5 library cannot list its attributes");
        return false;
    }
    return true;
}

} // namespace korvo::h5

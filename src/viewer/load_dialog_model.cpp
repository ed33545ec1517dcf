#include "viewer/load_dialog_model.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <system_error>

namespace korvo {

namespace fs = std::filesystem;

bool passesLoadFilter(const std::string& fileName, int filter) {
    const auto endsWith = [&](std::string_view ext) {
        if (fileName.size() < ext.size()) return false;
        return std::equal(ext.rbegin(), ext.rend(), fileName.rbegin(),
                          [](char a, char b) { return a == std::tolower(static_cast<unsigned char>(b)); });
    };
    switch (filter) {
    case 1:
        return endsWith(".dat");
    case 2:
        return endsWith(".txt");
    default:
        return true;
    }
}

DirectoryListing listDirectory(const std::string& directory, int filter) {
    DirectoryListing listing;
    std::error_code ec;
    fs::directory_iterator it(directory, ec);
    if (ec) {
        listing.error = ec.message();
        return listing;
    }
    for (; it != fs::directory_iterator(); it.increment(ec)) {
        if (ec) break;
        const std::string name = it->path().filename().string();
        if (name.empty() || name.front() == '.') continue;
        std::error_code typeError;
        if (it->is_directory(typeError))
            listing.directories.push_back(name);
        else if (it->is_regular_file(typeError) && passesLoadFilter(name, filter))
            listing.files.push_back(name);
    }
    std::sort(listing.directories.begin(), listing.directories.end());
    std::sort(listing.files.begin(), listing.files.end());
    const fs::path p(directory);
    if (p.has_relative_path() && p.relative_path() != "") listing.directories.insert(listing.directories.begin(), "..");
    return listing;
}

void fillLoadList(LoadList& list, const std::string& directory, const std::vector<std::string>& selected) {
    list.paths.clear();
    list.LoadProjectFlag = false;
    list.ScientaTempFlag = false;
    list.VamasFlag = false;
    for (const std::string& name : selected) list.paths.push_back((fs::path(directory) / name).string());
}

std::string enterDirectory(const std::string& directory, const std::string& entry) {
    fs::path p(directory);
    if (entry == "..") {
        p = p.lexically_normal();
        if (!p.has_filename() && p.has_parent_path() && p != p.root_path()) p = p.parent_path();
        return p.has_relative_path() ? p.parent_path().string() : p.string();
    }
    return (p / entry).lexically_normal().string();
}

} // namespace korvo

#pragma once
// What the load dialog lists and what its buttons put into the load list, without widgets: the
// subdirectories and the files of a directory that pass the chosen filter, and the list of paths
// "Load" hands to the load procedure.
#include "viewer/load.h"

#include <string>
#include <vector>

namespace korvo {

// The filter box's entries, in order.
inline const std::vector<std::string> kLoadFilters = {"All files (*.*)", "Data files (*.dat)", "Text files (*.txt)"};

// Whether a file name passes filter `filter` (an index into kLoadFilters; names are compared without
// regard to case, as the files of older installations come in either).
bool passesLoadFilter(const std::string& fileName, int filter);

struct DirectoryListing {
    std::vector<std::string> directories; // names, sorted; ".." first unless at the root
    std::vector<std::string> files;       // names of regular files passing the filter, sorted
    std::string error;                    // the directory could not be read
};
// Hidden entries (names starting with ".") are left out. Symbolic links count as what they point to.
DirectoryListing listDirectory(const std::string& directory, int filter);

// "Load": the load list from position 1 on, directory + separator + name for each selected file in
// list order; the flags are cleared.
void fillLoadList(LoadList& list, const std::string& directory, const std::vector<std::string>& selected);

// The directory a directory-list entry leads to ("..": the parent).
std::string enterDirectory(const std::string& directory, const std::string& entry);

} // namespace korvo

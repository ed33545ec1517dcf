#pragma once
// The load dialog's "Load Scienta": each chosen Scienta file becomes one temporary spectrum file per
// slice, appended to the load list with ScientaTempFlag set; the load procedure then reads them as
// spectrum files without header and deletes them.
//
// The temporary files go to a private directory of their own (made with mode 0700 under the
// system's temporary directory, kept in LoadList::tempDirectory), never into the user's data
// directory, so that nobody else can read, replace or plant them and a crash leaves nothing among the
// measured files. The load procedure removes the files and the directory once it has read them; an
// import that ends half-way removes what it had made.
#include "viewer/load.h"

#include <string>
#include <vector>

namespace korvo {

struct ScientaImportMessage {
    std::string path; // the Scienta file it is about
    std::string text; // for a message box ("Not Scienta-Format?" for a file of another kind)
};

struct ScientaImportOutcome {
    // One per file that was skipped, in the order of the files, and the reason the import ended.
    std::vector<ScientaImportMessage> messages;
    std::size_t filesImported = 0;
    // A file could not be opened or a temporary file not written: the import ended there, the load
    // list is empty and no temporary file is left.
    bool ended = false;
};

// Runs the import on `paths` in order into `list`, which it empties first (LoadCount 0). A file that
// is not a Scienta file, has an absurd header, more than kScientaMaxValues values or whose slices
// would take the list beyond kMaxLoadFiles is skipped with a message; the others are imported.
ScientaImportOutcome importScientaFiles(const std::vector<std::string>& paths, LoadList& list);

// Removes the temporary files and directory of an import that is not going to be loaded, and empties
// the list. Nothing happens unless ScientaTempFlag or tempDirectory say the list holds such files.
void discardScientaFiles(LoadList& list);

} // namespace korvo

#include "viewer/import_load.h"

#include "viewer/origin_import.h"
#include "viewer/scienta_import.h"

namespace korvo {

LoadOutcome loadImports(tvar& ws, const std::vector<std::string>& scienta, const std::vector<std::string>& origin,
                        const LoadOptions& options) {
    LoadOutcome all;
    all.status = LoadStatus::Loaded;
    if (!scienta.empty()) {
        LoadList list;
        const ScientaImportOutcome imported = importScientaFiles(scienta, list);
        if (!imported.messages.empty()) {
            discardScientaFiles(list);
            LoadOutcome out;
            out.status = LoadStatus::Failed;
            out.failedPath = imported.messages.front().path;
            out.message = imported.messages.front().text;
            return out;
        }
        LoadOutcome loaded = loadSpectrumFiles(ws, list, options);
        if (!loaded) return loaded;
        all.added = loaded.added;
    }
    for (const std::string& path : origin) {
        LoadOutcome loaded = importOriginFile(ws, path, options.progress);
        if (!loaded) return loaded;
        all.added.insert(all.added.end(), loaded.added.begin(), loaded.added.end());
        if (!loaded.message.empty()) all.message += (all.message.empty() ? "" : "\n") + loaded.message;
    }
    return all;
}

} // namespace korvo

#include "viewer/origin_import.h"

#include "common/number_text.h"
#include "files/origin_file.h"
#include "files/spectrum_format.h"
#include "viewer/load_staging.h"
#include "viewer/workspace_project.h"

namespace korvo {

LoadOutcome importOriginFile(tvar& ws, const std::string& path, const LoadProgressHook& progress) {
    LoadOutcome out;
    out.failedPath = path;
    const auto stop = [&out](LoadStatus status, std::string message, int line = 0) {
        out.status = status;
        out.message = std::move(message);
        out.failedLine = line;
        return out;
    };
    if (projectPathKind(path) != ProjectPathKind::Origin)
        return stop(LoadStatus::Refused, "Only a file with the extension \".dat\" is read as an Origin file.");
    const LoadProgress where{path, 0, 1, 0, 0};
    if (progress && !progress(where)) return stop(LoadStatus::Cancelled, "Loading was cancelled; nothing was loaded.");

    const std::string shortName = fileNameWithoutDirectory(pathText(path));
    LoadBuffer buffer;
    std::string error;
    const auto source = LoadFileSource::open(path, kMaxSpectrumFileBytes, buffer, error);
    if (!source) return stop(LoadStatus::Failed, error);
    source->setProgress(&progress, where);
    StagedSpectra staged;
    OriginReadLimits limits;
    limits.maxColumns = static_cast<std::size_t>(std::max(kMaxSpectra - ws.spectrumCount(), 0));
    const OriginReadResult r = readOriginSource(*source, shortName, staged.points, limits);
    if (source->cancelled()) return stop(LoadStatus::Cancelled, "Loading was cancelled; nothing was loaded.");
    if (!r) return stop(LoadStatus::Failed, r.error, r.errorLine);
    const OriginTable& t = r.table;
    if (std::string why = checkRoom(ws, t.columns, staged.pointCount()); !why.empty())
        return stop(LoadStatus::Failed, why);

    // Every column is named after the file up to the first "." of its name.
    const std::string stem = shortName.substr(0, shortName.find('.'));
    staged.spectra.resize(t.columns);
    for (std::size_t c = 0; c < t.columns; ++c) {
        ViewerSpectrum& s = staged.spectra[c];
        s.ShortName = cutToCharacters(stem + "_" + std::to_string(c + 1), kLongTextLength);
        s.FileName = s.ShortName;
        s.RateFactor = 1; // a table carries no scans or measuring time to rate its counts by
        s.NumPoints = static_cast<std::int32_t>(t.rows);
        s.XMin = s.XMinOrig = t.xMin;
        s.XMax = s.XMaxOrig = t.xMax;
        s.YMin = s.YMinOrig = t.yMin;
        s.YMax = s.YMaxOrig = t.yMax;
        s.YTop = s.YMax;
    }
    out = {};
    out.status = LoadStatus::Loaded;
    out.added = commitStaged(ws, std::move(staged));
    ws.Active = 1;
    out.message = text::formatGeneral(t.xMax, 15) + "  " + text::formatGeneral(t.xMin, 15) + "  " +
                  text::formatGeneral(t.yMin, 15) + "  " + text::formatGeneral(t.yMax, 15);
    return out;
}

} // namespace korvo

#include "viewer/workspace_project.h"

#include "common/file_util.h"
#include "files/project_file.h"
#include "files/spectrum_format.h"
#include "viewer/load_staging.h"

#include <algorithm>
#include <cmath>

namespace korvo {
namespace {

// The extension as the open dialog sees it: from the last "." of the file name on.
std::string_view extensionOf(std::string_view path) {
    const std::size_t slash = path.find_last_of('/');
    const std::string_view name = slash == std::string_view::npos ? path : path.substr(slash + 1);
    const std::size_t dot = name.find_last_of('.');
    return dot == std::string_view::npos ? std::string_view{} : name.substr(dot);
}

ViewerSpectrum fromBlock(ProjectBlock&& b) {
    ViewerSpectrum s;
    s.PathName = cutToCharacters(std::move(b.PathName), kLongTextLength);
    s.FileName = std::move(b.FileName);
    s.ShortName = cutToCharacters(std::move(b.ShortName), kLongTextLength);
    s.SampleText = cutToCharacters(std::move(b.SampleText), kLongTextLength);
    s.CommentText = cutToCharacters(std::move(b.CommentText), kLongTextLength);
    s.DateText = cutToCharacters(std::move(b.DateText), kLongTextLength);
    s.ScansText = cutToCharacters(std::move(b.ScansText), kShortTextLength);
    s.PassEnText = cutToCharacters(std::move(b.PassEnText), kShortTextLength);
    s.PointsText = cutToCharacters(std::move(b.PointsText), kShortTextLength);
    s.MeasTimeText = cutToCharacters(std::move(b.MeasTimeText), kShortTextLength);
    s.Scans = b.Scans;
    s.MeasTime = b.MeasTime;
    // A project keeps no rate factor; the scans and measuring time it keeps give the same one a load
    // of the spectrum file gave.
    s.RateFactor = rateFactorOf(b.Scans, b.MeasTime); // 1 without scans or measuring time
    s.YMax = b.YMax;
    s.YMin = b.YMin;
    s.XMin = b.XMin;
    s.XMax = b.XMax;
    s.XMaxOrig = b.XMaxOrig;
    s.XMinOrig = b.XMinOrig;
    s.YMinOrig = b.YMinOrig;
    s.YMaxOrig = b.YMaxOrig;
    s.YTop = b.YMax;
    s.NumPoints = b.NumPoints;
    return s;
}

ProjectBlock toBlock(const ViewerSpectrum& s) {
    ProjectBlock b;
    b.PathName = s.PathName;
    b.FileName = s.FileName;
    b.ShortName = s.ShortName;
    b.SampleText = s.SampleText;
    b.CommentText = s.CommentText;
    b.DateText = s.DateText;
    b.ScansText = s.ScansText;
    b.PassEnText = s.PassEnText;
    b.PointsText = s.PointsText;
    b.MeasTimeText = s.MeasTimeText;
    b.Scans = s.Scans;
    b.MeasTime = s.MeasTime;
    b.YMax = s.YMax;
    b.YMin = s.YMin;
    b.XMin = s.XMin;
    b.XMax = s.XMax;
    b.XMaxOrig = s.XMaxOrig;
    b.XMinOrig = s.XMinOrig;
    b.YMinOrig = s.YMinOrig;
    b.YMaxOrig = s.YMaxOrig;
    b.NumPoints = s.NumPoints;
    b.PoolStart = s.PoolStart;
    return b;
}

} // namespace

ProjectPathKind projectPathKind(const std::string& path) {
    const std::string_view ext = extensionOf(path);
    if (ext == ".dat") return ProjectPathKind::Origin;
    return ext.find("k98") != std::string_view::npos ? ProjectPathKind::Project : ProjectPathKind::WrongExtension;
}

std::string projectSavePath(const std::string& chosen) {
    const std::size_t slash = chosen.find_last_of('/');
    const std::size_t nameStart = slash == std::string::npos ? 0 : slash + 1;
    const std::size_t dot = chosen.find('.', nameStart);
    return dot == std::string::npos ? chosen + ".k98" : chosen.substr(0, dot + 1) + "k98";
}

bool stageProject(const std::string& path, std::size_t maxSpectra, LoadBuffer& buffer, const LoadProgressHook* hook,
                  LoadProgress where, StagedSpectra& staged, StagedProject& project, StageFailure& failure) {
    std::string error;
    const auto source = LoadFileSource::open(path, kMaxSpectrumFileBytes, buffer, error);
    if (!source) {
        failure = {LoadStatus::Failed, error, path, 0};
        return false;
    }
    source->setProgress(hook, where);
    project.name = fileNameWithoutDirectory(pathText(path));
    ProjectReadLimits limits;
    limits.maxSpectra = maxSpectra;
    limits.totalBytes = source->size();
    ProjectReadResult r = readProjectSource(*source, project.name, staged.points, limits);
    if (source->cancelled()) {
        failure = {LoadStatus::Cancelled, "Loading was cancelled; nothing was loaded.", path, 0};
        return false;
    }
    if (!r) {
        failure = {LoadStatus::Failed, r.error, path, r.errorLine};
        return false;
    }
    project.geometry = {r.layout.width, r.layout.height, r.layout.top, r.layout.left};
    project.spectra = r.layout.blocks.size();
    for (ProjectBlock& b : r.layout.blocks) staged.spectra.push_back(fromBlock(std::move(b)));
    return true;
}

LoadOutcome loadProjectFile(tvar& ws, const std::string& path, const LoadProgressHook& progress) {
    LoadOutcome out;
    out.failedPath = path;
    const ProjectPathKind kind = projectPathKind(path);
    if (kind != ProjectPathKind::Project) {
        out.status = LoadStatus::Refused;
        out.message = kind == ProjectPathKind::Origin ? "A \".dat\" file is read by the Origin import, not as a project."
                                                      : std::string(kWrongProjectExtension);
        return out;
    }
    const LoadProgress where{path, 0, 1, 0, 0};
    if (progress && !progress(where)) {
        out.status = LoadStatus::Cancelled;
        out.message = "Loading was cancelled; nothing was loaded.";
        return out;
    }
    StagedSpectra staged;
    StagedProject project;
    StageFailure failure;
    LoadBuffer buffer;
    const auto room = static_cast<std::size_t>(kMaxSpectra - ws.spectrumCount());
    if (!stageProject(path, room, buffer, &progress, where, staged, project, failure)) {
        out.status = failure.status;
        out.message = failure.message;
        out.failedLine = failure.line;
        return out;
    }
    if (std::string why = checkRoom(ws, staged.spectra.size(), staged.pointCount()); !why.empty()) {
        out.status = LoadStatus::Failed;
        out.message = why;
        return out;
    }
    out.failedPath.clear();
    out.status = LoadStatus::Loaded;
    out.added = commitStaged(ws, std::move(staged));
    ws.Active = 1;
    ws.ProjectFileName = project.name;
    ws.geometry = project.geometry;
    out.geometry = project.geometry;
    out.message = std::to_string(project.spectra) + " spectra opened !";
    return out;
}

namespace {

// A number the project's reader refuses ("INF", "NAN") would make the whole file unreadable.
bool allFinite(const ViewerSpectrum& s, std::span<const SpectrumPoint> points) {
    for (double v :
         {s.MeasTime, s.YMax, s.YMin, s.XMin, s.XMax, s.XMaxOrig, s.XMinOrig, s.YMinOrig, s.YMaxOrig})
        if (!std::isfinite(v)) return false;
    return std::all_of(points.begin(), points.end(),
                       [](const SpectrumPoint& p) { return std::isfinite(p.x) && std::isfinite(p.y); });
}

} // namespace

bool saveProjectFile(const tvar& ws, const std::string& path, std::string* error) {
    for (int i = 1; i <= ws.ShownCount; ++i) {
        const int k = ws.atPosition(i);
        if (allFinite(ws.spectrum(k), ws.points(k))) continue;
        if (error)
            *error =
                "The spectrum " + ws.spectrum(k).ShortName +
                " holds a value that is not a finite number; a project with it could not be loaded again. "
                "Nothing was saved.";
        return false;
    }
    ProjectLayout layout;
    layout.width = ws.geometry.width;
    layout.height = ws.geometry.height;
    layout.top = ws.geometry.top;
    layout.left = ws.geometry.left;
    std::vector<std::span<const SpectrumPoint>> points;
    for (int i = 1; i <= ws.ShownCount; ++i) {
        const int k = ws.atPosition(i);
        layout.blocks.push_back(toBlock(ws.spectrum(k)));
        points.push_back(ws.points(k));
    }
    return writeFileAtomic(path, projectFileBytes(layout, points), error);
}

} // namespace korvo

#include "viewer/load.h"

#include "common/file_util.h"
#include "common/text_codec.h"
#include "files/spectrum_format.h"
#include "files/spectrum_reader.h"
#include "viewer/load_staging.h"
#include "viewer/nexus_import.h"
#include "viewer/vamas_import.h"
#include "viewer/workspace_project.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cmath>
#include <limits>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace korvo {
namespace {

constexpr const char* kCancelled = "Loading was cancelled; nothing was loaded.";

} // namespace

// A flat line still needs a scale; the headroom is applied to the leading digits of the largest
// count so that it does not grow with the magnitude.
void setLoadedRange(ViewerSpectrum& s, std::span<const SpectrumPoint> points) {
    s.XMin = s.YMin = 1e20;
    s.XMax = s.YMax = -1e20;
    if (!points.empty()) {
        s.XMin = s.XMax = points[0].x;
        s.YMin = s.YMax = points[0].y;
    }
    for (const SpectrumPoint& p : points) {
        if (p.x < s.XMin) s.XMin = p.x;
        if (p.x > s.XMax) s.XMax = p.x;
        if (p.y < s.YMin) s.YMin = p.y;
        if (p.y > s.YMax) s.YMax = p.y;
    }
    // Twice a value beyond half the largest double is no number: the range stops at the largest.
    static constexpr double kLargest = std::numeric_limits<double>::max();
    const auto widen = [](double& lo, double& hi) {
        if (lo != hi) return;
        if (lo > 0) {
            hi = std::min(2 * lo, kLargest);
            lo = hi / 4;
        } else if (lo < 0) {
            lo = std::max(2 * lo, -kLargest);
            hi = lo / 4;
        } else {
            lo = -0.5;
            hi = 0.5;
        }
    };
    widen(s.YMin, s.YMax);
    widen(s.XMin, s.XMax);
    double m = 1;
    double top = s.YMax;
    while (top >= 100 && std::isfinite(top)) {
        top /= 10;
        m *= 10;
    }
    // In extended precision, as the headroom was always computed: all 50 gives exactly 100.1.
    const auto withHeadroom = static_cast<double>(static_cast<long double>(top) * 1.001L * m);
    // Only counts next to the largest double could overflow; they keep their own maximum.
    if (std::isfinite(withHeadroom)) s.YMax = withHeadroom;
    s.YTop = s.YMax;
    s.XMinOrig = s.XMin;
    s.XMaxOrig = s.XMax;
    s.YMinOrig = s.YMin;
    s.YMaxOrig = s.YMax;
}

double rateFactorOf(std::int32_t scans, double measTime) {
    const double rate = 1000 / static_cast<double>(scans) / measTime;
    return std::isfinite(rate) ? rate : 1;
}

namespace {

// One spectrum file into a new entry. false with `failure` filled when it cannot be read.
bool readOne(const std::string& path, LoadBuffer& buffer, const LoadOptions& options, LoadProgress where,
             ViewerSpectrum& s, std::vector<SpectrumPoint>& points, StageFailure& failure) {
    const std::string text = pathText(path);
    const std::string shortName = fileNameWithoutDirectory(text);
    std::string error;
    const auto source = LoadFileSource::open(path, kMaxSpectrumFileBytes, buffer, error);
    if (!source) {
        failure = {LoadStatus::Failed, error, path, 0};
        return false;
    }
    source->setProgress(&options.progress, where);
    SpectrumReadResult r = readSpectrumSource(*source, shortName);
    if (source->cancelled()) {
        failure = {LoadStatus::Cancelled, kCancelled, path, 0};
        return false;
    }
    if (!r) {
        failure = {LoadStatus::Failed, r.error, path, r.errorLine};
        return false;
    }
    s = viewerSpectrumOf(std::move(r.data), text, shortName, points);
    return true;
}

} // namespace

ViewerSpectrum viewerSpectrumOf(SpectrumFileData&& d, const std::string& pathName, const std::string& shortName,
                                std::vector<SpectrumPoint>& points) {
    ViewerSpectrum s;
    s.PathName = cutToCharacters(pathName, kLongTextLength);
    s.ShortName = cutToCharacters(shortName, kLongTextLength);
    s.FileName = std::move(d.fileName);
    s.DateText = std::move(d.dateText);
    s.CommentText = std::move(d.commentText);
    s.SampleText = std::move(d.sampleText);
    s.ScansText = std::move(d.scansText);
    s.MeasTimeText = std::move(d.measTimeText);
    s.PointsText = std::move(d.pointsText);
    s.PassEnText = std::move(d.passEnText);
    s.AnaStaText = std::move(d.anaStaText);
    s.AnaEndText = std::move(d.anaEndText);
    s.PhotEnText = std::move(d.photEnText);
    s.FileformText = std::move(d.fileformText);
    s.AnaFixText = std::move(d.anaFixText);
    s.ChannelTotals = d.channelTotals;
    // A header without a scan count or measuring time still gives a usable rate factor.
    s.Scans = d.scans == 0 ? 1 : d.scans;
    s.MeasTime = d.measTime == 0 ? 1 : d.measTime;
    s.NumPoints = static_cast<std::int32_t>(d.points.size()); // the reader holds it far below INT32_MAX
    setLoadedRange(s, d.points);
    s.RateFactor = rateFactorOf(s.Scans, s.MeasTime);
    points = std::move(d.points);
    return s;
}

namespace {

// The part of a header text after its first ":", leading blanks and TABs removed (the whole text when
// it has no ":").
std::string_view afterColon(std::string_view text) {
    const std::size_t colon = text.find(':');
    if (colon != std::string_view::npos) text.remove_prefix(colon + 1);
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
    return text;
}

// `text` without its first `n` characters (UTF-8).
std::string_view dropCharacters(std::string_view text, std::size_t n) {
    std::size_t i = 0;
    for (; n > 0 && i < text.size(); --n) {
        ++i;
        while (i < text.size() && (static_cast<unsigned char>(text[i]) & 0xC0) == 0x80) ++i;
    }
    return text.substr(i);
}

// Start of the overview file: what it holds already, or its title line when it does not exist yet.
bool overviewStart(const std::string& path, std::string& bytes, std::string& error) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0 && errno == ENOENT) {
        bytes = std::string(kOverviewTitle) + "\r\n";
        return true;
    }
    auto existing = readFile(path, &error, std::size_t(64) << 20);
    if (!existing) {
        error = "The overview file cannot be extended. " + error;
        return false;
    }
    bytes = std::move(*existing);
    return true;
}

LoadOutcome failed(const StageFailure& f) {
    LoadOutcome out;
    out.status = f.status;
    out.message = f.message;
    out.failedPath = f.path;
    out.failedLine = f.line;
    return out;
}

LoadOutcome refused(std::string message) {
    LoadOutcome out;
    out.status = LoadStatus::Refused;
    out.message = std::move(message);
    return out;
}

std::string tooManyFiles(std::size_t n) {
    return "Too many files: " + std::to_string(n) + " were chosen, at most " + std::to_string(kMaxLoadFiles) +
           " can be loaded at once. Nothing was loaded.";
}

// The temporary files of a Scienta import are of no use once the load has ended, whatever its
// outcome: they are deleted, and the flag goes with them.
class TempFiles {
public:
    explicit TempFiles(LoadList& list) : list_(list) {}
    ~TempFiles() {
        if (!list_.ScientaTempFlag) return;
        for (const std::string& path : list_.paths) ::unlink(path.c_str());
        if (!list_.tempDirectory.empty()) ::rmdir(list_.tempDirectory.c_str());
        list_.tempDirectory.clear();
        list_.ScientaTempFlag = false;
    }

private:
    LoadList& list_;
};

// The files one after another into a staging area, then all of them into the workspace. With
// `projects`, ".k98" files are read as projects (korvo-cli); the viewer's load reads every file of its
// list as a spectrum file.
LoadOutcome runLoad(tvar& ws, const std::vector<std::string>& paths, const LoadOptions& options, bool projects) {
    const std::size_t n = paths.size();
    if (n > static_cast<std::size_t>(kMaxLoadFiles)) return refused(tooManyFiles(n));
    if (std::string room = checkRoom(ws, n, 0); !room.empty()) return refused(room);
    if (std::string size = checkLoadSize(paths); !size.empty()) return refused(size);

    std::string overview;
    if (options.overviewPath) {
        std::string error;
        if (!overviewStart(*options.overviewPath, overview, error))
            return failed({LoadStatus::Failed, error, *options.overviewPath, 0});
    }
    StagedSpectra staged;
    staged.spectra.reserve(n);
    LoadBuffer buffer;
    StageFailure failure;
    std::optional<StagedProject> lastProject;
    std::string opened; // a line per project, as the project load says it
    for (std::size_t i = 0; i < n; ++i) {
        const std::string& path = paths[i];
        const LoadProgress where{path, i, n, 0, 0};
        if (options.progress && !options.progress(where))
            return failed({LoadStatus::Cancelled, kCancelled, path, 0});
        if (projects && projectPathKind(path) == ProjectPathKind::Project) {
            // A project may fill what the other files of the load leave free.
            const long free = long(kMaxSpectra) - ws.spectrumCount() - long(staged.spectra.size()) - long(n - 1 - i);
            StagedProject project;
            if (!stageProject(path, static_cast<std::size_t>(std::max(free, 0L)), buffer, &options.progress, where,
                              staged, project, failure))
                return failed(failure);
            if (!opened.empty()) opened += '\n';
            opened += std::to_string(project.spectra) + " spectra opened !";
            lastProject = std::move(project);
        } else if (projects && isNexusPath(path)) {
            const long free = long(kMaxSpectra) - ws.spectrumCount() - long(staged.spectra.size()) - long(n - 1 - i);
            if (!stageNexusFile(path, static_cast<std::size_t>(std::max(free, 0L)), options, where, staged, failure))
                return failed(failure);
        } else {
            ViewerSpectrum s;
            std::vector<SpectrumPoint> points;
            if (!readOne(path, buffer, options, where, s, points, failure)) return failed(failure);
            if (options.overviewPath) overview += utf8ToWindows1252(overviewLine(s)) + "\r\n";
            staged.spectra.push_back(std::move(s));
            staged.addPoints(std::move(points));
        }
        // File by file, so that the points staged never go far beyond what a window may hold.
        if (std::string room = checkRoom(ws, staged.spectra.size(), staged.pointCount()); !room.empty())
            return failed({LoadStatus::Failed, room, "", 0});
    }
    if (options.overviewPath) {
        std::string error;
        if (!writeFileAtomic(*options.overviewPath, overview, &error, LinkPolicy::FollowOwn))
            return failed({LoadStatus::Failed, "The overview file cannot be written. " + error,
                           *options.overviewPath, 0});
    }

    LoadOutcome out;
    out.status = LoadStatus::Loaded;
    out.added = commitStaged(ws, std::move(staged));
    out.message = std::move(opened);
    if (lastProject) {
        ws.Active = 1;
        ws.ProjectFileName = lastProject->name;
        ws.geometry = lastProject->geometry;
        out.geometry = lastProject->geometry;
    } else if (ws.Active == 0) {
        ws.Active = 1;
    }
    return out;
}

} // namespace

std::string overviewLine(const ViewerSpectrum& s) {
    std::string line;
    // The file name from the second character after its first ":" on: "FileName: C:\x" gives "C:\x".
    const std::size_t colon = s.FileName.find(':');
    line += colon == std::string::npos ? dropCharacters(s.FileName, 1)
                                       : dropCharacters(std::string_view(s.FileName).substr(colon + 1), 1);
    const std::string_view date = afterColon(s.DateText);
    const std::size_t blank = date.find(' ');
    line += '\t';
    if (blank != std::string_view::npos) line += date.substr(0, blank);
    line += '\t';
    line += blank == std::string_view::npos ? date : date.substr(blank + 1);
    for (const std::string* field : {&s.SampleText, &s.CommentText, &s.MeasTimeText, &s.ScansText, &s.PassEnText,
                                     &s.PointsText, &s.AnaStaText, &s.AnaEndText}) {
        line += '\t';
        line += afterColon(*field);
    }
    return line;
}

LoadOutcome loadSpectrumFiles(tvar& ws, LoadList& list, const LoadOptions& options) {
    TempFiles temp(list);
    const bool vamas = std::exchange(list.VamasFlag, false);
    const bool nexus = std::exchange(list.NexusFlag, false);
    if (list.LoadCount() == 0) {
        LoadOutcome out;
        // An empty window that gets nothing has no reason to stay.
        if (ws.spectrumCount() == 0) {
            ws.Closed = 1;
            out.closeWindow = true;
        }
        return out;
    }
    if (vamas) return loadVamasFiles(ws, list.paths, options);
    if (nexus) return loadNexusFiles(ws, list.paths, options);
    return runLoad(ws, list.paths, options, false);
}

LoadOutcome loadFiles(tvar& ws, const std::vector<std::string>& paths, const LoadOptions& options) {
    if (paths.empty()) return {};
    return runLoad(ws, paths, options, true);
}

} // namespace korvo

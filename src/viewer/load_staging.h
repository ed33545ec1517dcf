#pragma once
// The new spectra of a load, gathered beside the workspace until every file has been read, and their
// entry into the workspace. Shared by the load procedure and the project load, which korvo-cli runs
// as one load.
#include "viewer/load.h"
#include "viewer/load_source.h"
#include "viewer/workspace.h"

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace korvo {

struct StagedSpectra {
    std::vector<ViewerSpectrum> spectra; // in load order, NumPoints set
    // Their points one after the other behind one unused element, laid out as the pool of a window
    // that holds nothing else, so that a first load hands them over without a copy.
    std::vector<SpectrumPoint> points = std::vector<SpectrumPoint>(1);

    // Appends the points of one spectrum; the first spectrum's vector is taken over when it has room
    // for the unused element in front.
    void addPoints(std::vector<SpectrumPoint>&& more);
    std::size_t pointCount() const { return points.size() - 1; }
};

// The failure of one file, as the outcome reports it.
struct StageFailure {
    LoadStatus status = LoadStatus::Failed;
    std::string message;
    std::string path;
    int line = 0;
};

// Puts the staged spectra into the workspace: numbers after its spectra, Order positions directly
// after the shown block (the hidden block moves up), ShownCount, PoolStart chained, the pool grown as
// if point by point. The caller has checked that they fit (checkRoom). Returns their numbers.
std::vector<int> commitStaged(tvar& ws, StagedSpectra&& staged);

// An empty message when `spectra` more spectra with `points` more points fit into the workspace,
// else why not.
std::string checkRoom(const tvar& ws, std::size_t spectra, std::uint64_t points);

// Reads a project into `staged` (at most maxSpectra blocks). false with `failure` filled otherwise.
struct StagedProject {
    WindowGeometry geometry;
    std::string name; // file name without directory
    std::size_t spectra = 0;
};
bool stageProject(const std::string& path, std::size_t maxSpectra, LoadBuffer& buffer, const LoadProgressHook* hook,
                  LoadProgress where, StagedSpectra& staged, StagedProject& project, StageFailure& failure);

// The new entry of a spectrum file as the reader read it (its points moved into `points`): texts,
// scan count and measuring time (0 read as 1), rate factor, display range.
ViewerSpectrum viewerSpectrumOf(SpectrumFileData&& d, const std::string& pathName, const std::string& shortName,
                                std::vector<SpectrumPoint>& points);

// The display range of a freshly read spectrum: the extremes of its points, widened when they
// collapse to one value, 0.1 % headroom above the largest count; the ...Orig values and YTop with it.
void setLoadedRange(ViewerSpectrum& s, std::span<const SpectrumPoint> points);

// RateFactor: 1000 / scans / measuring time, or 1 when that is no finite number (a measuring time
// of 1e-320 ms).
double rateFactorOf(std::int32_t scans, double measTime);

// A path as a text: the bytes when they are UTF-8, else read as Windows-1252 (file names from old
// disks), so that PathName and ShortName are always valid texts.
std::string pathText(const std::string& path);

} // namespace korvo

#include "viewer/nexus_import.h"

#include "common/file_util.h"
#include "files/spectrum_format.h"
#include "files/spectrum_reader.h"
#include "files/spectrum_table.h"

#include <algorithm>
#include <fcntl.h>
#include <unistd.h>

namespace korvo {

ViewerSpectrum nexusViewerSpectrum(const NexusSpectrum& s, const std::string& path, std::vector<SpectrumPoint>& points) {
    SpectrumFileData d = spectrumFileDataOf(s.table, s.name);
    // A spectrum without its channels' columns (saved from a viewer, or read without them) keeps their
    // totals.
    if (!d.channelTotals && s.channelTotals) d.channelTotals = s.channelTotals;
    return viewerSpectrumOf(std::move(d), pathText(path), s.name, points);
}

bool isNexusPath(const std::string& path) {
    if (isNexusFileName(path)) return true;
    char start[8] = {};
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (fd < 0) return false;
    const ssize_t n = ::read(fd, start, sizeof start);
    ::close(fd);
    return n == static_cast<ssize_t>(sizeof start) && hasHdf5Signature(std::string_view(start, sizeof start));
}

bool stageNexusFile(const std::string& path, std::size_t maxSpectra, const LoadOptions& options, LoadProgress where,
                    StagedSpectra& staged, StageFailure& failure, StagedAdditions* additions) {
    NexusReadLimits limits;
    limits.maxSpectra = maxSpectra;
    limits.maxPoints = kMaxSpectrumPoints;
    limits.maxTotalValues = std::min<std::uint64_t>(limits.maxTotalValues, 2 * kMaxWindowPoints);
    limits.maxFileBytes = kMaxSpectrumFileBytes;
    limits.allColumns = false;
    const NexusReadResult r =
        readNexusFile(path, limits, [&] { return !options.progress || options.progress(where); });
    if (r.cancelled) {
        failure = {LoadStatus::Cancelled, r.error, path, 0};
        return false;
    }
    if (!r) {
        failure = {LoadStatus::Failed, r.error, path, 0};
        return false;
    }
    for (const NexusSpectrum& s : r.spectra) {
        if (additions && !s.additions.empty()) additions->emplace_back(staged.spectra.size(), s.additions);
        std::vector<SpectrumPoint> points;
        staged.spectra.push_back(nexusViewerSpectrum(s, path, points));
        if (r.spectra.size() > 1) staged.spectra.back().NexusEntry = s.entryName;
        staged.addPoints(std::move(points));
    }
    return true;
}

LoadOutcome loadNexusFiles(tvar& ws, const std::vector<std::string>& paths, const LoadOptions& options) {
    LoadOutcome out;
    const auto stop = [&out](const StageFailure& f) {
        out = {};
        out.status = f.status;
        out.message = f.message;
        out.failedPath = f.path;
        return out;
    };
    if (paths.empty()) return out;
    if (std::string size = checkLoadSize(paths); !size.empty()) return stop({LoadStatus::Refused, size, "", 0});
    StagedSpectra staged;
    StageFailure failure;
    StagedAdditions additions;
    for (std::size_t i = 0; i < paths.size(); ++i) {
        const LoadProgress where{paths[i], i, paths.size(), 0, 0};
        if (options.progress && !options.progress(where))
            return stop({LoadStatus::Cancelled, "Loading was cancelled; nothing was loaded.", paths[i], 0});
        const long free = long(kMaxSpectra) - ws.spectrumCount() - long(staged.spectra.size());
        if (!stageNexusFile(paths[i], std::size_t(std::max(free, 0L)), options, where, staged, failure, &additions))
            return stop(failure);
        if (std::string why = checkRoom(ws, staged.spectra.size(), staged.pointCount()); !why.empty())
            return stop({LoadStatus::Failed, why, "", 0});
    }
    out = {};
    out.status = LoadStatus::Loaded;
    out.added = commitStaged(ws, std::move(staged));
    for (auto& [index, groups] : additions) out.nexusAdditions.emplace_back(out.added.at(index), std::move(groups));
    if (ws.Active == 0) ws.Active = 1;
    return out;
}

} // namespace korvo

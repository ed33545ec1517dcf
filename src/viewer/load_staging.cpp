#include "viewer/load_staging.h"

#include "common/text_codec.h"

#include <climits>
#include <sys/stat.h>

namespace korvo {

void StagedSpectra::addPoints(std::vector<SpectrumPoint>&& more) {
    // A single large file is the usual first spectrum: shifting its points by one inside the room the
    // reader's vector has left is cheaper than a second copy of them all.
    if (points.size() == 1 && more.capacity() > more.size()) {
        more.insert(more.begin(), SpectrumPoint{});
        points = std::move(more);
        return;
    }
    points.insert(points.end(), more.begin(), more.end());
}

std::string checkRoom(const tvar& ws, std::size_t spectra, std::uint64_t points) {
    const auto held = static_cast<std::size_t>(ws.spectrumCount());
    if (held + spectra > static_cast<std::size_t>(kMaxSpectra))
        return "This window holds " + std::to_string(held) + " spectra; " + std::to_string(spectra) +
               " more would exceed its " + std::to_string(kMaxSpectra) + ". Nothing was loaded.";
    // The bound also keeps PoolStart, a 32-bit number, far inside its range.
    static_assert(kMaxWindowPoints < std::uint64_t(INT32_MAX));
    std::uint64_t inPool = 0;
    for (int k = 1; k <= ws.spectrumCount(); ++k)
        inPool += static_cast<std::uint64_t>(std::max(ws.spectrum(k).NumPoints, 0));
    if (inPool + points > kMaxWindowPoints)
        return "These spectra hold too many points for one window (" + std::to_string(inPool + points) +
               ", at most " + std::to_string(kMaxWindowPoints) + "). Nothing was loaded.";
    return {};
}

std::string checkLoadSize(const std::vector<std::string>& paths) {
    std::uint64_t total = 0;
    for (const std::string& path : paths) {
        struct stat st {};
        if (::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode)) total += static_cast<std::uint64_t>(st.st_size);
    }
    if (total <= kMaxLoadBytes) return {};
    const auto mb = [](std::uint64_t bytes) { return std::to_string((bytes + (1 << 20) - 1) >> 20) + " MB"; };
    return "These files hold " + mb(total) + " together, more than the " + mb(kMaxLoadBytes) +
           " one load may read. Nothing was loaded.";
}

std::vector<int> commitStaged(tvar& ws, StagedSpectra&& staged) {
    const int held = ws.spectrumCount();
    const int n = static_cast<int>(staged.spectra.size());
    // Room directly after the shown block: the hidden block moves up by n, from its end backwards.
    for (int p = held; p > ws.ShownCount; --p)
        ws.Order[static_cast<std::size_t>(p + n)] = ws.Order[static_cast<std::size_t>(p)];
    std::vector<int> added;
    added.reserve(static_cast<std::size_t>(n));
    for (int i = 0; i < n; ++i) {
        const int k = held + 1 + i;
        ws.spectra[static_cast<std::size_t>(k)] = std::move(staged.spectra[static_cast<std::size_t>(i)]);
        ws.Order[static_cast<std::size_t>(ws.ShownCount + 1 + i)] = static_cast<std::uint16_t>(k);
        added.push_back(k);
    }
    ws.recomputePoolStarts(held + n);
    // The pool ends where the last point of the last new spectrum lies, as if it had been grown point
    // by point; spectra without points do not grow it.
    if (staged.pointCount() > 0) {
        const auto firstFree = static_cast<std::size_t>(ws.spectrum(held + 1).PoolStart) + 1;
        if (firstFree == 1) {
            ws.pool = std::move(staged.points);
        } else {
            ws.pool.resize(firstFree);
            ws.pool.insert(ws.pool.end(), staged.points.begin() + 1, staged.points.end());
        }
    }
    ws.ShownCount += n;
    return added;
}

std::string pathText(const std::string& path) {
    return isValidUtf8(path) ? path : windows1252ToUtf8(path);
}

} // namespace korvo

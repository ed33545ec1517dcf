#pragma once
// Shared helpers of the workspace tests: spectrum files on disk and the whole state of a workspace
// as one text, so that "nothing changed" is one comparison.
#include "common/file_util.h"
#include "support/temp_dir.h"
#include "viewer/load.h"
#include "viewer/workspace.h"
#include "viewer/workspace_output.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>
#include <string>
#include <vector>

namespace korvo::testing {

// A spectrum file with a short header and the given (x, y) rows.
inline std::string spectrumText(const std::vector<std::pair<double, double>>& points, const std::string& header = "") {
    std::ostringstream s;
    s << header << "BEGIN:\r\n";
    for (const auto& [x, y] : points) s << x << ' ' << y << "\r\n";
    s << "END\r\n";
    return s.str();
}

inline std::string writeText(const TempDir& dir, const std::string& name, const std::string& bytes) {
    const std::string path = dir.file(name);
    EXPECT_TRUE(writeFileAtomic(path, bytes)) << path;
    return path;
}

// Everything a workspace shows: counts, order, every spectrum's fields and points, and the size of
// the pool.
inline std::string stateOf(const tvar& ws) {
    std::ostringstream s;
    writeWorkspaceJson(s, ws);
    s << "pool " << ws.pool.size() << " ProjectFileName " << ws.ProjectFileName << " Closed " << int(ws.Closed);
    // The entries the next load fills must still be empty: a rolled-back load leaves nothing there.
    for (int k = ws.spectrumCount() + 1; k <= std::min(ws.spectrumCount() + 3, kMaxSpectra); ++k)
        s << " next " << ws.spectrum(k).PathName << ws.spectrum(k).NumPoints << ws.spectrum(k).PoolStart
          << ws.atPosition(k);
    return s.str();
}

inline LoadOutcome load(tvar& ws, std::vector<std::string> paths, const LoadOptions& options = {}) {
    LoadList list;
    list.paths = std::move(paths);
    return loadSpectrumFiles(ws, list, options);
}

// PoolStart chains through all spectra and the pool ends behind the last point.
inline void expectChained(const tvar& ws) {
    const int n = ws.spectrumCount();
    ASSERT_GE(n, 1);
    EXPECT_EQ(ws.spectrum(1).PoolStart, 0);
    for (int k = 1; k < n; ++k)
        ASSERT_EQ(ws.spectrum(k).PoolStart + ws.spectrum(k).NumPoints, ws.spectrum(k + 1).PoolStart) << k;
    std::size_t total = 0;
    for (int k = 1; k <= n; ++k) total += static_cast<std::size_t>(ws.spectrum(k).NumPoints);
    if (total > 0) {
        EXPECT_EQ(ws.pool.size(), total + 1);
    }
}

} // namespace korvo::testing

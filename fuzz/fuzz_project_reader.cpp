// Projects come from colleagues and older installations: truncated, hand-edited, binary, or claiming
// more than they hold. A project that reads is written again and must read back the same; one that
// does not must leave the caller's points, and a window it was loaded into, as they were.
#include "common/text_codec.h"
#include "files/project_file.h"
#include "scratch_file.h"
#include "viewer/load.h"
#include "viewer/workspace_output.h"
#include "viewer/workspace_project.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <sstream>
#include <string>
#include <string_view>

namespace {

// Texts are compared unless the written file is UTF-8 throughout with characters beyond ASCII: such
// Windows-1252 bytes read back as UTF-8 (Windows-1252 "\xC3\xA4" is UTF-8 "\xC3\xA4"), as every
// file of that kind does.
bool sameBlocks(const korvo::ProjectLayout& a, const korvo::ProjectLayout& b, bool texts) {
    if (a.width != b.width || a.height != b.height || a.top != b.top || a.left != b.left ||
        a.blocks.size() != b.blocks.size())
        return false;
    for (std::size_t i = 0; i < a.blocks.size(); ++i) {
        const korvo::ProjectBlock &x = a.blocks[i], &y = b.blocks[i];
        // As written: characters Windows-1252 lacks become "?" on the way.
        const auto same = [](const std::string& u, const std::string& v) {
            return korvo::utf8ToWindows1252(u) == korvo::utf8ToWindows1252(v);
        };
        if (texts && !(same(x.PathName, y.PathName) && same(x.FileName, y.FileName) && same(x.ShortName, y.ShortName) &&
                       same(x.SampleText, y.SampleText) && same(x.CommentText, y.CommentText) &&
                       same(x.DateText, y.DateText) && same(x.ScansText, y.ScansText) &&
                       same(x.PassEnText, y.PassEnText) && same(x.PointsText, y.PointsText) &&
                       same(x.MeasTimeText, y.MeasTimeText)))
            return false;
        if (x.Scans != y.Scans || x.NumPoints != y.NumPoints)
            return false;
    }
    return true;
}

std::vector<std::span<const korvo::SpectrumPoint>> spans(const korvo::ProjectLayout& layout,
                                                       const std::vector<korvo::SpectrumPoint>& points) {
    std::vector<std::span<const korvo::SpectrumPoint>> out;
    std::size_t at = 1;
    for (const korvo::ProjectBlock& b : layout.blocks) {
        out.emplace_back(points.data() + at, static_cast<std::size_t>(b.NumPoints));
        at += static_cast<std::size_t>(b.NumPoints);
    }
    return out;
}

std::string stateOf(const korvo::tvar& ws) {
    std::ostringstream s;
    korvo::writeWorkspaceJson(s, ws);
    s << ws.pool.size() << ws.ProjectFileName;
    return s.str();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    std::vector<korvo::SpectrumPoint> points(1);
    korvo::ProjectReadLimits limits;
    limits.maxSpectra = 1999; // the room the window below has
    const korvo::ProjectReadResult r = korvo::readProjectText(bytes, "fuzz.k98", points, limits);
    if (static_cast<bool>(r) == !r.error.empty()) std::abort(); // a failure always says why
    if (!r) {
        if (points.size() != 1) std::abort();
    } else {
        std::size_t total = 0;
        for (const korvo::ProjectBlock& b : r.layout.blocks) total += static_cast<std::size_t>(b.NumPoints);
        if (points.size() != total + 1 || r.layout.blocks.size() > 2000) std::abort();
        // Written again, it reads back the same and is then written the same.
        const std::string once = korvo::projectFileBytes(r.layout, spans(r.layout, points));
        std::vector<korvo::SpectrumPoint> again(1);
        const korvo::ProjectReadResult back = korvo::readProjectText(once, "again.k98", again);
        const bool ambiguous =
            korvo::isValidUtf8(once) && std::any_of(once.begin(), once.end(), [](char c) { return c & 0x80; });
        if (!back || !sameBlocks(r.layout, back.layout, !ambiguous) || again.size() != points.size()) std::abort();
        if (!ambiguous && korvo::projectFileBytes(back.layout, spans(back.layout, again)) != once) std::abort();
    }

    // Through a file into a window that holds a spectrum already: all of it or nothing.
    const std::string& path = korvo::fuzz::writeScratchFile(bytes, ".k98");
    korvo::tvar ws;
    ws.spectrum(1).NumPoints = 2;
    ws.pool.resize(3, {1, 2});
    ws.ShownCount = 1, ws.Order[1] = 1, ws.Active = 1;
    const std::string before = stateOf(ws);
    const korvo::LoadOutcome out = korvo::loadProjectFile(ws, path);
    if (static_cast<bool>(out) != static_cast<bool>(r)) std::abort();
    if (!out && stateOf(ws) != before) std::abort();
    if (out && (ws.spectrumCount() != 1 + static_cast<int>(r.layout.blocks.size()) ||
                ws.pool.size() != (points.size() > 1 ? points.size() + 2 : 3)))
        std::abort();
    return 0;
}

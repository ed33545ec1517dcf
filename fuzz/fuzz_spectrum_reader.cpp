// Spectrum files come from other programs, hand edits, truncated copies and damaged disks. Inputs
// that start with '#' instead become the comment and sample of a written file, which must read back.
// Each readable input is also loaded into a workspace, which korvo-cli info writes out.
#include "files/spectrum_info.h"
#include "files/spectrum_reader.h"
#include "files/spectrum_writer.h"
#include "piece_source.h"
#include "scratch_file.h"
#include "viewer/load.h"
#include "viewer/workspace_output.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <sstream>
#include <string>
#include <string_view>

namespace {

bool sameResult(const korvo::SpectrumReadResult& a, const korvo::SpectrumReadResult& b) {
    const korvo::SpectrumFileData &x = a.data, &y = b.data;
    if (a.fault != b.fault || a.error != b.error || a.errorLine != b.errorLine) return false;
    if (x.points.size() != y.points.size() || x.headerLines != y.headerLines || x.endFound != y.endFound)
        return false;
    for (std::size_t i = 0; i < x.points.size(); ++i)
        if (x.points[i].x != y.points[i].x || x.points[i].y != y.points[i].y) return false;
    return x.fileName == y.fileName && x.commentText == y.commentText && x.sampleText == y.sampleText &&
           x.dateText == y.dateText && x.scansText == y.scansText && x.scans == y.scans &&
           x.measTimeText == y.measTimeText && x.measTime == y.measTime && x.pointsText == y.pointsText &&
           x.passEnText == y.passEnText && x.anaStaText == y.anaStaText && x.anaEndText == y.anaEndText &&
           x.photEnText == y.photEnText;
}

void readAnything(std::string_view bytes) {
    const korvo::SpectrumReadResult r = korvo::readSpectrumText(bytes, "fuzz.dat");
    if (static_cast<bool>(r) == !r.error.empty()) std::abort(); // a failure always says why
    // Lines that run over the end of a piece, and CR LF split between two, read as in one piece.
    // Large inputs come in larger pieces (still dozens of them), so that a replay stays quick.
    korvo::fuzz::PieceSource pieces(bytes, 1 + bytes.size() % 7 + bytes.size() / 64);
    if (!sameResult(r, korvo::readSpectrumSource(pieces, "fuzz.dat"))) std::abort();
    if (!r) return;
    if (r.data.points.size() > bytes.size()) std::abort(); // at most one point per line
    for (const korvo::SpectrumPoint& p : r.data.points)
        if (!std::isfinite(p.x) || !std::isfinite(p.y)) std::abort();
    if (r.data.commentText.size() > 400 || r.data.scansText.size() > 80) std::abort(); // cut fields

    // Loaded as the viewer loads it, the file is one spectrum with the reader's points; the JSON of the
    // workspace is a valid document with every point, its text reaches a terminal without a control
    // character.
    const std::string& path = korvo::fuzz::writeScratchFile(bytes, ".dat");
    korvo::tvar ws;
    korvo::LoadList list;
    list.paths = {path};
    if (!korvo::loadSpectrumFiles(ws, list)) std::abort();
    const korvo::ViewerSpectrum& s = ws.spectrum(1);
    if (ws.ShownCount != 1 || s.NumPoints != static_cast<std::int32_t>(r.data.points.size())) std::abort();
    if (s.Scans < 1 || s.MeasTime == 0 || !std::isfinite(s.RateFactor)) std::abort();
    std::ostringstream json;
    if (!korvo::writeWorkspaceJson(json, ws)) std::abort();
    const auto doc = nlohmann::json::parse(json.str(), nullptr, false);
    if (doc.is_discarded() || doc.at("spectra").at(0).at("points").size() != r.data.points.size()) std::abort();
    std::ostringstream text;
    korvo::writeWorkspaceText(text, ws);
    for (const char c : text.str())
        if ((static_cast<unsigned char>(c) < 0x20 && c != '\n') || c == 0x7F) std::abort();
}

void writeAndReadBack(std::string_view text) {
    korvo::SpectrumHeader h;
    h.machineMode = static_cast<std::uint8_t>(text.empty() ? 2 : 1 + static_cast<unsigned char>(text[0]) % 5);
    h.comment = std::string(text);
    h.sample = std::string(text.substr(text.size() / 2));
    h.startFieldText = "10"; // a number: the run refuses to start otherwise
    h.points = 3;
    h.ramp = 1;
    h.userName = "fuzz";
    h.writtenAt = 0;
    korvo::DataBlock block(4);
    for (std::size_t i = 1; i < block.size(); ++i) {
        block[i].Energy = static_cast<double>(i);
        block[i].Co[0] = static_cast<double>(10 * i);
        block[i].Co[1] = 0.5;
    }
    const auto r = korvo::readSpectrumText(korvo::spectrumFileBytes(h, {}, block), "w.dat");
    if (!r || r.data.points.size() != 3) std::abort();
    for (std::size_t i = 0; i < 3; ++i)
        if (r.data.points[i].x != static_cast<double>(i + 1) || r.data.points[i].y != 10.0 * (i + 1))
            std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    if (!bytes.empty() && bytes[0] == '#')
        writeAndReadBack(bytes.substr(1));
    else
        readAnything(bytes);
    return 0;
}

#include "viewer/vamas_import.h"

#include "common/number_text.h"
#include "files/spectrum_format.h"
#include "viewer/load_staging.h"
#include "viewer/vamas_export.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <optional>

namespace korvo {
namespace {

constexpr const char* kCancelled = "Loading was cancelled; nothing was loaded.";

std::string twoDigits(std::int32_t v) {
    return text::formatPattern(double(v), "00");
}

std::string dateText(const VamasDateTime& d) {
    if (d.year == 0 && d.month == 0 && d.day == 0) return {};
    return "Date:  " + twoDigits(d.day) + "." + twoDigits(d.month) + "." + text::formatPattern(double(d.year), "0000") +
           " " + twoDigits(d.hour) + ":" + twoDigits(d.minute) + ":" + twoDigits(d.second);
}

std::optional<double> realOf(const std::string& text) {
    double v = 0;
    const auto r = std::from_chars(text.data(), text.data() + text.size(), v);
    if (r.ec != std::errc() || r.ptr != text.data() + text.size() || !std::isfinite(v)) return std::nullopt;
    return v;
}

bool sameLetters(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) ==
                      std::tolower(static_cast<unsigned char>(y));
           });
}

// The value of the block's additional parameter `label` as a number.
std::optional<double> parameterOf(const VamasBlock& b, std::string_view label) {
    for (const VamasParameter& p : b.parameters)
        if (sameLetters(p.label, label))
            if (const auto v = text::parseDouble(p.value)) return *v;
    return std::nullopt;
}

// Texts of another program's photon-energy scan as a spectrum file of the same scan would carry
// them. With the analyser's start energy it is a CIS scan, otherwise one at a fixed analyser energy.
void photonScanTexts(const VamasBlock& b, ViewerSpectrum& s) {
    const std::optional<double> analyserStart = parameterOf(b, kAnalyserStartEnergy);
    const std::optional<double> analyserFixed = parameterOf(b, kFixedAnalyserEnergy);
    s.FileformText = analyserStart ? "Fileform: CLAM_CIS" : "Fileform: CLAM_CFS";
    s.AnaStaText.clear();
    s.AnaEndText.clear();
    if (analyserStart)
        s.AnaStaText = cutToCharacters("AnaSta:" + text::formatGeneral(*analyserStart, 15), kShortTextLength);
    else if (analyserFixed)
        s.AnaFixText = cutToCharacters("Fix. Analyser Energy:" + text::formatGeneral(*analyserFixed, 15),
                                       kLongTextLength);
    s.PhotEnText.clear();
    if (b.sourceEnergy > 0)
        s.PhotEnText =
            cutToCharacters("Phot.Start: " + text::formatGeneral(b.sourceEnergy, 15), kShortTextLength);
}

} // namespace

ViewerSpectrum vamasSpectrum(const VamasBlock& b, const std::string& path, int blockNumber) {
    ViewerSpectrum s;
    const std::string pathName = pathText(path);
    s.PathName = cutToCharacters(pathName, kLongTextLength);
    s.ShortName = cutToCharacters(
        b.blockId.empty() ? fileNameWithoutDirectory(pathName) + "_" + std::to_string(blockNumber) : b.blockId,
        kLongTextLength);
    s.Scans = b.scans;
    s.MeasTime = b.collectionTime * 1000;
    const auto& pts = b.points;
    if (b.korvo.empty()) {
        // Another program's block: texts as a spectrum file would carry them.
        s.FileName = s.ShortName;
        s.SampleText = cutToCharacters("Probe: " + b.sampleId, kLongTextLength);
        s.CommentText = b.comment.empty() ? "" : cutToCharacters("Comment: " + b.comment.front(), kLongTextLength);
        s.DateText = dateText(b.date);
        s.ScansText = cutToCharacters("Scans: " + std::to_string(b.scans), kShortTextLength);
        s.MeasTimeText = cutToCharacters("MeasTime: " + text::formatGeneral(s.MeasTime, 15), kShortTextLength);
        s.PointsText = cutToCharacters("Points:" + std::to_string(pts.size()), kShortTextLength);
        s.PassEnText = "PassEn: " + text::formatFixedPrecision(b.passEnergy, 4, 2);
        if (!pts.empty()) {
            s.AnaStaText = cutToCharacters("AnaSta:" + text::formatGeneral(pts.front().x, 15), kShortTextLength);
            s.AnaEndText = cutToCharacters("AnaEnd:" + text::formatGeneral(pts.back().x, 15), kShortTextLength);
        }
        if (b.sourceEnergy > 0)
            s.PhotEnText = cutToCharacters("PhotEn: " + text::formatGeneral(b.sourceEnergy, 15), kShortTextLength);
        if (sameLetters(b.abscissaLabel, kPhotonEnergyLabel)) photonScanTexts(b, s);
    } else {
        // A block Korvo wrote: its texts exactly as they were; one it left out stays empty.
        s.FileName = s.ShortName;
        struct Text {
            const char* name;
            std::string* field;
            std::size_t length;
        };
        const Text texts[] = {{"CommentText", &s.CommentText, kLongTextLength},
                              {"SampleText", &s.SampleText, kLongTextLength},
                              {"DateText", &s.DateText, kLongTextLength},
                              {"ScansText", &s.ScansText, kShortTextLength},
                              {"MeasTimeText", &s.MeasTimeText, kShortTextLength},
                              {"PointsText", &s.PointsText, kShortTextLength},
                              {"PassEnText", &s.PassEnText, kShortTextLength},
                              {"AnaStaText", &s.AnaStaText, kShortTextLength},
                              {"AnaEndText", &s.AnaEndText, kShortTextLength},
                              {"PhotEnText", &s.PhotEnText, kShortTextLength},
                              {"FileformText", &s.FileformText, kShortTextLength},
                              {"AnaFixText", &s.AnaFixText, kLongTextLength}};
        for (const auto& [name, value] : b.korvo) {
            if (name == "FileName") s.FileName = value;
            if (name == "MeasTime")
                if (const auto v = realOf(value)) s.MeasTime = *v;
            for (const Text& t : texts)
                if (name == t.name) *t.field = cutToCharacters(value, t.length);
        }
    }
    // As for a spectrum file: no scan count or measuring time still gives a usable rate factor.
    if (s.Scans <= 0) s.Scans = 1;
    if (!(s.MeasTime > 0) || !std::isfinite(s.MeasTime)) s.MeasTime = 1;
    s.RateFactor = rateFactorOf(s.Scans, s.MeasTime);
    s.NumPoints = static_cast<std::int32_t>(pts.size());
    setLoadedRange(s, pts);
    return s;
}

LoadOutcome loadVamasFiles(tvar& ws, const std::vector<std::string>& paths, const LoadOptions& options) {
    LoadOutcome out;
    const auto stop = [&out](LoadStatus status, std::string message, const std::string& path, int line = 0) {
        out = {};
        out.status = status;
        out.message = std::move(message);
        out.failedPath = path;
        out.failedLine = line;
        return out;
    };
    if (paths.empty()) return out;
    if (std::string size = checkLoadSize(paths); !size.empty()) return stop(LoadStatus::Refused, size, "");
    StagedSpectra staged;
    LoadBuffer buffer;
    for (std::size_t i = 0; i < paths.size(); ++i) {
        const std::string& path = paths[i];
        const LoadProgress where{path, i, paths.size(), 0, 0};
        if (options.progress && !options.progress(where)) return stop(LoadStatus::Cancelled, kCancelled, path);
        std::string error;
        const auto source = LoadFileSource::open(path, kMaxSpectrumFileBytes, buffer, error);
        if (!source) return stop(LoadStatus::Failed, error, path);
        source->setProgress(&options.progress, where);
        VamasReadLimits limits;
        const long free = long(kMaxSpectra) - ws.spectrumCount() - long(staged.spectra.size());
        limits.maxBlocks = std::size_t(std::max(free, 0L));
        limits.maxPoints = kMaxSpectrumPoints; // per file, as for a spectrum file; checkRoom bounds the window
        VamasReadResult r = readVamasSource(*source, fileNameWithoutDirectory(pathText(path)), limits);
        if (source->cancelled()) return stop(LoadStatus::Cancelled, kCancelled, path);
        if (!r) return stop(LoadStatus::Failed, r.error, path, r.errorLine);
        for (std::size_t b = 0; b < r.blocks.size(); ++b) {
            staged.spectra.push_back(vamasSpectrum(r.blocks[b], path, int(b + 1)));
            staged.addPoints(std::move(r.blocks[b].points));
        }
        if (std::string why = checkRoom(ws, staged.spectra.size(), staged.pointCount()); !why.empty())
            return stop(LoadStatus::Failed, why, "");
    }
    out = {};
    out.status = LoadStatus::Loaded;
    out.added = commitStaged(ws, std::move(staged));
    if (ws.Active == 0) ws.Active = 1;
    return out;
}

} // namespace korvo

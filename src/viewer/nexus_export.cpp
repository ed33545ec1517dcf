#include "viewer/nexus_export.h"

#include "viewer/exports.h"

#include <algorithm>

namespace korvo {

NexusSpectrum nexusSpectrumOf(const ViewerSpectrum& s, std::span<const SpectrumPoint> points) {
    NexusSpectrum n;
    n.name = s.ShortName;
    SpectrumTable& t = n.table;
    // The viewer keeps whole header lines; its FileName is one only when the file had that line.
    const bool fileNameLine = s.FileName.find("FileName") != std::string::npos;
    for (const std::string* text : {&s.CommentText, &s.SampleText, fileNameLine ? &s.FileName : nullptr,
                                    &s.FileformText, &s.DateText, &s.MeasTimeText, &s.ScansText, &s.PointsText,
                                    &s.PassEnText, &s.AnaStaText, &s.AnaEndText, &s.PhotEnText, &s.AnaFixText})
        if (text && !text->empty()) t.headerLines.push_back(*text);
    t.beginLine = "BEGIN:";
    t.endLine = "END";
    t.columns.assign(2, std::vector<double>(points.size()));
    for (std::size_t i = 0; i < points.size(); ++i) {
        t.columns[0][i] = points[i].x;
        t.columns[1][i] = points[i].y;
    }
    n.channelTotals = s.ChannelTotals;
    return n;
}

std::vector<NexusSpectrum> nexusSpectraOf(const tvar& ws, bool allSpectra, std::string* refusal,
                                          std::vector<int>* numbers) {
    std::vector<int> chosen = exportedSpectra(ws, allSpectra);
    std::reverse(chosen.begin(), chosen.end()); // display order, as "Save VAMAS" keeps it
    const auto refuse = [refusal](std::string why) {
        if (refusal) *refusal = std::move(why);
        return std::vector<NexusSpectrum>{};
    };
    if (chosen.empty())
        return refuse(allSpectra ? "There is no spectrum to save." : "No spectrum is marked; there is nothing to save.");
    std::vector<NexusSpectrum> spectra;
    spectra.reserve(chosen.size());
    for (int k : chosen) {
        spectra.push_back(nexusSpectrumOf(ws.spectrum(k), ws.points(k)));
        if (std::string why = nexusSpectrumProblem(spectra.back()); !why.empty()) return refuse(why);
    }
    if (numbers) *numbers = std::move(chosen);
    return spectra;
}

} // namespace korvo

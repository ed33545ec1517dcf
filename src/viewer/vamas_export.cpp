#include "viewer/vamas_export.h"

#include "common/number_text.h"
#include "files/header_facts.h"
#include "viewer/exports.h"
#include "viewer/header_values.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <optional>

namespace korvo {
namespace {

// "Date:  07.12.2026 14:03:09" as the spectrum file writes it. All fields stay 0 when the text holds
// no such date.
VamasDateTime dateOf(std::string_view dateText) {
    VamasDateTime d;
    if (const std::optional<HeaderDate> h = headerDate(dateText)) {
        d.year = h->year;
        d.month = h->month;
        d.day = h->day;
        d.hour = h->hour;
        d.minute = h->minute;
        d.second = h->second;
    }
    return d;
}

// The usual sources by their lines; anything else Korvo measures with comes from the beamline.
std::string sourceLabelOf(double photonEnergy) {
    struct Line {
        double energy;
        const char* label;
    };
    static constexpr Line kLines[] = {{1486.6, "Al Ka"}, {1253.6, "Mg Ka"}, {21.22, "He I"}, {40.81, "He II"}};
    for (const Line& l : kLines)
        if (std::abs(photonEnergy - l.energy) < 0.05) return l.label;
    return "Synchrotron";
}

std::string shortest(double v) {
    char buf[40];
    const auto r = std::to_chars(buf, buf + sizeof buf, v);
    return std::string(buf, r.ptr);
}

void addEnergyParameter(VamasBlock& b, const char* label, const std::string& text) {
    if (const std::optional<double> v = numberAfterColon(text))
        b.parameters.push_back({label, "eV", shortest(*v)});
}

} // namespace

VamasBlock vamasBlockOf(const ViewerSpectrum& s, std::span<const SpectrumPoint> points) {
    VamasBlock b;
    b.blockId = s.ShortName;
    const std::string_view sample = afterColon(s.SampleText);
    b.sampleId = sample.empty() ? "Not Specified" : std::string(sample);
    b.date = dateOf(s.DateText);
    const Abscissa abscissa = abscissaOf(s);
    std::optional<double> photon = numberAfterColon(s.PhotEnText);
    if (abscissa != Abscissa::KineticEnergy) {
        // The photon energy was scanned: it is the abscissa, and the source energy is where the scan
        // started (its first point when the file has no line for it).
        b.abscissaLabel = kPhotonEnergyLabel;
        if (!photon && !points.empty()) photon = points.front().x;
        if (abscissa == Abscissa::PhotonCfs) addEnergyParameter(b, kFixedAnalyserEnergy, s.AnaFixText);
        if (abscissa == Abscissa::PhotonCis) addEnergyParameter(b, kAnalyserStartEnergy, s.AnaStaText);
        if (abscissa == Abscissa::PhotonKeithley) {
            b.ordinateLabel = "electrometer reading";
            b.signalMode = "analogue";
        }
    }
    if (photon && *photon > 0) {
        b.technique = *photon < kUpsBelowPhotonEnergy ? "UPS" : "XPS";
        b.sourceLabel = sourceLabelOf(*photon);
        b.sourceEnergy = *photon;
    }
    b.passEnergy = numberAfterColon(s.PassEnText).value_or(0);
    b.collectionTime = s.MeasTime / 1000;
    b.scans = s.Scans;
    b.points.assign(points.begin(), points.end());
    b.korvo = {{"FileName", s.FileName},
               {"CommentText", s.CommentText},
               {"SampleText", s.SampleText},
               {"DateText", s.DateText},
               {"ScansText", s.ScansText},
               {"MeasTimeText", s.MeasTimeText},
               {"PointsText", s.PointsText},
               {"PassEnText", s.PassEnText},
               {"AnaStaText", s.AnaStaText},
               {"AnaEndText", s.AnaEndText},
               {"PhotEnText", s.PhotEnText}};
    // What makes a photon-energy scan; a kinetic-energy spectrum needs neither.
    if (abscissa != Abscissa::KineticEnergy) {
        b.korvo.emplace_back("FileformText", s.FileformText);
        if (!s.AnaFixText.empty()) b.korvo.emplace_back("AnaFixText", s.AnaFixText);
    }
    // Exactly, where the collection time in seconds might not give it back.
    b.korvo.emplace_back("MeasTime", shortest(s.MeasTime));
    return b;
}

std::string vamasText(const tvar& ws, bool allSpectra, std::string* refusal) {
    // The column files list their spectra from the last display position; a VAMAS file keeps the
    // display order.
    std::vector<int> chosen = exportedSpectra(ws, allSpectra);
    std::reverse(chosen.begin(), chosen.end());
    const auto refuse = [refusal](std::string why) {
        if (refusal) *refusal = std::move(why);
        return std::string();
    };
    if (chosen.empty())
        return refuse(allSpectra ? "There is no spectrum to save." : "No spectrum is marked; there is nothing to save.");
    std::vector<VamasBlock> blocks;
    blocks.reserve(chosen.size());
    for (int k : chosen) {
        blocks.push_back(vamasBlockOf(ws.spectrum(k), ws.points(k)));
        if (const std::string why = vamasBlockProblem(blocks.back()); !why.empty())
            return refuse("The spectrum " + ws.spectrum(k).ShortName + " cannot be saved as VAMAS: " + why + ".");
    }
    VamasExperiment experiment;
    experiment.instrument = "Korvo";
    return vamasFileText(experiment, blocks);
}

} // namespace korvo

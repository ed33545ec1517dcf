#include "viewer/vamas_export.h"

#include "common/number_text.h"
#include "viewer/exports.h"
#include "viewer/header_values.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <optional>

namespace korvo {
namespace {

// Leading digits of `s` from `pos` on as a number; false when there are none.
bool digitsAt(std::string_view s, std::size_t& pos, std::int32_t& value, std::size_t maxDigits) {
    const std::size_t start = pos;
    value = 0;
    while (pos < s.size() && pos - start < maxDigits && s[pos] >= '0' && s[pos] <= '9') value = value * 10 + (s[pos++] - '0');
    return pos > start;
}

// "Date:  07.12.2026 14:03:09" as the spectrum file writes it (older files: a two-digit year, no
// seconds, no time at midnight). All fields stay 0 when the text holds no such date.
VamasDateTime dateOf(std::string_view dateText) {
    VamasDateTime d;
    const std::string_view s = afterColon(dateText);
    std::size_t pos = 0;
    std::int32_t day = 0, month = 0, year = 0;
    if (!digitsAt(s, pos, day, 2) || pos >= s.size() || s[pos++] != '.') return d;
    if (!digitsAt(s, pos, month, 2) || pos >= s.size() || s[pos++] != '.') return d;
    const std::size_t yearStart = pos;
    if (!digitsAt(s, pos, year, 4)) return d;
    if (pos - yearStart == 2) year += year < 70 ? 2000 : 1900;
    if (day < 1 || day > 31 || month < 1 || month > 12) return d;
    d.year = year;
    d.month = month;
    d.day = day;
    while (pos < s.size() && s[pos] == ' ') ++pos;
    std::int32_t hour = 0, minute = 0, second = 0;
    if (!digitsAt(s, pos, hour, 2) || pos >= s.size() || s[pos++] != ':' || !digitsAt(s, pos, minute, 2)) return d;
    if (pos < s.size() && s[pos] == ':') {
        ++pos;
        digitsAt(s, pos, second, 2);
    }
    if (hour < 24 && minute < 60 && second < 61) {
        d.hour = hour;
        d.minute = minute;
        d.second = second;
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

#include "files/nexus_foreign.h"

#include "common/number_text.h"

#include <cctype>
#include <cmath>
#include <cstdio>

namespace korvo::nexus {
namespace {

std::string lower(std::string_view s) {
    std::string out(s);
    for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return out;
}

std::string oneLine(std::string s) {
    for (char& c : s)
        if (c == '\r' || c == '\n') c = ' ';
    return s;
}

// "2024-05-01T03:12:45+02:00" (or with a blank, without seconds) as the "Date:" line writes it: the
// time as the file states it, whatever its zone.
std::optional<std::string> dateLine(std::string_view iso) {
    int y = 0, mo = 0, d = 0, h = 0, mi = 0, s = 0;
    const std::string text(iso.substr(0, 64));
    const int n = std::sscanf(text.c_str(), "%4d-%2d-%2d%*1[T ]%2d:%2d:%2d", &y, &mo, &d, &h, &mi, &s);
    if (n < 3 || mo < 1 || mo > 12 || d < 1 || d > 31 || y < 0) return std::nullopt;
    if (n < 5 || h > 23 || mi > 59 || s > 60) h = mi = s = 0;
    char line[64];
    std::snprintf(line, sizeof line, "Date:  %02d.%02d.%04d %02d:%02d:%02d", d, mo, y, h, mi, s);
    return std::string(line);
}

std::string general(double v) {
    return text::formatGeneral(v, 15);
}

} // namespace

std::optional<double> energyFactor(std::string_view units) {
    const std::string u = lower(units);
    if (u == "ev" || u == "electron_volt" || u == "electronvolt") return 1.0;
    if (u == "mev") return units.substr(0, 1) == "M" ? 1e6 : 1e-3;
    if (u == "kev") return 1e3;
    if (u == "j" || u == "joule") return 1 / 1.602176634e-19;
    return std::nullopt;
}

bool isEnergyAxis(std::string_view name, std::string_view units) {
    const std::string n = lower(name);
    return energyFactor(units).has_value() || n.find("energy") != std::string::npos || n == "be" || n == "ke";
}

void foreignSpectrum(ForeignEntry f, NexusSpectrum& s) {
    const double factor = energyFactor(f.axisUnits).value_or(1);
    for (double& x : f.x) x *= factor;
    const std::string axis = lower(f.axisName);
    const bool photonAxis = axis.find("photon") != std::string::npos;
    const bool binding = lower(f.axisType) == "binding" || axis.find("binding") != std::string::npos || axis == "be";

    std::vector<std::string>& lines = s.table.headerLines;
    lines.clear();
    if (!f.title.empty()) lines.push_back("Comment: " + oneLine(f.title));
    if (!f.sample.empty()) lines.push_back("Probe: " + oneLine(f.sample));
    if (const std::optional<std::string> date = dateLine(f.startTime)) lines.push_back(*date);
    lines.push_back("Points:" + std::to_string(f.x.size()));
    if (f.passEnergy) lines.push_back("PassEn:" + general(*f.passEnergy));
    if (binding && f.photonEnergy) {
        // Kinetic energies, as Korvo's spectra have them: photon energy - binding energy - work function.
        const double wf = f.workFunction.value_or(0);
        for (double& x : f.x) x = *f.photonEnergy - x - wf;
        lines.push_back("Abscissa: kinetic energy = photon energy - binding energy - work function (" + general(wf) +
                        " eV)");
    } else if (binding) {
        lines.push_back("Abscissa: binding energy (the file states no photon energy to make it kinetic)");
    }
    if (photonAxis) {
        lines.push_back("Fileform: CLAM_CFS");
        lines.push_back("Phot.Start: " + general(f.x.front()));
        lines.push_back("Phot.End: " + general(f.x.back()));
    } else {
        lines.push_back("AnaSta:" + general(f.x.front()));
        lines.push_back("AnaEnd:" + general(f.x.back()));
        if (f.photonEnergy) lines.push_back("PhotEn: " + general(*f.photonEnergy));
    }
    s.table.beginLine = "BEGIN:";
    s.table.endLine = "END";
    s.table.utf8 = false;
    s.table.xDecimals = -1;
    s.table.columns = {std::move(f.x), std::move(f.y)};
    s.name = f.fileName + "_" + f.entryName;
    s.foreign = true;
}

} // namespace korvo::nexus

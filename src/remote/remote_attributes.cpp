#include "remote/remote_attributes.h"

#include "acquisition/measurement_settings.h"
#include "acquisition/run/saving.h"
#include "acquisition/run/time_left.h"
#include "common/number_text.h"

#include <algorithm>
#include <cctype>
#include <cmath>

namespace korvo {

namespace {

using T = RemoteType;

constexpr std::size_t kMaxText = 1000; // a header line, not a document

const std::vector<RemoteAttribute> kAttributes = {
    {"Mode", T::String, true, "", "Machine mode: CLAM, CFS, CIS or KEITHLEY (OFF: the test mode)"},
    {"Kind", T::String, true, "", "Kind of measurement: c(t), CAE, CRR (analyser tests on) or KEI"},
    {"StartEnergy", T::Double, true, "eV", "Start energy; the fixed analyser energy in the CFS mode"},
    {"Ramp", T::Double, true, "eV", "Width of the scan (writing it chooses the ramp view)"},
    {"EndEnergy", T::Double, true, "eV", "End of the scan (writing it chooses the end view)"},
    {"Points", T::Long, true, "", "Points per scan (writing it chooses the points view)"},
    {"Step", T::Double, true, "eV", "Step between points (writing it chooses the step view)"},
    {"PassEnergy", T::String, true, "eV", "The pass-energy list's text, e.g. \"10.0\" or \"20\""},
    {"DwellTime", T::Long, true, "ms", "Time per point"},
    {"Scans", T::Long, true, "", "Number of scans"},
    {"PhotonEnergy", T::Double, true, "eV", "Photon energy"},
    {"Comment", T::String, true, "", "Comment written into the spectrum file"},
    {"Probe", T::String, true, "", "Sample written into the spectrum file"},
    {"FileName", T::String, true, "", "Name the next Save uses in the save directory"},
    {"ScanNumber", T::Long, false, "", "During a run the scan being measured, afterwards the scans completed"},
    {"PointNumber", T::Long, false, "", "Analyser steps measured in the current scan"},
    {"Progress", T::Double, false, "%", "Part of the run measured, 0 to 100"},
    {"TimeLeft", T::Long, false, "s", "Time the run still needs"},
    {"LastFile", T::String, false, "", "Path of the spectrum saved last"},
    {"Counts", T::DoubleSpectrum, false, "counts", "Counts summed over the completed scans"},
    {"Energies", T::DoubleSpectrum, false, "eV", "Energies of the Counts"},
    {"ChannelCounts", T::DoubleImage, false, "counts", "The nine channeltrons' summed counts, one row each"},
};

std::string upper(std::string_view s) {
    std::string out(s);
    for (char& c : out) c = char(std::toupper(static_cast<unsigned char>(c)));
    return out;
}

RemoteAnswer notANumber(std::string_view name, const std::string& text) {
    return RemoteAnswer::refused(std::string(name) + ": the field holds \"" + text + "\", which is no number");
}

RemoteAnswer number(std::string_view name, const std::string& text) {
    if (auto v = text::parseDouble(text)) return RemoteAnswer::done(*v);
    return notANumber(name, text);
}

RemoteAnswer integer(std::string_view name, const std::string& text) {
    if (auto v = text::parseInt(text)) return RemoteAnswer::done(*v);
    return RemoteAnswer::refused(std::string(name) + ": the field holds \"" + text + "\", which is no whole number");
}

// Records 1.. of the chart, or the scan window of an energy scan (as a file would hold it).
struct Window {
    std::size_t first = 1;
    std::size_t count = 0;
    bool chart = false;
};

Window scanWindow(const Station& s) {
    const Measurement& m = s.measurement;
    Window w;
    if (m.data.size() < 2) return w;
    const std::size_t records = m.data.size() - 1;
    if (m.kindOfMeasure == 0) {
        w.chart = true;
        w.count = std::min<std::size_t>(std::size_t(std::max<std::int64_t>(s.engine.pointsMeasured(), 0)), records);
        return w;
    }
    w.first = std::size_t(std::max(m.state.MaxPositiveShift, 0)) + 1;
    if (w.first > records) return w;
    w.count = std::min<std::size_t>(std::size_t(std::max(measuredPoints(m), 0)), records - w.first + 1);
    return w;
}

std::vector<double> column(const Station& s, int index) {
    const Window w = scanWindow(s);
    std::vector<double> out;
    out.reserve(w.count);
    for (std::size_t r = w.first; r < w.first + w.count; ++r) {
        const MeasurementRecord& rec = s.measurement.data[r];
        if (index < 0)
            out.push_back(rec.enScan);
        else
            out.push_back(w.chart ? rec.CoScan[std::size_t(index)] : rec.Co[std::size_t(index)]);
    }
    return out;
}

RemoteImage channelImage(const Station& s) {
    RemoteImage img;
    img.height = 9;
    for (int c = 1; c <= 9; ++c) {
        const std::vector<double> row = column(s, c);
        img.width = std::int32_t(row.size());
        img.values.insert(img.values.end(), row.begin(), row.end());
    }
    return img;
}

std::int64_t timeLeftSeconds(const Station& s) {
    const RunEngine& e = s.engine;
    const RunState& st = s.measurement.state;
    if (!e.running() || s.measurement.kindOfMeasure == 0) return 0;
    return estimateTimeLeft(st.TimePerPoint, st.TimeCorrection, e.steps(), st.Points, st.ScansTarget, st.ScanNumber,
                            std::clamp<std::int64_t>(e.pointsMeasured(), 0, e.steps()))
        .totalSeconds;
}

// A refusal for a text that cannot go into a field (and from there into a file's header line).
std::string textRefusal(std::string_view name, const std::string& text) {
    if (text.size() > kMaxText)
        return std::string(name) + ": at most " + std::to_string(kMaxText) + " characters";
    for (unsigned char c : text)
        if (c < 0x20 || c == 0x7F)
            return std::string(name) + ": line breaks and other control characters cannot go into a spectrum file";
    return {};
}

} // namespace

const std::vector<RemoteAttribute>& remoteAttributes() {
    return kAttributes;
}

std::string remoteModeName(std::uint8_t mode) {
    switch (mode) {
    case ModeClam:
        return "CLAM";
    case ModeCfs:
        return "CFS";
    case ModeCis:
        return "CIS";
    case ModeKeithley:
        return "KEITHLEY";
    default:
        return "OFF";
    }
}

std::int32_t remoteScanNumber(const Station& s) {
    const RunState& st = s.measurement.state;
    if (s.measurement.data.empty()) return 0;
    // After the last scan the counter stands one past it until the run has ended.
    return s.engine.running() ? std::min<std::int32_t>(st.ScanNumber, std::max(st.ScansTarget, 1))
                              : std::max(st.ScanNumber - 1, 0);
}

double remoteProgress(const Station& s) {
    const Measurement& m = s.measurement;
    const std::int64_t steps = s.engine.steps();
    if (m.kindOfMeasure == 0 || m.data.empty() || steps <= 0 || m.state.ScansTarget <= 0) return 0;
    const std::int64_t done = std::int64_t(m.state.ScanNumber - 1) * steps +
                              std::clamp<std::int64_t>(s.engine.pointsMeasured(), 0, steps);
    return std::clamp(100.0 * double(done) / (double(m.state.ScansTarget) * double(steps)), 0.0, 100.0);
}

std::vector<double> remoteEnergies(const Station& s) {
    return column(s, -1);
}

std::vector<double> remoteCounts(const Station& s) {
    return column(s, 0);
}

RemoteAnswer readStationAttribute(const Station& s, std::string_view name) {
    const MeasurementFields& f = s.fields;
    const std::uint8_t mode = s.state.MachineMode;
    if (name == "Mode") return RemoteAnswer::done(remoteModeName(mode));
    if (name == "Kind") return RemoteAnswer::done(kindText(mode, f.kindOfMeasure));
    if (name == "StartEnergy") return number(name, f.start);
    if (name == "Ramp") {
        const auto ramp = rampOfFields(f, mode);
        return ramp ? RemoteAnswer::done(*ramp) : notANumber(name, ramp.badText);
    }
    if (name == "EndEnergy") {
        if (!f.rampView) return number(name, f.second);
        const auto ramp = rampOfFields(f, mode);
        const std::string& baseText = photonScanning(mode) ? f.photon : f.start;
        const auto base = text::parseDouble(baseText);
        if (!ramp) return notANumber(name, ramp.badText);
        if (!base) return notANumber(name, baseText);
        return RemoteAnswer::done(*base + *ramp);
    }
    if (name == "Points") {
        const auto points = pointsOfFields(f, mode);
        return points ? RemoteAnswer::done(*points) : notANumber(name, points.badText);
    }
    if (name == "Step") {
        if (!f.pointsView) return number(name, f.third);
        const auto ramp = rampOfFields(f, mode);
        const auto points = pointsOfFields(f, mode);
        if (!ramp) return notANumber(name, ramp.badText);
        if (!points) return notANumber(name, points.badText);
        if (*points < 2) return RemoteAnswer::refused("Step: a scan of fewer than two points has no step");
        return RemoteAnswer::done(*ramp / double(*points - 1));
    }
    if (name == "PassEnergy") return RemoteAnswer::done(f.passEnergyText);
    if (name == "DwellTime") return integer(name, f.timePerPoint);
    if (name == "Scans") return integer(name, f.scans);
    if (name == "PhotonEnergy") return number(name, f.photon);
    if (name == "Comment") return RemoteAnswer::done(f.comment);
    if (name == "Probe") return RemoteAnswer::done(f.sample);
    if (name == "FileName") return RemoteAnswer::done(f.fileName);
    if (name == "ScanNumber") return RemoteAnswer::done(remoteScanNumber(s));
    if (name == "PointNumber")
        return RemoteAnswer::done(std::int32_t(std::clamp<std::int64_t>(s.engine.pointsMeasured(), 0, INT32_MAX)));
    if (name == "Progress") return RemoteAnswer::done(remoteProgress(s));
    if (name == "TimeLeft")
        return RemoteAnswer::done(std::int32_t(std::clamp<std::int64_t>(timeLeftSeconds(s), 0, INT32_MAX)));
    if (name == "LastFile") return RemoteAnswer::done(s.saver.lastWritten());
    if (name == "Counts") return RemoteAnswer::done(remoteCounts(s));
    if (name == "Energies") return RemoteAnswer::done(remoteEnergies(s));
    if (name == "ChannelCounts") return RemoteAnswer::done(channelImage(s));
    return RemoteAnswer::refused("No attribute " + std::string(name));
}

namespace {

RemoteAnswer writeMode(Station& s, const std::string& text, const RemoteHost& host) {
    const std::string m = upper(text);
    std::uint8_t mode = 0;
    if (m == "CLAM") mode = ModeClam;
    if (m == "CFS") mode = ModeCfs;
    if (m == "CIS") mode = ModeCis;
    if (m == "KEITHLEY") mode = ModeKeithley;
    if (mode == 0) return RemoteAnswer::refused("Mode: one of CLAM, CFS, CIS or KEITHLEY");
    if (mode == s.state.MachineMode) return RemoteAnswer::done();
    if (host.switchMode) {
        host.switchMode(mode);
    } else {
        s.engine.endContinuation();
        s.state.MachineMode = mode;
    }
    return RemoteAnswer::done();
}

RemoteAnswer writeKind(Station& s, const std::string& text) {
    const bool keithley = s.state.MachineMode == ModeKeithley;
    const bool tests = s.ctx.options.enableTests;
    const std::string k = upper(text);
    int kind = -1;
    if (k == "C(T)") kind = 0;
    if (k == (keithley ? "KEI" : "CAE")) kind = 1;
    if (k == "CRR" && tests && !keithley) kind = 2;
    if (kind < 0)
        return RemoteAnswer::refused(std::string("Kind: one of c(t), ") + (keithley ? "KEI" : tests ? "CAE, CRR" : "CAE") +
                                     " in the " + remoteModeName(s.state.MachineMode) + " mode");
    s.fields.kindOfMeasure = kind;
    return RemoteAnswer::done();
}

} // namespace

RemoteAnswer writeStationAttribute(Station& s, std::string_view name, const RemoteValue& value,
                                   const RemoteHost& host) {
    MeasurementFields& f = s.fields;
    const std::string n(name);
    const auto* d = std::get_if<double>(&value);
    const auto* i = std::get_if<std::int32_t>(&value);
    const auto* t = std::get_if<std::string>(&value);
    const RemoteAttribute* attribute = nullptr;
    for (const RemoteAttribute& a : kAttributes)
        if (n == a.name) attribute = &a;
    if (!attribute) return RemoteAnswer::refused("No attribute " + n);
    if (!attribute->writable) return RemoteAnswer::refused(n + " is read only");
    const bool typed = (attribute->type == T::Double && d) || (attribute->type == T::Long && i) ||
                       (attribute->type == T::String && t);
    if (!typed) return RemoteAnswer::refused(n + ": a value of another type is needed");
    if (d && !std::isfinite(*d)) return RemoteAnswer::refused(n + ": a finite number is needed");
    if (t)
        if (const std::string why = textRefusal(n, *t); !why.empty()) return RemoteAnswer::refused(why);

    RemoteAnswer answer = RemoteAnswer::done();
    if (n == "Mode") {
        answer = writeMode(s, *t, host);
    } else if (n == "Kind") {
        answer = writeKind(s, *t);
    } else if (n == "StartEnergy") {
        f.start = text::plainNumber(*d);
    } else if (n == "Ramp") {
        f.second = text::plainNumber(*d);
        f.rampView = true;
    } else if (n == "EndEnergy") {
        f.second = text::plainNumber(*d);
        f.rampView = false;
    } else if (n == "Points") {
        f.third = std::to_string(*i);
        f.pointsView = true;
    } else if (n == "Step") {
        f.third = text::plainNumber(*d);
        f.pointsView = false;
    } else if (n == "PassEnergy") {
        f.passEnergyText = *t;
        f.passEnergyIndex = passEnergyIndexOf(*t);
    } else if (n == "DwellTime") {
        f.timePerPoint = std::to_string(*i);
    } else if (n == "Scans") {
        f.scans = std::to_string(*i);
    } else if (n == "PhotonEnergy") {
        f.photon = text::plainNumber(*d);
    } else if (n == "Comment") {
        f.comment = *t;
    } else if (n == "Probe") {
        f.sample = *t;
    } else if (n == "FileName") {
        if (*t == "." || *t == ".." || t->find('/') != std::string::npos)
            return RemoteAnswer::refused("FileName: a name in the save directory, without a directory "
                                         "(Save takes a path for another place)");
        f.fileName = *t;
    }
    if (!answer.ok()) return answer;
    if (host.showFields) host.showFields();
    if (n == "PassEnergy" && host.passEnergyChanged) host.passEnergyChanged();
    return answer;
}

} // namespace korvo

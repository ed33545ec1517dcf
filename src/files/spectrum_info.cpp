#include "files/spectrum_info.h"

#include "common/number_text.h"
#include "files/spectrum_reader.h"

#include <ostream>

namespace korvo {

std::string spectrumInfoText(const std::string& path, const SpectrumFileData& d) {
    std::string s = path + "\n";
    const auto field = [&s](const char* label, const std::string& value) {
        s += "  ";
        s += label;
        if (!value.empty()) {
            s.append(16 - std::min<std::size_t>(16, std::char_traits<char>::length(label)), ' ');
            s += value;
        }
        s += '\n';
    };
    field("file name", d.fileName);
    field("comment", d.commentText);
    field("sample", d.sampleText);
    field("date", d.dateText);
    field("scans", d.scansText + " (" + std::to_string(d.scans) + ")");
    field("meas time", d.measTimeText + " (" + text::plainNumber(d.measTime) + ")");
    field("points", d.pointsText);
    field("pass energy", d.passEnText);
    field("analyser start", d.anaStaText);
    field("analyser end", d.anaEndText);
    field("header lines", std::to_string(d.headerLines));
    field("end marker", d.endFound ? "yes" : "no");
    field("points read", std::to_string(d.points.size()));
    for (const SpectrumPoint& p : d.points)
        s += "  " + text::plainNumber(p.x) + " " + text::plainNumber(p.y) + "\n";
    return s;
}

nlohmann::json spectrumInfoJson(const std::string& path, const SpectrumFileData& d) {
    nlohmann::json points = nlohmann::json::array();
    for (const SpectrumPoint& p : d.points) points.push_back({p.x, p.y});
    return {
        {"path", path},
        {"fileName", d.fileName},
        {"comment", d.commentText},
        {"sample", d.sampleText},
        {"date", d.dateText},
        {"scansText", d.scansText},
        {"scans", d.scans},
        {"measTimeText", d.measTimeText},
        {"measTime", d.measTime},
        {"pointsText", d.pointsText},
        {"passEnText", d.passEnText},
        {"anaStaText", d.anaStaText},
        {"anaEndText", d.anaEndText},
        {"headerLines", d.headerLines},
        {"endFound", d.endFound},
        {"points", std::move(points)},
    };
}

int runSpectrumInfo(const std::vector<std::string>& paths, bool json, std::ostream& out, std::ostream& err) {
    int status = 0;
    nlohmann::json all = nlohmann::json::array();
    bool firstBlock = true;
    for (const std::string& path : paths) {
        const SpectrumReadResult r = readSpectrumFile(path);
        if (!r) {
            err << path << ": " << r.error;
            if (r.errorLine > 0) err << " (line " << r.errorLine << ")";
            err << "\n";
            status = 2;
            continue;
        }
        if (json) {
            all.push_back(spectrumInfoJson(path, r.data));
        } else {
            if (!firstBlock) out << "\n";
            out << spectrumInfoText(path, r.data);
            firstBlock = false;
        }
    }
    // Header texts come from arbitrary files; a stray invalid sequence must not abort the output.
    if (json) out << all.dump(2, ' ', false, nlohmann::json::error_handler_t::replace) << "\n";
    out.flush();
    return status;
}

} // namespace korvo

#include "viewer/header_values.h"

#include "common/number_text.h"

namespace korvo {

std::string_view afterColon(std::string_view text) {
    const std::size_t colon = text.find(':');
    if (colon != std::string_view::npos) text.remove_prefix(colon + 1);
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
    return text;
}

std::optional<double> numberAfterColon(std::string_view text) {
    if (text.find(':') == std::string_view::npos) return std::nullopt;
    const std::string_view rest = afterColon(text);
    return text::parseDouble(rest.substr(0, rest.find_first_of(" \t"))).value;
}

Abscissa abscissaOf(const ViewerSpectrum& s) {
    const std::string_view mode = afterColon(s.FileformText);
    if (mode == "CLAM_CFS") return Abscissa::PhotonCfs;
    if (mode == "CLAM_CIS") return Abscissa::PhotonCis;
    if (mode == "KEITHLEY") return Abscissa::PhotonKeithley;
    return Abscissa::KineticEnergy;
}

} // namespace korvo

#include "viewer/fit/fit_report.h"

#include "common/number_text.h"
#include "files/spectrum_info.h"
#include "viewer/workspace_output.h"

#include <nlohmann/json.hpp>

namespace korvo::fit {
namespace {

using Json = nlohmann::ordered_json;

Json errorJson(const FitResult& r, double error) {
    return r.errorsKnown ? Json(error) : Json(nullptr);
}

Json estimateJson(const FitResult& r, const Estimate& e) {
    return Json{{"value", e.value}, {"error", errorJson(r, e.error)}};
}

Json resultParameterJson(const FitResult& r, const ParameterResult& p) {
    Json o = estimateJson(r, p.estimate);
    if (p.source == ParameterSource::Fixed) o["fixed"] = true;
    if (p.source == ParameterSource::Linked) o["link"] = p.link;
    return o;
}

const ParameterResult* findParameter(const ComponentResult& c, std::string_view name) {
    for (const ParameterResult& p : c.parameters)
        if (p.name == name) return &p;
    return nullptr;
}

// CSV field: quoted when it holds a separator, a quote or a line break.
std::string csvField(std::string_view text) {
    if (text.find_first_of(",\"\r\n") == std::string_view::npos) return std::string(text);
    std::string out = "\"";
    for (const char c : text) {
        if (c == '"') out += '"';
        out += c;
    }
    return out + "\"";
}

std::string shortest(double v) {
    std::string s;
    appendShortest(s, v, false);
    return s;
}

std::string readable(double v) {
    return text::formatGeneral(v, 7);
}

} // namespace

std::string_view statusName(FitStatus status) {
    switch (status) {
    case FitStatus::Converged:
        return "converged";
    case FitStatus::NotConverged:
        return "not_converged";
    case FitStatus::Singular:
        return "singular";
    case FitStatus::Cancelled:
        return "cancelled";
    }
    return "";
}

std::string resultJson(const FitResult& r, std::string_view file, std::string_view spectrum) {
    Json o;
    o["file"] = std::string(file);
    if (!spectrum.empty()) o["spectrum"] = std::string(spectrum);
    o["axis"] = std::string(axisName(r.axis));
    o["converged"] = r.converged();
    o["status"] = std::string(statusName(r.status));
    if (!r.message.empty()) o["message"] = r.message;
    o["iterations"] = r.iterations;
    o["chi2"] = r.chi2;
    o["reduced_chi2"] = r.reducedChi2;
    o["dof"] = r.dof;
    o["points"] = r.points;
    Json bg;
    bg["type"] = std::string(backgroundName(r.background.type));
    for (const ParameterResult& p : r.background.parameters) bg[p.name] = resultParameterJson(r, p);
    if (r.background.type == BackgroundType::Tougaard) bg["B"] = r.background.tougaardB;
    if (r.background.type == BackgroundType::ActiveShirley) bg["rounds"] = r.background.rounds;
    o["background"] = bg;
    Json components = Json::array();
    for (const ComponentResult& c : r.components) {
        Json j;
        j["name"] = c.name;
        j["shape"] = std::string(shapeName(c.shape));
        for (const auto& [name, derived] : {std::pair<std::string_view, const Estimate*>{"position", nullptr},
                                            {"fwhm", &c.fwhm},
                                            {"area", &c.area},
                                            {"height", &c.height}}) {
            if (const ParameterResult* p = findParameter(c, name))
                j[std::string(name)] = resultParameterJson(r, *p);
            else if (derived)
                j[std::string(name)] = estimateJson(r, *derived);
        }
        for (const ParameterResult& p : c.parameters)
            if (!j.contains(p.name)) j[p.name] = resultParameterJson(r, p);
        j["area_percent"] = c.areaPercent.value;
        j["area_percent_error"] = errorJson(r, c.areaPercent.error);
        if (!c.element.empty()) j["element"] = c.element;
        components.push_back(std::move(j));
    }
    o["components"] = std::move(components);
    Json elements = Json::array();
    for (const ElementResult& e : r.elements)
        elements.push_back({{"element", e.element},
                            {"atomic_percent", e.atomicPercent.value},
                            {"error", errorJson(r, e.atomicPercent.error)}});
    o["elements"] = std::move(elements);
    Json correlations = Json::array();
    for (const Correlation& c : r.correlations)
        correlations.push_back({{"first", c.first}, {"second", c.second}, {"r", c.r}});
    o["correlations"] = std::move(correlations);
    return o.dump();
}

std::string csvHeader() {
    return "file,spectrum,kind,name,quantity,value,error\n";
}

std::string resultCsv(const FitResult& r, std::string_view file, std::string_view spectrum) {
    std::string out;
    const std::string f = csvField(file) + "," + csvField(spectrum);
    const auto row = [&](std::string_view kind, std::string_view name, std::string_view quantity,
                         double value, std::optional<double> error) {
        out += f + "," + std::string(kind) + "," + csvField(name) + "," + std::string(quantity) + "," +
               shortest(value) + ",";
        if (error && r.errorsKnown) out += shortest(*error);
        out += "\n";
    };
    row("fit", "", "converged", r.converged() ? 1 : 0, std::nullopt);
    row("fit", "", "iterations", r.iterations, std::nullopt);
    row("fit", "", "chi2", r.chi2, std::nullopt);
    row("fit", "", "reduced_chi2", r.reducedChi2, std::nullopt);
    row("fit", "", "dof", r.dof, std::nullopt);
    for (const ParameterResult& p : r.background.parameters)
        row("background", backgroundName(r.background.type), p.name, p.estimate.value, p.estimate.error);
    for (const ComponentResult& c : r.components) {
        for (const ParameterResult& p : c.parameters)
            row("component", c.name, p.name, p.estimate.value, p.estimate.error);
        for (const auto& [name, e] : {std::pair<std::string_view, const Estimate*>{"height", &c.height},
                                      {"area", &c.area},
                                      {"fwhm", &c.fwhm}})
            if (!findParameter(c, name)) row("component", c.name, name, e->value, e->error);
        row("component", c.name, "area_percent", c.areaPercent.value, c.areaPercent.error);
    }
    for (const ElementResult& e : r.elements)
        row("element", e.element, "atomic_percent", e.atomicPercent.value, e.atomicPercent.error);
    return out;
}

std::string resultText(const FitResult& r, std::string_view file, std::string_view spectrum) {
    std::string out = escapeForTerminal(file);
    if (!spectrum.empty()) out.append(" (").append(escapeForTerminal(spectrum)).append(")");
    out += ": " + std::string(statusName(r.status)) + ", " +
                      std::to_string(r.iterations) + " iterations, chi2 " + readable(r.chi2) +
                      ", reduced chi2 " + readable(r.reducedChi2) + ", dof " + std::to_string(r.dof) + ", " +
                      std::string(axisName(r.axis)) + " energy\n";
    if (!r.message.empty()) out += "  " + escapeForTerminal(r.message) + "\n";
    const auto estimate = [&](const Estimate& e) {
        return readable(e.value) + (r.errorsKnown ? " +- " + readable(e.error) : std::string());
    };
    const auto parameter = [&](const ParameterResult& p) {
        std::string s = p.name + " " + estimate(p.estimate);
        if (p.source == ParameterSource::Fixed) s += " (fixed)";
        if (p.source == ParameterSource::Linked) s += " (" + p.link + ")";
        return s;
    };
    out += "  background " + std::string(backgroundName(r.background.type));
    for (const ParameterResult& p : r.background.parameters) out += ", " + parameter(p);
    out += "\n";
    for (const ComponentResult& c : r.components) {
        out += "  " + c.name + " " + std::string(shapeName(c.shape));
        for (const ParameterResult& p : c.parameters) out += ", " + parameter(p);
        for (const auto& [name, e] : {std::pair<std::string_view, const Estimate*>{"height", &c.height},
                                      {"area", &c.area},
                                      {"fwhm", &c.fwhm}})
            if (!findParameter(c, name)) out += ", " + std::string(name) + " " + estimate(*e);
        out += ", " + readable(c.areaPercent.value) + " % of the area\n";
    }
    for (const ElementResult& e : r.elements)
        out += "  " + escapeForTerminal(e.element) + " " + estimate(e.atomicPercent) + " at.%\n";
    for (const Correlation& c : r.correlations)
        out += "  correlation " + c.first + " / " + c.second + " " + text::formatFixed(c.r, 4) + "\n";
    return out;
}

} // namespace korvo::fit

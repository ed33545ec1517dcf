#include "viewer/fit/model_texts.h"

#include "common/number_text.h"

#include <charconv>
#include <cmath>
#include <limits>

namespace korvo::fit {

namespace {

// The number of a cell, or a message "<place>: "abc" is no number."
std::optional<double> cellNumber(const std::string& text, const std::string& place, std::string& error) {
    const auto v = text::parseDouble(text).value;
    if (!v) error = place + ": \"" + text + "\" is no number.";
    return v;
}

// A start value for parameter `name` of a new shape, from the numbers of the old one.
std::string startFor(std::string_view name, const ComponentTexts& old) {
    const auto number = [&](std::string_view of) -> std::optional<double> {
        const int j = parameterIndex(old.shape, of);
        if (j < 0 || std::size_t(j) >= old.parameters.size()) return std::nullopt;
        return text::parseDouble(old.parameters[std::size_t(j)].value).value;
    };
    std::optional<double> width = number("fwhm");
    if (!width) width = number("fwhm_g");
    if (!width && number("gamma")) width = 2 * *number("gamma");
    const double w = width.value_or(1);
    if (name == "eta") return "0.3";
    if (name == "alpha") return "0.1";
    if (name == "fwhm") return exactNumber(w);
    if (name == "fwhm_g") return exactNumber(0.8 * w);
    if (name == "fwhm_l") return exactNumber(0.3 * w);
    if (name == "gamma") return exactNumber(w / 2);
    // Height and area of about the same line: area ~ height x width.
    if (name == "area") return exactNumber(number("height") ? *number("height") * w : 1000);
    if (name == "height") return exactNumber(number("area") ? *number("area") / w : 1000);
    return "0";
}

std::string boundText(double v) {
    return std::isfinite(v) ? exactNumber(v) : std::string();
}

} // namespace

std::string exactNumber(double value) {
    char buffer[64];
    const auto r = std::to_chars(buffer, buffer + sizeof buffer, value);
    return std::string(buffer, r.ptr);
}

ComponentTexts textsOf(const Component& c) {
    ComponentTexts t;
    t.name = c.name;
    t.shape = c.shape;
    t.element = c.element;
    t.level = c.level;
    if (c.sensitivity) t.sensitivity = exactNumber(*c.sensitivity);
    for (std::size_t j = 0; j < parameterNames(c.shape).size(); ++j) {
        const Parameter& p = c.parameters[j];
        ParameterTexts pt;
        if (p.linked()) {
            pt.link = linkText(p);
        } else {
            pt.value = exactNumber(p.value);
            pt.min = boundText(p.min);
            pt.max = boundText(p.max);
            pt.fixed = p.fixed;
        }
        t.parameters.push_back(std::move(pt));
    }
    return t;
}

ModelTexts textsOf(const FitModel& m) {
    ModelTexts t;
    if (m.region) {
        t.from = exactNumber(m.region->from);
        t.to = exactNumber(m.region->to);
    }
    t.axis = m.axis;
    t.background = m.background.type;
    t.tougaardB = exactNumber(m.background.tougaardB);
    t.weights = m.weights;
    t.c0 = m.background.c0;
    t.c1 = m.background.c1;
    for (const Component& c : m.components) t.components.push_back(textsOf(c));
    return t;
}

ModelRead modelOf(const ModelTexts& t) {
    const auto refuse = [](std::string why) { return ModelRead{std::nullopt, std::move(why)}; };
    std::string error;
    FitModel m;
    m.axis = t.axis;
    m.weights = t.weights;
    m.background.type = t.background;
    m.background.c0 = t.c0;
    m.background.c1 = t.c1;
    if (t.background == BackgroundType::Tougaard) {
        const auto b = cellNumber(t.tougaardB, "\"background\", \"B\"", error);
        if (!b) return refuse(error);
        m.background.tougaardB = *b;
    }
    if (!t.from.empty() || !t.to.empty()) {
        if (t.from.empty() || t.to.empty())
            return refuse("\"region\": give both ends, or neither for the whole spectrum.");
        const auto from = cellNumber(t.from, "\"region\", \"from\"", error);
        const auto to = from ? cellNumber(t.to, "\"region\", \"to\"", error) : std::nullopt;
        if (!to) return refuse(error);
        m.region = Region{*from, *to};
    }
    for (const ComponentTexts& ct : t.components) {
        Component c;
        c.name = ct.name;
        c.shape = ct.shape;
        c.element = ct.element;
        c.level = ct.level;
        const std::string place = "component \"" + ct.name + "\"";
        if (!ct.sensitivity.empty()) {
            const auto s = cellNumber(ct.sensitivity, place + ", \"sensitivity\"", error);
            if (!s) return refuse(error);
            c.sensitivity = *s;
        }
        const auto& names = parameterNames(ct.shape);
        if (ct.parameters.size() != names.size()) return refuse(place + ": the parameters do not fit its shape.");
        for (std::size_t j = 0; j < names.size(); ++j) {
            const ParameterTexts& pt = ct.parameters[j];
            const std::string at = parameterPlace(ct.name, names[j]);
            Parameter& p = c.parameters[j];
            if (!pt.link.empty()) {
                const std::optional<Parameter> link = parseLink(pt.link, error);
                if (!link) return refuse(at + ": " + error);
                p = *link;
                continue;
            }
            const auto value = cellNumber(pt.value, at, error);
            if (!value) return refuse(error);
            p.value = *value;
            p.fixed = pt.fixed;
            if (!pt.min.empty()) {
                const auto v = cellNumber(pt.min, at + ", \"min\"", error);
                if (!v) return refuse(error);
                p.min = *v;
            }
            if (!pt.max.empty()) {
                const auto v = cellNumber(pt.max, at + ", \"max\"", error);
                if (!v) return refuse(error);
                p.max = *v;
            }
        }
        m.components.push_back(std::move(c));
    }
    if (std::string why = checkModel(m); !why.empty()) return refuse(why);
    return {std::move(m), {}};
}

FitModel outlineOf(const ModelTexts& t) {
    FitModel m;
    m.axis = t.axis;
    const auto from = text::parseDouble(t.from).value, to = text::parseDouble(t.to).value;
    if (from && to) m.region = Region{*from, *to};
    for (const ComponentTexts& ct : t.components) {
        Component c;
        c.name = ct.name;
        m.components.push_back(std::move(c));
    }
    return m;
}

void setShape(ComponentTexts& c, Shape shape) {
    if (c.shape == shape) return;
    ComponentTexts old = c;
    c.shape = shape;
    c.parameters.clear();
    for (std::string_view name : parameterNames(shape)) {
        const int j = parameterIndex(old.shape, name);
        if (j >= 0 && std::size_t(j) < old.parameters.size())
            c.parameters.push_back(old.parameters[std::size_t(j)]);
        else
            c.parameters.push_back({startFor(name, old), {}, {}, {}, false});
    }
}

std::string convertAxis(FitModel& model, Axis to, double photonEnergy, double workFunction) {
    if (model.axis == to) return {};
    if (!std::isfinite(photonEnergy) || !std::isfinite(workFunction))
        return "\"axis\": the other axis needs the photon energy and the work function.";
    // The mirror x -> E - x takes either axis to the other.
    const double e = photonEnergy - workFunction;
    FitModel m = model;
    m.axis = to;
    if (m.region) m.region = Region{e - m.region->from, e - m.region->to};
    for (Component& c : m.components) {
        Parameter& p = c.parameter("position");
        if (p.linked()) {
            if (p.op == LinkOp::Multiply)
                return parameterPlace(c.name, "position") + ": a position linked by a factor (\"" + linkText(p) +
                       "\") has no counterpart on the other axis.";
            if (p.op == LinkOp::Add) p.operand = -p.operand;
            continue;
        }
        const double min = p.min;
        p.value = e - p.value;
        p.min = e - p.max;
        p.max = e - min;
    }
    // c0 + c1 (x - low) over the region is c0 + c1 D - c1 (x' - low') on the other, D its width.
    Background& bg = m.background;
    if (bg.type == BackgroundType::Linear && bg.c1) {
        Parameter& c1 = *bg.c1;
        if (bg.c0 && c1.value != 0) {
            if (!m.region) return "\"background\": a slope c1 needs a region to be moved to the other axis.";
            const double d = std::abs(m.region->to - m.region->from);
            Parameter& c0 = *bg.c0;
            if (c0.bounded() && !c1.fixed)
                return "\"background\": bounds on c0 with a free slope c1 have no counterpart on the other axis.";
            c0.value += c1.value * d;
            c0.min += c1.value * d;
            c0.max += c1.value * d;
        }
        c1.value = -c1.value;
        const double min = c1.min;
        c1.min = -c1.max;
        c1.max = -min;
    }
    model = std::move(m);
    return {};
}

} // namespace korvo::fit

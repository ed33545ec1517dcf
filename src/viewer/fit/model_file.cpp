#include "viewer/fit/model_file.h"

#include "common/file_util.h"
#include "common/number_text.h"

#include <nlohmann/json.hpp>

namespace korvo::fit {
namespace {

using Json = nlohmann::ordered_json;

// Thrown inside the reader with the message for the user; caught at its top.
struct Refusal {
    std::string message;
};

[[noreturn]] void refuse(std::string message) {
    throw Refusal{std::move(message)};
}

void onlyKnown(const Json& object, std::initializer_list<std::string_view> known, const std::string& place) {
    for (const auto& [key, value] : object.items()) {
        bool ok = false;
        for (std::string_view k : known) ok = ok || key == k;
        if (!ok) refuse(place + ": unknown field \"" + key + "\".");
    }
}

double numberOf(const Json& v, const std::string& place) {
    if (!v.is_number()) refuse(place + ": a number, not " + std::string(v.type_name()) + ".");
    return v.get<double>();
}

std::string stringOf(const Json& v, const std::string& place) {
    if (!v.is_string()) refuse(place + ": a text, not " + std::string(v.type_name()) + ".");
    return v.get<std::string>();
}

Parameter parameterOf(const Json& v, const std::string& place, bool linkable) {
    Parameter p;
    if (v.is_number()) {
        p.value = v.get<double>();
    } else if (v.is_string() && linkable) {
        std::string error;
        const std::optional<Parameter> link = parseLink(v.get<std::string>(), error);
        if (!link) refuse(place + ": " + error);
        p = *link;
    } else if (v.is_object()) {
        onlyKnown(v, {"value", "min", "max", "fixed"}, place);
        if (!v.contains("value")) refuse(place + ": the object has no \"value\".");
        p.value = numberOf(v["value"], place + ", \"value\"");
        if (v.contains("min")) p.min = numberOf(v["min"], place + ", \"min\"");
        if (v.contains("max")) p.max = numberOf(v["max"], place + ", \"max\"");
        if (v.contains("fixed")) {
            if (!v["fixed"].is_boolean()) refuse(place + ", \"fixed\": true or false.");
            p.fixed = v["fixed"].get<bool>();
        }
    } else {
        refuse(place + ": a number, an object {\"value\", \"min\", \"max\", \"fixed\"}" +
               std::string(linkable ? " or a link such as \"C1 + 0.6\"" : "") + ", not " + v.type_name() +
               ".");
    }
    return p;
}

Background backgroundOf(const Json& v) {
    const std::string place = "\"background\"";
    if (!v.is_object()) refuse(place + ": an object such as {\"type\": \"linear\"}.");
    if (!v.contains("type")) refuse(place + ": no \"type\".");
    const std::string typeName = stringOf(v["type"], place + ", \"type\"");
    const std::optional<BackgroundType> type = backgroundFromName(typeName);
    if (!type)
        refuse(place + ", \"type\": \"" + typeName +
               "\" is none of none, constant, linear, shirley, tougaard, active_shirley.");
    Background bg;
    bg.type = *type;
    switch (bg.type) {
    case BackgroundType::Constant:
        onlyKnown(v, {"type", "c0"}, place);
        break;
    case BackgroundType::Linear:
        onlyKnown(v, {"type", "c0", "c1"}, place);
        break;
    case BackgroundType::Tougaard:
        onlyKnown(v, {"type", "B"}, place);
        break;
    default:
        onlyKnown(v, {"type"}, place);
    }
    if (v.contains("c0")) bg.c0 = parameterOf(v["c0"], place + ", parameter \"c0\"", false);
    if (v.contains("c1")) bg.c1 = parameterOf(v["c1"], place + ", parameter \"c1\"", false);
    if (v.contains("B")) bg.tougaardB = numberOf(v["B"], place + ", \"B\"");
    return bg;
}

Component componentOf(const Json& v, std::size_t index) {
    std::string place = "components[" + std::to_string(index) + "]";
    if (!v.is_object()) refuse(place + ": an object with \"name\", \"shape\" and the shape's parameters.");
    Component c;
    if (!v.contains("name")) refuse(place + ": no \"name\".");
    c.name = stringOf(v["name"], place + ", \"name\"");
    place = "component \"" + c.name + "\"";
    if (!v.contains("shape")) refuse(place + ": no \"shape\".");
    const std::string shape = stringOf(v["shape"], place + ", \"shape\"");
    const std::optional<Shape> s = shapeFromName(shape);
    if (!s)
        refuse(place + ", \"shape\": \"" + shape +
               "\" is none of gaussian, lorentzian, pseudo_voigt, voigt, doniach_sunjic.");
    c.shape = *s;
    const auto& names = parameterNames(c.shape);
    for (const auto& [key, value] : v.items()) {
        if (key == "name" || key == "shape") continue;
        if (key == "element") {
            c.element = stringOf(value, place + ", \"element\"");
        } else if (key == "level") {
            c.level = stringOf(value, place + ", \"level\"");
        } else if (key == "sensitivity") {
            c.sensitivity = numberOf(value, place + ", \"sensitivity\"");
        } else {
            const int slot = parameterIndex(c.shape, key);
            if (slot < 0)
                refuse(place + ": unknown field \"" + key + "\" (a " + shape + " has no such parameter).");
            c.parameters[std::size_t(slot)] = parameterOf(value, parameterPlace(c.name, key), true);
        }
    }
    for (std::string_view name : names)
        if (!v.contains(name)) {
            std::string all;
            for (std::string_view n : names) all += (all.empty() ? "" : ", ") + std::string(n);
            refuse(parameterPlace(c.name, name) + ": not given; a " + shape + " needs " + all + ".");
        }
    return c;
}

FitModel modelOf(const Json& root) {
    if (!root.is_object()) refuse("The model is a JSON object with \"components\".");
    onlyKnown(root, {"region", "axis", "background", "weights", "components"}, "The model");
    FitModel m;
    if (root.contains("region")) {
        const Json& r = root["region"];
        if (!r.is_object()) refuse("\"region\": an object {\"from\", \"to\"}.");
        onlyKnown(r, {"from", "to"}, "\"region\"");
        if (!r.contains("from") || !r.contains("to"))
            refuse("\"region\": both \"from\" and \"to\" are needed.");
        m.region =
            Region{numberOf(r["from"], "\"region\", \"from\""), numberOf(r["to"], "\"region\", \"to\"")};
    }
    if (root.contains("axis")) {
        const std::string axis = stringOf(root["axis"], "\"axis\"");
        if (axis != "kinetic" && axis != "binding")
            refuse("\"axis\": \"kinetic\" or \"binding\", not \"" + axis + "\".");
        m.axis = axis == "binding" ? Axis::Binding : Axis::Kinetic;
    }
    if (root.contains("background")) m.background = backgroundOf(root["background"]);
    if (root.contains("weights")) {
        const std::string w = stringOf(root["weights"], "\"weights\"");
        if (w != "poisson" && w != "none") refuse("\"weights\": \"poisson\" or \"none\", not \"" + w + "\".");
        m.weights = w == "none" ? Weights::None : Weights::Poisson;
    }
    if (!root.contains("components")) refuse("\"components\": the model has no components.");
    const Json& list = root["components"];
    if (!list.is_array()) refuse("\"components\": a list of components.");
    if (list.size() > kMaxComponents)
        refuse("\"components\": a model holds at most " + std::to_string(kMaxComponents) + " components.");
    for (std::size_t i = 0; i < list.size(); ++i) m.components.push_back(componentOf(list[i], i));
    return m;
}

Json parameterJson(const Parameter& p) {
    if (p.linked()) return linkText(p);
    if (!p.fixed && !p.bounded()) return p.value;
    Json o;
    o["value"] = p.value;
    if (p.min > -std::numeric_limits<double>::infinity()) o["min"] = p.min;
    if (p.max < std::numeric_limits<double>::infinity()) o["max"] = p.max;
    if (p.fixed) o["fixed"] = true;
    return o;
}

} // namespace

std::optional<Parameter> parseLink(std::string_view text, std::string& error) {
    const auto blank = [](char c) { return c == ' ' || c == '\t'; };
    while (!text.empty() && blank(text.front())) text.remove_prefix(1);
    while (!text.empty() && blank(text.back())) text.remove_suffix(1);
    std::size_t i = 0;
    while (i < text.size() && isNameCharacter(text[i])) ++i;
    Parameter p;
    p.link = std::string(text.substr(0, i));
    if (p.link.empty()) {
        error = "\"" + std::string(text) +
                "\" is no link; a link is \"C1\", \"C1 + 0.6\", \"C1 - 0.6\" or \"C1 * 0.5\".";
        return std::nullopt;
    }
    while (i < text.size() && blank(text[i])) ++i;
    if (i == text.size()) return p;
    const char op = text[i++];
    const std::string_view rest = text.substr(i);
    std::size_t digit = 0;
    while (digit < rest.size() && blank(rest[digit])) ++digit;
    const text::Parsed<double> n = text::parseDouble(rest);
    const bool signedNumber = digit < rest.size() && (rest[digit] == '+' || rest[digit] == '-');
    if ((op != '+' && op != '-' && op != '*') || !n || (op != '*' && signedNumber)) {
        error = "\"" + std::string(text) +
                "\" is no link; a link is \"C1\", \"C1 + 0.6\", \"C1 - 0.6\" or \"C1 * 0.5\".";
        return std::nullopt;
    }
    p.op = op == '*' ? LinkOp::Multiply : LinkOp::Add;
    p.operand = op == '-' ? -*n : *n;
    return p;
}

ModelRead readModelJson(std::string_view text) {
    ModelRead out;
    Json root;
    try {
        root = Json::parse(text.begin(), text.end());
    } catch (const Json::exception& e) {
        // Syntax errors and numbers beyond the range of a double alike; the reason quotes the input,
        // so it is cut.
        std::string why = e.what();
        if (why.size() > 200) why = why.substr(0, 200) + "...";
        out.error = "The model is no valid JSON: " + why;
        return out;
    }
    try {
        FitModel m = modelOf(root);
        if (std::string why = checkModel(m); !why.empty()) {
            out.error = std::move(why);
            return out;
        }
        out.model = std::move(m);
    } catch (const Refusal& r) {
        out.error = r.message;
    } catch (const Json::exception& e) {
        out.error = "The model cannot be read: " + std::string(e.what());
    }
    return out;
}

ModelRead readModelFile(const std::string& path) {
    std::string error;
    const std::optional<std::string> text = readFile(path, &error, kMaxModelFileBytes);
    if (!text) return ModelRead{std::nullopt, "Cannot read the model " + path + ": " + error};
    ModelRead r = readModelJson(*text);
    if (!r.model) r.error = "The model " + path + ": " + r.error;
    return r;
}

std::string modelJson(const FitModel& m) {
    Json root;
    if (m.region) root["region"] = {{"from", m.region->from}, {"to", m.region->to}};
    root["axis"] = std::string(axisName(m.axis));
    Json bg;
    bg["type"] = std::string(backgroundName(m.background.type));
    const bool constant = m.background.type == BackgroundType::Constant;
    const bool linear = m.background.type == BackgroundType::Linear;
    if ((constant || linear) && m.background.c0) bg["c0"] = parameterJson(*m.background.c0);
    if (linear && m.background.c1) bg["c1"] = parameterJson(*m.background.c1);
    if (m.background.type == BackgroundType::Tougaard) bg["B"] = m.background.tougaardB;
    root["background"] = bg;
    root["weights"] = m.weights == Weights::None ? "none" : "poisson";
    Json list = Json::array();
    for (const Component& c : m.components) {
        Json o;
        o["name"] = c.name;
        o["shape"] = std::string(shapeName(c.shape));
        const auto& names = parameterNames(c.shape);
        for (std::size_t j = 0; j < names.size(); ++j)
            o[std::string(names[j])] = parameterJson(c.parameters[j]);
        if (!c.element.empty()) o["element"] = c.element;
        if (!c.level.empty()) o["level"] = c.level;
        if (c.sensitivity) o["sensitivity"] = *c.sensitivity;
        list.push_back(std::move(o));
    }
    root["components"] = std::move(list);
    return root.dump(2) + "\n";
}

bool writeModelFile(const std::string& path, const FitModel& model, std::string* error) {
    return writeFileAtomic(path, modelJson(model), error);
}

} // namespace korvo::fit

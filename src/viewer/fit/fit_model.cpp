#include "viewer/fit/fit_model.h"

#include "viewer/workspace_output.h"

#include <algorithm>
#include <cmath>

namespace korvo::fit {
namespace {

struct ShapeInfo {
    Shape shape;
    std::string_view name;
    std::vector<std::string_view> parameters;
};

const std::vector<ShapeInfo>& shapes() {
    static const std::vector<ShapeInfo> all = {
        {Shape::Gaussian, "gaussian", {"position", "fwhm", "area"}},
        {Shape::Lorentzian, "lorentzian", {"position", "fwhm", "area"}},
        {Shape::PseudoVoigt, "pseudo_voigt", {"position", "fwhm", "area", "eta"}},
        {Shape::Voigt, "voigt", {"position", "area", "fwhm_g", "fwhm_l"}},
        {Shape::DoniachSunjic, "doniach_sunjic", {"position", "height", "gamma", "alpha"}},
    };
    return all;
}

constexpr std::array<std::string_view, 6> kBackgroundNames = {"none",    "constant", "linear",
                                                              "shirley", "tougaard", "active_shirley"};

} // namespace

const std::vector<std::string_view>& parameterNames(Shape shape) {
    return shapes().at(std::size_t(shape)).parameters;
}

int parameterIndex(Shape shape, std::string_view name) {
    const auto& names = parameterNames(shape);
    const auto it = std::find(names.begin(), names.end(), name);
    return it == names.end() ? -1 : int(it - names.begin());
}

ParameterKind parameterKind(std::string_view name) {
    if (name == "position") return ParameterKind::Position;
    if (name == "fwhm" || name == "fwhm_g" || name == "fwhm_l" || name == "gamma")
        return ParameterKind::Width;
    if (name == "eta") return ParameterKind::Eta;
    if (name == "alpha") return ParameterKind::Alpha;
    if (name == "c0" || name == "c1") return ParameterKind::Background;
    return ParameterKind::Amount;
}

std::string_view shapeName(Shape shape) {
    return shapes().at(std::size_t(shape)).name;
}

std::optional<Shape> shapeFromName(std::string_view name) {
    for (const ShapeInfo& s : shapes())
        if (s.name == name) return s.shape;
    return std::nullopt;
}

std::string_view backgroundName(BackgroundType type) {
    return kBackgroundNames.at(std::size_t(type));
}

std::optional<BackgroundType> backgroundFromName(std::string_view name) {
    for (std::size_t i = 0; i < kBackgroundNames.size(); ++i)
        if (kBackgroundNames[i] == name) return BackgroundType(i);
    return std::nullopt;
}

std::string_view axisName(Axis axis) {
    return axis == Axis::Binding ? "binding" : "kinetic";
}

bool isNameCharacter(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_' ||
           c == '.' || c == '/';
}

bool isPlainLabel(std::string_view text) {
    if (text.empty() || text.size() > 16) return false;
    for (const char c : text)
        if (static_cast<unsigned char>(c) <= ' ' || c == ',' || c == '"' || c == 0x7f) return false;
    return true;
}

std::string linkText(const Parameter& p) {
    std::string text = p.link;
    if (p.op == LinkOp::Same) return text;
    if (p.op == LinkOp::Multiply) {
        text += " * ";
        appendShortest(text, p.operand, false);
    } else {
        text += p.operand < 0 || (p.operand == 0 && std::signbit(p.operand)) ? " - " : " + ";
        appendShortest(text, std::abs(p.operand), false);
    }
    return text;
}

const Component* FitModel::find(std::string_view name) const {
    for (const Component& c : components)
        if (c.name == name) return &c;
    return nullptr;
}

} // namespace korvo::fit

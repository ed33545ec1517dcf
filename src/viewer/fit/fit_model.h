#pragma once
// A peak-fit model: the energy region, the background, the weighting and the line-shape components
// with their parameters (free with optional bounds, fixed, or linked to the same parameter of another
// component). model_file.h reads and writes it as JSON; fit_problem.h checks it against a spectrum.
#include <array>
#include <limits>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace korvo::fit {

enum class Shape { Gaussian, Lorentzian, PseudoVoigt, Voigt, DoniachSunjic };
enum class BackgroundType { None, Constant, Linear, Shirley, Tougaard, ActiveShirley };
enum class Weights { Poisson, None };
// Kinetic energy as stored; binding energy = photon energy - kinetic energy - work function.
enum class Axis { Kinetic, Binding };

inline constexpr int kMaxShapeParameters = 4;

// What a parameter stands for, which decides its natural limits.
enum class ParameterKind { Position, Width, Amount, Eta, Alpha, Background };

// The model names of a shape's parameters in their fixed order ("position", "fwhm", "area", "eta").
const std::vector<std::string_view>& parameterNames(Shape shape);
ParameterKind parameterKind(std::string_view name);
// -1 when the shape has no parameter of that name.
int parameterIndex(Shape shape, std::string_view name);

std::string_view shapeName(Shape shape); // "pseudo_voigt"
std::optional<Shape> shapeFromName(std::string_view name);
std::string_view backgroundName(BackgroundType type); // "active_shirley"
std::optional<BackgroundType> backgroundFromName(std::string_view name);
std::string_view axisName(Axis axis); // "kinetic", "binding"

enum class LinkOp { Same, Add, Multiply };

struct Parameter {
    double value = 0; // the start value of a free parameter, the value of a fixed one
    double min = -std::numeric_limits<double>::infinity();
    double max = std::numeric_limits<double>::infinity();
    bool fixed = false;
    // A link: the same parameter of component `link`, shifted (Add) or scaled (Multiply) by `operand`.
    std::string link;
    LinkOp op = LinkOp::Same;
    double operand = 0;

    bool linked() const { return !link.empty(); }
    bool bounded() const {
        return min > -std::numeric_limits<double>::infinity() ||
               max < std::numeric_limits<double>::infinity();
    }
};

// Component names are letters, digits, "_", ".", "/", starting with a letter; element symbols and
// level names ("Fe", "2p3/2") are short, printable and hold no blanks, commas or quotes.
bool isNameCharacter(char c);
bool isPlainLabel(std::string_view text);

// "C1", "C1 + 0.6", "C1 - 0.6", "C1 * 0.5" as the model file writes them.
std::string linkText(const Parameter& p);

struct Component {
    std::string name; // letters, digits, "_", ".", "/"; starts with a letter
    Shape shape = Shape::Gaussian;
    std::array<Parameter, kMaxShapeParameters> parameters{}; // in the order of parameterNames(shape)
    // Quantification: the element, its core level (for the sensitivity table) and the relative
    // sensitivity factor. A component without an element takes no part in it.
    std::string element;
    std::string level;
    std::optional<double> sensitivity;

    Parameter& parameter(std::string_view name) {
        return parameters.at(std::size_t(parameterIndex(shape, name)));
    }
    const Parameter& parameter(std::string_view name) const {
        return parameters.at(std::size_t(parameterIndex(shape, name)));
    }
};

inline constexpr double kDefaultTougaardB = 2866; // eV^2, as the analysis command

struct Background {
    BackgroundType type = BackgroundType::None;
    // Constant and linear: c0 + c1 (x - low end of the region). Without a start value the fit takes
    // one from the counts at the ends of the region.
    std::optional<Parameter> c0, c1;
    double tougaardB = kDefaultTougaardB;
};

struct Region {
    double from = 0, to = 0; // eV on the model's axis, either order
};

struct FitModel {
    std::optional<Region> region; // the whole spectrum without one
    Axis axis = Axis::Kinetic;
    Background background;
    Weights weights = Weights::Poisson;
    std::vector<Component> components;

    // The component of that name, or nullptr.
    const Component* find(std::string_view name) const;
};

inline constexpr std::size_t kMaxComponents = 100;

// Where a parameter's value comes from once its links are followed: scale * (the parameter `slot` of
// component `component`, which is free or fixed) + offset.
struct LinkRoot {
    int component = 0;
    int slot = 0;
    double scale = 1, offset = 0;
};
struct ResolvedLinks {
    std::vector<std::array<LinkRoot, kMaxShapeParameters>> roots; // by component and slot
    std::string error; // a link to an unknown component or parameter, or a cycle
};
ResolvedLinks resolveLinks(const FitModel& model);

// The limits a parameter of that kind has by nature: widths above zero, eta in [0, 1], alpha in
// [0, 1); the solver keeps widths above kMinWidth and alpha at most kMaxAlpha.
inline constexpr double kMinWidth = 1e-9; // eV
inline constexpr double kMaxAlpha = 1 - 1e-9;
struct Limits {
    double lower = -std::numeric_limits<double>::infinity();
    double upper = std::numeric_limits<double>::infinity();
};
Limits naturalLimits(ParameterKind kind);

// `component "C2", parameter "fwhm"`: the start of every message about one parameter.
std::string parameterPlace(std::string_view component, std::string_view parameter);

// Why the model cannot be fitted, in one message naming the component and parameter (or the
// field), or empty: names, bounds, start values, natural limits, links, the background, the region.
// With `needSensitivities` a component with an element must have its sensitivity factor.
std::string checkModel(const FitModel& model, bool needSensitivities = false);

} // namespace korvo::fit
